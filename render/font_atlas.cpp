// Cutting the font image (a PNG of 16 x 16 glyph cells) into a glyph atlas.
#include <string.h>

#include "os/os.h"
#include "render/font.h"

#define STBI_NO_STDIO
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include "stb_image.h"
#pragma GCC diagnostic pop

enum : int32_t {
    font_grid_cells = 16,
    font_glyph_count = 256,
    png_signature_size = 8,
    rgba_bytes = 4,
};

static const uint8_t png_signature[png_signature_size] = {137, 'P', 'N', 'G', 13, 10, 26, 10};

static uint64_t power_of_two_at_least(uint64_t n) {
    uint64_t p = 1;
    while (p < n) p <<= 1;
    return p;
}

static uint8_t alpha_at(const glyph_atlas* atlas, int32_t x, int32_t y) {
    return atlas->pixels[((int64_t)y * atlas->image_width + x) * rgba_bytes + 3];
}

static bool column_visible(const glyph_atlas* atlas, int32_t x, int32_t y0, int32_t h) {
    for (int32_t y = y0; y < y0 + h; ++y)
        if (alpha_at(atlas, x, y)) return true;
    return false;
}

static bool row_visible(const glyph_atlas* atlas, int32_t y, int32_t x0, int32_t w) {
    for (int32_t x = x0; x < x0 + w; ++x)
        if (alpha_at(atlas, x, y)) return true;
    return false;
}

static uint8_t scan_alpha_flags(const glyph_atlas* atlas) {
    uint8_t flags = 0;
    uint64_t count = (uint64_t)atlas->image_width * (uint64_t)atlas->image_height;
    for (uint64_t i = 0; i < count; ++i) {
        uint8_t alpha = atlas->pixels[i * rgba_bytes + 3];
        if (alpha != 0 && alpha != 255) return font_alpha_some_transparent | font_alpha_soft_edges;
        if (alpha == 0) flags |= font_alpha_some_transparent;
    }
    return flags;
}

static glyph cut_glyph(const glyph_atlas* atlas, int32_t x0, int32_t y0, int32_t cw, int32_t ch) {
    int32_t w = cw;
    while (w > 0 && !column_visible(atlas, x0 + w - 1, y0, ch)) --w;
    int32_t x = x0;
    while (w > 0 && !column_visible(atlas, x, y0, ch)) {
        ++x;
        --w;
    }
    int32_t h = w > 0 ? ch : 0;
    while (h > 0 && !row_visible(atlas, y0 + h - 1, x, w)) --h;
    int32_t y = y0;
    while (h > 0 && !row_visible(atlas, y, x, w)) {
        ++y;
        --h;
    }
    if (w == 0 || h == 0) return glyph{x0, y0, 0, 0, 0};
    return glyph{x, y, w, h, y - y0};
}

static uint32_t read_be32(const uint8_t* at) {
    return (uint32_t)at[0] << 24 | (uint32_t)at[1] << 16 | (uint32_t)at[2] << 8 | at[3];
}

// The decoder copies the first image-data chunk into a block it sizes from
// that chunk, and an empty one makes it copy into nothing; and it grows its
// image-data block to a chunk's stated length before reading it, so a short
// file that claims a 2 GiB chunk costs 2 GiB. So the chunks are walked first,
// up to IEND: each must lie inside the file, IHDR must come first, and the
// first IDAT must hold data.
static bool png_chunks_are_sound(const uint8_t* png, uint64_t size) {
    enum : uint64_t { chunk_overhead = 12 };  // length, type, CRC
    uint64_t at = png_signature_size;
    bool first = true, seen_data = false;
    while (at + chunk_overhead <= size) {
        uint64_t length = read_be32(png + at);
        const uint8_t* type = png + at + 4;
        if (length > size - at - chunk_overhead) return false;
        if (first && memcmp(type, "IHDR", 4) != 0) return false;
        first = false;
        if (memcmp(type, "IDAT", 4) == 0) {
            if (!seen_data && length == 0) return false;
            seen_data = true;
        }
        if (memcmp(type, "IEND", 4) == 0) return seen_data;
        at += chunk_overhead + length;
    }
    return false;
}

bool build_glyph_atlas(glyph_atlas* atlas, const uint8_t* png, uint64_t size) {
    *atlas = glyph_atlas{};
    if (!png || size <= png_signature_size || size > 0x7fffffff) return false;
    if (memcmp(png, png_signature, png_signature_size) != 0) return false;
    if (!png_chunks_are_sound(png, size)) return false;

    int width = 0, height = 0, channels = 0;
    uint8_t* decoded = stbi_load_from_memory(png, (int)size, &width, &height, &channels, rgba_bytes);
    if (!decoded) return false;

    uint64_t bytes = (uint64_t)width * (uint64_t)height * rgba_bytes;
    uint64_t capacity = power_of_two_at_least(bytes);
    uint8_t* pixels = (uint8_t*)os_alloc(capacity);
    glyph* glyphs = (glyph*)os_alloc(sizeof(glyph) * font_glyph_count);
    if (!pixels || !glyphs) {
        if (pixels) os_free(pixels);
        if (glyphs) os_free(glyphs);
        stbi_image_free(decoded);
        return false;
    }
    memcpy(pixels, decoded, bytes);
    stbi_image_free(decoded);

    atlas->image_width = width;
    atlas->image_height = height;
    atlas->pixels = pixels;
    atlas->pixels_capacity = capacity;
    atlas->alpha_flags = scan_alpha_flags(atlas);
    atlas->glyphs = glyphs;

    int32_t cw = width / font_grid_cells, ch = height / font_grid_cells;
    for (int32_t c = 0; c < font_glyph_count; ++c) {
        int32_t x0 = (c % font_grid_cells) * cw, y0 = (c / font_grid_cells) * ch;
        glyphs[c] = cut_glyph(atlas, x0, y0, cw, ch);
        if (glyphs[c].w > atlas->glyph_w) atlas->glyph_w = glyphs[c].w;
    }
    atlas->glyph_h = font_line_height;
    atlas->spacing = 0;
    return true;
}
