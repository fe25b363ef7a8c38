// The panel layout: the four panels' rectangles and the grids' cell metrics
// for the window's size, and the line that tells them to a test.
#include <stdlib.h>

#include "app/app.h"
#include "app/app_print.h"
#include "app/app_state.h"

enum : int32_t {
    wide_window_width = 1920,
    narrow_bytes_per_row = 16,
    wide_bytes_per_row = 32,
    inspect_panel_glyphs = 28,
    line_height_trim = 4,
};

void layout_panels(void) {
    if (!app_state.window) return;
    int32_t logical_width = 0, logical_height = 0;
    os_window_logical_size(app_state.window, &logical_width, &logical_height);
    int64_t width = logical_width;
    int64_t height = logical_height;
    int64_t gw = app_state.font.glyph_w;
    int64_t gh = app_state.font.glyph_h;
    int64_t margin = app_state.margin;
    int64_t pad = app_state.panel_pad;

    app_state.bytes_per_row = width < wide_window_width ? narrow_bytes_per_row : wide_bytes_per_row;
    int64_t gaps = app_state.group_gap * (app_state.bytes_per_row / cells_per_group - 1);

    app_state.line_height = gh - line_height_trim;
    app_state.text_cell_w = (int32_t)(gw + 2 * app_state.text_pad_x);
    app_state.text_cell_h = (int32_t)(app_state.line_height + 2 * app_state.text_pad_y);
    app_state.hex_cell_w = (int32_t)(2 * gw + 2 * app_state.hex_pad_x);
    app_state.hex_cell_h = (int32_t)(app_state.line_height + 2 * app_state.hex_pad_y);

    int64_t free_height = height - 2 * margin - 2 * pad - 2 * app_state.line_height;
    app_state.visible_rows = app_state.hex_cell_h > 0 ? free_height / app_state.hex_cell_h : 0;

    int64_t top = margin + 2 * gh;
    int64_t rows = app_state.visible_rows;
    int64_t hex_height = app_state.hex_cell_h * rows + 2 * pad;

    rect text = {};
    text.x = (int32_t)margin;
    text.y = (int32_t)top;
    text.w = (int32_t)(app_state.text_cell_w * app_state.bytes_per_row + gaps + 2 * pad);
    text.h = (int32_t)(app_state.text_cell_h * rows + 2 * pad);

    rect hex = {};
    hex.x = (int32_t)(text.x + text.w + margin);
    hex.y = (int32_t)top;
    hex.w = (int32_t)(app_state.hex_cell_w * app_state.bytes_per_row + gaps + 2 * pad);
    hex.h = (int32_t)hex_height;

    rect inspect = {};
    inspect.x = (int32_t)(hex.x + hex.w + margin);
    inspect.y = (int32_t)top;
    inspect.w = (int32_t)(inspect_panel_glyphs * gw + 2 * pad);
    inspect.h = (int32_t)hex_height;

    rect structure = {};
    structure.x = (int32_t)(inspect.x + inspect.w + margin);
    structure.y = (int32_t)margin;
    structure.w = (int32_t)(width - margin - structure.x);
    structure.h = (int32_t)(height - 2 * margin);

    app_state.text_panel = text;
    app_state.hex_panel = hex;
    app_state.inspect_panel = inspect;
    app_state.struct_panel = structure;
}

void print_layout_when_asked(void) {
    const char* asked = getenv("BITLORN_PRINT_LAYOUT");
    if (!asked || !asked[0]) return;
    const rect* panels[] = {&app_state.text_panel, &app_state.hex_panel, &app_state.inspect_panel,
                            &app_state.struct_panel};
    app_print("Layout:");
    for (const rect* r : panels) app_print(" %d %d %d %d", (int)r->x, (int)r->y, (int)r->w, (int)r->h);
    app_print(" %d %d %d %d %d %lld %lld\n", (int)app_state.panel_pad, (int)app_state.text_cell_w,
              (int)app_state.hex_cell_w, (int)app_state.hex_cell_h, (int)app_state.group_gap,
              (long long)app_state.bytes_per_row, (long long)app_state.visible_rows);
}
