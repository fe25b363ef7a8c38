// The four panels that show the loaded file, and the hit test that decides
// which of them the pointer is over.
#pragma once

#include <stdint.h>

#include "os/os.h"

// Hit-tests the pointer against the panels and paints all four, the one
// under it first, so that the others show the hover and selection it sets
// in this same frame.
void paint_views(void);

void paint_structure_view(void);
void paint_data_view(void);
void paint_char_grid(void);
void paint_hex_grid(void);

// Hovers the byte under the pointer in a byte grid; a left press selects it
// and a drag stretches the selection back to the pressed byte.
void hit_test_byte_grid(rect panel, int32_t cell_w, int32_t cell_h);
// Brings select_offset into the loaded file: 0 when below it, the last byte
// when past the end (-1 for an empty file or none).
void clamp_select_offset(void);

// The position bar in the hex panel's right padding, shown while the file has
// more rows than the panel. Taking the pointer scrolls while the bar holds
// the press, wherever the pointer is; true then (and, while a press is being
// placed, when the pointer is on the bar), so the grid under it does not
// hit-test.
bool position_bar_shown(void);
bool position_bar_take_pointer(void);
void paint_position_bar(void);
