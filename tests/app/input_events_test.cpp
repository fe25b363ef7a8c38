// The event callback: input records and their edges, pointer and wheel, keyboard commands.
#include <gtest/gtest.h>

#include "app/app.h"
#include "app_test_support.h"
#include "types/growable_array.h"
#include "types/type_table.h"


static void press(uint16_t key) { send_key(key, os_key_state_pressed); }

static void send_wheel(int32_t step) {
    os_event event = {};
    event.kind = os_event_mouse_wheel;
    event.wheel = step;
    app_on_event(&event);
}

class InputEvents : public ::testing::Test {
protected:
    fake_window fake;
    void SetUp() override {
        use_fake_window(&fake, 1600, 900, false);
        app_state.bytes_per_row = 16;
        app_state.visible_rows = 32;
        app_state.file.size = 1000;
    }
};

TEST_F(InputEvents, QuickClickKeepsBothEdgesForTheFrame) {
    input_begin_frame();
    send_click();
    uint8_t state = input_at(input_index_left_button)->state;
    EXPECT_TRUE(state & input_went_down);
    EXPECT_TRUE(state & input_went_up);
    EXPECT_FALSE(state & input_is_down);
    input_begin_frame();
    EXPECT_EQ(input_at(input_index_left_button)->state, 0);
}

TEST_F(InputEvents, RepeatSetsRepeatedAndBeginFrameClearsOnlyEdges) {
    input_begin_frame();
    press(os_key_a);
    send_key(os_key_a, os_key_state_repeated);
    uint8_t state = input_at(os_key_a)->state;
    EXPECT_TRUE(state & input_went_down);
    EXPECT_TRUE(state & input_repeated);
    EXPECT_TRUE(state & input_is_down);
    input_begin_frame();
    EXPECT_EQ(input_at(os_key_a)->state, input_is_down);
    EXPECT_EQ(app_state.changed_buttons.count, 0);
}

TEST_F(InputEvents, PointerAndWheelRecordsAndClientPosition) {
    fake.window.client_x = 100;
    fake.window.client_y = 50;
    os_event move = {};
    move.kind = os_event_mouse_move;
    move.x = 90;  // left of the client area while the mouse is captured
    move.y = 300;
    app_on_event(&move);
    EXPECT_EQ(app_state.mouse_x, -10);
    EXPECT_EQ(app_state.mouse_y, 250);
    EXPECT_EQ(input_at(input_index_pointer)->x, 90);
    EXPECT_TRUE(input_at(input_index_pointer)->state & input_went_down);
    send_wheel(-1);
    EXPECT_EQ(input_at(input_index_wheel)->y, -1);
    EXPECT_EQ(app_state.changed_pointer.count, 2);
    input_begin_frame();
    EXPECT_EQ(input_at(input_index_pointer)->state, 0);
    EXPECT_EQ(input_at(input_index_wheel)->state, 0);
}

TEST_F(InputEvents, ArrowKeysMoveAndClampTheSelection) {
    press(os_key_shift);
    press(os_key_left);
    EXPECT_EQ(app_state.select_len, 1);
    press(os_key_right);
    press(os_key_right);
    EXPECT_EQ(app_state.select_len, 3);
    send_key(os_key_shift, os_key_state_released);

    app_state.select_offset = 5;
    press(os_key_up);
    EXPECT_EQ(app_state.select_offset, 0);
    press(os_key_left);
    EXPECT_EQ(app_state.select_offset, 0);

    app_state.select_offset = 990;
    press(os_key_down);
    EXPECT_EQ(app_state.select_offset, 999);
    send_key(os_key_right, os_key_state_repeated);
    EXPECT_EQ(app_state.select_offset, 999);
    send_key(os_key_left, os_key_state_released);  // releases do nothing
    EXPECT_EQ(app_state.select_offset, 999);

    app_state.file.size = 0;
    press(os_key_right);
    EXPECT_EQ(app_state.select_offset, -1);
}

