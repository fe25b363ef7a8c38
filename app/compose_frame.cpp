// Frame composition: the cleared back buffer, the panel outlines, the views and the status bar.
#include <string.h>

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
    if (prompt_line_shown()) {
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

// Everything after the clear, drawn into `buffer`.
static void paint_frame(pixel_buffer* buffer) {
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

void compose_frame(void) {
    pixel_buffer* buffer = frame_buffer();
    if (!buffer) return;
    // The recorded frames no longer describe what the buffer holds.
    app_state.frame_shown_valid = 0;
    clear_buffer(buffer);
    paint_frame(buffer);
}

// Appends row `row` to the spans, joining it to the last when they touch;
// past the most spans the last one stretches to take it.
static void add_changed_row(frame_update* update, int32_t row) {
    row_span* last = update->count > 0 ? &update->spans[update->count - 1] : nullptr;
    if (last && (last->bottom == row || update->count == frame_update_most_spans)) {
        last->bottom = row + 1;
        return;
    }
    update->spans[update->count++] = row_span{row, row + 1};
}

// Draws the bands whose commands changed, and keeps in the update only the
// rows whose pixels did: other commands can give the same picture.
static void redraw_changed_rows(const draw_list* now, pixel_buffer* back, frame_update* update) {
    uint64_t rows = 0;
    for (int32_t i = 0; i < update->count; i++) rows += (uint64_t)(update->spans[i].bottom - update->spans[i].top);
    uint64_t width = (uint64_t)back->width;
    uint64_t needed = rows * width * sizeof(color);
    if (needed > app_state.frame_scratch_capacity) {
        color* grown = (color*)os_realloc(app_state.frame_scratch, needed);
        if (grown) {
            app_state.frame_scratch = grown;
            app_state.frame_scratch_capacity = needed;
        }
    }
    bool compare = needed <= app_state.frame_scratch_capacity;
    color* saved = app_state.frame_scratch;
    for (int32_t i = 0; compare && i < update->count; i++) {
        row_span span = update->spans[i];
        uint64_t count = (uint64_t)(span.bottom - span.top) * width;
        memcpy(saved, back->pixels + (uint64_t)span.top * width, count * sizeof(color));
        saved += count;
    }
    for (int32_t i = 0; i < update->count; i++) draw_list_replay(now, back, update->spans[i]);
    if (!compare) return;

    frame_update drawn = *update;
    update->count = 0;
    saved = app_state.frame_scratch;
    for (int32_t i = 0; i < drawn.count; i++) {
        for (int32_t row = drawn.spans[i].top; row < drawn.spans[i].bottom; row++, saved += width)
            if (memcmp(saved, back->pixels + (uint64_t)row * width, width * sizeof(color)) != 0)
                add_changed_row(update, row);
    }
}

frame_update compose_changed_frame(bool whole_wanted) {
    frame_update update = {};
    pixel_buffer* back = frame_buffer();
    if (!back) return update;
    draw_list* before = &app_state.frames[app_state.frame_shown];
    draw_list* now = &app_state.frames[app_state.frame_shown ^ 1];
    app_state.frame_recording = pixel_buffer{back->width, back->height, nullptr};
    pixel_buffer* recording = &app_state.frame_recording;
    draw_list_begin(now, recording);
    app_state.frame_target = recording;
    fill_rect(recording, whole_buffer(recording), whole_buffer(recording), background_color);
    paint_frame(recording);
    app_state.frame_target = nullptr;
    draw_list_end();

    if (!app_state.frame_shown_valid) before->band_count = 0;
    update.count = draw_list_changed_rows(now, before, update.spans, frame_update_most_spans);
    update.whole = whole_wanted || !app_state.frame_shown_valid ||
                   (update.count == 1 && update.spans[0].top == 0 && update.spans[0].bottom == back->height);
    if (update.whole) {
        update.count = 1;
        update.spans[0] = row_span{0, back->height};
        draw_list_replay(now, back, update.spans[0]);
    } else {
        redraw_changed_rows(now, back, &update);
    }
    app_state.frame_shown ^= 1;
    app_state.frame_shown_valid = !now->failed;
    return update;
}

frame_update compose_next_frame(void) {
    os_window* window = app_state.window;
    // What the server shows may be lost (exposed) or stale (a new size or file).
    bool whole = app_state.frame_whole_wanted || (window && (window->flags & os_window_flag_exposed));
    if (window) window->flags &= (uint16_t)~os_window_flag_exposed;
    app_state.frame_whole_wanted = 0;
    return compose_changed_frame(whole);
}
