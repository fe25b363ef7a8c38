// The cursor shape table: thirteen shapes from the X cursor font, then any
// cursor files loaded at run time.
#include <X11/Xcursor/Xcursor.h>
#include <X11/cursorfont.h>
#include <string.h>

#include "os/os_path.h"
#include "os/os_x11.h"

enum : uint32_t { cursor_table_initial_capacity = 32, cursor_table_limit = 255, builtin_cursor_count = 13 };
enum : os_cursor_shape { cursor_shape_none = 0, cursor_shape_arrow = 1 };

static Cursor* cursor_table = nullptr;
static uint32_t cursor_count = 0;
static uint32_t cursor_capacity = 0;
static os_cursor_shape current_shape = cursor_shape_arrow;

static Cursor make_blank_cursor(Display* display) {
    char empty[1] = {0};
    Window root = DefaultRootWindow(display);
    Pixmap blank = XCreateBitmapFromData(display, root, empty, 1, 1);
    XColor black;
    memset(&black, 0, sizeof black);
    Cursor cursor = XCreatePixmapCursor(display, blank, blank, &black, &black, 0, 0);
    XFreePixmap(display, blank);
    return cursor;
}

void os_x11_build_cursor_table(void) {
    if (cursor_table) return;
    Display* display = os_x11_display();
    if (!display) return;
    cursor_table = (Cursor*)os_alloc_zeroed(cursor_table_initial_capacity * sizeof(Cursor));
    if (!cursor_table) return;
    cursor_capacity = cursor_table_initial_capacity;
    static const unsigned int font_shapes[builtin_cursor_count] = {
        0,  // none: the blank cursor below
        XC_left_ptr, XC_hand2, XC_watch, XC_xterm, XC_crosshair, XC_X_cursor, XC_question_arrow,
        XC_fleur, XC_sb_h_double_arrow, XC_sb_v_double_arrow, XC_bottom_right_corner, XC_bottom_left_corner,
    };
    cursor_table[cursor_shape_none] = make_blank_cursor(display);
    for (uint32_t i = 1; i < builtin_cursor_count; i++) cursor_table[i] = XCreateFontCursor(display, font_shapes[i]);
    cursor_count = builtin_cursor_count;
}

void os_x11_apply_cursor(os_window* window) {
    if (!window || !(window->flags & os_window_flag_open) || !cursor_table) return;
    os_cursor_shape shape = window->native->cursor_hidden ? (os_cursor_shape)cursor_shape_none : current_shape;
    XDefineCursor(os_x11_display(), (Window)window->native_handle, cursor_table[shape]);
}

void os_set_cursor(os_cursor_shape shape) {
    os_x11_build_cursor_table();
    if (!cursor_table || shape >= cursor_count || shape == current_shape) return;
    current_shape = shape;
    for (uint32_t i = 0; i < os_x11_window_count(); i++) os_x11_apply_cursor(os_x11_window_at(i));
    XFlush(os_x11_display());
}

os_cursor_shape os_load_cursor(utf8_string path) {
    os_x11_build_cursor_table();
    if (!cursor_table || cursor_count >= cursor_table_limit) return 0;
    os_c_path name;
    os_path_begin(&name, path);
    Cursor cursor = name.text[0] ? XcursorFilenameLoadCursor(os_x11_display(), name.text) : None;
    os_path_end(&name);
    if (!cursor) return 0;
    if (cursor_count == cursor_capacity) {
        uint32_t capacity = cursor_capacity * 2;
        if (capacity > cursor_table_limit) capacity = cursor_table_limit;
        Cursor* grown = (Cursor*)os_realloc(cursor_table, capacity * sizeof(Cursor));
        if (!grown) {
            XFreeCursor(os_x11_display(), cursor);
            return 0;
        }
        cursor_table = grown;
        cursor_capacity = capacity;
    }
    cursor_table[cursor_count] = cursor;
    return (os_cursor_shape)cursor_count++;
}
