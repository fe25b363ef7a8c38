// The X11 window layer driven through XTest on a private X server.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "os/os_private.h"
#include "window_fixture.h"
#include "x_test_support.h"

namespace {

TEST_F(WindowTest, CreationGivesOpenFocusedRecordWithGeometryAndBackBuffer) {
    EXPECT_TRUE(window->flags & os_window_flag_open);
    EXPECT_TRUE(window->flags & os_window_flag_back_buffer);
    EXPECT_EQ(window->width, 200);
    EXPECT_EQ(window->height, 150);
    EXPECT_EQ(window->back_buffer.width, 200);
    EXPECT_EQ(window->back_buffer.height, 150);
    EXPECT_EQ(window->back_buffer_capacity, 131072u);  // 120000 rounded up to a power of two
    EXPECT_NE(window->device_context, nullptr);

    XClassHint hint;
    ASSERT_TRUE(XGetClassHint(tester, (Window)window->native_handle, &hint));
    EXPECT_STREQ(hint.res_class, "kel_sharedWindowClass");
    XFree(hint.res_name);
    XFree(hint.res_class);
    char* name = nullptr;
    ASSERT_TRUE(XFetchName(tester, (Window)window->native_handle, &name));
    EXPECT_STREQ(name, "test window");
    XFree(name);
}

TEST_F(WindowTest, EmptyTitleBecomesWindowAndUnhiddenWindowsMapAtOnce) {
    os_window* other = os_window_create(50, 50, utf8_string{0, ""}, 0);
    ASSERT_NE(other, nullptr);
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(tester, (Window)other->native_handle, &attributes));
    EXPECT_EQ(attributes.map_state, IsViewable);
    char* name = nullptr;
    ASSERT_TRUE(XFetchName(tester, (Window)other->native_handle, &name));
    EXPECT_STREQ(name, "Window");
    XFree(name);
    EXPECT_FALSE(other->flags & os_window_flag_back_buffer);
    EXPECT_EQ(other->back_buffer.pixels, nullptr);
    os_window_destroy(other);
}

TEST_F(WindowTest, HeldKeyGivesPressThenRepeatsThenOneRelease) {
    // The server drops a second XTest press of a held key, so the repeats come
    // as the presses an auto-repeating server sends: no release in between.
    key(XK_a, true);
    send_key_press(XK_a);
    send_key_press(XK_a);
    key(XK_a, false);
    ASSERT_TRUE(pump_until([] { return count_of(os_event_key) >= 4; }));
    std::vector<os_event> keys = events_of(os_event_key);
    ASSERT_EQ(keys.size(), 4u);
    const uint8_t states[] = {2, 3, 3, 1};
    for (size_t i = 0; i < 4; i++) {
        EXPECT_EQ(keys[i].key, 0x41);
        EXPECT_EQ(keys[i].state, states[i]) << "event " << i;
        EXPECT_EQ(keys[i].window, window);
    }
    // Each press, repeated or not, types the character.
    std::vector<os_event> chars = events_of(os_event_char);
    ASSERT_EQ(chars.size(), 3u);
    EXPECT_EQ(chars[0].code, (uint32_t)'a');
}

TEST_F(WindowTest, EnterTypesLineFeedAndBackspaceTypesNothing) {
    key(XK_Return, true);
    key(XK_Return, false);
    key(XK_BackSpace, true);
    key(XK_BackSpace, false);
    ASSERT_TRUE(pump_until([] { return count_of(os_event_key) >= 4; }));
    std::vector<os_event> keys = events_of(os_event_key);
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0].key, 0x0D);
    EXPECT_EQ(keys[2].key, 0x08);
    EXPECT_EQ(keys[2].state, 2);
    EXPECT_EQ(keys[3].state, 1);
    std::vector<os_event> chars = events_of(os_event_char);
    ASSERT_EQ(chars.size(), 1u);
    EXPECT_EQ(chars[0].code, 10u);
}

TEST_F(WindowTest, ShiftDoesNotChangeTheVirtualKeyButTheCharacter) {
    key(XK_Shift_L, true);
    key(XK_a, true);
    key(XK_a, false);
    key(XK_Shift_L, false);
    ASSERT_TRUE(pump_until([] { return count_of(os_event_key) >= 4; }));
    std::vector<os_event> keys = events_of(os_event_key);
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0].key, 0x10);
    EXPECT_EQ(keys[1].key, 0x41);
    std::vector<os_event> chars = events_of(os_event_char);
    ASSERT_EQ(chars.size(), 1u);
    EXPECT_EQ(chars[0].code, (uint32_t)'A');
}

