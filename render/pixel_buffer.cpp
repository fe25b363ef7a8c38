// The pixel rules: fills, blends and glyph blits over areas already inside the buffer.
#include "render/pixel_buffer.h"

#include <string.h>
#include <wchar.h>

#include "render/font.h"

enum : uint32_t { alpha_opaque = 0xff, alpha_shift = 24, hard_edge_alpha = 0x80 };

static uint32_t channel(color value, int shift) { return (value >> shift) & 0xff; }

bool rect_contains(rect area, int64_t x, int64_t y) {
    return area.x <= x && x < (int64_t)area.x + area.w && area.y <= y && y < (int64_t)area.y + area.h;
}

int32_t clamp_to_int32(int64_t value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return (int32_t)value;
}

// Four pixels per store: the compiler keeps a plain loop to one pixel at a time.
typedef color pixel_quad __attribute__((vector_size(16)));

// wmemset is the C library's tuned fill of 32-bit units, much faster over
// long runs such as a whole frame.
static_assert(sizeof(wchar_t) == sizeof(color), "wmemset fills pixels");
enum : int64_t { long_fill = 256 };

static inline void fill_short_run(color* to, int64_t count, color value) {
    pixel_quad quad = {value, value, value, value};
    int64_t i = 0;
    for (; i + 4 <= count; i += 4) memcpy(to + i, &quad, sizeof quad);
    for (; i < count; ++i) to[i] = value;
}

void fill_pixels(color* to, int64_t count, color value) {
    if (count >= long_fill) wmemset((wchar_t*)to, (wchar_t)value, (size_t)count);
    else fill_short_run(to, count, value);
}

void fill_span(pixel_buffer* buffer, rect area, color value) {
    if (!buffer || !buffer->pixels) return;
    color* pixel = buffer->pixels + (int64_t)area.y * buffer->width + area.x;
    // A span of whole rows is one run.
    if (area.x == 0 && area.w == buffer->width) {
        fill_pixels(pixel, (int64_t)area.w * area.h, value);
        return;
    }
    if (area.w >= long_fill) {
        for (int32_t row = 0; row < area.h; ++row, pixel += buffer->width) fill_pixels(pixel, area.w, value);
        return;
    }
    for (int32_t row = 0; row < area.h; ++row, pixel += buffer->width) fill_short_run(pixel, area.w, value);
}

static uint32_t clamp_truncate(float value) {
    if (value > 255.0f) return 255;
    if (value <= 0.0f) return 0;
    return (uint32_t)value;
}

color blend_pixel(color source, color destination) {
    uint32_t source_alpha = source >> alpha_shift;
    uint32_t destination_alpha = destination >> alpha_shift;
    if (source_alpha == alpha_opaque) return source;
    if (source_alpha == 0) return destination_alpha == 0 ? source : destination;
    if (destination_alpha == 0) return source;

    float a = (float)source_alpha / 255.0f;
    if (destination_alpha == alpha_opaque) {
        float keep = 1.0f - a;
        color result = (color)alpha_opaque << alpha_shift;
        for (int shift = 0; shift < 24; shift += 8) {
            float mixed = (float)channel(source, shift) * a + (float)channel(destination, shift) * keep;
            result |= (uint32_t)mixed << shift;
        }
        return result;
    }

    float destination_a = (float)destination_alpha / 255.0f;
    float out_alpha = (float)((double)destination_a * (1.0 - (double)a) + (double)a);
    float a2 = a / out_alpha;
    float keep = 1.0f - a2;
    color result = clamp_truncate(out_alpha * 255.0f) << alpha_shift;
    for (int shift = 0; shift < 24; shift += 8) {
        float mixed = (float)channel(source, shift) * a2 + (float)channel(destination, shift) * keep;
        result |= clamp_truncate(mixed) << shift;
    }
    return result;
}

void blend_span(pixel_buffer* buffer, rect area, color value) {
    if (!buffer || !buffer->pixels) return;
    for (int32_t row = area.y; row < area.y + area.h; ++row) {
        color* pixel = buffer->pixels + (int64_t)row * buffer->width + area.x;
        for (int32_t i = 0; i < area.w; ++i) pixel[i] = blend_pixel(value, pixel[i]);
    }
}

