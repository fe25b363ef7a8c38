// Whole frames: outlines and the drop hint, the status line, hover from the pointer.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "app/app.h"
#include "app_test_support.h"
#include "render/font.h"
#include "types/type_table.h"

enum : color { background = 0xff111111, outline = 0xff555555 };

static color pixel_at(const fake_window& fake, int32_t x, int32_t y) {
    return fake.pixels[(size_t)y * (size_t)fake.window.width + (size_t)x];
}

class ComposeFrame : public ::testing::Test {
protected:
    fake_window fake;
    void SetUp() override {
        use_fake_window(&fake, 1280, 720, true);
        ASSERT_TRUE(build_glyph_atlas(&app_state.font, embedded_mono_png, embedded_mono_png_size));
        ASSERT_TRUE(text_buffer_create(&app_state.text, 10000));
        layout_panels();
    }
};

TEST_F(ComposeFrame, EmptyWindowShowsOutlinesAndTheDropHint) {
    compose_frame();
    EXPECT_EQ(pixel_at(fake, 0, 0), background);
    EXPECT_EQ(pixel_at(fake, 1279, 719), background);
    for (const rect& panel : {app_state.text_panel, app_state.hex_panel, app_state.inspect_panel,
                              app_state.struct_panel}) {
        EXPECT_EQ(pixel_at(fake, panel.x, panel.y), outline);
        EXPECT_EQ(pixel_at(fake, panel.x + panel.w - 1, panel.y + panel.h / 2), outline);
        EXPECT_EQ(pixel_at(fake, panel.x + panel.w / 2, panel.y + panel.h - 1), outline);
        EXPECT_EQ(pixel_at(fake, panel.x + 1, panel.y + 1), background);
    }

    int32_t x0 = app_state.hex_panel.x + app_state.margin;
    int32_t y0 = app_state.hex_panel.y + app_state.margin;
    int lit = 0;
    for (int32_t y = y0; y < y0 + app_state.font.glyph_h; y++)
        for (int32_t x = x0; x < x0 + 37 * app_state.font.glyph_w; x++)
            if (pixel_at(fake, x, y) != background) lit++;
    EXPECT_GT(lit, 37);
    // No status bar without a file.
    for (int32_t x = 0; x < 400; x++) EXPECT_EQ(pixel_at(fake, x, 15), background);
}

TEST_F(ComposeFrame, StatusLineDescribesFileSelectionAndHover) {
    register_builtin_types();
    std::vector<uint8_t> bytes(1025, 0x41);
    app_state.file.size = 1024;
    app_state.file.data = bytes.data();
    char path[] = "/tmp/sample.bin";
    app_state.file_path = path;
    app_state.file_path_len = (uint32_t)strlen(path);
    app_state.select_offset = 16;
    app_state.select_len = 4;
    app_state.mouse_x = 5;  // left of every panel
    app_state.mouse_y = 500;
    app_state.hover_len = 7;

    compose_frame();
    EXPECT_EQ(std::string(app_state.text.data, app_state.text.length),
              "Filesize: 1024 | Select: 16,4 | Hover: -1,1");
    int lit = 0;
    int32_t path_y = app_state.hex_panel.y - 2 * app_state.font.glyph_h;
    for (int32_t y = path_y; y < path_y + app_state.font.glyph_h; y++)
        for (int32_t x = app_state.margin; x < app_state.margin + 100; x++)
            if (pixel_at(fake, x, y) != background) lit++;
    EXPECT_GT(lit, 0);
    app_state.file = file_contents{};
    app_state.file_path = nullptr;
}

TEST_F(ComposeFrame, PointerOverTheHexGridHovers) {
    register_builtin_types();
    std::vector<uint8_t> bytes(65, 0);
    app_state.file.size = 64;
    app_state.file.data = bytes.data();
    app_state.mouse_x = app_state.hex_panel.x + app_state.panel_pad + 1;
    app_state.mouse_y = app_state.hex_panel.y + app_state.panel_pad + app_state.hex_cell_h + 1;
    compose_frame();
    EXPECT_EQ(app_state.hover_offset, 16);
    app_state.file = file_contents{};
}

// F1 covers the panels with the key list and swallows other keys; F1, Escape
// or a click closes it and the frame is the one from before, pixel for pixel.
TEST_F(ComposeFrame, KeyListComesAndGoesLeavingThePictureAsItWas) {
    std::vector<uint8_t> bytes(4096, 0x41);
    app_state.file.size = bytes.size();
    app_state.file.data = bytes.data();
    compose_frame();
    std::vector<color> before = fake.pixels;
    for (void (*close)(void) : {+[] { send_key(os_key_f1); }, +[] { send_key(os_key_escape); }, +[] { send_click(); }}) {
        send_key(os_key_f1);
        send_key(os_key_down);
        compose_frame();
        EXPECT_EQ(app_state.select_offset, 0) << "a key acted under the list";
        rect inside = app_state.hex_panel;
        EXPECT_NE(pixel_at(fake, inside.x + 3, inside.y + 3), before[(size_t)(inside.y + 3) * 1280 + inside.x + 3]);
        close();
        compose_frame();
        EXPECT_TRUE(before == fake.pixels);
    }
    app_state.file.data = nullptr;
}
