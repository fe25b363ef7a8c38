// The bytes the last reload changed: block digests computed a slice at a
// time, their comparison after a reload, and the marks they give.
#include "views/changed_bytes.h"

#include <string.h>
#include <xxhash.h>

#include "app/app_state.h"
#include "views/byte_grid_cells.h"
#include "views/byte_kinds.h"
#include "views/views.h"

enum : uint64_t {
    // About a millisecond of digesting between two looks at the clock.
    change_slice_blocks = 256,
    // More than any screen shows; a larger window keeps only its start.
    shown_bytes_most = 1ull << 20,
};

// ---------------------------------------------------------------------------
// The digest

// XXH3 from libxxhash: fast enough that digesting runs near the speed of
// reading, and with 64 bits a changed block goes unnoticed once in 2^64.
static uint64_t block_digest(const uint8_t* bytes, uint64_t length) { return XXH3_64bits(bytes, (size_t)length); }

// ---------------------------------------------------------------------------
// Following the contents

static uint64_t blocks_of(uint64_t size) { return size / change_block_bytes + (size % change_block_bytes != 0); }

static bool grow(void** block, uint64_t* capacity, uint64_t wanted) {
    if (wanted <= *capacity) return true;
    void* grown = os_realloc(*block, wanted);
    if (!grown) return false;
    *block = grown;
    *capacity = wanted;
    return true;
}

// Starts digesting the loaded contents; without room for the digests, they are not followed.
static void follow_loaded_contents(void) {
    change_state* c = &app_state.changes;
    c->data = app_state.file.data;
    c->size = app_state.file.data ? app_state.file.size : 0;
    c->hashed = 0;
    c->shown_data = nullptr;
    c->shown_length = 0;
    uint64_t bytes = blocks_of(c->size) * sizeof(uint64_t);
    if (c->watched && !grow((void**)&c->digests, &c->capacity, bytes)) c->watched = 0;
    if (!c->watched) c->comparing = 0;
}

void changes_note_new_file(bool watched) {
    change_state* c = &app_state.changes;
    c->watched = watched;
    changes_forget_marks();
    follow_loaded_contents();
}

// Two blocks with their capacities trade places, so that each is reused.
template <typename T>
static void trade(T** a, uint64_t* a_capacity, T** b, uint64_t* b_capacity) {
    T* block = *a;
    uint64_t capacity = *a_capacity;
    *a = *b;
    *a_capacity = *b_capacity;
    *b = block;
    *b_capacity = capacity;
}

void changes_note_reload(void) {
    change_state* c = &app_state.changes;
    // The digests and the copy on screen of the contents before become what is compared with.
    trade(&c->digests, &c->capacity, &c->before, &c->before_capacity);
    c->before_hashed = c->data ? c->hashed : 0;
    c->before_size = c->size;
    bool shown_kept = c->shown_data && c->shown_data == c->data;
    trade(&c->shown, &c->shown_capacity, &c->shown_before, &c->shown_before_capacity);
    c->shown_before_offset = c->shown_offset;
    c->shown_before_length = shown_kept ? c->shown_length : 0;
    if (c->span_count) {
        trade(&c->spans, &c->span_capacity, &c->kept_spans, &c->kept_capacity);
        c->kept_count = c->span_count;
        c->span_count = 0;
    }
    c->comparing = 1;
    follow_loaded_contents();
}

void changes_forget_marks(void) {
    app_state.changes.span_count = 0;
    app_state.changes.kept_count = 0;
    app_state.changes.comparing = 0;
}

// The marks shown: the last reload's, or while it has found none, the earlier ones.
static const byte_span* shown_spans(uint64_t* count) {
    const change_state* c = &app_state.changes;
    *count = c->span_count ? c->span_count : c->kept_count;
    return c->span_count ? c->spans : c->kept_spans;
}

static void mark(uint64_t start, uint64_t end) {
    change_state* c = &app_state.changes;
    if (start >= end) return;
    if (c->span_count && c->spans[c->span_count - 1].end >= start) {
        byte_span* last = &c->spans[c->span_count - 1];
        if (end > last->end) last->end = end;
        return;
    }
    uint64_t wanted = c->span_count + 1;
    if (wanted > c->span_capacity / sizeof(byte_span) &&
        !grow((void**)&c->spans, &c->span_capacity, 2 * wanted * sizeof(byte_span)))
        return;
    c->spans[c->span_count++] = byte_span{start, end};
}

// Marks the block's bytes [start, stop) that differ from the contents before:
// a verdict for the block from its digest, except for the bytes that were on
// screen, which are compared one by one.
static void compare_block(uint64_t block, uint64_t start, uint64_t stop, uint64_t digest) {
    change_state* c = &app_state.changes;
    bool known = block < c->before_hashed;
    uint64_t from = start, to = start;  // the span the digests call changed
    if (start >= c->before_size) {
        to = stop;  // past the old end
    } else if (stop > c->before_size) {
        // The old last block grew: its old bytes are digested again to tell them apart.
        bool old_bytes_differ = known && block_digest(c->data + start, c->before_size - start) != c->before[block];
        from = old_bytes_differ ? start : c->before_size;
        to = stop;
    } else if (known && digest != c->before[block]) {
        to = stop;
    }
    uint64_t seen_start = c->shown_before_offset, seen_end = seen_start + c->shown_before_length;
    uint64_t low = start > seen_start ? start : seen_start, high = stop < seen_end ? stop : seen_end;
    if (low >= high) return mark(from, to);
    mark(from, to < low ? to : low);
    for (uint64_t at = low; at < high; at++)
        if (c->data[at] != c->shown_before[at - seen_start]) mark(at, at + 1);
    mark(from > high ? from : high, to);
}

