// Files dropped on a window through the XDND protocol (version 5, target side).
#include <X11/Xatom.h>
#include <string.h>

#include "os/os_x11.h"

enum : long { xdnd_more_than_three_types = 1, xdnd_status_accept = 1, xdnd_finished_accepted = 1 };
enum : int { xdnd_first_version_with_time = 1, xdnd_first_version_with_actions = 2 };
enum : long { type_list_read_limit = 0x10000 };  // in 32-bit units

// ---------------------------------------------------------------------------
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

// ---------------------------------------------------------------------------
// Protocol

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
    os_x11_atom_table* atoms = os_x11_atoms();
    long action = 0;
    if (accepted && window->native->xdnd_version >= xdnd_first_version_with_actions) action = (long)atoms->xdnd_action_copy;
    send_to_source(display, window, atoms->xdnd_finished, accepted ? (long)xdnd_finished_accepted : 0L, action, 0, 0);
    forget_drag(window->native);
}

static uint8_t source_offers_uri_list(Display* display, Window source, const XClientMessageEvent* enter) {
    Atom uri_list = os_x11_atoms()->text_uri_list;
    if (!(enter->data.l[1] & xdnd_more_than_three_types)) {
        for (int i = 2; i < 5; i++)
            if ((Atom)enter->data.l[i] == uri_list) return 1;
        return 0;
    }
    // More than three types: the source lists them all in a property of its window.
    unsigned long items = 0;
    uint8_t offered = 0;
    Atom* types = (Atom*)os_x11_read_property(display, source, os_x11_atoms()->xdnd_type_list, XA_ATOM, 32,
                                              type_list_read_limit, &items);
    for (unsigned long i = 0; i < items; i++)
        if (types[i] == uri_list) offered = 1;
    if (types) XFree(types);
    return offered;
}

uint8_t os_x11_handle_xdnd_message(os_window* window, const XClientMessageEvent* message) {
    Display* display = os_x11_display();
    os_x11_atom_table* atoms = os_x11_atoms();
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
    os_x11_begin_event(&event, os_event_file_drop, window);
    event.x = x;
    event.y = y;
    event.paths = paths;
    event.count = count;
    os_x11_deliver(&event);
}

void os_x11_handle_xdnd_selection(os_window* window, const XSelectionEvent* selection) {
    Display* display = os_x11_display();
    os_x11_atom_table* atoms = os_x11_atoms();
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
