// The one range-row behaviour against the rules each kind of row keeps:
// random selections, anchors and rows, every pointer state.
#include <gtest/gtest.h>

#include <random>

#include "app/app.h"
#include "app/app_state.h"

struct selection_fields {
    int64_t select_offset, select_len, select_anchor, select_anchor_len, hover_offset, hover_len;
    bool operator==(const selection_fields&) const = default;
};

static selection_fields current(void) {
    return {app_state.select_offset, app_state.select_len,  app_state.select_anchor,
            app_state.select_anchor_len, app_state.hover_offset, app_state.hover_len};
}

static void set(const selection_fields& f) {
    app_state.select_offset = f.select_offset;
    app_state.select_len = f.select_len;
    app_state.select_anchor = f.select_anchor;
    app_state.select_anchor_len = f.select_anchor_len;
    app_state.hover_offset = f.hover_offset;
    app_state.hover_len = f.hover_len;
}

// Each kind's rules written out on their own.
static selection_fields expected(selection_fields f, uint8_t hit, int64_t o, int64_t s, range_row_kind kind) {
    if (!(hit & row_hovered)) return f;
    f.hover_offset = o;
    f.hover_len = s;
    bool pressed = hit & row_pressed, held = hit & row_held;
    switch (kind) {
    case range_row_value:
        if (pressed) f.select_len = s;  // the row starts at the selection already
        f.select_offset = pressed ? o : f.select_offset;
        break;
    case range_row_byte:  // s is 1: one grid cell
        if (pressed) {
            f.select_len = 1;
            f.select_anchor = o;
            f.select_offset = o;
        } else if (held) {
            int64_t first = f.select_anchor < o ? f.select_anchor : o;
            int64_t last = f.select_anchor < o ? o : f.select_anchor;
            f.select_offset = first;
            f.select_len = last - first + 1;
        }
        break;
    case range_row_item:
        if (pressed) {
            f.select_offset = f.select_anchor = o;
            f.select_len = f.select_anchor_len = s;
        } else if (held && f.select_anchor != o) {
            int64_t start = f.select_anchor < o ? f.select_anchor : o;
            int64_t anchor_end = f.select_anchor + f.select_anchor_len;
            int64_t end = anchor_end > o + s ? anchor_end : o + s;
            f.select_offset = start;
            f.select_len = end - start;
        }
        break;
    }
    return f;
}

TEST(RangeRow, EveryKindFollowsItsRulesForEveryPointerState) {
    std::mt19937_64 random(7);
    auto small = [&](int64_t limit) { return (int64_t)(random() % (uint64_t)limit); };
    const uint8_t hits[] = {0, row_hovered, row_hovered | row_pressed, row_hovered | row_held};
    const range_row_kind kinds[] = {range_row_value, range_row_byte, range_row_item};
    for (int round = 0; round < 3000; round++) {
        release_app_state();
        selection_fields before = {small(40), 1 + small(12), small(40), small(12), small(40) - 1, 1 + small(8)};
        for (range_row_kind kind : kinds) {
            for (uint8_t hit : hits) {
                // Rows on the anchor, on the selection start and anywhere else.
                int64_t choices[] = {before.select_anchor, before.select_offset, small(40)};
                int64_t o = choices[small(3)];
                int64_t s = kind == range_row_byte ? 1 : 1 + small(8);
                if (kind == range_row_value) o = before.select_offset;
                set(before);
                apply_range_row(hit, o, s, kind);
                ASSERT_EQ(current(), expected(before, hit, o, s, kind))
                    << "round " << round << " kind " << (int)kind << " hit " << (int)hit << " row " << o << "+"
                    << s;
            }
        }
    }
}

TEST(RangeRow, DraggingBackOntoTheAnchorLineKeepsTheStretchedSelection) {
    release_app_state();
    apply_range_row(row_hovered | row_pressed, 8, 4, range_row_item);
    apply_range_row(row_hovered | row_held, 20, 2, range_row_item);
    EXPECT_EQ(app_state.select_offset, 8);
    EXPECT_EQ(app_state.select_len, 14);
    apply_range_row(row_hovered | row_held, 8, 4, range_row_item);
    EXPECT_EQ(app_state.select_len, 14);
    // A grid drag back onto its anchor byte shrinks to that byte.
    apply_range_row(row_hovered | row_pressed, 8, 1, range_row_byte);
    apply_range_row(row_hovered | row_held, 3, 1, range_row_byte);
    EXPECT_EQ(app_state.select_offset, 3);
    EXPECT_EQ(app_state.select_len, 6);
    apply_range_row(row_hovered | row_held, 8, 1, range_row_byte);
    EXPECT_EQ(app_state.select_offset, 8);
    EXPECT_EQ(app_state.select_len, 1);
    EXPECT_EQ(app_state.select_anchor_len, 4);  // a grid press leaves the item's length alone
}
