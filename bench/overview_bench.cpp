// Times the overview of a mapped file: the rows summarised alone, and as the
// frame loop fills them in, within a share of each composed frame. With
// "measure", times measuring the whole file (Ctrl+I) instead, the same way.
// Usage: overview_bench FILE [WIDTH HEIGHT] [RUNS] [measure]
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/app.h"
#include "app/app_state.h"
#include "app/measure_selection.h"
#include "app/sliced_jobs.h"
#include "bench_shell.h"
#include "views/views.h"

enum : int32_t { default_width = 1920, default_height = 1080 };
enum : int { default_runs = 3 };

static int time_measure(os_mapped_file* file, int runs) {
    uint64_t resident_before = resident_kib();
    double best = 0;
    int frames = 0;
    for (int run = 0; run < runs; run++) {
        app_state.select_offset = 0;
        app_state.select_len = (int64_t)file->contents.size;
        uint64_t start = os_now_ticks();
        measure_start();
        for (frames = 0; sliced_job_running(sliced_job_measure); frames++) {
            app_state.frame_ticks = os_now_ticks();
            sliced_jobs_run_for_frame();
            compose_frame();
        }
        double took = seconds_since(start);
        if (run == 0 || took < best) best = took;
    }
    double gib = (double)file->contents.size / (1u << 30);
    printf("%.*s\n", (int)app_state.status.message_length, app_state.status.message);
    printf("measure in frames: best %.3f s  %.2f GiB/s  (%d frames)\n", best, gib / best, frames);
    printf("measure resident:  %lld KiB more after it\n", (long long)resident_kib() - (long long)resident_before);
    os_unmap_file(file);
    return 0;
}

int main(int argument_count, char** arguments) {
    if (argument_count < 2) {
        fprintf(stderr, "usage: %s FILE [WIDTH HEIGHT] [RUNS] [measure]\n", arguments[0]);
        return 2;
    }
    os_init();
    app_state_reset();
    int32_t width = argument_count > 3 ? atoi(arguments[2]) : default_width;
    int32_t height = argument_count > 3 ? atoi(arguments[3]) : default_height;
    int runs = argument_count > 4 ? atoi(arguments[4]) : default_runs;
    if (runs < 1) runs = 1;
    os_mapped_file file;
    if (!map_bench_file(arguments[1], &file)) return 1;

    headless_window window;
    start_bench_shell(&window, width, height, &file);
    if (argument_count > 5 && strcmp(arguments[5], "measure") == 0) return time_measure(&file, runs);
    if (!overview_pending()) {
        fprintf(stderr, "the file fits the panel: no overview\n");
        return 1;
    }

    uint64_t resident_before = resident_kib();
    double best_alone = 0, first_alone = 0, best_frames = 0;
    int frames = 0;
    for (int run = 0; run < runs; run++) {
        app_state.overview.stale = 1;
        uint64_t start = os_now_ticks();
        while (overview_step()) {}
        double took = seconds_since(start);
        if (run == 0) first_alone = took;
        if (run == 0 || took < best_alone) best_alone = took;
    }
    for (int run = 0; run < runs; run++) {
        app_state.overview.stale = 1;
        uint64_t start = os_now_ticks();
        for (frames = 0; overview_pending(); frames++) {
            app_state.frame_ticks = os_now_ticks();
            // As the frame loop does: three quarters of the frame, then the frame.
            sliced_jobs_run_for_frame();
            compose_frame();
        }
        double took = seconds_since(start);
        if (run == 0 || took < best_frames) best_frames = took;
    }
    printf("file %.2f GiB, window %dx%d, %d track rows\n", (double)file.contents.size / (1u << 30), width, height,
           app_state.overview.rows);
    printf("rows alone:  first %.3f s, best %.3f s\n", first_alone, best_alone);
    printf("in frames:   best %.3f s (%d frames)\n", best_frames, frames);
    printf("read:        %.2f MiB a pass; resident %lld KiB more after the passes\n",
           (double)app_state.overview.bytes_read / (1u << 20), (long long)resident_kib() - (long long)resident_before);
    os_unmap_file(&file);
    return 0;
}
