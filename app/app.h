// The application shell: start-up and frame loop, panel layout and frame
// composition, input handling. Declared here, defined in:
//   main.cpp                the process entry
//   command_line.cpp        parse_command_line, finish_command_line, scale_from_environment
//   app_main.cpp            app_main, print_startup_report, frame_budget_microseconds,
//                           present_frame_update
//   startup_files.cpp       start_shell, load_font, load_types_file, path_beside_executable
//   layout_panels.cpp       layout_panels, print_layout_when_asked
//   compose_frame.cpp       compose_frame, compose_changed_frame, compose_next_frame,
//                           frame_history_free
//   input_events.cpp        app_on_event, input_begin_frame
//   key_bindings.cpp        the key table and its dispatch (key_bindings.h)
//   key_list.cpp            the list of keys that F1 shows (key_bindings.h)
//   view_commands.cpp       the viewer's keyboard commands
//   load_dropped_files.cpp  load_dropped_files, load_paths
//   choose_file.cpp         Ctrl+O: the desktop's file chooser
//   live_files.cpp          reloading the file and types.c when they change
// and, with headers of their own, the commands on the file:
//   copy_selection.cpp      Ctrl+C (copy_selection.h)
//   prompt_line.cpp         the prompt line and its keys (prompt_line.h)
//   go_to.cpp, find_bytes.cpp  Go to and Find (prompt_line.h)
//   measure_selection.cpp   Ctrl+I (measure_selection.h)
//   status_line.cpp         the answer line those commands leave (status_line.h)
//   sliced_jobs.cpp         Find, the measure and the overview run in slices
//                           in each frame's spare time (sliced_jobs.h)
// The shell's other units serve the layers below it and have headers of
// their own: app_state.cpp (app_state.h), app_print.cpp (app_print.h) and
// stb_units.cpp (the stb implementations).
#pragma once

#include <stdint.h>

#include "os/os.h"
#include "render/draw_list.h"
#include "render/pixel_buffer.h"
#include "types/type_table.h"

// Exit code: 1 when the window cannot be created, 0 once it was closed.
int app_main(void);
// Frees every table and buffer the record holds (not the loaded file, which
// has its own release) and resets it. The program never needs it; whoever
// starts it again in one process (the tests, the session fuzz target) does.
void release_app_state(void);
// The lines about the program, the machine and its monitors printed first.
void print_startup_report(void);
// Microseconds per frame for the monitor's refresh rate (60 Hz without one,
// at least 30 Hz).
int32_t frame_budget_microseconds(const os_monitor* monitor);

// The command line. Paths are every argument that is not an option ("-" is
// standard input), in order; after "--" every argument is a path.
enum command_action : uint8_t { command_run, command_help, command_version, command_error };
enum : int { command_line_exit_usage = 2 };
struct command_line_options {
    uint8_t action;  // a command_action
    int32_t scale;   // 0 when not given
    bool byte_colors;
    bool has_offset, has_length;
    uint64_t offset;  // as Go to reads it: past the end means the last byte
    uint64_t length;  // above 0
    int32_t path_count;
    char error[160];  // for command_error: the line that says what is wrong
};
// paths must have room for count entries; they point into the arguments.
command_line_options parse_command_line(const utf8_string* arguments, int32_t count, utf8_string* paths);
// 1 to 4 from exactly one such digit, else 0.
int32_t parse_scale(utf8_string text);
// BITLORN_SCALE, or 1 when it is unset or (with a line on standard error) invalid.
int32_t scale_from_environment(void);
// For help, version and errors: prints what they ask for and gives the exit code.
int finish_command_line(const command_line_options* options);
// --offset and --length: selects those bytes of the loaded file and scrolls them into view.
void select_from_command_line(const command_line_options* options);

// Start-up once app_state.window is set, the same for the program and for
// every headless start: the font, the shared text buffer, the built-in types
// with the palette from its start, and the layout; with
// `files_beside_program`, mono.png and a watched types.c from beside the
// executable, otherwise the built-in font and no types.c. False when the
// font or the text buffer could not be had.
bool start_shell(bool files_beside_program);
// Its steps that read files.
void load_font(void);
void load_types_file(void);
// Paths beside the executable: the directory (ending in '/') then the name,
// which starts with its own '/'. The result is a heap block.
char* path_beside_executable(const char* name_with_slash);

void layout_panels(void);
// With BITLORN_PRINT_LAYOUT set, one line on standard output: "Layout:", then
// x y w h of the text, hex, data and structure panels, the panel padding,
// the character grid's cell width, the hex grid's cell width and height, the
// gap between groups of eight cells, the bytes per row and the visible rows.
void print_layout_when_asked(void);
// Records the frame and draws all of it into the back buffer.
void compose_frame(void);

enum : int32_t { frame_update_most_areas = 8 };

// The areas of the back buffer a frame changed, to be shown; whole when all
// of it must be shown again.
struct frame_update {
    rect areas[frame_update_most_areas];
    int32_t count;
    bool whole;
};

// Records the frame, compares it with the one on screen, and draws into the
// back buffer only the areas where they differ; with whole_wanted, or when
// there is nothing to compare with, it draws all of it.
frame_update compose_changed_frame(bool whole_wanted);
// The frame loop's composition: whole after an expose, a resize or a new
// file, otherwise only what changed.
frame_update compose_next_frame(void);
// Shows the update's areas on the window; one that cannot be shown makes the
// next frame whole.
void present_frame_update(const frame_update* update);
// Frees the recorded frames and the scratch block, and empties the record.
struct frame_history;
void frame_history_free(frame_history* frames);

void app_on_event(os_event* event);
void input_begin_frame(void);

// The viewer's keyboard commands. Moves and stretches keep the selection
// start inside the file; the page and row counts saturate.
void move_selection_start(int64_t bytes);
void move_selection_rows(int64_t rows);
// Lengthens the selection; shortening stops at one byte.
void stretch_selection(int64_t bytes);
// A page is the visible rows; with `ten_times`, ten of them.
void scroll_pages(int64_t pages, bool ten_times);
void scroll_to_start(void);
void scroll_to_end(void);
// Removes the first placement that covers the selection start.
void delete_placement_at_selection(void);
void select_whole_file(void);
// Ctrl+C: copies the selection and shows the answer on the prompt line.
void copy_selection_with_message(void);
// Drops are silent; a path from the command line that cannot be opened gets
// one line on standard error.
void load_dropped_files(const char* paths);
void load_command_line_paths(const char* paths);

// Ctrl+O: opens the desktop's file chooser in the shown file's folder, or
// says on the prompt line what to install. The chooser runs beside the
// frame loop, which picks up its answer each frame and loads the chosen file
// as a drop would.
void choose_file_start(void);
void choose_file_run_for_frame(void);

// Live files: the loaded file and types.c are read again when they change.
// Releases the loaded file's bytes, mapped or read whole.
void release_loaded_file(void);
// Makes a newly mapped or read file the loaded one (the old one released first).
void keep_loaded_file(os_mapped_file file);
// True once the mapped file shrank under its mapping and a read faulted.
bool loaded_file_damaged(void);
// The mapped file's descriptor for positioned reads; -1 when it was read whole.
int32_t loaded_file_descriptor(void);
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
