// Type lines: the text of every kind of field, both byte orders, limits, and hover, click and drag.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include "test_canvas.h"
#include "types_fixture.h"

using lines = std::vector<std::string>;

static const char* header_code =
    "enum Kind : u8 { Data, Code, Exec }\n"
    "struct Pos { i16 x; i16 y; }\n"
    "struct Header { u32 magic; Kind kind; Pos pos; }\n";

static std::vector<uint8_t> header_bytes = {7, 0, 0, 0, 2, 0xfd, 0xff, 12, 0};

static std::string float_text(double value) {
    text_buffer buffer;
    text_buffer_create(&buffer, 8);
    text_append_float_truncated(&buffer, value);
    std::string text(buffer.data, buffer.length);
    os_free(buffer.data);
    return text;
}

TEST(TypeLine, header_example_lines) {
    fresh_types();
    ASSERT_EQ(parse(header_code), "");
    std::vector<uint8_t> bytes = header_bytes;
    lines expected = {"Header struct(9)",         "   magic u32 = 7",    "   kind Kind:u8 = Exec (2)",
                      "   pos Pos struct(4)",      "      x i16 = -3",    "      y i16 = 12"};
    EXPECT_EQ(lay_out("Header", bytes), expected);
    EXPECT_EQ(app_state.scratch_text.length, 0u);
}

TEST(TypeLine, integers_in_both_byte_orders) {
    fresh_types();
    std::vector<uint8_t> bytes = {1, 2, 3};
    EXPECT_EQ(lay_out("u24", bytes), lines{"u24 = 197121"});
    app_state.big_endian = 1;
    EXPECT_EQ(lay_out("u24", bytes), lines{"u24 = 66051"});

    std::vector<uint8_t> minus_two = {0xfe, 0xff};
    app_state.big_endian = 0;
    EXPECT_EQ(lay_out("i16", minus_two), lines{"i16 = -2"});
    app_state.big_endian = 1;
    EXPECT_EQ(lay_out("i16", minus_two), lines{"i16 = -257"});

    std::vector<uint8_t> ones(8, 0xff);
    EXPECT_EQ(lay_out("u64", ones), lines{"u64 = 18446744073709551615"});
    EXPECT_EQ(lay_out("i32", ones), lines{"i32 = -1"});
    app_state.big_endian = 0;
    EXPECT_EQ(lay_out("i64", ones), lines{"i64 = -1"});
    EXPECT_EQ(lay_out("u56", ones), lines{"u56 = 72057594037927935"});
}

TEST(TypeLine, typedefs_show_the_builtin_label_and_enums_their_own_name) {
    fresh_types();
    ASSERT_EQ(parse("typedef WORD u16; enum Sign : i8 { Zero } enum Kind : u8 { A, B }"), "");
    std::vector<uint8_t> bytes = {0x34, 0x12};
    EXPECT_EQ(lay_out("WORD", bytes), lines{"u16 = 4660"});
    std::vector<uint8_t> minus = {0xff};
    EXPECT_EQ(lay_out("Sign", minus), lines{"Sign:i8 = (-1)"});
    std::vector<uint8_t> seven = {7};
    EXPECT_EQ(lay_out("Kind", seven), lines{"Kind:u8 = (7)"});
}

TEST(TypeLine, floats_are_truncated_to_five_digits) {
    EXPECT_EQ(float_text(2.999999), "2.99999");
    EXPECT_EQ(float_text(0.5), "0.50000");
    EXPECT_EQ(float_text(-1.25), "-1.25000");
    EXPECT_EQ(float_text(-0.0), "0.00000");
    EXPECT_EQ(float_text(1e12), "1000000000000.00000");
    EXPECT_EQ(float_text(2147483648.75), "2147483648.75000");
    EXPECT_EQ(float_text(-1e20), "-100000000000000000000.00000");
    EXPECT_EQ(float_text(ldexp(1.0, 100)), "1267650600228229401496703205376.00000");
    EXPECT_EQ(float_text(1.7976931348623157e308).substr(0, 20), "17976931348623157081");
    EXPECT_EQ(float_text(1.7976931348623157e308).size(), 309u + 6u);
    EXPECT_EQ(float_text(INFINITY), "inf");
    EXPECT_EQ(float_text(-INFINITY), "-inf");
    EXPECT_EQ(float_text(NAN), "nan");

    EXPECT_EQ(half_to_double(0x3c00), 1.0);
    EXPECT_EQ(half_to_double(0xc000), -2.0);
    EXPECT_EQ(half_to_double(0x0001), ldexp(1.0, -24));
    EXPECT_TRUE(isinf(half_to_double(0x7c00)));
    EXPECT_TRUE(isnan(half_to_double(0x7e00)));

    fresh_types();
    std::vector<uint8_t> f32 = {0, 0, 0xc0, 0x3f};
    EXPECT_EQ(lay_out("f32", f32), lines{"f32 = 1.50000"});
    std::vector<uint8_t> f16 = {0, 0x3c};
    EXPECT_EQ(lay_out("f16", f16), lines{"f16 = 1.00000"});
    std::vector<uint8_t> minus_zero = {0, 0x80};
    EXPECT_EQ(lay_out("f16", minus_zero), lines{"f16 = 0.00000"});
    app_state.big_endian = 1;
    std::vector<uint8_t> f64 = {0xc0, 0x04, 0, 0, 0, 0, 0, 0};  // -2.5
    EXPECT_EQ(lay_out("f64", f64), lines{"f64 = -2.50000"});
}

