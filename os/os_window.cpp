// Windows, their events and drops: the X connection, the window operations,
// the message pump, key translation, cursors and files dropped through XDND.
//
// Index
//   X connection           the display, its atoms, the error trap, property reads
//   Window list and events
//   Cursors                the shape table and loaded cursor files
//   Geometry
//   Window manager hints
//   Back buffer
//   Close sequence
//   Creation
//   Window operations
//   Double-click time      from the XSETTINGS manager
//   Mouse
//   Keyboard               key events, key symbols to virtual-key codes and characters
//   XDND drops             the target side of version 5, and text/uri-list
//   Message pump           dispatch, os_poll_messages, os_wait_for_message
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xcursor/Xcursor.h>
#include <X11/cursorfont.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "os/os_private.h"

// ---------------------------------------------------------------------------
// X connection

// Requests that can fail on their own (a drag source that vanished, a shared
// memory attach over a remote link) must not end the program; inside a trap
// the error is only recorded.
static void mark_pictures_lost(void);

static int handle_x_error(Display*, XErrorEvent* error) {
    // A copy of a frame that failed left the window without that picture; no
    // trapped request is such a copy.
    uint8_t picture_lost = os_x11_is_present_request(error->request_code, error->minor_code);
    if (picture_lost) mark_pictures_lost();
    if (os_platform.x11_trap_depth > 0 && !picture_lost) {
        os_platform.x11_last_error = error->error_code;
        return 0;
    }
    // Outside a trap it is a real failure: said once per request and error code,
    // so a fault repeated every frame cannot flood the output.
    uint32_t* seen = &os_platform.x11_reported[error->request_code][error->error_code / 32];
    uint32_t bit = 1u << (error->error_code % 32);
    if (*seen & bit) return 0;
    *seen |= bit;
    char line[160];
    int length = snprintf(line, sizeof line, "bitlorn: X error %d on request %d.%d (resource 0x%lx)\n",
                          (int)error->error_code, (int)error->request_code, (int)error->minor_code,
                          (unsigned long)error->resourceid);
    if (length > (int)sizeof line - 1) length = (int)sizeof line - 1;
    os_write_stderr(utf8_string{length, line});
    return 0;
}

// The server went away: Xlib's own handler says so and ends the process; the
// flag keeps the exit handlers from talking to the dead connection.
static int handle_x_io_error(Display* display) {
    os_platform.display_lost = 1;
    if (os_platform.x11_default_io_error_handler) return os_platform.x11_default_io_error_handler(display);
    exit(1);
}

static void install_x_error_handlers(void) {
    if (os_platform.x11_handlers_installed) return;
    os_platform.x11_handlers_installed = 1;
    XSetErrorHandler(handle_x_error);
    os_platform.x11_default_io_error_handler = XSetIOErrorHandler(handle_x_io_error);
}

void os_x11_begin_error_trap(void) {
    install_x_error_handlers();
    if (os_platform.x11_trap_depth++ == 0) os_platform.x11_last_error = 0;
}

int os_x11_end_error_trap(Display* display) {
    XSync(display, False);
    int error = os_platform.x11_last_error;
    if (os_platform.x11_trap_depth > 0) os_platform.x11_trap_depth -= 1;
    return error;
}

enum : int32_t { display_open_attempts = 10, display_retry_milliseconds = 50 };

static void intern_atoms(Display* display) {
    struct named_atom {
        Atom* slot;
        const char* name;
    };
    os_x11_atom_table* a = &os_platform.atoms;
    named_atom names[] = {
        {&a->wm_protocols, "WM_PROTOCOLS"},
        {&a->wm_delete_window, "WM_DELETE_WINDOW"},
        {&a->utf8_string, "UTF8_STRING"},
        {&a->net_wm_name, "_NET_WM_NAME"},
        {&a->net_wm_state, "_NET_WM_STATE"},
        {&a->net_wm_state_above, "_NET_WM_STATE_ABOVE"},
        {&a->net_wm_window_type, "_NET_WM_WINDOW_TYPE"},
        {&a->net_wm_window_type_utility, "_NET_WM_WINDOW_TYPE_UTILITY"},
        {&a->net_wm_window_type_normal, "_NET_WM_WINDOW_TYPE_NORMAL"},
        {&a->net_frame_extents, "_NET_FRAME_EXTENTS"},
        {&a->net_workarea, "_NET_WORKAREA"},
        {&a->net_current_desktop, "_NET_CURRENT_DESKTOP"},
        {&a->net_active_window, "_NET_ACTIVE_WINDOW"},
        {&a->motif_wm_hints, "_MOTIF_WM_HINTS"},
        {&a->net_wm_pid, "_NET_WM_PID"},
        {&a->net_wm_icon, "_NET_WM_ICON"},
        {&a->xsettings_settings, "_XSETTINGS_SETTINGS"},
        {&a->xdnd_aware, "XdndAware"},
        {&a->xdnd_enter, "XdndEnter"},
        {&a->xdnd_position, "XdndPosition"},
        {&a->xdnd_status, "XdndStatus"},
        {&a->xdnd_leave, "XdndLeave"},
        {&a->xdnd_drop, "XdndDrop"},
        {&a->xdnd_finished, "XdndFinished"},
        {&a->xdnd_selection, "XdndSelection"},
        {&a->xdnd_type_list, "XdndTypeList"},
        {&a->xdnd_action_copy, "XdndActionCopy"},
        {&a->text_uri_list, "text/uri-list"},
        {&a->incr, "INCR"},
    };
    for (const named_atom& n : names) *n.slot = XInternAtom(display, n.name, False);
    char selection[32];
    snprintf(selection, sizeof selection, "_XSETTINGS_S%d", DefaultScreen(display));
    a->xsettings_selection = XInternAtom(display, selection, False);
}

Display* os_x11_display(void) {
    if (os_platform.display_attempted) {
        // Xlib is not locked for threads here: one thread owns the connection.
        if (!os_platform.display || !pthread_equal(os_platform.display_thread, pthread_self())) return nullptr;
        return os_platform.display;
    }
    os_platform.display_attempted = 1;
    os_platform.display_thread = pthread_self();
    const char* name = getenv("DISPLAY");
    // A busy server may refuse a new client for a moment; without a name there
    // is nothing to wait for.
    Display* display = XOpenDisplay(nullptr);
    for (int32_t attempt = 1; !display && name && name[0] && attempt < display_open_attempts; attempt++) {
        os_sleep_milliseconds(display_retry_milliseconds);
        display = XOpenDisplay(nullptr);
    }
    if (!display) {
        char line[512];
        int length = snprintf(line, sizeof line, "bitlorn: no X display could be opened (DISPLAY is \"%s\")\n",
                              name ? name : "");
        if (length > (int)sizeof line - 1) length = (int)sizeof line - 1;
        os_write_stderr(utf8_string{length, line});
        return nullptr;
    }
    os_platform.display = display;
    install_x_error_handlers();
    intern_atoms(display);
    // Held keys then repeat as presses without releases in between.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(display, True, &supported);
    return display;
}

unsigned char* os_x11_read_property(Display* display, Window window, Atom property, Atom type, int format,
                                    long max_length, unsigned long* out_items) {
    Atom actual_type = None;
    int actual_format = 0;
    unsigned long items = 0, remaining = 0;
    unsigned char* data = nullptr;
    *out_items = 0;
    // The window may belong to another client and vanish at any time.
    os_x11_begin_error_trap();
    int status = XGetWindowProperty(display, window, property, 0, max_length, False, type, &actual_type,
                                    &actual_format, &items, &remaining, &data);
    int error = os_x11_end_error_trap(display);
    if (status == Success && !error && data && actual_type == type && actual_format == format) {
        *out_items = items;
        return data;
    }
    if (data) XFree(data);
    return nullptr;
}

// ---------------------------------------------------------------------------
// Window list and events

enum : int64_t { window_list_initial_capacity = 4, window_list_limit = INT32_MAX };

static os_window** window_items(void) { return (os_window**)os_platform.windows.items; }

static uint8_t is_open(os_window* window) { return window && (window->flags & os_window_flag_open); }

static os_window* find_window(Window native) {
    for (int64_t i = 0; i < os_platform.windows.count; i++)
        if (window_items()[i]->native_handle == native) return window_items()[i];
    return nullptr;
}

