// The four panels painted by frame composition while a file is loaded.
#pragma once

void paint_structure_view(void);
void paint_data_view(void);
void paint_char_grid(void);
void paint_hex_grid(void);
