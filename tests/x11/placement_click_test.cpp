// Clicking a byte and then a type button in the real program's window places
// that type at the byte, and the structure view shows its value.
#include "x11_harness.h"

#include <X11/extensions/XTest.h>

namespace {

class PlacementClickTest : public ProgramTest {
protected:
    int32_t button_w(const std::string& label) { return glyph_w * (int32_t)label.size() + 16; }
    // Like shows_text, for lines whose background is banded: ink is exactly the white pixels.
    bool shows_white_text(int32_t x, int32_t y, const std::string& text) {
        int32_t w = (int32_t)text.size() * font.glyph_w, h = line_height;
        XImage* image = XGetImage(display, window, x, y, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
        if (!image) return false;
        std::vector<uint8_t> expected = text_ink(font, text, w, h);
        bool same = true;
        for (int32_t py = 0; py < h && same; py++)
            for (int32_t px = 0; px < w && same; px++)
                same = ((XGetPixel(image, px, py) & 0xffffff) == 0xffffff) == (expected[(size_t)py * w + px] != 0);
        XDestroyImage(image);
        return same;
    }
};

TEST_F(PlacementClickTest, ClickedByteThenU32ButtonShowsThePlacedValue) {
    int event_base = 0, error_base = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &event_base, &error_base, &major, &minor)) SKIP_OR_FAIL_UNDER_CI("no XTEST");

    std::vector<uint8_t> bytes(64, 0);
    const uint32_t value = 0x12345678;
    for (int i = 0; i < 4; i++) bytes[4 + i] = (uint8_t)(value >> (8 * i));
    std::string path = write_temp_file("placement.bin", bytes.data(), bytes.size());
    start({path});
    ASSERT_TRUE(wait_until([&] { return status_shows_size(64); })) << "the file was not loaded";

    click(hex_panel_x + panel_pad + 4 * cell_w + cell_w / 2, panel_top + panel_pad + cell_h / 2);
    ASSERT_TRUE(wait_until([&] { return shows_text(status_x, status_line_2_y, "Filesize: 64 | Select: 4,1 |"); }))
        << "the status bar does not read Select: 4,1";

    int32_t u32_x = struct_text_x + button_w("u8") + button_gap + button_w("u16") + button_gap;
    int32_t type_button_row_y = first_button_row_y + button_h + button_gap;
    move_to(u32_x + button_w("u32") / 2, type_button_row_y + button_h / 2);
    ASSERT_TRUE(wait_until([&] { return shows_text(status_x, status_line_2_y, "Filesize: 64 | Select: 4,1 | Hover: 4,4"); }))
        << "the u32 button is not under the pointer";
    press_and_release();
    // No further input: the program must show the click's result by itself.
    EXPECT_TRUE(wait_until([&] { return shows_white_text(struct_text_x, 35, "u32 = 305419896"); }))
        << "the structure view does not show the placed u32";
    EXPECT_TRUE(shows_white_text(struct_text_x, 20, "At offset 4:"));
    EXPECT_FALSE(shows_white_text(struct_text_x, 35, "u32 = 305419897"));
}

}  // namespace
