// Text drawn one fixed-width cell per byte: UTF-8 decoding, glyph blits
// (opaque, soft-edged and faded) and text measuring.
#include <string.h>

#include "render/font.h"

#include "render/draw_list.h"

enum : uint32_t {
    replacement_character = 0xfffd,
    newline_glyph = 10,
    glyph_count = 256,
    alpha_shift = 24,
    hard_edge_alpha = 0x80,
};

utf8_decoded decode_utf8(const uint8_t* bytes, uint64_t available) {
    if (!bytes || available == 0) return utf8_decoded{0, 1};
    uint8_t b[4] = {bytes[0], 0, 0, 0};
    for (uint64_t i = 1; i < 4 && i < available; ++i) b[i] = bytes[i];
    uint32_t b0 = b[0], b1 = b[1] & 0x3f, b2 = b[2] & 0x3f, b3 = b[3] & 0x3f;
    if (b0 < 0x80) return utf8_decoded{b0, 1};
    if (b0 < 0xc0) return utf8_decoded{replacement_character, 1};
    if (b0 < 0xe0) return utf8_decoded{((b0 & 0x1f) << 6) | b1, 2};
    if (b0 < 0xf0) return utf8_decoded{((b0 & 0x0f) << 12) | (b1 << 6) | b2, 3};
    if (b0 < 0xf8) return utf8_decoded{((b0 & 0x07) << 18) | (b1 << 12) | (b2 << 6) | b3, 4};
    return utf8_decoded{replacement_character, 1};
}

uint32_t glyph_index_at(const uint8_t* bytes, uint64_t available) {
    uint8_t b0 = bytes[0];
    if (b0 < 0x80) return b0;
    if (b0 < 0xc0 || b0 >= 0xf8) return 0;
    uint32_t code_point = decode_utf8(bytes, available).code_point;
    return code_point < glyph_count ? code_point : 0;
}

// Clips the source to the image and the destination to the clip, moving the
// one with the other. False when nothing is left.
static bool clip_blit(const glyph_atlas* image, rect clip, rect* source, int32_t* x, int32_t* y) {
    int64_t sx = source->x, sy = source->y, w = source->w, h = source->h, dx = *x, dy = *y;
    if (sx < 0) { w += sx; dx -= sx; sx = 0; }
    if (sy < 0) { h += sy; dy -= sy; sy = 0; }
    if (sx + w > image->image_width) w = image->image_width - sx;
    if (sy + h > image->image_height) h = image->image_height - sy;
    if (dx < 0) { w += dx; sx -= dx; dx = 0; }
    if (dy < 0) { h += dy; sy -= dy; dy = 0; }
    if (dx + w > clip.w) w = clip.w - dx;
    if (dy + h > clip.h) h = clip.h - dy;
    if (w <= 0 || h <= 0) return false;
    *source = rect{(int32_t)sx, (int32_t)sy, (int32_t)w, (int32_t)h};
    *x = (int32_t)dx;
    *y = (int32_t)dy;
    return true;
}


static color load_pixel(const uint8_t* from) {
    color value;
    memcpy(&value, from, sizeof value);
    return value;
}

// Faded pixels come in few colours over few backgrounds, so the last blend
// is remembered; a pixel faded to nothing leaves a visible one as it was.
static void blit_faded_row(color* out, const uint8_t* from, int32_t count, float opacity) {
    color last_source = 0, last_under = 0, last_result = blend_pixel(0, 0);
    for (int32_t i = 0; i < count; ++i, from += 4) {
        color pixel = load_pixel(from);
        uint32_t alpha = (uint32_t)((float)(pixel >> alpha_shift) * opacity);
        if (alpha == 0 && (out[i] >> alpha_shift) != 0) continue;
        pixel = (pixel & 0x00ffffff) | (alpha << alpha_shift);
        if (pixel != last_source || out[i] != last_under) {
            last_source = pixel;
            last_under = out[i];
            last_result = blend_pixel(pixel, out[i]);
        }
        out[i] = last_result;
    }
}

typedef int32_t pixel_quad __attribute__((vector_size(16)));

// Hard edges: a pixel shows when its alpha's top bit is set, the sign bit of
// the pixel read as signed, so four pixels are chosen at once by a mask.
static void blit_hard_row(color* out, const uint8_t* from, int32_t count) {
    static_assert(alpha_shift + 7 == 31 && hard_edge_alpha == 0x80, "the top alpha bit is the sign bit");
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        pixel_quad source, under;
        memcpy(&source, from + 4 * i, sizeof source);
        memcpy(&under, out + i, sizeof under);
        pixel_quad shows = source >> 31;
        pixel_quad result = (source & shows) | (under & ~shows);
        memcpy(out + i, &result, sizeof result);
    }
    for (; i < count; ++i) {
        color pixel = load_pixel(from + 4 * i);
        if ((pixel >> alpha_shift) & hard_edge_alpha) out[i] = pixel;
    }
}

