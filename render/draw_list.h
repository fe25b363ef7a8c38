// A frame kept as the list of drawing commands its painters issued, so that
// two frames can be compared exactly and only the rows where they differ are
// drawn and shown again. The painters stay immediate-mode: they draw into a
// recording buffer with the ordinary primitives, which append here instead
// of writing pixels.
#pragma once

#include <stdint.h>

#include "render/font.h"
#include "render/pixel_buffer.h"

enum draw_kind : uint8_t {
    draw_kind_fill,
    draw_kind_blend,
    draw_kind_blit,
    draw_kind_blit_faded,
};

// Compared byte for byte, so every byte is a named field.
struct draw_command {
    uint8_t kind;
    uint8_t unused[3];
    color value;  // fill and blend
    rect area;    // destination, already clipped to the buffer
    int32_t source_x, source_y;  // blits: the image pixel drawn at area.x, area.y
    float opacity;               // faded blits
    uint32_t unused_too;
    const glyph_atlas* image;  // its pixels never change once loaded
};

struct draw_list {
    draw_command* commands;
    uint32_t count, capacity;
    int32_t width, height;  // of the buffer it was recorded for
    // The commands touching band b of draw_band_rows rows are
    // band_items[band_first[b] .. band_first[b + 1]), in drawing order.
    uint32_t* band_first;
    uint32_t band_capacity;
    uint32_t band_count;
    uint32_t* band_items;
    uint32_t items_capacity;
    uint8_t failed;  // an allocation failed: the list is incomplete
};

// Rows per band: the finest unit in which frames are compared and redrawn.
enum : int32_t { draw_band_rows = 8 };

struct row_span {
    int32_t top, bottom;  // rows top .. bottom - 1
};

// From begin to end, every primitive drawing into `target` appends to `list`
// (emptied first) instead of touching pixels; target's pixels may be null.
void draw_list_begin(draw_list* list, pixel_buffer* target);
void draw_list_end(void);
// The list that drawing into `buffer` appends to, or null.
draw_list* draw_list_recording_into(const pixel_buffer* buffer);
void draw_list_append(draw_list* list, const draw_command* command);

// The runs of rows in which `now` and `before` draw differently, found by
// comparing the commands that touch each band; at most `most` runs, the last
// one stretched over the rest when there are more. Both lists must be of the
// same size and complete.
int32_t draw_list_changed_rows(draw_list* now, draw_list* before, row_span* spans, int32_t most);
// Draws every command of `list` that touches rows span.top .. span.bottom - 1,
// only within those rows.
void draw_list_replay(const draw_list* list, pixel_buffer* target, row_span span);
