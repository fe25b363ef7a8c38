#include "render/widgets.h"

#include "app/app_state.h"
#include "render/font.h"

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

void emit_line(layout_cursor* cursor) {
    pixel_buffer* buffer = frame_buffer();
    if (buffer) {
        int64_t cell = (int64_t)app_state.font.glyph_w + app_state.font.spacing;
        int64_t unit = cell * app_state.indent_width;
        for (int32_t k = cursor->pending_guides - 1; k >= 0; --k) {
            rect guide = {clamp_to_int32(cursor->x + k * unit), clamp_to_int32(cursor->y + 1), 1,
                          clamp_to_int32(cursor->line_height - 2)};
            blend_vline(buffer, whole_buffer(buffer), guide, guide_color);
        }
        text_buffer* text = &app_state.scratch_text;
        draw_text(buffer, rect{clamp_to_int32(cursor->x), clamp_to_int32(cursor->y), 0, 0}, text->length,
                  text->data);
    }
    app_state.scratch_text.length = 0;
    cursor->y += cursor->line_height;
    cursor->pending_guides = 0;
}

// Hover, face, label and click of a button whose rect is already placed.
static bool finish_button(layout_cursor* cursor, rect area, uint64_t length, const char* text,
                          bool toggled, bool enabled) {
    cursor->last_rect = area;
    bool over = enabled && rect_contains(area, app_state.mouse_x, app_state.mouse_y);
    cursor->hovered = over ? 1 : 0;
    bool clicked = over && left_button_went_down();
    color face = over ? face_hovered : enabled ? face_idle : face_disabled;

    pixel_buffer* buffer = frame_buffer();
    if (buffer) {
        rect clip = whole_buffer(buffer);
        fill_rect(buffer, clip, area, face);
        if (toggled) draw_rect_outline(buffer, clip, area, toggled_thickness, toggled_frame);
        draw_text(buffer, rect{area.x + label_inset_x, area.y + label_inset_y, 0, 0}, length, text);
    }
    return clicked;
}

rect toolbar_button_rect(const char* label, layout_cursor* cursor) {
    uint64_t length = label && label[0] ? 1 : 0;
    text_extent size = measure_text(rect{}, length, label);
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
    text_extent size = measure_text(rect{}, length, text);
    int32_t w = size.w + button_pad_w;
    rect area;
    if (right_aligned) {
        area = rect{clamp_to_int32(cursor->x - w), clamp_to_int32(cursor->y), w, size.h + button_pad_h};
        cursor->x -= w + button_gap;
    } else {
        rect panel = app_state.struct_panel;
        int64_t inner_right = (int64_t)panel.x + panel.w - app_state.panel_pad;
        if (cursor->x + w > inner_right) {
            cursor->x = cursor->line_start_x;
            cursor->y += size.h + wrap_gap;
        }
        area = rect{clamp_to_int32(cursor->x), clamp_to_int32(cursor->y), w, size.h + button_pad_h};
        cursor->x += w + button_gap;
    }
    return finish_button(cursor, area, length, text, toggled, enabled);
}
