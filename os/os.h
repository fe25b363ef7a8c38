// The platform layer: every service the program takes from the operating
// system. Only files under os/ include X11 or POSIX headers; everything above
// this interface can be built and tested without a display.
//
// Index
//   Strings
//   Memory, time and system information        os_system.cpp
//   Files, directories and libraries           os_files.cpp
//   Threads, processes and console             os_threads.cpp
//   Fatal errors and crash reporting           os_fatal.cpp
//   Pixels: the back buffer's records          (drawn on by render/)
//   Key and button codes
//   Windows, events and presentation           os_window.cpp, os_present.cpp
//   Clipboard                                  os_clipboard.cpp
//   File chooser                               os_file_chooser.cpp
//   Input synthesis                            os_input_synthesis.cpp
//
// The layer keeps a whole platform contract, of which the viewer calls about
// a third; the rest is not dead code (tests and the layer itself use some of
// it) and stays for the programs built on the same layer. Service by service,
// what the viewer calls (os_init and os_string too):
//   Memory, time, system   os_alloc, os_alloc_zeroed, os_realloc, os_free,
//                          os_now_ticks, os_ticks_to_microseconds,
//                          os_sleep_microseconds, os_sleep_milliseconds, the
//                          start-up report's queries (processor count, memory,
//                          command line and its arguments, executable name and
//                          directory, current directory, monitors). Kept:
//                          heap sizes, other clocks and sleeps, dates.
//   Files                  reading whole (os_read_entire_file,
//                          os_free_file_contents, os_read_standard_input),
//                          mapping (os_map_file, os_unmap_file,
//                          os_mapped_file_damaged), watching one file
//                          (os_watch_file, os_unwatch_file,
//                          os_take_file_changes), os_last_error_message. Kept:
//                          reads and writes at offsets, file sizes, paths,
//                          copies, moves, deletions, directories and their
//                          listing and watching, the folder picker, the shell,
//                          libraries.
//   Threads, console       os_write_stdout, os_write_stderr. Kept: mutexes,
//                          threads, processes, the console.
//   Fatal errors           none directly. Kept: the fatal path and the crash
//                          handler.
//   Windows                os_window_create, os_window_set_scale,
//                          os_window_set_icon, os_window_center, os_window_show,
//                          os_set_event_callback, os_wait_for_message,
//                          os_poll_messages, os_set_cursor,
//                          os_window_logical_size, os_window_present,
//                          os_window_present_rect. Kept: moving, resizing,
//                          focus, decoration, raw mouse, cursor loading, back
//                          buffers by hand, OpenGL.
//   Clipboard              os_clipboard_set_text, os_clipboard_set_text_and_data.
//                          Kept: reading it, its formats, images, snapshots.
//   Input synthesis        none. Kept whole.
#pragma once

#include <stdarg.h>
#include <stdint.h>

// ---------------------------------------------------------------------------
// Strings

// Every string or path crossing the platform layer. Strings returned by the
// layer are NUL-terminated; the length excludes the NUL.
struct utf8_string {
    int64_t length;
    const char* data;
};

utf8_string os_string(const char* nul_terminated);

// ---------------------------------------------------------------------------
// Memory, time and system information

void* os_alloc(uint64_t bytes);
void* os_alloc_zeroed(uint64_t bytes);
// Null on failure; the old block then stays valid.
void* os_realloc(void* block, uint64_t bytes);
int32_t os_free(void* block);
uint64_t os_heap_size(void* block);

uint64_t os_now_ticks(void);
uint64_t os_ticks_to_microseconds(uint64_t ticks);
uint64_t os_now_microseconds(void);
uint64_t os_now_milliseconds(void);
void os_sleep_microseconds(uint64_t microseconds);
void os_sleep_milliseconds(uint32_t milliseconds);
void os_sleep_seconds(uint32_t seconds);

struct os_date_time {
    uint16_t year;
    uint8_t month;    // 1-12
    uint8_t day;      // 1-31
    uint8_t weekday;  // 1 Monday .. 7 Sunday
    uint8_t hour;
    uint8_t minute;
    uint8_t second;
    uint32_t microsecond;  // the millisecond times 1000
};

