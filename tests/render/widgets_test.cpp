// The layout cursor's widgets and the pointer-on-row test, drawn into a canvas.
#include <gtest/gtest.h>

#include "render/font.h"
#include "render/text_buffer.h"
#include "render/widgets.h"
#include "render_fixtures.h"

static const color background = 0xff111111;

class Widgets : public ::testing::Test {
protected:
    test_canvas canvas{800, 200, background};
    text_buffer line{};
    widget_frame frame{};

    void SetUp() override {
        free_font(&test_font);
        ASSERT_TRUE(load_test_font());
        ASSERT_TRUE(text_buffer_create(&line, 512));
        frame.list = &canvas.list;
        frame.font = &test_font;
        frame.indent_width = 3;
        frame.flow_right = 100 + 300 - 10;  // a panel at x 100, 300 wide, padded 10
        frame.pointer = pointer_input{-1, -1, false, false};
    }
    void TearDown() override { os_free(line.data); }
    layout_cursor start_cursor(void) {
        layout_cursor cursor = {};
        cursor.frame = &frame;
        return cursor;
    }
    void press_left(void) { frame.pointer.went_down = frame.pointer.is_down = true; }
};

TEST_F(Widgets, ToolbarButtonsRunRightToLeftWithAGap) {
    test_font.glyph_w = 9;
    layout_cursor cursor = start_cursor();
    cursor.x = 500;
    cursor.y = 20;
    toolbar_button("A", true, &cursor);
    EXPECT_EQ(cursor.last_rect.x, 475);
    EXPECT_EQ(cursor.last_rect.w, 25);
    EXPECT_EQ(cursor.last_rect.h, 23);
    toolbar_button("B", true, &cursor);
    EXPECT_EQ(cursor.last_rect.x, 446);
    EXPECT_EQ(cursor.last_rect.x + cursor.last_rect.w - 1, 470);
    EXPECT_EQ(canvas.at(499, 20), 0xff444444u);
    EXPECT_EQ(canvas.at(472, 30), background);
    EXPECT_EQ(canvas.at(500, 20), background);
    // The label sits 8 right and 6 down of the corner: B is centred in its 9-px cell.
    EXPECT_EQ(canvas.at(446 + 8 + 2, 20 + 6 + 3), as_buffer_color(font_green));
}

TEST_F(Widgets, ClicksNeedAnEnabledButtonUnderThePointer) {
    layout_cursor cursor = start_cursor();
    cursor.x = 300;
    frame.pointer.x = 290;
    frame.pointer.y = 5;
    press_left();
    EXPECT_FALSE(toolbar_button("A", false, &cursor));
    EXPECT_EQ(cursor.hovered, 0);
    EXPECT_EQ(canvas.at(290, 0), 0xff222222u);

    cursor.x = 300;
    EXPECT_TRUE(toolbar_button("A", true, &cursor));
    EXPECT_EQ(cursor.hovered, 1);
    EXPECT_EQ(canvas.at(290, 0), 0xff666666u);

    frame.pointer.went_down = false;  // held, not pressed this frame
    cursor.x = 300;
    EXPECT_FALSE(toolbar_button("A", true, &cursor));
    EXPECT_EQ(cursor.hovered, 1);

    frame.pointer.x = 300;  // just past the right edge
    press_left();
    cursor.x = 300;
    EXPECT_FALSE(toolbar_button("A", true, &cursor));
    EXPECT_EQ(cursor.hovered, 0);
}

TEST_F(Widgets, FlowButtonsWrapWhenCrossingTheInnerRightEdge) {
    // Inner right edge 100 + 300 - 10 = 390; "AB" is 14 wide, the button 30.
    layout_cursor cursor = start_cursor();
    cursor.line_start_x = 110;
    cursor.x = 360;
    cursor.y = 40;
    flow_button(2, "AB", false, true, false, &cursor);
    EXPECT_EQ(cursor.last_rect.x, 360);
    EXPECT_EQ(cursor.last_rect.y, 40);
    EXPECT_EQ(cursor.x, 394);

    cursor.x = 361;
    flow_button(2, "AB", false, true, false, &cursor);
    EXPECT_EQ(cursor.last_rect.x, 110);
    EXPECT_EQ(cursor.last_rect.y, 40 + 15 + 12);
    EXPECT_EQ(cursor.x, 110 + 34);
}

