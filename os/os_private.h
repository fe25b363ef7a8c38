// The platform layer's own state and the helpers its units share: one record
// of X11 and POSIX state, the X error trap, the wait on a descriptor, list
// growth, path copies, and the pure parsers of X data (declared here so the
// tests can reach them).
//
// Index
//   Lists                  os_list, os_list_push                os_system.cpp
//   Time                   calendar conversion, descriptor wait  os_system.cpp
//   Paths                  os_c_path, programs on PATH, the file chooser's descriptor
//                                                               os_files.cpp, os_file_chooser.cpp
//   Files                  file watches, the mapping fault guard os_files.cpp
//   X11 records            atoms, the per-window native record
//   Clipboard              hidden window state, image encoders  os_clipboard.cpp
//   Input synthesis        the typing plan                      os_input_synthesis.cpp
//   Threads                running threads, parking, unreaped children os_threads.cpp
//   The state record       os_platform
//   X connection           display, error trap, property reads   os_window.cpp
//   Pure parsers           keys, XSETTINGS, uri-lists            os_window.cpp
//   Presentation hooks     stage release, GL visual, GL teardown os_present.cpp
#pragma once

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <pthread.h>
#include <semaphore.h>
#include <sys/types.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include "os/os.h"

// ---------------------------------------------------------------------------
// Lists

// A growable list of fixed-size items, from os_alloc.
struct os_list {
    void* items;
    int64_t count;
    int64_t capacity;
};

// Appends one zeroed item and returns it, doubling the capacity as needed
// (from initial_capacity, never beyond limit items); null when the list is
// full or memory runs out, the list then unchanged.
void* os_list_push(os_list* list, uint64_t item_size, int64_t initial_capacity, int64_t limit);

// ---------------------------------------------------------------------------
// Time

// Seconds and nanoseconds since 1970-01-01 UTC; local picks the local zone.
os_date_time os_date_time_from_unix(int64_t seconds, int64_t nanoseconds, uint8_t local);

enum os_wait_result : uint8_t {
    os_wait_ready = 0,
    os_wait_timed_out = 1,
    os_wait_failed = 2,  // hung up, in error or not open: nothing more will come
};

// Waits until the descriptor has something to read or timeout_milliseconds
// pass (negative: no limit). Signals do not cut the wait short.
os_wait_result os_wait_for_descriptor(int descriptor, int64_t timeout_milliseconds);
// The same over up to four descriptors (negative ones are skipped): ready[i]
// says what became of each; the result is ready when any is, else failed when
// any failed.
os_wait_result os_wait_for_descriptors(const int* descriptors, uint8_t* ready, int32_t count,
                                       int64_t timeout_milliseconds);

// ---------------------------------------------------------------------------
// Paths: NUL-terminated copies of the layer's length-counted paths

enum : uint64_t { os_path_small_size = 1024 };

struct os_c_path {
    char* text;  // points at small unless the path needed the heap
    char small[os_path_small_size];
};

// text is "" (never null) when the copy cannot be made.
void os_path_begin(os_c_path* out, utf8_string path);
void os_path_end(os_c_path* path);

// True when an executable of that name is on PATH.
bool os_program_installed(const char* program);
// What an open file chooser's answer arrives on, for the message wait; -1 for none.
int os_file_chooser_descriptor(void);

// ---------------------------------------------------------------------------
// Files: what the message wait and the crash handler ask of the file mappings
// and watches kept in os_files.cpp

enum : int32_t { os_file_watch_count = 32 };

struct os_file_watch {
    uint8_t used;
    int directory_descriptor;
    int file_descriptor;  // -1 while the file is missing
    char* path;
    const char* name;  // inside path, after the last '/'
};

struct os_file_watch_state {
    uint8_t opened;
    int inotify_fd;  // -1 when inotify is unavailable
    os_file_watch watches[os_file_watch_count];
    uint32_t pending;  // one bit per watch
    uint64_t first_change_ms, last_change_ms;
};

// The descriptor that becomes readable when a watched file changes, or -1
// while nothing is watched.
int32_t os_file_watch_descriptor(void);
// Milliseconds until the pending changes count as settled: -1 when none is
// pending, 0 when they already have.
int32_t os_file_watch_timeout(void);
// Reads what the watch descriptor holds without blocking.
void os_file_watch_drain(void);

