// The structure view: type buttons, or the placement under the selection with lines and toolbar.
#include <string.h>

#include "app/app_state.h"
#include "render/font.h"
#include "render/draw_list.h"
#include "render/text_buffer.h"
#include "render/widgets.h"
#include "types/byte_range.h"
#include "types/growable_array.h"
#include "types/type_layout.h"
#include "types/type_table.h"
#include "views/views.h"

enum : uint64_t { scratch_text_capacity = 512 };

enum : int32_t {
    button_row_gap = 4,
    misc_byte_extra_spacing = 1,
};

// The offering buttons break their row after these table indices, so the
// built-in numbers stand in rows of their own.
static bool row_break_after(uint32_t type_index) {
    return type_index == 8 || type_index == 12 || type_index == 15;
}

static placement* placement_list(void) { return (placement*)app_state.placements.items; }

// Position of the last placement holding the selection start, or -1.
static int64_t current_placement(void) {
    uint64_t start = (uint64_t)app_state.select_offset;
    int64_t found = -1;
    for (int64_t i = 0; i < app_state.placements.count; i++)
        if (placement_covers(&placement_list()[i], start)) found = i;
    return found;
}

static void new_button_row(layout_cursor* cursor) {
    cursor->x = cursor->line_start_x;
    cursor->y += cursor->last_rect.h + button_row_gap;
}

// One byte of "(" + bytes + ")" without building the text: the section's
// bytes inside the file, then the closing bracket, then zeros.
struct misc_text {
    const uint8_t* bytes;
    uint64_t shown;  // section bytes inside the file
};

static uint8_t misc_text_at(const misc_text* text, uint64_t i) {
    if (i == 0) return '(';
    if (i - 1 < text->shown) return text->bytes[i - 1];
    if (i - 1 == text->shown) return ')';
    return 0;
}

// The glyph the text drawing shows for the byte at i, seen with the bytes
// after it as a lead byte would see them.
static uint32_t misc_glyph_at(const misc_text* text, uint64_t i) {
    uint8_t sequence[4];
    for (uint32_t k = 0; k < 4; k++) sequence[k] = misc_text_at(text, i + k);
    return glyph_index_at(sequence, sizeof sequence);
}

// Draws the section's bytes wrapped at the panel's inner width, one pixel
// apart more than ordinary text. Stops once the pen is below the buffer, so
// a huge section costs only what can be seen.
static void draw_misc_bytes(const placement* p, layout_cursor* cursor) {
    draw_list* list = frame_list();
    const glyph_atlas* font = &app_state.font;
    if (!list || !font->glyphs) return;

    misc_text text = {nullptr, 0};
    if (app_state.file.data && p->offset < app_state.file.size) {
        text.bytes = app_state.file.data + p->offset;
        uint64_t in_file = app_state.file.size - p->offset;
        text.shown = p->length < in_file ? p->length : in_file;
    }
    uint64_t total = text.shown + 2;

    int64_t advance = font->glyph_w + font->spacing + misc_byte_extra_spacing;
    int64_t line_start = cursor->line_start_x;
    int64_t inner_w = (int64_t)app_state.struct_panel.w - 2 * (int64_t)app_state.panel_pad;
    int64_t line_end = line_start + inner_w;
    int64_t px = cursor->x, py = cursor->y;
    for (uint64_t i = 0; i < total && py < list->height; i++) {
        uint32_t index = misc_glyph_at(&text, i);
        if (index == '\n') {
            px = line_start;
            py += font->glyph_h;
            continue;
        }
        // A panel narrower than its padding leaves a negative inner width:
        // then every cell starts a line of its own.
        if (inner_w != 0 && px + advance > line_end) {
            px = line_start;
            py += font->glyph_h;
            if (py >= list->height) break;
        }
        if (inner_w == 0 && px >= list->width) {
            // Nothing more shows on this line: jump to the next line feed.
            const uint8_t* rest = text.bytes && i >= 1 && i - 1 < text.shown ? text.bytes + (i - 1) : nullptr;
            const void* feed = rest ? memchr(rest, '\n', text.shown - (i - 1)) : nullptr;
            if (!feed) break;
            i = (uint64_t)((const uint8_t*)feed - text.bytes);  // the loop's i++ lands on it
            continue;
        }
        const glyph* g = &font->glyphs[index];
        rect source = {g->x, g->y, g->w, g->h};
        blit_image(list, font, source, (int32_t)(px + (font->glyph_w - g->w) / 2),
                   (int32_t)(py + g->y_offset));
        px += advance;
    }
}

static void describe_misc_section(const placement* p, layout_cursor* cursor) {
    text_append_cstring(&app_state.scratch_text, "(Misc section, length ");
    text_append_uint(&app_state.scratch_text, p->length);
    text_append_cstring(&app_state.scratch_text, ")");
    emit_line(cursor, &app_state.scratch_text);
    draw_misc_bytes(p, cursor);
    text_reset(&app_state.scratch_text);
}

