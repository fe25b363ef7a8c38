// Frame composition: the cleared back buffer, the panel outlines, the views
// and the status bar, drawn whole, or recorded and drawn only where the
// picture changed.
#include <string.h>

#include "app/app.h"
#include "app/app_state.h"
#include "app/find_matches.h"
#include "app/key_bindings.h"
#include "app/prompt_line.h"
#include "render/font.h"
#include "render/text_buffer.h"
#include "views/views.h"

enum : color {
    background_color = 0xff111111,
    outline_color = 0xff555555,
};

enum : int32_t {
    outline_thickness = 1,
    verified_share = 4,  // changed areas are checked pixel by pixel up to a quarter of the frame
};

static const char drop_hint[] = "Drag and drop a file onto the window.";

static void clear_buffer(pixel_buffer* buffer) {
    fill_pixels(buffer->pixels, (int64_t)buffer->width * buffer->height, background_color);
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
    } else {
        app_state.hover_len = 1;
        find_matches_note_shown();
        paint_views();
        draw_status_bar(buffer);
    }
    draw_key_list(buffer);
}

void compose_frame(void) {
    pixel_buffer* buffer = frame_buffer();
    if (!buffer) return;
    // The recorded frames no longer describe what the buffer holds.
    app_state.frame_shown_valid = 0;
    clear_buffer(buffer);
    paint_frame(buffer);
}

// Copies the pixels of `area` between the buffer and a packed block.
static void copy_area(pixel_buffer* buffer, rect area, color* block, bool into_block) {
    for (int32_t row = 0; row < area.h; row++, block += area.w) {
        color* pixels = buffer->pixels + (int64_t)(area.y + row) * buffer->width + area.x;
        if (into_block) memcpy(block, pixels, (uint64_t)area.w * sizeof(color));
        else memcpy(pixels, block, (uint64_t)area.w * sizeof(color));
    }
}

static bool area_unchanged(const pixel_buffer* buffer, rect area, const color* block) {
    for (int32_t row = 0; row < area.h; row++, block += area.w) {
        const color* pixels = buffer->pixels + (int64_t)(area.y + row) * buffer->width + area.x;
        if (memcmp(block, pixels, (uint64_t)area.w * sizeof(color)) != 0) return false;
    }
    return true;
}

// Draws the areas whose commands changed, and keeps in the update only those
// whose pixels did: other commands can give the same picture (panels
// painted in another order).
static void redraw_changed_areas(const draw_list* now, pixel_buffer* back, frame_update* update) {
    uint64_t pixels = 0;
    for (int32_t i = 0; i < update->count; i++) pixels += (uint64_t)update->areas[i].w * (uint64_t)update->areas[i].h;
    // Large changes (a scroll) are shown as drawn: comparing would cost more
    // than it could save.
    uint64_t whole = (uint64_t)back->width * (uint64_t)back->height;
    bool compare = pixels * verified_share <= whole;
    uint64_t needed = pixels * sizeof(color);
    if (compare && needed > app_state.frame_scratch_capacity) {
        color* grown = (color*)os_realloc(app_state.frame_scratch, needed);
        if (grown) {
            app_state.frame_scratch = grown;
            app_state.frame_scratch_capacity = needed;
        }
        compare = grown != nullptr;
    }
    color* saved = app_state.frame_scratch;
    for (int32_t i = 0; compare && i < update->count; i++) {
        copy_area(back, update->areas[i], saved, true);
        saved += (uint64_t)update->areas[i].w * update->areas[i].h;
    }
    for (int32_t i = 0; i < update->count; i++) draw_list_replay(now, back, update->areas[i]);
    if (!compare) return;

    frame_update drawn = *update;
    update->count = 0;
    saved = app_state.frame_scratch;
    for (int32_t i = 0; i < drawn.count; i++) {
        rect area = drawn.areas[i];
        if (!area_unchanged(back, area, saved)) update->areas[update->count++] = area;
        saved += (uint64_t)area.w * area.h;
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

    update.whole = whole_wanted || !app_state.frame_shown_valid;
    if (!update.whole) {
        update.count = draw_list_changed_areas(now, before, update.areas, frame_update_most_areas);
        update.whole = update.count == 1 && update.areas[0].w == back->width && update.areas[0].h == back->height;
    }
    if (update.whole) {
        update.count = 1;
        update.areas[0] = whole_buffer(back);
        draw_list_replay(now, back, update.areas[0]);
    } else {
        redraw_changed_areas(now, back, &update);
    }
    app_state.frame_shown ^= 1;
    // An incomplete list cannot be compared with: the next frame is whole.
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
