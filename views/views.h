// The four panels painted by frame composition while a file is loaded.
#pragma once

void paint_structure_view(void);
void paint_data_view(void);
void paint_char_grid(void);
void paint_hex_grid(void);

// The position bar in the hex panel's right padding, shown while the file has
// more rows than the panel. Taking the pointer scrolls on a press or drag
// there; true from a press on the bar until its release (the grid then must
// not take the press).
bool position_bar_shown(void);
bool position_bar_take_pointer(void);
void paint_position_bar(void);
