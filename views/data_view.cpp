// The data view: the bytes at the selection read in every number format, one row each.
#include "views/data_view.h"

#include "app/app_state.h"
#include "render/font.h"
#include "render/draw_list.h"
#include "render/text_buffer.h"
#include "stb_sprintf.h"
#include "types/read_number.h"
#include "views/views.h"

enum : int32_t {
    value_column_offset = 64,  // from the label's left to the value's
    label_top_inset = 2,       // below hex_pad_y
    float_text_max = 21,
    row_hover_thickness = 1,
    binary_bytes_per_line = 2,
};

enum : color { row_hover_outline = 0xffffffff };

enum row_reading : uint8_t {
    reading_unsigned,
    reading_signed,
    reading_float,
    reading_ascii,
    reading_utf8,
};

struct row_info {
    const char* label;
    uint8_t label_length;
    uint8_t size;
    row_reading reading;
    bool gap_after;
};

static const row_info rows[data_row_count] = {
    {"u8", 2, 1, reading_unsigned, false},  {"u16", 3, 2, reading_unsigned, false},
    {"u32", 3, 4, reading_unsigned, false}, {"u64", 3, 8, reading_unsigned, true},
    {"i8", 2, 1, reading_signed, false},    {"i16", 3, 2, reading_signed, false},
    {"i32", 3, 4, reading_signed, false},   {"i64", 3, 8, reading_signed, true},
    {"f16", 3, 2, reading_float, false},    {"f32", 3, 4, reading_float, false},
    {"f64", 3, 8, reading_float, true},     {"ASCII", 5, 1, reading_ascii, false},
    {"UTF-8", 5, 0, reading_utf8, true},    {"u24", 3, 3, reading_unsigned, false},
    {"u40", 3, 5, reading_unsigned, false}, {"u48", 3, 6, reading_unsigned, false},
    {"u56", 3, 7, reading_unsigned, true},
};

static const char* const control_names[32] = {
    "'\\0'",
    "[start of heading]",
    "[start of text]",
    "[end of text]",
    "[end of transmission]",
    "[enquiry]",
    "[acknowledgement]",
    "'\\a' [bell]",
    "'\\b' [backspace]",
    "'\\t' [horizontal tab]",
    "'\\n' [line feed]",
    "'\\v' [vertical tab]",
    "'\\f' [form feed]",
    "'\\r' [carriage return]",
    "[shift out]",
    "[shift in]",
    "[data link escape]",
    "[device control 1]",
    "[device control 2]",
    "[device control 3]",
    "[device control 4]",
    "[negative acknowledgement]",
    "[synchronous idle]",
    "[end of trans. block]",
    "[cancel]",
    "[end of medium]",
    "[substitute]",
    "[escape]",
    "[file separator]",
    "[group separator]",
    "[record separator]",
    "[unit separator]",
};

static const char invalid_text[] = "Invalid";

struct value_row_cursor {
    int64_t x;
    int64_t y;
    int32_t row_w;
    int32_t row_h;
};

// Bytes of the file from the selection start on; 0 when the selection start
// lies outside the file (an empty file gives -1).
static uint64_t available_at_selection(void) {
    if (!app_state.file.data || app_state.select_offset < 0) return 0;
    uint64_t start = (uint64_t)app_state.select_offset;
    return start < app_state.file.size ? app_state.file.size - start : 0;
}

static const uint8_t* selection_bytes(void) {
    return app_state.file.data + app_state.select_offset;
}

static void set_text(const char* text) {
    text_reset(&app_state.text);
    text_append_cstring(&app_state.text, text);
}

static void append_ascii_name(uint8_t b) {
    if (b < 32) {
        text_append_cstring(&app_state.text, control_names[b]);
    } else if (b < 127) {
        char quoted[3] = {'\'', (char)b, '\''};
        text_append(&app_state.text, 3, quoted);
    } else if (b == 127) {
        text_append_cstring(&app_state.text, "[delete]");
    } else {
        text_append_cstring(&app_state.text, invalid_text);
    }
}

static void append_float(double value) {
    char formatted[64];
    int length = stbsp_snprintf(formatted, (int)sizeof formatted, "%f", value);
    if (length < 0) length = 0;
    if (length > float_text_max) length = float_text_max;
    text_append(&app_state.text, (uint64_t)length, formatted);
}

