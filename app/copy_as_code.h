// Ctrl+Shift+C: the selection copied as code, in the format whose letter is
// typed at the prompt.
#pragma once

#include <stdint.h>

enum copy_format : uint8_t {
    copy_format_hex = 0,     // h: 4D 5A 90 00, as Ctrl+C from the hex grid
    copy_format_c = 1,       // c: { 0x4D, 0x5A, 0x90, 0x00 }, 16 bytes a line
    copy_format_python = 2,  // p: b'MZ\x90\x00'
    copy_format_base64 = 3,  // b
    copy_format_xxd = 4,     // x: what xxd -s OFFSET -l COUNT prints, which xxd -r reads back
    copy_format_count = 5,
};

// The format of a typed letter, or copy_format_count for none.
copy_format copy_format_of_letter(uint32_t letter);
// Room the text of `count` bytes takes at most.
uint64_t copy_format_room(copy_format format, uint64_t count);
// Writes the text of `count` bytes whose first lies at `offset` in the file;
// returns its length.
uint64_t write_copy_format(copy_format format, const uint8_t* bytes, uint64_t count, uint64_t offset, char* out);
// Copies the selection in the format; the line to show, or null when there
// is nothing to copy.
const char* copy_selection_as(copy_format format);