static void mark_pictures_lost(void) {
    for (int64_t i = 0; i < os_platform.windows.count; i++) window_items()[i]->flags |= os_window_flag_exposed;
}

static uint8_t add_to_window_list(os_window* window) {
    os_window** slot = (os_window**)os_list_push(&os_platform.windows, sizeof(os_window*),
                                                 window_list_initial_capacity, window_list_limit);
    if (!slot) return 0;
    *slot = window;
    return 1;
}

// A closed window's record stays readable by whoever holds it (its flags say
// it is closed), so it is kept on the list of closed ones rather than freed.
static void remove_from_window_list(os_window* window) {
    os_window** items = window_items();
    int64_t count = os_platform.windows.count;
    for (int64_t i = 0; i < count; i++) {
        if (items[i] != window) continue;
        for (int64_t j = i + 1; j < count; j++) items[j - 1] = items[j];
        os_platform.windows.count--;
        os_window** slot = (os_window**)os_list_push(&os_platform.closed_windows, sizeof(os_window*),
                                                     window_list_initial_capacity, window_list_limit);
        if (slot) *slot = window;
        return;
    }
}

void os_set_event_callback(os_event_callback callback) { os_platform.event_callback = callback; }

// Zero-fills the event and sets its kind and window.
static void begin_event(os_event* event, uint8_t kind, os_window* window) {
    memset(event, 0, sizeof *event);
    event->kind = kind;
    event->window = window;
}

// Hands the event to the application's callback, if one is set.
static void deliver(os_event* event) {
    if (os_platform.event_callback) os_platform.event_callback(event);
}

// ---------------------------------------------------------------------------
// Cursors

// The table holds thirteen shapes from the X cursor font, then any cursor
// files loaded at run time, up to the largest shape number.
enum : int64_t { cursor_table_initial_capacity = 32, cursor_table_limit = 255 };
enum : uint32_t { builtin_cursor_count = 13 };
enum : os_cursor_shape { cursor_shape_none = 0, cursor_shape_arrow = 1 };

static Cursor* cursor_items(void) { return (Cursor*)os_platform.cursors.items; }

static uint8_t add_cursor(Cursor cursor) {
    Cursor* slot = (Cursor*)os_list_push(&os_platform.cursors, sizeof(Cursor), cursor_table_initial_capacity,
                                         cursor_table_limit);
    if (!slot) return 0;
    *slot = cursor;
    return 1;
}

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

static void build_cursor_table(void) {
    if (os_platform.cursors.count) return;
    Display* display = os_x11_display();
    if (!display) return;
    static const unsigned int font_shapes[builtin_cursor_count] = {
        0,  // none: the blank cursor below
        XC_left_ptr, XC_hand2, XC_watch, XC_xterm, XC_crosshair, XC_X_cursor, XC_question_arrow,
        XC_fleur, XC_sb_h_double_arrow, XC_sb_v_double_arrow, XC_bottom_right_corner, XC_bottom_left_corner,
    };
    if (!add_cursor(make_blank_cursor(display))) return;
    for (uint32_t i = 1; i < builtin_cursor_count; i++) add_cursor(XCreateFontCursor(display, font_shapes[i]));
    os_platform.cursor_shape = cursor_shape_arrow;
}

// The cursor a newly opened or re-shown window should display.
static void apply_cursor(os_window* window) {
    os_cursor_shape shape = window && window->native->cursor_hidden ? (os_cursor_shape)cursor_shape_none
                                                                     : os_platform.cursor_shape;
    Display* display = os_x11_display();
    if (!display || !is_open(window) || shape >= os_platform.cursors.count) return;
    XDefineCursor(display, (Window)window->native_handle, cursor_items()[shape]);
}

void os_set_cursor(os_cursor_shape shape) {
    if (!os_x11_display()) return;
    build_cursor_table();
    if (shape >= os_platform.cursors.count || shape == os_platform.cursor_shape) return;
    os_platform.cursor_shape = shape;
    for (int64_t i = 0; i < os_platform.windows.count; i++) apply_cursor(window_items()[i]);
    XFlush(os_x11_display());
}

os_cursor_shape os_load_cursor(utf8_string path) {
    if (!os_x11_display()) return 0;
    build_cursor_table();
    if (!os_platform.cursors.count || os_platform.cursors.count >= cursor_table_limit) return 0;
    os_c_path name;
    os_path_begin(&name, path);
    Cursor cursor = name.text[0] ? XcursorFilenameLoadCursor(os_x11_display(), name.text) : None;
    os_path_end(&name);
    if (!cursor) return 0;
    if (!add_cursor(cursor)) {
        XFreeCursor(os_x11_display(), cursor);
        return 0;
    }
    return (os_cursor_shape)(os_platform.cursors.count - 1);
}

// ---------------------------------------------------------------------------
// Geometry

struct frame_extents {
    int32_t left, right, top, bottom;
};

static frame_extents read_frame_extents(Display* display, Window native) {
    frame_extents extents = {0, 0, 0, 0};
    unsigned long items = 0;
    long* values = (long*)os_x11_read_property(display, native, os_platform.atoms.net_frame_extents, XA_CARDINAL, 32,
                                               4, &items);
    if (values && items == 4)
        extents = {(int32_t)values[0], (int32_t)values[1], (int32_t)values[2], (int32_t)values[3]};
    if (values) XFree(values);
    return extents;
}

static void refresh_geometry(os_window* window) {
    if (!is_open(window)) return;
    Display* display = os_x11_display();
    Window native = (Window)window->native_handle;
    Window root = None, child = None;
    int x = 0, y = 0;
    unsigned int width = 0, height = 0, border = 0, depth = 0;
    if (!XGetGeometry(display, native, &root, &x, &y, &width, &height, &border, &depth)) return;
    int screen_x = 0, screen_y = 0;
    XTranslateCoordinates(display, native, root, 0, 0, &screen_x, &screen_y, &child);
    frame_extents extents = read_frame_extents(display, native);
    window->client_x = screen_x;
    window->client_y = screen_y;
    window->width = (int32_t)width;
    window->height = (int32_t)height;
    window->outer_x = screen_x - extents.left;
    window->outer_y = screen_y - extents.top;
    window->outer_width = (int32_t)width + extents.left + extents.right;
    window->outer_height = (int32_t)height + extents.top + extents.bottom;
}

// Refreshes the geometry and reports a changed position or size as events,
// fitting the back buffer before the resize event.
static void update_geometry(os_window* window) {
    if (!is_open(window)) return;
    int32_t old_x = window->client_x, old_y = window->client_y;
    int32_t old_width = window->width, old_height = window->height;
    refresh_geometry(window);
    os_event event;
    if (window->client_x != old_x || window->client_y != old_y) {
        begin_event(&event, os_event_window_move, window);
        event.x = window->client_x;
        event.y = window->client_y;
        deliver(&event);
    }
    if (is_open(window) && (window->width != old_width || window->height != old_height)) {
        if (window->flags & os_window_flag_back_buffer) os_window_resize_back_buffer(window);
        begin_event(&event, os_event_window_resize, window);
        event.width = window->width;
        event.height = window->height;
        deliver(&event);
    }
}

// ---------------------------------------------------------------------------
// Window manager hints

// The layout of _MOTIF_WM_HINTS: flags, functions, decorations, input mode, status.
enum : long { motif_hints_decorations = 2, motif_hint_fields = 5 };

enum : long { net_wm_state_remove = 0, net_wm_state_add = 1 };
// The source indication of window manager requests: a normal application, not a pager.
enum : long { source_normal_application = 1 };

static void set_motif_decorations(Display* display, Window native, uint8_t decorated) {
    long hints[motif_hint_fields] = {motif_hints_decorations, 0, decorated ? 1 : 0, 0, 0};
    Atom atom = os_platform.atoms.motif_wm_hints;
    XChangeProperty(display, native, atom, atom, 32, PropModeReplace, (unsigned char*)hints, motif_hint_fields);
}

static void set_size_hints(Display* display, os_window* window, int32_t width, int32_t height, uint8_t positioned) {
    XSizeHints* hints = XAllocSizeHints();
    if (!hints) return;
    hints->flags = PWinGravity;
    hints->win_gravity = NorthWestGravity;
    if (positioned) hints->flags |= PPosition | USPosition;
    if (window->flags & os_window_flag_fixed_size) {
        hints->flags |= PMinSize | PMaxSize;
        hints->min_width = hints->max_width = width;
        hints->min_height = hints->max_height = height;
    }
    XSetWMNormalHints(display, (Window)window->native_handle, hints);
    XFree(hints);
}