static color load_pixel(const uint8_t* from) {
    color value;
    memcpy(&value, from, sizeof value);
    return value;
}

// Faded pixels come in few colours over few backgrounds, so the last blend
// is remembered across the rows of a blit; a pixel faded to nothing leaves a
// visible one as it was.
struct fade_memo {
    color source, under, result;
};

static void blit_faded_row(color* out, const uint8_t* from, int32_t count, float opacity, fade_memo* memo) {
    for (int32_t i = 0; i < count; ++i, from += 4) {
        color pixel = load_pixel(from);
        uint32_t alpha = (uint32_t)((float)(pixel >> alpha_shift) * opacity);
        if (alpha == 0 && (out[i] >> alpha_shift) != 0) continue;
        pixel = (pixel & 0x00ffffff) | (alpha << alpha_shift);
        if (pixel != memo->source || out[i] != memo->under) *memo = {pixel, out[i], blend_pixel(pixel, out[i])};
        out[i] = memo->result;
    }
}

// Signed, so that shifting the sign bit down spreads it over the pixel.
typedef int32_t signed_quad __attribute__((vector_size(16)));

static signed_quad hard_quad(const color* out, const uint8_t* from) {
    signed_quad source, under;
    memcpy(&source, from, sizeof source);
    memcpy(&under, out, sizeof under);
    signed_quad shows = source >> 31;
    return (source & shows) | (under & ~shows);
}

// Hard edges: a pixel shows when its alpha's top bit is set, the sign bit of
// the pixel read as signed, so four pixels are chosen at once by a mask.
// A row's last four are worked out first, from the pixels as they were, and
// stored last over the quads before them: a pixel chosen twice comes out the
// same, and no tail goes pixel by pixel with a branch the glyph's shape
// makes unpredictable.
static void blit_hard_row(color* out, const uint8_t* from, int32_t count) {
    static_assert(alpha_shift + 7 == 31 && hard_edge_alpha == 0x80, "the top alpha bit is the sign bit");
    if (count < 4) {
        for (int32_t i = 0; i < count; ++i) {
            int32_t pixel = (int32_t)load_pixel(from + 4 * i);
            int32_t shows = pixel >> 31;
            out[i] = (color)((pixel & shows) | ((int32_t)out[i] & ~shows));
        }
        return;
    }
    signed_quad last = hard_quad(out + count - 4, from + 4 * (count - 4));
    for (int32_t i = 0; i + 4 < count; i += 4) {
        signed_quad result = hard_quad(out + i, from + 4 * i);
        memcpy(out + i, &result, sizeof result);
    }
    memcpy(out + count - 4, &last, sizeof last);
}

void blit_span(pixel_buffer* buffer, const glyph_atlas* image, rect area, int32_t source_x, int32_t source_y,
               float opacity) {
    if (!buffer || !buffer->pixels || !image || !image->pixels) return;
    uint8_t flags = image->alpha_flags;
    int64_t image_stride = (int64_t)image->image_width * 4;
    const uint8_t* from = image->pixels + (int64_t)source_y * image_stride + (int64_t)source_x * 4;
    color* out = buffer->pixels + (int64_t)area.y * buffer->width + area.x;
    int64_t stride = buffer->width;
    int32_t w = area.w;
    // The kind of blit is chosen once, not row by row.
    if (opacity < 1.0f) {
        fade_memo memo = {0, 0, blend_pixel(0, 0)};
        for (int32_t row = 0; row < area.h; ++row, from += image_stride, out += stride)
            blit_faded_row(out, from, w, opacity, &memo);
    } else if (!(flags & font_alpha_some_transparent)) {
        for (int32_t row = 0; row < area.h; ++row, from += image_stride, out += stride)
            memcpy(out, from, (uint64_t)w * sizeof(color));
    } else if (flags & font_alpha_soft_edges) {
        for (int32_t row = 0; row < area.h; ++row, from += image_stride, out += stride)
            for (int32_t i = 0; i < w; ++i) out[i] = blend_pixel(load_pixel(from + 4 * i), out[i]);
    } else {
        for (int32_t row = 0; row < area.h; ++row, from += image_stride, out += stride) blit_hard_row(out, from, w);
    }
}
