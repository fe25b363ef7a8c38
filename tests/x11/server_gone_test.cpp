// The X server going away under the real program in the middle of a search:
// Xlib's one line, status 1, no hang and no crash.
#include "x11_harness.h"

#include <X11/keysym.h>
#include <fcntl.h>

TEST_F(ProgramTest, AServerThatGoesAwayEndsTheProgramWithXlibsLineAndStatusOne) {
    // A server of the test's own, which it can kill.
    pid_t server = 0;
    int number = -1;
    for (int attempt = 0; attempt < 8 && number < 0; attempt++)
        number = start_xvfb(100 + (int)((getpid() * 13 + attempt * 151 + 400) % 800), &server);
    if (number < 0) SKIP_OR_FAIL_UNDER_CI("Xvfb could not be started");
    std::string saved = getenv("DISPLAY"), own = "unix:" + std::to_string(number);
    setenv("DISPLAY", own.c_str(), 1);
    XCloseDisplay(display);
    display = open_x_display();
    ASSERT_TRUE(display);
    // Sparse, so that the search reads zeros for a few seconds.
    std::string path = write_temp_file("gone.bin", "x", 1), errors = make_temp_dir() + "/stderr.txt";
    ASSERT_EQ(truncate(path.c_str(), 8ll << 30), 0);
    int kept = dup(STDERR_FILENO), file = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(file, STDERR_FILENO);
    start({path});
    dup2(kept, STDERR_FILENO);
    setenv("DISPLAY", saved.c_str(), 1);
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    // Ctrl+F (Control held, F tapped, Control let go), then "dead" and Enter.
    auto key = [&](KeySym k, bool down) {
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, k), down, CurrentTime);
    };
    key(XK_Control_L, true), key(XK_f, true), key(XK_f, false), key(XK_Control_L, false);
    for (KeySym k : {XK_d, XK_e, XK_a, XK_d, XK_Return}) key(k, true), key(k, false);
    ASSERT_TRUE(wait_until([&] { return shows_text(status_x, 10, "Find: dead_   Searching... "); }));
    XCloseDisplay(display);  // the test's own connection must not see the end
    display = nullptr;
    kill(server, SIGKILL);
    waitpid(server, nullptr, 0);
    EXPECT_EQ(wait_for_exit(20000), 1);
    EXPECT_NE(read_text_file(errors).find(own), std::string::npos);
}
