// Top-level windows: creation, geometry, the window operations, the back
// buffer and the close sequence.
#include <X11/Xatom.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/shape.h>
#include <poll.h>
#include <string.h>

#include "os/os_x11.h"

enum : uint32_t { window_list_initial_capacity = 4 };
enum : int32_t { bare_window_size = 100 };
enum : int { map_wait_milliseconds = 1000 };

// The layout of _MOTIF_WM_HINTS: flags, functions, decorations, input mode, status.
enum : long { motif_hints_decorations = 2, motif_hint_fields = 5 };

enum : long { net_wm_state_remove = 0, net_wm_state_add = 1 };
// The source indication of window manager requests: a normal application, not a pager.
enum : long { source_normal_application = 1 };

static os_window** window_list = nullptr;
static uint32_t window_count = 0;
static uint32_t window_capacity = 0;

static uint8_t is_open(os_window* window) { return window && (window->flags & os_window_flag_open); }

os_window* os_x11_find_window(Window native) {
    for (uint32_t i = 0; i < window_count; i++)
        if (window_list[i]->native_handle == native) return window_list[i];
    return nullptr;
}

// Every record ever created, open or closed: closed records stay allocated
// for the pointers the application holds, and stay reachable from here.
static os_window** every_window = nullptr;
static uint32_t every_window_count = 0;
static uint32_t every_window_capacity = 0;

static uint8_t append_window(os_window*** list, uint32_t* count, uint32_t* capacity, os_window* window) {
    if (*count == *capacity) {
        uint32_t grown_capacity = *capacity ? *capacity * 2 : window_list_initial_capacity;
        os_window** grown = (os_window**)os_realloc(*list, grown_capacity * sizeof(os_window*));
        if (!grown) return 0;
        *list = grown;
        *capacity = grown_capacity;
    }
    (*list)[(*count)++] = window;
    return 1;
}

static uint8_t append_to_window_list(os_window* window) {
    if (!append_window(&every_window, &every_window_count, &every_window_capacity, window)) return 0;
    if (append_window(&window_list, &window_count, &window_capacity, window)) return 1;
    every_window_count--;
    return 0;
}

static void remove_from_window_list(os_window* window) {
    for (uint32_t i = 0; i < window_count; i++) {
        if (window_list[i] != window) continue;
        for (uint32_t j = i + 1; j < window_count; j++) window_list[j - 1] = window_list[j];
        window_count--;
        return;
    }
}

// ---------------------------------------------------------------------------
// Geometry

struct frame_extents {
    int32_t left, right, top, bottom;
};

static frame_extents read_frame_extents(Display* display, Window native) {
    frame_extents extents = {0, 0, 0, 0};
    unsigned long items = 0;
    long* values = (long*)os_x11_read_property(display, native, os_x11_atoms()->net_frame_extents, XA_CARDINAL, 32,
                                               4, &items);
    if (values && items == 4)
        extents = {(int32_t)values[0], (int32_t)values[1], (int32_t)values[2], (int32_t)values[3]};
    if (values) XFree(values);
    return extents;
}

