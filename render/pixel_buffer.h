// The 32-bit pixel buffer and the pixel rules every frame is drawn with:
// opaque fills, translucent blends and image blits over areas that already
// lie inside the buffer. Painters do not call these; they record into a
// draw list, which replays through them.
#pragma once

#include <stdint.h>

// color, rect and pixel_buffer: the records of a window's back buffer.
#include "os/os.h"

struct glyph_atlas;

void fill_span(pixel_buffer* buffer, rect area, color value);
void blend_span(pixel_buffer* buffer, rect area, color value);
// From the image pixel (source_x, source_y) on: with full opacity by the
// image's alpha flags, faded below opacity 1.
void blit_span(pixel_buffer* buffer, const glyph_atlas* image, rect area, int32_t source_x, int32_t source_y,
               float opacity);
// count pixels from `to` on become value.
void fill_pixels(color* to, int64_t count, color value);

// Edges are summed in 64 bits, so a rect reaching past INT32_MAX still works.
bool rect_contains(rect area, int64_t x, int64_t y);
// Layout runs in 64 bits; a coordinate beyond 32 bits is held at the limit
// rather than wrapped round to the far side of the buffer.
int32_t clamp_to_int32(int64_t value);

// The per-pixel source-over rule shared by the blends and the soft-edged
// glyph blits; a source alpha of 0 over an opaque pixel leaves it unchanged.
color blend_pixel(color source, color destination);
