// The last search's matches while Find shows them: an outline around each
// match in the visible rows of both grids, and a mark at the left edge of
// the position bar's track beside every row of the file holding one.
#pragma once

#include <stdint.h>

#include "render/pixel_buffer.h"

// Which bytes of [first, end) lie in a match; false when no match is shown.
bool match_marks_build(uint64_t first, uint64_t end);
// The outline's sides for a byte of the range last built.
void paint_match_outline(pixel_buffer* buffer, rect clip, rect cell, uint64_t offset);
void paint_match_track_marks(pixel_buffer* buffer, rect clip, rect track);