TEST(TypeLine, fits_up_to_the_last_byte_and_not_one_further) {
    fresh_types();
    std::vector<uint8_t> bytes = {0, 1, 2, 3, 4};
    EXPECT_EQ(lay_out("u32", bytes, 1), lines{"u32 = 67305985"});
    EXPECT_EQ(lay_out("u32", bytes, 2), lines{"Error: type does not fit here.\n"});
    ASSERT_EQ(parse(header_code), "");
    std::vector<uint8_t> short_header(header_bytes.begin(), header_bytes.end() - 1);
    EXPECT_EQ(lay_out("Header", short_header), lines{"Error: type does not fit here.\n"});
}

TEST(TypeLine, a_huge_offset_does_not_wrap_into_the_file) {
    fresh_types();
    std::vector<uint8_t> bytes = {0, 1, 2, 3};
    EXPECT_EQ(lay_out("u32", bytes, UINT64_MAX), lines{"Error: type does not fit here.\n"});
    EXPECT_EQ(lay_out("u8", bytes, UINT64_MAX - 2), lines{"Error: type does not fit here.\n"});
}

TEST(TypeLine, a_struct_containing_itself_stops_at_the_depth_limit) {
    fresh_types();
    ASSERT_EQ(parse("struct S { S self; u8 a; };"), "");
    std::vector<uint8_t> bytes = {42};
    lines out = lay_out("S", bytes);
    // Header lines for depths 0..63, the error line, then the 64 "a" lines.
    ASSERT_EQ(out.size(), 64u + 1 + 64);
    EXPECT_EQ(out[0], "S struct(1)");
    EXPECT_EQ(out[1], "   self S struct(1)");
    std::string deepest(3 * 64, ' ');
    EXPECT_EQ(out[64], deepest + "self Error: nesting too deep.\n");
    EXPECT_EQ(out[65], deepest + "a u8 = 42");
    EXPECT_EQ(out.back(), "   a u8 = 42");
}

TEST(TypeLine, union_members_read_the_same_bytes) {
    fresh_types();
    ASSERT_EQ(parse("union U { u8 a; u16 b; i8 c; }"), "");
    std::vector<uint8_t> bytes = {0xff, 0x01};
    lines expected = {"U union(2)", "   a u8 = 255", "   b u16 = 511", "   c i8 = -1"};
    EXPECT_EQ(lay_out("U", bytes), expected);
}

// Paints the named type's lines from `y` down, one every 15 pixels; the rows painted.
static int64_t paint_type(const char* name, std::vector<uint8_t> bytes, int32_t y) {
    app_state.file.data = bytes.data();
    app_state.file.size = bytes.size();
    widget_frame frame = structure_widget_frame();
    layout_cursor cursor = {};
    cursor.frame = &frame;
    cursor.y = y;
    cursor.line_height = 15;
    type_line(type_table_find(name, strlen(name)), 0, &cursor);
    app_state.file = file_contents{};
    return (cursor.y - y) / 15;
}

// Lays Header with the pointer on row `row` (0 = header line), the left
// button in `state`.
static void lay_header_with_pointer(int row, uint8_t state) {
    app_state.struct_panel = rect{800, 0, 400, 700};
    app_state.mouse_x = 900;
    app_state.mouse_y = 20 + 15 * row;  // rows start at y 20 - 2, one every 15 pixels
    input_at(input_index_left_button)->state = state;
    paint_type("Header", header_bytes, 20);
}

