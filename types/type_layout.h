// A type laid at an offset of the loaded file, turned into the structure
// view's lines: one value per field, structs and unions recursively.
#pragma once

#include <stdint.h>

#include "render/text_buffer.h"
#include "render/widgets.h"

enum : int32_t { type_layout_max_depth = 64 };

void type_line(uint32_t type_index, uint64_t offset, int32_t depth, layout_cursor* cursor);

// Sees the text of every line type_line emits, just before it is drawn, so
// that tests can read the lines without a window. Null in the program.
extern void (*type_line_observer)(const char* text, uint64_t length);

// Unsigned value of `size` (1..8) bytes at `bytes`, in the given byte order.
uint64_t read_unsigned(const uint8_t* bytes, uint32_t size, bool big_endian);
int64_t read_signed(const uint8_t* bytes, uint32_t size, bool big_endian);
double half_to_double(uint16_t bits);
// Sign, integer digits, '.', five truncated fraction digits; "inf", "-inf",
// "nan" for the values that have no digits.
void text_append_float_truncated(text_buffer* buffer, double value);
