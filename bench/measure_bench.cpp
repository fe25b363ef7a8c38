// Times measuring a whole mapped file (Ctrl+I) as the frame loop runs it, a
// share of each composed 1280 x 720 frame at a time.
// Usage: measure_bench FILE [RUNS]
#include <stdio.h>
#include <stdlib.h>

#include <vector>

#include "app/app.h"
#include "app/app_state.h"
#include "app/measure_selection.h"
#include "render/font.h"

enum : int32_t { width = 1280, height = 720, frame_us_at_60_hz = 16666 };
enum : int { default_runs = 1 };

static double seconds_since(uint64_t start) { return (double)os_ticks_to_microseconds(os_now_ticks() - start) / 1e6; }

int main(int argument_count, char** arguments) {
    if (argument_count < 2) {
        fprintf(stderr, "usage: %s FILE [RUNS]\n", arguments[0]);
        return 2;
    }
    os_init();
    app_state_reset();
    int runs = argument_count > 2 ? atoi(arguments[2]) : default_runs;
    if (runs < 1) runs = 1;
    os_mapped_file file = os_map_file(os_string(arguments[1]));
    if (!file.contents.data) {
        fprintf(stderr, "cannot map %s\n", arguments[1]);
        return 1;
    }

    std::vector<color> pixels((size_t)width * height);
    os_window window = {};
    window.flags = os_window_flag_open;
    window.width = width;
    window.height = height;
    window.back_buffer = pixel_buffer{width, height, pixels.data()};
    app_state.window = &window;
    build_glyph_atlas(&app_state.font, embedded_mono_png, embedded_mono_png_size);
    text_buffer_create(&app_state.text, 10000);
    register_builtin_types();
    layout_panels();
    app_state.file = file.contents;
    app_state.target_frame_us = frame_us_at_60_hz;

    double best = 0;
    int frames = 0;
    for (int run = 0; run < runs; run++) {
        app_state.select_offset = 0;
        app_state.select_len = (int64_t)file.contents.size;
        uint64_t start = os_now_ticks();
        measure_start();
        for (frames = 0; measure_is_running(); frames++) {
            app_state.frame_ticks = os_now_ticks();
            measure_run_for_frame();
            compose_frame();
        }
        double took = seconds_since(start);
        if (run == 0 || took < best) best = took;
    }
    double gib = (double)file.contents.size / (1u << 30);
    printf("%.*s\n", (int)app_state.prompt.message_length, app_state.prompt.message);
    printf("measure in frames: best %.3f s  %.2f GiB/s  (%d frames)\n", best, gib / best, frames);
    os_unmap_file(&file);
    return 0;
}
