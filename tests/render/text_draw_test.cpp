// Text drawing and measuring: lines, UTF-8, clipping, image alpha and faded glyphs.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "render/font.h"
#include "render_fixtures.h"

static const color background = 0xff111111;

class TextDraw : public ::testing::Test {
protected:
    void SetUp() override {
        free_font(&test_font);
        ASSERT_TRUE(load_test_font());
    }
};

static int count_color(test_canvas& canvas, color value) {
    int n = 0;
    for (color c : canvas.pixels()) n += c == value;
    return n;
}

TEST_F(TextDraw, NewlineReturnsToTheStartOneLineLower) {
    test_canvas canvas(64, 64, background);
    draw_text(&canvas.list, &test_font, rect{10, 20, 0, 0}, 3, "A\nB");
    color red = as_buffer_color(font_red), green = as_buffer_color(font_green);
    EXPECT_EQ(canvas.at(10, 22), red);
    EXPECT_EQ(canvas.at(16, 32), red);
    EXPECT_EQ(count_color(canvas, red), 7 * 11);
    // B is 4 wide in a 7-wide cell: one pixel right of the pen, 3 rows down.
    EXPECT_EQ(canvas.at(10, 38), background);
    EXPECT_EQ(canvas.at(11, 35 + 3), green);
    EXPECT_EQ(canvas.at(14, 35 + 5), green);
    EXPECT_EQ(count_color(canvas, green), 4 * 3);

    text_extent size = measure_text(&test_font, rect{10, 20, 0, 0}, 3, "A\nB");
    EXPECT_EQ(size.w, 7);
    EXPECT_EQ(size.h, 30);
}

TEST_F(TextDraw, MeasureCountsCellsSpacingAndLines) {
    EXPECT_EQ(measure_text(&test_font, rect{}, 0, "").w, 0);
    EXPECT_EQ(measure_text(&test_font, rect{}, 0, "").h, 15);
    EXPECT_EQ(measure_text(&test_font, rect{}, 5, "AB\nAB").w, 14);  // the "A" after the newline is cut off
    EXPECT_EQ(measure_text(&test_font, rect{}, 6, "AB\nABC").w, 21);
    test_font.spacing = 1;
    EXPECT_EQ(measure_text(&test_font, rect{100, 0, 0, 0}, 2, "  ").w, 16);
}

TEST_F(TextDraw, TwoByteCharacterShowsItsGlyphThenGlyphZero) {
    test_canvas canvas(32, 16, background);
    draw_text(&canvas.list, &test_font, rect{0, 0, 0, 0}, 2, "\xc3\xa9");
    color red = as_buffer_color(font_red), blue = as_buffer_color(font_blue);
    EXPECT_EQ(canvas.at(1, 4), red);  // 5 wide, centred in 7
    EXPECT_EQ(count_color(canvas, red), 5 * 3);
    EXPECT_EQ(canvas.at(7 + 3, 7), blue);
    EXPECT_EQ(count_color(canvas, blue), 1);
}

TEST_F(TextDraw, CharactersBeyondTheFontAndNulShowGlyphZero) {
    test_canvas canvas(64, 16, background);
    draw_text(&canvas.list, &test_font, rect{0, 0, 0, 0}, 4, "\xe2\x82\xac\0");
    color blue = as_buffer_color(font_blue);
    for (int cell = 0; cell < 4; ++cell) EXPECT_EQ(canvas.at(cell * 7 + 3, 7), blue);
    EXPECT_EQ(count_color(canvas, blue), 4);
}

