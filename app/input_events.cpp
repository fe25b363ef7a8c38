// Input handling: the event callback, the input table's edges and the wheel; keys go through the key table.
#include "app/app.h"
#include "app/app_state.h"
#include "app/copy_selection.h"
#include "app/key_bindings.h"
#include "app/status_line.h"
#include "types/byte_range.h"
#include "types/growable_array.h"
#include "types/type_table.h"
#include "views/views.h"

enum : int64_t {
    shift_multiplier = 10,
    change_list_pointer_capacity = 64,
    change_list_buttons_capacity = 32,
};

static constexpr double wheel_rows_per_visible_row = 0.333333;
static constexpr uint8_t input_edge_bits = input_went_down | input_repeated | input_went_up;

static void note_change(growable_array* list, uint16_t index) {
    array_append(list, sizeof(uint16_t), &index);
}

static void clear_edges(growable_array* list) {
    const uint16_t* indices = (const uint16_t*)list->items;
    for (int64_t i = 0; indices && i < list->count; i++)
        input_at(indices[i])->state &= (uint8_t)~input_edge_bits;
    list->count = 0;
}

// The input table and both change lists come into being together, on
// whichever needs them first: the first event or the first frame.
static void create_input_lists(void) {
    input_at(0);
    if (app_state.changed_buttons.items || app_state.changed_pointer.items) return;
    array_create(&app_state.changed_buttons, change_list_buttons_capacity, sizeof(uint16_t));
    array_create(&app_state.changed_pointer, change_list_pointer_capacity, sizeof(uint16_t));
}

void input_begin_frame(void) {
    create_input_lists();
    clear_edges(&app_state.changed_buttons);
    clear_edges(&app_state.changed_pointer);
}

static bool shift_is_down(void) { return input_at(input_index_shift)->state & input_is_down; }

static void update_key_record(uint16_t code, uint8_t key_state) {
    input_record* record = input_at(code);
    if (key_state == os_key_state_released) {
        record->state &= (uint8_t)~input_is_down;
        record->state |= input_went_up;
    } else {
        record->state |= (record->state & input_is_down) ? input_repeated : input_went_down;
        record->state |= input_is_down;
    }
    note_change(&app_state.changed_buttons, code);
}

static void scroll_by_wheel(int32_t wheel) {
    int64_t step = wheel;
    if (shift_is_down()) step *= shift_multiplier;
    double rows = (double)saturating_multiply(step, app_state.visible_rows) * wheel_rows_per_visible_row;
    double row = (double)app_state.scroll_row - rows;
    // Converting a double at or past 2^63 to int64_t is undefined.
    app_state.scroll_row = row < 1 ? 0 : row >= 0x1p63 ? INT64_MAX : (int64_t)row;
}

static bool is_modifier(uint16_t key) {
    return key == os_key_shift || key == os_key_control || key == os_key_alt || key == os_key_left_super ||
           key == os_key_right_super;
}

static void note_clicked_grid(void) {
    int32_t x = app_state.mouse_x, y = app_state.mouse_y;
    if (rect_contains(app_state.hex_panel, x, y)) app_state.last_clicked_grid = copy_grid_hex;
    else if (rect_contains(app_state.text_panel, x, y)) app_state.last_clicked_grid = copy_grid_chars;
}

void app_on_event(os_event* event) {
    create_input_lists();
    switch (event->kind) {
    case os_event_mouse_move: {
        input_record* pointer = input_at(input_index_pointer);
        pointer->x = event->x;
        pointer->y = event->y;
        pointer->state |= input_went_down;
        note_change(&app_state.changed_pointer, input_index_pointer);
        if (event->hover & os_hover_entered) os_set_cursor(app_state.cursor_wanted);
        int32_t client_x = app_state.window ? app_state.window->client_x : 0;
        int32_t client_y = app_state.window ? app_state.window->client_y : 0;
        app_state.mouse_x = pointer->x - client_x;
        app_state.mouse_y = pointer->y - client_y;
        break;
    }
    case os_event_mouse_wheel: {
        if (key_list_shown()) break;
        input_record* wheel = input_at(input_index_wheel);
        wheel->x = 0;
        wheel->y = event->wheel;
        wheel->state |= input_went_down;
        note_change(&app_state.changed_pointer, input_index_wheel);
        scroll_by_wheel(event->wheel);
        break;
    }
    case os_event_mouse_button:
        // A press on the key list only closes it: nothing under it sees the press.
        if (key_list_shown() && event->state != os_key_state_released) {
            key_list_show(false);
            break;
        }
        if (event->state == os_key_state_pressed && event->key == os_mouse_left) note_clicked_grid();
        update_key_record(event->key, event->state);
        if (event->state != os_key_state_released) {
            status_clear();
            status_forget_measure();
        }
        break;
    case os_event_key:
        update_key_record(event->key, event->state);
        if (event->state == os_key_state_pressed || event->state == os_key_state_repeated) {
            // Any key but a modifier ends the message shown; a measure's
            // line can still be copied by the key right after it. The key
            // list comes and goes leaving the picture as it was.
            bool ends_message = !is_modifier(event->key) && event->key != os_key_f1 && !key_list_shown();
            if (ends_message) status_clear();
            dispatch_key(event->key);
            if (ends_message) status_forget_measure();
        }
        break;
    case os_event_char: dispatch_text(event->code); break;
    case os_event_window_resize:
        layout_panels();
        app_state.frames.whole_wanted = 1;
        break;
    case os_event_file_drop:
        if (event->paths) load_dropped_files(event->paths);
        break;
    default: break;
    }
}
