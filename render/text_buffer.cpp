// Growable label text, and the integer and float formatting appended to it.
#include "render/text_buffer.h"

#include <math.h>
#include <string.h>

#include "os/os.h"

enum : uint64_t {
    linear_growth_threshold = 0x800000,
    linear_growth_step = 0x800000,
    // A buffer whose creation failed has capacity 0, which doubling never grows.
    first_capacity = 64,
    decimal_digits_max = 20,
};

enum : int32_t {
    float_fraction_digits = 5,
    big_decimal_limbs = 40,  // base 1e9: room for the 309 digits of the largest double
    limb_digits = 9,
};

enum : uint32_t { limb_base = 1000000000 };

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

// The exact decimal digits of an integral double of 2^64 and above.
static void append_big_integer(text_buffer* buffer, double integral) {
    int exponent = 0;
    double mantissa = frexp(integral, &exponent);
    uint64_t digits53 = (uint64_t)ldexp(mantissa, 53);
    int32_t shift = exponent - 53;

    uint32_t limbs[big_decimal_limbs] = {};  // base 1e9, least significant first
    int32_t used = 0;
    while (digits53) {
        limbs[used++] = (uint32_t)(digits53 % limb_base);
        digits53 /= limb_base;
    }
    while (shift > 0) {
        int32_t step = shift > 30 ? 30 : shift;
        shift -= step;
        uint64_t carry = 0;
        for (int32_t i = 0; i < used; i++) {
            uint64_t product = ((uint64_t)limbs[i] << step) + carry;
            limbs[i] = (uint32_t)(product % limb_base);
            carry = product / limb_base;
        }
        while (carry && used < big_decimal_limbs) {
            limbs[used++] = (uint32_t)(carry % limb_base);
            carry /= limb_base;
        }
    }
    text_append_uint(buffer, limbs[used - 1]);
    for (int32_t i = used - 2; i >= 0; i--) {
        char group[limb_digits];
        uint32_t limb = limbs[i];
        for (int32_t k = limb_digits - 1; k >= 0; k--) {
            group[k] = (char)('0' + limb % 10);
            limb /= 10;
        }
        text_append(buffer, sizeof group, group);
    }
}

void text_append_float_truncated(text_buffer* buffer, double value) {
    if (isnan(value)) {
        text_append_cstring(buffer, "nan");
        return;
    }
    if (value < 0) text_append_char(buffer, '-');
    double magnitude = fabs(value);
    if (isinf(magnitude)) {
        text_append_cstring(buffer, "inf");
        return;
    }
    // Below 2^31 the digits come from the magnitude itself, as they always have;
    // above, its integer part is printed whole and the fraction digits come
    // from the (exactly computed) fractional part.
    double scaled = magnitude;
    if (magnitude < 2147483648.0) {
        text_append_int(buffer, (int64_t)magnitude);
    } else {
        double integral = trunc(magnitude);
        if (integral < 18446744073709551616.0)
            text_append_uint(buffer, (uint64_t)integral);
        else
            append_big_integer(buffer, integral);
        scaled = magnitude - integral;
    }
    text_append_char(buffer, '.');
    for (int32_t k = 0; k < float_fraction_digits; k++) {
        scaled *= 10;
        text_append_char(buffer, (char)('0' + (uint64_t)scaled % 10));
    }
}
