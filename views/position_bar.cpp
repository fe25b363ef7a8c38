// The position bar in the hex panel's right padding: where the visible rows
// lie in the file, and pressing or dragging on it to scroll there.
#include "app/app_state.h"
#include "render/draw_list.h"
#include "views/changed_bytes.h"
#include "views/match_outlines.h"
#include "views/views.h"

enum : color {
    bar_track_color = 0xff262626,
    bar_thumb_color = 0xff777777,
};

enum : int32_t {
    bar_inset = 3,        // from the padding's left edge, away from the cells
    bar_width = 4,
    bar_least_thumb = 3,  // even a 64 GiB file keeps a thumb that can be seen
};

// Rows the file covers, with the last partial one.
static int64_t file_rows(void) {
    uint64_t per_row = (uint64_t)app_state.bytes_per_row;
    return (int64_t)(app_state.file.size / per_row + (app_state.file.size % per_row != 0));
}

// The scroll row that End gives: the farthest the bar scrolls to.
static int64_t last_scroll_row(void) {
    int64_t row = (int64_t)(app_state.file.size / (uint64_t)app_state.bytes_per_row) - app_state.visible_rows + 1;
    return row < 0 ? 0 : row;
}

bool position_bar_shown(void) {
    return app_state.file.data && app_state.bytes_per_row > 0 && app_state.visible_rows > 0 &&
           file_rows() > app_state.visible_rows && app_state.panel_pad >= bar_inset + bar_width + 1;
}

// The whole right padding inside the outline takes presses; the track is the
// bar's own strip.
static rect press_area(void) {
    rect hex = app_state.hex_panel;
    return rect{hex.x + hex.w - app_state.panel_pad, hex.y + 1, app_state.panel_pad - 1, hex.h - 2};
}

rect position_bar_track(void) {
    rect hex = app_state.hex_panel;
    int32_t pad = app_state.panel_pad;
    return rect{hex.x + hex.w - pad + bar_inset, hex.y + pad, bar_width, hex.h - 2 * pad};
}

static rect thumb(rect t) {
    // Rows past the end (scrolled there by the wheel) stretch the scale.
    __int128 rows = file_rows();
    __int128 shown_end = (__int128)app_state.scroll_row + app_state.visible_rows;
    if (shown_end > rows) rows = shown_end;
    __int128 top = (__int128)t.h * app_state.scroll_row / rows;
    __int128 height = (__int128)t.h * app_state.visible_rows / rows;
    if (height < bar_least_thumb) height = bar_least_thumb;
    if (height > t.h) height = t.h;
    if (top > t.h - height) top = t.h - height;
    if (top < 0) top = 0;
    return rect{t.x, t.y + (int32_t)top, t.w, (int32_t)height};
}

bool position_bar_take_pointer(void) {
    if (!position_bar_shown()) return false;
    pointer_input pointer = frame_pointer();
    rect area = press_area();
    uint8_t hit = item_on_row(&app_state.press, item_position_bar, row_area{area.x, area.y, area.w, area.h}, pointer);
    if (app_state.press.finding) return hit != 0;
    if (!item_holds_press(&app_state.press, item_position_bar, pointer)) return false;
    // The pressed point becomes the middle of the visible rows.
    rect t = position_bar_track();
    if (t.h <= 0) return true;
    int64_t y = (int64_t)app_state.mouse_y - t.y;
    if (y < 0) y = 0;
    if (y > t.h) y = t.h;
    __int128 row = (__int128)file_rows() * y / t.h - app_state.visible_rows / 2;
    int64_t last = last_scroll_row();
    app_state.scroll_row = row < 0 ? 0 : row > last ? last : (int64_t)row;
    return true;
}

void paint_position_bar(void) {
    app_state.overview.hover_row = -1;
    draw_list* list = frame_list();
    if (!list || !position_bar_shown()) return;
    rect t = position_bar_track();
    if (t.h <= 0) return;
    fill_rect(list, t, bar_track_color);
    paint_overview(list, t, rect_contains(press_area(), app_state.mouse_x, app_state.mouse_y));
    paint_change_marks(list, t);
    fill_rect(list, thumb(t), bar_thumb_color);
    paint_match_track_marks(list, t);
}
