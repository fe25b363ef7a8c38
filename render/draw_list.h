// A frame kept as the list of drawing commands its painters issued, so that
// two frames can be compared exactly and only the areas where they differ are
// drawn again. The painters stay immediate-mode: the ordinary primitives
// append to the list, and the frame is drawn by replaying it, whole or over
// the changed areas.
#pragma once

#include <stdint.h>

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
    rect area;    // destination, already clipped to the list's size
    int32_t source_x, source_y;  // blits: the image pixel drawn at area.x, area.y
    float opacity;               // faded blits
    uint32_t unused_too;
    const glyph_atlas* image;  // its pixels never change once loaded
};

// The commands one painter issued, from `first` on; `bounds` holds them all.
struct draw_block {
    uint32_t id, first;
    rect bounds;
};

enum : uint32_t { draw_list_most_blocks = 8 };

struct draw_list {
    draw_command* commands;
    uint32_t count, capacity;
    int32_t width, height;  // of the buffer it is drawn for: every command lies inside
    uint8_t* tile_marks;    // scratch: the tiles a comparison found changed
    uint32_t tile_capacity;
    draw_block blocks[draw_list_most_blocks];  // block 0 (id 0) opens the list
    uint32_t block_count;
    uint8_t failed;  // an allocation failed: the list is incomplete
};

// The finest unit in which changed areas are shown: the buffer is cut into
// tiles of draw_tile_w x draw_tile_h pixels.
enum : int32_t { draw_tile_w = 64, draw_tile_h = 16 };

// Empties the list for a frame of that size.
void draw_list_begin(draw_list* list, int32_t width, int32_t height);
// Starts a block: the panels' painters each draw one, so that two frames
// that paint the same panels in another order (the panel under the pointer
// goes first) still compare panel by panel.
void draw_list_begin_block(draw_list* list, uint32_t id);
void draw_list_grow(draw_list* list, const draw_command* command);
inline void draw_list_append(draw_list* list, const draw_command* command) {
    if (list->count < list->capacity) list->commands[list->count++] = *command;
    else draw_list_grow(list, command);
}
void draw_list_free(draw_list* list);

// The rectangle primitives: each clips its area to the list's size and
// records it; a null list records nothing.
void fill_rect(draw_list* list, rect area, color value);
void draw_rect_outline(draw_list* list, rect area, int32_t thickness, color value);
void blend_rect(draw_list* list, rect area, color value);
void blend_vline(draw_list* list, rect area, color value);
void blend_hline(draw_list* list, rect area, color value);
void blend_hband(draw_list* list, rect area, color value);

// The areas in which `now` may draw differently from `before`: wherever a
// command of one is not paired with an equal command of the other. At most
// `most` rects (the last one stretched over the rest when there are more);
// the whole buffer when the sizes differ or a list is incomplete; none when
// the lists are the same.
int32_t draw_list_changed_areas(draw_list* now, draw_list* before, rect* areas, int32_t most);
// Draws every command of `list` that touches `area`, only within it.
void draw_list_replay(const draw_list* list, pixel_buffer* target, rect area);
void draw_list_replay_whole(const draw_list* list, pixel_buffer* target);
