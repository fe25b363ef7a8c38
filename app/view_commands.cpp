// The viewer's keyboard commands: moving and stretching the selection,
// scrolling by pages and to either end, removing a placement, copying.
#include "app/app.h"
#include "app/app_state.h"
#include "app/copy_selection.h"
#include "app/measure_selection.h"
#include "app/status_line.h"
#include "types/byte_range.h"
#include "types/growable_array.h"
#include "types/type_table.h"
#include "views/views.h"

enum : int64_t { pages_with_shift = 10 };

void move_selection_start(int64_t bytes) {
    app_state.select_offset = saturating_add(app_state.select_offset, bytes);
    clamp_select_offset();
}

void move_selection_rows(int64_t rows) {
    move_selection_start(saturating_multiply(rows, app_state.bytes_per_row));
}

void stretch_selection(int64_t bytes) {
    app_state.select_len = saturating_add(app_state.select_len, bytes);
    if (bytes < 0 && app_state.select_len < 1) app_state.select_len = 1;
    clamp_select_offset();
}

void scroll_pages(int64_t pages, bool ten_times) {
    int64_t page = ten_times ? saturating_multiply(pages_with_shift, app_state.visible_rows) : app_state.visible_rows;
    app_state.scroll_row = saturating_add(app_state.scroll_row, saturating_multiply(pages, page));
}

void scroll_to_start(void) { app_state.scroll_row = 0; }

void scroll_to_end(void) {
    if (app_state.bytes_per_row <= 0) return;
    int64_t rows = (int64_t)(app_state.file.size / (uint64_t)app_state.bytes_per_row);
    int64_t row = rows - app_state.visible_rows + 1;
    app_state.scroll_row = row < 0 ? 0 : row;
}

void delete_placement_at_selection(void) {
    growable_array* list = &app_state.placements;
    const placement* items = (const placement*)list->items;
    uint64_t offset = (uint64_t)app_state.select_offset;
    for (int64_t i = 0; items && i < list->count; i++) {
        if (placement_covers(&items[i], offset)) {
            array_remove(list, sizeof(placement), i);
            return;
        }
    }
}

// Without scrolling: the view stays where the user was reading.
void select_whole_file(void) {
    app_state.select_offset = 0;
    app_state.select_anchor = 0;
    app_state.select_len = app_state.file.size > (uint64_t)INT64_MAX ? INT64_MAX
                           : app_state.file.size > 0             ? (int64_t)app_state.file.size
                                                                  : 1;
}

void copy_selection_with_message(void) {
    // Right after a measure, its line is what the user wants to keep.
    const char* message = status_measure_copyable() ? copy_measure_line() : copy_selection();
    if (message) status_set(message);
}
