// Type lines: a type laid at an offset as the structure view's rows, with hover and selection.
#include "types/type_layout.h"

#include "app/app_state.h"
#include "render/draw_list.h"
#include "types/byte_range.h"
#include "types/read_number.h"
#include "types/type_table.h"

enum : color {
    row_selected_whole = 0xff666666,
    row_selected_part = 0xff333333,
    row_hovered_whole = 0xffffffff,
    row_hovered_part = 0xff777777,
};

enum : int32_t {
    row_rise = 2,  // the row area starts this far above the text
    row_outline_thickness = 1,
};

static const char* const unsigned_labels[9] = {"", "u8", "u16", "u24", "u32", "u40", "u48", "u56", "u64"};
static const char* const signed_labels[9] = {"", "i8", "i16", "i24", "i32", "i40", "i48", "i56", "i64"};

static void append_number(text_buffer* line, uint64_t value, bool is_signed) {
    if (is_signed)
        text_append_int(line, (int64_t)value);
    else
        text_append_uint(line, value);
}

static void append_integer_value(text_buffer* line, const type_info* type, const uint8_t* bytes) {
    bool big_endian = app_state.big_endian != 0;
    bool is_signed = type->kind == type_kind_signed || type->kind == type_kind_enum_signed;
    bool is_enum = type->kind == type_kind_enum_unsigned || type->kind == type_kind_enum_signed;
    uint64_t value = is_signed ? (uint64_t)read_signed(bytes, type->size, big_endian)
                               : read_unsigned(bytes, type->size, big_endian);
    if (is_enum) {
        text_append(line, type->name_length, type->name);
        text_append_char(line, ':');
    }
    text_append_cstring(line, (is_signed ? signed_labels : unsigned_labels)[type->size]);
    text_append_cstring(line, " = ");
    if (!is_enum) {
        append_number(line, value, is_signed);
        return;
    }
    const member* enumerators = (const member*)type->members.items;
    for (int64_t i = 0; i < type->members.count; i++) {
        if ((uint64_t)enumerators[i].value == value) {
            text_append(line, enumerators[i].name_length, enumerators[i].name);
            text_append_char(line, ' ');
            break;
        }
    }
    text_append_char(line, '(');
    append_number(line, value, is_signed);
    text_append_char(line, ')');
}

static void append_float_value(text_buffer* line, const type_info* type, const uint8_t* bytes) {
    text_append_cstring(line, type->size == 2 ? "f16" : type->size == 4 ? "f32" : "f64");
    text_append_cstring(line, " = ");
    text_append_float_truncated(line, read_float(bytes, type->size, app_state.big_endian != 0));
}

// A row whose area starts below both the back buffer and the pointer can be
// neither seen nor hit, nor can any row after it.
static bool row_out_of_reach(const layout_cursor* cursor) {
    const draw_list* list = frame_list();
    if (!list) return false;
    int64_t top = cursor->y - row_rise;
    return top >= list->height && top > app_state.mouse_y;
}

static void handle_row(uint64_t o, uint64_t s, const layout_cursor* cursor) {
    int64_t x = app_state.struct_panel.x;
    int64_t width = app_state.struct_panel.w;
    int64_t y = cursor->y - row_rise;
    int64_t height = cursor->line_height;
    pointer_input pointer = cursor->frame ? cursor->frame->pointer : frame_pointer();
    press_owner* owner = cursor->frame ? cursor->frame->owner : &app_state.press;
    uint8_t hit = item_on_row(owner, item_type_lines, row_area{x, y, width, height}, pointer);
    apply_range_row(hit, (int64_t)o, (int64_t)s, range_row_item);

    draw_list* list = frame_list();
    if (!list) return;
    rect area = {clamp_to_int32(x), clamp_to_int32(y), clamp_to_int32(width), clamp_to_int32(height)};
    uint64_t select_offset = (uint64_t)app_state.select_offset;
    uint64_t select_len = (uint64_t)app_state.select_len;
    if (ranges_share(select_offset, select_len, o, s)) {
        color shade = range_covers(select_offset, select_len, o, s) ? row_selected_whole : row_selected_part;
        fill_rect(list, area, shade);
    }
    uint64_t hover_offset = (uint64_t)app_state.hover_offset;
    uint64_t hover_len = (uint64_t)app_state.hover_len;
    if (ranges_share(hover_offset, hover_len, o, s)) {
        color outline = range_covers(hover_offset, hover_len, o, s) ? row_hovered_whole : row_hovered_part;
        draw_rect_outline(list, area, row_outline_thickness, outline);
    }
}

