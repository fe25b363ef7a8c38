// The headless-window fixture shared by the window tests.
#include "window_fixture.h"

#include <X11/extensions/XTest.h>
#include <string.h>
#include <unistd.h>

#include "test_support.h"
#include "x_test_support.h"

enum : uint64_t { pump_patience_milliseconds = 2000 };
enum : useconds_t { pump_pause_microseconds = 2000 };

std::vector<recorded_event> recorded_events;

static void record_event(os_event* event) {
    recorded_event copy{*event, std::string(), 0};
    if (event->kind == os_event_file_drop && event->paths) {
        const char* at = event->paths;
        while (*at) at += strlen(at) + 1;
        copy.paths.assign(event->paths, (size_t)(at - event->paths) + 1);
    }
    if (event->window) copy.back_buffer_width = event->window->back_buffer.width;
    copy.event.paths = nullptr;
    recorded_events.push_back(copy);
}

bool pump_until(const std::function<bool()>& done) {
    uint64_t deadline = os_now_milliseconds() + pump_patience_milliseconds;
    while (os_now_milliseconds() < deadline) {
        os_poll_messages();
        if (done()) return true;
        usleep(pump_pause_microseconds);
    }
    return done();
}

std::vector<os_event> events_of(uint8_t kind) {
    std::vector<os_event> out;
    for (const recorded_event& r : recorded_events)
        if (r.event.kind == kind) out.push_back(r.event);
    return out;
}

size_t count_of(uint8_t kind) { return events_of(kind).size(); }

void WindowTest::SetUp() {
    tester = open_x_display();
    if (!tester) SKIP_OR_FAIL_UNDER_CI("no X display");
    recorded_events.clear();
    os_set_event_callback(record_event);
    window = os_window_create(200, 150, os_string("test window"), os_window_flag_hidden | os_window_flag_back_buffer);
    ASSERT_NE(window, nullptr);
    os_window_move(window, 100, 100, 1);
    os_window_show(window, 1);
    os_window_focus(window);
    XSync(tester, False);
    pump_until([&] { return window->client_x == 100 && window->client_y == 100; });
    ASSERT_EQ(window->client_x, 100);
    recorded_events.clear();
}

void WindowTest::TearDown() {
    if (window) os_window_destroy(window);
    os_poll_messages();
    if (tester) XCloseDisplay(tester);
}

void WindowTest::move_pointer(int x, int y) {
    XTestFakeMotionEvent(tester, -1, x, y, CurrentTime);
    XSync(tester, False);
}

void WindowTest::key(unsigned long keysym, bool down) {
    XTestFakeKeyEvent(tester, XKeysymToKeycode(tester, keysym), down, CurrentTime);
    XSync(tester, False);
}

void WindowTest::send_key_press(unsigned long keysym) {
    Window native = (Window)window->native_handle;
    XEvent press;
    memset(&press, 0, sizeof press);
    press.xkey.type = KeyPress;
    press.xkey.display = tester;
    press.xkey.window = native;
    press.xkey.root = DefaultRootWindow(tester);
    press.xkey.time = CurrentTime;
    press.xkey.keycode = XKeysymToKeycode(tester, keysym);
    press.xkey.same_screen = True;
    XSendEvent(tester, native, False, KeyPressMask, &press);
    XSync(tester, False);
}

void WindowTest::button(unsigned int number, bool down) {
    XTestFakeButtonEvent(tester, number, down, CurrentTime);
    XSync(tester, False);
}

void WindowTest::click(unsigned int number) {
    button(number, true);
    button(number, false);
}
