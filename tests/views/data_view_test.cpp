// The data view: every row's reading of the selected bytes, and hovering and clicking its rows.
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "render/text_buffer.h"
#include "views/data_view.h"
#include "views/views.h"
#include "views_fixture.h"

class DataView : public ViewsTest {
protected:
    std::string text_of(data_view_row row, uint64_t* size = nullptr) {
        uint64_t n = data_view_row_text(row);
        if (size) *size = n;
        return std::string(app_state.text.data, app_state.text.length);
    }
    std::string binary_text() {
        data_view_binary_text();
        return std::string(app_state.text.data, app_state.text.length);
    }
    void select(int64_t offset, int64_t length) {
        app_state.select_offset = offset;
        app_state.select_len = length;
    }
    // Top of row k of the panel (0 = "u8"), counting the group gaps above it.
    int32_t row_top(int k) const {
        static const int gaps_before[17] = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 3, 3, 4, 4, 4, 4};
        return app_state.inspect_panel.y + app_state.panel_pad + k * app_state.hex_cell_h +
               gaps_before[k] * app_state.inspect_group_gap;
    }
};

TEST_F(DataView, IntegersInBothByteOrders) {
    load({0x01, 0x02, 0xff, 0xff, 0xfe, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f});
    select(0, 1);
    EXPECT_EQ(text_of(data_row_u8), "1");
    EXPECT_EQ(text_of(data_row_u16), "513");
    EXPECT_EQ(text_of(data_row_u24), "16712193");
    app_state.big_endian = 1;
    EXPECT_EQ(text_of(data_row_u16), "258");
    EXPECT_EQ(text_of(data_row_u24), "66303");

    select(2, 1);
    for (uint8_t order : {0, 1}) {
        app_state.big_endian = order;
        EXPECT_EQ(text_of(data_row_i16), "-1");
        EXPECT_EQ(text_of(data_row_u16), "65535");
        EXPECT_EQ(text_of(data_row_i8), "-1");
    }
    select(4, 1);
    app_state.big_endian = 0;
    EXPECT_EQ(text_of(data_row_i64), "9223372036854775806");
    EXPECT_EQ(text_of(data_row_u64), "9223372036854775806");
    app_state.big_endian = 1;
    EXPECT_EQ(text_of(data_row_i64), "-72057594037928065");
    EXPECT_EQ(text_of(data_row_u56), "71776119061217279");
}

TEST_F(DataView, FloatsUsePercentFAndAreCutAt21Characters) {
    double big = 1e30;
    std::vector<uint8_t> bytes = {0x00, 0x3c, 0x01, 0x00, 0xff, 0x03, 0x00, 0x00, 0xc0, 0x3f};
    bytes.resize(18);
    memcpy(&bytes[10], &big, 8);
    load(bytes);
    select(0, 1);
    EXPECT_EQ(text_of(data_row_f16), "1.000000");
    select(2, 1);
    EXPECT_EQ(text_of(data_row_f16), "0.000000");
    select(4, 1);
    EXPECT_EQ(text_of(data_row_f16), "0.000061");
    select(6, 1);
    EXPECT_EQ(text_of(data_row_f32), "1.500000");
    select(10, 1);
    std::string cut = text_of(data_row_f64);
    EXPECT_EQ(cut.size(), 21u);
    EXPECT_EQ(cut.substr(0, 17), "10000000000000000");
    app_state.big_endian = 1;
    select(0, 1);
    EXPECT_EQ(text_of(data_row_f16), "0.000004");  // 0x003c, a subnormal
}

TEST_F(DataView, AsciiAndUtf8Rows) {
    load({0x41, 0x0a, 0x00, 0x07, 0x1f, 0x7f, 0xe9, 0xc3, 0xa9, 0xe2, 0x82, 0xac, 0x80});
    uint64_t size = 0;
    select(0, 1);
    EXPECT_EQ(text_of(data_row_ascii), "'A'");
    select(1, 1);
    EXPECT_EQ(text_of(data_row_ascii), "'\\n' [line feed]");
    select(2, 1);
    EXPECT_EQ(text_of(data_row_ascii), "'\\0'");
    select(3, 1);
    EXPECT_EQ(text_of(data_row_ascii), "'\\a' [bell]");
    select(4, 1);
    EXPECT_EQ(text_of(data_row_ascii), "[unit separator]");
    select(5, 1);
    EXPECT_EQ(text_of(data_row_ascii), "[delete]");
    select(6, 1);
    EXPECT_EQ(text_of(data_row_ascii), "Invalid");
    select(7, 1);
    EXPECT_EQ(text_of(data_row_utf8, &size), "233");
    EXPECT_EQ(size, 2u);
    select(9, 1);
    EXPECT_EQ(text_of(data_row_utf8, &size), "8364");
    EXPECT_EQ(size, 3u);
    select(12, 1);  // a lone continuation byte
    EXPECT_EQ(text_of(data_row_utf8, &size), "65533");
    EXPECT_EQ(size, 1u);
}

