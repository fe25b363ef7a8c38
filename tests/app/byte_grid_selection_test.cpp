// The byte grids' hit test in the shell's layout: cells, gaps, clamping, clicks and drags.
#include <gtest/gtest.h>

#include "app/app.h"
#include "views/views.h"
#include "app_test_support.h"

// A 1600 x 900 layout with the pointer over byte `offset` of the hex grid
// (scroll row 0, 16 bytes per row).
static void point_at_hex_byte(int64_t offset) {
    int64_t row = offset / 16, col = offset % 16;
    int32_t gap = col >= 8 ? app_state.group_gap : 0;
    app_state.mouse_x = (int32_t)(app_state.hex_panel.x + app_state.panel_pad + col * 20 + gap + 5);
    app_state.mouse_y = (int32_t)(app_state.hex_panel.y + app_state.panel_pad + row * 17 + 5);
}

static void hit_hex(void) {
    hit_test_byte_grid(app_state.hex_panel, app_state.hex_cell_w, app_state.hex_cell_h);
}

class HitTest : public ::testing::Test {
protected:
    fake_window fake;
    void SetUp() override {
        use_fake_window(&fake, 1600, 900, false);
        use_glyph_size(8, 15);
        layout_panels();
        app_state.file.size = 1000;
    }
};

TEST_F(HitTest, GroupGapsAndClampingToTheRow) {
    app_state.mouse_y = app_state.hex_panel.y + app_state.panel_pad + 1;
    app_state.mouse_x = app_state.hex_panel.x + app_state.panel_pad + 170;
    hit_hex();
    EXPECT_EQ(app_state.hover_offset, 8);

    app_state.mouse_x = app_state.hex_panel.x + 2;  // padding left of the first cell
    hit_hex();
    EXPECT_EQ(app_state.hover_offset, 0);

    app_state.mouse_x = app_state.hex_panel.x + app_state.hex_panel.w - 2;
    hit_hex();
    EXPECT_EQ(app_state.hover_offset, 15);

    app_state.scroll_row = 3;
    hit_hex();
    EXPECT_EQ(app_state.hover_offset, 3 * 16 + 15);
}

TEST_F(HitTest, EveryCellOfBothGridsMapsToItsOffset) {
    for (int64_t offset = 0; offset < 64; offset++) {
        point_at_hex_byte(offset);
        hit_hex();
        EXPECT_EQ(app_state.hover_offset, offset);

        int64_t row = offset / 16, col = offset % 16;
        int32_t gap = col >= 8 ? app_state.group_gap : 0;
        app_state.mouse_x = (int32_t)(app_state.text_panel.x + app_state.panel_pad + col * 10 + gap + 3);
        app_state.mouse_y = (int32_t)(app_state.text_panel.y + app_state.panel_pad + row * 17 + 3);
        hit_test_byte_grid(app_state.text_panel, app_state.text_cell_w, app_state.text_cell_h);
        EXPECT_EQ(app_state.hover_offset, offset);
    }
}

TEST_F(HitTest, DragBackwardsSelectsFromThePointerToTheAnchor) {
    input_record* left = input_at(input_index_left_button);
    point_at_hex_byte(100);
    left->state = input_went_down | input_is_down;
    hit_hex();
    EXPECT_EQ(app_state.select_offset, 100);
    EXPECT_EQ(app_state.select_len, 1);

    left->state = input_is_down;
    point_at_hex_byte(90);
    hit_hex();
    EXPECT_EQ(app_state.select_offset, 90);
    EXPECT_EQ(app_state.select_len, 11);

    point_at_hex_byte(103);
    hit_hex();
    EXPECT_EQ(app_state.select_offset, 100);
    EXPECT_EQ(app_state.select_len, 4);

    left->state = 0;  // released: hovering no longer selects
    point_at_hex_byte(7);
    hit_hex();
    EXPECT_EQ(app_state.select_offset, 100);
    EXPECT_EQ(app_state.select_len, 4);
}

TEST_F(HitTest, ClickPastTheEndSelectsTheLastByte) {
    app_state.file.size = 10;
    point_at_hex_byte(48);
    input_at(input_index_left_button)->state = input_went_down | input_is_down;
    hit_hex();
    EXPECT_EQ(app_state.hover_offset, 48);
    EXPECT_EQ(app_state.select_offset, 9);
    EXPECT_EQ(app_state.select_len, 1);
}

TEST_F(HitTest, EmptyFileClampsTheSelectionToMinusOne) {
    app_state.file.size = 0;
    point_at_hex_byte(0);
    hit_hex();
    EXPECT_EQ(app_state.select_offset, -1);
}

// Far down a huge scroll the offset under the pointer stops at the largest
// one; a drag over the whole range keeps a length that fits.
TEST_F(HitTest, OffsetsAndLengthsSaturateFarDown) {
    app_state.file.size = UINT64_MAX;
    struct {
        int64_t scroll_row, byte;
        int64_t expected;
    } cases[] = {
        {INT64_MAX / 16 - 1, 5, INT64_MAX - 15 - 16 + 5},
        {INT64_MAX / 16, 40, INT64_MAX},
        {INT64_MAX, 0, INT64_MAX},
    };
    for (const auto& c : cases) {
        app_state.scroll_row = c.scroll_row;
        point_at_hex_byte(c.byte);
        hit_hex();
        EXPECT_EQ(app_state.hover_offset, c.expected) << c.scroll_row;
    }
    input_begin_frame();
    send_button(os_mouse_left, os_key_state_pressed);
    app_state.scroll_row = 0;
    point_at_hex_byte(0);
    hit_hex();  // pressed at offset 0
    input_begin_frame();
    app_state.scroll_row = INT64_MAX;
    hit_hex();  // held, dragged to the largest offset
    EXPECT_EQ(app_state.select_offset, 0);
    EXPECT_EQ(app_state.select_len, INT64_MAX);
}

TEST_F(HitTest, ShiftClickAndShiftDragExtendFromTheSelectionStart) {
    const struct {
        int64_t offset, length, pressed, dragged_to, expect_offset, expect_length;
    } cases[] = {
        {10, 4, 40, 40, 10, 31},
        {10, 4, 40, 5, 5, 6},
        {50, 1, 20, 20, 20, 31},
        {2000, 1, 7, 7, 7, 993},  // a start past the end is first brought into the file
    };
    input_record* left = input_at(input_index_left_button);
    input_at(input_index_shift)->state = input_is_down;
    for (const auto& c : cases) {
        app_state.select_offset = c.offset;
        app_state.select_len = c.length;
        app_state.select_anchor = 0;
        point_at_hex_byte(c.pressed);
        left->state = input_went_down | input_is_down;
        hit_hex();
        left->state = input_is_down;
        point_at_hex_byte(c.dragged_to);
        hit_hex();
        EXPECT_EQ(app_state.select_offset, c.expect_offset) << c.pressed;
        EXPECT_EQ(app_state.select_len, c.expect_length) << c.pressed;
    }
}