TEST_F(TextDraw, LeadByteAtTheEndReadsNothingBeyondTheText) {
    test_canvas canvas(32, 16, background);
    for (uint8_t lead : {0xc3, 0xe2, 0xf0}) {
        std::unique_ptr<char[]> text(new char[2]);
        text[0] = 'A';
        text[1] = (char)lead;
        draw_text(&canvas.list, &test_font, rect{0, 0, 0, 0}, 2, text.get());
        EXPECT_EQ(measure_text(&test_font, rect{}, 2, text.get()).w, 14);
        utf8_decoded d = decode_utf8((const uint8_t*)text.get() + 1, 1);
        EXPECT_EQ(d.length, lead == 0xc3 ? 2u : lead == 0xe2 ? 3u : 4u);
    }
    EXPECT_EQ(decode_utf8((const uint8_t*)"\xc3", 1).code_point, 0xc0u);
    // 0xc0 0x8a is an overlong newline; without its second byte it is not.
    EXPECT_EQ(measure_text(&test_font, rect{}, 2, "\xc0\x8a").h, 30);
    std::unique_ptr<char[]> text(new char[1]);
    text[0] = (char)0xc0;
    EXPECT_EQ(measure_text(&test_font, rect{}, 1, text.get()).h, 15);
}

TEST(Utf8, DecodesEachLeadByteKind) {
    struct { const char* bytes; uint64_t size; uint32_t code_point, length; } cases[] = {
        {"\x00", 1, 0, 1},
        {"A", 1, 'A', 1},
        {"\x80", 1, 0xfffd, 1},
        {"\xc3\xa9", 2, 0xe9, 2},
        {"\xe2\x82\xac", 3, 0x20ac, 3},
        {"\xf0\x9f\x98\x80", 4, 0x1f600, 4},
        {"\xf8", 1, 0xfffd, 1},
        {"\xc2\x0a", 2, 0x8a, 2},  // continuation bytes are not checked
    };
    for (auto& c : cases) {
        utf8_decoded d = decode_utf8((const uint8_t*)c.bytes, c.size);
        EXPECT_EQ(d.code_point, c.code_point) << c.bytes;
        EXPECT_EQ(d.length, c.length) << c.bytes;
    }
}

TEST_F(TextDraw, GlyphsAreClippedAtTheBufferEdgesNotWrapped) {
    test_canvas canvas(10, 12, background);
    draw_text(&canvas.list, &test_font, rect{-3, -4, 0, 0}, 3, "AAA");
    color red = as_buffer_color(font_red);
    // The glyphs' top rows start at -2; the first A keeps columns 0..3, the
    // second covers 4..9 and loses one; the third lies wholly outside.
    EXPECT_EQ(canvas.at(0, 0), red);
    EXPECT_EQ(canvas.at(9, 8), red);
    EXPECT_EQ(canvas.at(0, 9), background);
    EXPECT_EQ(count_color(canvas, red), 10 * 9);
}

TEST_F(TextDraw, EmptyFontOrNoBufferDrawsNothing) {
    test_canvas canvas(16, 16, background);
    draw_text(nullptr, &test_font, rect{}, 1, "A");
    draw_text(&canvas.list, &test_font, rect{}, 0, "A");
    free_font(&test_font);
    draw_text(&canvas.list, &test_font, rect{}, 3, "A\xc3\xa9");
    EXPECT_EQ(canvas.count_not(background), 0);
    EXPECT_EQ(measure_text(&test_font, rect{}, 3, "ABC").w, 0);
    draw_text(&canvas.list, nullptr, rect{}, 1, "A");
    EXPECT_EQ(canvas.count_not(background), 0);
    EXPECT_EQ(measure_text(nullptr, rect{}, 3, "A\nB").w, 0);
    EXPECT_EQ(measure_text(nullptr, rect{}, 3, "A\nB").h, 0);
}

