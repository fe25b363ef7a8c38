// Copying the selected bytes to the clipboard: as hex text from the hex grid,
// as text from the character grid, and always as the raw bytes.
#pragma once

#include <stdint.h>

enum copy_grid : uint8_t { copy_grid_none = 0, copy_grid_hex = 1, copy_grid_chars = 2 };

// Larger selections are refused: the text alone would be three times as big.
enum : uint64_t { copy_limit_bytes = 64ull << 20 };

// "4D 5A 90 00": the text of `count` bytes needs 3 * count - 1 bytes (0 for
// none); returns the length written.
uint64_t write_hex_text(const uint8_t* bytes, uint64_t count, char* out);
// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool is_valid_utf8(const uint8_t* bytes, uint64_t count);
// Each byte read as Latin-1, written as UTF-8 (at most 2 * count bytes);
// returns the length written.
uint64_t write_latin1_as_utf8(const uint8_t* bytes, uint64_t count, char* out);

// The grid whose reading a copy takes: the one under the pointer, else the
// one last clicked, else the hex grid.
copy_grid copy_source_grid(void);
// Copies the selection (the part of it inside the file) and returns the line
// to show for it, or null when there is nothing to copy.
const char* copy_selection(void);

// The part of the selection inside the file, as every copy takes it: a count
// of 0 when there is nothing to copy, and then maybe the line that refuses it.
const char* selection_to_copy(uint64_t* offset, uint64_t* count);
// The text, with the raw bytes along as application/octet-stream.
void put_copy_on_clipboard(const char* text, uint64_t length, const uint8_t* bytes, uint64_t count);
// "Copied 4 bytes as hex text."
const char* copied_message(uint64_t count, const char* what);