// The text after the field name; false for an error line, which has no row.
static bool append_value(text_buffer* line, const type_info* type, uint64_t offset, int32_t depth) {
    if (!type) {
        text_append_cstring(line, "Error: unknown type.\n");
        return false;
    }
    // A struct may contain itself; its lines would never end.
    bool has_members = type->kind == type_kind_struct || type->kind == type_kind_union;
    if (has_members && depth >= type_layout_max_depth) {
        text_append_cstring(line, "Error: nesting too deep.\n");
        return false;
    }
    uint64_t size = type->size;
    uint64_t file_size = app_state.file.data ? app_state.file.size : 0;
    if (size > file_size || offset > file_size - size) {
        text_append_cstring(line, "Error: type does not fit here.\n");
        return false;
    }
    const uint8_t* bytes = app_state.file.data + offset;
    switch (type->kind) {
    case type_kind_unsigned:
    case type_kind_signed:
    case type_kind_enum_unsigned:
    case type_kind_enum_signed:
        if (size >= 1 && size <= 8) append_integer_value(line, type, bytes);
        break;
    case type_kind_float:
        if (size == 2 || size == 4 || size == 8) append_float_value(line, type, bytes);
        break;
    case type_kind_struct:
    case type_kind_union:
        text_append(line, type->name_length, type->name);
        text_append_cstring(line, type->kind == type_kind_struct ? " struct(" : " union(");
        text_append_uint(line, size);
        text_append_char(line, ')');
        break;
    default:
        break;
    }
    return true;
}

void type_walk_begin(type_walk* walk, uint32_t type_index, uint64_t offset) {
    walk->type_index = type_index;
    walk->offset = offset;
    walk->started = 0;
    walk->depth = 0;
    walk->lines_left = type_layout_max_lines;
}

bool type_walk_next(type_walk* walk, text_buffer* text, type_walk_line* line) {
    if (walk->lines_left <= 0) return false;
    text->length = 0;
    uint32_t type_index = walk->type_index;
    uint64_t offset = walk->offset;
    if (walk->started) {
        // The next member of the innermost struct with members left.
        for (;; walk->depth--) {
            if (walk->depth == 0) return false;
            type_walk_frame* frame = &walk->frames[walk->depth - 1];
            const type_info* parent = type_at(frame->type_index);
            if (frame->next_member >= parent->members.count) continue;
            const member* field = &((const member*)parent->members.items)[frame->next_member++];
            for (int64_t k = 0; k < (int64_t)walk->depth * app_state.indent_width; k++) text_append_char(text, ' ');
            text_append(text, field->name_length, field->name);
            text_append_char(text, ' ');
            type_index = field->type_index;
            offset = frame->offset + field->offset;
            break;
        }
    }
    walk->started = 1;
    walk->lines_left--;
    const type_info* type = type_at(type_index);
    *line = type_walk_line{offset, type ? type->size : 0, walk->depth, false};
    line->has_row = append_value(text, type, offset, walk->depth);
    bool has_members = type && (type->kind == type_kind_struct || type->kind == type_kind_union);
    if (line->has_row && has_members) walk->frames[walk->depth++] = type_walk_frame{type_index, offset, 0};
    return true;
}

void type_line(uint32_t type_index, uint64_t offset, layout_cursor* cursor) {
    text_buffer* text = &app_state.scratch_text;
    type_walk walk;
    type_walk_begin(&walk, type_index, offset);
    type_walk_line line;
    while (!row_out_of_reach(cursor) && type_walk_next(&walk, text, &line)) {
        if (line.has_row) handle_row(line.offset, line.size, cursor);
        cursor->pending_guides = line.depth;
        emit_line(cursor, text);
    }
    text->length = 0;
    cursor->pending_guides = 0;
}