os_date_time os_utc_time(os_date_time* out);
os_date_time os_local_time(os_date_time* out);

uint32_t os_processor_count(void);
uint64_t os_physical_memory(void);
utf8_string os_command_line(void);
// The arguments after the program's own name, in order (count may be 0).
utf8_string* os_command_line_arguments(int32_t* count);
utf8_string os_executable_name(void);
utf8_string os_executable_directory(void);
utf8_string os_current_directory(void);

enum : uint8_t { os_monitor_flag_primary = 0x01 };

struct os_monitor {
    uint8_t flags;
    int32_t work_x, work_y, work_width, work_height;
    int32_t x, y;
    int32_t width, height;
    int32_t refresh_rate;
    int32_t name_length;
    char* name;
    uint64_t handle;  // the RandR output
};

// Reads the monitors again. The list is the layer's: it stays where it is
// until a later call finds more monitors than it has room for, and the names
// stay valid for the life of the process.
int32_t os_get_monitors(int32_t* out_count, os_monitor** out_list);
// Null when there is no monitor at all (no display).
os_monitor* os_first_monitor(void);
// Also opens /dev/null onto whichever of descriptors 0, 1 and 2 is closed.
void os_init(void);

// ---------------------------------------------------------------------------
// Files, directories and libraries

// data has at least one zero byte after the contents; null when unreadable.
struct file_contents {
    uint64_t size;
    uint8_t* data;
};

enum : int32_t {
    os_file_ok = 0,
    os_file_cannot_open = 1,
    os_file_seek_failed = 2,
    os_file_transfer_failed = 3,
};

file_contents os_read_entire_file(utf8_string path);
void os_free_file_contents(file_contents* contents);
enum : int32_t { os_input_ok = 0, os_input_read_failed = 1, os_input_too_large = 2, os_input_terminal = 3 };

// Reads standard input to its end into one block followed by a zero byte.
// It stops with os_input_too_large once the input needs more than limit
// bytes (0: no limit) or more memory than the process can get; on any
// failure data is null and size counts the bytes read before it. A terminal
// is not read at all (os_input_terminal): it would wait for the user.
file_contents os_read_standard_input(uint64_t limit, int32_t* result);
int32_t os_read_bytes_at(utf8_string path, uint64_t offset, uint32_t count, void* destination);
int32_t os_write_bytes(utf8_string path, uint32_t count, const void* source);
int32_t os_write_bytes_at(utf8_string path, uint64_t offset, uint32_t count, const void* source);
int32_t os_set_file_size(utf8_string path, uint64_t size);
uint64_t os_file_size(utf8_string path);
int32_t os_file_can_open(utf8_string path);
int32_t os_path_exists(utf8_string path);
int32_t os_copy_file(utf8_string source, utf8_string destination);
int32_t os_move_file(utf8_string source, utf8_string destination);
int32_t os_delete_file(utf8_string path);
int32_t os_create_directory(utf8_string path);
int32_t os_remove_directory(utf8_string path);

// A file shown without reading it: a regular file is mapped read-only, and
// what cannot be mapped (empty files, /proc files, devices refused by the
// whole read) is read whole. Either way contents is followed by at least one
// zero byte. When the file shrinks under a mapping, the pages past its new end
// read as zeros instead of faulting, and the mapping reports itself damaged.
struct os_mapped_file {
    file_contents contents;
    uint64_t mapped_bytes;  // address space held; 0 when contents is a whole read
    int32_t guard_slot;     // the fault guard's record of the mapping, -1 for none
};

