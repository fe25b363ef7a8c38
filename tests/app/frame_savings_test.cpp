// One long random session played twice: once with every frame drawn whole,
// once with frames compared and only the changed rows drawn and presented.
// Every presented picture must be the same, pixel for pixel.
#include <gtest/gtest.h>

#include <stdint.h>

#include <vector>

#include "app/app.h"
#include "app_test_support.h"
#include "render/font.h"
#include "types/growable_array.h"
#include "types/type_parser.h"
#include "types/type_table.h"

namespace {

enum step_kind : uint8_t { step_move, step_button, step_wheel, step_key, step_resize, step_frame };

struct step {
    step_kind kind;
    int32_t a, b;
};

const uint16_t keys[] = {os_key_left,  os_key_right, os_key_up,  os_key_down,   os_key_page_up,
                         os_key_page_down, os_key_home, os_key_end, os_key_delete, os_key_shift};

const char types_text[] = "struct Pair { u16 low; u16 high; } enum Kind : u8 { A, B } struct Rec { Pair p; Kind k; f32 r; }";

std::vector<step> random_session(uint64_t seed, int count) {
    uint64_t s = seed;
    auto next = [&s](uint32_t below) {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return (int32_t)(s % below);
    };
    std::vector<step> steps;
    int32_t x = 300, y = 200;
    for (int i = 0; i < count; i++) {
        int32_t pick = next(100);
        if (pick < 45) {
            // Mostly small steps, as a hand moves; now and then a jump anywhere.
            if (next(10) == 0) {
                x = next(1100);
                y = next(460);
            } else {
                x += next(15) - 7;
                y += next(9) - 4;
            }
            steps.push_back({step_move, x, y});
        } else if (pick < 55) {
            steps.push_back({step_button, 0, next(2) ? os_key_state_pressed : os_key_state_released});
        } else if (pick < 60) {
            steps.push_back({step_wheel, next(2) ? 1 : -1, 0});
        } else if (pick < 68) {
            uint16_t key = keys[next(sizeof keys / sizeof keys[0])];
            uint8_t state = key == os_key_shift && next(2) ? os_key_state_released : os_key_state_pressed;
            steps.push_back({step_key, key, state});
        } else if (pick < 69) {
            steps.push_back({step_resize, 700 + next(500), 250 + next(250)});
        } else {
            steps.push_back({step_frame, 0, 0});
        }
    }
    return steps;
}

// Each frame's rows that differ from the frame before, and its size.
struct frame_change {
    int32_t width, height;
    std::vector<std::pair<int32_t, std::vector<color>>> rows;
};

class FrameSavings : public ::testing::Test {
protected:
    fake_window fake;
    std::vector<uint8_t> file;

    void start(void) {
        use_fake_window(&fake, 1000, 400, true);
        ASSERT_TRUE(build_glyph_atlas(&app_state.font, embedded_mono_png, embedded_mono_png_size));
        ASSERT_TRUE(text_buffer_create(&app_state.text, 10000));
        register_builtin_types();
        reset_type_colors();
        capture_stdout([] { create_types_from_code(types_text, sizeof types_text - 1); });
        layout_panels();
        uint64_t s = 7;
        file.resize(6000);
        for (uint8_t& byte : file) {
            s = s * 6364136223846793005ull + 1442695040888963407ull;
            byte = (s >> 60) < 4 ? 0 : (uint8_t)(s >> 33);
        }
        app_state.file.data = file.data();
        app_state.file.size = file.size();
        static char path[] = "/tmp/session.bin";
        app_state.file_path = path;
        app_state.file_path_len = sizeof path - 1;
        array_create(&app_state.placements, 16, sizeof(placement));
    }

    void apply(const step& s) {
        os_event event = {};
        switch (s.kind) {
        case step_move:
            event.kind = os_event_mouse_move;
            event.x = s.a;
            event.y = s.b;
            app_on_event(&event);
            break;
        case step_button: send_button(os_mouse_left, (uint8_t)s.b); break;
        case step_wheel:
            event.kind = os_event_mouse_wheel;
            event.wheel = s.a;
            app_on_event(&event);
            break;
        case step_key: send_key((uint16_t)s.a, (uint8_t)s.b); break;
        case step_resize:
            fake.pixels.assign((size_t)s.a * (size_t)s.b, 0);
            fake.window.width = s.a;
            fake.window.height = s.b;
            fake.window.back_buffer = pixel_buffer{s.a, s.b, fake.pixels.data()};
            event.kind = os_event_window_resize;
            event.width = s.a;
            event.height = s.b;
            app_on_event(&event);
            break;
        case step_frame: break;
        }
    }
};

TEST_F(FrameSavings, PresentedFramesMatchWholeFrames) {
    std::vector<step> steps = random_session(0x5eed, 6000);
    std::vector<frame_change> whole_frames;
    std::vector<color> last;
    start();
    input_begin_frame();
    for (const step& s : steps) {
        apply(s);
        if (s.kind != step_frame) continue;
        compose_frame();
        input_begin_frame();
        frame_change change = {fake.window.width, fake.window.height, {}};
        bool resized = last.size() != fake.pixels.size();
        for (int32_t row = 0; row < change.height; row++) {
            const color* now = fake.pixels.data() + (size_t)row * change.width;
            if (resized || !std::equal(now, now + change.width, last.data() + (size_t)row * change.width))
                change.rows.push_back({row, std::vector<color>(now, now + change.width)});
        }
        last = fake.pixels;
        whole_frames.push_back(std::move(change));
    }

    start();
    input_begin_frame();
    std::vector<color> expected, screen;
    size_t frame = 0, unchanged = 0, partial = 0;
    for (const step& s : steps) {
        apply(s);
        if (s.kind != step_frame) continue;
        frame_update update = compose_next_frame();
        input_begin_frame();
        const frame_change& change = whole_frames[frame];
        if (expected.size() != (size_t)change.width * change.height) {
            expected.assign((size_t)change.width * change.height, 0);
            screen.assign(expected.size(), 0);
            ASSERT_TRUE(update.whole) << "frame " << frame;
        }
        for (const auto& [row, pixels] : change.rows)
            std::copy(pixels.begin(), pixels.end(), expected.begin() + (ptrdiff_t)row * change.width);
        if (update.whole) screen = fake.pixels;
        for (int32_t i = 0; !update.whole && i < update.count; i++) {
            rect area = update.areas[i];
            for (int32_t row = area.y; row < area.y + area.h; row++) {
                ptrdiff_t at = (ptrdiff_t)row * change.width + area.x;
                std::copy_n(fake.pixels.begin() + at, area.w, screen.begin() + at);
            }
        }
        ASSERT_TRUE(screen == expected) << "frame " << frame;
        if (change.rows.empty()) {
            EXPECT_TRUE(update.count == 0 && !update.whole) << "an identical frame presented something, frame " << frame;
            unchanged++;
        } else if (!update.whole) {
            partial++;
        }
        frame++;
    }
    EXPECT_EQ(frame, whole_frames.size());
    // The session must exercise both savings, not only whole frames.
    EXPECT_GT(unchanged, 100u);
    EXPECT_GT(partial, 100u);
}

}  // namespace
