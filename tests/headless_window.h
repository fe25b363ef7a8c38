// A window record that no display shows, with its back buffer on the heap:
// the stand-in for a real window in tests, benchmarks and fuzz targets.
#pragma once

#include <stdint.h>

#include <vector>

#include "os/os.h"
#include "render/pixel_buffer.h"

struct headless_window {
    os_window window;
    std::vector<color> pixels;
};

// Gives the window that client size (with a fresh back buffer when asked,
// none otherwise) and points app_state.window at it.
void use_headless_window(headless_window* headless, int32_t width, int32_t height, bool back_buffer);