TEST_F(InputEvents, EndHomeAndPages) {
    press(os_key_end);
    EXPECT_EQ(app_state.scroll_row, 31);
    press(os_key_home);
    EXPECT_EQ(app_state.scroll_row, 0);
    app_state.file.size = 100;
    press(os_key_end);
    EXPECT_EQ(app_state.scroll_row, 0);

    press(os_key_page_up);
    EXPECT_EQ(app_state.scroll_row, -32);
    send_wheel(-1);
    EXPECT_EQ(app_state.scroll_row, 0);

    press(os_key_shift);
    press(34);  // Page Down
    EXPECT_EQ(app_state.scroll_row, 320);
}

TEST_F(InputEvents, WheelScrollsAThirdOfThePage) {
    send_wheel(-1);
    EXPECT_EQ(app_state.scroll_row, 10);
    send_wheel(1);
    EXPECT_EQ(app_state.scroll_row, 0);
    send_wheel(1);
    EXPECT_EQ(app_state.scroll_row, 0);
    press(os_key_shift);
    send_wheel(-1);
    EXPECT_EQ(app_state.scroll_row, 106);
}

TEST_F(InputEvents, DeleteRemovesTheFirstContainingPlacement) {
    ASSERT_TRUE(array_create(&app_state.placements, 4, sizeof(placement)));
    const placement laid[] = {
        {1, 0, 0, 0},    // empty: contains nothing, even at offset 0
        {2, 0, 4, 0},
        {3, 10, 8, 0},
        {4, 12, 2, 0},
        {5, 20, 4, 0},
    };
    for (const placement& p : laid) array_append(&app_state.placements, sizeof(placement), &p);

    app_state.select_offset = 12;
    press(os_key_delete);
    const placement* items = (const placement*)app_state.placements.items;
    ASSERT_EQ(app_state.placements.count, 4);
    EXPECT_EQ(items[0].type_index, 1u);
    EXPECT_EQ(items[1].type_index, 2u);
    EXPECT_EQ(items[2].type_index, 4u);
    EXPECT_EQ(items[3].type_index, 5u);

    app_state.select_offset = 2;
    press(os_key_delete);
    ASSERT_EQ(app_state.placements.count, 3);
    EXPECT_EQ(items[1].type_index, 4u);

    app_state.select_offset = 30;
    press(os_key_delete);
    EXPECT_EQ(app_state.placements.count, 3);
}

// Keys and the wheel near the ends of the 64-bit range stop there instead of
// wrapping round (the sanitizer build also checks that no step overflows).
TEST_F(InputEvents, StepsSaturateAtTheEndsOfTheRange) {
    struct {
        uint16_t key;  // 0: the wheel, by `wheel`
        int32_t wheel;
        bool shift;
        int64_t select_offset, scroll_row, visible_rows;
        int64_t expected_select, expected_scroll;
    } cases[] = {
        {os_key_down, 0, false, INT64_MAX - 3, 0, 32, INT64_MAX, 0},
        {os_key_right, 0, false, INT64_MAX, 0, 32, INT64_MAX, 0},
        {os_key_up, 0, false, 3, 0, 32, 0, 0},
        {os_key_left, 0, false, 0, 0, 32, 0, 0},
        {os_key_page_down, 0, false, 0, INT64_MAX - 5, 32, 0, INT64_MAX},
        {os_key_page_down, 0, true, 0, 7, INT64_MAX / 2, 0, INT64_MAX},
        {os_key_page_up, 0, false, 0, INT64_MIN + 5, 32, 0, INT64_MIN},
        {0, -1, false, 0, INT64_MAX, 32, 0, INT64_MAX},
        {0, -1, true, 0, INT64_MAX - 100, INT64_MAX / 4, 0, INT64_MAX},
        {0, 1, true, 0, 5, INT64_MAX / 4, 0, 0},
        {0, 1, false, 0, 40, 32, 0, 29},
    };
    for (const auto& c : cases) {
        app_state.file.size = UINT64_MAX;
        app_state.select_offset = c.select_offset;
        app_state.scroll_row = c.scroll_row;
        app_state.visible_rows = c.visible_rows;
        if (c.shift) press(os_key_shift);
        if (c.key) press(c.key);
        else send_wheel(c.wheel);
        if (c.shift) send_key(os_key_shift, os_key_state_released);
        EXPECT_EQ(app_state.select_offset, c.expected_select) << "key " << c.key << " wheel " << c.wheel;
        EXPECT_EQ(app_state.scroll_row, c.expected_scroll) << "key " << c.key << " wheel " << c.wheel;
    }
}
