// The position bar: drawn only in the hex panel's right padding and only for
// files longer than the panel, with a thumb that follows the scroll and a
// press or drag that scrolls.
#include <fcntl.h>
#include <unistd.h>

#include "test_support.h"
#include "views_fixture.h"

namespace {

enum : color { background = 0xff111111 };

class PositionBar : public ViewsTest {
protected:
    // The right padding, inside the outline.
    rect padding() const {
        rect hex = app_state.hex_panel;
        return rect{hex.x + hex.w - app_state.panel_pad, hex.y + 1, app_state.panel_pad - 1, hex.h - 2};
    }

    // Loads a file of that size, holes and all, without writing its bytes. The
    // sizes stay small enough to be read whole, as they are where mapping fails.
    void load_sized(uint64_t size) {
        static int serial = 0;
        std::string path = write_temp_file("bar" + std::to_string(serial++) + ".bin", "x", 1);
        ASSERT_EQ(truncate(path.c_str(), (off_t)size), 0);
        if (mapped.contents.data) os_unmap_file(&mapped);
        mapped = os_map_file(os_string(path.c_str()));
        app_state.file = mapped.contents;
        ASSERT_EQ(app_state.file.size, size);
    }

    void TearDown() override {
        if (mapped.contents.data) os_unmap_file(&mapped);
        app_state.file = file_contents{};
    }

    os_mapped_file mapped = {{0, nullptr}, 0, -1};

    // The thumb's rows in the bar's column: first and count; count 0 when none.
    std::pair<int32_t, int32_t> thumb() const {
        int32_t x = padding().x + 4;
        int32_t first = -1, count = 0;
        for (int32_t y = padding().y; y < padding().y + padding().h; y++) {
            if (pixel(x, y) != 0xff777777) continue;
            if (first < 0) first = y;
            count++;
        }
        return {first, count};
    }

    bool padding_is_blank() const {
        rect p = padding();
        for (int32_t y = p.y; y < p.y + p.h; y++)
            for (int32_t x = p.x; x < p.x + p.w; x++)
                if (pixel(x, y) != background) return false;
        return true;
    }

    int64_t rows_of(uint64_t size) const {
        return (int64_t)((size + (uint64_t)app_state.bytes_per_row - 1) / (uint64_t)app_state.bytes_per_row);
    }
};

TEST_F(PositionBar, OnlyLongFilesShowItAndOnlyInThePadding) {
    uint64_t fits = (uint64_t)(app_state.visible_rows * app_state.bytes_per_row);
    struct {
        uint64_t size;
        bool shown;
    } cases[] = {{1, false}, {fits, false}, {fits + 1, true}, {1 << 20, true}, {16ull << 20, true}};
    for (const auto& c : cases) {
        load_sized(c.size);
        frame();
        EXPECT_EQ(!padding_is_blank(), c.shown) << c.size;
        // Whatever it draws stays in a strip of the padding clear of the
        // cells and of the outline.
        rect p = padding();
        for (int32_t y = p.y; y < p.y + p.h; y++)
            for (int32_t x = p.x; x < p.x + p.w; x++) {
                if (pixel(x, y) == background) continue;
                EXPECT_TRUE(x >= p.x + 2 && x < p.x + p.w - 2 && y >= p.y + app_state.panel_pad - 1 &&
                            y < p.y + p.h - app_state.panel_pad + 1)
                    << c.size << " at " << x << "," << y;
            }
    }
}

TEST_F(PositionBar, ThumbFollowsTheScrollAndStaysVisible) {
    for (uint64_t size : {1ull << 20, 16ull << 20}) {
        load_sized(size);
        int64_t last = (int64_t)(size / (uint64_t)app_state.bytes_per_row) - app_state.visible_rows + 1;
        int32_t previous_top = -1;
        for (int64_t row : {(int64_t)0, last / 3, last / 2, last}) {
            app_state.scroll_row = row;
            frame();
            auto [top, height] = thumb();
            EXPECT_GE(height, 3) << size << " row " << row;
            EXPECT_GE(top, padding().y) << size << " row " << row;
            EXPECT_GT(top, previous_top) << size << " row " << row;
            previous_top = top;
        }
        auto [top, height] = thumb();
        // At the end the thumb reaches the track's bottom.
        EXPECT_EQ(top + height, app_state.hex_panel.y + app_state.hex_panel.h - app_state.panel_pad) << size;
    }
}

TEST_F(PositionBar, PressAndDragScrollWithoutSelecting) {
    load_sized(1 << 20);
    app_state.select_offset = 5;
    app_state.select_len = 2;
    rect p = padding();
    int64_t last = (int64_t)((1 << 20) / app_state.bytes_per_row) - app_state.visible_rows + 1;

    move_to(p.x + 4, p.y + p.h / 2);
    press();
    frame();
    int64_t middle = app_state.scroll_row;
    EXPECT_NEAR((double)middle, (double)rows_of(1 << 20) / 2 - (double)app_state.visible_rows / 2,
                (double)rows_of(1 << 20) / p.h + 2);
    // Held, the drag follows the pointer even beyond the panel.
    move_to(p.x - 200, p.y + p.h + 300);
    frame();
    EXPECT_EQ(app_state.scroll_row, last);
    move_to(p.x + 4, p.y - 50);
    frame();
    EXPECT_EQ(app_state.scroll_row, 0);
    release();
    frame();
    EXPECT_EQ(app_state.select_offset, 5);
    EXPECT_EQ(app_state.select_len, 2);

    // Once released, moving over the grid hovers bytes again and nothing scrolls.
    move_to(hex_cell(3).x + 3, hex_cell(3).y + 3);
    frame();
    EXPECT_EQ(app_state.scroll_row, 0);
    EXPECT_EQ(app_state.hover_offset, 3);
}

}  // namespace
