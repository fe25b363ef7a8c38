// The views' headless frame loop: the shell's layout, pointer events and the painters.
#include "views_fixture.h"

#include <string.h>

#include "render/font.h"
#include "render/text_buffer.h"
#include "test_support.h"
#include "types/growable_array.h"
#include "types/type_parser.h"
#include "types/type_table.h"
#include "views/views.h"

enum : color { background = 0xff111111, outline = 0xff555555 };

// The shell's panel layout, left to right: characters, hex, data view, and
// the structure view over the full height.
static void lay_out_panels(void) {
    int64_t width = app_state.window->width, height = app_state.window->height;
    int64_t gw = app_state.font.glyph_w, gh = app_state.font.glyph_h;
    int64_t margin = app_state.margin, pad = app_state.panel_pad;
    app_state.bytes_per_row = width < 1920 ? 16 : 32;
    int64_t gaps = app_state.group_gap * (app_state.bytes_per_row / 8 - 1);
    app_state.line_height = gh - 4;
    app_state.text_cell_w = (int32_t)(gw + 2 * app_state.text_pad_x);
    app_state.text_cell_h = (int32_t)(app_state.line_height + 2 * app_state.text_pad_y);
    app_state.hex_cell_w = (int32_t)(2 * gw + 2 * app_state.hex_pad_x);
    app_state.hex_cell_h = (int32_t)(app_state.line_height + 2 * app_state.hex_pad_y);
    int64_t rows = (height - 2 * margin - 2 * pad - 2 * app_state.line_height) / app_state.hex_cell_h;
    app_state.visible_rows = rows;
    int32_t top = (int32_t)(margin + 2 * gh);
    int32_t grid_h = (int32_t)(app_state.hex_cell_h * rows + 2 * pad);
    rect text = {(int32_t)margin, top, (int32_t)(app_state.text_cell_w * app_state.bytes_per_row + gaps + 2 * pad),
                 (int32_t)(app_state.text_cell_h * rows + 2 * pad)};
    rect hex = {(int32_t)(text.x + text.w + margin), top,
                (int32_t)(app_state.hex_cell_w * app_state.bytes_per_row + gaps + 2 * pad), grid_h};
    rect inspect = {(int32_t)(hex.x + hex.w + margin), top, (int32_t)(28 * gw + 2 * pad), grid_h};
    int32_t structure_x = (int32_t)(inspect.x + inspect.w + margin);
    rect structure = {structure_x, (int32_t)margin, (int32_t)(width - margin - structure_x),
                      (int32_t)(height - 2 * margin)};
    app_state.text_panel = text;
    app_state.hex_panel = hex;
    app_state.inspect_panel = inspect;
    app_state.struct_panel = structure;
}

void ViewsTest::start(int32_t width, int32_t height) {
    // A second start in one test lays out again from scratch.
    for (void* block : {(void*)app_state.font.pixels, (void*)app_state.font.glyphs, (void*)app_state.text.data,
                        app_state.placements.items})
        os_free(block);
    type_table_free(&app_state.types);
    app_state_reset();
    window = os_window{};
    window.flags = os_window_flag_open;
    window.width = width;
    window.height = height;
    pixels.assign((size_t)width * (size_t)height, 0);
    window.back_buffer = pixel_buffer{width, height, pixels.data()};
    app_state.window = &window;
    ASSERT_TRUE(build_glyph_atlas(&app_state.font, embedded_mono_png, embedded_mono_png_size));
    ASSERT_TRUE(text_buffer_create(&app_state.text, 10000));
    reset_type_colors();
    register_builtin_types();
    lay_out_panels();
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
    input_record* left = input_at(input_index_left_button);
    left->state &= (uint8_t)~(input_went_down | input_repeated | input_went_up);
    for (const os_event& event : pending) {
        if (event.kind == os_event_mouse_move) {
            app_state.mouse_x = event.x;
            app_state.mouse_y = event.y;
        } else if (event.state == os_key_state_released) {
            left->state = (uint8_t)((left->state & ~input_is_down) | input_went_up);
        } else {
            left->state |= (left->state & input_is_down) ? input_repeated : input_went_down;
            left->state |= input_is_down;
        }
    }
    pending.clear();

    pixel_buffer* buffer = frame_buffer();
    for (color& c : pixels) c = background;
    for (rect panel : {app_state.text_panel, app_state.hex_panel, app_state.inspect_panel, app_state.struct_panel})
        draw_rect_outline(buffer, whole_buffer(buffer), panel, 1, outline);
    app_state.hover_len = 1;
    paint_views();
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
    std::vector<color> reference((size_t)w * (size_t)h, 0xff111111);
    pixel_buffer buffer = {w, h, reference.data()};
    int32_t saved_spacing = app_state.font.spacing;
    app_state.font.spacing = spacing;
    draw_text(&buffer, &app_state.font, rect{0, 0, 0, 0}, text.size(), text.data());
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
