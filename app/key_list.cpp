// The key list that F1 lays over the panels: every described row of the key
// table, then what the mouse does, in as many columns as the height needs.
#include "app/app.h"
#include "app/app_state.h"
#include "app/key_bindings.h"
#include "render/font.h"
#include "render/text_buffer.h"

enum : color {
    key_list_background = 0xff1a1a22,
    key_list_outline = 0xff888888,
};

enum : int32_t {
    chord_column_glyphs = 18,
    column_glyphs = 68,  // the chord column and the longest description
    column_gap_glyphs = 2,
    heading_lines = 2,
};

static const char heading[] = "Keys and mouse (F1, Escape or a click closes this list)";

// What the mouse does: not keys, so not in the key table.
static const char* const mouse_lines[][2] = {
    {"click, drag", "select bytes in either grid"},
    {"Shift+click/drag", "extend the selection to that byte"},
    {"wheel", "scroll (with Shift, ten times as far)"},
    {"drop a file", "show it"},
};

bool key_list_shown(void) { return app_state.key_list_open != 0; }

void key_list_show(bool shown) { app_state.key_list_open = shown ? 1 : 0; }

// The structure view reaches up beside the status bar; the list covers the
// box round all four panels.
static rect panels_area(void) {
    rect first = app_state.text_panel, last = app_state.struct_panel;
    int32_t top = first.y < last.y ? first.y : last.y;
    return rect{first.x, top, last.x + last.w - first.x, first.y + first.h - top};
}

static void draw_entry(draw_list* list, int32_t x, int32_t y, const char* chord, const char* description) {
    int32_t gw = app_state.font.glyph_w;
    text_buffer* text = &app_state.text;
    text_reset(text);
    text_append_cstring(text, chord);
    draw_text(list, &app_state.font, rect{x, y, 0, 0}, text->length, text->data);
    text_reset(text);
    text_append_cstring(text, description);
    draw_text(list, &app_state.font, rect{x + chord_column_glyphs * gw, y, 0, 0}, text->length, text->data);
}

void draw_key_list(draw_list* list) {
    if (!key_list_shown() || !list) return;
    rect area = panels_area();
    fill_rect(list, area, key_list_background);
    draw_rect_outline(list, area, 1, key_list_outline);
    int32_t gw = app_state.font.glyph_w, line = app_state.font.glyph_h;
    if (gw <= 0 || line <= 0) return;
    int32_t left = area.x + app_state.panel_pad, top = area.y + app_state.panel_pad;
    draw_text(list, &app_state.font, rect{left, top, 0, 0}, sizeof heading - 1, heading);
    int32_t first_y = top + heading_lines * line;
    int32_t rows = (area.y + area.h - app_state.panel_pad - first_y) / line;
    if (rows < 1) rows = 1;

    int32_t count = 0;
    const key_binding* table = key_binding_table(&count);
    int32_t entry = 0;
    auto place = [&](const char* chord, const char* description) {
        int32_t x = left + entry / rows * (column_glyphs + column_gap_glyphs) * gw;
        draw_entry(list, x, first_y + entry % rows * line, chord, description);
        entry++;
    };
    for (int32_t i = 0; i < count; i++) {
        if (!table[i].description) continue;
        char chord[key_chord_name_capacity];
        key_chord_name(&table[i], chord, sizeof chord);
        place(chord, table[i].description);
    }
    for (const auto& mouse : mouse_lines) place(mouse[0], mouse[1]);
}
