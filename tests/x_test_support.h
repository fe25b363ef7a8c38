// Helpers for the tests that talk to an X server: a connection that waits for
// a slow server, and a drag source that drops files through XDND.
#pragma once

// Before the X headers, whose macros clash with its names.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <functional>
#include <string>

// A connection to the test display, retried for a few seconds: a server that
// has just answered may still refuse the next client for a moment. Null when
// no display can be had.
Display* open_x_display(void);

// A drag source of the tests' own: a window that owns XdndSelection, sends
// the XDND messages to a target and answers its request for the paths.
struct xdnd_drag_source {
    Display* display = nullptr;
    Window window = None;
    std::string uri_list;

    void begin(Display* connection, const std::string& uris);
    void end(void);
    Atom atom(const char* name);
    void send(Window target, const char* type, long l1, long l2, long l3, long l4);
    // Serves the target's requests until its message of that type arrives,
    // running `pump` between looks (an in-process target's message loop);
    // false after five seconds without it.
    bool wait_for(const char* type, XClientMessageEvent* out, const std::function<void()>& pump = nullptr);

private:
    void serve(const XSelectionRequestEvent* request);
};
