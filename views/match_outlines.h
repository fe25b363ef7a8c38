// The last search's matches while Find shows them: an outline around each
// match in the visible rows of both grids, and a mark at the left edge of
// the position bar's track beside every row of the file holding one.
#pragma once

#include <stdint.h>

#include "render/draw_list.h"

// Which bytes of [first, end) lie in a match; false when no match is shown.
bool match_marks_build(uint64_t first, uint64_t end);
// The outline's sides for a byte of the range last built.
void paint_match_outline(draw_list* list, rect cell, uint64_t offset);
void paint_match_track_marks(draw_list* list, rect track);
