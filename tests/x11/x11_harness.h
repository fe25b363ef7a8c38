// Running the real program under a private X server and reading its text
// back from the window's pixels.
#pragma once

// Before the X headers, whose macros clash with its names.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <sstream>
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

// Drawn by the structure view's toolbar, not by the layout.
enum : int32_t { button_pad_h = 8, button_gap = 4 };
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

    // The layout as the program prints it at start (BITLORN_PRINT_LAYOUT),
    // and the places the tests derive from it and the font.
    rect text_panel = {}, hex_panel = {}, inspect_panel = {}, struct_panel = {};
    int32_t panel_pad = 0, text_cell_w = 0, cell_w = 0, cell_h = 0, group_gap = 0, bytes_per_row = 0,
            visible_rows = 0;
    int32_t glyph_w = 0, glyph_h = 0, line_height = 0, margin = 0, status_x = 0, status_line_1_y = 0,
            status_line_2_y = 0, panel_top = 0, text_panel_x = 0, hex_panel_x = 0, hex_panel_w = 0,
            struct_panel_x = 0, struct_text_x = 0, first_button_row_y = 0, button_h = 0;
    std::string output_path;  // the program's standard output (and error, when kept)

    void start(const std::vector<std::string>& arguments) { launch(getenv("BITLORN_BINARY"), arguments, false); }

    // Runs `binary` with its standard output (and error, with keep_errors) in
    // a file, waits for its window and reads the layout it prints.
    void launch(const std::string& binary, const std::vector<std::string>& arguments, bool keep_errors) {
        output_path = make_temp_dir() + "/output.txt";
        pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            setenv("BITLORN_PRINT_LAYOUT", "1", 1);
            int out = open(output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(out, 1);
            if (keep_errors) dup2(out, 2);
            if (!standard_input.empty()) freopen(standard_input.c_str(), "r", stdin);
            std::vector<char*> argv = {(char*)binary.c_str()};
            for (const std::string& a : arguments) argv.push_back((char*)a.c_str());
            argv.push_back(nullptr);
            execv(binary.c_str(), argv.data());
            _exit(127);
        }
        ASSERT_TRUE(wait_until([&] { return (window = find_program_window()) != None; })) << "no window appeared";
        ASSERT_TRUE(wait_until([&] { return read_layout(); })) << "no layout line: " << output();
    }

    std::string output() { return read_text_file(output_path); }

    bool read_layout() {
        std::string text = output();
        size_t at = text.find("Layout:");
        if (at == std::string::npos || text.find('\n', at) == std::string::npos) return false;
        std::istringstream in(text.substr(at + strlen("Layout:")));
        for (rect* r : {&text_panel, &hex_panel, &inspect_panel, &struct_panel}) in >> r->x >> r->y >> r->w >> r->h;
        in >> panel_pad >> text_cell_w >> cell_w >> cell_h >> group_gap >> bytes_per_row >> visible_rows;
        glyph_w = font.glyph_w;
        line_height = glyph_h = font.glyph_h;
        status_x = margin = text_panel_x = text_panel.x;
        panel_top = hex_panel.y;
        // The status lines stand on the grids, one line apart.
        status_line_1_y = panel_top - 2 * glyph_h;
        status_line_2_y = panel_top - glyph_h;
        hex_panel_x = hex_panel.x;
        hex_panel_w = hex_panel.w;
        struct_panel_x = struct_panel.x;
        struct_text_x = struct_panel.x + panel_pad;
        first_button_row_y = struct_panel.y + panel_pad;
        button_h = glyph_h + button_pad_h;
        return !in.fail();
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

