// The layers under a byte-grid cell's glyphs (region fill or byte-class
// tint, outline marks, the changed-byte underline, hover bars, selection shade), painted two ways: with plain fills of
// colours worked out once, for cells of at least 4 x 4 whose marks stay
// apart, and one blend after another for smaller cells. Both must give the
// same pixels wherever the first is used; a test holds them to it.
#pragma once

#include <stdint.h>

#include "render/draw_list.h"
#include "views/placement_index.h"

struct cell_layers {
    placement_marks marks;
    bool hovered, hover_first, hover_last;
    bool shaded;
    color tint;    // under a cell no region covers; 0 for the plain background
    bool changed;  // the last reload changed the byte
};

// The underline of a changed byte: bright against every tint and region
// colour, below the digits and clear of the outline's bottom line (a hover
// band covers its lower row).
enum : color { changed_byte_mark = 0xffff9922 };
enum : int32_t { changed_mark_rise = 3, changed_mark_height = 2, changed_mark_least_cell_h = 6 };

// The tint of a byte's class: zero, printable ASCII, whitespace, other
// control bytes, 0x80 to 0xFE, 0xFF.
color byte_class_tint(uint8_t byte);

void paint_cell_layers(draw_list* list, rect cell, const cell_layers* layers);
void paint_cell_layers_blended(draw_list* list, rect cell, const cell_layers* layers);