// On failure contents.data is null and the last file error says why.
os_mapped_file os_map_file(utf8_string path);
void os_unmap_file(os_mapped_file* file);
uint8_t os_mapped_file_damaged(const os_mapped_file* file);
// The whole pages of [offset, offset + length) leave the process's resident
// memory (the system may keep them cached); reading them brings them back.
// Nothing happens to a whole read.
void os_mapped_file_drop_pages(const os_mapped_file* file, uint64_t offset, uint64_t length);
// The mapped file's own descriptor, for positioned reads, which leave no pages
// in the process as reading the mapping does; -1 for a whole read. It stays
// open until os_unmap_file.
int32_t os_mapped_file_descriptor(const os_mapped_file* file);
// Up to count bytes from offset: the number read, fewer only at the file's
// end; -1 on failure. Safe from any thread.
int64_t os_read_file_at(int32_t descriptor, uint64_t offset, uint64_t count, void* destination);
// The first stretch of data at or after offset, [*data_start, *data_end): the
// bytes before it are a hole of a sparse file, which reads as zeros. False
// when only holes follow to the end. Where holes cannot be told, all is data.
bool os_find_file_data(int32_t descriptor, uint64_t offset, uint64_t* data_start, uint64_t* data_end);

// Watching files without a thread: the message wait also wakes when a watched
// file is written, truncated, created, replaced or deleted, once the changes
// have settled for a moment. A watch number, or -1 when the file's directory
// cannot be watched.
int32_t os_watch_file(utf8_string path);
void os_unwatch_file(int32_t watch);
// Bit n set: watch n saw a settled change since the last call. Whoever waits
// with os_wait_for_message takes them after it returns, or the wait keeps
// returning at once.
uint32_t os_take_file_changes(void);

typedef void os_list_callback(utf8_string* directory, utf8_string* name, uint64_t size,
                              os_date_time* last_write, uint8_t is_directory);
void os_list_directory(utf8_string directory, os_list_callback* callback);

typedef void os_watch_callback(utf8_string* relative_path);
void os_watch_directory(utf8_string directory, uint8_t subtree, os_watch_callback* callback);

int32_t os_pick_folder(utf8_string* out);
int32_t os_shell_open(utf8_string path);
utf8_string os_desktop_directory(void);
utf8_string os_last_error_message(void);

struct os_library {
    void* handle;
    uint8_t loaded;
};

os_library os_library_load(utf8_string path);
void os_library_free(os_library library);
void* os_library_symbol(os_library library, utf8_string name);

// ---------------------------------------------------------------------------
// Threads, processes and console

// Caller-provided storage for a recursive mutex (a pthread mutex lives inside).
struct os_mutex {
    alignas(8) uint8_t storage[64];
};

void os_mutex_init(os_mutex* mutex);
// Destroys the mutex and zeroes its storage.
void os_mutex_destroy(os_mutex* mutex);
void os_mutex_lock(os_mutex* mutex);
void os_mutex_unlock(os_mutex* mutex);

enum : uint8_t {
    os_thread_flag_suspended = 0x01,
    // Suspend, resume and kill act only while the caller has set this bit.
    os_thread_flag_controllable = 0x02,
};

struct os_thread {
    uint32_t id;  // from a process-wide counter that also counts failed starts
    uint8_t flags;
    uint64_t user_value;
    uint64_t handle;  // the pthread_t
};

typedef uint32_t os_thread_function(os_thread* thread);

// The thread runs at once, detached; null when it cannot be created.
os_thread* os_thread_start(os_thread_function* function, uint64_t user_value);
// Control of a thread that has already ended does nothing (kill still zeroes
// the record).
void os_thread_suspend(os_thread* thread);
void os_thread_resume(os_thread* thread);
// Cancels the thread and zeroes the record (which stays allocated).
void os_thread_kill(os_thread* thread);
uint32_t os_current_thread_id(void);

enum : uint32_t {
    os_process_normal_priority = 0x20,
    os_process_no_window = 0x08000000,
};

// Caller-provided storage, filled by os_process_start. Descriptors are -1 once closed.
struct os_process {
    int32_t child_input_read;
    int32_t parent_input_write;
    int32_t parent_output_read;
    int32_t child_output_write;
    uint32_t creation_flags;  // kept for callers; a Linux child has no window to hide
    int32_t process_id;
    int32_t exit_status;  // valid once exited is set
    uint8_t exited;
};

