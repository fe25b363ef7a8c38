// Go to and Find typed on the keyboard of the real program's window.
#include "x11_harness.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

class FindPromptTest : public ProgramTest {
protected:
    void key(KeySym keysym, bool down) {
        KeyCode code = XKeysymToKeycode(display, keysym);
        ASSERT_NE(code, 0) << "no key for keysym " << keysym;
        XTestFakeKeyEvent(display, code, down ? True : False, CurrentTime);
        XSync(display, False);
    }
    void tap(KeySym keysym) {
        key(keysym, true);
        key(keysym, false);
    }
    void ctrl(KeySym letter) {
        key(XK_Control_L, true);
        tap(letter);
        key(XK_Control_L, false);
    }
    // Digits and lower-case letters only: no Shift needed on any layout the tests use.
    void type(const std::string& text) {
        for (char c : text) tap((KeySym)(unsigned char)c);
    }
    void focus() {
        XSetInputFocus(display, window, RevertToParent, CurrentTime);
        XSync(display, False);
    }
};

TEST_F(FindPromptTest, GoToThenFindMoveTheSelectionAndSaySoInLineOne) {
    int event_base = 0, error_base = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &event_base, &error_base, &major, &minor)) SKIP_OR_FAIL_UNDER_CI("no XTEST");

    std::vector<uint8_t> bytes(100000, 0x41);
    memcpy(&bytes[70000], "IHDR", 4);
    std::string path = write_temp_file("find_prompt.bin", bytes.data(), bytes.size());
    start({path});
    ASSERT_TRUE(wait_until([&] { return status_shows_size(100000); })) << "the file was not loaded";
    focus();

    ctrl(XK_g);
    type("0x100");
    ASSERT_TRUE(wait_until([&] { return shows_text(status_x, status_line_1_y, "Go to offset: 0x100_"); }))
        << "the Go to prompt does not show what was typed";
    tap(XK_Return);
    ASSERT_TRUE(wait_until([&] { return shows_text(status_x, status_line_2_y, "Filesize: 100000 | Select: 256,1 |"); }))
        << "Go to did not select offset 256";
    EXPECT_TRUE(wait_until([&] { return shows_text(status_x, status_line_1_y, path); }));

    ctrl(XK_f);
    type("49484452");
    tap(XK_Return);
    ASSERT_TRUE(wait_until([&] { return shows_text(status_x, status_line_2_y, "Filesize: 100000 | Select: 70000,4 |"); }))
        << "Find did not select the match";
    EXPECT_TRUE(wait_until(
        [&] { return shows_text(status_x, status_line_1_y, "Find: 49484452_   Match 1 of 1 at offset 70000."); }));
    tap(XK_Escape);
    EXPECT_TRUE(wait_until([&] { return shows_text(status_x, status_line_1_y, path); }));
}

TEST_F(FindPromptTest, ANumberIsFoundAndItsMatchesCounted) {
    int event_base = 0, error_base = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &event_base, &error_base, &major, &minor)) SKIP_OR_FAIL_UNDER_CI("no XTEST");

    std::vector<uint8_t> bytes(100000, 0x41);
    for (size_t at : {1000, 50000, 90000}) memcpy(&bytes[at], "\xd2\x04\x00\x00", 4);
    std::string path = write_temp_file("find_number.bin", bytes.data(), bytes.size());
    start({path});
    ASSERT_TRUE(wait_until([&] { return status_shows_size(100000); })) << "the file was not loaded";
    focus();

    ctrl(XK_f);
    type("u32 1234");
    tap(XK_Return);
    EXPECT_TRUE(wait_until(
        [&] { return shows_text(status_x, status_line_1_y, "Find: u32 1234_   Match 1 of 3 at offset 1000."); }));
    tap(XK_F3);
    EXPECT_TRUE(wait_until(
        [&] { return shows_text(status_x, status_line_1_y, "Find: u32 1234_   Match 2 of 3 at offset 50000."); }));
}

}  // namespace