// Called from a SIGBUS handler: true when the address lies in a live mapping
// and the missing pages have been replaced by zeros, so the faulting read can
// simply run again. Signal-safe.
bool os_answer_mapping_fault(void* address);

// ---------------------------------------------------------------------------
// X11 records

struct os_x11_atom_table {
    Atom wm_protocols, wm_delete_window;
    Atom utf8_string, net_wm_name, net_wm_state, net_wm_state_above;
    Atom net_wm_window_type, net_wm_window_type_utility, net_wm_window_type_normal;
    Atom net_frame_extents, net_workarea, net_current_desktop, net_active_window;
    Atom motif_wm_hints;
    Atom net_wm_pid, net_wm_icon;
    Atom xsettings_selection, xsettings_settings;
    Atom xdnd_aware, xdnd_enter, xdnd_position, xdnd_status, xdnd_leave, xdnd_drop, xdnd_finished;
    Atom xdnd_selection, xdnd_type_list, xdnd_action_copy, text_uri_list, incr;
};

enum : int { os_xdnd_version = 5 };

// The X11 side of one window.
struct os_window_native {
    Window window;  // kept after close, for the XdndFinished a drop still owes
    Visual* visual;
    int depth;
    Colormap colormap;  // 0 when the default one is used
    uint8_t cursor_hidden;
    uint8_t keys_down[32];  // one bit per keycode

    // drag and drop, from XdndEnter to XdndFinished
    Window xdnd_source;
    int32_t xdnd_version;
    uint8_t xdnd_uri_offered;
    int32_t xdnd_root_x, xdnd_root_y;

    // presentation: the image the back buffer is copied into
    XImage* image;
    uint8_t* stage;  // SHM segment or heap block, stage_capacity bytes
    uint64_t stage_capacity;
    uint8_t stage_is_shm;
    XShmSegmentInfo shm;
    // A shared-memory put the server may not have read yet: the stage must not
    // be written until its completion event (or a round trip) says it has.
    uint8_t put_pending;
    unsigned long put_serial;  // the request of the last such put
};

struct os_click_tracker {
    int32_t x, y;
    uint32_t time;  // 0: no press to pair with
};

enum : uint8_t { os_shm_unknown = 0, os_shm_available = 1, os_shm_unavailable = 2 };

typedef void* (*os_gl_get_proc_address_function)(const GLubyte*);
typedef XVisualInfo* (*os_gl_choose_visual_function)(Display*, int, int*);
typedef GLXContext (*os_gl_create_context_function)(Display*, XVisualInfo*, GLXContext, Bool);
typedef void (*os_gl_destroy_context_function)(Display*, GLXContext);
typedef Bool (*os_gl_make_current_function)(Display*, GLXDrawable, GLXContext);
typedef void (*os_gl_swap_buffers_function)(Display*, GLXDrawable);
typedef void (*os_gl_swap_interval_function)(Display*, GLXDrawable, int);

// ---------------------------------------------------------------------------
// Clipboard: the hidden window's state, and what the event pump and the tests
// reach in os_clipboard.cpp

enum : int32_t {
    os_clipboard_max_offers = 8,
    os_clipboard_max_transfers = 8,
};

struct os_clipboard_offer {
    Atom target;
    uint8_t* bytes;
    uint64_t length;
};

// One INCR send in progress: the requestor deletes the property for each piece.
struct os_clipboard_transfer {
    Window requestor;
    Atom property;
    Atom target;
    uint8_t* bytes;  // a copy, so a new copy to the clipboard cannot pull it away
    uint64_t length;
    uint64_t sent;
    uint64_t last_activity_ms;  // a requestor silent for too long is given up
    long saved_mask;            // our events on the requestor before the send, given back at its end
};

struct os_clipboard_atoms {
    Atom clipboard, targets, timestamp, multiple, atom_pair, incr, save_targets, clipboard_manager;
    Atom utf8_string, text, text_plain_utf8, image_png, image_bmp, uri_list, transfer_property;
};

