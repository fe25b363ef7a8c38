// The application shell: start-up and frame loop, panel layout and frame
// composition, input handling, and the application's formatted print.
#pragma once

#include <stdint.h>

#include "os/os.h"
#include "render/pixel_buffer.h"
#include "types/type_table.h"

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
// Hovers the byte under the pointer in a byte grid; a left press selects it
// and a drag stretches the selection back to the pressed byte.
void hit_test_byte_grid(rect panel, int32_t cell_w, int32_t cell_h);
// Brings select_offset into the loaded file: 0 when below it, the last byte
// when past the end (-1 for an empty file or none).
void clamp_select_offset(void);

void app_on_event(os_event* event);
void input_begin_frame(void);
// Drops are silent; a path from the command line that cannot be opened gets
// one line on standard error.
void load_dropped_files(const char* paths);
void load_command_line_paths(const char* paths);

// Live files: the loaded file and types.c are read again when they change.
// Releases the loaded file's bytes, mapped or read whole.
void release_loaded_file(void);
// Reads the loaded file again keeping selection, scroll and placements; a
// file that cannot be read now (deleted, unreadable) stays shown as it was.
void reload_loaded_file(void);
// Parses types.c again into a fresh table and carries the placements over.
void reload_types_file(void);
// Each placement of a type takes the type of the same name in the current
// table, with its size and colour; placements whose type is gone are dropped.
void carry_placements_over(const type_table* old_types);
// Starts watching types.c beside the executable.
void watch_types_file(void);
// Called every frame before drawing: reloads whatever changed.
void refresh_live_files(void);
// Loads the command line's paths as a drop of them would, with a line on
// standard error for each that cannot be opened.
void load_paths(const utf8_string* paths, int32_t count);

// printf-style, formatted by stb_sprintf in 1024-byte chunks to standard
// output; returns the number of bytes produced.
int64_t app_print(const char* format, ...) __attribute__((format(printf, 1, 2)));
