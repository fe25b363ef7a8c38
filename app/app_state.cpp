#include "app/app_state.h"

#include <string.h>

#include "types/growable_array.h"

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
    change_list_pointer_capacity = 64,
    change_list_buttons_capacity = 32,
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
    app_state.file_mapping.guard_slot = -1;
    app_state.file_watch = -1;
    app_state.types_watch = -1;
}

// The table and both change lists come into being together, on whichever
// needs them first: the first event or the first frame.
static void create_input_table(void) {
    app_state.input = (input_table*)os_alloc_zeroed(sizeof(input_table));
    array_create(&app_state.changed_buttons, change_list_buttons_capacity, sizeof(uint16_t));
    array_create(&app_state.changed_pointer, change_list_pointer_capacity, sizeof(uint16_t));
}

pixel_buffer* frame_buffer(void) {
    if (!app_state.window) return nullptr;
    pixel_buffer* buffer = &app_state.window->back_buffer;
    if (!buffer->pixels || buffer->width <= 0 || buffer->height <= 0) return nullptr;
    return buffer;
}

input_record* input_at(uint16_t index) {
    if (!app_state.input) create_input_table();
    static input_record lost;  // only when the table could not be allocated
    if (!app_state.input || index >= input_record_count) {
        lost = input_record{};
        return &lost;
    }
    return &app_state.input->records[index];
}

bool left_button_went_down(void) { return (input_at(input_index_left_button)->state & input_went_down) != 0; }

bool left_button_is_down(void) { return (input_at(input_index_left_button)->state & input_is_down) != 0; }
