// The overview in the position bar's track: which rows are summarised, from
// what is read of each, their colours, and the line that names the row under
// the pointer.
#include "app/app_state.h"
#include "render/draw_list.h"
#include "stb_sprintf.h"
#include "views/byte_kinds.h"
#include "views/views.h"

// Colours from the type palette's family, dark enough for the thumb
// (0xff777777) to stand out over every one of them.
static const color kind_colors[byte_kind_count] = {
    0xff262626,  // pending: the bare track
    0xff334488,  // all zero
    0xff888833,  // all 0xFF
    0xff338833,  // mostly text
    0xffaa3333,  // high entropy
    0xff3c3c4c,  // other binary
};

enum : int32_t { hex_digits_shown = 8 };

enum : uint64_t {
    // Read at a time into the one reused block.
    read_block_bytes = 64ull << 10,
    no_more_data = UINT64_MAX,
};

// Brings the summaries in line with the file and track shown now.
static bool sync_overview(void) {
    overview_state* o = &app_state.overview;
    if (!position_bar_shown()) return false;
    int32_t rows = position_bar_track().h;
    if (rows <= 0) return false;
    if (o->stale || o->data != app_state.file.data || o->size != app_state.file.size || o->rows != rows) {
        if (rows > o->capacity) {
            uint8_t* kinds = (uint8_t*)os_realloc(o->kinds, (uint64_t)rows);
            if (kinds) o->kinds = kinds;
            float* entropies = (float*)os_realloc(o->entropies, (uint64_t)rows * sizeof(float));
            if (entropies) o->entropies = entropies;
            if (!kinds || !entropies) return false;
            o->capacity = rows;
        }
        o->data = app_state.file.data;
        o->size = app_state.file.size;
        o->rows = rows;
        o->done = 0;
        o->stale = 0;
        o->bytes_read = 0;
        o->hole_from = o->data_start = o->data_end = 0;
    }
    return true;
}

// The loaded file's descriptor while it is mapped: its samples are read
// beside the mapping, so they leave no pages in the process.
static int32_t file_descriptor(void) {
    os_mapped_file mapping = loaded_file_mapping();
    return os_mapped_file_descriptor(&mapping);
}

static void count_zeros(uint64_t count, byte_counts* counts) {
    counts->of[0] += count;
    counts->total += count;
}

// Counts [at, at + length): holes of a sparse file as zeros without reading
// them, the rest read a block at a time.
static void count_piece(int32_t descriptor, uint64_t at, uint64_t length, byte_counts* counts) {
    overview_state* o = &app_state.overview;
    if (descriptor < 0) return count_bytes(o->data + at, length, counts);
    if (!o->buffer) o->buffer = (uint8_t*)os_alloc(read_block_bytes);
    if (!o->buffer) return;
    while (length > 0) {
        if (at < o->hole_from || at >= o->data_end) {
            o->hole_from = at;
            if (!os_find_file_data(descriptor, at, &o->data_start, &o->data_end))
                o->data_start = o->data_end = no_more_data;
        }
        if (at < o->data_start) {
            uint64_t zeros = o->data_start - at < length ? o->data_start - at : length;
            count_zeros(zeros, counts);
            at += zeros;
            length -= zeros;
            continue;
        }
        uint64_t count = o->data_end - at < length ? o->data_end - at : length;
        if (count > read_block_bytes) count = read_block_bytes;
        int64_t got = os_read_file_at(descriptor, at, count, o->buffer);
        if (got < 0) got = 0;
        o->bytes_read += (uint64_t)got;
        count_bytes(o->buffer, (uint64_t)got, counts);
        // Bytes gone since the file was mapped read as zeros, as in the mapping.
        count_zeros(count - (uint64_t)got, counts);
        at += count;
        length -= count;
    }
}

bool overview_pending(void) {
    return sync_overview() && app_state.overview.done < app_state.overview.rows;
}

bool overview_step(void) {
    if (!overview_pending()) return false;
    overview_state* o = &app_state.overview;
    uint64_t start, end;
    overview_row_range(o->size, o->rows, o->done, &start, &end);
    row_samples plan = plan_row_samples(start, end, overview_pass_bytes / (uint64_t)o->rows);
    int32_t descriptor = file_descriptor();
    byte_counts counts = {};
    for (uint32_t i = 0; i < plan.pieces; i++)
        count_piece(descriptor, row_sample_start(start, end, plan, i), plan.piece_bytes, &counts);
    byte_summary summary = summarise_counts(&counts);
    o->kinds[o->done] = summary.kind;
    o->entropies[o->done] = summary.entropy;
    o->done++;
    return o->done < o->rows;
}

void paint_overview(draw_list* list, rect track, bool hovered) {
    overview_state* o = &app_state.overview;
    if (!sync_overview() || o->rows != track.h) return;
    // Runs of one kind are filled at once.
    for (int32_t row = 0; row < o->done;) {
        int32_t end = row + 1;
        while (end < o->done && o->kinds[end] == o->kinds[row]) end++;
        uint8_t kind = o->kinds[row] < byte_kind_count ? o->kinds[row] : (uint8_t)byte_kind_pending;
        fill_rect(list, rect{track.x, track.y + row, track.w, end - row}, kind_colors[kind]);
        row = end;
    }
    int64_t y = (int64_t)app_state.mouse_y - track.y;
    if (hovered && y >= 0 && y < track.h) o->hover_row = (int32_t)y;
}

bool build_overview_hover_line(text_buffer* text) {
    const overview_state* o = &app_state.overview;
    if (o->hover_row < 0 || o->hover_row >= o->rows || !o->kinds) return false;
    uint64_t start, end;
    overview_row_range(o->size, o->rows, o->hover_row, &start, &end);
    uint8_t kind = o->hover_row < o->done ? o->kinds[o->hover_row] : (uint8_t)byte_kind_pending;
    char line[128];
    int length = stbsp_snprintf(line, (int)sizeof line, "0x%0*llX-0x%0*llX: %s", (int)hex_digits_shown,
                                (unsigned long long)start, (int)hex_digits_shown, (unsigned long long)(end - 1),
                                byte_kind_name(kind));
    if (kind != byte_kind_pending && kind != byte_kind_zero && kind != byte_kind_ff && length > 0)
        length += stbsp_snprintf(line + length, (int)sizeof line - length, " (%.2f bits/byte)",
                                 (double)o->entropies[o->hover_row]);
    text_reset(text);
    text_append(text, (uint64_t)(length > 0 ? length : 0), line);
    return true;
}