uint64_t data_view_row_text(data_view_row row) {
    const row_info* info = &rows[row];
    uint64_t available = available_at_selection();
    bool big_endian = app_state.big_endian != 0;
    text_reset(&app_state.text);

    if (info->reading == reading_utf8) {
        if (available == 0) {
            set_text(invalid_text);
            return 1;
        }
        utf8_decoded decoded = decode_utf8(selection_bytes(), available);
        text_append_uint(&app_state.text, decoded.code_point);
        return decoded.length;
    }
    if (info->size > available) {
        set_text(invalid_text);
        return info->size;
    }
    const uint8_t* p = selection_bytes();
    switch (info->reading) {
    case reading_unsigned:
        text_append_uint(&app_state.text, read_unsigned(p, info->size, big_endian));
        break;
    case reading_signed:
        text_append_int(&app_state.text, read_signed(p, info->size, big_endian));
        break;
    case reading_float:
        append_float(read_float(p, info->size, big_endian));
        break;
    case reading_ascii:
        append_ascii_name(p[0]);
        break;
    case reading_utf8:
        break;
    }
    return info->size;
}

void data_view_binary_text(void) {
    text_reset(&app_state.text);
    int64_t selected = app_state.select_len;
    int64_t shown = selected < app_state.bit_row_max_bytes ? selected : app_state.bit_row_max_bytes;
    uint64_t available = available_at_selection();
    if (shown > 0 && (uint64_t)shown > available) shown = (int64_t)available;
    const uint8_t* p = shown > 0 ? selection_bytes() : nullptr;
    for (int64_t i = 0; i < shown; i++) {
        char bits[9];
        for (int bit = 0; bit < 8; bit++) bits[bit] = (p[i] >> (7 - bit)) & 1 ? '1' : '0';
        bits[8] = i % binary_bytes_per_line == binary_bytes_per_line - 1 ? '\n' : ' ';
        text_append(&app_state.text, sizeof bits, bits);
    }
    if (selected > app_state.bit_row_max_bytes) text_append_cstring(&app_state.text, "...");
}

static void draw_label_and_text(draw_list* list, const value_row_cursor* cursor,
                                uint64_t label_length, const char* label) {
    if (!list) return;
    int32_t text_y = (int32_t)cursor->y + app_state.hex_pad_y + label_top_inset;
    draw_text(list, &app_state.font, rect{(int32_t)cursor->x, text_y, 0, 0}, label_length, label);
    draw_text(list, &app_state.font, rect{(int32_t)cursor->x + value_column_offset, text_y, 0, 0},
              app_state.text.length, app_state.text.data);
}

static void value_row(uint64_t size, uint64_t label_length, const char* label,
                      value_row_cursor* cursor) {
    draw_list* list = frame_list();
    rect row = {(int32_t)cursor->x, (int32_t)cursor->y, cursor->row_w, cursor->row_h};
    uint8_t hit = item_on_row(&app_state.press, item_data_view, row_area{row.x, row.y, row.w, row.h}, frame_pointer());
    apply_range_row(hit, app_state.select_offset, (int64_t)size, range_row_value);
    if (hit) {
        if (list)
            draw_rect_outline(list, row, row_hover_thickness, row_hover_outline);
    }
    draw_label_and_text(list, cursor, label_length, label);
    cursor->y += app_state.hex_cell_h;
}

void paint_data_view(void) {
    rect panel = app_state.inspect_panel;
    int32_t pad = app_state.panel_pad;
    value_row_cursor cursor = {panel.x + pad, panel.y + pad, panel.w - 2 * pad, app_state.hex_cell_h};

    for (int i = 0; i < data_row_count; i++) {
        const row_info* info = &rows[i];
        uint64_t size = data_view_row_text((data_view_row)i);
        value_row(size, info->label_length, info->label, &cursor);
        if (info->gap_after) cursor.y += app_state.inspect_group_gap;
    }

    data_view_binary_text();
    draw_list* list = frame_list();
    if (list) {
        static const char binary_label[] = "Binary";
        draw_label_and_text(list, &cursor, sizeof binary_label - 1, binary_label);
    }
}
