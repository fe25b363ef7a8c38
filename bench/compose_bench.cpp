// Composes frames of a 1280 x 720 and a 1920 x 1080 window over a 1 MiB file
// with a 64-byte selection and the pointer over the hex grid, with 0, 1,000
// and 10,000 placements (half of them in view), and reports the median time
// per frame two ways: recorded and drawn whole (the frame loop after a
// scroll), and recorded with only the changed areas drawn while the pointer
// moves between two cells.
// Usage: compose_bench [FRAMES [PLACEMENTS]]
#include <stdio.h>
#include <stdlib.h>

#include "app/app.h"
#include "app/app_state.h"
#include "headless_window.h"
#include "os/os.h"
#include "types/growable_array.h"
#include "types/type_table.h"

enum : int32_t { default_frames = 300, most_frames = 5000 };
enum : uint64_t { file_bytes = 1 << 20 };

static uint64_t random_state = 0x9e3779b97f4a7c15ull;

static uint64_t next_random(void) {
    random_state ^= random_state << 13;
    random_state ^= random_state >> 7;
    random_state ^= random_state << 17;
    return random_state;
}

static void set_placements(int64_t count) {
    app_state.placements.count = 0;
    uint64_t visible = (uint64_t)(app_state.visible_rows * app_state.bytes_per_row);
    for (int64_t i = 0; i < count; i++) {
        placement p = {};
        p.type_index = 1 + (uint32_t)(next_random() % builtin_type_count);
        p.length = 1 + next_random() % 16;
        p.offset = i % 2 == 0 ? next_random() % visible : visible + next_random() % (file_bytes - visible);
        p.color = 0xff000000 | (uint32_t)next_random();
        array_append(&app_state.placements, sizeof(placement), &p);
    }
}

static int compare_u64(const void* a, const void* b) {
    uint64_t x = *(const uint64_t*)a, y = *(const uint64_t*)b;
    return x < y ? -1 : x > y;
}

enum frame_way { way_whole, way_pointer_move };

static double median_frame_ms(int frames, frame_way way) {
    static uint64_t times[most_frames];
    int32_t home_x = app_state.mouse_x;
    for (int i = 0; i < frames; i++) {
        // Moves alternate between two neighbouring cells.
        if (way == way_pointer_move) app_state.mouse_x = home_x + (i % 2) * app_state.hex_cell_w;
        uint64_t start = os_now_ticks();
        input_begin_frame();
        compose_changed_frame(way == way_whole);
        times[i] = os_ticks_to_microseconds(os_now_ticks() - start);
    }
    app_state.mouse_x = home_x;
    qsort(times, (size_t)frames, sizeof times[0], compare_u64);
    return (double)times[frames / 2] / 1000.0;
}

static void size_window(headless_window* window, int32_t width, int32_t height) {
    use_headless_window(window, width, height, true);
    layout_panels();
    app_state.mouse_x = app_state.hex_panel.x + app_state.panel_pad + 5 * app_state.hex_cell_w + 3;
    app_state.mouse_y = app_state.hex_panel.y + app_state.panel_pad + 10 * app_state.hex_cell_h + 3;
}

int main(int argument_count, char** arguments) {
    int frames = argument_count > 1 ? atoi(arguments[1]) : default_frames;
    if (frames < 1) frames = 1;
    if (frames > most_frames) frames = most_frames;
    os_init();
    app_state_reset();

    static headless_window window;
    use_headless_window(&window, 1280, 720, true);
    if (!start_shell(false)) return 1;

    app_state.file.size = file_bytes;
    app_state.file.data = (uint8_t*)os_alloc(file_bytes + 1);
    for (uint64_t i = 0; i < file_bytes; i++) app_state.file.data[i] = (uint8_t)next_random();
    for (uint64_t i = 0; i < file_bytes; i += 7) app_state.file.data[i] = 0;  // some dimmed bytes
    array_create(&app_state.placements, 16, sizeof(placement));
    app_state.select_offset = 200;
    app_state.select_len = 64;

    static int64_t counts[3] = {0, 1000, 10000};
    int count_total = 3;
    if (argument_count > 2) {
        counts[0] = atoll(arguments[2]);
        count_total = 1;
    }
    static const int32_t sizes[2][2] = {{1280, 720}, {1920, 1080}};
    for (const int32_t* size : sizes) {
        size_window(&window, size[0], size[1]);
        printf("%d x %d, %lld bytes per row, %lld visible rows, %d frames each; median ms per frame:\n", size[0],
               size[1], (long long)app_state.bytes_per_row, (long long)app_state.visible_rows, frames);
        printf("  placements   whole   pointer move\n");
        for (int c = 0; c < count_total; c++) {
            int64_t count = counts[c];
            set_placements(count);
            median_frame_ms(10, way_whole);  // warm up
            double whole = median_frame_ms(frames, way_whole);
            double moved = median_frame_ms(frames, way_pointer_move);
            printf("  %10lld   %5.3f   %12.3f\n", (long long)count, whole, moved);
        }
    }
    return 0;
}