struct os_clipboard_state {
    Display* display;
    Window window;
    os_clipboard_atoms atoms;
    uint8_t owned;
    Time owned_since;
    os_clipboard_offer offers[os_clipboard_max_offers];
    uint32_t offer_count;
    os_clipboard_transfer transfers[os_clipboard_max_transfers];
    uint8_t handover_registered;
    // Set when the last read timed out, so a fallback does not wait again.
    uint8_t owner_silent;
};

// Handles the events of the clipboard's hidden window and of INCR sends in
// progress; 1 when the event was the clipboard's.
uint8_t os_x11_clipboard_handle_event(XEvent* event);
// Gives up INCR sends whose requestor has been silent too long; the pump calls it.
void os_x11_clipboard_expire_transfers(void);
// Image files for snapshots and bitmaps; the length (0 on failure) and a heap
// block in out.
uint64_t os_encode_png(const uint32_t* pixels, uint32_t width, uint32_t height, uint8_t** out);
uint64_t os_encode_bmp(const uint32_t* pixels, uint32_t width, uint32_t height, uint8_t** out);
// A BMP file around a device-independent bitmap; 0 when the DIB is too short.
uint64_t os_bmp_from_dib(const uint8_t* dib, uint64_t length, uint8_t** out);

// ---------------------------------------------------------------------------
// Input synthesis: the typing plan, pure so the tests can check it

enum : uint8_t {
    os_type_modifier_none = 0,
    os_type_modifier_shift = 1,
    os_type_modifier_altgr = 2,
};

// How to type one character: its key, the modifier held with it, and whether it
// is a dead key (a space follows it). A key of 0 means the character has no row.
struct os_type_key {
    uint16_t key;
    uint8_t modifier;
    uint8_t dead;
};

struct os_type_table {
    os_type_key rows[128];
    uint16_t shift_key;
    uint16_t altgr_keys[2];  // pressed in order, released in the same order
    uint8_t altgr_count;
    uint16_t space_key;
};

struct os_key_stroke {
    uint16_t key;
    uint8_t down;
};

// Strokes beyond capacity are counted but not stored.
struct os_typing_plan {
    os_key_stroke* strokes;
    uint32_t capacity;
    uint32_t count;
};

void os_plan_typing(const os_type_table* table, const char* text, os_typing_plan* plan);
// The table in Windows virtual keys that typing is defined on.
const os_type_table* os_fixed_type_table(void);

// ---------------------------------------------------------------------------
// Threads

enum : int32_t { os_unreaped_capacity = 64 };

// A started thread that has not yet ended; the layer's controls act only on
// threads listed here, so a record whose thread has ended controls nothing.
struct os_running_thread {
    uint32_t id;  // the record's id; 0 marks a free slot
    pthread_t thread;
};

// Makes writes to a pipe without a reader fail with EPIPE instead of ending
// the process; os_init and every child's pipe set-up call it.
void os_ignore_broken_pipes(void);
// Writes every byte unless the descriptor fails; failures are ignored.
void os_write_to_descriptor(int fd, utf8_string bytes);

struct os_threads_state {
    uint32_t counter;  // only grows; read and bumped atomically
    // Suspending parks the target inside a signal handler until it is resumed.
    pthread_once_t parking_once;  // zero is PTHREAD_ONCE_INIT in glibc
    int suspend_signal, resume_signal;
    sem_t parked;
    // Guards the running list and every suspend, resume and kill; zero is
    // PTHREAD_MUTEX_INITIALIZER in glibc, as for the lock below.
    pthread_mutex_t control_lock;
    os_list running;  // os_running_thread
    // Children started without a pipe are reaped later, so none stays a zombie.
    pthread_mutex_t unreaped_lock;
    pid_t unreaped[os_unreaped_capacity];
};

// ---------------------------------------------------------------------------
// The state record: everything the layer keeps between calls. Zero is the
// starting value of every field; the layer fills them on first need.

struct os_platform_state {
    // The X connection
    Display* display;
    uint8_t display_attempted;
    uint8_t display_lost;  // the server went away; Xlib is ending the process
    pthread_t display_thread;  // the one thread that may use the connection
    os_x11_atom_table atoms;
    uint8_t x11_handlers_installed;
    XIOErrorHandler x11_default_io_error_handler;  // Xlib's, which prints and exits
    int32_t x11_trap_depth;
    int x11_last_error;  // see os_x11_begin_error_trap
    // Untrapped errors already reported, one bit per error code, per request
    // code (the core's and the extensions' majors).
    uint32_t x11_reported[256][8];

