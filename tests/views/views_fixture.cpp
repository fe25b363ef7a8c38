// The views' headless frame loop: the shell's own layout and event handling, and the painters.
#include "views_fixture.h"

#include <string.h>

#include "app/app.h"
#include "render/font.h"
#include "test_canvas.h"
#include "test_support.h"
#include "types/growable_array.h"
#include "types/type_parser.h"
#include "types/type_table.h"
#include "views/views.h"

void ViewsTest::start(int32_t width, int32_t height) {
    // Each start, and a second one in one test, lays out again from scratch,
    // freeing what the last test or start left behind.
    release_app_state();
    use_headless_window(&headless, width, height, true);
    ASSERT_TRUE(start_shell(false));
}

void ViewsTest::load(const std::vector<uint8_t>& bytes) {
    // A new file empties the placements, as a drop does.
    file_bytes = bytes;
    if (file_bytes.empty()) file_bytes.reserve(1);
    app_state.file = file_contents{};
    app_state.file.data = file_bytes.data();
    app_state.file.size = file_bytes.size();
    os_free(app_state.placements.items);
    app_state.placements = growable_array{};
    ASSERT_TRUE(array_create(&app_state.placements, 128, sizeof(placement)));
}

void ViewsTest::add_types(const std::string& code) {
    std::string text = code;
    create_types_from_code(text.c_str(), text.size());
}

void ViewsTest::frame() {
    input_begin_frame();
    for (os_event& event : pending) app_on_event(&event);
    pending.clear();
    compose_frame();
}

void ViewsTest::move_to(int32_t x, int32_t y) {
    os_event event{};
    event.kind = os_event_mouse_move;
    event.window = &window;
    event.x = x;
    event.y = y;
    pending.push_back(event);
}

static os_event button_event(os_window* window, uint8_t state) {
    os_event event{};
    event.kind = os_event_mouse_button;
    event.window = window;
    event.key = os_mouse_left;
    event.state = state;
    return event;
}

void ViewsTest::key(uint16_t key, bool control) {
    const uint16_t keys[] = {os_key_control, key, key, os_key_control};
    const uint8_t states[] = {os_key_state_pressed, os_key_state_pressed, os_key_state_released, os_key_state_released};
    for (int i = control ? 0 : 1; i < (control ? 4 : 3); i++) {
        os_event event{};
        event.kind = os_event_key;
        event.window = &window;
        event.key = keys[i];
        event.state = states[i];
        pending.push_back(event);
    }
}

void ViewsTest::press() { pending.push_back(button_event(&window, os_key_state_pressed)); }

void ViewsTest::release() { pending.push_back(button_event(&window, os_key_state_released)); }

void ViewsTest::click_at(int32_t x, int32_t y) {
    move_to(x, y);
    press();
    frame();
    release();
    frame();
}

static rect grid_cell(rect panel, int32_t cell_w, int32_t cell_h, int64_t offset) {
    int64_t row = offset / app_state.bytes_per_row - app_state.scroll_row;
    int64_t col = offset % app_state.bytes_per_row;
    int32_t x = panel.x + app_state.panel_pad + (int32_t)col * cell_w + (int32_t)(col / 8) * app_state.group_gap;
    int32_t y = panel.y + app_state.panel_pad + (int32_t)row * cell_h;
    return rect{x, y, cell_w, cell_h};
}

rect ViewsTest::hex_cell(int64_t offset) const {
    return grid_cell(app_state.hex_panel, app_state.hex_cell_w, app_state.hex_cell_h, offset);
}

rect ViewsTest::char_cell(int64_t offset) const {
    return grid_cell(app_state.text_panel, app_state.text_cell_w, app_state.text_cell_h, offset);
}

bool ViewsTest::line_shows(int32_t x, int32_t y, const std::string& text, int32_t width_cells,
                           int32_t spacing) const {
    int32_t cells = width_cells ? width_cells : (int32_t)text.size() + 4;
    int32_t w = cells * (app_state.font.glyph_w + spacing), h = app_state.font.glyph_h;
    test_canvas canvas(w, h, 0xff111111);
    int32_t saved_spacing = app_state.font.spacing;
    app_state.font.spacing = spacing;
    draw_text(&canvas.list, &app_state.font, rect{0, 0, 0, 0}, text.size(), text.data());
    const std::vector<color>& reference = canvas.pixels();
    app_state.font.spacing = saved_spacing;
    for (int32_t row = 0; row < h; row++) {
        for (int32_t col = 0; col < w; col++) {
            if (x + col >= window.width || y + row >= window.height) continue;
            bool expected = reference[(size_t)row * (size_t)w + (size_t)col] == 0xffffffff;
            bool shown = pixel(x + col, y + row) == 0xffffffff;
            if (expected != shown) return false;
        }
    }
    return true;
}

color blend_over(color source, color destination) {
    float a = (float)(source >> 24) / 255.0f;
    color result = 0xff000000;
    for (int shift = 0; shift < 24; shift += 8) {
        float s = (float)((source >> shift) & 0xff);
        float d = (float)((destination >> shift) & 0xff);
        result |= (color)(uint32_t)(s * a + d * (1.0f - a)) << shift;
    }
    return result;
}

void add_placement(uint32_t type_index, uint64_t offset, uint64_t length, uint32_t color) {
    if (!app_state.placements.items) array_create(&app_state.placements, 16, sizeof(placement));
    placement p = {type_index, offset, length, color};
    array_append(&app_state.placements, sizeof(placement), &p);
}