TEST_F(TextDraw, BlitsFollowTheImageAlpha) {
    test_image image = make_image(16, 16);
    image.set(0, 0, 0xffffff88);  // soft edge
    image.set(1, 0, 0xffffffff);
    std::vector<uint8_t> png = encode_png(image);
    glyph_atlas soft;
    ASSERT_TRUE(build_glyph_atlas(&soft, png.data(), png.size()));
    test_canvas canvas(4, 2, background);
    blit_image(&canvas.list, &soft, rect{0, 0, 3, 2}, 1, 0);
    EXPECT_EQ(canvas.at(1, 0), 0xff8f8f8fu);
    EXPECT_EQ(canvas.at(2, 0), 0xffffffffu);
    EXPECT_EQ(canvas.count_not(background), 2);

    // An opaque image is copied row by row; a source rect starting left of
    // the image moves the destination right by as much.
    test_image solid = make_image(16, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) solid.set(x, y, x == 0 ? 0x102030ff : 0x405060ff);
    png = encode_png(solid);
    glyph_atlas opaque;
    ASSERT_TRUE(build_glyph_atlas(&opaque, png.data(), png.size()));
    EXPECT_EQ(opaque.alpha_flags, 0);
    test_canvas copy(6, 2, background);
    blit_image(&copy.list, &opaque, rect{-2, 0, 4, 1}, 0, 1);
    EXPECT_EQ(copy.at(1, 1), background);
    EXPECT_EQ(copy.at(2, 1), as_buffer_color(0x102030ff));
    EXPECT_EQ(copy.at(3, 1), as_buffer_color(0x405060ff));
    EXPECT_EQ(copy.count_not(background), 2);
    free_font(&soft);
    free_font(&opaque);
}

TEST_F(TextDraw, FadedGlyphsScaleTheirAlpha) {
    test_image image = make_image(16, 16);
    image.set(0, 0, 0xffffffff);
    std::vector<uint8_t> png = encode_png(image);
    free_font(&test_font);
    ASSERT_TRUE(build_glyph_atlas(&test_font, png.data(), png.size()));
    test_canvas canvas(4, 1, background);
    blit_glyph_faded(&canvas.list, &test_font, rect{0, 0, 2, 1}, 0, 0, 0.5f);
    EXPECT_EQ(canvas.at(0, 0), 0xff878787u);  // alpha 127 over 0x11
    EXPECT_EQ(canvas.at(1, 0), background);   // alpha 0 stays invisible
    blit_glyph_faded(&canvas.list, &test_font, rect{0, 0, 1, 1}, 2, 0, 0.0f);
    EXPECT_EQ(canvas.at(2, 0), background);
    blit_glyph_faded(&canvas.list, &test_font, rect{0, 0, 1, 1}, 3, 0, 1.0f);
    EXPECT_EQ(canvas.at(3, 0), 0xffffffffu);
    test_canvas clear(1, 1, 0x00abcdef);  // a pixel faded to nothing replaces one that shows nothing
    blit_glyph_faded(&clear.list, &test_font, rect{1, 0, 1, 1}, 0, 0, 0.5f);
    EXPECT_EQ(clear.at(0, 0), 0u);
}

// Quads, row tails and the remembered blend against the same pixels blitted column by column.
TEST(Blit, EveryWidthMatchesColumnByColumn) {
    test_image image = make_image(64, 64);
    for (int i = 0; i < 64 * 64; ++i) image.set(i % 64, i / 64, (uint32_t)rand() << 8 | (rand() & 1 ? 0xff : 0));
    std::vector<uint8_t> png = encode_png(image);
    glyph_atlas atlas = {};
    ASSERT_TRUE(build_glyph_atlas(&atlas, png.data(), png.size()));
    for (int32_t test = 0; test < 48; ++test) {
        float opacity = test % 3 == 0 ? 1.0f : test % 3 == 1 ? 0.5f : 0.33f;
        int32_t w = test / 3 + 1, sx = rand() % 40, sy = rand() % 50;
        test_canvas canvas(24, 8, 0), columns(24, 8, 0);
        for (color& c : canvas.pixels()) c = rand() & 1 ? 0xff112233 : (color)rand() << 1;
        std::copy(canvas.pixels().begin(), canvas.pixels().end(), columns.pixels().begin());
        blit_glyph_faded(&canvas.list, &atlas, rect{sx, sy, w, 6}, 3, 1, opacity);
        for (int32_t i = 0; i < w; ++i)
            blit_glyph_faded(&columns.list, &atlas, rect{sx + i, sy, 1, 6}, 3 + i, 1,
                             opacity);
        EXPECT_EQ(canvas.pixels(), columns.pixels()) << "width " << w << ", opacity " << opacity;
    }
    free_font(&atlas);
}
