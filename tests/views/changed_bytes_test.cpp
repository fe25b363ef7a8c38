// The bytes a reload changed, against a plain byte-by-byte comparison, and
// their marks in the grids and on the position bar's track.
#include <random>
#include <vector>

#include "app/app_state.h"
#include "views/byte_grid_cells.h"
#include "views/changed_bytes.h"
#include "views/views.h"
#include "views_fixture.h"

class ChangedBytes : public ViewsTest {
protected:
    std::vector<uint8_t> before, after;

    void show(std::vector<uint8_t>* bytes) {
        app_state.file.data = bytes->data();
        app_state.file.size = bytes->size();
    }

    // Opens `before`, digests it with its first rows on screen, then reloads it as `after`.
    void reload(int64_t scroll_row) {
        app_state.scroll_row = scroll_row;
        show(&before);
        changes_note_new_file(true);
        while (changes_step()) {}
        changes_keep_shown_bytes();
        show(&after);
        changes_note_reload();
        while (changes_step()) {}
    }

    bool underlined(rect cell) const { return pixel(cell.x, cell.y + cell.h - changed_mark_rise) == changed_byte_mark; }
};

// No changed byte goes unmarked; a marked byte that did not change lies off
// the screen in a block that did.
TEST_F(ChangedBytes, MarksAgreeWithAByteByByteComparison) {
    std::mt19937 random(27);
    for (int round = 0; round < 60; round++) {
        before.resize(random() % 30000 + 1);
        for (uint8_t& b : before) b = (uint8_t)(random() % 4);
        after = before;
        for (uint32_t edits = random() % 6; edits > 0; edits--) after[random() % after.size()] ^= 1;
        if (round % 3 == 1) after.resize(after.size() + random() % 9000);
        if (round % 3 == 2) after.resize(random() % after.size() + 1);
        reload((int64_t)(random() % 100));
        uint64_t seen_start = (uint64_t)(app_state.scroll_row * app_state.bytes_per_row);
        uint64_t seen_end = seen_start + (uint64_t)(app_state.visible_rows * app_state.bytes_per_row);
        auto block_changed = [&](uint64_t block) {
            uint64_t start = block * change_block_bytes;
            auto end_of = [&](const std::vector<uint8_t>& v) { return std::min<uint64_t>(start + change_block_bytes, v.size()); };
            return start >= before.size() || end_of(before) != end_of(after) ||
                   !std::equal(before.begin() + (long)start, before.begin() + (long)end_of(before), after.begin() + (long)start);
        };
        change_cursor cursor = changes_cursor_at(0);
        for (uint64_t o = 0; o < after.size(); o++) {
            bool changed = o >= before.size() || before[o] != after[o];
            bool marked = changes_cover(&cursor, o);
            bool seen = o >= seen_start && o < seen_end && o < before.size();
            ASSERT_EQ(marked, changed || (marked && !seen && block_changed(o / change_block_bytes)))
                << "round " << round << " offset " << o;
        }
    }
}

TEST_F(ChangedBytes, GridsUnderlineAndTrackMarksShowUntilEscape) {
    before.assign(200000, 'a');
    after = before;
    reload(0);
    move_to(0, 0);
    frame();
    std::vector<color> unchanged = pixels;
    after[5] = 'b';
    after[150000] = 'b';
    reload(0);
    frame();
    EXPECT_TRUE(underlined(hex_cell(5)) && underlined(char_cell(5)));
    EXPECT_FALSE(underlined(hex_cell(4)) || underlined(hex_cell(6)));
    // The track marks the rows of the changed blocks, 0 (its bytes off the
    // screen) and 36, under the thumb's rows and nowhere else.
    rect track = position_bar_track();
    for (int32_t y = 0; y < track.h; y++) {
        uint64_t start = after.size() * (uint64_t)y / (uint64_t)track.h, end = after.size() * (y + 1ull) / track.h;
        color was = unchanged[(size_t)(track.y + y) * window.width + track.x], now = pixel(track.x, track.y + y);
        bool changed_block = start < change_block_bytes || (end > 36 * change_block_bytes && start < 37 * change_block_bytes);
        if (was != 0xff777777) {
            EXPECT_EQ(now, changed_block ? (color)changed_byte_mark : was) << y;
        }
    }
    key(os_key_escape);
    frame();
    EXPECT_FALSE(underlined(hex_cell(5)) || underlined(char_cell(5)));
    for (int32_t y = 0; y < track.h; y++)
        EXPECT_EQ(pixel(track.x, track.y + y), unchanged[(size_t)(track.y + y) * window.width + track.x]) << y;
}
