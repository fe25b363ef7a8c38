// One long random session played twice: once with every frame drawn whole,
// once with frames compared and only the changed areas drawn and presented.
// Every presented picture must be the same, pixel for pixel.
#include <gtest/gtest.h>

#include <stdint.h>

#include <functional>
#include <random>
#include <string_view>
#include <vector>

#include "app/app.h"
#include "app_test_support.h"
#include "types/growable_array.h"
#include "types/type_parser.h"
#include "types/type_table.h"

namespace {

const uint16_t keys[] = {os_key_left,  os_key_right, os_key_up,  os_key_down,   os_key_page_up,
                         os_key_page_down, os_key_home, os_key_end, os_key_delete, os_key_shift};

const char types_text[] = "struct Pair { u16 low; u16 high; } enum Kind : u8 { A, B } struct Rec { Pair p; Kind k; f32 r; }";

// Window events; one of kind none stands for a frame.
std::vector<os_event> random_session(uint32_t seed, int count) {
    std::mt19937 random(seed);
    auto next = [&random](uint32_t below) { return (int32_t)(random() % below); };
    std::vector<os_event> events;
    int32_t x = 300, y = 200;
    for (int i = 0; i < count; i++) {
        int32_t pick = next(100);
        os_event e = {};
        if (pick < 45) {
            // Mostly small steps, as a hand moves; now and then a jump anywhere.
            bool jump = next(10) == 0;
            x = jump ? next(1100) : x + next(15) - 7;
            y = jump ? next(460) : y + next(9) - 4;
            e.kind = os_event_mouse_move;
            e.x = x;
            e.y = y;
        } else if (pick < 55) {
            e.kind = os_event_mouse_button;
            e.key = os_mouse_left;
            e.state = next(2) ? os_key_state_pressed : os_key_state_released;
        } else if (pick < 60) {
            e.kind = os_event_mouse_wheel;
            e.wheel = next(2) ? 1 : -1;
        } else if (pick < 68) {
            e.kind = os_event_key;
            e.key = keys[next(sizeof keys / sizeof keys[0])];
            e.state = e.key == os_key_shift && next(2) ? os_key_state_released : os_key_state_pressed;
        } else if (pick < 69) {
            e.kind = os_event_window_resize;
            e.width = 700 + next(500);
            e.height = 250 + next(250);
        }
        events.push_back(e);
    }
    return events;
}

// A frame's picture and size, as one number.
size_t picture(const fake_window& fake) {
    std::string_view bytes((const char*)fake.pixels.data(), fake.pixels.size() * sizeof(color));
    return std::hash<std::string_view>{}(bytes) ^ (size_t)fake.window.width;
}

class FrameSavings : public ::testing::Test {
protected:
    fake_window fake;
    std::vector<uint8_t> file;

    // Plays the session from a fresh start, calling `frame` where each frame falls.
    template <class F> void play(const std::vector<os_event>& events, F frame) {
        use_fake_window(&fake, 1000, 400, true);
        ASSERT_TRUE(start_shell(false));
        capture_stdout([] { create_types_from_code(types_text, sizeof types_text - 1); });
        file.resize(6000);
        for (size_t i = 0; i < file.size(); i++) file[i] = i % 5 ? (uint8_t)(i * 2654435761u >> 13) : 0;
        app_state.file = file_contents{file.size(), file.data()};
        static char path[] = "/tmp/session.bin";
        app_state.file_path = path;
        app_state.file_path_len = sizeof path - 1;
        array_create(&app_state.placements, 16, sizeof(placement));
        input_begin_frame();
        for (os_event e : events) {
            if (e.kind == os_event_window_resize) {
                fake.pixels.assign((size_t)e.width * (size_t)e.height, 0);
                fake.window.width = e.width;
                fake.window.height = e.height;
                fake.window.back_buffer = pixel_buffer{e.width, e.height, fake.pixels.data()};
            }
            if (e.kind != os_event_none) {
                app_on_event(&e);
                continue;
            }
            frame();
            if (HasFatalFailure()) return;
            input_begin_frame();
        }
    }
};

TEST_F(FrameSavings, PresentedFramesMatchWholeFrames) {
    std::vector<os_event> events = random_session(0x5eed, 6000);
    std::vector<size_t> whole_frames;
    play(events, [&] {
        compose_frame();
        whole_frames.push_back(picture(fake));
    });
    release_app_state();

    fake_window screen = {};
    size_t frame = 0, unchanged = 0, partial = 0;
    play(events, [&] {
        frame_update update = compose_next_frame();
        if (screen.pixels.size() != fake.pixels.size()) {
            ASSERT_TRUE(update.whole) << "frame " << frame;
        }
        // Now and then the copy fails (a headless window's always does): nothing of it reaches the window.
        if (frame % 97 == 1) present_frame_update(&update);
        screen.window.width = fake.window.width;
        if (update.whole) screen.pixels = fake.pixels;
        for (int32_t i = 0; !update.whole && i < update.count; i++) {
            rect area = update.areas[i];
            for (int32_t row = area.y; row < area.y + area.h; row++) {
                ptrdiff_t at = (ptrdiff_t)row * fake.window.width + area.x;
                std::copy_n(fake.pixels.begin() + at, area.w, screen.pixels.begin() + at);
            }
        }
        ASSERT_EQ(picture(screen), whole_frames.at(frame)) << "frame " << frame;
        if (frame > 0 && whole_frames[frame] == whole_frames[frame - 1] && frame % 97 != 2) {
            EXPECT_TRUE(update.count == 0 && !update.whole) << "an identical frame presented something, frame " << frame;
            unchanged++;
        } else if (!update.whole) {
            partial++;
        }
        if (frame % 97 == 1) screen.pixels.clear();
        frame++;
    });
    // The session must exercise both savings, not only whole frames.
    EXPECT_GT(unchanged, 100u);
    EXPECT_GT(partial, 100u);
}

}  // namespace
