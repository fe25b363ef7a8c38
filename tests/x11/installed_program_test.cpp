// What a user sees of the program as installed: its types from types.c, standard
// input as its file, and a scaled window that is the plain one enlarged.
#include "x11_harness.h"

namespace {

enum : int32_t { small_width = 640, small_height = 360 };

class InstalledProgramTest : public ProgramTest {
protected:
    std::vector<uint32_t> grab(int32_t w, int32_t h) {
        std::vector<uint32_t> pixels;
        XImage* image = XGetImage(display, window, 0, 0, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
        if (!image) return pixels;
        for (int32_t y = 0; y < h; y++)
            for (int32_t x = 0; x < w; x++) pixels.push_back((uint32_t)XGetPixel(image, x, y) & 0xFFFFFF);
        XDestroyImage(image);
        return pixels;
    }

    // Whether the text shows in white anywhere in the block (0, 0, w, h): the type buttons' labels.
    bool finds_white_text(int32_t w, int32_t h, const std::string& text) {
        std::vector<uint32_t> pixels = grab(w, h);
        int32_t tw = (int32_t)text.size() * font.glyph_w, th = line_height;
        std::vector<uint8_t> ink = text_ink(font, text, tw, th);
        for (int32_t y = 0; !pixels.empty() && y + th <= h; y++)
            for (int32_t x = 0; x + tw <= w; x++) {
                bool same = true;
                for (int32_t py = 0; py < th && same; py++)
                    for (int32_t px = 0; px < tw && same; px++)
                        same = (pixels[(size_t)(y + py) * w + x + px] == 0xFFFFFF) == (ink[(size_t)py * tw + px] != 0);
                if (same) return true;
            }
        return false;
    }
};

// Piped bytes are read whole and named as standard input; the types' buttons come from types.c.
TEST_F(InstalledProgramTest, StandardInputIsReadWholeAndTypesFromTypesFileAreOffered) {
    std::vector<uint8_t> bytes(200000, 0x5A);
    standard_input = write_temp_file("piped.bin", bytes.data(), bytes.size());
    start({"-"});
    EXPECT_TRUE(wait_until([&] { return status_shows_size(200000); }));
    EXPECT_TRUE(shows_text(status_x, status_line_2_y - line_height, "(standard input)"));
    EXPECT_TRUE(wait_until([&] { return finds_white_text(1280, 400, "BmpFile"); })) << "no BmpFile button";
}

// The byte clicked at scale 2 is the one clicked at the same place at scale 1,
// and the two frames agree pixel for pixel once the first is doubled. The
// pointer leaves after each click, so the frames show no hover.
TEST_F(InstalledProgramTest, ScaleTwoIsScaleOneDoubledAndClicksLandOnTheSameByte) {
    std::vector<uint8_t> bytes(4321);
    for (size_t i = 0; i < bytes.size(); i++) bytes[i] = (uint8_t)(i * 13);
    std::string path = write_temp_file("scaled.bin", bytes.data(), bytes.size());
    std::vector<uint32_t> plain;
    for (int32_t s : {1, 2}) {
        start(s == 1 ? std::vector<std::string>{path} : std::vector<std::string>{"--scale", "2", path});
        int32_t x = hex_panel_x + panel_pad + 5 * cell_w + cell_w / 2, y = panel_top + panel_pad + 2 * cell_h + cell_h / 2;
        XMoveResizeWindow(display, window, 0, 0, small_width * s, small_height * s);
        XSync(display, False);
        click(s * x + s - 1, s * y + s - 1);
        ASSERT_TRUE(
            wait_until([&] { return shows_text(status_x, status_line_2_y, "Filesize: 4321 | Select: 37,1 |", s); }))
            << "the click at scale " << s << " did not select byte 37";
        move_to(s * small_width + 100, s * small_height + 100);
        ASSERT_TRUE(wait_until(
            [&] { return shows_text(status_x, status_line_2_y, "Filesize: 4321 | Select: 37,1 | Hover: -1,1", s); }));
        if (s == 1) {
            plain = grab(small_width, small_height);
            stop();
        }
    }
    EXPECT_TRUE(wait_until([&] {
        std::vector<uint32_t> big = grab(2 * small_width, 2 * small_height);
        for (size_t i = 0; i < big.size(); i++)
            if (big[i] != plain[i / (4 * small_width) * small_width + i % (2 * small_width) / 2]) return false;
        return !big.empty();
    })) << "the scale-2 frame is not the scale-1 frame doubled";
}

}  // namespace
