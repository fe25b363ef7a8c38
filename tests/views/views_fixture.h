// A headless frame loop for the views' tests: a window record with a back
// buffer but no display, the real font, the built-in types and a loaded file.
// The shell's own code lays the panels out and takes the events.
#pragma once

#include <gtest/gtest.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "headless_window.h"
#include "render/pixel_buffer.h"

class ViewsTest : public ::testing::Test {
protected:
    headless_window headless;
    os_window& window = headless.window;
    std::vector<color>& pixels = headless.pixels;

    void SetUp() override { start(1600, 900); }
    void start(int32_t width, int32_t height);
    void load(const std::vector<uint8_t>& bytes);
    void add_types(const std::string& code);

    // One frame as the shell runs it: the edge bits cleared, the events, then the composition.
    void frame();
    void move_to(int32_t x, int32_t y);
    void press();
    void release();
    void click_at(int32_t x, int32_t y);
    // A key pressed and released, with Ctrl held when asked.
    void key(uint16_t key, bool control = false);

    color pixel(int32_t x, int32_t y) const { return pixels[(size_t)y * (size_t)window.width + (size_t)x]; }

    // Top-left of the visible cell of `offset` in a grid (scroll row 0 unless set).
    rect hex_cell(int64_t offset) const;
    rect char_cell(int64_t offset) const;

    // Whether the white glyph pixels in the band of one text line at (x, y)
    // are those that drawing `text` there alone would give.
    bool line_shows(int32_t x, int32_t y, const std::string& text, int32_t width_cells = 0,
                    int32_t spacing = 0) const;

private:
    std::vector<os_event> pending;
    std::vector<uint8_t> file_bytes;
};

// The opaque result of blending a translucent colour over an opaque one,
// by the renderer's truncating rule.
color blend_over(color source, color destination);

void add_placement(uint32_t type_index, uint64_t offset, uint64_t length, uint32_t color);
