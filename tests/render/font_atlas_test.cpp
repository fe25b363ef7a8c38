// Cutting fonts into glyphs: trimming, alpha flags, bad images and the shipped font.
#include <gtest/gtest.h>
#include <string.h>

#include <set>
#include <string>

#include "render/font.h"
#include "render_fixtures.h"

static bool atlas_is_zero(const glyph_atlas& atlas) {
    glyph_atlas zero{};
    return memcmp(&atlas, &zero, sizeof zero) == 0;
}

TEST(FontAtlas, CellsAreTrimmedToTheirVisiblePixels) {
    std::vector<uint8_t> png = encode_png(make_test_font_image());
    glyph_atlas atlas;
    ASSERT_TRUE(build_glyph_atlas(&atlas, png.data(), png.size()));
    EXPECT_EQ(atlas.image_width, 128);
    EXPECT_EQ(atlas.image_height, 256);
    EXPECT_EQ(atlas.pixels_capacity, 131072u);
    EXPECT_EQ(atlas.alpha_flags, font_alpha_some_transparent);

    glyph a = atlas.glyphs['A'];  // cell at column 1, row 4
    EXPECT_EQ(a.x, 8);
    EXPECT_EQ(a.y, 64 + 2);
    EXPECT_EQ(a.w, 7);
    EXPECT_EQ(a.h, 11);
    EXPECT_EQ(a.y_offset, 2);
    glyph b = atlas.glyphs['B'];
    EXPECT_EQ(b.x, 16 + 2);
    EXPECT_EQ(b.w, 4);
    EXPECT_EQ(b.h, 3);
    EXPECT_EQ(b.y_offset, 3);
    glyph space = atlas.glyphs[' '];  // empty cell at column 0, row 2
    EXPECT_EQ(space.x, 0);
    EXPECT_EQ(space.y, 32);
    EXPECT_EQ(space.w, 0);
    EXPECT_EQ(space.h, 0);
    EXPECT_EQ(space.y_offset, 0);

    EXPECT_EQ(atlas.glyph_w, 7);
    EXPECT_EQ(atlas.glyph_h, 15);
    EXPECT_EQ(atlas.spacing, 0);
    free_font(&atlas);
}

TEST(FontAtlas, GapsInsideAGlyphAreKeptAndLeftoverColumnsIgnored) {
    // 100 pixels wide: cells of 6, the last 4 columns belong to no glyph.
    test_image image = make_image(100, 32);
    image.set(1, 0, 0xffffffff);
    image.set(5, 1, 0xffffffff);
    image.set(97, 0, 0xffffffff);  // beyond the grid
    image.set(6 * 15, 1, 0xffffffff);
    std::vector<uint8_t> png = encode_png(image);
    glyph_atlas atlas;
    ASSERT_TRUE(build_glyph_atlas(&atlas, png.data(), png.size()));
    EXPECT_EQ(atlas.glyphs[0].x, 1);
    EXPECT_EQ(atlas.glyphs[0].w, 5);
    EXPECT_EQ(atlas.glyphs[0].h, 2);
    EXPECT_EQ(atlas.glyphs[15].x, 90);
    EXPECT_EQ(atlas.glyphs[15].w, 1);
    EXPECT_EQ(atlas.glyphs[15].y_offset, 1);
    EXPECT_EQ(atlas.glyph_w, 5);
    EXPECT_EQ(atlas.pixels_capacity, 16384u);
    free_font(&atlas);
}

TEST(FontAtlas, AlphaFlagsAndSixteenBitChannels) {
    test_image opaque = make_image(16, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) opaque.set(x, y, 0x102030ff);
    std::vector<uint8_t> png = encode_png(opaque, 16);
    glyph_atlas atlas;
    ASSERT_TRUE(build_glyph_atlas(&atlas, png.data(), png.size()));
    EXPECT_EQ(atlas.alpha_flags, 0);
    EXPECT_EQ(atlas.pixels[0], 0x10);  // the high byte of each channel
    EXPECT_EQ(atlas.pixels[2], 0x30);
    EXPECT_EQ(atlas.pixels[3], 0xff);

    opaque.set(3, 3, 0xffffff00);
    opaque.set(4, 4, 0xffffff80);
    png = encode_png(opaque);
    free_font(&atlas);
    ASSERT_TRUE(build_glyph_atlas(&atlas, png.data(), png.size()));
    EXPECT_EQ(atlas.alpha_flags, font_alpha_some_transparent | font_alpha_soft_edges);
    free_font(&atlas);
}

TEST(FontAtlas, BadInputLeavesTheAtlasZero) {
    std::vector<uint8_t> png = encode_png(make_test_font_image());
    glyph_atlas atlas;
    EXPECT_FALSE(build_glyph_atlas(&atlas, png.data(), 8));
    EXPECT_TRUE(atlas_is_zero(atlas));
    std::vector<uint8_t> wrong = png;
    wrong[1] = 'p';
    EXPECT_FALSE(build_glyph_atlas(&atlas, wrong.data(), wrong.size()));
    EXPECT_TRUE(atlas_is_zero(atlas));
    EXPECT_FALSE(build_glyph_atlas(&atlas, png.data(), 40));  // cut inside IHDR
    EXPECT_TRUE(atlas_is_zero(atlas));
    EXPECT_FALSE(build_glyph_atlas(&atlas, nullptr, 0));
    EXPECT_TRUE(atlas_is_zero(atlas));
    free_font(&atlas);
}