TEST_F(WindowTest, HoverEntersMovesLeavesAndEntersAgain) {
    move_pointer(900, 900);
    pump_until([] { return false; });
    recorded_events.clear();
    move_pointer(150, 150);
    move_pointer(160, 170);
    move_pointer(900, 900);
    move_pointer(120, 130);
    ASSERT_TRUE(pump_until([] { return count_of(os_event_mouse_move) >= 5; }));
    std::vector<os_event> moves = events_of(os_event_mouse_move);
    ASSERT_GE(moves.size(), 5u);
    EXPECT_EQ(moves[0].hover, 1);
    EXPECT_EQ(moves[0].x, 150);
    EXPECT_EQ(moves[0].y, 150);
    // Later moves inside are ordinary, in screen coordinates.
    size_t i = 1;
    while (i < moves.size() && moves[i].hover == 0) i++;
    EXPECT_EQ(moves[i - 1].x, 160);
    EXPECT_EQ(moves[i - 1].y, 170);
    ASSERT_LT(i + 1, moves.size());
    EXPECT_EQ(moves[i].hover, 2);
    EXPECT_EQ(moves[i + 1].hover, 1);
    EXPECT_EQ(moves[i + 1].x, 120);
    EXPECT_TRUE(window->input_flags & os_input_flag_mouse_inside);
}

TEST_F(WindowTest, FocusLossDeactivatesRawMouseAndFocusGainRestoresIt) {
    os_window_set_raw_mouse(window, 1);
    const uint8_t raw_bits = os_input_flag_raw_wanted | os_input_flag_raw_registered | os_input_flag_raw_active;
    EXPECT_EQ(window->input_flags & raw_bits, raw_bits);
    XSetInputFocus(tester, None, RevertToNone, CurrentTime);
    XSync(tester, False);
    ASSERT_TRUE(pump_until([&] { return !(window->flags & os_window_flag_focused); }));
    EXPECT_EQ(window->input_flags & raw_bits, os_input_flag_raw_wanted);
    XSetInputFocus(tester, (Window)window->native_handle, RevertToNone, CurrentTime);
    XSync(tester, False);
    ASSERT_TRUE(pump_until([&] { return (window->flags & os_window_flag_focused) != 0; }));
    EXPECT_EQ(window->input_flags & raw_bits, raw_bits);
}

TEST_F(WindowTest, ButtonsAndWheelCarryCodesStatesAndScreenPositions) {
    move_pointer(140, 160);
    click(1);
    click(2);
    click(3);
    click(4);
    click(5);
    ASSERT_TRUE(pump_until([] { return count_of(os_event_mouse_button) >= 6 && count_of(os_event_mouse_wheel) >= 2; }));
    std::vector<os_event> buttons = events_of(os_event_mouse_button);
    ASSERT_EQ(buttons.size(), 6u);
    const uint16_t keys[] = {0x104, 0x104, 0x105, 0x105, 0x106, 0x106};
    for (size_t i = 0; i < 6; i++) {
        EXPECT_EQ(buttons[i].key, keys[i]);
        EXPECT_EQ(buttons[i].state, i % 2 == 0 ? 2 : 1);
        EXPECT_EQ(buttons[i].x, 140);
        EXPECT_EQ(buttons[i].y, 160);
    }
    std::vector<os_event> wheels = events_of(os_event_mouse_wheel);
    ASSERT_EQ(wheels.size(), 2u);  // releases of the wheel buttons say nothing
    EXPECT_EQ(wheels[0].wheel, 1);
    EXPECT_EQ(wheels[1].wheel, -1);
    EXPECT_EQ(wheels[0].x, 140);
}

TEST_F(WindowTest, DoubleClickOnSecondQuickPressNotThirdNorAcrossButtons) {
    move_pointer(150, 150);
    // Far from the last test's presses, so no earlier press pairs with these.
    click(1);
    click(1);
    click(1);
    click(3);
    click(1);
    ASSERT_TRUE(pump_until([] { return count_of(os_event_mouse_button) >= 10; }));
    std::vector<os_event> presses;
    for (const os_event& e : events_of(os_event_mouse_button))
        if (e.state == 2) presses.push_back(e);
    ASSERT_EQ(presses.size(), 5u);
    EXPECT_EQ(presses[0].double_click, 0);
    EXPECT_EQ(presses[1].double_click, 1);
    EXPECT_EQ(presses[2].double_click, 0);
    EXPECT_EQ(presses[3].double_click, 0);  // the right button has its own tracker
    EXPECT_EQ(presses[4].double_click, 1);  // pairs with the third left press
}

