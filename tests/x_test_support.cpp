// The X connection with retries and the XDND drag source shared by the tests.
#include "x_test_support.h"

#include <string.h>
#include <time.h>
#include <unistd.h>

#include "test_support.h"

enum : uint64_t { connect_patience_milliseconds = 5000, reply_patience_milliseconds = 5000 };
enum : useconds_t { retry_pause_microseconds = 20000, look_pause_microseconds = 2000 };

static uint64_t milliseconds_now(void) {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint64_t)t.tv_sec * 1000 + (uint64_t)t.tv_nsec / 1000000;
}

Display* open_x_display(void) {
    if (!ensure_x_display()) return nullptr;
    uint64_t deadline = milliseconds_now() + connect_patience_milliseconds;
    for (;;) {
        Display* display = XOpenDisplay(nullptr);
        if (display || milliseconds_now() >= deadline) return display;
        usleep(retry_pause_microseconds);
    }
}

void xdnd_drag_source::begin(Display* connection, const std::string& uris) {
    display = connection;
    uri_list = uris;
    window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(display, atom("XdndSelection"), window, CurrentTime);
    XSync(display, False);
}

void xdnd_drag_source::end(void) {
    if (window != None) XDestroyWindow(display, window);
    XSync(display, False);
    window = None;
}

Atom xdnd_drag_source::atom(const char* name) { return XInternAtom(display, name, False); }

void xdnd_drag_source::send(Window target, const char* type, long l1, long l2, long l3, long l4) {
    XEvent m;
    memset(&m, 0, sizeof m);
    m.xclient.type = ClientMessage;
    m.xclient.window = target;
    m.xclient.message_type = atom(type);
    m.xclient.format = 32;
    m.xclient.data.l[0] = (long)window;
    m.xclient.data.l[1] = l1;
    m.xclient.data.l[2] = l2;
    m.xclient.data.l[3] = l3;
    m.xclient.data.l[4] = l4;
    XSendEvent(display, target, False, NoEventMask, &m);
    XSync(display, False);
}

void xdnd_drag_source::serve(const XSelectionRequestEvent* request) {
    XEvent notify;
    memset(&notify, 0, sizeof notify);
    notify.xselection.type = SelectionNotify;
    notify.xselection.requestor = request->requestor;
    notify.xselection.selection = request->selection;
    notify.xselection.target = request->target;
    notify.xselection.time = request->time;
    notify.xselection.property = None;
    if (request->target == atom("text/uri-list")) {
        XChangeProperty(display, request->requestor, request->property, request->target, 8, PropModeReplace,
                        (const unsigned char*)uri_list.data(), (int)uri_list.size());
        notify.xselection.property = request->property;
    }
    XSendEvent(display, request->requestor, False, NoEventMask, &notify);
    XSync(display, False);
}

bool xdnd_drag_source::wait_for(const char* type, XClientMessageEvent* out, const std::function<void()>& pump) {
    Atom wanted = atom(type);
    uint64_t deadline = milliseconds_now() + reply_patience_milliseconds;
    for (;;) {
        if (pump) pump();
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == SelectionRequest) serve(&event.xselectionrequest);
            if (event.type == ClientMessage && event.xclient.message_type == wanted) {
                *out = event.xclient;
                return true;
            }
        }
        if (milliseconds_now() >= deadline) return false;
        usleep(look_pause_microseconds);
    }
}
