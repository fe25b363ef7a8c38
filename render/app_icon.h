// The program's icon, drawn at any size: for the window's task bar entry and
// for the icon theme's pictures made at build time.
#pragma once

#include "os/os.h"

// Draws the icon over the whole of a square buffer (the width is the size);
// the corners outside its rounded square are transparent.
void draw_app_icon(pixel_buffer* buffer);
