// Frame composition: the background, the panel outlines, the views and the
// status bar, recorded, then drawn into the back buffer whole or only where
// the picture changed.
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

static rect text_position(int64_t x, int64_t y) {
    rect position = {};
    position.x = (int32_t)x;
    position.y = (int32_t)y;
    return position;
}

static void draw_status_bar(draw_list* list) {
    int64_t gh = app_state.font.glyph_h;
    int64_t x = app_state.margin;
    int64_t top = app_state.hex_panel.y;
    text_buffer* text = &app_state.text;
    // Pointing at the overview asks what lies there; only a prompt in use
    // keeps the line.
    if (!prompt_line_busy() && build_overview_hover_line(text)) {
        draw_text(list, &app_state.font, text_position(x, top - 2 * gh), text->length, text->data);
    } else if (prompt_line_shown()) {
        draw_prompt_line(list, text, (int32_t)x, (int32_t)(top - 2 * gh));
    } else if (app_state.file_path) {
        draw_text(list, &app_state.font, text_position(x, top - 2 * gh), app_state.file_path_len,
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
    if (text->data) draw_text(list, &app_state.font, text_position(x, top - gh), text->length, text->data);
}

// The whole frame, recorded into `list`.
static void paint_frame(draw_list* list) {
    fill_rect(list, rect{0, 0, list->width, list->height}, background_color);
    draw_rect_outline(list, app_state.text_panel, outline_thickness, outline_color);
    draw_rect_outline(list, app_state.hex_panel, outline_thickness, outline_color);
    draw_rect_outline(list, app_state.inspect_panel, outline_thickness, outline_color);
    draw_rect_outline(list, app_state.struct_panel, outline_thickness, outline_color);

    if (!app_state.file.data) {
        rect at = text_position((int64_t)app_state.hex_panel.x + app_state.margin,
                                (int64_t)app_state.hex_panel.y + app_state.margin);
        draw_text(list, &app_state.font, at, sizeof drop_hint - 1, drop_hint);
    } else {
        app_state.hover_len = 1;
        find_matches_note_shown();
        paint_views();
        draw_status_bar(list);
    }
    draw_key_list(list);
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
    frame_history* frames = &app_state.frames;
    if (compare && needed > frames->scratch_capacity) {
        color* grown = (color*)os_realloc(frames->scratch, needed);
        if (grown) {
            frames->scratch = grown;
            frames->scratch_capacity = needed;
        }
        compare = grown != nullptr;
    }
    color* saved = frames->scratch;
    for (int32_t i = 0; compare && i < update->count; i++) {
        copy_area(back, update->areas[i], saved, true);
        saved += (uint64_t)update->areas[i].w * update->areas[i].h;
    }
    for (int32_t i = 0; i < update->count; i++) draw_list_replay(now, back, update->areas[i]);
    if (!compare) return;

    frame_update drawn = *update;
    update->count = 0;
    saved = frames->scratch;
    for (int32_t i = 0; i < drawn.count; i++) {
        rect area = drawn.areas[i];
        if (!area_unchanged(back, area, saved)) update->areas[update->count++] = area;
        saved += (uint64_t)area.w * area.h;
    }
}

// The window's back buffer, when there is one to draw into.
static pixel_buffer* back_buffer(void) {
    if (!app_state.window) return nullptr;
    pixel_buffer* buffer = &app_state.window->back_buffer;
    if (!buffer->pixels || buffer->width <= 0 || buffer->height <= 0) return nullptr;
    return buffer;
}

frame_update compose_changed_frame(bool whole_wanted) {
    frame_update update = {};
    pixel_buffer* back = back_buffer();
    if (!back) return update;
    frame_history* frames = &app_state.frames;
    draw_list* before = &frames->lists[frames->shown];
    draw_list* now = &frames->lists[frames->shown ^ 1];
    draw_list_begin(now, back->width, back->height);
    frames->recording = now;
    paint_frame(now);
    frames->recording = nullptr;

    update.whole = whole_wanted || !frames->shown_valid;
    if (!update.whole) {
        update.count = draw_list_changed_areas(now, before, update.areas, frame_update_most_areas);
        update.whole = update.count == 1 && update.areas[0].w == back->width && update.areas[0].h == back->height;
    }
    if (update.whole) {
        update.count = 1;
        update.areas[0] = rect{0, 0, back->width, back->height};
        draw_list_replay_whole(now, back);
    } else {
        redraw_changed_areas(now, back, &update);
    }
    frames->shown ^= 1;
    // An incomplete list cannot be compared with: the next frame is whole.
    frames->shown_valid = !now->failed;
    return update;
}

void compose_frame(void) { compose_changed_frame(true); }

frame_update compose_next_frame(void) {
    os_window* window = app_state.window;
    // What the server shows may be lost (exposed) or stale (a new size or file).
    bool whole = app_state.frames.whole_wanted || (window && (window->flags & os_window_flag_exposed));
    if (window) window->flags &= (uint16_t)~os_window_flag_exposed;
    app_state.frames.whole_wanted = 0;
    return compose_changed_frame(whole);
}

void frame_history_free(frame_history* frames) {
    for (draw_list& list : frames->lists) draw_list_free(&list);
    os_free(frames->scratch);
    *frames = frame_history{};
}
