// The X server going away under the real program, idle or in the middle of a
// search: Xlib's one line, status 1, no hang and no crash.
#include "x11_harness.h"

#include <X11/keysym.h>
#include <fcntl.h>

namespace {

class ServerGoneTest : public ProgramTest {
protected:
    pid_t server = 0;
    std::string saved_display;

    // A server of the test's own, which it can kill; its display number.
    int start_server() {
        for (int attempt = 0; attempt < 8; attempt++) {
            int number = start_xvfb(100 + (int)((getpid() * 13 + attempt * 151 + 400) % 800), &server);
            if (number >= 0) return number;
        }
        return -1;
    }

    void SetUp() override {
        if (getenv("DISPLAY")) saved_display = getenv("DISPLAY");
        int number = start_server();
        if (number < 0) SKIP_OR_FAIL_UNDER_CI("Xvfb could not be started");
        setenv("DISPLAY", ("unix:" + std::to_string(number)).c_str(), 1);
        ProgramTest::SetUp();
    }

    void TearDown() override {
        ProgramTest::TearDown();
        if (server > 0) {
            kill(server, SIGKILL);
            waitpid(server, nullptr, 0);
        }
        setenv("DISPLAY", saved_display.c_str(), 1);
    }

    void tap(KeySym keysym, bool control = false) {
        KeyCode control_key = XKeysymToKeycode(display, XK_Control_L);
        if (control) XTestFakeKeyEvent(display, control_key, True, CurrentTime);
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), True, CurrentTime);
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), False, CurrentTime);
        if (control) XTestFakeKeyEvent(display, control_key, False, CurrentTime);
        XSync(display, False);
    }
};

TEST_F(ServerGoneTest, TheProgramEndsWithXlibsLineAndStatusOne) {
    for (bool searching : {false, true}) {
        // Sparse, so that the search reads zeros for a few seconds.
        std::string path = write_temp_file("gone.bin", "x", 1);
        ASSERT_EQ(truncate(path.c_str(), searching ? (8ll << 30) : 4096), 0);
        std::string errors = make_temp_dir() + "/stderr.txt";
        int saved = dup(STDERR_FILENO), file = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(file, STDERR_FILENO);
        start({path});
        dup2(saved, STDERR_FILENO);
        close(saved);
        close(file);
        if (searching) {
            XSetInputFocus(display, window, RevertToParent, CurrentTime);
            tap(XK_f, true);
            for (KeySym k : {XK_d, XK_e, XK_a, XK_d}) tap(k);
            tap(XK_Return);
            ASSERT_TRUE(wait_until([&] { return shows_text(status_x, 10, "Find: dead_   Searching... "); }));
        }
        XCloseDisplay(display);  // the test's own connection must not see the end
        display = nullptr;
        kill(server, SIGKILL);
        waitpid(server, nullptr, 0);
        server = 0;
        EXPECT_EQ(wait_for_exit(20000), 1) << (searching ? "searching" : "idle");
        EXPECT_NE(read_text_file(errors).find("X connection to " + std::string(getenv("DISPLAY")) + " broken"),
                  std::string::npos)
            << read_text_file(errors);
        if (!searching) {
            int number = start_server();
            ASSERT_GE(number, 0);
            setenv("DISPLAY", ("unix:" + std::to_string(number)).c_str(), 1);
            display = open_x_display();
            ASSERT_TRUE(display);
        }
    }
}

}  // namespace
