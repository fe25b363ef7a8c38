// The grids painted in a frame: regions, hover, selection shade, zero bytes, scrolling.
#include <stdint.h>

#include <vector>

#include "app/app_state.h"
#include "views_fixture.h"

enum : color {
    background = 0xff111111,
    white = 0xffffffff,
    color_a = 0xff203040,
    color_b = 0xff405060,
};

static const color shaded_background = blend_over(0x88ffffff, background);

static std::vector<uint8_t> counting_bytes(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; i++) bytes[i] = (uint8_t)(i | 1);  // no zero bytes
    return bytes;
}

class ByteGrid : public ViewsTest {
protected:
    // The cell's fill, away from outline marks, hover bars and glyphs.
    color fill_at(rect cell) const { return pixel(cell.x + 1, cell.y + 2); }
    color left_edge(rect cell) const { return pixel(cell.x, cell.y + 2); }
    color right_edge(rect cell) const { return pixel(cell.x + cell.w - 1, cell.y + 2); }
    color top_edge(rect cell) const { return pixel(cell.x + 3, cell.y); }

    void park_pointer() {
        move_to(0, 0);
        frame();
    }
};

TEST_F(ByteGrid, RegionsTakeTheLastCoveringColourAndAreOutlinedAtTheirEnds) {
    load(counting_bytes(256));
    add_placement(1, 16, 20, color_a);  // bytes 16..35, across a row end
    add_placement(1, 20, 4, color_b);   // bytes 20..23, over it
    add_placement(1, 40, 1, color_b);   // a single byte
    park_pointer();
    const color outline_a = blend_over(0x88ffffff, color_a);
    const color outline_b = blend_over(0x88ffffff, color_b);

    for (bool hex : {true, false}) {
        SCOPED_TRACE(hex ? "hex grid" : "character grid");
        auto cell = [&](int64_t o) { return hex ? hex_cell(o) : char_cell(o); };
        EXPECT_EQ(fill_at(cell(16)), color_a);
        EXPECT_EQ(left_edge(cell(16)), outline_a);
        EXPECT_EQ(top_edge(cell(16)), outline_a);
        EXPECT_EQ(pixel(cell(16).x + 3, cell(16).y + cell(16).h - 1), outline_a);
        EXPECT_EQ(left_edge(cell(17)), color_a);
        EXPECT_EQ(right_edge(cell(17)), color_a);

        EXPECT_EQ(fill_at(cell(20)), color_b);
        EXPECT_EQ(left_edge(cell(20)), outline_b);  // the later placement starts here
        EXPECT_EQ(right_edge(cell(23)), outline_b);
        EXPECT_EQ(fill_at(cell(24)), color_a);
        EXPECT_EQ(left_edge(cell(24)), color_a);

        // Open at the row end and the next row's start, closed at the last byte.
        EXPECT_EQ(right_edge(cell(31)), color_a);
        EXPECT_EQ(left_edge(cell(32)), color_a);
        EXPECT_EQ(right_edge(cell(35)), outline_a);

        EXPECT_EQ(left_edge(cell(40)), outline_b);
        EXPECT_EQ(right_edge(cell(40)), outline_b);
        EXPECT_EQ(fill_at(cell(41)), background);
        EXPECT_EQ(top_edge(cell(41)), background);
    }
}

TEST_F(ByteGrid, HoveredByteIsFramedInBothGrids) {
    load(counting_bytes(256));
    rect target = hex_cell(50);
    move_to(target.x + 5, target.y + 5);
    frame();
    EXPECT_EQ(app_state.hover_offset, 50);
    for (rect cell : {hex_cell(50), char_cell(50)}) {
        EXPECT_EQ(pixel(cell.x, cell.y + 2), white);
        EXPECT_EQ(pixel(cell.x + 1, cell.y + 2), white);
        EXPECT_EQ(pixel(cell.x + cell.w - 2, cell.y + 2), white);
        EXPECT_EQ(pixel(cell.x + cell.w - 1, cell.y + 2), white);
        EXPECT_EQ(pixel(cell.x + 3, cell.y + 1), white);
        EXPECT_EQ(pixel(cell.x + 3, cell.y + cell.h - 2), white);
        EXPECT_EQ(pixel(cell.x + 3, cell.y + 2), background);
    }
}

