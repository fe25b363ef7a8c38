// The overview and the measure in the real program's window: hovering the
// position bar's track names the bytes there, and Ctrl+I measures the
// selection, both in the answer line.
#include "x11_harness.h"

#include <X11/keysym.h>

#include "stb_sprintf.h"

namespace {

enum : int32_t { bar_inset = 3 };

using OverviewTest = ProgramTest;

TEST_F(OverviewTest, HoveringTheTrackNamesTheBytesAndControlIMeasures) {
    const uint64_t quarter = 1 << 20, size = 4 * quarter;
    std::vector<uint8_t> bytes(size, 0);
    memset(&bytes[quarter], 0xff, quarter);
    for (uint64_t i = 2 * quarter; i < 3 * quarter; i++) bytes[i] = "Some text, line after line.\n"[i % 28];
    for (uint64_t i = 3 * quarter, x = 1; i < size; i++) bytes[i] = (uint8_t)((x = x * 6364136223846793005u + 1) >> 56);
    std::string path = write_temp_file("overview.bin", bytes.data(), bytes.size());
    start({path});
    ASSERT_TRUE(wait_until([&] { return status_shows_size(size); })) << "the file was not loaded";
    int32_t track_x = hex_panel_x + hex_panel_w - panel_pad + bar_inset, track_y = panel_top + panel_pad;
    int32_t track_h = visible_rows * cell_h;

    const char* kinds[] = {"all zero", "all 0xFF", "mostly text (", "high entropy ("};
    for (int q = 0; q < 4; q++) {
        int32_t row = track_h * (2 * q + 1) / 8;
        char line[128];
        stbsp_snprintf(line, sizeof line, "0x%08llX-0x%08llX: %s", (unsigned long long)(size * row / track_h),
                       (unsigned long long)(size * (row + 1) / track_h - 1), kinds[q]);
        move_to(track_x + 1, track_y + row);
        EXPECT_TRUE(wait_until([&] { return shows_text(status_x, status_line_1_y, line); })) << line;
    }
    move_to(hex_panel_x + 40, track_y + 40);
    EXPECT_TRUE(wait_until([&] { return shows_text(status_x, status_line_1_y, path); }));

    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    for (auto [keysym, down] : {std::pair{XK_Control_L, True}, {XK_i, True}, {XK_i, False}, {XK_Control_L, False}})
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), down, CurrentTime);
    XSync(display, False);
    EXPECT_TRUE(wait_until([&] {
        return shows_text(status_x, status_line_1_y,
                          "1 byte | CRC-32 D202EF8D | SHA-256 6e340b...a01d | entropy 0.00");
    }));
}

}  // namespace
