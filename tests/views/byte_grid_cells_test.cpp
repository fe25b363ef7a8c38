// The grid cell's two painters give the same pixels for every combination of
// layers, cell size, colour, position against the clip and what lay below.
#include <gtest/gtest.h>

#include <vector>

#include "test_canvas.h"
#include "views/byte_grid_cells.h"

TEST(ByteGridCells, FastAndBlendedPaintersAgreeOnEveryLayerCombination) {
    const rect cells[] = {
        {3, 3, 4, 4},   {3, 3, 5, 4},   {3, 3, 4, 9},  {3, 3, 20, 19}, {3, 3, 22, 19},  // inside
        {-2, -3, 20, 19}, {14, 12, 20, 19}, {-10, 2, 12, 6},                                // cut by the clip
    };
    const color region_colors[] = {0xff3366cc, 0xff000000, 0xffffffff, 0xff808080, 0x80204060};
    const color below[] = {0xff111111, 0x00000000, 0xffabcdef};
    int compared = 0;
    for (const rect& cell : cells) {
        for (color region : region_colors) {
            for (color ground : below) {
                // Bits: covered, starts, ends, hovered, first, last, shaded, tinted, changed.
                for (uint32_t bits = 0; bits < 512; bits++) {
                    cell_layers layers = {};
                    layers.marks.color = region;
                    layers.marks.flags = (uint8_t)(bits & 7);
                    layers.hovered = bits & 8;
                    layers.hover_first = bits & 16;
                    layers.hover_last = bits & 32;
                    layers.shaded = bits & 64;
                    layers.tint = bits & 128 ? byte_class_tint(0x80) : 0;
                    layers.changed = bits & 256;
                    test_canvas fast(30, 26, ground), blended(30, 26, ground);
                    paint_cell_layers(&fast.list, cell, &layers);
                    paint_cell_layers_blended(&blended.list, cell, &layers);
                    const std::vector<color>&shown = fast.pixels(), &wanted = blended.pixels();
                    for (size_t i = 0; i < shown.size(); i++) {
                        ASSERT_EQ(shown[i], wanted[i])
                            << "cell " << cell.x << "," << cell.y << " " << cell.w << "x" << cell.h << " region "
                            << std::hex << region << " below " << ground << std::dec << " layers " << bits
                            << " pixel " << i % 30 << "," << i / 30;
                    }
                    compared++;
                }
            }
        }
    }
    EXPECT_EQ(compared, 8 * 5 * 3 * 512);
}
