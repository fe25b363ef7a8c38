// Which panel the pointer is over, and the order the four are painted in.
#include "app/app_state.h"
#include "render/draw_list.h"
#include "views/views.h"

typedef void painter(void);

// Sets the hover from the panel under the pointer (none but the byte grids
// hover by position) and returns that panel's painter, or null.
static painter* hit_test_panels(void) {
    int32_t mx = app_state.mouse_x;
    int32_t my = app_state.mouse_y;
    if (position_bar_take_pointer()) {
        app_state.hover_offset = -1;
        return paint_hex_grid;
    }
    if (rect_contains(app_state.struct_panel, mx, my)) {
        app_state.hover_offset = -1;
        return paint_structure_view;
    }
    if (rect_contains(app_state.inspect_panel, mx, my)) {
        app_state.hover_offset = -1;
        return paint_data_view;
    }
    if (rect_contains(app_state.hex_panel, mx, my)) {
        hit_test_byte_grid(app_state.hex_panel, app_state.hex_cell_w, app_state.hex_cell_h);
        return paint_hex_grid;
    }
    if (rect_contains(app_state.text_panel, mx, my)) {
        hit_test_byte_grid(app_state.text_panel, app_state.text_cell_w, app_state.text_cell_h);
        return paint_char_grid;
    }
    app_state.hover_offset = -1;
    return nullptr;
}

// Each painter draws a block of its own in a recorded frame.
static void paint_block(painter* paint, uint32_t block) {
    draw_list_begin_block(frame_list(), block);
    paint();
}

static void paint_all(void) {
    painter* first = hit_test_panels();
    painter* const order[] = {paint_char_grid, paint_hex_grid, paint_data_view, paint_structure_view};
    for (uint32_t k = 0; first && k < 4; k++)
        if (order[k] == first) paint_block(first, k + 1);
    for (uint32_t k = 0; k < 4; k++)
        if (order[k] != first) paint_block(order[k], k + 1);
    paint_block(paint_position_bar, 5);
}

// A new press belongs to the item drawn last under the pointer, as the
// picture shows it: the panels are laid out once without drawing or acting,
// and the last item found holds the press until the button is up.
static void find_press_owner(void) {
    int64_t hover_offset = app_state.hover_offset, hover_len = app_state.hover_len;
    app_state.press.finding = 1;
    app_state.press.claim = 0;
    paint_all();
    app_state.press.finding = 0;
    app_state.press.active = app_state.press.claim;
    app_state.hover_offset = hover_offset;
    app_state.hover_len = hover_len;
}

// The panel under the pointer is painted first, so that the others show the
// hover and selection it sets in this same frame.
void paint_views(void) {
    if (left_button_went_down()) find_press_owner();
    paint_all();
}

os_mapped_file loaded_file_mapping(void) {
    return os_mapped_file{app_state.file, app_state.file_mapped_bytes, app_state.file_guard_slot};
}
