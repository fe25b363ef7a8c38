// The four panels that show the loaded file, and the hit test that decides
// which of them the pointer is over.
#pragma once

#include <stdint.h>

#include "os/os.h"
#include "render/draw_list.h"
#include "render/text_buffer.h"

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
// The platform's record of the loaded file, for the calls that take one.
os_mapped_file loaded_file_mapping(void);

// The position bar in the hex panel's right padding, shown while the file has
// more rows than the panel. Taking the pointer scrolls while the bar holds
// the press, wherever the pointer is; true then (and, while a press is being
// placed, when the pointer is on the bar), so the grid under it does not
// hit-test.
bool position_bar_shown(void);
bool position_bar_take_pointer(void);
void paint_position_bar(void);
// The bar's strip, from the top of the first row to the bottom of the last.
rect position_bar_track(void);

// The overview in the track: what kind of bytes fill the part of the file
// behind each pixel row. Summarises the next row and returns true while rows
// are left for the file and track shown now; a new file, a reload or another
// track height starts it over.
bool overview_step(void);
bool overview_pending(void);
// Colours the summarised rows of the track and, when `hovered`, notes the
// row under the pointer.
void paint_overview(draw_list* list, rect track, bool hovered);
// "0x3A000000-0x3A3FFFFF: high entropy (7.98 bits/byte)" for the hovered
// row; false when no row is hovered.
bool build_overview_hover_line(text_buffer* text);