    // Windows and events
    os_list windows;         // os_window*, the open ones
    os_list closed_windows;  // os_window*, records kept for their holders
    os_event_callback event_callback;
    os_click_tracker click_trackers[3];  // left, middle, right
    int32_t double_click_milliseconds;   // 0 until read from the settings

    // Cursors
    os_list cursors;  // Cursor, indexed by os_cursor_shape
    os_cursor_shape cursor_shape;

    // Presentation
    uint8_t shm_state;
    int shm_major_opcode;     // MIT-SHM's request code, once shm_state is known
    int shm_completion_type;  // the event type of its completions; 0 until then
    os_gl_get_proc_address_function gl_get_proc_address;
    os_gl_choose_visual_function gl_choose_visual;
    os_gl_create_context_function gl_create_context;
    os_gl_destroy_context_function gl_destroy_context;
    os_gl_make_current_function gl_make_current;
    os_gl_swap_buffers_function gl_swap_buffers;
    os_gl_swap_interval_function gl_swap_interval;
    GLXDrawable swap_interval_drawable;

    // Monitors
    os_list monitors;       // os_monitor
    os_list monitor_names;  // char*, every name any monitor had

    // Time
    uint64_t clock_frequency;

    // Process strings, each filled on first request and kept for the process's life
    utf8_string command_line;
    utf8_string* arguments;
    char* argument_text;
    int32_t argument_count;
    utf8_string executable_name;
    utf8_string executable_directory;
    utf8_string current_directory;

    // Files
    int32_t last_file_error;  // an errno value, 0 for none
    char last_file_error_text[512];
    utf8_string desktop_directory;
    os_file_watch_state file_watching;

    // Clipboard
    os_clipboard_state clipboard;

    // Threads and children
    os_threads_state threads;
};

extern os_platform_state os_platform;

// ---------------------------------------------------------------------------
// X connection

// Null when no X display can be opened (reported once on standard error), and
// on any thread but the one that opened it: the connection belongs to the
// thread that pumps messages.
Display* os_x11_display(void);

// The error trap. Requests that may legitimately fail (a drag source that
// vanished, a shared memory attach over a remote link) must not end the
// program: begin the trap, make the request, and the end of the trap waits
// for the server's answer and returns the error code it gave, 0 for none.
// Traps nest; they serve any connection of the calling thread. An error that
// arrives outside every trap is reported as os.h describes.
void os_x11_begin_error_trap(void);
int os_x11_end_error_trap(Display* display);

// The items of a property holding that type in that format (8, 16 or 32; 32
// arrives as longs), at most max_length 32-bit units of it; null when the
// window has no such property. Free the block with XFree.
unsigned char* os_x11_read_property(Display* display, Window window, Atom property, Atom type, int format,
                                    long max_length, unsigned long* out_items);

// ---------------------------------------------------------------------------
// Pure parsers

// The Windows virtual-key code of a key symbol; 0 when the key has none.
uint16_t os_x11_virtual_key(unsigned long keysym);
// The Unicode code point a key symbol types, 0 for none.
uint32_t os_x11_keysym_to_unicode(unsigned long keysym);
// The Net/DoubleClickTime of an _XSETTINGS_SETTINGS property, or -1 when it
// holds none.
int32_t os_x11_xsettings_double_click_time(const uint8_t* data, uint64_t size);
// Parses a text/uri-list into the drop path block: every local file path,
// percent-decoded, followed by a NUL, then one more NUL. The block comes from
// os_alloc; null only when allocation fails.
char* os_xdnd_parse_uri_list(const char* text, int64_t length, uint32_t* out_count);

// ---------------------------------------------------------------------------
// Presentation hooks, called by the window's creation and close

void os_x11_release_present(os_window* window);
// The pump hands every event over first; true for a put's completion, which it took.
uint8_t os_x11_present_handle_event(os_window* window, const XEvent* event);
// Whether the request an X error names copied a picture onto a window.
uint8_t os_x11_is_present_request(int request_code, int minor_code);
// A visual suited to an OpenGL window, or null; free it with XFree.
XVisualInfo* os_x11_gl_visual(Display* display, int screen);
void os_x11_gl_teardown(os_window* window);
