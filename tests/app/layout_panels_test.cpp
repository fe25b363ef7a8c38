// The panel layout for narrow and wide windows.
#include <gtest/gtest.h>

#include "app/app.h"
#include "app_test_support.h"

static void expect_rect(rect actual, int32_t x, int32_t y, int32_t w, int32_t h) {
    EXPECT_EQ(actual.x, x);
    EXPECT_EQ(actual.y, y);
    EXPECT_EQ(actual.w, w);
    EXPECT_EQ(actual.h, h);
}

TEST(LayoutPanels, PanelsAndMetricsFor1600By900) {
    fake_window fake;
    use_fake_window(&fake, 1600, 900, false);
    use_glyph_size(8, 15);
    layout_panels();
    EXPECT_EQ(app_state.bytes_per_row, 16);
    EXPECT_EQ(app_state.line_height, 11);
    EXPECT_EQ(app_state.text_cell_w, 10);
    EXPECT_EQ(app_state.text_cell_h, 17);
    EXPECT_EQ(app_state.hex_cell_w, 20);
    EXPECT_EQ(app_state.hex_cell_h, 17);
    EXPECT_EQ(app_state.visible_rows, 49);
    expect_rect(app_state.text_panel, 10, 40, 184, 853);
    expect_rect(app_state.hex_panel, 204, 40, 344, 853);
    expect_rect(app_state.inspect_panel, 558, 40, 244, 853);
    expect_rect(app_state.struct_panel, 812, 10, 778, 880);
}

TEST(LayoutPanels, ThirtyTwoBytesPerRowFrom1920Pixels) {
    fake_window fake;
    use_fake_window(&fake, 1919, 900, false);
    use_glyph_size(8, 15);
    layout_panels();
    EXPECT_EQ(app_state.bytes_per_row, 16);
    EXPECT_EQ(app_state.text_panel.w, 10 * 16 + 4 + 20);

    fake.window.width = 1920;
    layout_panels();
    EXPECT_EQ(app_state.bytes_per_row, 32);
    EXPECT_EQ(app_state.text_panel.w, 10 * 32 + 3 * 4 + 20);
    EXPECT_EQ(app_state.hex_panel.w, 20 * 32 + 3 * 4 + 20);
}