typedef void os_process_output_callback(utf8_string* chunk);

enum : int32_t { os_process_max_chunk = 4096 };

// Splits a command line into arguments as a POSIX shell would (blanks separate,
// quotes and backslashes group), with no expansions. Returns the count, or -1
// when the line has an unterminated quote. arguments receives at most capacity
// pointers into storage, which must hold line.length + 1 bytes.
int32_t os_split_command_line(utf8_string line, char* storage, char** arguments, int32_t capacity);

// 0 on success; 1-4 when a pipe cannot be set up, 5 when the program cannot be started.
int32_t os_process_start(os_process* process, utf8_string command, uint8_t show_window);
int64_t os_process_write(os_process* process, int64_t count, const void* bytes);
// Never blocks: 0 when nothing is waiting, -1 on failure.
int64_t os_process_read(os_process* process, int64_t count, void* buffer);
uint8_t os_process_is_running(os_process* process);
uint8_t os_process_wait_idle(os_process* process);
void os_process_close(os_process* process);
// With a callback: streams the output in chunks until the child closes it, then
// returns the exit code as it stands at that moment (1-6 for the layer's own
// failures; 259 when the child lives on, which is then reaped later). Without
// one: the exit code at once, 259 while running.
uint32_t os_run_process(utf8_string command, os_process_output_callback* callback, uint8_t show_window);

// A reader that has gone away makes the write fail quietly (os_init ignores
// SIGPIPE).
void os_write_stdout(utf8_string bytes);
void os_write_stderr(utf8_string bytes);
int32_t os_read_line(int32_t size, char* buffer);
void os_console_color_red(void);
void os_console_color_green(void);
void os_console_color_blue(void);
void os_console_color_yellow(void);
void os_console_color_cyan(void);
void os_console_color_magenta(void);
void os_console_color_default(void);
void os_console_color_white(void);
void os_console_move_cursor(int32_t dx, int32_t dy);
int32_t os_console_width(void);
// Enter reads as 13. An interrupt while waiting puts the terminal back first.
uint32_t os_console_read_key(void);

struct os_console_rect {
    int32_t x, y, width, height;
};

// The terminal's X window, named by WINDOWID; zeros and no effect without one.
// Each opens a short connection of its own but shares the layer's X error
// trap, so a program that also has windows calls them on its pumping thread.
os_console_rect os_console_window_rect(void);
void os_console_window_move(int32_t x, int32_t y);
void os_console_window_set_height(int32_t height);
void os_console_flash(void);

// ---------------------------------------------------------------------------
// Fatal errors and crash reporting

// Formats with the C runtime, not with the application's formatter.
int32_t os_print(const char* format, ...) __attribute__((format(printf, 1, 2)));
void os_abort_all_threads(void);
[[noreturn]] void os_fatal(const char* message);
typedef void os_crash_callback(int32_t code, const char* text);
void os_set_crash_handler(os_crash_callback* callback);
// Gives the calling thread its own signal stack and notes where its stack ends, so
// that an overflow of this thread's stack is reported as one.
void os_prepare_thread_for_crashes(void);

// ---------------------------------------------------------------------------
// Pixels: the back buffer's records
//
// A window's back buffer is the renderer's canvas, so its records live here,
// under the renderer, which builds its drawing on them.

typedef uint32_t color;  // 0xAARRGGBB; in memory B, G, R, A

struct rect {
    int32_t x, y, w, h;
};

struct pixel_buffer {
    int32_t width, height;
    color* pixels;  // width * height, row-major, top row first
};

// ---------------------------------------------------------------------------
// Key and button codes
//
// Key events carry the Windows virtual-key codes, whatever the system under
// the layer calls its keys; letters and digits are their ASCII capitals.

