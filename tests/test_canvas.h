// Pixels the tests draw on as frames are drawn: the primitives record into
// `list`, and reading the pixels first replays what was recorded since.
#pragma once

#include <vector>

#include "render/draw_list.h"

struct test_canvas {
    std::vector<color> stored;
    pixel_buffer buffer;
    draw_list list = {};

    test_canvas(int32_t width, int32_t height, color fill) : stored((size_t)width * (size_t)height, fill) {
        buffer = pixel_buffer{width, height, stored.data()};
        draw_list_begin(&list, width, height);
    }
    ~test_canvas() { draw_list_free(&list); }
    test_canvas(const test_canvas&) = delete;
    test_canvas& operator=(const test_canvas&) = delete;

    std::vector<color>& pixels() {
        draw_list_replay_whole(&list, &buffer);
        draw_list_begin(&list, buffer.width, buffer.height);
        return stored;
    }
    color at(int32_t x, int32_t y) { return pixels()[(size_t)y * (size_t)buffer.width + (size_t)x]; }
    // Pixels that differ from `fill`.
    int count_not(color fill) {
        int n = 0;
        for (color c : pixels()) n += c != fill;
        return n;
    }
};
