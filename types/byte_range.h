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
