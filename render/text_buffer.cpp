#include "render/text_buffer.h"

#include <string.h>

#include "os/os.h"

enum : uint64_t {
    linear_growth_threshold = 0x800000,
    linear_growth_step = 0x800000,
    // A buffer whose creation failed has capacity 0, which doubling never grows.
    first_capacity = 64,
    decimal_digits_max = 20,
};

bool text_buffer_create(text_buffer* buffer, uint64_t capacity) {
    *buffer = text_buffer{};
    char* data = (char*)os_alloc(capacity + 1);
    if (!data) return false;
    data[0] = 0;
    buffer->data = data;
    buffer->capacity = capacity;
    return true;
}

void text_reset(text_buffer* buffer) { buffer->length = 0; }

// Grows the storage to hold `needed` bytes. On failure the old storage and
// capacity stay and false is returned, so only the append at hand is lost.
static bool text_reserve(text_buffer* buffer, uint64_t needed) {
    if (needed <= buffer->capacity && buffer->data) return true;
    uint64_t capacity = buffer->capacity ? buffer->capacity : first_capacity;
    while (capacity < needed && capacity < linear_growth_threshold) capacity *= 2;
    if (capacity < needed) {
        // Linear steps are counted rather than looped, so a huge request fails quickly.
        uint64_t steps = (needed - capacity + linear_growth_step - 1) / linear_growth_step;
        if (steps > (UINT64_MAX - capacity) / linear_growth_step) return false;
        capacity += steps * linear_growth_step;
    }
    if (capacity == UINT64_MAX) return false;
    char* data = buffer->data ? (char*)os_realloc(buffer->data, capacity + 1)
                              : (char*)os_alloc(capacity + 1);
    if (!data) return false;
    buffer->data = data;
    buffer->capacity = capacity;
    return true;
}

void text_append(text_buffer* buffer, uint64_t count, const void* bytes) {
    if (count == 0) return;
    uint64_t needed = buffer->length + count;
    if (needed < buffer->length) return;
    if (!text_reserve(buffer, needed)) return;
    if (bytes) memmove(buffer->data + buffer->length, bytes, count);
    buffer->length = needed;
    buffer->data[needed] = 0;
}

void text_append_cstring(text_buffer* buffer, const char* bytes) {
    if (!bytes) return;
    text_append(buffer, strlen(bytes), bytes);
}

void text_append_char(text_buffer* buffer, char c) { text_append(buffer, 1, &c); }

// Writes the decimal digits of value, with a '-' when negative is set, and
// appends them as one block.
static void append_decimal(text_buffer* buffer, uint64_t value, bool negative) {
    char digits[decimal_digits_max + 1];
    int at = (int)sizeof digits;
    do {
        digits[--at] = (char)('0' + value % 10);
        value /= 10;
    } while (value);
    if (negative) digits[--at] = '-';
    text_append(buffer, sizeof digits - (uint64_t)at, digits + at);
}

void text_append_int(text_buffer* buffer, int64_t value) {
    // The magnitude is taken unsigned so that INT64_MIN prints correctly.
    uint64_t magnitude = value < 0 ? 0 - (uint64_t)value : (uint64_t)value;
    append_decimal(buffer, magnitude, value < 0);
}

void text_append_uint(text_buffer* buffer, uint64_t value) { append_decimal(buffer, value, false); }