void os_x11_refresh_geometry(os_window* window) {
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

void os_x11_update_geometry(os_window* window) {
    if (!is_open(window)) return;
    int32_t old_x = window->client_x, old_y = window->client_y;
    int32_t old_width = window->width, old_height = window->height;
    os_x11_refresh_geometry(window);
    os_event event;
    if (window->client_x != old_x || window->client_y != old_y) {
        os_x11_begin_event(&event, os_event_window_move, window);
        event.x = window->client_x;
        event.y = window->client_y;
        os_x11_deliver(&event);
    }
    if (is_open(window) && (window->width != old_width || window->height != old_height)) {
        if (window->flags & os_window_flag_back_buffer) os_window_resize_back_buffer(window);
        os_x11_begin_event(&event, os_event_window_resize, window);
        event.width = window->width;
        event.height = window->height;
        os_x11_deliver(&event);
    }
}

// ---------------------------------------------------------------------------
// Window manager hints

static void set_motif_decorations(Display* display, Window native, uint8_t decorated) {
    long hints[motif_hint_fields] = {motif_hints_decorations, 0, decorated ? 1 : 0, 0, 0};
    Atom atom = os_x11_atoms()->motif_wm_hints;
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
    os_x11_atom_table* atoms = os_x11_atoms();
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
    send_to_window_manager(display, native, os_x11_atoms()->net_wm_state, action, (long)state, 0,
                           source_normal_application);
}

static void apply_topmost(Display* display, os_window* window) {
    Window native = (Window)window->native_handle;
    os_x11_atom_table* atoms = os_x11_atoms();
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
    os_x11_atom_table* atoms = os_x11_atoms();
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

// ---------------------------------------------------------------------------
// Creation

static const long window_event_mask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                                      PointerMotionMask | EnterWindowMask | LeaveWindowMask | ExposureMask |
                                      StructureNotifyMask | FocusChangeMask | PropertyChangeMask;

os_window* os_window_create(int32_t width, int32_t height, utf8_string title, uint16_t flags) {
    os_x11_build_cursor_table();
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
    os_x11_last_error = 0;
    Window native = XCreateWindow(display, root, x, y, (unsigned)width, (unsigned)height, 0, depth, InputOutput,
                                  visual, attribute_mask, &attributes);
    XSync(display, False);
    if (!native || os_x11_last_error) {
        if (colormap) XFreeColormap(display, colormap);
        return nullptr;
    }

    os_window* window = (os_window*)os_alloc_zeroed(sizeof(os_window));
    os_window_native* extra = (os_window_native*)os_alloc_zeroed(sizeof(os_window_native));
    if (!window || !extra || !append_to_window_list(window)) {
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
    extra->gc = XCreateGC(display, native, 0, nullptr);
    window->device_context = (void*)extra->gc;

    set_title(display, native, title);
    set_static_hints(display, window);
    set_size_hints(display, window, width, height, (flags & os_window_flag_bare) != 0);
    os_x11_apply_cursor(window);
    os_x11_refresh_geometry(window);

    if (flags & os_window_flag_back_buffer)
        os_window_create_back_buffer(window);
    else if (flags & os_window_flag_opengl)
        os_gl_setup(window);
    if (!(flags & os_window_flag_hidden)) os_window_show(window, 1);
    XFlush(display);
    return window;
}

// ---------------------------------------------------------------------------
// Back buffer

static uint64_t power_of_two_at_least(uint64_t bytes) {
    uint64_t capacity = 1;
    while (capacity < bytes) capacity <<= 1;
    return capacity;
}

static uint64_t client_bytes(const os_window* window) {
    if (window->width <= 0 || window->height <= 0) return 0;
    return (uint64_t)window->width * (uint64_t)window->height * sizeof(color);
}

static void match_back_buffer_to_client(os_window* window) {
    window->back_buffer.width = window->width > 0 ? window->width : 0;
    window->back_buffer.height = window->height > 0 ? window->height : 0;
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

void os_x11_close_window(os_window* window) {
    if (!is_open(window)) return;
    Display* display = os_x11_display();
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
    os_x11_begin_event(&event, os_event_window_close, window);
    os_x11_deliver(&event);
}

void os_window_destroy(os_window* window) { os_x11_close_window(window); }

// ---------------------------------------------------------------------------
// Window operations

static uint8_t wait_for_map_notify(Display* display, Window native) {
    uint64_t deadline = os_now_milliseconds() + map_wait_milliseconds;
    XEvent event;
    for (;;) {
        XSync(display, False);
        if (XCheckTypedWindowEvent(display, native, MapNotify, &event)) return 1;
        uint64_t now = os_now_milliseconds();
        if (now >= deadline) return 0;
        pollfd descriptor = {ConnectionNumber(display), POLLIN, 0};
        poll(&descriptor, 1, (int)(deadline - now));
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
        os_x11_update_geometry(window);
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
    send_to_window_manager(display, native, os_x11_atoms()->net_active_window, source_normal_application,
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

// X delivers relative motion through XInput2; the layer only keeps the
// bookkeeping, as nothing reads raw input.
void os_window_set_raw_mouse(os_window* window, uint8_t enabled) {
    if (!is_open(window)) return;
    if (enabled) {
        window->input_flags |= os_input_flag_raw_wanted | os_input_flag_raw_registered | os_input_flag_raw_active;
    } else {
        window->input_flags &= (uint8_t)~os_input_flag_raw_wanted;
        os_x11_deactivate_raw_mouse(window);
    }
}

// Raw input is registered once for the whole process, so stopping it for one
// window unregisters it for all of them.
void os_x11_deactivate_raw_mouse(os_window* window) {
    if (!(window->input_flags & os_input_flag_raw_active)) return;
    window->input_flags &= (uint8_t)~os_input_flag_raw_active;
    for (uint32_t i = 0; i < window_count; i++) window_list[i]->input_flags &= (uint8_t)~os_input_flag_raw_registered;
}

void os_show_cursor(os_window* window, uint8_t visible) {
    if (!is_open(window)) return;
    window->native->cursor_hidden = visible ? 0 : 1;
    os_x11_apply_cursor(window);
    XFlush(os_x11_display());
}

// The cursor module walks the open windows through these.
uint32_t os_x11_window_count(void) { return window_count; }
os_window* os_x11_window_at(uint32_t index) { return index < window_count ? window_list[index] : nullptr; }
