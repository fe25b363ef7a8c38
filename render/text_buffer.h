// Growable NUL-terminated byte buffers in which every label is built afresh
// each frame before it is drawn.
#pragma once

#include <stdint.h>

struct text_buffer {
    uint64_t length;
    char* data;  // capacity + 1 bytes; data[length] is 0 after every append
    uint64_t capacity;
};

// False, with an empty buffer of capacity 0, when the allocation fails.
bool text_buffer_create(text_buffer* buffer, uint64_t capacity);
void text_reset(text_buffer* buffer);
// bytes may be null: the length then grows by count, content unspecified.
void text_append(text_buffer* buffer, uint64_t count, const void* bytes);
void text_append_cstring(text_buffer* buffer, const char* bytes);
void text_append_char(text_buffer* buffer, char c);
void text_append_int(text_buffer* buffer, int64_t value);
void text_append_uint(text_buffer* buffer, uint64_t value);
// Sign, integer digits, '.', five truncated fraction digits; "inf", "-inf",
// "nan" for the values that have no digits.
void text_append_float_truncated(text_buffer* buffer, double value);
