// Which placement colours and outline marks fall on each byte of the grids'
// visible window, computed once per paint instead of scanning every
// placement for every cell.
#pragma once

#include <stdint.h>

#include "types/type_table.h"

enum : uint8_t {
    placement_mark_covered = 0x01,
    placement_mark_starts = 0x02,  // some covering placement begins here
    placement_mark_ends = 0x04,    // some covering placement ends here
};

struct placement_marks {
    uint32_t color;  // of the last covering placement in list order
    uint8_t flags;
};

struct placement_index {
    uint64_t first;  // offset of the first byte indexed
    uint64_t count;  // bytes indexed
    uint64_t capacity;
    uint32_t* colors;
    uint8_t* flags;
    uint64_t* next_free;  // work space of the build
};

// Indexes the bytes first .. first + count - 1. False (and an empty index)
// when the working memory cannot be had.
bool placement_index_build(placement_index* index, uint64_t first, uint64_t count,
                           const placement* list, int64_t list_count);
// Offsets outside the indexed window come back uncovered.
placement_marks placement_index_lookup(const placement_index* index, uint64_t offset);
// The same answer by scanning the whole list.
placement_marks placement_marks_naive(const placement* list, int64_t list_count, uint64_t offset);
