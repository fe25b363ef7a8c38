// Random scenes replayed in part give the pixels the whole replay gives there
// and nothing outside; two scenes' changed areas hold every change.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "render/draw_list.h"
#include "render_fixtures.h"

namespace {

enum : int32_t { width = 300, height = 120 };
enum : color { background = 0xff111111 };

struct scene_op {
    uint32_t kind, glyph;
    rect area;
    color value;
    float opacity;
};

struct random_source : std::mt19937 {
    uint32_t below(uint32_t n) { return (uint32_t)((*this)() % n); }
};

std::vector<scene_op> random_scene(random_source* r, int count) {
    static const float opacities[] = {1.0f, 0.5f, 0.33f};
    static const color alphas[] = {0xff000000, 0x88000000, 0x44000000, 0x00000000};
    std::vector<scene_op> scene;
    for (int i = 0; i < count; i++) {
        scene_op op = {r->below(4), r->below(256), {}, 0, opacities[r->below(3)]};
        op.area = rect{(int32_t)r->below(width + 40) - 20, (int32_t)r->below(height + 40) - 20,
                       (int32_t)r->below(60), (int32_t)r->below(30)};
        op.value = alphas[r->below(4)] | (r->below(1u << 24));
        scene.push_back(op);
    }
    return scene;
}

void draw_scene(draw_list* list, const std::vector<scene_op>& scene) {
    fill_rect(list, rect{0, 0, width, height}, background);
    for (const scene_op& op : scene) {
        const glyph* g = &test_font.glyphs[op.glyph];
        char text[2] = {(char)op.glyph, 'x'};
        switch (op.kind) {
        case 0: fill_rect(list, op.area, op.value); break;
        case 1: blend_rect(list, op.area, op.value); break;
        case 2:
            blit_glyph_faded(list, &test_font, rect{g->x, g->y, g->w, g->h}, op.area.x, op.area.y, op.opacity);
            break;
        default: draw_text(list, &test_font, op.area, 2, text); break;
        }
    }
}

void record_scene(draw_list* list, const std::vector<scene_op>& scene) {
    draw_list_begin(list, width, height);
    draw_scene(list, scene);
}

TEST(DrawList, ReplayMatchesDirectDrawingAndChangedAreasHoldEveryChange) {
    ASSERT_TRUE(load_real_font());
    random_source r = {};
    for (int round = 0; round < 60; round++) {
        std::vector<scene_op> before_scene = random_scene(&r, 80), now_scene = before_scene;
        // A few edits of the kinds frames differ by: one op changed, added,
        // dropped, or two swapped; none at all now and then.
        int edits = (int)r.below(4);
        for (int e = 0; e < edits; e++) {
            size_t at = r.below((uint32_t)now_scene.size() - 1);
            switch (r.below(4)) {
            case 0: now_scene[at].value ^= 0x00102030; break;
            case 1: now_scene.insert(now_scene.begin() + (ptrdiff_t)at, random_scene(&r, 1)[0]); break;
            case 2: now_scene.erase(now_scene.begin() + (ptrdiff_t)at); break;
            default: std::swap(now_scene[at], now_scene[at + 1]); break;
            }
        }
        test_canvas wanted(width, height, 0);
        draw_scene(&wanted.list, now_scene);
        draw_list before = {}, now = {};
        record_scene(&before, before_scene);
        record_scene(&now, now_scene);
        test_canvas shown(width, height, 0xff00ff00), part_shown(width, height, 0xff00ff00);
        draw_list_replay_whole(&before, &shown.buffer);

        // A part is drawn exactly as the whole has it, and nothing outside it.
        rect part = {(int32_t)r.below(width), (int32_t)r.below(height), 1 + (int32_t)r.below(90),
                     1 + (int32_t)r.below(40)};
        part.w = std::min(part.w, width - part.x);
        part.h = std::min(part.h, height - part.y);
        draw_list_replay(&before, &part_shown.buffer, part);
        for (int32_t y = 0; y < height; y++)
            for (int32_t x = 0; x < width; x++)
                ASSERT_EQ(part_shown.at(x, y), rect_contains(part, x, y) ? shown.at(x, y) : 0xff00ff00)
                    << round << " at " << x << "," << y;

        rect areas[8];
        int32_t count = draw_list_changed_areas(&now, &before, areas, 8);
        if (edits == 0) {
            EXPECT_EQ(count, 0) << round;
        }
        for (int32_t i = 0; i < count; i++) draw_list_replay(&now, &shown.buffer, areas[i]);
        ASSERT_EQ(shown.pixels(), wanted.pixels()) << round;
        for (draw_list* list : {&before, &now}) draw_list_free(list);
    }
}

}  // namespace
