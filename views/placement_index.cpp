// The placement index: colours and outline marks for each byte of the grids' visible window.
#include "views/placement_index.h"

#include "os/os.h"
#include "types/byte_range.h"

// The end of [offset, offset + length) in the 64-bit offset space, held at
// the top instead of wrapping past it.
static uint64_t saturating_end(uint64_t offset, uint64_t length) {
    return length > UINT64_MAX - offset ? UINT64_MAX : offset + length;
}

static bool reserve(placement_index* index, uint64_t count) {
    if (count <= index->capacity) return true;
    uint64_t capacity = index->capacity ? index->capacity : 256;
    while (capacity < count) capacity *= 2;
    uint32_t* colors = (uint32_t*)os_realloc(index->colors, capacity * sizeof(uint32_t));
    if (colors) index->colors = colors;
    uint8_t* flags = (uint8_t*)os_realloc(index->flags, capacity);
    if (flags) index->flags = flags;
    uint64_t* next_free = (uint64_t*)os_realloc(index->next_free, (capacity + 1) * sizeof(uint64_t));
    if (next_free) index->next_free = next_free;
    if (!colors || !flags || !next_free) return false;
    index->capacity = capacity;
    return true;
}

// First unpainted slot at or after i (count when none), halving the paths.
static uint64_t find_free(uint64_t* next_free, uint64_t i) {
    while (next_free[i] != i) {
        next_free[i] = next_free[next_free[i]];
        i = next_free[i];
    }
    return i;
}

bool placement_index_build(placement_index* index, uint64_t first, uint64_t count,
                           const placement* list, int64_t list_count) {
    index->first = first;
    index->count = 0;
    if (count > UINT64_MAX - first) count = UINT64_MAX - first;
    if (count == 0) return true;
    if (!reserve(index, count)) return false;
    index->count = count;
    for (uint64_t i = 0; i < count; i++) {
        index->flags[i] = 0;
        index->next_free[i] = i;
    }
    index->next_free[count] = count;

    uint64_t window_end = first + count;
    // Later placements win the colour, so walking the list backwards paints
    // each byte once: a painted byte is skipped for good.
    for (int64_t k = list_count - 1; k >= 0; k--) {
        const placement* p = &list[k];
        if (p->length == 0) continue;
        uint64_t end = saturating_end(p->offset, p->length);
        uint64_t lo = p->offset > first ? p->offset : first;
        uint64_t hi = end < window_end ? end : window_end;
        if (lo >= hi) continue;
        if (p->offset >= first) index->flags[p->offset - first] |= placement_mark_starts;
        if (p->length - 1 <= UINT64_MAX - p->offset) {
            uint64_t last = p->offset + (p->length - 1);
            if (last >= first && last < window_end) index->flags[last - first] |= placement_mark_ends;
        }
        for (uint64_t i = find_free(index->next_free, lo - first); i < hi - first;
             i = find_free(index->next_free, i)) {
            index->colors[i] = p->color;
            index->flags[i] |= placement_mark_covered;
            index->next_free[i] = i + 1;
        }
    }
    return true;
}

placement_marks placement_index_lookup(const placement_index* index, uint64_t offset) {
    placement_marks marks = {0, 0};
    if (!offset_in_range(offset, index->first, index->count)) return marks;
    uint64_t i = offset - index->first;
    marks.flags = index->flags[i];
    if (marks.flags & placement_mark_covered) marks.color = index->colors[i];
    return marks;
}

placement_marks placement_marks_naive(const placement* list, int64_t list_count, uint64_t offset) {
    placement_marks marks = {0, 0};
    for (int64_t k = 0; k < list_count; k++) {
        const placement* p = &list[k];
        if (!placement_covers(p, offset)) continue;
        marks.color = p->color;
        marks.flags |= placement_mark_covered;
        if (offset == p->offset) marks.flags |= placement_mark_starts;
        if (offset - p->offset == p->length - 1) marks.flags |= placement_mark_ends;
    }
    return marks;
}