static void set_title(Display* display, Window native, utf8_string title) {
    static const char untitled[] = "Window";
    const char* text = title.data;
    int64_t length = title.length;
    if (!text || length <= 0) {
        text = untitled;
        length = sizeof untitled - 1;
    }
    os_x11_atom_table* atoms = &os_platform.atoms;
    uint8_t ascii = 1;
    for (int64_t i = 0; i < length; i++)
        if ((uint8_t)text[i] >= 0x80) ascii = 0;
    XChangeProperty(display, native, atoms->net_wm_name, atoms->utf8_string, 8, PropModeReplace,
                    (const unsigned char*)text, (int)length);
    XChangeProperty(display, native, XA_WM_NAME, ascii ? XA_STRING : atoms->utf8_string, 8, PropModeReplace,
                    (const unsigned char*)text, (int)length);
}

static uint8_t is_viewable(Display* display, Window native) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, native, &attributes)) return 0;
    return attributes.map_state == IsViewable;
}

// A request about a mapped window goes to the window manager as a client
// message on the root window; the manager alone changes the window.
static void send_to_window_manager(Display* display, Window native, Atom message_type, long l0, long l1, long l2,
                                   long l3) {
    XEvent event;
    memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = native;
    event.xclient.message_type = message_type;
    event.xclient.format = 32;
    event.xclient.data.l[0] = l0;
    event.xclient.data.l[1] = l1;
    event.xclient.data.l[2] = l2;
    event.xclient.data.l[3] = l3;
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureNotifyMask | SubstructureRedirectMask,
               &event);
}

static void send_net_wm_state(Display* display, Window native, long action, Atom state) {
    send_to_window_manager(display, native, os_platform.atoms.net_wm_state, action, (long)state, 0,
                           source_normal_application);
}

static void apply_topmost(Display* display, os_window* window) {
    Window native = (Window)window->native_handle;
    os_x11_atom_table* atoms = &os_platform.atoms;
    uint8_t above = (window->flags & os_window_flag_topmost) != 0;
    // An unmapped window carries its state as a property; a mapped one asks the manager.
    if (above)
        XChangeProperty(display, native, atoms->net_wm_state, XA_ATOM, 32, PropModeReplace,
                        (unsigned char*)&atoms->net_wm_state_above, 1);
    else
        XDeleteProperty(display, native, atoms->net_wm_state);
    if (is_viewable(display, native))
        send_net_wm_state(display, native, above ? net_wm_state_add : net_wm_state_remove, atoms->net_wm_state_above);
}

static void set_static_hints(Display* display, os_window* window) {
    Window native = (Window)window->native_handle;
    os_x11_atom_table* atoms = &os_platform.atoms;
    XSetWMProtocols(display, native, &atoms->wm_delete_window, 1);

    XClassHint* class_hint = XAllocClassHint();
    if (class_hint) {
        class_hint->res_name = (char*)"bitlorn";
        class_hint->res_class = (char*)"kel_sharedWindowClass";
        XSetClassHint(display, native, class_hint);
        XFree(class_hint);
    }

    Atom type = (window->flags & os_window_flag_tool) ? atoms->net_wm_window_type_utility
                                                       : atoms->net_wm_window_type_normal;
    XChangeProperty(display, native, atoms->net_wm_window_type, XA_ATOM, 32, PropModeReplace,
                    (unsigned char*)&type, 1);

    // The process id means something only beside the machine's name.
    char host[256];
    if (gethostname(host, sizeof host) == 0) {
        host[sizeof host - 1] = 0;
        XChangeProperty(display, native, XA_WM_CLIENT_MACHINE, XA_STRING, 8, PropModeReplace, (unsigned char*)host,
                        (int)strlen(host));
        long pid = (long)getpid();
        XChangeProperty(display, native, atoms->net_wm_pid, XA_CARDINAL, 32, PropModeReplace, (unsigned char*)&pid, 1);
    }

    long version = os_xdnd_version;
    XChangeProperty(display, native, atoms->xdnd_aware, XA_ATOM, 32, PropModeReplace, (unsigned char*)&version, 1);

    if (window->flags & (os_window_flag_bare | os_window_flag_borderless)) set_motif_decorations(display, native, 0);
    if (window->flags & os_window_flag_topmost) apply_topmost(display, window);

    if (window->flags & os_window_flag_click_through) {
        XserverRegion empty = XFixesCreateRegion(display, nullptr, 0);
        XFixesSetWindowShapeRegion(display, native, ShapeInput, 0, 0, empty);
        XFixesDestroyRegion(display, empty);
    }
}

void os_window_set_icon(os_window* window, const pixel_buffer* images, int32_t count) {
    if (!is_open(window)) return;
    // Format 32 properties travel as one long per item: width, height, then the pixels.
    uint64_t items = 0;
    for (int32_t i = 0; i < count; i++) items += 2 + (uint64_t)images[i].width * (uint64_t)images[i].height;
    if (items == 0) return;
    long* data = (long*)os_alloc(items * sizeof(long));
    if (!data) return;
    long* at = data;
    for (int32_t i = 0; i < count; i++) {
        *at++ = images[i].width;
        *at++ = images[i].height;
        for (int64_t p = 0; p < (int64_t)images[i].width * images[i].height; p++) *at++ = (long)images[i].pixels[p];
    }
    XChangeProperty(os_x11_display(), (Window)window->native_handle, os_platform.atoms.net_wm_icon, XA_CARDINAL, 32,
                    PropModeReplace, (unsigned char*)data, (int)items);
    os_free(data);
}

// ---------------------------------------------------------------------------
// Back buffer

static uint64_t power_of_two_at_least(uint64_t bytes) {
    uint64_t capacity = 1;
    while (capacity < bytes) capacity <<= 1;
    return capacity;
}

static uint64_t client_bytes(const os_window* window) {
    int32_t width = 0, height = 0;
    os_window_logical_size(window, &width, &height);
    return (uint64_t)width * (uint64_t)height * sizeof(color);
}

static void match_back_buffer_to_client(os_window* window) {
    os_window_logical_size(window, &window->back_buffer.width, &window->back_buffer.height);
}

int32_t os_window_scale(const os_window* window) {
    return window && window->scale > 1 ? window->scale : 1;
}

// Rounded up, so that the enlarged frame covers the whole client area.
void os_window_logical_size(const os_window* window, int32_t* width, int32_t* height) {
    int32_t scale = os_window_scale(window);
    *width = window->width > 0 ? (window->width + scale - 1) / scale : 0;
    *height = window->height > 0 ? (window->height + scale - 1) / scale : 0;
}

void os_window_set_scale(os_window* window, int32_t scale) {
    if (!is_open(window)) return;
    window->scale = scale < 1 ? 1 : scale > os_max_window_scale ? os_max_window_scale : scale;
    os_window_resize_back_buffer(window);
}

// Screen coordinates of a pointer over a scaled window: the client origin
// stays put and the distance from it shrinks, rounding toward minus infinity
// so that a pixel left of the window never lands inside it.
static int32_t unscale(int32_t distance, int32_t scale) {
    return distance >= 0 ? distance / scale : -((-distance + scale - 1) / scale);
}

static int32_t unscale_screen_x(const os_window* window, int32_t x) {
    return window->client_x + unscale(x - window->client_x, os_window_scale(window));
}

static int32_t unscale_screen_y(const os_window* window, int32_t y) {
    return window->client_y + unscale(y - window->client_y, os_window_scale(window));
}

void os_window_create_back_buffer(os_window* window) {
    if (!is_open(window)) return;
    uint64_t capacity = power_of_two_at_least(client_bytes(window));
    color* pixels = (color*)os_alloc(capacity);
    if (!pixels) return;
    os_free(window->back_buffer.pixels);
    window->back_buffer.pixels = pixels;
    match_back_buffer_to_client(window);
    window->back_buffer_capacity = capacity;
    window->flags |= os_window_flag_back_buffer;
}

