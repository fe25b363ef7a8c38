// The clock, the mapped file and the headless shell the file benchmarks share.
#include "bench_shell.h"

#include <stdio.h>

#include "app/app.h"
#include "app/app_state.h"

double seconds_since(uint64_t start_ticks) {
    return (double)os_ticks_to_microseconds(os_now_ticks() - start_ticks) / 1e6;
}

uint64_t resident_kib(void) {
    FILE* status = fopen("/proc/self/status", "r");
    if (!status) return 0;
    char line[256];
    unsigned long long kib = 0;
    while (fgets(line, sizeof line, status))
        if (sscanf(line, "VmRSS: %llu kB", &kib) == 1) break;
    fclose(status);
    return kib;
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
    app_state.file_mapped_bytes = file->mapped_bytes;
    app_state.file_guard_slot = file->guard_slot;
    app_state.target_frame_us = bench_frame_us_at_60_hz;
}
