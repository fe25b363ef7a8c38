// The layout cursor's widgets (lines with guides, toolbar and flow buttons)
// and the pointer-on-row test they share with the views.
#include "render/widgets.h"

enum : color {
    guide_color = 0x44ffffff,
    face_idle = 0xff444444,
    face_hovered = 0xff666666,
    face_disabled = 0xff222222,
    toggled_frame = 0xffffffff,
};

enum : int32_t {
    button_pad_w = 16,  // label width plus this is the button width
    button_pad_h = 8,
    button_gap = 4,
    label_inset_x = 8,
    label_inset_y = 6,
    wrap_gap = 12,  // from one row of flow buttons to the next, beyond the label height
    toggled_thickness = 2,
};

uint8_t pointer_over_row(pointer_input pointer) {
    if (pointer.went_down) return row_hovered | row_pressed;
    if (pointer.is_down) return row_hovered | row_held;
    return row_hovered;
}

uint8_t pointer_on_row(row_area area, pointer_input pointer) {
    bool over = area.x <= pointer.x && pointer.x < area.x + area.w && area.y <= pointer.y &&
                pointer.y < area.y + area.h;
    return over ? pointer_over_row(pointer) : 0;
}

uint8_t item_pointer(press_owner* owner, uint32_t id, bool over, pointer_input pointer) {
    if (!owner) return over ? pointer_over_row(pointer) : 0;
    if (!pointer.went_down && !pointer.is_down) owner->active = 0;
    if (!over) return 0;
    if (owner->finding) {
        owner->claim = id;
        return row_hovered;
    }
    if (pointer.went_down && owner->active == 0) owner->active = id;
    return owner->active == id ? pointer_over_row(pointer) : (uint8_t)row_hovered;
}

uint8_t item_on_row(press_owner* owner, uint32_t id, row_area area, pointer_input pointer) {
    return item_pointer(owner, id, pointer_on_row(area, pointer) != 0, pointer);
}

bool item_holds_press(const press_owner* owner, uint32_t id, pointer_input pointer) {
    return owner && !owner->finding && owner->active == id && (pointer.went_down || pointer.is_down);
}

// Buttons get the numbers with the top bit set, apart from the fixed ones.
uint32_t item_at(rect area) {
    const int32_t coordinates[] = {area.x, area.y, area.w, area.h};
    uint32_t hash = 2166136261u;  // FNV-1a over the four coordinates
    for (int32_t v : coordinates) hash = (hash ^ (uint32_t)v) * 16777619u;
    return hash | 0x80000000u;
}

static row_area area_of(rect r) { return row_area{r.x, r.y, r.w, r.h}; }

static const glyph_atlas* font_of(const layout_cursor* cursor) {
    return cursor->frame ? cursor->frame->font : nullptr;
}

static draw_list* list_of(const layout_cursor* cursor) {
    return cursor->frame && cursor->frame->font ? cursor->frame->list : nullptr;
}

void emit_line(layout_cursor* cursor, text_buffer* line) {
    draw_list* list = list_of(cursor);
    if (list) {
        const glyph_atlas* font = font_of(cursor);
        int64_t cell = (int64_t)font->glyph_w + font->spacing;
        int64_t unit = cell * cursor->frame->indent_width;
        for (int32_t k = cursor->pending_guides - 1; k >= 0; --k) {
            rect guide = {clamp_to_int32(cursor->x + k * unit), clamp_to_int32(cursor->y + 1), 1,
                          clamp_to_int32(cursor->line_height - 2)};
            blend_vline(list, guide, guide_color);
        }
        draw_text(list, font, rect{clamp_to_int32(cursor->x), clamp_to_int32(cursor->y), 0, 0}, line->length,
                  line->data);
    }
    line->length = 0;
    cursor->y += cursor->line_height;
    cursor->pending_guides = 0;
}

// Hover, face, label and click of a button whose rect is already placed.
static bool finish_button(layout_cursor* cursor, rect area, uint64_t length, const char* text,
                          bool toggled, bool enabled) {
    cursor->last_rect = area;
    // A disabled button still owns a press on it; it only does nothing with it.
    const widget_frame* frame = cursor->frame;
    uint8_t hit = frame ? item_on_row(frame->owner, item_at(area), area_of(area), frame->pointer) : 0;
    if (!enabled) hit = 0;
    bool over = (hit & row_hovered) != 0;
    cursor->hovered = over ? 1 : 0;
    bool clicked = (hit & row_pressed) != 0;
    color face = over ? face_hovered : enabled ? face_idle : face_disabled;

    draw_list* list = list_of(cursor);
    if (list) {
        fill_rect(list, area, face);
        if (toggled) draw_rect_outline(list, area, toggled_thickness, toggled_frame);
        draw_text(list, font_of(cursor), rect{area.x + label_inset_x, area.y + label_inset_y, 0, 0}, length,
                  text);
    }
    return clicked;
}

static rect toolbar_button_rect(const char* label, layout_cursor* cursor) {
    uint64_t length = label && label[0] ? 1 : 0;
    text_extent size = measure_text(font_of(cursor), rect{}, length, label);
    int32_t w = size.w + button_pad_w;
    rect area = {clamp_to_int32(cursor->x - w), clamp_to_int32(cursor->y), w, size.h + button_pad_h};
    cursor->x -= w + button_gap;
    return area;
}

bool toolbar_button(const char* label, bool enabled, layout_cursor* cursor) {
    rect area = toolbar_button_rect(label, cursor);
    return finish_button(cursor, area, label && label[0] ? 1 : 0, label, false, enabled);
}

bool flow_button(uint64_t length, const char* text, bool toggled, bool enabled, bool right_aligned,
                 layout_cursor* cursor) {
    text_extent size = measure_text(font_of(cursor), rect{}, length, text);
    int32_t w = size.w + button_pad_w;
    rect area;
    if (right_aligned) {
        area = rect{clamp_to_int32(cursor->x - w), clamp_to_int32(cursor->y), w, size.h + button_pad_h};
        cursor->x -= w + button_gap;
    } else {
        int64_t inner_right = cursor->frame ? cursor->frame->flow_right : INT64_MAX;
        if (cursor->x + w > inner_right) {
            cursor->x = cursor->line_start_x;
            cursor->y += size.h + wrap_gap;
        }
        area = rect{clamp_to_int32(cursor->x), clamp_to_int32(cursor->y), w, size.h + button_pad_h};
        cursor->x += w + button_gap;
    }
    return finish_button(cursor, area, length, text, toggled, enabled);
}