// Chunks the decoder would trip over: an empty first IDAT, a chunk longer
// than the file, a file without image data.
TEST(FontAtlas, UnsoundChunksAreRefusedBeforeDecoding) {
    std::vector<uint8_t> png = encode_png(make_test_font_image());
    size_t idat = 8;
    while (idat + 8 <= png.size() && memcmp(&png[idat + 4], "IDAT", 4) != 0)
        idat += 12 + ((size_t)png[idat] << 24 | (size_t)png[idat + 1] << 16 | (size_t)png[idat + 2] << 8 | png[idat + 3]);
    ASSERT_LT(idat + 8, png.size());
    const uint8_t empty_idat[] = {0, 0, 0, 0, 'I', 'D', 'A', 'T', 0x35, 0xaf, 0x06, 0x1e};
    std::vector<uint8_t> with_empty = png;
    with_empty.insert(with_empty.begin() + (long)idat, empty_idat, empty_idat + sizeof empty_idat);
    std::vector<uint8_t> too_long = png;
    too_long[idat] = 0x7f;
    std::vector<uint8_t> no_data(png.begin(), png.begin() + (long)idat);
    const uint8_t iend[] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xae, 0x42, 0x60, 0x82};
    no_data.insert(no_data.end(), iend, iend + sizeof iend);
    // A later chunk that claims far more than the file holds.
    size_t idat_end = idat + 12 + ((size_t)png[idat] << 24 | (size_t)png[idat + 1] << 16 | (size_t)png[idat + 2] << 8 | png[idat + 3]);
    const uint8_t huge_idat[] = {0x7f, 0xff, 0, 0, 'I', 'D', 'A', 'T', 1, 2, 3, 4};
    std::vector<uint8_t> later_too_long = png;
    later_too_long.insert(later_too_long.begin() + (long)idat_end, huge_idat, huge_idat + sizeof huge_idat);
    std::vector<uint8_t> no_end(png.begin(), png.begin() + (long)idat_end);
    for (const std::vector<uint8_t>* bad : {&with_empty, &too_long, &no_data, &later_too_long, &no_end}) {
        glyph_atlas atlas;
        EXPECT_FALSE(build_glyph_atlas(&atlas, bad->data(), bad->size()));
        EXPECT_TRUE(atlas_is_zero(atlas));
    }
    glyph_atlas atlas;
    EXPECT_TRUE(build_glyph_atlas(&atlas, png.data(), png.size()));
    // An ancillary chunk before the end, and bytes after it, change nothing.
    const uint8_t text_chunk[] = {0, 0, 0, 1, 't', 'E', 'X', 't', 'a', 0x58, 0x24, 0x2a, 0x39};
    std::vector<uint8_t> with_text = png;
    with_text.insert(with_text.begin() + (long)idat_end, text_chunk, text_chunk + sizeof text_chunk);
    with_text.push_back(0);
    glyph_atlas again;
    EXPECT_TRUE(build_glyph_atlas(&again, with_text.data(), with_text.size()));
    free_font(&atlas);
    free_font(&again);
}

static std::string glyph_bits(const glyph_atlas& atlas, int c) {
    glyph g = atlas.glyphs[c];
    std::string bits = std::to_string(g.y_offset) + ":";
    for (int y = g.y; y < g.y + g.h; ++y) {
        for (int x = g.x; x < g.x + g.w; ++x)
            bits += atlas.pixels[((size_t)y * atlas.image_width + x) * 4 + 3] ? '#' : '.';
        bits += '/';
    }
    return bits;
}

TEST(FontAtlas, ShippedFontFitsTheLineAndShowsEveryControlByteDifferently) {
    glyph_atlas atlas;
    ASSERT_TRUE(build_glyph_atlas(&atlas, embedded_mono_png, embedded_mono_png_size));
    EXPECT_EQ(atlas.glyph_w, 7);
    EXPECT_EQ(atlas.alpha_flags, font_alpha_some_transparent);
    std::set<std::string> controls;
    for (int c = 0; c < 256; ++c) {
        glyph g = atlas.glyphs[c];
        EXPECT_LE(g.y_offset + g.h, 15) << c;
        EXPECT_EQ(g.w == 0, c == ' ' || c == 0xa0) << c;
        bool control = c < 32 || (c >= 127 && c < 160);
        if (control) {
            EXPECT_TRUE(controls.insert(glyph_bits(atlas, c)).second) << c;
        }
    }
    for (int c = 33; c < 256; ++c)
        if (c < 127 || c >= 160) {
            EXPECT_EQ(controls.count(glyph_bits(atlas, c)), 0u) << c;
        }
    // Letters stand on one baseline.
    EXPECT_EQ(atlas.glyphs['A'].y_offset + atlas.glyphs['A'].h,
              atlas.glyphs['x'].y_offset + atlas.glyphs['x'].h);
    free_font(&atlas);
}