void os_window_resize_back_buffer(os_window* window) {
    if (!is_open(window) || !(window->flags & os_window_flag_back_buffer)) return;
    uint64_t needed = power_of_two_at_least(client_bytes(window));
    if (window->back_buffer_capacity < needed) {
        color* grown = (color*)os_realloc(window->back_buffer.pixels, needed);
        // Without the larger block the old size stays, so drawing stays inside it.
        if (!grown) return;
        window->back_buffer.pixels = grown;
        window->back_buffer_capacity = needed;
    }
    match_back_buffer_to_client(window);
}

static void release_back_buffer(os_window* window) {
    os_x11_release_present(window);
    os_free(window->back_buffer.pixels);
    window->back_buffer = pixel_buffer{0, 0, nullptr};
    window->back_buffer_capacity = 0;
    window->flags &= (uint16_t)~os_window_flag_back_buffer;
}

void os_window_free_back_buffer(os_window* window) {
    if (!is_open(window) || !(window->flags & os_window_flag_back_buffer)) return;
    release_back_buffer(window);
}

// ---------------------------------------------------------------------------
// Close sequence

static void close_window(os_window* window) {
    Display* display = os_x11_display();
    if (!is_open(window) || !display) return;
    window->flags &= (uint16_t)~os_window_flag_open;
    if (window->gl_context) os_x11_gl_teardown(window);
    if (window->flags & os_window_flag_back_buffer) release_back_buffer(window);
    if (window->device_context) {
        XFreeGC(display, (GC)window->device_context);
        window->device_context = nullptr;
    }
    if (window->native_handle) {
        XDestroyWindow(display, (Window)window->native_handle);
        window->native_handle = 0;
    }
    if (window->native->colormap) XFreeColormap(display, window->native->colormap);
    window->native->colormap = 0;
    XFlush(display);
    remove_from_window_list(window);
    os_event event;
    begin_event(&event, os_event_window_close, window);
    deliver(&event);
}

void os_window_destroy(os_window* window) { close_window(window); }

// ---------------------------------------------------------------------------
// Creation

enum : int32_t { bare_window_size = 100 };

static const long window_event_mask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                                      PointerMotionMask | EnterWindowMask | LeaveWindowMask | ExposureMask |
                                      StructureNotifyMask | FocusChangeMask | PropertyChangeMask;

os_window* os_window_create(int32_t width, int32_t height, utf8_string title, uint16_t flags) {
    build_cursor_table();
    Display* display = os_x11_display();
    if (!display) return nullptr;
    int screen = DefaultScreen(display);
    Window root = RootWindow(display, screen);

    Visual* visual = DefaultVisual(display, screen);
    int depth = DefaultDepth(display, screen);
    XVisualInfo* gl_visual = nullptr;
    XVisualInfo argb_visual;
    if (flags & os_window_flag_color_key) {
        if (XMatchVisualInfo(display, screen, 32, TrueColor, &argb_visual)) {
            visual = argb_visual.visual;
            depth = argb_visual.depth;
        }
    } else if ((flags & os_window_flag_opengl) && !(flags & os_window_flag_back_buffer)) {
        gl_visual = os_x11_gl_visual(display, screen);
        if (gl_visual) {
            visual = gl_visual->visual;
            depth = gl_visual->depth;
        }
    }
    if (gl_visual) XFree(gl_visual);

    int32_t x = 0, y = 0;
    if (flags & os_window_flag_bare) width = height = bare_window_size;
    if (width < 1) width = 1;
    if (height < 1) height = 1;

    XSetWindowAttributes attributes;
    memset(&attributes, 0, sizeof attributes);
    unsigned long attribute_mask = CWEventMask | CWBorderPixel | CWBackPixmap | CWBitGravity;
    attributes.event_mask = window_event_mask;
    attributes.border_pixel = 0;
    attributes.background_pixmap = None;
    attributes.bit_gravity = NorthWestGravity;
    Colormap colormap = 0;
    if (visual != DefaultVisual(display, screen)) {
        colormap = XCreateColormap(display, root, visual, AllocNone);
        attributes.colormap = colormap;
        attribute_mask |= CWColormap;
    }
    os_x11_begin_error_trap();
    Window native = XCreateWindow(display, root, x, y, (unsigned)width, (unsigned)height, 0, depth, InputOutput,
                                  visual, attribute_mask, &attributes);
    if (os_x11_end_error_trap(display) || !native) {
        if (colormap) XFreeColormap(display, colormap);
        return nullptr;
    }

    os_window* window = (os_window*)os_alloc_zeroed(sizeof(os_window));
    os_window_native* extra = (os_window_native*)os_alloc_zeroed(sizeof(os_window_native));
    if (!window || !extra || !add_to_window_list(window)) {
        XDestroyWindow(display, native);
        if (colormap) XFreeColormap(display, colormap);
        os_free(window);
        os_free(extra);
        return nullptr;
    }
    window->native = extra;
    window->native_handle = (uint64_t)native;
    window->flags = (uint16_t)(flags | os_window_flag_open | os_window_flag_focused);
    extra->window = native;
    extra->visual = visual;
    extra->depth = depth;
    extra->colormap = colormap;
    window->device_context = (void*)XCreateGC(display, native, 0, nullptr);

    set_title(display, native, title);
    set_static_hints(display, window);
    set_size_hints(display, window, width, height, (flags & os_window_flag_bare) != 0);
    apply_cursor(window);
    refresh_geometry(window);

    if (flags & os_window_flag_back_buffer)
        os_window_create_back_buffer(window);
    else if (flags & os_window_flag_opengl)
        os_gl_setup(window);
    if (!(flags & os_window_flag_hidden)) os_window_show(window, 1);
    XFlush(display);
    return window;
}

// ---------------------------------------------------------------------------
// Window operations

enum : int { map_wait_milliseconds = 1000 };

static uint8_t wait_for_map_notify(Display* display, Window native) {
    uint64_t deadline = os_now_milliseconds() + map_wait_milliseconds;
    XEvent event;
    for (;;) {
        XSync(display, False);
        if (XCheckTypedWindowEvent(display, native, MapNotify, &event)) return 1;
        uint64_t now = os_now_milliseconds();
        if (now >= deadline) return 0;
        os_wait_for_descriptor(ConnectionNumber(display), (int64_t)(deadline - now));
    }
}

void os_window_show(os_window* window, uint8_t visible) {
    if (!is_open(window)) return;
    Display* display = os_x11_display();
    Window native = (Window)window->native_handle;
    if (visible) {
        if (is_viewable(display, native)) return;
        XMapRaised(display, native);
        wait_for_map_notify(display, native);
        // The manager may have moved or resized the window while mapping it.
        update_geometry(window);
    } else {
        XUnmapWindow(display, native);
        XFlush(display);
    }
}

void os_window_minimize(os_window* window, uint8_t minimized) {
    if (!is_open(window)) return;
    Display* display = os_x11_display();
    Window native = (Window)window->native_handle;
    if (minimized)
        XIconifyWindow(display, native, DefaultScreen(display));
    else
        XMapRaised(display, native);
    XFlush(display);
}

void os_window_focus(os_window* window) {
    if (!is_open(window)) return;
    window->flags |= os_window_flag_focused;
    Display* display = os_x11_display();
    Window native = (Window)window->native_handle;
    if (!is_viewable(display, native)) return;
    XRaiseWindow(display, native);
    send_to_window_manager(display, native, os_platform.atoms.net_active_window, source_normal_application,
                           CurrentTime, 0, 0);
    XSetInputFocus(display, native, RevertToParent, CurrentTime);
    XFlush(display);
}

void os_window_flash(os_window* window) {
    if (!is_open(window)) return;
    Display* display = os_x11_display();
    Window native = (Window)window->native_handle;
    XWMHints* hints = XGetWMHints(display, native);
    if (!hints) hints = XAllocWMHints();
    if (!hints) return;
    hints->flags |= XUrgencyHint;
    XSetWMHints(display, native, hints);
    XFree(hints);
    XFlush(display);
}

// Places the outer rectangle; the client area is what remains inside the frame.
static void move_resize_outer(os_window* window, int32_t x, int32_t y, int32_t outer_width, int32_t outer_height) {
    Display* display = os_x11_display();
    int32_t frame_width = window->outer_width - window->width;
    int32_t frame_height = window->outer_height - window->height;
    int32_t width = outer_width - frame_width;
    int32_t height = outer_height - frame_height;
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    set_size_hints(display, window, width, height, 1);
    XMoveResizeWindow(display, (Window)window->native_handle, x, y, (unsigned)width, (unsigned)height);
    XFlush(display);
}

