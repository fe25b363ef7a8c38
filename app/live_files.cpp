// Keeping the shown file and types.c live: each is watched, and read again
// once a change has settled; a reload keeps selection, scroll and placements.
#include <string.h>

#include "app/app.h"
#include "app/app_state.h"
#include "types/growable_array.h"
#include "types/type_table.h"
#include "views/changed_bytes.h"

void reload_loaded_file(void) {
    if (!app_state.file_path || app_state.file_is_standard_input) return;
    os_mapped_file file = os_map_file(utf8_string{(int64_t)app_state.file_path_len, app_state.file_path});
    // Deleted or made unreadable: the last contents are better than none.
    if (!file.contents.data) return;
    release_loaded_file();
    keep_loaded_file(file);
    changes_note_reload();
}

void carry_placements_over(const type_table* old_types) {
    const type_info* old = (const type_info*)old_types->items;
    placement* list = (placement*)app_state.placements.items;
    int64_t kept = 0;
    for (int64_t i = 0; i < app_state.placements.count; i++) {
        placement p = list[i];
        if (p.type_index != 0) {
            if ((int64_t)p.type_index >= old_types->count) continue;
            const type_info* was = &old[p.type_index];
            uint32_t now = type_table_find(was->name, was->name_length);
            const type_info* type = now ? type_at(now) : nullptr;
            if (!type) continue;
            p.type_index = now;
            p.length = type->size;
            p.color = type->color;
        }
        list[kept++] = p;
    }
    app_state.placements.count = kept;
}

void reload_types_file(void) {
    type_table old = app_state.types;
    app_state.types = type_table{};
    // The same file gives the same colours as at start-up.
    reset_type_colors();
    register_builtin_types();
    load_types_file();
    carry_placements_over(&old);
    type_table_free(&old);
}

void watch_types_file(void) {
    char* path = path_beside_executable("/types.c");
    if (!path) return;
    app_state.types_watch = os_watch_file(os_string(path));
    os_free(path);
}

void refresh_live_files(void) {
    uint32_t changes = os_take_file_changes();
    bool file_changed = app_state.file_watch >= 0 && (changes & (1u << app_state.file_watch));
    if (file_changed || loaded_file_damaged()) reload_loaded_file();
    if (app_state.types_watch >= 0 && (changes & (1u << app_state.types_watch))) reload_types_file();
}
