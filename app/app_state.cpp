// The one global record: its start-up values, the input table's records,
// the frame's draw list and pointer, and the one range-row behaviour.
#include "app/app_state.h"

#include <string.h>

application_state app_state;

enum : int32_t {
    default_margin = 10,
    default_panel_pad = 10,
    default_group_gap = 4,
    default_hex_pad_x = 2,
    default_hex_pad_y = 3,
    default_text_pad_x = 1,
    default_text_pad_y = 3,
    default_indent_width = 3,
    default_inspect_group_gap = 8,
    default_bit_row_max_bytes = 64,
    rows_before_first_layout = 32,
};

void app_state_reset(void) {
    memset(&app_state, 0, sizeof app_state);
    app_state.margin = default_margin;
    app_state.panel_pad = default_panel_pad;
    app_state.group_gap = default_group_gap;
    app_state.hex_pad_x = default_hex_pad_x;
    app_state.hex_pad_y = default_hex_pad_y;
    app_state.text_pad_x = default_text_pad_x;
    app_state.text_pad_y = default_text_pad_y;
    app_state.indent_width = default_indent_width;
    app_state.inspect_group_gap = default_inspect_group_gap;
    app_state.bit_row_max_bytes = default_bit_row_max_bytes;
    app_state.visible_rows = rows_before_first_layout;
    app_state.bytes_per_row = rows_before_first_layout;
    app_state.select_len = 1;
    app_state.hover_len = 1;
    app_state.file_guard_slot = -1;
    app_state.file_watch = -1;
    app_state.types_watch = -1;
    app_state.overview.hover_row = -1;
}

draw_list* frame_list(void) { return app_state.press.finding ? nullptr : app_state.frames.recording; }

input_record* input_at(uint16_t index) {
    if (!app_state.input) app_state.input = (input_table*)os_alloc_zeroed(sizeof(input_table));
    static input_record lost;  // only when the table could not be allocated
    if (!app_state.input || index >= input_record_count) {
        lost = input_record{};
        return &lost;
    }
    return &app_state.input->records[index];
}

bool left_button_went_down(void) { return (input_at(input_index_left_button)->state & input_went_down) != 0; }

bool left_button_is_down(void) { return (input_at(input_index_left_button)->state & input_is_down) != 0; }

pointer_input frame_pointer(void) {
    return pointer_input{app_state.mouse_x, app_state.mouse_y, left_button_went_down(),
                         left_button_is_down()};
}

widget_frame structure_widget_frame(void) {
    widget_frame frame = {};
    frame.list = frame_list();
    frame.font = &app_state.font;
    frame.indent_width = app_state.indent_width;
    // The structure panel's inner right edge: the only panel with flowing buttons.
    frame.flow_right = (int64_t)app_state.struct_panel.x + app_state.struct_panel.w - app_state.panel_pad;
    frame.pointer = frame_pointer();
    frame.owner = &app_state.press;
    return frame;
}

void apply_range_row(uint8_t hit, int64_t offset, int64_t length, range_row_kind kind) {
    if (!(hit & row_hovered)) return;
    app_state.hover_offset = offset;
    app_state.hover_len = length;
    if (hit & row_pressed) {
        app_state.select_offset = offset;
        app_state.select_len = length;
        if (kind != range_row_value) app_state.select_anchor = offset;
        if (kind == range_row_item) app_state.select_anchor_len = length;
        return;
    }
    if (!(hit & row_held) || kind == range_row_value) return;
    if (kind == range_row_item && app_state.select_anchor == offset) return;
    // A grid's anchor is one byte; a type line's is the item pressed.
    int64_t anchor_len = kind == range_row_item ? app_state.select_anchor_len : length;
    int64_t start = app_state.select_anchor < offset ? app_state.select_anchor : offset;
    // In 128 bits: a drag over nearly the whole 64-bit range must not wrap.
    __int128 anchor_end = (__int128)app_state.select_anchor + anchor_len;
    __int128 row_end = (__int128)offset + length;
    __int128 selected = (anchor_end > row_end ? anchor_end : row_end) - start;
    app_state.select_offset = start;
    app_state.select_len = selected > INT64_MAX ? INT64_MAX : (int64_t)selected;
}