void os_window_move_resize(os_window* window, int32_t x, int32_t y, int32_t width, int32_t height, uint8_t client) {
    if (!is_open(window)) return;
    if (client) {
        x += window->outer_x - window->client_x;
        y += window->outer_y - window->client_y;
        width += window->outer_width - window->width;
        height += window->outer_height - window->height;
    }
    move_resize_outer(window, x, y, width, height);
}

void os_window_move(os_window* window, int32_t x, int32_t y, uint8_t client) {
    if (!is_open(window)) return;
    if (client) {
        x += window->outer_x - window->client_x;
        y += window->outer_y - window->client_y;
    }
    move_resize_outer(window, x, y, window->outer_width, window->outer_height);
}

void os_window_resize_centered(os_window* window, int32_t width, int32_t height, uint8_t client) {
    if (!is_open(window)) return;
    if (client) {
        int32_t outer_width = width + (window->outer_width - window->width);
        int32_t outer_height = height + (window->outer_height - window->height);
        int32_t x = window->outer_x - (window->width - width) / 2;
        int32_t y = window->outer_y - (window->height - height) / 2;
        move_resize_outer(window, x, y, outer_width, outer_height);
    } else {
        int32_t x = window->outer_x - (window->outer_width - width) / 2;
        int32_t y = window->outer_y - (window->outer_height - height) / 2;
        move_resize_outer(window, x, y, width, height);
    }
}

void os_window_center(os_window* window) {
    if (!is_open(window)) return;
    int32_t work_width = 0, work_height = 0;
    os_monitor* monitor = os_first_monitor();
    if (monitor) {
        work_width = monitor->work_width;
        work_height = monitor->work_height;
    } else {
        Display* display = os_x11_display();
        work_width = DisplayWidth(display, DefaultScreen(display));
        work_height = DisplayHeight(display, DefaultScreen(display));
    }
    int32_t x = work_width / 2 - window->outer_width / 2;
    int32_t y = work_height / 2 - window->outer_height / 2;
    move_resize_outer(window, x, y, window->outer_width, window->outer_height);
}

void os_window_set_decorated(os_window* window, uint8_t decorated) {
    if (!is_open(window)) return;
    uint8_t borderless = (window->flags & os_window_flag_borderless) != 0;
    if (decorated ? !borderless : borderless) return;
    if (decorated)
        window->flags &= (uint16_t)~os_window_flag_borderless;
    else
        window->flags |= os_window_flag_borderless;
    Display* display = os_x11_display();
    int32_t client_x = window->client_x, client_y = window->client_y;
    int32_t width = window->width, height = window->height;
    uint8_t bare = (window->flags & os_window_flag_bare) != 0;
    set_motif_decorations(display, (Window)window->native_handle, !decorated || bare ? 0 : 1);
    // The client area stays where it was on the screen.
    XMoveResizeWindow(display, (Window)window->native_handle, client_x, client_y, (unsigned)(width > 0 ? width : 1),
                      (unsigned)(height > 0 ? height : 1));
    XFlush(display);
}

void os_window_set_topmost(os_window* window, uint8_t topmost) {
    if (!is_open(window)) return;
    uint8_t above = (window->flags & os_window_flag_topmost) != 0;
    if ((topmost != 0) == above) return;
    if (topmost)
        window->flags |= os_window_flag_topmost;
    else
        window->flags &= (uint16_t)~os_window_flag_topmost;
    Display* display = os_x11_display();
    apply_topmost(display, window);
    XFlush(display);
}

// Raw input is registered once for the whole process, so stopping it for one
// window unregisters it for all of them.
static void deactivate_raw_mouse(os_window* window) {
    if (!(window->input_flags & os_input_flag_raw_active)) return;
    window->input_flags &= (uint8_t)~os_input_flag_raw_active;
    for (int64_t i = 0; i < os_platform.windows.count; i++)
        window_items()[i]->input_flags &= (uint8_t)~os_input_flag_raw_registered;
}

// X delivers relative motion through XInput2; the layer only keeps the
// bookkeeping, as nothing reads raw input.
void os_window_set_raw_mouse(os_window* window, uint8_t enabled) {
    if (!is_open(window)) return;
    if (enabled) {
        window->input_flags |= os_input_flag_raw_wanted | os_input_flag_raw_registered | os_input_flag_raw_active;
    } else {
        window->input_flags &= (uint8_t)~os_input_flag_raw_wanted;
        deactivate_raw_mouse(window);
    }
}

void os_show_cursor(os_window* window, uint8_t visible) {
    if (!is_open(window) || !os_x11_display()) return;
    window->native->cursor_hidden = visible ? 0 : 1;
    apply_cursor(window);
    XFlush(os_x11_display());
}

// ---------------------------------------------------------------------------
// Double-click time

enum : uint32_t { default_double_click_milliseconds = 400 };
enum : long { property_read_limit = 0x10000 };  // in 32-bit units

static uint32_t read_card32(const uint8_t* p, uint8_t big_endian) {
    if (big_endian) return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
    return (uint32_t)p[3] << 24 | (uint32_t)p[2] << 16 | (uint32_t)p[1] << 8 | p[0];
}

static uint16_t read_card16(const uint8_t* p, uint8_t big_endian) {
    if (big_endian) return (uint16_t)(p[0] << 8 | p[1]);
    return (uint16_t)(p[1] << 8 | p[0]);
}

static uint64_t pad4(uint64_t n) { return (n + 3) & ~(uint64_t)3; }

int32_t os_x11_xsettings_double_click_time(const uint8_t* data, uint64_t size) {
    enum : uint8_t { setting_integer = 0, setting_string = 1, setting_color = 2 };
    static const char wanted[] = "Net/DoubleClickTime";
    if (!data || size < 12) return -1;
    uint8_t big_endian = data[0] != 0;
    uint32_t settings = read_card32(data + 8, big_endian);
    uint64_t at = 12;
    for (uint32_t i = 0; i < settings; i++) {
        if (size - at < 4) return -1;
        uint8_t type = data[at];
        uint64_t name_length = read_card16(data + at + 2, big_endian);
        uint64_t name_at = at + 4;
        if (size - name_at < pad4(name_length) + 4) return -1;
        at = name_at + pad4(name_length) + 4;  // skip the last-change serial
        if (type == setting_integer) {
            if (size - at < 4) return -1;
            int32_t value = (int32_t)read_card32(data + at, big_endian);
            if (name_length == sizeof wanted - 1 && memcmp(data + name_at, wanted, name_length) == 0) return value;
            at += 4;
        } else if (type == setting_string) {
            if (size - at < 4) return -1;
            uint64_t length = read_card32(data + at, big_endian);
            if (size - at - 4 < pad4(length)) return -1;
            at += 4 + pad4(length);
        } else if (type == setting_color) {
            if (size - at < 8) return -1;
            at += 8;
        } else {
            return -1;
        }
    }
    return -1;
}

static uint32_t double_click_time(Display* display) {
    int32_t* cached = &os_platform.double_click_milliseconds;
    if (*cached > 0) return (uint32_t)*cached;
    *cached = default_double_click_milliseconds;
    os_x11_atom_table* atoms = &os_platform.atoms;
    Window manager = XGetSelectionOwner(display, atoms->xsettings_selection);
    if (manager == None) return (uint32_t)*cached;
    unsigned long items = 0;
    unsigned char* data = os_x11_read_property(display, manager, atoms->xsettings_settings, atoms->xsettings_settings,
                                               8, property_read_limit, &items);
    if (data) {
        int32_t value = os_x11_xsettings_double_click_time(data, items);
        if (value > 0) *cached = value;
        XFree(data);
    }
    return (uint32_t)*cached;
}

// ---------------------------------------------------------------------------
// Mouse

enum : int32_t { double_click_distance = 4 };
enum : unsigned int { button_left = 1, button_right = 3, button_wheel_up = 4, button_wheel_down = 5 };

// Left, middle, right: X numbers these buttons 1 to 3.
static const uint16_t button_keys[] = {os_mouse_left, os_mouse_middle, os_mouse_right};

