// A type laid at an offset of the loaded file, turned into the structure
// view's lines: one value per field, structs and unions recursively.
#pragma once

#include <stdint.h>

#include "render/text_buffer.h"
#include "render/widgets.h"

enum : int32_t { type_layout_max_depth = 64 };
// A struct holding itself twice or more doubles its lines at every level, so
// depth alone does not bound them without a back buffer to stop at. No window
// shows this many lines (X windows are at most 32767 pixels tall).
enum : int64_t { type_layout_max_lines = 4096 };

// The lines of a type laid at an offset of the loaded file, depth first, as
// the structure view shows them: "Header struct(9)", "   magic u32 = 7", ...
struct type_walk_frame {
    uint32_t type_index;
    uint64_t offset;
    int64_t next_member;
};
struct type_walk {
    uint32_t type_index;
    uint64_t offset;
    uint8_t started;
    int32_t depth;  // frames in use: the structs whose members come next
    int64_t lines_left;
    type_walk_frame frames[type_layout_max_depth];
};
// What the painter needs of a line besides its text.
struct type_walk_line {
    uint64_t offset, size;  // the bytes the line stands for
    int32_t depth;          // indentation units, one guide each
    bool has_row;           // false for an error line: nothing to hover or select
};
void type_walk_begin(type_walk* walk, uint32_t type_index, uint64_t offset);
// Writes the next line's text into `text` (emptied first); false when none is left.
bool type_walk_next(type_walk* walk, text_buffer* text, type_walk_line* line);

// Paints the lines of the type at `offset` from the cursor down, stopping
// where no row can be seen or hit, with hover and selection.
void type_line(uint32_t type_index, uint64_t offset, layout_cursor* cursor);