TEST_F(WindowTest, DragOutsideKeepsReportingScreenCoordinates) {
    move_pointer(150, 150);
    button(1, true);
    move_pointer(50, 40);
    button(1, false);
    ASSERT_TRUE(pump_until([] { return count_of(os_event_mouse_button) >= 2; }));
    std::vector<os_event> buttons = events_of(os_event_mouse_button);
    EXPECT_EQ(buttons[1].state, 1);
    EXPECT_EQ(buttons[1].x, 50);
    EXPECT_EQ(buttons[1].y, 40);
    bool outside_move = false;
    for (const os_event& e : events_of(os_event_mouse_move))
        if (e.x == 50 && e.y == 40) outside_move = true;
    EXPECT_TRUE(outside_move);
}

TEST_F(WindowTest, BackBufferGrowsInPowersOfTwoAndNeverShrinks) {
    os_window_move_resize(window, 100, 100, 300, 250, 1);
    ASSERT_TRUE(pump_until([&] { return window->width == 300; }));
    EXPECT_EQ(window->back_buffer.width, 300);
    EXPECT_EQ(window->back_buffer.height, 250);
    EXPECT_EQ(window->back_buffer_capacity, 524288u);  // 300000 bytes
    std::vector<recorded_event> resizes;
    for (const recorded_event& r : recorded_events)
        if (r.event.kind == os_event_window_resize) resizes.push_back(r);
    ASSERT_EQ(resizes.size(), 1u);
    EXPECT_EQ(resizes[0].event.width, 300);
    EXPECT_EQ(resizes[0].back_buffer_width, 300);  // fitted before the callback ran

    // A window manager sets the frame extents, then resizes, in one flush.
    long extents[4] = {1, 2, 3, 4};
    XChangeProperty(tester, (Window)window->native_handle, XInternAtom(tester, "_NET_FRAME_EXTENTS", False),
                    XA_CARDINAL, 32, PropModeReplace, (unsigned char*)extents, 4);
    XResizeWindow(tester, (Window)window->native_handle, 280, 230);
    XSync(tester, False);
    ASSERT_TRUE(pump_until([&] { return count_of(os_event_window_resize) == 2; }));
    EXPECT_TRUE(events_of(os_event_window_resize).back().width == 280 && window->back_buffer.height == 230);

    os_window_move_resize(window, 100, 100, 20, 10, 1);
    ASSERT_TRUE(pump_until([&] { return window->width == 20; }));
    EXPECT_EQ(window->back_buffer.width, 20);
    EXPECT_EQ(window->back_buffer.height, 10);
    EXPECT_EQ(window->back_buffer_capacity, 524288u);

    os_window_free_back_buffer(window);
    EXPECT_FALSE(window->flags & os_window_flag_back_buffer);
    EXPECT_EQ(window->back_buffer.pixels, nullptr);
    EXPECT_EQ(window->back_buffer_capacity, 0u);
    os_window_present(window);  // nothing to copy, nothing fails
    os_window_create_back_buffer(window);
    EXPECT_EQ(window->back_buffer_capacity, 1024u);  // 800 bytes
}

TEST_F(WindowTest, MoveReportsNewClientPosition) {
    os_window_move(window, 300, 200, 1);
    ASSERT_TRUE(pump_until([] { return count_of(os_event_window_move) >= 1; }));
    std::vector<os_event> moves = events_of(os_event_window_move);
    EXPECT_EQ(moves.back().x, 300);
    EXPECT_EQ(moves.back().y, 200);
    EXPECT_EQ(window->client_x, 300);
    os_window_move(window, -50, -20, 1);
    ASSERT_TRUE(pump_until([] { return count_of(os_event_window_move) >= 2; }));
    EXPECT_EQ(events_of(os_event_window_move).back().x, -50);
    EXPECT_EQ(events_of(os_event_window_move).back().y, -20);
}

static color read_pixel(XImage* image, int x, int y) { return (color)XGetPixel(image, x, y) & 0xFFFFFF; }

