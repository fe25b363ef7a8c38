// Text drawn one fixed-width cell per byte: UTF-8 decoding, recording glyph
// blits (opaque, soft-edged and faded) and text measuring.
#include "render/font.h"

#include "render/draw_list.h"

enum : uint32_t {
    replacement_character = 0xfffd,
    newline_glyph = 10,
    glyph_count = 256,
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

// Clips the source to the image and the destination to the list's size,
// moving the one with the other. False when nothing is left.
static bool clip_blit(const glyph_atlas* image, const draw_list* list, rect* source, int32_t* x, int32_t* y) {
    int64_t sx = source->x, sy = source->y, w = source->w, h = source->h, dx = *x, dy = *y;
    if (sx < 0) { w += sx; dx -= sx; sx = 0; }
    if (sy < 0) { h += sy; dy -= sy; sy = 0; }
    if (sx + w > image->image_width) w = image->image_width - sx;
    if (sy + h > image->image_height) h = image->image_height - sy;
    if (dx < 0) { w += dx; sx -= dx; dx = 0; }
    if (dy < 0) { h += dy; sy -= dy; dy = 0; }
    if (dx + w > list->width) w = list->width - dx;
    if (dy + h > list->height) h = list->height - dy;
    if (w <= 0 || h <= 0) return false;
    *source = rect{(int32_t)sx, (int32_t)sy, (int32_t)w, (int32_t)h};
    *x = (int32_t)dx;
    *y = (int32_t)dy;
    return true;
}


static void clipped_blit(draw_list* list, const glyph_atlas* image, rect source, int32_t x, int32_t y,
                         float opacity) {
    if (!list || !image || !image->pixels) return;
    if (!clip_blit(image, list, &source, &x, &y)) return;
    draw_command command = {};
    command.kind = opacity < 1.0f ? draw_kind_blit_faded : draw_kind_blit;
    command.area = rect{x, y, source.w, source.h};
    command.source_x = source.x;
    command.source_y = source.y;
    command.opacity = opacity < 1.0f ? opacity : 1.0f;
    command.image = image;
    draw_list_append(list, &command);
}

void blit_image(draw_list* list, const glyph_atlas* image, rect source, int32_t x, int32_t y) {
    clipped_blit(list, image, source, x, y, 1.0f);
}

void blit_glyph_faded(draw_list* list, const glyph_atlas* image, rect source, int32_t x, int32_t y,
                      float opacity) {
    if (!(opacity > 0.0f)) return;
    clipped_blit(list, image, source, x, y, opacity >= 1.0f ? 1.0f : opacity);
}

void draw_text(draw_list* list, const glyph_atlas* font, rect position, uint64_t length, const char* bytes) {
    if (!list || !bytes || !font || !font->glyphs) return;
    const uint8_t* text = (const uint8_t*)bytes;
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
        if (g->w > 0 && left > -g->w && left < list->width && top > -g->h && top < list->height)
            blit_image(list, font, rect{g->x, g->y, g->w, g->h}, (int32_t)left, (int32_t)top);
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
