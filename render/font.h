// The monospace bitmap font: a 16 x 16 grid of glyph cells cut from a PNG,
// and text drawn one fixed-width cell per byte in the image's own colours.
#pragma once

#include <stdint.h>

#include "render/pixel_buffer.h"

struct draw_list;

struct glyph {
    int32_t x, y;      // top-left of the trimmed glyph in the image
    int32_t w, h;      // 0 x 0 for an empty cell
    int32_t y_offset;  // transparent rows trimmed off the top of the cell
};

enum : uint8_t {
    font_alpha_some_transparent = 0x01,
    font_alpha_soft_edges = 0x02,
};

struct glyph_atlas {
    glyph* glyphs;  // 256, indexed by byte value
    int32_t image_width, image_height;
    uint8_t* pixels;  // R, G, B, A as decoded
    uint64_t pixels_capacity;
    uint8_t alpha_flags;
    int32_t glyph_w;  // advance of one character cell
    int32_t glyph_h;  // line height
    int32_t spacing;  // extra pixels after each cell
};

enum : int32_t { font_line_height = 15 };

// Decodes a PNG held in memory and cuts it into glyphs. False, with the atlas
// left all zero, when the bytes are not a decodable PNG.
bool build_glyph_atlas(glyph_atlas* atlas, const uint8_t* png, uint64_t size);

// The PNG built into the executable, used when mono.png cannot be loaded.
extern const uint8_t embedded_mono_png[];
extern const uint64_t embedded_mono_png_size;

// The caller names the font; the application's is app_state.font. Each
// records its glyphs' blits, clipped to the list's size.
void blit_image(draw_list* list, const glyph_atlas* image, rect source, int32_t x, int32_t y);
void blit_glyph_faded(draw_list* list, const glyph_atlas* font, rect source, int32_t x, int32_t y,
                      float opacity);
// Only position.x and position.y are read.
void draw_text(draw_list* list, const glyph_atlas* font, rect position, uint64_t length, const char* bytes);

struct text_extent {
    int32_t w, h;
};

// A null font measures as one with no glyphs: every extent 0.
text_extent measure_text(const glyph_atlas* font, rect position, uint64_t length, const char* bytes);

struct utf8_decoded {
    uint32_t code_point;
    uint32_t length;  // 1 to 4
};

// Reads at most `available` bytes; continuation bytes beyond them count as 0.
utf8_decoded decode_utf8(const uint8_t* bytes, uint64_t available);

// The glyph the byte at `bytes` shows in text: a lead byte shows its decoded
// character when it fits the font, continuation and invalid bytes glyph 0.
uint32_t glyph_index_at(const uint8_t* bytes, uint64_t available);