static void deliver_mouse_move(os_window* window, int32_t x, int32_t y, uint8_t hover) {
    os_event event;
    begin_event(&event, os_event_mouse_move, window);
    event.x = unscale_screen_x(window, x);
    event.y = unscale_screen_y(window, y);
    event.hover = hover;
    deliver(&event);
}

static void handle_motion(os_window* window, const XMotionEvent* motion) {
    uint8_t hover = os_hover_move;
    if (!(window->input_flags & os_input_flag_mouse_inside)) {
        window->input_flags |= os_input_flag_mouse_inside;
        hover = os_hover_entered;
    }
    deliver_mouse_move(window, motion->x_root, motion->y_root, hover);
}

static void handle_crossing(os_window* window, const XCrossingEvent* crossing) {
    if (crossing->mode != NotifyNormal || crossing->detail == NotifyInferior) return;
    if (crossing->type == EnterNotify) {
        if (window->input_flags & os_input_flag_mouse_inside) return;
        window->input_flags |= os_input_flag_mouse_inside;
        deliver_mouse_move(window, crossing->x_root, crossing->y_root, os_hover_entered);
    } else {
        window->input_flags &= (uint8_t)~os_input_flag_mouse_inside;
        deliver_mouse_move(window, crossing->x_root, crossing->y_root, os_hover_left);
    }
}

static uint8_t detect_double_click(Display* display, os_click_tracker* tracker, int32_t x, int32_t y, uint32_t time) {
    int32_t dx = tracker->x - x, dy = tracker->y - y;
    if (dx < 0) dx = -dx;
    if (dy < 0) dy = -dy;
    // A zero time means no press to pair with: a fresh tracker or one that just completed a pair.
    uint8_t is_double = tracker->time != 0 && time - tracker->time < double_click_time(display) &&
                        dx < double_click_distance && dy < double_click_distance;
    if (is_double) {
        tracker->time = 0;
    } else {
        tracker->x = x;
        tracker->y = y;
        tracker->time = time;
    }
    return is_double;
}

static void handle_button(Display* display, os_window* window, const XButtonEvent* button) {
    os_event event;
    if (button->button == button_wheel_up || button->button == button_wheel_down) {
        if (button->type != ButtonPress) return;
        begin_event(&event, os_event_mouse_wheel, window);
        event.x = unscale_screen_x(window, button->x_root);
        event.y = unscale_screen_y(window, button->y_root);
        event.wheel = button->button == button_wheel_up ? 1 : -1;
        deliver(&event);
        return;
    }
    if (button->button < button_left || button->button > button_right) return;
    unsigned int index = button->button - button_left;
    begin_event(&event, os_event_mouse_button, window);
    event.key = button_keys[index];
    event.x = unscale_screen_x(window, button->x_root);
    event.y = unscale_screen_y(window, button->y_root);
    if (button->type == ButtonPress) {
        event.state = os_key_state_pressed;
        event.double_click = detect_double_click(display, &os_platform.click_trackers[index], button->x, button->y, (uint32_t)button->time);
    } else {
        event.state = os_key_state_released;
    }
    deliver(&event);
}

// ---------------------------------------------------------------------------
// Keyboard

enum : uint32_t { carriage_return = 13, line_feed = 10, backspace = 8, delete_character = 127 };
enum : uint32_t { first_supplementary_code_point = 0x10000, high_surrogate_base = 0xD800, low_surrogate_base = 0xDC00 };

static uint8_t key_is_down(os_window* window, unsigned int keycode) {
    return (window->native->keys_down[(keycode & 0xFF) >> 3] >> (keycode & 7)) & 1;
}

static void set_key_down(os_window* window, unsigned int keycode, uint8_t down) {
    uint8_t bit = (uint8_t)(1u << (keycode & 7));
    uint8_t* slot = &window->native->keys_down[(keycode & 0xFF) >> 3];
    *slot = down ? (uint8_t)(*slot | bit) : (uint8_t)(*slot & ~bit);
}

static unsigned long unshifted_keysym(Display* display, const XKeyEvent* key) {
    KeySym keysym = XkbKeycodeToKeysym(display, (KeyCode)key->keycode, 0, 0);
    // The keypad's digits and decimal point sit on the second level while Num Lock is on.
    KeySym shifted = XkbKeycodeToKeysym(display, (KeyCode)key->keycode, 0, 1);
    if ((key->state & Mod2Mask) && IsKeypadKey(shifted)) return shifted;
    return keysym;
}

static void deliver_char(os_window* window, uint32_t code) {
    if (code == backspace) return;
    if (code == carriage_return) code = line_feed;
    os_event event;
    if (code >= first_supplementary_code_point) {
        uint32_t offset = code - first_supplementary_code_point;
        begin_event(&event, os_event_char, window);
        event.code = high_surrogate_base + (offset >> 10);
        deliver(&event);
        code = low_surrogate_base + (offset & 0x3FF);
    }
    begin_event(&event, os_event_char, window);
    event.code = code;
    deliver(&event);
}

static void deliver_typed_characters(os_window* window, XKeyEvent* key) {
    char bytes[32];
    KeySym keysym = NoSymbol;
    int length = XLookupString(key, bytes, sizeof bytes, &keysym, nullptr);
    if (keysym == XK_Delete || keysym == XK_KP_Delete) return;
    if (length > 0) {
        // Without an input method the bytes are Latin-1.
        for (int i = 0; i < length; i++) deliver_char(window, (uint8_t)bytes[i]);
        return;
    }
    uint32_t code = os_x11_keysym_to_unicode(keysym);
    if (code && code != delete_character) deliver_char(window, code);
}

// Without detectable auto-repeat a repeat arrives as a release and a press
// with the same time; the release is then not a real one.
static uint8_t is_repeat_release(Display* display, const XKeyEvent* key) {
    if (!XEventsQueued(display, QueuedAfterReading)) return 0;
    XEvent next;
    XPeekEvent(display, &next);
    return next.type == KeyPress && next.xkey.window == key->window && next.xkey.keycode == key->keycode &&
           next.xkey.time == key->time;
}

static void handle_key(Display* display, os_window* window, XKeyEvent* key) {
    uint16_t virtual_key = os_x11_virtual_key(unshifted_keysym(display, key));
    os_event event;
    if (key->type == KeyPress) {
        // With detectable auto-repeat a held key sends presses only, so a press
        // of a key already down is a repeat.
        uint8_t repeated = key_is_down(window, key->keycode);
        set_key_down(window, key->keycode, 1);
        if (virtual_key) {
            begin_event(&event, os_event_key, window);
            event.state = repeated ? os_key_state_repeated : os_key_state_pressed;
            event.key = virtual_key;
            deliver(&event);
        }
        // The key callback may have closed the window.
        if (window->flags & os_window_flag_open) deliver_typed_characters(window, key);
        return;
    }
    if (is_repeat_release(display, key)) return;
    set_key_down(window, key->keycode, 0);
    if (!virtual_key) return;
    begin_event(&event, os_event_key, window);
    event.state = os_key_state_released;
    event.key = virtual_key;
    deliver(&event);
}

enum : unsigned long { unicode_keysym_base = 0x01000000 };

struct keysym_mapping {
    unsigned long keysym;
    uint16_t key;
};