TEST_F(ByteGrid, DataViewRowHoverFramesItsBytesWithBarsOnlyAtTheOuterEnds) {
    load(counting_bytes(256));
    click_at(hex_cell(60).x + 3, hex_cell(60).y + 3);
    int32_t u32_row_y = app_state.inspect_panel.y + app_state.panel_pad + 2 * app_state.hex_cell_h;
    move_to(app_state.inspect_panel.x + 40, u32_row_y + 3);
    frame();
    EXPECT_EQ(app_state.hover_offset, 60);
    EXPECT_EQ(app_state.hover_len, 4);
    for (int64_t o = 60; o < 64; o++) {
        for (rect cell : {hex_cell(o), char_cell(o)}) {
            EXPECT_EQ(pixel(cell.x + 3, cell.y), white) << o;
            EXPECT_EQ(pixel(cell.x, cell.y + 2) == white, o == 60) << o;
            EXPECT_EQ(pixel(cell.x + cell.w - 1, cell.y + 2) == white, o == 63) << o;
        }
    }
    EXPECT_NE(pixel(hex_cell(64).x + 3, hex_cell(64).y), white);
}

TEST_F(ByteGrid, SelectionIsShadedFromItsFirstVisibleByteOnly) {
    load(counting_bytes(4096));
    click_at(hex_cell(70).x + 3, hex_cell(70).y + 3);
    ASSERT_EQ(app_state.select_offset, 70);
    app_state.select_len = 40;
    park_pointer();
    for (int64_t o = 68; o < 112; o++) {
        bool inside = o >= 70 && o < 110;
        EXPECT_EQ(fill_at(hex_cell(o)), inside ? shaded_background : background) << o;
        EXPECT_EQ(fill_at(char_cell(o)), inside ? shaded_background : background) << o;
    }

    // The first selected byte scrolled out above: nothing is shaded.
    app_state.scroll_row = 5;
    park_pointer();
    for (int64_t o = 80; o < 112; o++) EXPECT_EQ(fill_at(hex_cell(o)), background) << o;

    // A selection far longer than the file shades every visible byte after its start.
    app_state.scroll_row = 0;
    app_state.select_len = INT64_MAX;
    park_pointer();
    EXPECT_EQ(fill_at(hex_cell(69)), background);
    int64_t last_visible = app_state.visible_rows * app_state.bytes_per_row - 1;
    EXPECT_EQ(fill_at(hex_cell(last_visible)), shaded_background);
}

TEST_F(ByteGrid, ZeroBytesAreDimmedAndOthersDrawnInFull) {
    std::vector<uint8_t> bytes = {0x00, 0xab, 0x41, 0x00};
    load(bytes);
    park_pointer();
    auto brightest = [&](rect cell) {
        uint32_t best = 0;
        for (int32_t y = cell.y + 3; y < cell.y + cell.h - 2; y++)
            for (int32_t x = cell.x + 2; x < cell.x + cell.w - 2; x++) best = std::max(best, pixel(x, y) & 0xff);
        return best;
    };
    EXPECT_EQ(brightest(hex_cell(1)), 0xffu);
    EXPECT_EQ(brightest(char_cell(2)), 0xffu);
    uint32_t dim_hex = brightest(hex_cell(3)), dim_char = brightest(char_cell(3));
    EXPECT_GT(dim_hex, 0x11u);
    EXPECT_LT(dim_hex, 0xffu);
    EXPECT_GT(dim_char, 0x11u);
    EXPECT_LT(dim_char, dim_hex);  // 0.33 against 0.5
}

TEST_F(ByteGrid, CellsPastTheEndOfAShortFileStayBackground) {
    load(counting_bytes(5));
    add_placement(0, 0, 1000, color_a);  // reaching past the end
    park_pointer();
    EXPECT_EQ(fill_at(hex_cell(4)), color_a);
    for (int64_t o : {5, 15, 16, 40}) {
        rect cell = hex_cell(o);
        for (int32_t y = cell.y; y < cell.y + cell.h; y++)
            for (int32_t x = cell.x; x < cell.x + cell.w; x++) ASSERT_EQ(pixel(x, y), background) << o;
    }
}

TEST_F(ByteGrid, PlacementsAtTheTopOfTheOffsetSpaceCoverNothingVisible) {
    load(counting_bytes(64));
    add_placement(0, UINT64_MAX, 10, color_a);
    add_placement(0, UINT64_MAX - 1, UINT64_MAX, color_b);
    park_pointer();
    for (int64_t o = 1; o < 64; o++) EXPECT_EQ(fill_at(hex_cell(o)), background) << o;
}

TEST_F(ByteGrid, WideWindowPutsAGapAfterEveryEighthColumn) {
    start(1920, 1080);
    ASSERT_EQ(app_state.bytes_per_row, 32);
    load(counting_bytes(64));
    add_placement(1, 24, 1, color_a);
    add_placement(1, 31, 1, color_b);
    park_pointer();
    rect cell = hex_cell(24);
    EXPECT_EQ(cell.x, app_state.hex_panel.x + app_state.panel_pad + 24 * app_state.hex_cell_w + 3 * app_state.group_gap);
    EXPECT_EQ(fill_at(cell), color_a);
    EXPECT_EQ(pixel(cell.x - 1, cell.y + 2), background);  // the gap
    EXPECT_EQ(fill_at(hex_cell(31)), color_b);
    EXPECT_EQ(fill_at(char_cell(24)), color_a);
}