static bool following(void) {
    change_state* c = &app_state.changes;
    if (!c->watched || !app_state.file.data) return false;
    // Contents that came some other way start over unmarked.
    if (c->data != app_state.file.data || c->size != app_state.file.size) changes_note_new_file(true);
    return c->watched;
}

bool changes_pending(void) { return following() && app_state.changes.hashed < blocks_of(app_state.changes.size); }

bool changes_step(void) {
    if (!changes_pending()) return false;
    change_state* c = &app_state.changes;
    uint64_t blocks = blocks_of(c->size);
    uint64_t last = c->hashed + change_slice_blocks < blocks ? c->hashed + change_slice_blocks : blocks;
    for (uint64_t block = c->hashed; block < last; block++) {
        uint64_t start = block * change_block_bytes;
        uint64_t stop = start + change_block_bytes < c->size ? start + change_block_bytes : c->size;
        uint64_t digest = block_digest(c->data + start, stop - start);
        if (c->comparing) compare_block(block, start, stop, digest);
        c->digests[block] = digest;
    }
    // The bytes read for the digests need not stay in the program's memory.
    os_mapped_file mapping = loaded_file_mapping();
    os_mapped_file_drop_pages(&mapping, c->hashed * change_block_bytes, (last - c->hashed) * change_block_bytes);
    c->hashed = last;
    if (c->span_count) c->kept_count = 0;
    if (last == blocks) c->comparing = 0;
    return last < blocks;
}

void changes_keep_shown_bytes(void) {
    change_state* c = &app_state.changes;
    if (!following() || app_state.bytes_per_row <= 0 || app_state.visible_rows <= 0) return;
    __int128 first = (__int128)app_state.scroll_row * app_state.bytes_per_row;
    __int128 end = first + (__int128)app_state.visible_rows * app_state.bytes_per_row;
    if (first < 0) first = 0;
    if (end > (__int128)c->size) end = c->size;
    if (end <= first) return;
    uint64_t length = (uint64_t)(end - first);
    if (length > shown_bytes_most) length = shown_bytes_most;
    if (c->shown_data == c->data && c->shown_offset == (uint64_t)first && c->shown_length == length) return;
    if (!grow((void**)&c->shown, &c->shown_capacity, length)) return;
    memcpy(c->shown, c->data + (uint64_t)first, length);
    c->shown_data = c->data;
    c->shown_offset = (uint64_t)first;
    c->shown_length = length;
}

// ---------------------------------------------------------------------------
// Asking and painting

// The first span that ends after `offset`.
static uint64_t first_span_after(uint64_t offset) {
    uint64_t low = 0, high = 0;
    const byte_span* spans = shown_spans(&high);
    while (low < high) {
        uint64_t middle = low + (high - low) / 2;
        if (spans[middle].end <= offset) low = middle + 1;
        else high = middle;
    }
    return low;
}

change_cursor changes_cursor_at(uint64_t offset) { return change_cursor{first_span_after(offset)}; }

bool changes_cover(change_cursor* cursor, uint64_t offset) {
    uint64_t count = 0;
    const byte_span* spans = shown_spans(&count);
    while (cursor->index < count && spans[cursor->index].end <= offset) cursor->index++;
    return cursor->index < count && spans[cursor->index].start <= offset;
}

// The track row whose part of the file holds `offset`, as the overview splits it.
static int32_t track_row_of(uint64_t offset, uint64_t size, int32_t rows) {
    if (offset >= size) return rows - 1;
    int32_t row = (int32_t)((unsigned __int128)offset * (uint64_t)rows / size);
    uint64_t start, end;
    overview_row_range(size, rows, row, &start, &end);
    while (row > 0 && start > offset) overview_row_range(size, rows, --row, &start, &end);
    while (row + 1 < rows && end <= offset) overview_row_range(size, rows, ++row, &start, &end);
    return row;
}

void paint_change_marks(draw_list* list, rect track) {
    uint64_t count = 0;
    const byte_span* spans = shown_spans(&count);
    uint64_t size = app_state.file.size;
    if (!count || size == 0 || track.h <= 0) return;
    // One span per marked run of rows: the spans inside a marked row are skipped.
    // Earlier marks may lie past the end of a file that shrank.
    for (uint64_t i = 0; i < count && spans[i].start < size;) {
        int32_t first = track_row_of(spans[i].start, size, track.h);
        int32_t last = track_row_of(spans[i].end - 1, size, track.h);
        fill_rect(list, rect{track.x, track.y + first, track.w, last - first + 1}, changed_byte_mark);
        uint64_t start, end;
        overview_row_range(size, track.h, last, &start, &end);
        uint64_t next = first_span_after(end - 1);
        i = next > i ? next : i + 1;
    }
}