enum : uint16_t {
    os_key_backspace = 0x08,
    os_key_tab = 0x09,
    os_key_clear = 0x0C,
    os_key_return = 0x0D,
    os_key_shift = 0x10,
    os_key_control = 0x11,
    os_key_alt = 0x12,
    os_key_pause = 0x13,
    os_key_caps_lock = 0x14,
    os_key_escape = 0x1B,
    os_key_space = 0x20,
    os_key_page_up = 0x21,
    os_key_page_down = 0x22,
    os_key_end = 0x23,
    os_key_home = 0x24,
    os_key_left = 0x25,
    os_key_up = 0x26,
    os_key_right = 0x27,
    os_key_down = 0x28,
    os_key_print_screen = 0x2C,
    os_key_insert = 0x2D,
    os_key_delete = 0x2E,
    os_key_0 = 0x30,  // through os_key_0 + 9
    os_key_a = 0x41,  // through os_key_a + 25
    os_key_left_super = 0x5B,
    os_key_right_super = 0x5C,
    os_key_menu = 0x5D,
    os_key_numpad_0 = 0x60,  // through os_key_numpad_0 + 9
    os_key_numpad_multiply = 0x6A,
    os_key_numpad_add = 0x6B,
    os_key_numpad_separator = 0x6C,
    os_key_numpad_subtract = 0x6D,
    os_key_numpad_decimal = 0x6E,
    os_key_numpad_divide = 0x6F,
    os_key_f1 = 0x70,  // through os_key_f1 + 23
    os_key_num_lock = 0x90,
    os_key_scroll_lock = 0x91,
    // The punctuation keys of a US layout.
    os_key_semicolon = 0xBA,
    os_key_equal = 0xBB,
    os_key_comma = 0xBC,
    os_key_minus = 0xBD,
    os_key_period = 0xBE,
    os_key_slash = 0xBF,
    os_key_grave = 0xC0,
    os_key_left_bracket = 0xDB,
    os_key_backslash = 0xDC,
    os_key_right_bracket = 0xDD,
    os_key_apostrophe = 0xDE,
    // Mouse buttons arrive in key fields too, above every key.
    os_mouse_left = 0x104,
    os_mouse_middle = 0x105,
    os_mouse_right = 0x106,
};

enum : uint8_t { os_function_key_count = 24 };

// ---------------------------------------------------------------------------
// Windows, events and presentation
//
// These, the clipboard and input synthesis share one X connection, which
// belongs to the thread that first used it: the thread that pumps messages.
// Called from any other thread they find no display and do nothing (results
// as without a display). An X error that no request of the layer expected
// prints one line on standard error, "bitlorn: X error E on request R.M
// (resource 0xID)", once per request and error code, and the program goes
// on. When the X server goes away, Xlib's own message is printed and the
// process ends with status 1.

enum : uint16_t {
    os_window_flag_open = 0x0001,
    os_window_flag_focused = 0x0002,
    os_window_flag_bare = 0x0008,
    os_window_flag_back_buffer = 0x0010,
    os_window_flag_opengl = 0x0020,
    os_window_flag_borderless = 0x0040,
    os_window_flag_fixed_size = 0x0080,
    os_window_flag_hidden = 0x0100,
    os_window_flag_color_key = 0x0200,
    os_window_flag_topmost = 0x0400,
    // Set when part of the window lost its picture and must be presented
    // again; the application clears it.
    os_window_flag_exposed = 0x1000,
    os_window_flag_taskbar = 0x0800,
    os_window_flag_click_through = 0x2000,
    os_window_flag_tool = 0x8000,
};

enum : uint8_t {
    os_input_flag_mouse_inside = 0x01,
    os_input_flag_raw_wanted = 0x02,
    os_input_flag_raw_active = 0x04,
    os_input_flag_raw_registered = 0x08,
};

struct os_window_native;  // the X11 side of a window, private to os/

struct os_window {
    uint16_t flags;
    int32_t client_x, client_y;
    int32_t width, height;
    int32_t outer_x, outer_y, outer_width, outer_height;
    uint64_t native_handle;  // the X Window
    void* device_context;    // the window's GC
    uint8_t input_flags;
    pixel_buffer back_buffer;
    uint64_t back_buffer_capacity;
    void* gl_context;  // GLXContext
    os_window_native* native;
    // Each back-buffer pixel shows as scale x scale screen pixels; 0 and 1
    // mean none. Pointer positions arrive divided back to back-buffer pixels.
    int32_t scale;
};

