// The pixel buffer's rectangle primitives: clipped fills, outlines and translucent blends.
#include "render/pixel_buffer.h"

#include <string.h>
#include <wchar.h>

#include "render/draw_list.h"

enum : uint32_t { alpha_opaque = 0xff, alpha_shift = 24 };

static uint32_t channel(color value, int shift) { return (value >> shift) & 0xff; }

// Clips area to columns 0..clip.w-1 and rows 0..clip.h-1. False when nothing
// is left to draw.
static bool clip_area(rect clip, rect* area) {
    int64_t x = area->x, y = area->y, w = area->w, h = area->h;
    if (x < 0) {
        w += x;
        x = 0;
    }
    if (x + w > clip.w) w = (int64_t)clip.w - x;
    if (y < 0) {
        h += y;
        y = 0;
    }
    if (y + h > clip.h) h = (int64_t)clip.h - y;
    if (w <= 0 || h <= 0) return false;
    *area = rect{(int32_t)x, (int32_t)y, (int32_t)w, (int32_t)h};
    return true;
}

rect whole_buffer(const pixel_buffer* buffer) {
    if (!buffer) return rect{};
    return rect{0, 0, buffer->width, buffer->height};
}

bool rect_contains(rect area, int64_t x, int64_t y) {
    return area.x <= x && x < (int64_t)area.x + area.w && area.y <= y && y < (int64_t)area.y + area.h;
}

int32_t clamp_to_int32(int64_t value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return (int32_t)value;
}

static void record(draw_list* list, uint8_t kind, rect area, color value) {
    draw_command command = {};
    command.kind = kind;
    command.value = value;
    command.area = area;
    draw_list_append(list, &command);
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

void fill_rect(pixel_buffer* buffer, rect clip, rect area, color value) {
    if (!buffer || !clip_area(clip, &area)) return;
    if (draw_list* list = draw_list_recording_into(buffer)) {
        record(list, draw_kind_fill, area, value);
        return;
    }
    fill_span(buffer, area, value);
}

void draw_rect_outline(pixel_buffer* buffer, rect clip, rect area, int32_t thickness, color value) {
    // The far edges are placed in 64 bits: a rect near INT32_MAX would wrap
    // them round to the other side of the buffer.
    int64_t x = area.x, y = area.y, w = area.w, h = area.h, t = thickness;
    int32_t inner_y = clamp_to_int32(y + t), inner_h = clamp_to_int32(h - 2 * t);
    fill_rect(buffer, clip, rect{area.x, area.y, area.w, thickness}, value);
    fill_rect(buffer, clip, rect{area.x, clamp_to_int32(y + h - t), area.w, thickness}, value);
    fill_rect(buffer, clip, rect{area.x, inner_y, thickness, inner_h}, value);
    fill_rect(buffer, clip, rect{clamp_to_int32(x + w - t), inner_y, thickness, inner_h}, value);
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
    if (!buffer) return;
    if (draw_list* list = draw_list_recording_into(buffer)) {
        record(list, draw_kind_blend, area, value);
        return;
    }
    if (!buffer->pixels) return;
    for (int32_t row = area.y; row < area.y + area.h; ++row) {
        color* pixel = buffer->pixels + (int64_t)row * buffer->width + area.x;
        for (int32_t i = 0; i < area.w; ++i) pixel[i] = blend_pixel(value, pixel[i]);
    }
}

void blend_rect(pixel_buffer* buffer, rect clip, rect area, color value) {
    uint32_t alpha = value >> alpha_shift;
    if (alpha == alpha_opaque) {
        fill_rect(buffer, clip, area, value);
        return;
    }
    if (alpha == 0 || !clip_area(clip, &area)) return;
    blend_span(buffer, area, value);
}

void blend_vline(pixel_buffer* buffer, rect clip, rect area, color value) {
    if (value >> alpha_shift != alpha_opaque) area.w = 1;
    blend_rect(buffer, clip, area, value);
}

void blend_hline(pixel_buffer* buffer, rect clip, rect area, color value) {
    if (value >> alpha_shift != alpha_opaque) area.h = 1;
    blend_rect(buffer, clip, area, value);
}

void blend_hband(pixel_buffer* buffer, rect clip, rect area, color value) {
    if (value >> alpha_shift != alpha_opaque) area.h = 2;
    blend_rect(buffer, clip, area, value);
}