static const keysym_mapping named_keys[] = {
    {XK_BackSpace, os_key_backspace}, {XK_Tab, os_key_tab}, {XK_ISO_Left_Tab, os_key_tab},
    {XK_Return, os_key_return}, {XK_KP_Enter, os_key_return}, {XK_Escape, os_key_escape},
    {XK_space, os_key_space}, {XK_KP_Space, os_key_space},
    {XK_Shift_L, os_key_shift}, {XK_Shift_R, os_key_shift},
    {XK_Control_L, os_key_control}, {XK_Control_R, os_key_control},
    {XK_Alt_L, os_key_alt}, {XK_Alt_R, os_key_alt}, {XK_Meta_L, os_key_alt}, {XK_Meta_R, os_key_alt},
    {XK_ISO_Level3_Shift, os_key_alt},
    {XK_Super_L, os_key_left_super}, {XK_Super_R, os_key_right_super}, {XK_Menu, os_key_menu},
    {XK_Pause, os_key_pause}, {XK_Print, os_key_print_screen},
    {XK_Caps_Lock, os_key_caps_lock}, {XK_Num_Lock, os_key_num_lock}, {XK_Scroll_Lock, os_key_scroll_lock},
    {XK_Prior, os_key_page_up}, {XK_Next, os_key_page_down}, {XK_End, os_key_end}, {XK_Home, os_key_home},
    {XK_Left, os_key_left}, {XK_Up, os_key_up}, {XK_Right, os_key_right}, {XK_Down, os_key_down},
    {XK_Insert, os_key_insert}, {XK_Delete, os_key_delete},
    {XK_KP_Prior, os_key_page_up}, {XK_KP_Next, os_key_page_down}, {XK_KP_End, os_key_end}, {XK_KP_Home, os_key_home},
    {XK_KP_Left, os_key_left}, {XK_KP_Up, os_key_up}, {XK_KP_Right, os_key_right}, {XK_KP_Down, os_key_down},
    {XK_KP_Insert, os_key_insert}, {XK_KP_Delete, os_key_delete}, {XK_KP_Begin, os_key_clear},
    {XK_KP_Multiply, os_key_numpad_multiply}, {XK_KP_Add, os_key_numpad_add}, {XK_KP_Separator, os_key_numpad_separator},
    {XK_KP_Subtract, os_key_numpad_subtract}, {XK_KP_Decimal, os_key_numpad_decimal}, {XK_KP_Divide, os_key_numpad_divide},
    {XK_semicolon, os_key_semicolon}, {XK_equal, os_key_equal}, {XK_comma, os_key_comma},
    {XK_minus, os_key_minus}, {XK_period, os_key_period}, {XK_slash, os_key_slash},
    {XK_grave, os_key_grave}, {XK_bracketleft, os_key_left_bracket}, {XK_backslash, os_key_backslash},
    {XK_bracketright, os_key_right_bracket}, {XK_apostrophe, os_key_apostrophe},
};

uint16_t os_x11_virtual_key(unsigned long keysym) {
    if (keysym >= XK_a && keysym <= XK_z) return (uint16_t)(os_key_a + (keysym - XK_a));
    if (keysym >= XK_A && keysym <= XK_Z) return (uint16_t)(os_key_a + (keysym - XK_A));
    if (keysym >= XK_0 && keysym <= XK_9) return (uint16_t)(os_key_0 + (keysym - XK_0));
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return (uint16_t)(os_key_numpad_0 + (keysym - XK_KP_0));
    if (keysym >= XK_F1 && keysym < XK_F1 + os_function_key_count) return (uint16_t)(os_key_f1 + (keysym - XK_F1));
    for (const keysym_mapping& m : named_keys)
        if (m.keysym == keysym) return m.key;
    return 0;
}

uint32_t os_x11_keysym_to_unicode(unsigned long keysym) {
    if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF)) return (uint32_t)keysym;
    if (keysym >= unicode_keysym_base && keysym <= unicode_keysym_base + 0x10FFFF)
        return (uint32_t)(keysym - unicode_keysym_base);
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return (uint32_t)('0' + (keysym - XK_KP_0));
    switch (keysym) {
    case XK_Return: case XK_KP_Enter: return '\r';
    case XK_Tab: return '\t';
    case XK_Escape: return 0x1B;
    case XK_BackSpace: return '\b';
    case XK_KP_Space: return ' ';
    case XK_KP_Multiply: return '*';
    case XK_KP_Add: return '+';
    case XK_KP_Subtract: return '-';
    case XK_KP_Decimal: return '.';
    case XK_KP_Divide: return '/';
    case XK_EuroSign: return 0x20AC;
    default: return 0;
    }
}

// ---------------------------------------------------------------------------
// XDND drops

enum : long { xdnd_more_than_three_types = 1, xdnd_status_accept = 1, xdnd_finished_accepted = 1 };
enum : int { xdnd_first_version_with_time = 1, xdnd_first_version_with_actions = 2 };
enum : long { type_list_read_limit = 0x10000 };  // in 32-bit units

// text/uri-list

static int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

static uint8_t starts_with(const char* text, int64_t length, const char* prefix) {
    int64_t n = (int64_t)strlen(prefix);
    if (length < n) return 0;
    for (int64_t i = 0; i < n; i++) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
        if (c != prefix[i]) return 0;
    }
    return 1;
}

// Appends the local path of one URI to out; returns the bytes written, 0 when
// the URI names no local file.
static int64_t decode_file_uri(const char* uri, int64_t length, char* out) {
    if (!starts_with(uri, length, "file:")) return 0;
    const char* at = uri + 5;
    const char* end = uri + length;
    if (end - at >= 2 && at[0] == '/' && at[1] == '/') {
        // file://host/path: the host names this machine or nothing.
        at += 2;
        while (at < end && *at != '/') at++;
    }
    if (at >= end || *at != '/') return 0;
    int64_t written = 0;
    while (at < end) {
        char c = *at++;
        if (c == '%' && end - at >= 2 && hex_value(at[0]) >= 0 && hex_value(at[1]) >= 0) {
            c = (char)(hex_value(at[0]) * 16 + hex_value(at[1]));
            at += 2;
            // A NUL inside a path would end it early and name another file.
            if (c == 0) return 0;
        }
        out[written++] = c;
    }
    return written;
}

char* os_xdnd_parse_uri_list(const char* text, int64_t length, uint32_t* out_count) {
    *out_count = 0;
    if (!text || length < 0) length = 0;
    // Decoding never lengthens a line; each line gives at most one NUL, plus the final one.
    char* block = (char*)os_alloc((uint64_t)length + 2);
    if (!block) return nullptr;
    int64_t used = 0;
    int64_t line_start = 0;
    while (line_start < length) {
        int64_t line_end = line_start;
        while (line_end < length && text[line_end] != '\n' && text[line_end] != '\r' && text[line_end] != 0) line_end++;
        const char* line = text + line_start;
        int64_t line_length = line_end - line_start;
        if (line_length > 0 && line[0] != '#') {
            int64_t written = decode_file_uri(line, line_length, block + used);
            if (written > 0) {
                used += written;
                block[used++] = 0;
                (*out_count)++;
            }
        }
        line_start = line_end + 1;
    }
    block[used] = 0;
    return block;
}

// The protocol

static void send_to_source(Display* display, os_window* window, Atom type, long l1, long l2, long l3, long l4) {
    XEvent reply;
    memset(&reply, 0, sizeof reply);
    reply.xclient.type = ClientMessage;
    reply.xclient.window = window->native->xdnd_source;
    reply.xclient.message_type = type;
    reply.xclient.format = 32;
    // The native record keeps the window's id even after a close inside the drop callback.
    reply.xclient.data.l[0] = (long)window->native->window;
    reply.xclient.data.l[1] = l1;
    reply.xclient.data.l[2] = l2;
    reply.xclient.data.l[3] = l3;
    reply.xclient.data.l[4] = l4;
    XSendEvent(display, window->native->xdnd_source, False, NoEventMask, &reply);
    XFlush(display);
}

static void forget_drag(os_window_native* native) {
    native->xdnd_source = None;
    native->xdnd_uri_offered = 0;
}

static void send_finished(Display* display, os_window* window, uint8_t accepted) {
    os_x11_atom_table* atoms = &os_platform.atoms;
    long action = 0;
    if (accepted && window->native->xdnd_version >= xdnd_first_version_with_actions) action = (long)atoms->xdnd_action_copy;
    send_to_source(display, window, atoms->xdnd_finished, accepted ? (long)xdnd_finished_accepted : 0L, action, 0, 0);
    forget_drag(window->native);
}

static uint8_t source_offers_uri_list(Display* display, Window source, const XClientMessageEvent* enter) {
    Atom uri_list = os_platform.atoms.text_uri_list;
    if (!(enter->data.l[1] & xdnd_more_than_three_types)) {
        for (int i = 2; i < 5; i++)
            if ((Atom)enter->data.l[i] == uri_list) return 1;
        return 0;
    }
    // More than three types: the source lists them all in a property of its window.
    unsigned long items = 0;
    uint8_t offered = 0;
    Atom* types = (Atom*)os_x11_read_property(display, source, os_platform.atoms.xdnd_type_list, XA_ATOM, 32,
                                              type_list_read_limit, &items);
    for (unsigned long i = 0; i < items; i++)
        if (types[i] == uri_list) offered = 1;
    if (types) XFree(types);
    return offered;
}

