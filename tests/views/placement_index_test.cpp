// The placement index against a full scan of the placement list.
#include <gtest/gtest.h>

#include <stdint.h>

#include <random>
#include <vector>

#include "os/os.h"
#include "views/placement_index.h"

static void free_index(placement_index* i) { os_free(i->colors), os_free(i->flags), os_free(i->next_free); }

static void expect_same_as_naive(const std::vector<placement>& list, uint64_t first, uint64_t count) {
    placement_index index{};
    ASSERT_TRUE(placement_index_build(&index, first, count, list.data(), (int64_t)list.size()));
    for (uint64_t i = 0; i < count; i++) {
        uint64_t offset = first + i;
        placement_marks fast = placement_index_lookup(&index, offset);
        placement_marks slow = placement_marks_naive(list.data(), (int64_t)list.size(), offset);
        ASSERT_EQ(fast.flags, slow.flags) << "offset " << offset;
        if (slow.flags) {
            ASSERT_EQ(fast.color, slow.color) << "offset " << offset;
        }
    }
    free_index(&index);
}

TEST(PlacementIndex, AgreesWithTheFullScanOnRandomOverlappingPlacements) {
    std::mt19937_64 random(12345);
    for (int round = 0; round < 200; round++) {
        uint64_t first = round % 3 == 0 ? UINT64_MAX - 2000 : random() % 5000;
        uint64_t count = random() % 1500;
        std::vector<placement> list;
        int n = (int)(random() % 60);
        for (int k = 0; k < n; k++) {
            placement p{};
            p.color = (uint32_t)random() | 0xff000000;
            switch (random() % 5) {
            case 0:  // crossing the window's start or end
                p.offset = first + count - 5 + random() % 10;
                p.length = 1 + random() % 40;
                break;
            case 1:  // starting before the window, up to the end of the offset space
                p.offset = first > 10 ? first - random() % 10 : 0;
                p.length = UINT64_MAX - random() % 3;
                break;
            case 2:  // near the top of the offset space
                p.offset = UINT64_MAX - random() % 50;
                p.length = 1 + random() % 100;
                break;
            default:
                p.offset = first - 50 + random() % (count + 100);
                p.length = 1 + random() % 200;
                break;
            }
            list.push_back(p);
        }
        expect_same_as_naive(list, first, count);
    }
}

TEST(PlacementIndex, LaterPlacementWinsTheColourWhileMarksComeFromAnyCovering) {
    std::vector<placement> list = {{1, 10, 10, 0xff0000aa}, {2, 12, 3, 0xff00bb00}};
    placement_index index{};
    ASSERT_TRUE(placement_index_build(&index, 0, 32, list.data(), 2));
    EXPECT_EQ(placement_index_lookup(&index, 10).flags, placement_mark_covered | placement_mark_starts);
    EXPECT_EQ(placement_index_lookup(&index, 12).color, 0xff00bb00u);
    EXPECT_EQ(placement_index_lookup(&index, 12).flags, placement_mark_covered | placement_mark_starts);
    EXPECT_EQ(placement_index_lookup(&index, 14).flags, placement_mark_covered | placement_mark_ends);
    EXPECT_EQ(placement_index_lookup(&index, 15).color, 0xff0000aau);
    EXPECT_EQ(placement_index_lookup(&index, 19).flags, placement_mark_covered | placement_mark_ends);
    EXPECT_EQ(placement_index_lookup(&index, 20).flags, 0);
    EXPECT_EQ(placement_index_lookup(&index, 40).flags, 0);  // outside the window
    free_index(&index);
}

TEST(PlacementIndex, RangesReachingPastTheTopOfTheOffsetSpaceDoNotWrapToZero) {
    std::vector<placement> list = {{0, UINT64_MAX, 5, 0xff123456}, {0, UINT64_MAX - 1, UINT64_MAX, 0xff654321}};
    placement_index index{};
    ASSERT_TRUE(placement_index_build(&index, 0, 64, list.data(), 2));
    for (uint64_t o = 0; o < 64; o++) EXPECT_EQ(placement_index_lookup(&index, o).flags, 0) << o;
    for (uint64_t o = 0; o < 64; o++)
        EXPECT_EQ(placement_marks_naive(list.data(), 2, o).flags, 0) << o;
    expect_same_as_naive(list, UINT64_MAX - 10, 10);
    free_index(&index);
}
