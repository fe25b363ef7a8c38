// Ranges of file offsets, [start, start + length), tested without forming
// start + length: a range may reach the top of the 64-bit offset space, where
// the sum would wrap round to offset 0.
#pragma once

#include <stdint.h>

inline bool offset_in_range(uint64_t offset, uint64_t start, uint64_t length) {
    return offset >= start && offset - start < length;
}

// Whether [a, a + n) and [o, o + s) share a byte, and whether the first
// holds all of the second, with the sums formed as unsigned 64-bit values
// that may wrap: the type lines' shading of the selection and the hover
// follows these rules as they stand.
inline bool ranges_share(uint64_t a, uint64_t n, uint64_t o, uint64_t s) {
    return a + n - 1 >= o && a < o + s;
}

inline bool range_covers(uint64_t a, uint64_t n, uint64_t o, uint64_t s) {
    return a <= o && a + n >= o + s;
}

// Offsets, rows and lengths that keys and buttons push about are signed
// 64-bit; each step holds at the ends of the range instead of wrapping.
inline int64_t saturating_add(int64_t a, int64_t b) {
    int64_t sum;
    if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? INT64_MAX : INT64_MIN;
    return sum;
}

inline int64_t saturating_multiply(int64_t a, int64_t b) {
    int64_t product;
    if (__builtin_mul_overflow(a, b, &product)) return (a < 0) != (b < 0) ? INT64_MIN : INT64_MAX;
    return product;
}
