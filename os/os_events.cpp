// The message pump: X events turned into os_event records for the callback.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <errno.h>
#include <poll.h>
#include <string.h>

#include "os/os_x11.h"

enum : uint32_t { default_double_click_milliseconds = 400 };
enum : int32_t { double_click_distance = 4 };
enum : long { property_read_limit = 0x10000 };  // in 32-bit units
enum : unsigned int { button_left = 1, button_right = 3, button_wheel_up = 4, button_wheel_down = 5 };
enum : uint32_t { carriage_return = 13, line_feed = 10, backspace = 8, delete_character = 127 };
enum : uint32_t { first_supplementary_code_point = 0x10000, high_surrogate_base = 0xD800, low_surrogate_base = 0xDC00 };

struct click_tracker {
    int32_t x, y;
    uint32_t time;
};

// Left, middle, right: X numbers these buttons 1 to 3.
static const uint16_t button_keys[] = {os_mouse_left, os_mouse_middle, os_mouse_right};
static click_tracker click_trackers[3];
static int32_t double_click_milliseconds = -1;
static os_event_callback event_callback = nullptr;

void os_set_event_callback(os_event_callback callback) { event_callback = callback; }

void os_x11_begin_event(os_event* event, uint8_t kind, os_window* window) {
    memset(event, 0, sizeof *event);
    event->kind = kind;
    event->window = window;
}

void os_x11_deliver(os_event* event) {
    if (event_callback) event_callback(event);
}

// ---------------------------------------------------------------------------
// Double-click time from the XSETTINGS manager

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
    if (double_click_milliseconds >= 0) return (uint32_t)double_click_milliseconds;
    double_click_milliseconds = default_double_click_milliseconds;
    os_x11_atom_table* atoms = os_x11_atoms();
    Window manager = XGetSelectionOwner(display, atoms->xsettings_selection);
    if (manager == None) return (uint32_t)double_click_milliseconds;
    unsigned long items = 0;
    unsigned char* data = os_x11_read_property(display, manager, atoms->xsettings_settings, atoms->xsettings_settings,
                                               8, property_read_limit, &items);
    if (data) {
        int32_t value = os_x11_xsettings_double_click_time(data, items);
        if (value > 0) double_click_milliseconds = value;
        XFree(data);
    }
    return (uint32_t)double_click_milliseconds;
}

// ---------------------------------------------------------------------------
// Mouse

static void deliver_mouse_move(os_window* window, int32_t x, int32_t y, uint8_t hover) {
    os_event event;
    os_x11_begin_event(&event, os_event_mouse_move, window);
    event.x = x;
    event.y = y;
    event.hover = hover;
    os_x11_deliver(&event);
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

static uint8_t detect_double_click(Display* display, click_tracker* tracker, int32_t x, int32_t y, uint32_t time) {
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
        os_x11_begin_event(&event, os_event_mouse_wheel, window);
        event.x = button->x_root;
        event.y = button->y_root;
        event.wheel = button->button == button_wheel_up ? 1 : -1;
        os_x11_deliver(&event);
        return;
    }
    if (button->button < button_left || button->button > button_right) return;
    unsigned int index = button->button - button_left;
    os_x11_begin_event(&event, os_event_mouse_button, window);
    event.key = button_keys[index];
    event.x = button->x_root;
    event.y = button->y_root;
    if (button->type == ButtonPress) {
        event.state = os_key_state_pressed;
        event.double_click = detect_double_click(display, &click_trackers[index], button->x, button->y, (uint32_t)button->time);
    } else {
        event.state = os_key_state_released;
    }
    os_x11_deliver(&event);
}

// ---------------------------------------------------------------------------
// Keyboard

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
        os_x11_begin_event(&event, os_event_char, window);
        event.code = high_surrogate_base + (offset >> 10);
        os_x11_deliver(&event);
        code = low_surrogate_base + (offset & 0x3FF);
    }
    os_x11_begin_event(&event, os_event_char, window);
    event.code = code;
    os_x11_deliver(&event);
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
            os_x11_begin_event(&event, os_event_key, window);
            event.state = repeated ? os_key_state_repeated : os_key_state_pressed;
            event.key = virtual_key;
            os_x11_deliver(&event);
        }
        // The key callback may have closed the window.
        if (window->flags & os_window_flag_open) deliver_typed_characters(window, key);
        return;
    }
    if (is_repeat_release(display, key)) return;
    set_key_down(window, key->keycode, 0);
    if (!virtual_key) return;
    os_x11_begin_event(&event, os_event_key, window);
    event.state = os_key_state_released;
    event.key = virtual_key;
    os_x11_deliver(&event);
}

// ---------------------------------------------------------------------------
// Dispatch

static void handle_focus(os_window* window, const XFocusChangeEvent* focus) {
    if (focus->mode == NotifyGrab || focus->mode == NotifyUngrab || focus->detail == NotifyPointer ||
        focus->detail == NotifyInferior)
        return;
    os_event event;
    os_x11_begin_event(&event, os_event_focus, window);
    if (focus->type == FocusIn) {
        window->flags |= os_window_flag_focused;
        if (window->input_flags & os_input_flag_raw_wanted)
            window->input_flags |= os_input_flag_raw_registered | os_input_flag_raw_active;
        event.gained = 1;
    } else {
        window->flags &= (uint16_t)~os_window_flag_focused;
        os_x11_deactivate_raw_mouse(window);
        // Keys released while another window has the focus are never reported here.
        memset(window->native->keys_down, 0, sizeof window->native->keys_down);
    }
    os_x11_deliver(&event);
}

static void handle_client_message(os_window* window, const XClientMessageEvent* message) {
    os_x11_atom_table* atoms = os_x11_atoms();
    if (message->message_type == atoms->wm_protocols && message->format == 32 &&
        (Atom)message->data.l[0] == atoms->wm_delete_window) {
        os_x11_close_window(window);
        return;
    }
    os_x11_handle_xdnd_message(window, message);
}

static void handle_event(Display* display, XEvent* event) {
    if (os_x11_clipboard_handle_event(event)) return;
    if (event->type == MappingNotify) {
        XRefreshKeyboardMapping(&event->xmapping);
        return;
    }
    os_window* window = os_x11_find_window(event->xany.window);
    if (!window || !(window->flags & os_window_flag_open)) return;
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
    case ConfigureNotify: os_x11_update_geometry(window); break;
    case ClientMessage: handle_client_message(window, &event->xclient); break;
    case SelectionNotify: os_x11_handle_xdnd_selection(window, &event->xselection); break;
    case DestroyNotify:
        // Destroyed from outside: the close sequence must not destroy it again.
        if (event->xdestroywindow.window == (Window)window->native_handle) {
            window->native_handle = 0;
            os_x11_close_window(window);
        }
        break;
    case PropertyNotify:
        if (event->xproperty.atom == os_x11_atoms()->net_frame_extents) os_x11_refresh_geometry(window);
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
    return handled;
}

void os_wait_for_message(void) {
    Display* display = os_x11_display();
    if (!display) return;
    while (!XPending(display)) {
        pollfd descriptor = {ConnectionNumber(display), POLLIN, 0};
        int result = poll(&descriptor, 1, -1);
        if (result < 0 && errno != EINTR) return;
        if (result > 0 && (descriptor.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            // Let Xlib notice the broken connection.
            XPending(display);
            return;
        }
    }
}