static uint8_t handle_xdnd_message(os_window* window, const XClientMessageEvent* message) {
    Display* display = os_x11_display();
    os_x11_atom_table* atoms = &os_platform.atoms;
    os_window_native* native = window->native;
    Atom type = message->message_type;
    Window source = (Window)message->data.l[0];
    if (type == atoms->xdnd_enter) {
        native->xdnd_source = source;
        // The top byte of the flags word is the source's protocol version.
        native->xdnd_version = (int32_t)((unsigned long)message->data.l[1] >> 24);
        native->xdnd_uri_offered = native->xdnd_version <= os_xdnd_version && source_offers_uri_list(display, source, message);
        return 1;
    }
    if (type == atoms->xdnd_position) {
        if (source != native->xdnd_source) return 1;
        // The pointer's root position, packed as x << 16 | y.
        native->xdnd_root_x = (int32_t)(((unsigned long)message->data.l[2] >> 16) & 0xFFFF);
        native->xdnd_root_y = (int32_t)((unsigned long)message->data.l[2] & 0xFFFF);
        long action = 0;
        if (native->xdnd_uri_offered && native->xdnd_version >= xdnd_first_version_with_actions)
            action = (long)atoms->xdnd_action_copy;
        // An empty rectangle asks the source for a position message at every move.
        send_to_source(display, window, atoms->xdnd_status, native->xdnd_uri_offered ? (long)xdnd_status_accept : 0L, 0, 0,
                       action);
        return 1;
    }
    if (type == atoms->xdnd_leave) {
        if (source == native->xdnd_source) forget_drag(native);
        return 1;
    }
    if (type == atoms->xdnd_drop) {
        if (source != native->xdnd_source) return 1;
        if (!native->xdnd_uri_offered) {
            send_finished(display, window, 0);
            return 1;
        }
        // The paths come as the XdndSelection converted to a text/uri-list; the
        // reply arrives as a SelectionNotify and XdndFinished is sent from there.
        Time time = native->xdnd_version >= xdnd_first_version_with_time ? (Time)message->data.l[2] : CurrentTime;
        XConvertSelection(display, atoms->xdnd_selection, atoms->text_uri_list, atoms->xdnd_selection,
                          (Window)window->native_handle, time);
        XFlush(display);
        return 1;
    }
    return 0;
}

static void deliver_drop(os_window* window, char* paths, uint32_t count) {
    Display* display = os_x11_display();
    Window child = None;
    int x = 0, y = 0;
    XTranslateCoordinates(display, DefaultRootWindow(display), (Window)window->native_handle, window->native->xdnd_root_x,
                          window->native->xdnd_root_y, &x, &y, &child);
    os_event event;
    begin_event(&event, os_event_file_drop, window);
    event.x = unscale(x, os_window_scale(window));
    event.y = unscale(y, os_window_scale(window));
    event.paths = paths;
    event.count = count;
    deliver(&event);
}

static void handle_xdnd_selection(os_window* window, const XSelectionEvent* selection) {
    Display* display = os_x11_display();
    os_x11_atom_table* atoms = &os_platform.atoms;
    if (selection->selection != atoms->xdnd_selection || window->native->xdnd_source == None) return;
    uint8_t accepted = 0;
    if (selection->property != None) {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, remaining = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, (Window)window->native_handle, selection->property, 0, 0x7FFFFFFF, True,
                               AnyPropertyType, &type, &format, &items, &remaining, &data) == Success &&
            data && type != atoms->incr && format == 8) {
            uint32_t count = 0;
            char* paths = os_xdnd_parse_uri_list((const char*)data, (int64_t)items, &count);
            if (paths && count > 0) {
                accepted = 1;
                deliver_drop(window, paths, count);
            }
            os_free(paths);
        }
        if (data) XFree(data);
    }
    // The source waits for this even when the callback closed the window.
    send_finished(display, window, accepted);
}

// ---------------------------------------------------------------------------
// Message pump

static void handle_focus(os_window* window, const XFocusChangeEvent* focus) {
    if (focus->mode == NotifyGrab || focus->mode == NotifyUngrab || focus->detail == NotifyPointer ||
        focus->detail == NotifyInferior)
        return;
    os_event event;
    begin_event(&event, os_event_focus, window);
    if (focus->type == FocusIn) {
        window->flags |= os_window_flag_focused;
        if (window->input_flags & os_input_flag_raw_wanted)
            window->input_flags |= os_input_flag_raw_registered | os_input_flag_raw_active;
        event.gained = 1;
    } else {
        window->flags &= (uint16_t)~os_window_flag_focused;
        deactivate_raw_mouse(window);
        // Keys released while another window has the focus are never reported here.
        memset(window->native->keys_down, 0, sizeof window->native->keys_down);
    }
    deliver(&event);
}

static void handle_client_message(os_window* window, const XClientMessageEvent* message) {
    os_x11_atom_table* atoms = &os_platform.atoms;
    if (message->message_type == atoms->wm_protocols && message->format == 32 &&
        (Atom)message->data.l[0] == atoms->wm_delete_window) {
        close_window(window);
        return;
    }
    handle_xdnd_message(window, message);
}

static void handle_event(Display* display, XEvent* event) {
    // The clipboard's hidden window is served from this same pump.
    if (os_x11_clipboard_handle_event(event)) return;
    if (event->type == MappingNotify) {
        XRefreshKeyboardMapping(&event->xmapping);
        return;
    }
    os_window* window = find_window(event->xany.window);
    if (!window || !(window->flags & os_window_flag_open)) return;
    if (os_x11_present_handle_event(window, event)) return;
    switch (event->type) {
    case KeyPress:
    case KeyRelease: handle_key(display, window, &event->xkey); break;
    case ButtonPress:
    case ButtonRelease: handle_button(display, window, &event->xbutton); break;
    case MotionNotify: handle_motion(window, &event->xmotion); break;
    case EnterNotify:
    case LeaveNotify: handle_crossing(window, &event->xcrossing); break;
    case FocusIn:
    case FocusOut: handle_focus(window, &event->xfocus); break;
    case ConfigureNotify: update_geometry(window); break;
    case Expose: window->flags |= os_window_flag_exposed; break;
    case ClientMessage: handle_client_message(window, &event->xclient); break;
    case SelectionNotify: handle_xdnd_selection(window, &event->xselection); break;
    case DestroyNotify:
        // Destroyed from outside: the close sequence must not destroy it again.
        if (event->xdestroywindow.window == (Window)window->native_handle) {
            window->native_handle = 0;
            close_window(window);
        }
        break;
    case PropertyNotify:
        // Managers set the extents and then resize: a size read here is already
        // the new one, so it is reported here, not left for the ConfigureNotify.
        if (event->xproperty.atom == os_platform.atoms.net_frame_extents) update_geometry(window);
        break;
    default: break;
    }
}

uint32_t os_poll_messages(void) {
    Display* display = os_x11_display();
    if (!display) return 0;
    uint32_t handled = 0;
    while (XPending(display)) {
        XEvent event;
        XNextEvent(display, &event);
        handle_event(display, &event);
        handled++;
    }
    os_x11_clipboard_expire_transfers();
    return handled;
}

// A present's completion is no message: taken here, it wakes no frame.
static bool message_waiting(Display* display) {
    XEvent event;
    while (XPending(display)) {
        XPeekEvent(display, &event);
        if (!os_platform.shm_completion_type || event.type != os_platform.shm_completion_type) return true;
        XNextEvent(display, &event);
        handle_event(display, &event);
    }
    return false;
}

void os_wait_for_message(void) {
    Display* display = os_x11_display();
    if (!display) return;
    while (!message_waiting(display)) {
        // Watched files wake the loop too, once their changes have settled.
        int32_t timeout = os_file_watch_timeout();
        if (timeout == 0) return;
        // So does an open file chooser's answer (negative descriptors are skipped).
        int descriptors[3] = {ConnectionNumber(display), os_file_watch_descriptor(), os_file_chooser_descriptor()};
        uint8_t ready[3] = {os_wait_timed_out, os_wait_timed_out, os_wait_timed_out};
        os_wait_for_descriptors(descriptors, ready, 3, timeout);
        if (ready[0] == os_wait_failed) {
            // Let Xlib notice the broken connection.
            XPending(display);
            return;
        }
        if (ready[1] == os_wait_ready) os_file_watch_drain();
        if (ready[2] != os_wait_timed_out) return;
    }
}