// Rows of an already clipped blit: with full opacity by the image's alpha
// flags, otherwise faded.
void blit_span(pixel_buffer* buffer, const glyph_atlas* image, rect area, int32_t source_x, int32_t source_y,
               float opacity) {
    if (!buffer || !buffer->pixels || !image || !image->pixels) return;
    uint8_t flags = image->alpha_flags;
    int64_t image_stride = (int64_t)image->image_width * 4;
    const uint8_t* from = image->pixels + (int64_t)source_y * image_stride + (int64_t)source_x * 4;
    color* out = buffer->pixels + (int64_t)area.y * buffer->width + area.x;
    for (int32_t row = 0; row < area.h; ++row, from += image_stride, out += buffer->width) {
        if (opacity < 1.0f) {
            blit_faded_row(out, from, area.w, opacity);
        } else if (!(flags & font_alpha_some_transparent)) {
            memcpy(out, from, (uint64_t)area.w * sizeof(color));
        } else if (flags & font_alpha_soft_edges) {
            for (int32_t i = 0; i < area.w; ++i) out[i] = blend_pixel(load_pixel(from + 4 * i), out[i]);
        } else {
            blit_hard_row(out, from, area.w);
        }
    }
}

static void clipped_blit(pixel_buffer* buffer, rect clip, const glyph_atlas* image, rect source, int32_t x,
                         int32_t y, float opacity) {
    if (!buffer || !image || !image->pixels) return;
    if (!clip_blit(image, clip, &source, &x, &y)) return;
    rect area = {x, y, source.w, source.h};
    if (draw_list* list = draw_list_recording_into(buffer)) {
        draw_command command = {};
        command.kind = opacity < 1.0f ? draw_kind_blit_faded : draw_kind_blit;
        command.area = area;
        command.source_x = source.x;
        command.source_y = source.y;
        command.opacity = opacity < 1.0f ? opacity : 1.0f;
        command.image = image;
        draw_list_append(list, &command);
        return;
    }
    blit_span(buffer, image, area, source.x, source.y, opacity);
}

void blit_image(pixel_buffer* buffer, rect clip, const glyph_atlas* image, rect source, int32_t x,
                int32_t y) {
    clipped_blit(buffer, clip, image, source, x, y, 1.0f);
}

void blit_glyph_faded(pixel_buffer* buffer, rect clip, const glyph_atlas* image, rect source, int32_t x,
                      int32_t y, float opacity) {
    if (!(opacity > 0.0f)) return;
    clipped_blit(buffer, clip, image, source, x, y, opacity >= 1.0f ? 1.0f : opacity);
}

void draw_text(pixel_buffer* buffer, const glyph_atlas* font, rect position, uint64_t length,
               const char* bytes) {
    if (!buffer || !bytes || !font || !font->glyphs) return;
    const uint8_t* text = (const uint8_t*)bytes;
    rect clip = whole_buffer(buffer);
    int64_t advance = (int64_t)font->glyph_w + font->spacing;
    int64_t pen_x = position.x, pen_y = position.y;
    for (uint64_t i = 0; i < length; ++i) {
        uint32_t index = glyph_index_at(text + i, length - i);
        if (index == newline_glyph) {
            pen_x = position.x;
            pen_y += font->glyph_h;
            continue;
        }
        const glyph* g = &font->glyphs[index];
        int64_t left = pen_x + (font->glyph_w - g->w) / 2;
        int64_t top = pen_y + g->y_offset;
        // Only glyphs that can touch the buffer are blitted; the pen still moves.
        if (g->w > 0 && left > -g->w && left < clip.w && top > -g->h && top < clip.h)
            blit_image(buffer, clip, font, rect{g->x, g->y, g->w, g->h}, (int32_t)left, (int32_t)top);
        pen_x += advance;
    }
}

text_extent measure_text(const glyph_atlas* font, rect position, uint64_t length, const char* bytes) {
    static const glyph_atlas no_font = {};
    if (!font) font = &no_font;
    const uint8_t* text = (const uint8_t*)bytes;
    int64_t advance = (int64_t)font->glyph_w + font->spacing;
    int64_t pen_x = position.x, widest = position.x, lines = 1;
    for (uint64_t i = 0; text && i < length; ++i) {
        if (glyph_index_at(text + i, length - i) == newline_glyph) {
            if (pen_x > widest) widest = pen_x;
            pen_x = position.x;
            ++lines;
        } else {
            pen_x += advance;
        }
    }
    if (pen_x > widest) widest = pen_x;
    return text_extent{clamp_to_int32(widest - position.x), clamp_to_int32(lines * font->glyph_h)};
}
