// The program's spine: the start-up report, the frame budget, start-up and the frame loop.
#include "app/app.h"
#include "app/app_print.h"
#include "app/app_state.h"
#include "app/sliced_jobs.h"
#include "os/os.h"
#include "render/app_icon.h"
#include "types/type_table.h"
#include "views/changed_bytes.h"
#include "views/views.h"

enum : int32_t {
    window_width = 1280,
    window_height = 720,
    lowest_refresh_rate = 30,
    fallback_refresh_rate = 60,
    microseconds_per_second = 1000000,
};

static const char window_title[] = "Bitlorn  |  " BITLORN_VERSION;

static const char* or_empty(const char* text) { return text ? text : ""; }

void print_startup_report(void) {
    utf8_string name = os_executable_name();
    uint32_t cores = os_processor_count();
    uint64_t memory = os_physical_memory();
    utf8_string command_line = os_command_line();
    utf8_string current = os_current_directory();
    utf8_string directory = os_executable_directory();
    int32_t monitor_count = 0;
    os_monitor* monitors = nullptr;
    os_get_monitors(&monitor_count, &monitors);

    app_print("---------- %s ----------\n", or_empty(name.data));
    app_print("Path: (%s)\nDir:  (%s)\nCMD:  (%s)\nMemory: %lli GB\nCPU cores: %i\n",
              or_empty(directory.data), or_empty(current.data), or_empty(command_line.data),
              (long long)(memory >> 30), (int)cores);
    for (int32_t i = 0; monitors && i < monitor_count; i++) {
        const os_monitor* m = &monitors[i];
        app_print("Monitor %i = %ihz, Size %ix%i, Pos %i %i, Primary: %i, Name (%s)\n", (int)i,
                  (int)m->refresh_rate, (int)m->width, (int)m->height, (int)m->x, (int)m->y,
                  (int)(m->flags & os_monitor_flag_primary), or_empty(m->name));
    }
    app_print("---------- %s ----------\n", "Start");
}

int32_t frame_budget_microseconds(const os_monitor* monitor) {
    int32_t rate = monitor ? monitor->refresh_rate : fallback_refresh_rate;
    if (rate < lowest_refresh_rate) rate = lowest_refresh_rate;
    return microseconds_per_second / rate;
}

// Task bars pick the size they show from these.
static const int32_t icon_sizes[] = {32, 48, 128};

static void set_window_icon(os_window* window) {
    enum : int32_t { icon_count = sizeof icon_sizes / sizeof icon_sizes[0] };
    pixel_buffer icons[icon_count] = {};
    int32_t drawn = 0;
    for (int32_t size : icon_sizes) {
        color* pixels = (color*)os_alloc((uint64_t)size * (uint64_t)size * sizeof(color));
        if (!pixels) continue;
        icons[drawn] = pixel_buffer{size, size, pixels};
        draw_app_icon(&icons[drawn++]);
    }
    os_window_set_icon(window, icons, drawn);
    for (int32_t i = 0; i < drawn; i++) os_free(icons[i].pixels);
}

// Clicks act while the panels paint, so the frame that handled a click still
// shows the picture from before it (a button, not the placement it made).
// Such a frame is followed at once by another instead of waiting for input.
static bool frame_acted_on_a_click(void) {
    const input_record* left = input_at(input_index_left_button);
    return (left->state & (input_went_down | input_went_up)) != 0;
}

void present_frame_update(const frame_update* update) {
    os_window* window = app_state.window;
    bool shown = update->whole ? os_window_present(window)
                               : os_window_present_rects(window, update->areas, update->count);
    // Frames send only what changed: what the server missed comes with the next one.
    if (!shown) app_state.frames.whole_wanted = 1;
}

static void run_one_frame_tail(void) {
    if (app_state.cursor_wanted != app_state.cursor_shown) {
        app_state.cursor_shown = app_state.cursor_wanted;
        os_set_cursor(app_state.cursor_shown);
    }
    frame_update update = compose_next_frame();
    present_frame_update(&update);

    uint64_t elapsed = os_ticks_to_microseconds(os_now_ticks() - app_state.frame_ticks);
    int64_t remaining = (int64_t)app_state.target_frame_us - (int64_t)elapsed;
    // A search or a measure takes its share of every frame and the frames follow at once.
    if (remaining > 0 && !sliced_jobs_running()) os_sleep_microseconds((uint64_t)remaining);
}

void release_app_state(void) {
    void* blocks[] = {app_state.font.pixels,      app_state.font.glyphs,       app_state.text.data,
                      app_state.scratch_text.data, app_state.placements.items,   app_state.changed_pointer.items,
                      app_state.changed_buttons.items, app_state.input,           app_state.overview.kinds,
                      app_state.overview.entropies, app_state.overview.buffer,    app_state.changes.digests,
                      app_state.changes.before,     app_state.changes.shown,      app_state.changes.shown_before,
                      app_state.changes.spans,      app_state.changes.kept_spans};
    for (void* block : blocks) os_free(block);
    type_table_free(&app_state.types);
    frame_history_free(&app_state.frames);
    app_state_reset();
}

int app_main(void) {
    app_state_reset();
    int32_t argument_count = 0;
    utf8_string* arguments = os_command_line_arguments(&argument_count);
    if (!arguments) argument_count = 0;
    utf8_string* paths = (utf8_string*)os_alloc(sizeof(utf8_string) * (uint64_t)(argument_count + 1));
    if (!paths) return 1;
    command_line_options options = parse_command_line(arguments, argument_count, paths);
    if (options.action != command_run) {
        os_free(paths);
        return finish_command_line(&options);
    }
    int32_t scale = options.scale ? options.scale : scale_from_environment();
    app_state.byte_colors = options.byte_colors;
    print_startup_report();

    app_state.cursor_wanted = 1;
    // At a scale the frame keeps its size in its own pixels, so the window grows.
    os_window* window = os_window_create(window_width * scale, window_height * scale, os_string(window_title),
                                         os_window_flag_hidden | os_window_flag_back_buffer);
    if (!window) {
        os_free(paths);
        return 1;
    }
    app_state.window = window;
    os_window_set_scale(window, scale);
    set_window_icon(window);
    os_window_center(window);
    os_window_show(window, 1);
    os_set_event_callback(app_on_event);

    app_state.target_frame_us = frame_budget_microseconds(os_first_monitor());
    app_state.frame_ticks = os_now_ticks();

    start_shell(true);
    print_layout_when_asked();
    load_paths(paths, options.path_count);
    os_free(paths);
    select_from_command_line(&options);

    bool follow_up = false;
    for (;;) {
        app_state.frame_ticks = os_now_ticks();
        if (!follow_up) os_wait_for_message();
        input_begin_frame();
        os_poll_messages();
        if (!(app_state.window->flags & os_window_flag_open)) {
            // A chooser left open would outlive the window it belongs to.
            os_file_chooser_close();
            return 0;
        }
        choose_file_run_for_frame();
        refresh_live_files();
        sliced_jobs_run_for_frame();
        run_one_frame_tail();
        changes_keep_shown_bytes();
        // Work under way keeps the frames coming without waiting for input.
        follow_up = frame_acted_on_a_click() || sliced_jobs_pending();
    }
}
