// Times Find over a mapped file for a pattern typed as in the prompt: the
// scan alone, and the search as the frame loop runs it, a slice and a
// composed 1280 x 720 frame at a time; then the count of its matches the
// same two ways, with the longest frame while it counts.
// Usage: find_bench FILE PATTERN [RUNS]
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/app.h"
#include "app/app_state.h"
#include "app/find_matches.h"
#include "app/prompt_line.h"
#include "app/sliced_jobs.h"
#include "bench_shell.h"

enum : int32_t { width = 1280, height = 720 };
enum : int { default_runs = 3 };

static bool tally(void* context, uint64_t) {
    ++*(uint64_t*)context;
    return false;
}

// Composes frames, each with its slices of the job, until the job ends; the
// number of frames, and the longest one in *longest.
static int frames_until_done(sliced_job_id job, double* longest) {
    int frames = 0;
    for (; sliced_job_running(job); frames++) {
        app_state.frame_ticks = os_now_ticks();
        sliced_jobs_run_for_frame();
        compose_frame();
        double frame = seconds_since(app_state.frame_ticks);
        if (frame > *longest) *longest = frame;
    }
    return frames;
}

int main(int argument_count, char** arguments) {
    if (argument_count < 3) {
        fprintf(stderr, "usage: %s FILE PATTERN [RUNS]\n", arguments[0]);
        return 2;
    }
    os_init();
    app_state_reset();
    int runs = argument_count > 3 ? atoi(arguments[3]) : default_runs;
    if (runs < 1) runs = 1;

    find_pattern pattern;
    if (parse_find_text(arguments[2], strlen(arguments[2]), &pattern) != find_parse_ok) {
        fprintf(stderr, "not a pattern: %s\n", arguments[2]);
        return 2;
    }
    os_mapped_file file;
    if (!map_bench_file(arguments[1], &file)) return 1;
    uint64_t size = file.contents.size;
    double gib = (double)size / (1024.0 * 1024.0 * 1024.0);

    double best_scan = 0, first_scan = 0;
    int64_t found = -1;
    for (int run = 0; run < runs; run++) {
        uint64_t start = os_now_ticks();
        found = size >= (uint64_t)pattern.length
                    ? find_pattern_forward(file.contents.data, size, &pattern, 0, size - pattern.length + 1)
                    : -1;
        double took = seconds_since(start);
        if (run == 0) first_scan = took;
        if (run == 0 || took < best_scan) best_scan = took;
    }

    // The frame loop: a window that nothing shows, the real font and layout.
    headless_window window;
    start_bench_shell(&window, width, height, &file);

    double best_frames = 0, longest_find_frame = 0, longest_frame = 0;
    int frames = 0;
    for (int run = 0; run < runs; run++) {
        app_state.select_offset = 0;
        uint64_t start = os_now_ticks();
        find_start(&pattern, false);
        frames = frames_until_done(sliced_job_find, &longest_find_frame);
        double took = seconds_since(start);
        if (run == 0 || took < best_frames) best_frames = took;
    }
    double best_count = 0, best_count_frames = 0;
    uint64_t matches = 0;
    int count_frames = 0;
    for (int run = 0; run < runs; run++) {
        matches = 0;
        uint64_t start = os_now_ticks();
        if (size >= (uint64_t)pattern.length)
            find_pattern_visit(file.contents.data, size, &pattern, 0, size - pattern.length + 1, find_scan_best,
                               tally, &matches);
        double took = seconds_since(start);
        if (run == 0 || took < best_count) best_count = took;
    }
    for (int run = 0; size >= (uint64_t)pattern.length && run < runs; run++) {
        find_matches_forget();
        uint64_t start = os_now_ticks();
        find_matches_show(&pattern, found < 0 ? 0 : found, 0);
        count_frames = frames_until_done(sliced_job_matches, &longest_frame);
        double took = seconds_since(start);
        if (run == 0 || took < best_count_frames) best_count_frames = took;
    }
    printf("file %.2f GiB, first match at %lld\n", gib, (long long)found);
    // The first scan also maps the pages into the process.
    printf("scan alone:      first %.4f s  %.2f GiB/s, best %.4f s  %.2f GiB/s\n", first_scan, gib / first_scan,
           best_scan, gib / best_scan);
    printf("in frames:       best %.4f s  %.2f GiB/s  (%d frames, longest %.1f ms)\n", best_frames,
           gib / best_frames, frames, longest_find_frame * 1000);
    printf("count alone:     best %.4f s  %.2f GiB/s  (%llu matches, %.2fx the scan)\n", best_count,
           gib / best_count, (unsigned long long)matches, best_count / best_scan);
    printf("count in frames: best %.4f s  %.2f GiB/s  (%d frames, %.1f frames/s, longest %.1f ms)\n",
           best_count_frames, gib / best_count_frames, count_frames, count_frames / best_count_frames,
           longest_frame * 1000);
    os_unmap_file(&file);
    return 0;
}
