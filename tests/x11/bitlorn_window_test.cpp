// The real program under a private X server: its window, its status bar read
// back from the screen, a file dropped through XDND, and closing it.
#include "x11_harness.h"

#include <X11/Xatom.h>

namespace {

TEST_F(ProgramTest, WindowHasTitleClassAndClientSize) {
    start({});
    EXPECT_EQ(title(), window_title);
    char* name = nullptr;
    ASSERT_TRUE(XFetchName(display, window, &name));
    EXPECT_STREQ(name, window_title);
    XFree(name);
    Window root = None;
    int x = 0, y = 0;
    unsigned int width = 0, height = 0, border = 0, depth = 0;
    ASSERT_TRUE(XGetGeometry(display, window, &root, &x, &y, &width, &height, &border, &depth));
    EXPECT_EQ(width, 1280u);
    EXPECT_EQ(height, 720u);
    // Centred on the 1920 x 1080 screen.
    EXPECT_EQ(x, (1920 - 1280) / 2);
    EXPECT_EQ(y, (1080 - 720) / 2);

    // Task bars find the process and the icon: sizes first, then opaque pixels inside.
    EXPECT_EQ(cardinals("_NET_WM_PID"), std::vector<long>{pid});
    std::vector<long> icon = cardinals("_NET_WM_ICON");
    ASSERT_GE(icon.size(), 2u + 32 * 32);
    EXPECT_EQ(std::vector<long>(icon.begin(), icon.begin() + 2), (std::vector<long>{32, 32}));
    EXPECT_EQ(((unsigned long)icon[2 + 16 * 32 + 16] >> 24) & 0xFF, 0xFFu);
}

TEST_F(ProgramTest, FileOnTheCommandLineShowsItsSizeInTheStatusBar) {
    std::vector<uint8_t> bytes(4321, 0xAB);
    std::string path = write_temp_file("sample.bin", bytes.data(), bytes.size());
    start({path});
    EXPECT_TRUE(wait_until([&] { return status_shows_size(4321); })) << "status line 2 does not read Filesize: 4321";
    // The reader can tell one number from another.
    EXPECT_FALSE(status_shows_size(4320));
    EXPECT_TRUE(shows_text(status_x, status_line_2_y - line_height, path));
}

// Moves present only what they change, and a window laid over the program's
// and taken away again leaves it drawn whole.
TEST_F(ProgramTest, HoverFollowsThePointerAndAnExposedWindowIsDrawnAgain) {
    std::vector<uint8_t> bytes(4096, 0x5A);
    std::string path = write_temp_file("hovered.bin", bytes.data(), bytes.size());
    start({path});
    ASSERT_TRUE(wait_until([&] { return status_shows_size(4096); }));
    std::string status = "Filesize: 4096 | Select: 0,1 | Hover: ";
    for (int cell : {5, 6, 22}) {
        move_to(hex_panel_x + panel_pad + 3 + (cell % 16) * cell_w, panel_top + panel_pad + 3 + (cell / 16) * cell_h);
        ASSERT_TRUE(wait_until([&] { return shows_text(status_x, status_line_2_y, status + std::to_string(cell) + ",1"); }))
            << "cell " << cell;
    }

    XSetWindowAttributes attributes = {};
    attributes.override_redirect = True;
    attributes.background_pixel = 0xff00ff;
    Window cover = XCreateWindow(display, DefaultRootWindow(display), 0, 0, 1920, 1080, 0, CopyFromParent,
                                 InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
    XMapRaised(display, cover);
    XSync(display, False);
    ASSERT_TRUE(wait_until([&] { return !shows_text(status_x, status_line_2_y, status + "22,1"); }));
    XDestroyWindow(display, cover);
    XSync(display, False);
    EXPECT_TRUE(wait_until([&] { return shows_text(status_x, status_line_2_y, status + "22,1"); }));
}

TEST_F(ProgramTest, FileDroppedThroughXdndIsLoaded) {
    start({});
    std::vector<uint8_t> bytes(777, 0x11);
    std::string path = write_temp_file("dropped file.bin", bytes.data(), bytes.size());
    std::string uri = "file://" + path;
    size_t space = uri.find(' ');
    uri.replace(space, 1, "%20");

    xdnd_drag_source source;
    source.begin(display, "# from the test\r\n" + uri + "\r\n");
    source.send(window, "XdndEnter", 5L << 24, (long)source.atom("text/uri-list"), 0, 0);
    source.send(window, "XdndPosition", 0, (700L << 16) | 500L, CurrentTime, (long)source.atom("XdndActionCopy"));
    XClientMessageEvent reply;
    ASSERT_TRUE(source.wait_for("XdndStatus", &reply));
    EXPECT_EQ(reply.data.l[1] & 1, 1) << "the drop target did not accept text/uri-list";
    EXPECT_EQ((Atom)reply.data.l[4], source.atom("XdndActionCopy"));
    source.send(window, "XdndDrop", 0, CurrentTime, 0, 0);
    ASSERT_TRUE(source.wait_for("XdndFinished", &reply));
    EXPECT_EQ(reply.data.l[1] & 1, 1);
    EXPECT_TRUE(wait_until([&] { return status_shows_size(777); })) << "the dropped file's size is not shown";
    source.end();
}

TEST_F(ProgramTest, DropWithoutFilesIsRefused) {
    start({});
    xdnd_drag_source source;
    source.begin(display, "");
    source.send(window, "XdndEnter", 5L << 24, (long)XA_STRING, 0, 0);
    source.send(window, "XdndPosition", 0, (700L << 16) | 500L, CurrentTime, 0);
    XClientMessageEvent reply;
    ASSERT_TRUE(source.wait_for("XdndStatus", &reply));
    EXPECT_EQ(reply.data.l[1] & 1, 0);
    source.send(window, "XdndDrop", 0, CurrentTime, 0, 0);
    ASSERT_TRUE(source.wait_for("XdndFinished", &reply));
    EXPECT_EQ(reply.data.l[1] & 1, 0);
    source.end();
}

TEST_F(ProgramTest, DeleteWindowMessageEndsTheProgramWithExitCodeZero) {
    start({});
    XEvent message;
    memset(&message, 0, sizeof message);
    message.xclient.type = ClientMessage;
    message.xclient.window = window;
    message.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    message.xclient.format = 32;
    message.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
    message.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &message);
    XFlush(display);
    EXPECT_EQ(wait_for_exit(5000), 0);
}

}  // namespace
