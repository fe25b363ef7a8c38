// The application shell: start-up and frame loop, panel layout and frame
// composition, input handling. Declared here, defined in:
//   main.cpp                the process entry
//   app_main.cpp            app_main, print_startup_report, frame_budget_microseconds
//   startup_files.cpp       load_font, load_types_file, path_beside_executable
//   layout_panels.cpp       layout_panels
//   compose_frame.cpp       compose_frame
//   input_events.cpp        app_on_event, input_begin_frame
//   load_dropped_files.cpp  load_dropped_files, load_paths
// The shell's other units serve the layers below it and have headers of
// their own: app_state.cpp (app_state.h), app_print.cpp (app_print.h) and
// stb_units.cpp (the stb implementations).
#pragma once

#include <stdint.h>

#include "os/os.h"
#include "render/pixel_buffer.h"

// Exit code: 1 when the window cannot be created, 0 once it was closed.
int app_main(void);
// The lines about the program, the machine and its monitors printed first.
void print_startup_report(void);
// Microseconds per frame for the monitor's refresh rate (60 Hz without one,
// at least 30 Hz).
int32_t frame_budget_microseconds(const os_monitor* monitor);

// Start-up steps after the window, in order; app_main calls them.
void load_font(void);
void load_types_file(void);
// Paths beside the executable: the directory (ending in '/') then the name,
// which starts with its own '/'. The result is a heap block.
char* path_beside_executable(const char* name_with_slash);

void layout_panels(void);
void compose_frame(void);

void app_on_event(os_event* event);
void input_begin_frame(void);
void load_dropped_files(const char* paths);
// Loads the given paths exactly as if they had been dropped together.
void load_paths(const utf8_string* paths, int32_t count);
