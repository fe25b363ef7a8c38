// Ctrl+C in the real program puts the selection on the X clipboard, where
// another program (xclip) reads it.
#include "x11_harness.h"

#include <X11/keysym.h>

namespace {

class CopyTest : public ProgramTest {
protected:
    void chord(KeySym modifier, KeySym key) {
        KeyCode held = XKeysymToKeycode(display, modifier), pressed = XKeysymToKeycode(display, key);
        XTestFakeKeyEvent(display, held, True, CurrentTime);
        XTestFakeKeyEvent(display, pressed, True, CurrentTime);
        XTestFakeKeyEvent(display, pressed, False, CurrentTime);
        XTestFakeKeyEvent(display, held, False, CurrentTime);
        XSync(display, False);
    }

    static std::string xclip_output(const char* target) {
        std::string command = std::string("timeout 5 xclip -o -selection clipboard -t ") + target + " 2>/dev/null";
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) return "";
        std::string out;
        char chunk[256];
        size_t got;
        while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, got);
        pclose(pipe);
        return out;
    }
};

TEST_F(CopyTest, SelectionReachesXclipAsHexOrTextAndAsBytes) {
    if (system("command -v xclip >/dev/null 2>&1") != 0) SKIP_OR_FAIL_UNDER_CI("xclip is not installed");
    std::string bytes = "MZ\x90" + std::string(1, '\0') + "caf\xc3\xa9!";
    std::string path = write_temp_file("copy.bin", bytes.data(), bytes.size());
    start({path});
    ASSERT_TRUE(wait_until([&] { return status_shows_size(bytes.size()); })) << "the file was not loaded";

    struct {
        int32_t panel_x, cell;  // where to press and drag
        int32_t first, last;
        const char* text;
        std::string raw;
    } cases[] = {
        {hex_panel_x, cell_w, 0, 3, "4D 5A 90 00", bytes.substr(0, 4)},
        {text_panel_x, glyph_w + 2, 4, 8, "caf\xc3\xa9", bytes.substr(4, 5)},
    };
    // No window manager runs here to give the window the keyboard.
    XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
    XSync(display, False);
    std::string size = "Filesize: " + std::to_string(bytes.size()) + " | ";
    // Keys pressed before the focus has arrived are lost: press Right until
    // one moves the selection, before the keys that count.
    bool keys_arrive = false;
    for (int attempt = 0; attempt < 10 && !keys_arrive; attempt++) {
        chord(XK_Shift_L, XK_Right);
        keys_arrive = wait_until([&] { return !shows_text(status_x, status_line_2_y, size + "Select: 0,1"); }, 500);
    }
    ASSERT_TRUE(keys_arrive) << "the window never took the keyboard";
    for (const auto& c : cases) {
        // A click on the first byte, then Shift+Right up to the last.
        click(c.panel_x + panel_pad + c.first * c.cell + 3, panel_top + panel_pad + cell_h / 2);
        std::string pressed = "Select: " + std::to_string(c.first) + ",1";
        ASSERT_TRUE(wait_until([&] { return shows_text(status_x, status_line_2_y, size + pressed); })) << pressed;
        for (int32_t i = c.first; i < c.last; i++) chord(XK_Shift_L, XK_Right);
        std::string select = "Select: " + std::to_string(c.first) + "," + std::to_string(c.last - c.first + 1);
        ASSERT_TRUE(wait_until([&] { return shows_text(status_x, status_line_2_y, size + select); })) << select;
        chord(XK_Control_L, XK_c);
        std::string text;
        EXPECT_TRUE(wait_until([&] { return (text = xclip_output("UTF8_STRING")) == c.text; })) << text;
        EXPECT_EQ(xclip_output("application/octet-stream"), c.raw);
    }
}

}  // namespace
