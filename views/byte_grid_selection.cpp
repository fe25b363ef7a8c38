// The byte grids' hit test: the byte under the pointer, and the selection a
// press or a drag makes there.
#include "app/app_state.h"
#include "views/views.h"

void clamp_select_offset(void) {
    if (app_state.select_offset < 0) app_state.select_offset = 0;
    if ((uint64_t)app_state.select_offset >= app_state.file.size)
        app_state.select_offset = (int64_t)app_state.file.size - 1;
}

void hit_test_byte_grid(rect panel, int32_t cell_w, int32_t cell_h) {
    if (cell_w <= 0 || cell_h <= 0) {
        app_state.hover_offset = -1;
        return;
    }
    int64_t dx = (int64_t)app_state.mouse_x - panel.x - app_state.panel_pad;
    int64_t dy = (int64_t)app_state.mouse_y - panel.y - app_state.panel_pad;

    // Each whole group of cells left of the pointer is followed by a gap.
    int64_t group = (int64_t)cells_per_group * cell_w;
    for (int64_t probe = dx; probe > group; probe -= group + app_state.group_gap) dx -= app_state.group_gap;

    int64_t col = dx / cell_w;
    int64_t row = dy / cell_h;
    if (col >= app_state.bytes_per_row) col = app_state.bytes_per_row - 1;
    if (col < 0) col = 0;
    if (row < 0) row = 0;
    // Far down a huge scroll the product passes the 64-bit range: such
    // offsets lie past every file, so the largest one stands for them all.
    __int128 offset = ((__int128)row + app_state.scroll_row) * app_state.bytes_per_row + col;
    int64_t hovered = offset > INT64_MAX ? INT64_MAX : offset < INT64_MIN ? INT64_MIN : (int64_t)offset;
    // The two grids stand side by side: the panel's left edge tells them apart.
    uint32_t item = panel.x == app_state.hex_panel.x ? item_hex_grid : item_char_grid;
    uint8_t hit = item_pointer(&app_state.press, item, true, frame_pointer());
    // Shift+click extends the selection from its start, as a drag from there would.
    if ((hit & row_pressed) && (input_at(input_index_shift)->state & input_is_down)) {
        clamp_select_offset();
        app_state.select_anchor = app_state.select_offset;
        hit = (uint8_t)((hit & ~row_pressed) | row_held);
    }
    apply_range_row(hit, hovered, 1, range_row_byte);
    clamp_select_offset();
}
