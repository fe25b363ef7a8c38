// The headless window shared by tests, benchmarks and fuzz targets.
#include "headless_window.h"

#include <stddef.h>

#include "app/app_state.h"

void use_headless_window(headless_window* headless, int32_t width, int32_t height, bool back_buffer) {
    headless->window = os_window{};
    headless->window.flags = os_window_flag_open;
    headless->window.width = width;
    headless->window.height = height;
    headless->pixels.assign(back_buffer ? (size_t)width * (size_t)height : 0, 0);
    if (back_buffer) headless->window.back_buffer = pixel_buffer{width, height, headless->pixels.data()};
    app_state.window = &headless->window;
}
