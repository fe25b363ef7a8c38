// Small PNGs built in memory, and the test font cut from them.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "render/font.h"
#include "render/pixel_buffer.h"
#include "test_canvas.h"

// An RGBA image, 4 bytes per pixel, R G B A.
struct test_image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    void set(int x, int y, uint32_t r_g_b_a);  // 0xRRGGBBAA
};

test_image make_image(int width, int height);
// Encodes as a PNG with stored (uncompressed) deflate blocks; depth 8 or 16.
// At depth 16 each channel's low byte is 0x5a, which decoding must drop.
std::vector<uint8_t> encode_png(const test_image& image, int depth = 8);

// The colour a test-image pixel 0xRRGGBBAA lands as in a pixel buffer.
color as_buffer_color(uint32_t r_g_b_a);

// A 128 x 256 font image (8 x 16 cells) with a few known glyphs:
//   'A': columns 0..6, rows 2..12 of its cell, colour font_red
//   'B': columns 2..5, rows 3..5, colour font_green
//   0:   one pixel at column 3, row 7, colour font_blue
//   0xe9: columns 1..5, rows 4..6, colour font_red
// everything else empty.
enum : uint32_t {
    font_red = 0xff2010ff,
    font_green = 0x20ff10ff,
    font_blue = 0x1020ffff,
};
test_image make_test_font_image(void);
// The font the render tests draw with.
extern glyph_atlas test_font;
// Builds test_font from the test image; false when it fails.
bool load_test_font(void);
// Frees an atlas's blocks and zeroes it.
void free_font(glyph_atlas* atlas);
// Builds test_font from the committed render/mono.png.
bool load_real_font(void);
