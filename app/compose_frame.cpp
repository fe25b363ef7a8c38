// Frame composition: the cleared back buffer, the panel outlines, the views and the status bar.
#include "app/app.h"
#include "app/app_state.h"
#include "app/prompt_line.h"
#include "render/font.h"
#include "render/text_buffer.h"
#include "views/views.h"

enum : color {
    background_color = 0xff111111,
    outline_color = 0xff555555,
};

enum : int32_t { outline_thickness = 1 };

static const char drop_hint[] = "Drag and drop a file onto the window.";

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

static void draw_status_bar(pixel_buffer* buffer) {
    int64_t gh = app_state.font.glyph_h;
    int64_t x = app_state.margin;
    int64_t top = app_state.hex_panel.y;
    text_buffer* text = &app_state.text;
    // Pointing at the overview asks what lies there; only a prompt in use
    // keeps the line.
    if (!prompt_line_busy() && build_overview_hover_line(text)) {
        draw_text(buffer, &app_state.font, text_position(x, top - 2 * gh), text->length, text->data);
    } else if (prompt_line_shown()) {
        draw_prompt_line(buffer, text, (int32_t)x, (int32_t)(top - 2 * gh));
    } else if (app_state.file_path) {
        draw_text(buffer, &app_state.font, text_position(x, top - 2 * gh), app_state.file_path_len,
                  app_state.file_path);
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
    if (text->data) draw_text(buffer, &app_state.font, text_position(x, top - gh), text->length, text->data);
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
        draw_text(buffer, &app_state.font, at, sizeof drop_hint - 1, drop_hint);
        return;
    }

    app_state.hover_len = 1;
    paint_views();
    draw_status_bar(buffer);
}
