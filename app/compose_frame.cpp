#include "app/app.h"
#include "app/app_state.h"
#include "render/font.h"
#include "render/text_buffer.h"
#include "views/views.h"

enum : color {
    background_color = 0xff111111,
    outline_color = 0xff555555,
};

enum : int32_t { outline_thickness = 1 };

static const char drop_hint[] = "Drag and drop a file onto the window.";

typedef void painter(void);

static void clear_buffer(pixel_buffer* buffer) {
    uint64_t count = (uint64_t)buffer->width * (uint64_t)buffer->height;
    color* pixels = buffer->pixels;
    for (uint64_t i = 0; i < count; i++) pixels[i] = background_color;
}

static rect text_position(int64_t x, int64_t y) {
    rect position = {};
    position.x = (int32_t)x;
    position.y = (int32_t)y;
    return position;
}

// Sets the hover from the panel under the pointer (none but the byte grids
// hover by position) and returns that panel's painter, or null.
static painter* hit_test_panels(void) {
    int32_t mx = app_state.mouse_x;
    int32_t my = app_state.mouse_y;
    if (rect_contains(app_state.struct_panel, mx, my)) {
        app_state.hover_offset = -1;
        return paint_structure_view;
    }
    if (rect_contains(app_state.inspect_panel, mx, my)) {
        app_state.hover_offset = -1;
        return paint_data_view;
    }
    if (position_bar_take_pointer()) {
        app_state.hover_offset = -1;
        return paint_hex_grid;
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

// The panel under the pointer is painted first, so that the others show the
// hover and selection it sets in this same frame.
static void paint_panels(void) {
    painter* first = hit_test_panels();
    if (first) first();
    painter* const order[] = {paint_char_grid, paint_hex_grid, paint_data_view, paint_structure_view};
    for (painter* paint : order)
        if (paint != first) paint();
    paint_position_bar();
}

static void draw_status_bar(pixel_buffer* buffer) {
    int64_t gh = app_state.font.glyph_h;
    int64_t x = app_state.margin;
    int64_t top = app_state.hex_panel.y;
    text_buffer* text = &app_state.text;
    if (prompt_line_shown()) {
        draw_prompt_line(buffer, text, (int32_t)x, (int32_t)(top - 2 * gh));
    } else if (app_state.file_path) {
        draw_text(buffer, text_position(x, top - 2 * gh), app_state.file_path_len, app_state.file_path);
    }

    text_reset(text);
    text_append_cstring(text, "Filesize: ");
    text_append_int(text, (int64_t)app_state.file.size);
    text_append_cstring(text, " | Select: ");
    text_append_int(text, app_state.select_offset);
    text_append_cstring(text, ",");
    text_append_int(text, app_state.select_len);
    text_append_cstring(text, " | Hover: ");
    text_append_int(text, app_state.hover_offset);
    text_append_cstring(text, ",");
    text_append_int(text, app_state.hover_len);
    if (text->data) draw_text(buffer, text_position(x, top - gh), text->length, text->data);
}

void compose_frame(void) {
    pixel_buffer* buffer = frame_buffer();
    if (!buffer) return;
    clear_buffer(buffer);

    rect clip = whole_buffer(buffer);
    draw_rect_outline(buffer, clip, app_state.text_panel, outline_thickness, outline_color);
    draw_rect_outline(buffer, clip, app_state.hex_panel, outline_thickness, outline_color);
    draw_rect_outline(buffer, clip, app_state.inspect_panel, outline_thickness, outline_color);
    draw_rect_outline(buffer, clip, app_state.struct_panel, outline_thickness, outline_color);

    if (!app_state.file.data) {
        rect at = text_position((int64_t)app_state.hex_panel.x + app_state.margin,
                                (int64_t)app_state.hex_panel.y + app_state.margin);
        draw_text(buffer, at, sizeof drop_hint - 1, drop_hint);
        return;
    }

    app_state.hover_len = 1;
    paint_panels();
    draw_status_bar(buffer);
}
