// The clock, the mapped file and the headless shell the file benchmarks share.
#include "bench_shell.h"

#include <stdio.h>

#include "app/app.h"
#include "app/app_state.h"

double seconds_since(uint64_t start_ticks) {
    return (double)os_ticks_to_microseconds(os_now_ticks() - start_ticks) / 1e6;
}

bool map_bench_file(const char* path, os_mapped_file* file) {
    *file = os_map_file(os_string(path));
    if (file->contents.data) return true;
    fprintf(stderr, "cannot map %s\n", path);
    return false;
}

void start_bench_shell(headless_window* window, int32_t width, int32_t height, const os_mapped_file* file) {
    use_headless_window(window, width, height, true);
    start_shell(false);
    app_state.file = file->contents;
    app_state.target_frame_us = bench_frame_us_at_60_hz;
}
