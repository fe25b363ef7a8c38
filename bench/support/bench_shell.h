// What the file benchmarks share: a clock, a mapped file, and the shell
// started on a window that no display shows.
#pragma once

#include <stdint.h>

#include "headless_window.h"
#include "os/os.h"

enum : int32_t { bench_frame_us_at_60_hz = 16666 };

double seconds_since(uint64_t start_ticks);
// The process's resident memory, from /proc; 0 when it cannot be read.
uint64_t resident_kib(void);

// Maps `path`; says so on standard error and returns false when it cannot.
bool map_bench_file(const char* path, os_mapped_file* file);

// The shell as the program starts it (font, text, built-in types, layout)
// on a headless window of that size, showing `file`, at 60 frames a second.
void start_bench_shell(headless_window* window, int32_t width, int32_t height, const os_mapped_file* file);
