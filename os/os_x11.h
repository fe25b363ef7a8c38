// The X11 side of the window layer, shared by the os/ units that talk to the
// X server: the one display connection, its atoms, the per-window native
// record and the hooks the units call on each other.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include "os/os.h"

struct os_x11_atom_table {
    Atom wm_protocols, wm_delete_window, wm_state;
    Atom utf8_string, net_wm_name, net_wm_state, net_wm_state_above;
    Atom net_wm_window_type, net_wm_window_type_utility, net_wm_window_type_normal;
    Atom net_frame_extents, net_workarea, net_current_desktop, net_active_window;
    Atom motif_wm_hints;
    Atom xsettings_selection, xsettings_settings;
    Atom xdnd_aware, xdnd_enter, xdnd_position, xdnd_status, xdnd_leave, xdnd_drop, xdnd_finished;
    Atom xdnd_selection, xdnd_type_list, xdnd_action_copy, text_uri_list, incr;
};

enum : int { os_xdnd_version = 5 };

struct os_window_native {
    Window window;
    GC gc;
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
};

// Null when no X display can be opened (reported once on standard error).
Display* os_x11_display(void);
os_x11_atom_table* os_x11_atoms(void);
// Errors of requests that may legitimately fail are recorded here instead of
// ending the process; reset it, XSync, then read it.
extern int os_x11_last_error;

// The items of a property holding that type in that format (8, 16 or 32; 32
// arrives as longs), at most max_length 32-bit units of it; null when the
// window has no such property. Free the block with XFree.
unsigned char* os_x11_read_property(Display* display, Window window, Atom property, Atom type, int format,
                                    long max_length, unsigned long* out_items);

// os_window.cpp
os_window* os_x11_find_window(Window window);
void os_x11_refresh_geometry(os_window* window);
// Refreshes the geometry and reports a changed position or size as events,
// fitting the back buffer before the resize event.
void os_x11_update_geometry(os_window* window);
uint32_t os_x11_window_count(void);
os_window* os_x11_window_at(uint32_t index);
void os_x11_close_window(os_window* window);
void os_x11_deactivate_raw_mouse(os_window* window);

// os_cursor.cpp
void os_x11_build_cursor_table(void);
// The cursor a newly opened or re-shown window should display.
void os_x11_apply_cursor(os_window* window);

// os_present.cpp
void os_x11_release_present(os_window* window);

// os_gl.cpp: a visual suited to an OpenGL window, or null.
XVisualInfo* os_x11_gl_visual(Display* display, int screen);
void os_x11_gl_teardown(os_window* window);

// os_keyboard.cpp: the Windows virtual-key code of a key symbol; 0 when the
// key has none.
uint16_t os_x11_virtual_key(unsigned long keysym);
// The Unicode code point a key symbol types, 0 for none.
uint32_t os_x11_keysym_to_unicode(unsigned long keysym);

// os_xdnd.cpp
uint8_t os_x11_handle_xdnd_message(os_window* window, const XClientMessageEvent* message);
void os_x11_handle_xdnd_selection(os_window* window, const XSelectionEvent* selection);
// Parses a text/uri-list into the drop path block: every local file path,
// percent-decoded, followed by a NUL, then one more NUL. The block comes from
// os_alloc; null only when allocation fails.
char* os_xdnd_parse_uri_list(const char* text, int64_t length, uint32_t* out_count);

// os_events.cpp
// Zero-fills the event and sets its kind and window.
void os_x11_begin_event(os_event* event, uint8_t kind, os_window* window);
// Hands the event to the application's callback, if one is set.
void os_x11_deliver(os_event* event);
// The Net/DoubleClickTime of an _XSETTINGS_SETTINGS property,
// or -1 when it holds none.
int32_t os_x11_xsettings_double_click_time(const uint8_t* data, uint64_t size);

// os_clipboard.cpp
// Handles the events of the clipboard's hidden window and of INCR sends in
// progress; 1 when the event was the clipboard's.
uint8_t os_x11_clipboard_handle_event(XEvent* event);
// Image files for snapshots and bitmaps; the length (0 on failure) and a heap
// block in out.
uint64_t os_encode_png(const uint32_t* pixels, uint32_t width, uint32_t height, uint8_t** out);
uint64_t os_encode_bmp(const uint32_t* pixels, uint32_t width, uint32_t height, uint8_t** out);
// A BMP file around a device-independent bitmap; 0 when the DIB is too short.
uint64_t os_bmp_from_dib(const uint8_t* dib, uint64_t length, uint8_t** out);

// os_input_synthesis.cpp
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
