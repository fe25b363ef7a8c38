// The layers under a byte-grid cell's glyphs (region fill, outline marks,
// hover bars, selection shade), painted two ways: with plain fills of
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
};

void paint_cell_layers(draw_list* list, rect cell, const cell_layers* layers);
void paint_cell_layers_blended(draw_list* list, rect cell, const cell_layers* layers);