TEST(TypeLine, hover_click_and_drag_across_member_lines) {
    fresh_types();
    ASSERT_EQ(parse(header_code), "");
    app_state.hover_offset = -1;
    lay_header_with_pointer(2, 0);  // kind
    EXPECT_EQ(app_state.hover_offset, 4);
    EXPECT_EQ(app_state.hover_len, 1);

    lay_header_with_pointer(1, input_went_down | input_is_down);  // press on magic
    EXPECT_EQ(app_state.select_offset, 0);
    EXPECT_EQ(app_state.select_len, 4);
    EXPECT_EQ(app_state.select_anchor, 0);
    EXPECT_EQ(app_state.select_anchor_len, 4);

    lay_header_with_pointer(5, input_is_down);  // drag to y
    EXPECT_EQ(app_state.select_offset, 0);
    EXPECT_EQ(app_state.select_len, 9);
    lay_header_with_pointer(1, input_is_down);  // back onto the anchor row
    EXPECT_EQ(app_state.select_len, 9);

    lay_header_with_pointer(4, input_went_down | input_is_down);  // press on x
    lay_header_with_pointer(2, input_is_down);                   // drag up to kind
    EXPECT_EQ(app_state.select_offset, 4);
    EXPECT_EQ(app_state.select_len, 3);

    lay_header_with_pointer(3, input_went_down);  // the pos header covers x and y
    EXPECT_EQ(app_state.select_offset, 5);
    EXPECT_EQ(app_state.select_len, 4);
}

// A frame being recorded, whose pixels show what the rows painted (no font: no text).
struct fake_window {
    test_canvas canvas;
    fake_window(int32_t width, int32_t height) : canvas(width, height, 0) { app_state.frames.recording = &canvas.list; }
    ~fake_window() { app_state.frames.recording = nullptr; }
    color at(int32_t x, int32_t y) { return canvas.at(x, y); }
};

TEST(TypeLine, rows_are_shaded_by_selection_and_outlined_by_hover) {
    fresh_types();
    ASSERT_EQ(parse(header_code), "");
    fake_window screen(1280, 720);
    app_state.select_offset = 0;
    app_state.select_len = 4;    // covers magic, part of the header
    app_state.hover_offset = 5;  // pos.x: part of pos, all of x
    app_state.hover_len = 2;
    lay_header_with_pointer(40, 0);  // pointer below every row
    auto inside = [&](int row) { return screen.at(1100, 20 + 15 * row + 4); };
    auto edge = [&](int row) { return screen.at(1100, 20 + 15 * row - 2); };
    EXPECT_EQ(inside(0), 0xff333333u);
    EXPECT_EQ(inside(1), 0xff666666u);
    EXPECT_EQ(inside(2), 0u);
    EXPECT_EQ(edge(3), 0xff777777u);
    EXPECT_EQ(edge(4), 0xffffffffu);
    EXPECT_EQ(edge(5), 0u);
}

TEST(TypeLine, rows_past_the_bottom_of_the_window_are_skipped) {
    fresh_types();
    std::string code = "struct Big {";
    for (int i = 0; i < 5000; i++) code += " u8 f" + std::to_string(i) + ";";
    code += " }";
    ASSERT_EQ(parse(code), "");
    fake_window screen(640, 100);
    app_state.mouse_y = 50;
    std::vector<uint8_t> bytes(5000, 1);
    // Rows at y 0, 15, ..., 90 start inside the buffer; the one at 105 does not.
    EXPECT_EQ(paint_type("Big", bytes, 0), 7);
    EXPECT_EQ(app_state.scratch_text.length, 0u);

    // A pointer dragged below the window still reaches the rows there.
    app_state.mouse_y = 400;
    app_state.struct_panel = rect{0, 0, 640, 100};
    app_state.mouse_x = 10;
    EXPECT_EQ(paint_type("Big", bytes, 0), 27);
    EXPECT_EQ(app_state.hover_offset, 25);
}

TEST(type_line, a_struct_holding_itself_twice_stops_at_the_line_limit_without_a_buffer) {
    fresh_types();
    // Size 0: every copy of itself fits anywhere, and the lines double per level.
    ASSERT_EQ(parse("struct Twice { Twice left; Twice right; };"), "");
    std::vector<uint8_t> bytes(4, 0);
    lines out = lay_out("Twice", bytes);
    EXPECT_EQ((int64_t)out.size(), (int64_t)type_layout_max_lines);
    EXPECT_EQ(out[0], "Twice struct(0)");
    EXPECT_EQ(out[1], "   left Twice struct(0)");
    // Every placement starts with the whole allowance again.
    EXPECT_EQ((int64_t)lay_out("Twice", bytes).size(), (int64_t)type_layout_max_lines);
    EXPECT_EQ(lay_out("u8", bytes), lines{"u8 = 0"});
}
