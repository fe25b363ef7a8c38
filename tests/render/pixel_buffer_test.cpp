// The rectangle primitives: the blend rule, clipping, outlines and bands.
#include <gtest/gtest.h>

#include "render/draw_list.h"
#include "render_fixtures.h"

static const color background = 0xff111111;

TEST(Blend, TranslucentWhiteOverOpaqueTruncates) {
    test_canvas canvas(4, 1, background);
    blend_rect(&canvas.list, rect{0, 0, 1, 1}, 0x88ffffff);
    blend_rect(&canvas.list, rect{1, 0, 1, 1}, 0x44ffffff);
    EXPECT_EQ(canvas.at(0, 0), 0xff8f8f8fu);
    EXPECT_EQ(canvas.at(1, 0), 0xff505050u);
    EXPECT_EQ(canvas.at(2, 0), background);
}

TEST(Blend, OpaqueAndInvisibleColoursTakeTheShortPaths) {
    test_canvas canvas(3, 3, background);
    blend_rect(&canvas.list, rect{0, 0, 3, 3}, 0x00ffffff);
    EXPECT_EQ(canvas.count_not(background), 0);
    blend_rect(&canvas.list, rect{1, 1, 5, 5}, 0xff123456);
    EXPECT_EQ(canvas.at(2, 2), 0xff123456u);
    EXPECT_EQ(canvas.count_not(background), 4);
}

TEST(Blend, OntoTransparentAndHalfTransparentPixels) {
    EXPECT_EQ(blend_pixel(0x88abcdef, 0x00000000), 0x88abcdefu);
    EXPECT_EQ(blend_pixel(0x00abcdef, 0x00123456), 0x00abcdefu);
    EXPECT_EQ(blend_pixel(0x00abcdef, 0x80123456), 0x80123456u);
    // Source-over of two half-transparent colours: alpha 191, channels 170 / 21 / 21.
    EXPECT_EQ(blend_pixel(0x80ff2000, 0x80000040), 0xbfaa1515u);
}

TEST(Clip, RectsPartlyOutsideAreCutAtTheEdges) {
    test_canvas canvas(10, 8, 0);
    fill_rect(&canvas.list, rect{-3, -2, 5, 4}, 1);
    EXPECT_EQ(canvas.at(0, 0), 1u);
    EXPECT_EQ(canvas.at(1, 1), 1u);
    EXPECT_EQ(canvas.count_not(0), 4);

    test_canvas wide(10, 8, 0);
    fill_rect(&wide.list, rect{7, 6, 100, 100}, 2);
    EXPECT_EQ(wide.count_not(0), 3 * 2);
    EXPECT_EQ(wide.at(9, 7), 2u);
}

TEST(Clip, EmptyOrOutsideRectsDrawNothing) {
    test_canvas canvas(10, 8, 0);
    rect nothing[] = {{2, 2, 0, 3}, {2, 2, 3, -1}, {-5, 0, 5, 5}, {10, 0, 3, 3}, {0, 8, 3, 3},
                      {0, -4, 3, 4}};
    for (rect area : nothing) {
        fill_rect(&canvas.list, area, 7);
        blend_rect(&canvas.list, area, 0x88ffffff);
    }
    EXPECT_EQ(canvas.count_not(0), 0);
}

TEST(Outline, OnePixelHighRectIsOneRow) {
    test_canvas canvas(10, 5, 0);
    draw_rect_outline(&canvas.list, rect{2, 2, 5, 1}, 1, 9);
    EXPECT_EQ(canvas.count_not(0), 5);
    for (int x = 2; x < 7; ++x) EXPECT_EQ(canvas.at(x, 2), 9u);
}

TEST(Outline, RingLeavesTheInsideAndThickOutlineFills) {
    test_canvas canvas(10, 10, 0);
    draw_rect_outline(&canvas.list, rect{1, 1, 5, 4}, 1, 9);
    EXPECT_EQ(canvas.count_not(0), 14);
    EXPECT_EQ(canvas.at(2, 2), 0u);
    EXPECT_EQ(canvas.at(5, 4), 9u);

    test_canvas full(10, 10, 0);
    draw_rect_outline(&full.list, rect{0, 0, 4, 4}, 2, 9);
    EXPECT_EQ(full.count_not(0), 16);
}

// The four edges of an outline placed without any wrap-around, one pixel at a time.
static bool on_outline_reference(rect area, int64_t t, int64_t px, int64_t py) {
    int64_t x = area.x, y = area.y, w = area.w, h = area.h;
    auto in = [&](int64_t rx, int64_t ry, int64_t rw, int64_t rh) {
        return rx <= px && px < rx + rw && ry <= py && py < ry + rh;
    };
    return in(x, y, w, t) || in(x, y + h - t, w, t) || in(x, y + t, t, h - 2 * t) ||
           in(x + w - t, y + t, t, h - 2 * t);
}

TEST(Outline, RectsNearTheEndsOfTheCoordinateRangeDoNotWrap) {
    struct outline_case {
        rect area;
        int32_t thickness;
    };
    const outline_case cases[] = {
        {{1, 1, 5, 4}, 1},
        {{0, INT32_MAX - 1, 5, INT32_MAX}, 1},
        {{0, 3, 5, INT32_MAX}, 2},
        {{INT32_MAX - 2, 0, INT32_MAX, 5}, 1},
        {{2, 2, INT32_MAX, INT32_MAX}, 1},
        {{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, 1},
        {{-3, -3, 8, 8}, INT32_MAX},
        {{0, 0, 4, 4}, INT32_MIN},
        {{INT32_MIN + 1, 2, INT32_MAX, 3}, 1},
    };
    for (const outline_case& c : cases) {
        test_canvas canvas(12, 12, 0);
        draw_rect_outline(&canvas.list, c.area, c.thickness, 9);
        for (int32_t py = 0; py < 12; ++py)
            for (int32_t px = 0; px < 12; ++px)
                EXPECT_EQ(canvas.at(px, py) == 9u, on_outline_reference(c.area, c.thickness, px, py))
                    << c.area.x << "," << c.area.y << " " << c.area.w << "x" << c.area.h << " t" << c.thickness
                    << " at " << px << "," << py;
    }
}

TEST(Lines, BandAboveTheTopDrawsItsSecondRowOnly) {
    test_canvas canvas(4, 4, background);
    blend_hband(&canvas.list, rect{0, -1, 4, 2}, 0x88ffffff);
    EXPECT_EQ(canvas.count_not(background), 4);
    EXPECT_EQ(canvas.at(3, 0), 0xff8f8f8fu);
    blend_hline(&canvas.list, rect{0, -1, 4, 1}, 0x88ffffff);
    blend_hline(&canvas.list, rect{0, 4, 4, 1}, 0x88ffffff);
    EXPECT_EQ(canvas.count_not(background), 4);
    blend_vline(&canvas.list, rect{3, 1, 1, 3}, 0x44ffffff);
    EXPECT_EQ(canvas.at(3, 3), 0xff505050u);
    EXPECT_EQ(canvas.count_not(background), 7);
}
