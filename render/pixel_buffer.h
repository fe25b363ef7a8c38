// The 32-bit pixel buffer everything is drawn into, and its rectangle
// primitives: opaque fills and translucent blends, nothing else.
#pragma once

#include <stdint.h>

// color, rect and pixel_buffer: the records of a window's back buffer.
#include "os/os.h"

// Every primitive clips to columns 0..clip.w-1 and rows 0..clip.h-1; the
// clip's x and y are not read.
void fill_rect(pixel_buffer* buffer, rect clip, rect area, color value);
void draw_rect_outline(pixel_buffer* buffer, rect clip, rect area, int32_t thickness, color value);
void blend_rect(pixel_buffer* buffer, rect clip, rect area, color value);
void blend_vline(pixel_buffer* buffer, rect clip, rect area, color value);
void blend_hline(pixel_buffer* buffer, rect clip, rect area, color value);
void blend_hband(pixel_buffer* buffer, rect clip, rect area, color value);
// area must already lie inside the buffer.
void blend_span(pixel_buffer* buffer, rect area, color value);
void fill_span(pixel_buffer* buffer, rect area, color value);
// count pixels from `to` on become value.
void fill_pixels(color* to, int64_t count, color value);

// The clip rect every caller uses: the whole buffer.
rect whole_buffer(const pixel_buffer* buffer);

// Edges are summed in 64 bits, so a rect reaching past INT32_MAX still works.
bool rect_contains(rect area, int64_t x, int64_t y);
// Layout runs in 64 bits; a coordinate beyond 32 bits is held at the limit
// rather than wrapped round to the far side of the buffer.
int32_t clamp_to_int32(int64_t value);

// The per-pixel source-over rule shared by the blends and the soft-edged
// glyph blits; a source alpha of 0 over an opaque pixel leaves it unchanged.
color blend_pixel(color source, color destination);