enum os_event_kind : uint8_t {
    os_event_none = 0,
    os_event_mouse_move = 1,
    os_event_mouse_button = 2,
    os_event_mouse_wheel = 3,
    os_event_key = 4,
    os_event_char = 5,
    os_event_window_move = 6,
    os_event_window_resize = 7,
    os_event_focus = 9,
    os_event_file_drop = 10,
    os_event_window_close = 11,
};

enum : uint8_t {
    os_key_state_released = 1,
    os_key_state_pressed = 2,
    os_key_state_repeated = 3,
};

enum : uint8_t {
    os_hover_move = 0,
    os_hover_entered = 1,
    os_hover_left = 2,
};

// Zero-filled before use; fields a kind does not name stay zero.
struct os_event {
    uint8_t kind;
    os_window* window;
    int32_t x, y;          // screen coordinates (client ones for a drop)
    uint8_t hover;         // mouse move
    uint8_t state;         // key or button
    uint16_t key;          // Windows virtual-key code or mouse button code
    uint8_t double_click;  // 0 or 1
    int32_t wheel;         // +1 away from the user, -1 towards
    uint32_t code;         // UTF-16 code unit of a typed character
    int32_t width, height; // window resize
    uint8_t gained;        // focus
    char* paths;           // file drop: NUL-terminated paths, then an empty one
    uint32_t count;        // file drop: number of paths
};

typedef void (*os_event_callback)(os_event* event);

typedef uint8_t os_cursor_shape;

os_window* os_window_create(int32_t width, int32_t height, utf8_string title, uint16_t flags);
void os_set_event_callback(os_event_callback callback);
uint32_t os_poll_messages(void);
void os_wait_for_message(void);
void os_window_show(os_window* window, uint8_t visible);
void os_window_minimize(os_window* window, uint8_t minimized);
void os_window_focus(os_window* window);
void os_window_destroy(os_window* window);
void os_window_flash(os_window* window);
void os_window_move_resize(os_window* window, int32_t x, int32_t y, int32_t width, int32_t height,
                           uint8_t client);
void os_window_move(os_window* window, int32_t x, int32_t y, uint8_t client);
void os_window_resize_centered(os_window* window, int32_t width, int32_t height, uint8_t client);
void os_window_center(os_window* window);
void os_window_set_decorated(os_window* window, uint8_t decorated);
void os_window_set_topmost(os_window* window, uint8_t topmost);
void os_window_set_raw_mouse(os_window* window, uint8_t enabled);
void os_show_cursor(os_window* window, uint8_t visible);
void os_set_cursor(os_cursor_shape shape);
os_cursor_shape os_load_cursor(utf8_string path);
void os_window_create_back_buffer(os_window* window);
void os_window_resize_back_buffer(os_window* window);
void os_window_free_back_buffer(os_window* window);

enum : int32_t { os_max_window_scale = 4 };

// Enlarges the presented picture: the back buffer shrinks to the client size
// divided by scale (rounded up) and every pixel is drawn scale times as wide
// and as high. Events then report the pointer and drop points in back-buffer
// pixels, measured from the client origin; the window's geometry, sizes and
// resize events stay in screen pixels.
void os_window_set_scale(os_window* window, int32_t scale);
// The pictures a task bar shows for the window, 0xAARRGGBB, one per size.
void os_window_set_icon(os_window* window, const pixel_buffer* images, int32_t count);
int32_t os_window_scale(const os_window* window);
// The size a frame for the window has: its client size divided by its scale.
void os_window_logical_size(const os_window* window, int32_t* width, int32_t* height);

