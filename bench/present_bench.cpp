// Times presenting a 2560 x 1440 window at scale 1 (a 2560 x 1440 frame) and
// at scale 2 (a 1280 x 720 frame enlarged), and the enlargement alone, and
// reports the median time per frame. Needs an X display with a screen at
// least that large for the window to be shown whole (tools/bench_present.sh
// starts one). Usage: present_bench [FRAMES]
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <vector>

#include "os/os.h"

enum : int32_t { bench_width = 2560, bench_height = 1440, default_frames = 200, most_frames = 5000 };

static double median(std::vector<double>* times) {
    std::sort(times->begin(), times->end());
    return (*times)[times->size() / 2];
}

static void fill(pixel_buffer* buffer, uint32_t seed) {
    for (int64_t i = 0; i < (int64_t)buffer->width * buffer->height; i++)
        buffer->pixels[i] = 0xFF000000u | (uint32_t)((i + seed) * 2654435761u >> 8);
}

static double time_present(os_window* window, int32_t frames) {
    std::vector<double> times;
    for (int32_t f = 0; f < frames; f++) {
        fill(&window->back_buffer, (uint32_t)f);
        uint64_t start = os_now_ticks();
        os_window_present(window);
        times.push_back((double)os_ticks_to_microseconds(os_now_ticks() - start) / 1000.0);
    }
    return median(&times);
}

static double time_enlarge(int32_t frames) {
    std::vector<color> small((size_t)(bench_width / 2) * (bench_height / 2)), large((size_t)bench_width * bench_height);
    pixel_buffer from = {bench_width / 2, bench_height / 2, small.data()};
    fill(&from, 1);
    std::vector<double> times;
    for (int32_t f = 0; f < frames; f++) {
        uint64_t start = os_now_ticks();
        os_enlarge_pixels(&from, rect{0, 0, from.width, from.height}, 2, large.data());
        times.push_back((double)os_ticks_to_microseconds(os_now_ticks() - start) / 1000.0);
    }
    return median(&times);
}

int main(int argc, char** argv) {
    os_init();
    int32_t frames = argc > 1 ? atoi(argv[1]) : default_frames;
    if (frames < 1 || frames > most_frames) frames = default_frames;
    printf("enlarging 1280 x 720 to 2560 x 1440: %.2f ms median of %d\n", time_enlarge(frames), (int)frames);

    os_window* window = os_window_create(bench_width, bench_height, os_string("present bench"),
                                         os_window_flag_hidden | os_window_flag_back_buffer);
    if (!window) {
        printf("no X display: the presentation itself is not timed\n");
        return 0;
    }
    os_window_move(window, 0, 0, 1);
    os_window_show(window, 1);
    os_poll_messages();
    printf("present at scale 1 (2560 x 1440 frame): %.2f ms median of %d\n", time_present(window, frames), (int)frames);
    os_window_set_scale(window, 2);
    printf("present at scale 2 (1280 x 720 frame, enlarged): %.2f ms median of %d\n", time_present(window, frames),
           (int)frames);
    os_monitor* monitor = os_first_monitor();
    int32_t rate = monitor && monitor->refresh_rate > 0 ? monitor->refresh_rate : 60;
    printf("frame budget at %d Hz: %.2f ms\n", (int)rate, 1000.0 / rate);
    return 0;
}
