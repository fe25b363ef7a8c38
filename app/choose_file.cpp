// Ctrl+O: the desktop's file chooser, started in the shown file's folder and
// answered while the frame loop goes on.
#include <string.h>

#include "app/app.h"
#include "app/app_state.h"
#include "app/status_line.h"
#include "render/text_buffer.h"

static const char chooser_title[] = "Open a file";

// The folder of the shown file, made absolute: a portal runs elsewhere.
static void shown_folder(text_buffer* folder) {
    const char* path = app_state.file_path;
    const char* slash = path && !app_state.file_is_standard_input ? strrchr(path, '/') : nullptr;
    if (!slash || path[0] != '/') {
        utf8_string current = os_current_directory();
        if (current.data) text_append(folder, (uint64_t)current.length, current.data);
    }
    if (slash) text_append(folder, (uint64_t)(slash - path), path);
}

void choose_file_start(void) {
    text_buffer folder = {};
    if (!text_buffer_create(&folder, 256)) return;
    shown_folder(&folder);
    if (!os_file_chooser_open(app_state.window, utf8_string{(int64_t)folder.length, folder.data},
                              os_string(chooser_title)))
        status_set("A file chooser is open already.");
    os_free(folder.data);
}

void choose_file_run_for_frame(void) {
    char* paths = nullptr;
    uint8_t status = os_file_chooser_poll(&paths);
    if (status == os_file_chooser_chosen) load_dropped_files(paths);
    if (status == os_file_chooser_unavailable)
        status_set("No file chooser: install zenity, kdialog or xdg-desktop-portal, or drop a file here.");
    os_free(paths);
}