static layout_cursor toolbar_cursor(widget_frame* frame) {
    layout_cursor cursor = {};
    cursor.frame = frame;
    cursor.x = app_state.struct_panel.x + app_state.struct_panel.w - app_state.panel_pad;
    cursor.y = app_state.struct_panel.y + app_state.panel_pad;
    cursor.line_height = app_state.font.glyph_h;
    cursor.line_start_x = cursor.x;
    return cursor;
}

static void toolbar(int64_t position) {
    placement* list = placement_list();
    placement p = list[position];
    widget_frame frame = structure_widget_frame();
    layout_cursor cursor = toolbar_cursor(&frame);

    // After "X" the placement is gone; the later buttons are still drawn.
    bool removed = false;
    if (toolbar_button("X", true, &cursor)) {
        array_remove(&app_state.placements, sizeof(placement), position);
        removed = true;
    }
    if (toolbar_button(">", p.offset != UINT64_MAX, &cursor) && !removed) {
        list[position].offset += 1;
        int64_t last = (int64_t)app_state.file.size - 1;
        app_state.select_offset = saturating_add(app_state.select_offset, 1);
        if (app_state.select_offset > last) app_state.select_offset = last;
        if (app_state.select_offset < 0) app_state.select_offset = 0;
    }
    if (toolbar_button("<", p.offset != 0, &cursor) && !removed) {
        list[position].offset -= 1;
        app_state.select_offset = saturating_add(app_state.select_offset, -1);
    }
    if (p.type_index != 0) return;
    if (toolbar_button("+", p.length != UINT64_MAX, &cursor) && !removed) list[position].length += 1;
    if (toolbar_button("-", p.length > 1, &cursor) && !removed) {
        placement* q = &list[position];
        q->length -= 1;
        uint64_t start = (uint64_t)app_state.select_offset;
        if (start >= q->offset && start - q->offset == q->length)
            app_state.select_offset = saturating_add(app_state.select_offset, -1);
    }
}

static void describe_placement(int64_t position, layout_cursor* cursor) {
    placement p = placement_list()[position];
    text_append_cstring(&app_state.scratch_text, "At offset ");
    text_append_uint(&app_state.scratch_text, p.offset);
    text_append_cstring(&app_state.scratch_text, ":");
    emit_line(cursor, &app_state.scratch_text);

    if (p.type_index == 0) describe_misc_section(&p, cursor);
    else type_line(p.type_index, p.offset, cursor);
    toolbar(position);
}

static void append_placement(uint32_t type_index, uint64_t length, uint32_t color) {
    // Without a selected byte (an empty file) there is nothing to lay it on.
    if (app_state.select_offset < 0) return;
    placement p = {type_index, (uint64_t)app_state.select_offset, length, color};
    array_append(&app_state.placements, sizeof(placement), &p);
}

static void offer_types(layout_cursor* cursor) {
    static const char misc_label[] = "(Misc section)";
    if (flow_button(sizeof misc_label - 1, misc_label, false, true, false, cursor)) {
        // A length below 1 would make a section that holds no byte at all.
        uint64_t length = app_state.select_len > 0 ? (uint64_t)app_state.select_len : 1;
        append_placement(0, length, misc_section_color);
    }
    new_button_row(cursor);

    int64_t type_count = app_state.types.count;
    for (int64_t i = 1; i < type_count; i++) {
        const type_info* type = type_at((uint32_t)i);
        if (!type) continue;
        if (flow_button(type->name_length, type->name, false, true, false, cursor))
            append_placement((uint32_t)i, type->size, type->color);
        // A type's button shows the bytes its click would cover; the click places, not selects.
        apply_range_row(cursor->hovered ? row_hovered : 0, app_state.select_offset, type->size,
                        range_row_value);
        if (row_break_after((uint32_t)i)) new_button_row(cursor);
    }
}

static void byte_order_toggle(void) {
    static const char label[] = "Bigendian";
    widget_frame frame = structure_widget_frame();
    layout_cursor cursor = {};
    cursor.frame = &frame;
    cursor.x = app_state.struct_panel.x - app_state.margin;
    cursor.y = app_state.struct_panel.y;
    cursor.line_start_x = cursor.x;
    cursor.line_height = app_state.font.glyph_h;
    if (flow_button(sizeof label - 1, label, app_state.big_endian != 0, true, true, &cursor))
        app_state.big_endian = !app_state.big_endian;
}

void paint_structure_view(void) {
    if (!app_state.scratch_text.data) text_buffer_create(&app_state.scratch_text, scratch_text_capacity);
    text_reset(&app_state.scratch_text);

    widget_frame frame = structure_widget_frame();
    layout_cursor cursor = {};
    cursor.frame = &frame;
    cursor.line_start_x = app_state.struct_panel.x + app_state.panel_pad;
    cursor.x = cursor.line_start_x;
    cursor.y = app_state.struct_panel.y + app_state.panel_pad;
    cursor.line_height = app_state.font.glyph_h;

    int64_t position = current_placement();
    if (position >= 0) describe_placement(position, &cursor);
    else offer_types(&cursor);
    byte_order_toggle();
}