TEST_F(Widgets, RightAlignedAndToggledFlowButtons) {
    layout_cursor cursor = start_cursor();
    cursor.x = 600;
    cursor.y = 10;
    flow_button(2, "AB", true, true, true, &cursor);
    EXPECT_EQ(cursor.last_rect.x, 570);
    EXPECT_EQ(cursor.x, 566);
    EXPECT_EQ(canvas.at(570, 10), 0xffffffffu);
    EXPECT_EQ(canvas.at(571, 11), 0xffffffffu);
    EXPECT_EQ(canvas.at(572, 12), 0xff444444u);
    EXPECT_EQ(canvas.at(599, 32), 0xffffffffu);
}

TEST_F(Widgets, EmitLineDrawsGuidesAndTextThenMovesDown) {
    layout_cursor cursor = start_cursor();
    cursor.x = 50;
    cursor.y = 100;
    cursor.line_height = 15;
    cursor.pending_guides = 2;
    text_append_cstring(&line, "A");
    emit_line(&cursor, &line);
    const color guide = 0xff505050;  // 0x44ffffff over the background
    EXPECT_EQ(canvas.at(50 + 21, 101), guide);
    EXPECT_EQ(canvas.at(50 + 21, 113), guide);
    EXPECT_EQ(canvas.at(50 + 21, 100), background);
    EXPECT_EQ(canvas.at(50 + 21, 114), background);
    EXPECT_EQ(canvas.at(50, 101), guide);  // text starts at row 102
    EXPECT_EQ(canvas.at(51, 102), as_buffer_color(font_red));
    EXPECT_EQ(cursor.y, 115);
    EXPECT_EQ(cursor.x, 50);
    EXPECT_EQ(cursor.pending_guides, 0);
    EXPECT_EQ(line.length, 0u);

    emit_line(&cursor, &line);  // an empty line still takes its height
    EXPECT_EQ(cursor.y, 130);
}

TEST_F(Widgets, NothingIsDrawnWithoutAWindow) {
    frame.list = nullptr;
    layout_cursor cursor = start_cursor();
    cursor.x = 300;
    cursor.line_height = 15;
    text_append_cstring(&line, "A");
    emit_line(&cursor, &line);
    toolbar_button("A", true, &cursor);
    flow_button(1, "B", true, true, false, &cursor);
    EXPECT_EQ(canvas.count_not(background), 0);
    EXPECT_EQ(cursor.y, 15);
}

TEST(PointerOnRow, EdgesAndButtonStates) {
    const row_area area = {10, 20, 5, 3};  // columns 10..14, rows 20..22
    struct probe {
        int64_t x, y;
        bool went_down, is_down;
        uint8_t bits;
    };
    const probe probes[] = {
        {10, 20, false, false, row_hovered},
        {14, 22, false, false, row_hovered},
        {9, 20, false, false, 0},
        {15, 20, false, false, 0},
        {10, 19, false, false, 0},
        {10, 23, false, false, 0},
        {12, 21, true, true, row_hovered | row_pressed},
        {12, 21, true, false, row_hovered | row_pressed},  // pressed and let go within one frame
        {12, 21, false, true, row_hovered | row_held},
        {15, 21, true, true, 0},
    };
    for (const probe& p : probes) {
        pointer_input pointer = {p.x, p.y, p.went_down, p.is_down};
        EXPECT_EQ(pointer_on_row(area, pointer), p.bits) << p.x << "," << p.y;
    }
    // Rows far beyond 32 bits are compared without wrapping.
    const row_area far = {INT64_C(1) << 40, 0, 10, 10};
    EXPECT_EQ(pointer_on_row(far, pointer_input{(INT64_C(1) << 40) + 9, 0, false, false}), row_hovered);
    EXPECT_EQ(pointer_on_row(far, pointer_input{0, 0, false, false}), 0);
}

TEST_F(Widgets, ACursorWithoutAFrameDrawsNothingAndIsNeverHovered) {
    layout_cursor cursor = {};
    cursor.x = 300;
    cursor.line_height = 15;
    text_append_cstring(&line, "A");
    emit_line(&cursor, &line);
    EXPECT_EQ(line.length, 0u);
    EXPECT_FALSE(toolbar_button("A", true, &cursor));
    EXPECT_EQ(cursor.hovered, 0);
    EXPECT_EQ(canvas.count_not(background), 0);
    EXPECT_EQ(cursor.y, 15);
}