// Each returns 1 when the copy was sent to the server (or there was nothing
// to copy), 0 when it could not be made; an X error on a copy later sets the
// window's os_window_flag_exposed. The rectangles of one frame go together
// through os_window_present_rects, which costs at most one round trip.
int32_t os_window_present(os_window* window);
int32_t os_window_present_rect(os_window* window, rect area);
int32_t os_window_present_rects(os_window* window, const rect* areas, int32_t count);
// Copies the area of from into to, whose rows are from->width * scale pixels
// long, each pixel as a scale x scale block.
void os_enlarge_pixels(const pixel_buffer* from, rect area, int32_t scale, color* to);
void os_gl_setup(os_window* window);
int32_t os_gl_swap_buffers(os_window* window);
int32_t os_gl_set_swap_interval(int32_t interval);

// ---------------------------------------------------------------------------
// Clipboard

// A heap copy owned by the caller; text is NUL-terminated (length excludes it).
struct os_clipboard_result {
    uint32_t length;
    uint8_t* data;
};

typedef void os_clipboard_format_callback(uint32_t code, utf8_string* name);

// 0 when there is no clipboard to read, else 1.
int32_t os_clipboard_print_formats(void);
// 1 when there is no clipboard to read, else 0.
int32_t os_clipboard_list_formats(os_clipboard_format_callback* callback);
os_clipboard_result os_clipboard_get_data(uint32_t format);
os_clipboard_result os_clipboard_get_text(void);
os_clipboard_result os_clipboard_get_file_name(void);
os_clipboard_result os_clipboard_get_png(void);
// BMP file bytes.
os_clipboard_result os_clipboard_get_bmp(void);
void os_clipboard_free(os_clipboard_result* result);
void os_clipboard_set_text(utf8_string text);
// Each argument may be empty: a BMP file, a BMP file with a version-5 header, PNG bytes.
void os_clipboard_set_image(utf8_string bmp, utf8_string bmp_v5, utf8_string png);
// A picture of the window's client area, or of the whole screen for null.
void os_clipboard_snapshot(os_window* window);
// The text, and the raw bytes under the named type (e.g. "application/octet-stream").
void os_clipboard_set_text_and_data(utf8_string text, utf8_string data_type, utf8_string data);

// ---------------------------------------------------------------------------
// File chooser
//
// The desktop's dialog for choosing a file to open: the XDG desktop portal's
// FileChooser over the session bus (libdbus-1) when a portal answers, else
// zenity or kdialog as a child process. One at a time; it runs beside the
// caller, who polls it, and os_wait_for_message wakes when it has news.

enum os_file_chooser_status : uint8_t {
    os_file_chooser_idle = 0,         // none is open
    os_file_chooser_waiting = 1,      // open, not answered yet
    os_file_chooser_chosen = 2,       // the paths hold the file chosen
    os_file_chooser_cancelled = 3,    // closed without a file, or with one that is not local
    os_file_chooser_unavailable = 4,  // no portal, zenity or kdialog could show one
};

// Opens the chooser in `folder` (empty: the current directory) for the
// window `parent` (null for none); false while one is already open.
bool os_file_chooser_open(os_window* parent, utf8_string folder, utf8_string title);
// Never blocks. For os_file_chooser_chosen, *paths is a block as a file
// drop's (the path, a NUL, then an empty path) for os_free; else null. Any
// answer closes the chooser.
uint8_t os_file_chooser_poll(char** paths);
// Closes a chooser still open; its answer is lost.
void os_file_chooser_close(void);

// ---------------------------------------------------------------------------
// Input synthesis

struct os_cursor_point {
    int32_t x, y;
};

os_cursor_point os_cursor_position(void);
// Button codes as in events: os_mouse_left, os_mouse_middle, os_mouse_right.
uint8_t os_mouse_button_down(uint16_t button);
// Each returns the number of events injected.
int32_t os_mouse_move_by(int32_t dx, int32_t dy);
// x and y from 0 to 65535 across the primary monitor.
int32_t os_mouse_move_to(int32_t x, int32_t y);
// Only the keys a keyboard can be trusted to have; any other code is returned
// unchanged and nothing is sent.
int32_t os_key_send(uint16_t key, uint8_t pressed);
// Types an ASCII text on the keyboard layout in use.
void os_type_text(const char* text);
