// Loading dropped or named files: the last readable one becomes the loaded file.
#include <string.h>

#include "app/app.h"
#include "app/app_state.h"
#include "types/growable_array.h"
#include "types/type_table.h"

enum : int64_t { placements_initial_capacity = 128 };

static bool is_loaded_path(const char* path, uint64_t length) {
    return app_state.file_path && length == app_state.file_path_len &&
           memcmp(path, app_state.file_path, length) == 0;
}

static void start_new_file(const char* path, uint64_t length) {
    if (app_state.placements.items) os_free(app_state.placements.items);
    app_state.placements = growable_array{};
    array_create(&app_state.placements, placements_initial_capacity, sizeof(placement));
    if (app_state.file_path) os_free(app_state.file_path);
    app_state.file_path = nullptr;
    app_state.file_path_len = 0;
    char* copy = (char*)os_alloc(length + 1);
    if (copy) {
        memcpy(copy, path, length);
        copy[length] = 0;
        app_state.file_path = copy;
        app_state.file_path_len = (uint32_t)length;
    }
}

// Unreadable paths, and anything that is not a regular file (the reader
// refuses those rather than block on a FIFO or device), leave the loaded file.
void load_dropped_files(const char* paths) {
    for (const char* path = paths; *path; path += strlen(path) + 1) {
        uint64_t length = strlen(path);
        file_contents contents = os_read_entire_file(utf8_string{(int64_t)length, path});
        if (!contents.data) continue;
        if (app_state.file.data) os_free_file_contents(&app_state.file);
        if (!is_loaded_path(path, length)) start_new_file(path, length);
        app_state.file = contents;
    }
}

void load_paths(const utf8_string* paths, int32_t count) {
    uint64_t total = 1;
    for (int32_t i = 0; i < count; i++) total += (uint64_t)paths[i].length + 1;
    char* block = (char*)os_alloc(total);
    if (!block) return;
    char* at = block;
    for (int32_t i = 0; i < count; i++) {
        uint64_t length = paths[i].data ? (uint64_t)paths[i].length : 0;
        if (length == 0) continue;  // an empty path would end the list
        memcpy(at, paths[i].data, length);
        at += length;
        *at++ = 0;
    }
    *at = 0;
    load_dropped_files(block);
    os_free(block);
}