TEST_F(ByteGrid, RowsBeforeTheStartOfTheFileAreLeftEmpty) {
    load(counting_bytes(64));
    add_placement(1, 0, 64, color_a);
    app_state.scroll_row = -2;
    park_pointer();
    int32_t first_row_y = app_state.hex_panel.y + app_state.panel_pad;
    int32_t x0 = app_state.hex_panel.x + app_state.panel_pad;
    EXPECT_EQ(pixel(x0 + 1, first_row_y + 2), background);
    EXPECT_EQ(pixel(x0 + app_state.hex_cell_w + 1, first_row_y + 2 * app_state.hex_cell_h + 2), color_a);
}

// Region marks, hover frame and selection shade on the same cells: each pixel
// shows the shade over whichever layer lies beneath it.
TEST_F(ByteGrid, ShadeLiesOverRegionMarksAndHoverFrame) {
    load(counting_bytes(256));
    add_placement(1, 41, 10, color_a);
    click_at(hex_cell(40).x + 3, hex_cell(40).y + 3);
    app_state.select_len = 5;
    int32_t u24_row_y = app_state.inspect_panel.y + app_state.panel_pad + 13 * app_state.hex_cell_h +
                        4 * app_state.inspect_group_gap;
    move_to(app_state.inspect_panel.x + 40, u24_row_y + 3);
    frame();
    ASSERT_EQ(app_state.hover_offset, 40);
    ASSERT_EQ(app_state.hover_len, 3);

    auto shade = [](color c) { return blend_over(0x88ffffff, c); };
    const color outline_a = blend_over(0x88ffffff, color_a);
    rect c40 = hex_cell(40), c41 = hex_cell(41), c42 = hex_cell(42), c45 = hex_cell(45);
    EXPECT_EQ(pixel(c40.x + 1, c40.y + 5), shade(white));  // hover's left bar
    EXPECT_EQ(pixel(c41.x, c41.y + 5), shade(outline_a));  // region's left mark
    EXPECT_EQ(pixel(c41.x + 1, c41.y + 5), shade(color_a));
    EXPECT_EQ(pixel(c41.x + 3, c41.y), shade(white));      // hover's top band over the region's top line
    EXPECT_EQ(pixel(c41.x + 3, c41.y + c41.h - 1), shade(white));
    EXPECT_EQ(pixel(c42.x + c42.w - 1, c42.y + 5), shade(white));  // hover's right bar
    EXPECT_EQ(pixel(c45.x + 1, c45.y + 5), color_a);                // past the selection
    EXPECT_EQ(pixel(c45.x + 3, c45.y), outline_a);
}

// Ctrl+B tints every class of byte, under placements, hover and selection
// as they were; Ctrl+B again gives back the plain picture exactly.
TEST_F(ByteGrid, ByteColoursTintEachClassAndTurnOffToThePlainPicture) {
    const struct {
        uint8_t byte;
        color tint;
    } classes[] = {{0x00, 0xff1c2444}, {'A', 0xff1f3d1f}, {'~', 0xff1f3d1f}, {' ', 0xff1f3d3d}, {'\t', 0xff1f3d3d},
                   {'\n', 0xff1f3d3d}, {'\r', 0xff1f3d3d}, {0x01, 0xff4a3a1c}, {0x1f, 0xff4a3a1c}, {0x7f, 0xff4a3a1c},
                   {0x80, 0xff401e1e}, {0xfe, 0xff401e1e}, {0xff, 0xff44441c}};
    std::vector<uint8_t> bytes(64, 'A');
    for (size_t i = 0; i < sizeof classes / sizeof classes[0]; i++) bytes[i + 1] = classes[i].byte;
    load(bytes);
    add_placement(1, 20, 2, color_a);
    app_state.select_offset = 1;  // over the zero byte
    park_pointer();
    std::vector<color> plain = pixels;

    key(os_key_a + 1, true);
    frame();
    for (size_t i = 0; i < sizeof classes / sizeof classes[0]; i++) {
        color expected = i == 0 ? blend_over(0x88ffffff, classes[i].tint) : classes[i].tint;
        EXPECT_EQ(fill_at(hex_cell((int64_t)i + 1)), expected) << i;
        EXPECT_EQ(fill_at(char_cell((int64_t)i + 1)), expected) << i;
    }
    EXPECT_EQ(fill_at(hex_cell(20)), color_a);
    key(os_key_a + 1, true);
    frame();
    EXPECT_TRUE(pixels == plain);
}