TEST_F(WindowTest, PresentShowsTheBackBufferAndPresentRectOnlyItsRectangle) {
    pixel_buffer* buffer = &window->back_buffer;
    for (int32_t y = 0; y < buffer->height; y++)
        for (int32_t x = 0; x < buffer->width; x++) buffer->pixels[y * buffer->width + x] = (color)(0xFF000000u | (x << 16) | (y << 8) | 0x5A);
    os_window_present(window);
    XSync(os_x11_display(), False);  // the tester's connection must see what ours sent
    XImage* image = XGetImage(tester, (Window)window->native_handle, 0, 0, 200, 150, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(read_pixel(image, 0, 0), 0x00005Au);
    EXPECT_EQ(read_pixel(image, 199, 149), (color)((199 << 16) | (149 << 8) | 0x5A));
    EXPECT_EQ(read_pixel(image, 17, 33), (color)((17 << 16) | (33 << 8) | 0x5A));
    XDestroyImage(image);

    for (int32_t i = 0; i < buffer->width * buffer->height; i++) buffer->pixels[i] = 0xFF123456u;
    rect areas[] = {{10, 20, 30, 40}, {300, 0, 5, 5}};  // one frame's, the second outside the buffer
    EXPECT_EQ(os_window_present_rects(window, areas, 2), 1);
    EXPECT_TRUE(!window->native->stage_is_shm || window->native->put_pending);  // no round trip waited
    XSync(os_x11_display(), False);
    image = XGetImage(tester, (Window)window->native_handle, 0, 0, 200, 150, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(read_pixel(image, 10, 20), 0x123456u);
    EXPECT_EQ(read_pixel(image, 39, 59), 0x123456u);
    EXPECT_EQ(read_pixel(image, 9, 20), (color)((9 << 16) | (20 << 8) | 0x5A));
    EXPECT_EQ(read_pixel(image, 10, 60), (color)((10 << 16) | (60 << 8) | 0x5A));
    EXPECT_EQ(read_pixel(image, 40, 59), (color)((40 << 16) | (59 << 8) | 0x5A));
    XDestroyImage(image);
    int major = 0, minor = 0;
    Bool pixmaps = False;
    if (XShmQueryVersion(tester, &major, &minor, &pixmaps)) {
        EXPECT_TRUE(window->native->stage_is_shm);
        EXPECT_TRUE(pump_until([&] { return !window->native->put_pending; }));  // the completion came
    }
    // A rectangle reaching past the buffer is cut to it.
    os_window_present_rect(window, rect{-10, 140, 500, 500});
    // A copy the server refuses (a GC of another depth) leaves the window without its picture.
    Pixmap bitmap = XCreatePixmap(os_x11_display(), (Window)window->native_handle, 1, 1, 1);
    void* gc = window->device_context;
    window->device_context = XCreateGC(os_x11_display(), bitmap, 0, nullptr);
    window->flags &= (uint16_t)~os_window_flag_exposed;
    os_window_present_rect(window, rect{0, 0, 8, 8});
    EXPECT_TRUE(pump_until([&] { return (window->flags & os_window_flag_exposed) != 0; }));
    XFreeGC(os_x11_display(), (GC)window->device_context), XFreePixmap(os_x11_display(), bitmap);
    window->device_context = gc;
}

TEST_F(WindowTest, DeleteWindowMessageGivesExactlyOneCloseEvent) {
    Atom protocols = XInternAtom(tester, "WM_PROTOCOLS", False);
    Atom delete_window = XInternAtom(tester, "WM_DELETE_WINDOW", False);
    XEvent message;
    memset(&message, 0, sizeof message);
    message.xclient.type = ClientMessage;
    message.xclient.window = (Window)window->native_handle;
    message.xclient.message_type = protocols;
    message.xclient.format = 32;
    message.xclient.data.l[0] = (long)delete_window;
    message.xclient.data.l[1] = CurrentTime;
    XSendEvent(tester, (Window)window->native_handle, False, NoEventMask, &message);
    XSendEvent(tester, (Window)window->native_handle, False, NoEventMask, &message);
    XSync(tester, False);
    ASSERT_TRUE(pump_until([] { return count_of(os_event_window_close) >= 1; }));
    pump_until([] { return false; });
    EXPECT_EQ(count_of(os_event_window_close), 1u);
    EXPECT_FALSE(window->flags & os_window_flag_open);
    EXPECT_FALSE(window->flags & os_window_flag_back_buffer);
    EXPECT_EQ(window->native_handle, 0u);
    // Operations on the closed husk do nothing.
    os_window_present(window);
    os_window_show(window, 1);
    os_window_destroy(window);
    os_poll_messages();
    EXPECT_EQ(count_of(os_event_window_close), 1u);
}

TEST_F(WindowTest, DropThroughXdndDeliversPathsInClientCoordinates) {
    Atom aware = XInternAtom(tester, "XdndAware", False);
    Atom type = None;
    int format = 0;
    unsigned long items = 0, remaining = 0;
    unsigned char* data = nullptr;
    ASSERT_EQ(XGetWindowProperty(tester, (Window)window->native_handle, aware, 0, 1, False, XA_ATOM, &type, &format,
                                 &items, &remaining, &data), Success);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(((long*)data)[0], 5);
    XFree(data);

    xdnd_drag_source source;
    source.begin(tester, "# dropped\r\nfile:///tmp/a%20b.bin\r\nfile://host/tmp/c.txt\r\n");
    Window target = (Window)window->native_handle;
    auto pump = [] { os_poll_messages(); };
    source.send(target, "XdndEnter", 5L << 24, (long)source.atom("text/uri-list"), 0, 0);
    source.send(target, "XdndPosition", 0, (130L << 16) | 125L, CurrentTime, (long)source.atom("XdndActionCopy"));
    XClientMessageEvent reply;
    ASSERT_TRUE(source.wait_for("XdndStatus", &reply, pump));
    EXPECT_EQ(reply.data.l[1] & 1, 1);
    source.send(target, "XdndDrop", 0, CurrentTime, 0, 0);
    ASSERT_TRUE(source.wait_for("XdndFinished", &reply, pump));
    EXPECT_EQ(reply.data.l[1] & 1, 1);

    std::vector<recorded_event> drops;
    for (const recorded_event& r : recorded_events)
        if (r.event.kind == os_event_file_drop) drops.push_back(r);
    ASSERT_EQ(drops.size(), 1u);
    EXPECT_EQ(drops[0].event.count, 2u);
    EXPECT_EQ(drops[0].paths, std::string("/tmp/a b.bin\0/tmp/c.txt\0\0", 25));
    EXPECT_EQ(drops[0].event.x, 30);
    EXPECT_EQ(drops[0].event.y, 25);
    source.end();
}

TEST_F(WindowTest, MonitorsEnumeratedTwiceKeepOneRecordEach) {
    int32_t count = 0;
    os_monitor* list = nullptr;
    int32_t first = os_get_monitors(&count, &list);
    ASSERT_GE(first, 1);
    EXPECT_EQ(count, first);
    EXPECT_EQ(os_get_monitors(nullptr, nullptr), first);
    os_monitor* monitor = os_first_monitor();
    ASSERT_NE(monitor, nullptr);
    EXPECT_GT(monitor->width, 0);
    EXPECT_GT(monitor->height, 0);
    EXPECT_GE(monitor->refresh_rate, 2);
    EXPECT_GT(monitor->work_width, 0);
    EXPECT_LE(monitor->work_width, monitor->width);
    ASSERT_NE(monitor->name, nullptr);
    EXPECT_EQ((int32_t)strlen(monitor->name), monitor->name_length);
    int32_t primaries = 0;
    for (int32_t i = 0; i < count; i++) primaries += (list[i].flags & os_monitor_flag_primary) ? 1 : 0;
    EXPECT_EQ(primaries, 1) << "exactly one monitor is the main one, even when the server names none";
}

TEST_F(WindowTest, UnknownCursorShapesAndUnreadableCursorFilesChangeNothing) {
    os_set_cursor(200);
    os_set_cursor(0);
    os_set_cursor(4);
    os_set_cursor(1);
    EXPECT_EQ(os_load_cursor(os_string("/nonexistent/cursor.cur")), 0);
}

TEST_F(WindowTest, OpenGlWindowGetsAContextThatSwapsAndLosesItOnClose) {
    os_window* gl = os_window_create(64, 64, os_string("gl"), os_window_flag_opengl | os_window_flag_hidden);
    ASSERT_NE(gl, nullptr);
    if (!gl->gl_context) {
        os_window_destroy(gl);
        GTEST_SKIP() << "no GLX on this server";
    }
    os_window_show(gl, 1);
    EXPECT_EQ(os_gl_swap_buffers(gl), 1);
    int32_t interval = os_gl_set_swap_interval(1);
    EXPECT_TRUE(interval == 0 || interval == 1);
    os_window_destroy(gl);
    EXPECT_EQ(gl->gl_context, nullptr);
    EXPECT_EQ(os_gl_swap_buffers(gl), 0);
}

}  // namespace