TEST_F(DataView, BinaryRowShowsTwoBytesPerLineAndAtMost64) {
    std::vector<uint8_t> bytes(100, 0x0f);
    bytes[0] = 0x80;
    bytes[1] = 0x01;
    bytes[2] = 0xff;
    load(bytes);
    select(0, 3);
    EXPECT_EQ(binary_text(), "10000000 00000001\n11111111 ");
    select(0, 65);
    std::string many = binary_text();
    EXPECT_EQ(many.size(), 64u * 9u + 3u);
    EXPECT_EQ(many.substr(many.size() - 4), "\n...");
}

// The rows must never read past the file's last byte, whatever is selected.
TEST_F(DataView, RowsNearTheEndReadOnlyBytesInsideTheFile) {
    load({0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xc3});
    uint64_t size = 0;
    select(7, 1);  // three bytes before the end
    EXPECT_EQ(text_of(data_row_u8), "136");
    EXPECT_EQ(text_of(data_row_u16), "39304");
    EXPECT_EQ(text_of(data_row_u24), "12818824");
    EXPECT_EQ(text_of(data_row_u32, &size), "Invalid");
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(text_of(data_row_f64), "Invalid");
    EXPECT_EQ(text_of(data_row_u56), "Invalid");

    // A lead byte as the last byte decodes with what exists.
    select(9, 1);
    EXPECT_EQ(text_of(data_row_utf8, &size), "192");
    EXPECT_EQ(size, 2u);

    // Bytes just past the end, made visible: nothing may show them.
    static uint8_t guarded[8] = {0x42, 0x43, 0xee, 0xee, 0xee, 0xee, 0xee, 0xee};
    app_state.file.data = guarded;
    app_state.file.size = 2;
    select(1, 8);
    EXPECT_EQ(binary_text(), "01000011 ");
    select(2, 8);
    for (int row = 0; row < data_row_count; row++)
        EXPECT_EQ(text_of((data_view_row)row), "Invalid") << row;
    EXPECT_EQ(binary_text(), "");
}

TEST_F(DataView, EmptyFileShowsInvalidEverywhere) {
    load({});
    move_to(app_state.hex_panel.x + 15, app_state.hex_panel.y + 15);
    frame();
    ASSERT_EQ(app_state.select_offset, -1);
    for (int row = 0; row < data_row_count; row++)
        EXPECT_EQ(text_of((data_view_row)row), "Invalid") << row;
    EXPECT_EQ(binary_text(), "");
}

TEST_F(DataView, HoveringARowMarksItsBytesAndClickingSelectsThem) {
    std::vector<uint8_t> bytes(32, 0x20);
    load(bytes);
    click_at(hex_cell(29).x + 3, hex_cell(29).y + 3);
    ASSERT_EQ(app_state.select_offset, 29);

    int32_t x = app_state.inspect_panel.x + 30;
    move_to(x, row_top(2) + 2);  // "u32"
    frame();
    EXPECT_EQ(app_state.hover_offset, 29);
    EXPECT_EQ(app_state.hover_len, 4);
    EXPECT_EQ(pixel(app_state.inspect_panel.x + app_state.panel_pad, row_top(2) + 5), 0xffffffffu);

    click_at(x, row_top(3) + 2);  // "u64", Invalid but still 8 bytes
    EXPECT_EQ(app_state.select_len, 8);
    EXPECT_EQ(app_state.select_offset, 29);

    click_at(x, row_top(16) + 2);  // "u56"
    EXPECT_EQ(app_state.select_len, 7);
    click_at(x, row_top(12) + 2);  // "UTF-8" on a one-byte character
    EXPECT_EQ(app_state.select_len, 1);
}

TEST_F(DataView, PaintedRowsShowTheirTexts) {
    load({0x01, 0x02, 0x03, 0x04});
    move_to(0, 0);
    frame();
    int32_t label_x = app_state.inspect_panel.x + app_state.panel_pad;
    int32_t text_dy = app_state.hex_pad_y + 2;
    EXPECT_TRUE(line_shows(label_x, row_top(1) + text_dy, "u16", 8));
    EXPECT_TRUE(line_shows(label_x + 64, row_top(1) + text_dy, "513"));
    EXPECT_TRUE(line_shows(label_x, row_top(0) + text_dy, "u8", 8));
    EXPECT_TRUE(line_shows(label_x + 64, row_top(3) + text_dy, "Invalid"));
    int32_t binary_y = row_top(16) + app_state.hex_cell_h + app_state.inspect_group_gap + text_dy;
    EXPECT_TRUE(line_shows(label_x, binary_y, "Binary", 8));
    EXPECT_TRUE(line_shows(label_x + 64, binary_y, "00000001"));
}
