// What a user sees of the program as installed: its types from types.c, standard
// input as its file, and a scaled window that is the plain one enlarged.
#include "x11_harness.h"

namespace {

enum : int32_t { small_width = 640, small_height = 360, scale = 2 };

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

    // The program at a size and a scale, with its window at the screen's corner.
    void start_at(const std::vector<std::string>& arguments, int32_t factor) {
        start(arguments);
        XMoveResizeWindow(display, window, 0, 0, small_width * factor, small_height * factor);
        XSync(display, False);
    }
};

TEST_F(InstalledProgramTest, TypesFromTypesFileAreOffered) {
    std::vector<uint8_t> bytes(100, 0x42);
    start({write_temp_file("types.bin", bytes.data(), bytes.size())});
    ASSERT_TRUE(wait_until([&] { return status_shows_size(100); }));
    EXPECT_TRUE(wait_until([&] { return finds_white_text(1280, 400, "BmpFile"); })) << "no BmpFile button";
}

TEST_F(InstalledProgramTest, StandardInputIsReadWhole) {
    std::vector<uint8_t> bytes(200000, 0x5A);
    standard_input = write_temp_file("piped.bin", bytes.data(), bytes.size());
    start({"-"});
    EXPECT_TRUE(wait_until([&] { return status_shows_size(200000); }));
    EXPECT_TRUE(shows_text(status_x, status_line_2_y - line_height, "(standard input)"));
}

// The byte clicked at scale 2 is the one clicked at the same place at scale 1,
// and the two frames agree pixel for pixel once the first is doubled. The
// pointer leaves after each click, so the frames show no hover and the last is final.
TEST_F(InstalledProgramTest, ScaleTwoIsScaleOneDoubledAndClicksLandOnTheSameByte) {
    std::vector<uint8_t> bytes(4321);
    for (size_t i = 0; i < bytes.size(); i++) bytes[i] = (uint8_t)(i * 13);
    std::string path = write_temp_file("scaled.bin", bytes.data(), bytes.size());
    int32_t x = hex_panel_x + panel_pad + 5 * cell_w + cell_w / 2, y = panel_top + panel_pad + 2 * cell_h + cell_h / 2;

    start_at({path}, 1);
    click(x, y);
    ASSERT_TRUE(wait_until([&] { return shows_text(status_x, status_line_2_y, "Filesize: 4321 | Select: 37,1 |"); }))
        << "the click at scale 1 did not select byte 37";
    move_to(small_width + 100, small_height + 100);
    ASSERT_TRUE(wait_until(
        [&] { return shows_text(status_x, status_line_2_y, "Filesize: 4321 | Select: 37,1 | Hover: -1,1"); }));
    std::vector<uint32_t> plain = grab(small_width, small_height);
    stop();

    start_at({"--scale", "2", path}, scale);
    click(scale * x + 1, scale * y + 1);
    ASSERT_TRUE(
        wait_until([&] { return shows_text(status_x, status_line_2_y, "Filesize: 4321 | Select: 37,1 |", scale); }))
        << "the click at scale 2 did not select byte 37";
    move_to(scale * small_width + 100, scale * small_height + 100);
    std::vector<uint32_t> doubled;
    bool same = wait_until([&] {
        std::vector<uint32_t> big = grab(small_width * scale, small_height * scale);
        if (big.empty()) return false;
        doubled.assign(plain.size(), 0);
        for (int32_t py = 0; py < small_height * scale; py++)
            for (int32_t px = 0; px < small_width * scale; px++) {
                uint32_t& at = doubled[(size_t)(py / scale) * small_width + px / scale];
                uint32_t pixel = big[(size_t)py * small_width * scale + px];
                // A block that is not one colour cannot match any pixel of the plain frame.
                at = (px % scale || py % scale) && at != pixel ? 0xFF000000u : pixel;
            }
        return doubled == plain;
    });
    EXPECT_TRUE(same) << "the scale-2 frame is not the scale-1 frame doubled";
}

}  // namespace
