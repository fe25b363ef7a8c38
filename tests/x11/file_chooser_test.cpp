// Ctrl+O in the real program: a file chosen in zenity, or returned by a
// stand-in desktop portal on a private session bus, is shown; cancelling
// zenity changes nothing; the window answers while the chooser is open.
#include "x11_harness.h"

#include <X11/XKBlib.h>
#include <X11/keysym.h>
#include <fstream>

namespace {

class FileChooserTest : public ProgramTest {
protected:
    std::string folder, first, second;
    pid_t portal = 0;

    void SetUp() override {
        ProgramTest::SetUp();
        // Focusing a chooser that has just closed is no failure.
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        folder = make_temp_dir() + "/my files";
        mkdir(folder.c_str(), 0700);
        first = folder + "/first.bin", second = folder + "/second.bin";
        std::ofstream(first) << std::string(1000, 'a');
        std::ofstream(second) << std::string(2000, 'b');
    }

    void TearDown() override {
        if (portal > 0) {
            kill(-portal, SIGTERM);  // dbus-run-session, its bus and the stand-in
            waitpid(portal, nullptr, 0);
        }
        ProgramTest::TearDown();
    }

    // The key, with Shift when the layout puts the symbol on the second level.
    void key(KeySym symbol, bool control = false) {
        KeyCode code = XKeysymToKeycode(display, symbol);
        KeyCode held[2] = {XKeysymToKeycode(display, XK_Control_L), XKeysymToKeycode(display, XK_Shift_L)};
        bool holding[2] = {control, XkbKeycodeToKeysym(display, code, 0, 0) != symbol};
        for (int i = 0; i < 2; i++) if (holding[i]) XTestFakeKeyEvent(display, held[i], True, CurrentTime);
        XTestFakeKeyEvent(display, code, True, CurrentTime);
        XTestFakeKeyEvent(display, code, False, CurrentTime);
        for (int i = 0; i < 2; i++) if (holding[i]) XTestFakeKeyEvent(display, held[i], False, CurrentTime);
        XSync(display, False);
    }

    // No window manager runs here: the test hands the keyboard over itself.
    void focus(Window target) {
        XSetInputFocus(display, target, RevertToPointerRoot, CurrentTime);
        XSync(display, False);
    }

    Window zenity_window() {
        Window root = None, parent = None, *children = nullptr, found = None;
        unsigned int count = 0;
        XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
        for (unsigned int i = 0; i < count && !found; i++) {
            char* name = nullptr;
            XWindowAttributes attributes;
            if (XFetchName(display, children[i], &name) && name && strcmp(name, "Open a file") == 0 &&
                XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable)
                found = children[i];
            XFree(name);
        }
        XFree(children);
        return found;
    }

    bool shows(uint64_t size, const std::string& select) {
        return shows_text(status_x, status_line_2_y, "Filesize: " + std::to_string(size) + " | Select: " + select);
    }
    // Presses Ctrl+O until the chooser shows (keys sent before the focus arrives are lost).
    bool open_chooser(const std::function<bool()>& opened) {
        for (int attempt = 0; attempt < 10; attempt++) {
            focus(window);
            key(XK_o, true);
            if (wait_until(opened, 2000)) return true;
        }
        return false;
    }
};

TEST_F(FileChooserTest, ZenityChoosesAFileAndCancelsWithoutChange) {
    if (system("command -v zenity >/dev/null 2>&1") != 0) SKIP_OR_FAIL_UNDER_CI("zenity is not installed");
    // No session bus, so no portal: zenity it is.
    setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    start({first});
    ASSERT_TRUE(wait_until([&] { return status_shows_size(1000); }));
    Window chooser = None;
    ASSERT_TRUE(open_chooser([&] { return (chooser = zenity_window()) != None; })) << "zenity did not open";
    // Off the program's window, whose pixels are read back.
    XMoveWindow(display, chooser, 1650, 0);
    // The window still answers while the chooser is open.
    focus(window);
    key(XK_Right);
    ASSERT_TRUE(wait_until([&] { return shows(1000, "1,1"); }));

    // Ctrl+L, Ctrl+A: the location, all of it, which the path then replaces.
    bool chosen = false;
    for (int attempt = 0; attempt < 3 && !chosen; attempt++) {
        focus(chooser);
        key(XK_l, true);
        key(XK_a, true);
        // Latin-1 characters are their own key symbols.
        for (char c : second) key((KeySym)(unsigned char)c);
        key(XK_Return);
        chosen = wait_until([&] { return status_shows_size(2000); });
    }
    ASSERT_TRUE(chosen) << "the chosen file was not shown";
    EXPECT_TRUE(shows_text(status_x, status_line_2_y - line_height, second));

    ASSERT_TRUE(open_chooser([&] { return (chooser = zenity_window()) != None; }));
    for (int attempt = 0; attempt < 10 && (chooser = zenity_window()) != None; attempt++) {
        focus(chooser);
        key(XK_Escape);
        wait_until([&] { return zenity_window() == None; }, 1000);
    }
    ASSERT_EQ(zenity_window(), None) << "zenity did not close";
    focus(window);
    key(XK_Right);
    EXPECT_TRUE(wait_until([&] { return shows(2000, "2,1"); })) << "the cancelled chooser changed the view";
    EXPECT_TRUE(shows_text(status_x, status_line_2_y - line_height, second));
}

TEST_F(FileChooserTest, PortalOnThePrivateSessionBusAnswersWithTheFileInTheShownFolder) {
    if (system("command -v dbus-run-session >/dev/null 2>&1 && /usr/bin/python3 -c 'import dbus, gi' 2>/dev/null") != 0)
        SKIP_OR_FAIL_UNDER_CI("dbus-run-session, python3-dbus or python3-gi is missing");
    std::string address_file = make_temp_dir() + "/address";
    std::string script = BITLORN_TESTS_DIR "/x11/portal_stand_in.py";
    portal = fork();
    ASSERT_GE(portal, 0);
    if (portal == 0) {
        setpgid(0, 0);
        execlp("dbus-run-session", "dbus-run-session", "--", "/usr/bin/python3", script.c_str(),
               address_file.c_str(), "second.bin", (char*)nullptr);
        _exit(127);
    }
    setpgid(portal, portal);
    std::string address;
    ASSERT_TRUE(wait_until([&] { return !(address = read_text_file(address_file)).empty(); }, 15000));
    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);

    start({"--offset", "0x10", "--length", "4", first});
    ASSERT_TRUE(wait_until([&] { return shows(1000, "16,4"); })) << "--offset and --length were not applied";
    EXPECT_TRUE(open_chooser([&] { return status_shows_size(2000); })) << "the portal's file was not shown";
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

}  // namespace
