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

void type_line(uint32_t type_index, uint64_t offset, int32_t depth, layout_cursor* cursor);

// Sees the text of every line type_line emits, just before it is drawn, so
// that tests can read the lines without a window. Null in the program.
extern void (*type_line_observer)(const char* text, uint64_t length);
