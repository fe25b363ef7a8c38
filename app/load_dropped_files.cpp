// Loading the files dropped on the window or named on the command line.
#include <string.h>

#include "app/app.h"
#include "app/app_state.h"
#include "app/sliced_jobs.h"
#include "render/text_buffer.h"
#include "types/growable_array.h"
#include "types/type_table.h"
#include "views/changed_bytes.h"
#include "views/views.h"

enum : int64_t { placements_initial_capacity = 128 };

static const char standard_input_name[] = "-";
static const char standard_input_path[] = "(standard input)";

static bool is_loaded_path(const char* path, uint64_t length) {
    return app_state.file_path && !app_state.file_is_standard_input && length == app_state.file_path_len &&
           memcmp(path, app_state.file_path, length) == 0;
}

static void start_new_file(const char* path, uint64_t length, bool watch) {
    if (app_state.placements.items) os_free(app_state.placements.items);
    app_state.placements = growable_array{};
    array_create(&app_state.placements, placements_initial_capacity, sizeof(placement));
    if (app_state.file_path) os_free(app_state.file_path);
    app_state.file_path = nullptr;
    app_state.file_path_len = 0;
    os_unwatch_file(app_state.file_watch);
    app_state.file_watch = -1;
    app_state.file_is_standard_input = !watch;
    char* copy = (char*)os_alloc(length + 1);
    if (copy) {
        memcpy(copy, path, length);
        copy[length] = 0;
        app_state.file_path = copy;
        app_state.file_path_len = (uint32_t)length;
        if (watch) app_state.file_watch = os_watch_file(utf8_string{(int64_t)length, copy});
    }
}

void release_loaded_file(void) {
    // Before the bytes go: workers reading them are called back first. A
    // later file may be mapped at the same address with the same size: what
    // works over these bytes must notice all the same.
    sliced_jobs_forget_file();
    app_state.overview.stale = 1;
    os_mapped_file mapping = loaded_file_mapping();
    if (mapping.contents.data) os_unmap_file(&mapping);
    keep_loaded_file(os_mapped_file{{0, nullptr}, 0, -1});
}

void keep_loaded_file(os_mapped_file file) {
    app_state.file = file.contents;
    app_state.file_mapped_bytes = file.mapped_bytes;
    app_state.file_guard_slot = file.guard_slot;
    // A new or reloaded file is shown whole, whatever it has in common with the last.
    app_state.frames.whole_wanted = 1;
}

bool loaded_file_damaged(void) {
    os_mapped_file mapping = loaded_file_mapping();
    return os_mapped_file_damaged(&mapping) != 0;
}

int32_t loaded_file_descriptor(void) {
    os_mapped_file mapping = loaded_file_mapping();
    return os_mapped_file_descriptor(&mapping);
}

static void report_unopenable(const char* path) {
    utf8_string reason = os_last_error_message();
    text_buffer line = {};
    if (!text_buffer_create(&line, 256)) return;
    text_append_cstring(&line, "bitlorn: cannot open ");
    text_append_cstring(&line, path);
    text_append_cstring(&line, ": ");
    if (reason.data && reason.length > 0) text_append(&line, (uint64_t)reason.length, reason.data);
    else text_append_cstring(&line, "cannot be read");
    text_append_char(&line, '\n');
    os_write_stderr(utf8_string{(int64_t)line.length, line.data});
    os_free(line.data);
}

static void report(const char* text) { os_write_stderr(os_string(text)); }

// Read whole, as nothing can be mapped or read again from a pipe.
static void load_standard_input(void) {
    if (app_state.standard_input_taken) {
        report("bitlorn: standard input is read only once; the later - is skipped\n");
        return;
    }
    app_state.standard_input_taken = true;
    int32_t result = os_input_ok;
    file_contents contents = os_read_standard_input(os_physical_memory(), &result);
    if (result == os_input_terminal) {
        report("bitlorn: standard input is a terminal, not read; pipe the bytes in: xxd -r dump.txt | bitlorn -\n");
        return;
    }
    if (result == os_input_too_large) {
        report("bitlorn: standard input is larger than the memory available to hold it; it is not shown\n");
        return;
    }
    if (result != os_input_ok) {
        report_unopenable("standard input");
        return;
    }
    release_loaded_file();
    start_new_file(standard_input_path, sizeof standard_input_path - 1, false);
    keep_loaded_file(os_mapped_file{contents, 0, -1});
    changes_note_new_file(false);
}

// Unreadable paths, and anything that is not a regular file (the reader
// refuses those rather than block on a FIFO or device), leave the loaded file.
static void load_path_list(const char* paths, bool report_failures) {
    for (const char* path = paths; *path; path += strlen(path) + 1) {
        uint64_t length = strlen(path);
        if (report_failures && strcmp(path, standard_input_name) == 0) {
            load_standard_input();
            continue;
        }
        os_mapped_file file = os_map_file(utf8_string{(int64_t)length, path});
        if (!file.contents.data) {
            if (report_failures) report_unopenable(path);
            continue;
        }
        release_loaded_file();
        bool same_file = is_loaded_path(path, length);
        if (!same_file) start_new_file(path, length, true);
        keep_loaded_file(file);
        if (same_file) changes_note_reload();
        else changes_note_new_file(true);
    }
}

void load_dropped_files(const char* paths) { load_path_list(paths, false); }

void load_command_line_paths(const char* paths) { load_path_list(paths, true); }

// An empty path cannot travel in the NUL-separated list: the paths before it
// are loaded first, so that the lines keep the command line's order.
void load_paths(const utf8_string* paths, int32_t count) {
    uint64_t total = 1;
    for (int32_t i = 0; i < count; i++) total += (uint64_t)paths[i].length + 1;
    char* block = (char*)os_alloc(total);
    if (!block) return;
    char* at = block;
    for (int32_t i = 0; i < count; i++) {
        uint64_t length = paths[i].data ? (uint64_t)paths[i].length : 0;
        if (length == 0) {
            *at = 0;
            load_command_line_paths(block);
            at = block;
            report("bitlorn: cannot open '': an empty path names no file\n");
            continue;
        }
        memcpy(at, paths[i].data, length);
        at += length;
        *at++ = 0;
    }
    *at = 0;
    load_command_line_paths(block);
    os_free(block);
}
