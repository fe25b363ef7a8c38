// Running the real program under a private X server and reading its text
// back from the window's pixels.
#pragma once

// Before the X headers, whose macros clash with its names.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "render/font.h"
#include "test_support.h"
#include "x_test_support.h"

#include <X11/extensions/XTest.h>

uint64_t now_milliseconds(void);
bool wait_until(const std::function<bool()>& done, uint64_t milliseconds = 5000);

// The font the program reads (mono.png beside it), cut by the renderer's own code.
bool load_font(glyph_atlas* font, const std::string& binary);
// Which pixels of the block (0, 0, w, h) ASCII text drawn at its corner covers.
std::vector<uint8_t> text_ink(const glyph_atlas& font, const std::string& text, int32_t w, int32_t h);

// ---------------------------------------------------------------------------
// The program

enum : int32_t { status_x = 10, status_line_2_y = 25, line_height = 15 };

// The client area's layout with the shipped font at the default window width.
enum : int32_t {
    glyph_w = 7,
    glyph_h = 15,
    margin = 10,
    panel_pad = 10,
    cell_w = 18,
    cell_h = 17,
    bytes_per_row = 16,
    panel_top = 40,
    text_panel_x = margin,
    text_panel_w = (glyph_w + 2) * bytes_per_row + 4 + 2 * panel_pad,
    hex_panel_x = text_panel_x + text_panel_w + margin,
    hex_panel_w = cell_w * bytes_per_row + 4 + 2 * panel_pad,
    inspect_panel_x = hex_panel_x + hex_panel_w + margin,
    inspect_panel_w = 28 * glyph_w + 2 * panel_pad,
    struct_panel_x = inspect_panel_x + inspect_panel_w + margin,
    struct_text_x = struct_panel_x + panel_pad,
    button_h = glyph_h + 8,
    button_gap = 4,
    first_button_row_y = 20,
};
inline const char window_title[] = "Bitlorn  |  0.9";

class ProgramTest : public ::testing::Test {
protected:
    Display* display = nullptr;
    pid_t pid = 0;
    Window window = None;
    glyph_atlas font = {};
    std::string standard_input;  // a file the program reads as its standard input, when set

    void SetUp() override {
        if (!ensure_x_display()) SKIP_OR_FAIL_UNDER_CI("no X display");
        if (!getenv("BITLORN_BINARY")) SKIP_OR_FAIL_UNDER_CI("BITLORN_BINARY not set");
        display = open_x_display();
        ASSERT_NE(display, nullptr);
        ASSERT_TRUE(load_font(&font, getenv("BITLORN_BINARY")));
        ASSERT_GT(font.glyph_w, 0);
    }

    void TearDown() override {
        stop();
        if (display) XCloseDisplay(display);
        os_free(font.pixels);
        os_free(font.glyphs);
    }

    void start(const std::vector<std::string>& arguments) {
        const char* binary = getenv("BITLORN_BINARY");
        pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            freopen("/dev/null", "w", stdout);
            if (!standard_input.empty()) freopen(standard_input.c_str(), "r", stdin);
            std::vector<char*> argv = {(char*)binary};
            for (const std::string& a : arguments) argv.push_back((char*)a.c_str());
            argv.push_back(nullptr);
            execv(binary, argv.data());
            _exit(127);
        }
        ASSERT_TRUE(wait_until([&] { return (window = find_program_window()) != None; })) << "no window appeared";
    }

    bool is_program_window(Window candidate) {
        XClassHint hint;
        if (!XGetClassHint(display, candidate, &hint)) return false;
        bool ours = hint.res_class && strcmp(hint.res_class, "kel_sharedWindowClass") == 0;
        XFree(hint.res_name);
        XFree(hint.res_class);
        XWindowAttributes attributes;
        return ours && XGetWindowAttributes(display, candidate, &attributes) && attributes.map_state == IsViewable;
    }

    Window find_program_window() {
        Window root = None, parent = None, *children = nullptr;
        unsigned int count = 0;
        Window found = None;
        if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
            for (unsigned int i = 0; i < count && !found; i++)
                if (is_program_window(children[i])) found = children[i];
            XFree(children);
        }
        return found;
    }

    std::string title() {
        Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
        Atom type = None;
        int format = 0;
        unsigned long items = 0, remaining = 0;
        unsigned char* data = nullptr;
        std::string text;
        if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0, 1024, False, utf8,
                               &type, &format, &items, &remaining, &data) == Success && data)
            text.assign((const char*)data, items);
        if (data) XFree(data);
        return text;
    }

    std::vector<long> cardinals(const char* property) {
        Atom type = None;
        int format = 0;
        unsigned long items = 0, remaining = 0;
        unsigned char* data = nullptr;
        std::vector<long> values;
        Atom name = XInternAtom(display, property, False);
        if (XGetWindowProperty(display, window, name, 0, 1 << 20, False, XA_CARDINAL, &type, &format, &items,
                               &remaining, &data) == Success && data && format == 32)
            values.assign((const long*)data, (const long*)data + items);
        if (data) XFree(data);
        return values;
    }

    // True when the block at (x, y) shows exactly the ink of the text on the background.
    // In a window drawn at a scale, (x, y) and the text's pixels are the frame's, each shown scale times enlarged.
    bool shows_text(int32_t x, int32_t y, const std::string& text, int32_t scale = 1) {
        int32_t w = (int32_t)text.size() * font.glyph_w, h = line_height;
        XImage* image = XGetImage(display, window, x * scale, y * scale, (unsigned)(w * scale), (unsigned)(h * scale),
                                  AllPlanes, ZPixmap);
        if (!image) return false;
        std::vector<uint8_t> expected = text_ink(font, text, w, h);
        unsigned long background = XGetPixel(image, 0, h * scale - 1);
        bool same = true;
        for (int32_t py = 0; py < h * scale && same; py++)
            for (int32_t px = 0; px < w * scale && same; px++)
                same = (XGetPixel(image, px, py) != background) ==
                       (expected[(size_t)(py / scale) * w + px / scale] != 0);
        XDestroyImage(image);
        return same;
    }

    bool status_shows_size(uint64_t size) {
        return shows_text(status_x, status_line_2_y, "Filesize: " + std::to_string(size) + " |");
    }

    // The pointer to client point (x, y), through XTest.
    void move_to(int32_t x, int32_t y) {
        Window child = None;
        int root_x = 0, root_y = 0;
        XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &root_x, &root_y, &child);
        XTestFakeMotionEvent(display, DefaultScreen(display), root_x, root_y, CurrentTime);
        XSync(display, False);
    }

    void press_and_release() {
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
        XSync(display, False);
    }

    // Presses and releases the left button at client point (x, y).
    void click(int32_t x, int32_t y) {
        move_to(x, y);
        press_and_release();
    }

    void stop() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        pid = 0;
        window = None;
    }

    int wait_for_exit(uint64_t milliseconds) {
        int status = -1;
        bool exited = wait_until([&] { return waitpid(pid, &status, WNOHANG) == pid; }, milliseconds);
        if (!exited) return -1;
        pid = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

