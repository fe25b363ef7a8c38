// Times measuring a whole mapped file (Ctrl+I) as the frame loop runs it, a
// share of each composed 1280 x 720 frame at a time.
// Usage: measure_bench FILE [RUNS]
#include <stdio.h>
#include <stdlib.h>

#include "app/app.h"
#include "app/app_state.h"
#include "app/measure_selection.h"
#include "bench_shell.h"

enum : int32_t { width = 1280, height = 720 };
enum : int { default_runs = 1 };

int main(int argument_count, char** arguments) {
    if (argument_count < 2) {
        fprintf(stderr, "usage: %s FILE [RUNS]\n", arguments[0]);
        return 2;
    }
    os_init();
    app_state_reset();
    int runs = argument_count > 2 ? atoi(arguments[2]) : default_runs;
    if (runs < 1) runs = 1;
    os_mapped_file file;
    if (!map_bench_file(arguments[1], &file)) return 1;

    headless_window window;
    start_bench_shell(&window, width, height, &file);

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
