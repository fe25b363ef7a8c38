// Ranges of file offsets, [start, start + length), tested without forming
// start + length: a range may reach the top of the 64-bit offset space, where
// the sum would wrap round to offset 0.
#pragma once

#include <stdint.h>

inline bool offset_in_range(uint64_t offset, uint64_t start, uint64_t length) {
    return offset >= start && offset - start < length;
}
