// Outlining the matches in the visible rows and marking their rows on the
// position bar's track.
#include "views/match_outlines.h"

#include "app/app_state.h"
#include "views/byte_kinds.h"

// Orange: no kind of the overview, no part of the grid's greys.
enum : color { match_outline_color = 0xffff9900 };

enum : uint8_t {
    match_covered = 1,
    match_starts = 2,
    match_ends = 4,
};

// A mark stands out into the bar's inset, left of the track, and covers
// only one column of the overview.
enum : int32_t {
    track_mark_outside = 2,
    track_mark_width = 3,
};

// Reused by every paint; grows to the largest visible range seen.
static uint8_t* window_marks;
static uint64_t window_capacity, window_first, window_length;

static bool matches_at(const uint8_t* at, const find_pattern* pattern) {
    for (int32_t i = 0; i < pattern->length; i++)
        if (!pattern->any[i] && at[i] != pattern->bytes[i]) return false;
    return true;
}

bool match_marks_build(uint64_t first, uint64_t end) {
    window_length = 0;
    const find_matches* m = &app_state.prompt.matches;
    uint64_t size = app_state.file.size, length = (uint64_t)m->pattern.length;
    if (!m->shown || !app_state.file.data || end <= first || length == 0 || length > size) return false;
    if (end - first > window_capacity) {
        uint8_t* grown = (uint8_t*)os_realloc(window_marks, end - first);
        if (!grown) return false;
        window_marks = grown;
        window_capacity = end - first;
    }
    window_first = first;
    window_length = end - first;
    for (uint64_t i = 0; i < window_length; i++) window_marks[i] = 0;
    // Every start whose match reaches into the range.
    uint64_t low = first >= length - 1 ? first - (length - 1) : 0;
    uint64_t high = end < size - length + 1 ? end : size - length + 1;
    for (uint64_t start = low; start < high; start++) {
        if (!matches_at(app_state.file.data + start, &m->pattern)) continue;
        uint64_t from = start > first ? start : first, to = start + length < end ? start + length : end;
        for (uint64_t at = from; at < to; at++) window_marks[at - first] |= match_covered;
        if (start >= first) window_marks[start - first] |= match_starts;
        if (start + length <= end) window_marks[start + length - 1 - first] |= match_ends;
    }
    return true;
}

void paint_match_outline(draw_list* list, rect cell, uint64_t offset) {
    if (offset < window_first || offset - window_first >= window_length) return;
    uint8_t marks = window_marks[offset - window_first];
    if (!(marks & match_covered)) return;
    fill_rect(list, rect{cell.x, cell.y, cell.w, 1}, match_outline_color);
    fill_rect(list, rect{cell.x, cell.y + cell.h - 1, cell.w, 1}, match_outline_color);
    if (marks & match_starts) fill_rect(list, rect{cell.x, cell.y, 1, cell.h}, match_outline_color);
    if (marks & match_ends) fill_rect(list, rect{cell.x + cell.w - 1, cell.y, 1, cell.h}, match_outline_color);
}

// A track row is marked when a bucket of starts that reaches into its part
// of the file holds a match.
void paint_match_track_marks(draw_list* list, rect track) {
    const find_matches* m = &app_state.prompt.matches;
    uint64_t size = app_state.file.size, length = (uint64_t)m->pattern.length;
    if (!m->shown || length == 0 || length > size) return;
    uint64_t last_start = size - length;
    for (int32_t row = 0; row < track.h; row++) {
        uint64_t start, end;
        overview_row_range(size, track.h, row, &start, &end);
        if (start > last_start) break;
        uint64_t last = (end - 1 < last_start ? end - 1 : last_start) >> m->bucket_shift;
        bool marked = false;
        for (uint64_t bucket = start >> m->bucket_shift; bucket <= last && !marked; bucket++)
            marked = m->bucket_matches[bucket] != 0;
        rect mark = {track.x - track_mark_outside, track.y + row, track_mark_width, 1};
        if (marked) fill_rect(list, mark, match_outline_color);
    }
}
