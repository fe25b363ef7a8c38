// The real program under a private X server: its window, its status bar read
// back from the screen, a file dropped through XDND, and closing it.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <zlib.h>

#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

uint64_t now_milliseconds(void) {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint64_t)t.tv_sec * 1000 + (uint64_t)t.tv_nsec / 1000000;
}

bool wait_until(const std::function<bool()>& done, uint64_t milliseconds = 5000) {
    uint64_t deadline = now_milliseconds() + milliseconds;
    while (now_milliseconds() < deadline) {
        if (done()) return true;
        usleep(10000);
    }
    return done();
}

// ---------------------------------------------------------------------------
// The font image, decoded here so the expected text can be drawn independently.

struct rgba_image {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> pixels;  // R, G, B, A
    uint8_t alpha(int32_t x, int32_t y) const { return pixels[((size_t)y * width + x) * 4 + 3]; }
};

uint32_t big_endian_32(const uint8_t* p) { return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]; }

int paeth(int a, int b, int c) {
    int p = a + b - c, pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

// Only what the font image is: 8-bit RGBA, not interlaced.
bool decode_rgba_png(const std::string& file, rgba_image* out) {
    const uint8_t* data = (const uint8_t*)file.data();
    if (file.size() < 8 || memcmp(data, "\x89PNG\r\n\x1a\n", 8) != 0) return false;
    std::vector<uint8_t> compressed;
    size_t at = 8;
    while (at + 12 <= file.size()) {
        uint32_t length = big_endian_32(data + at);
        std::string type((const char*)data + at + 4, 4);
        const uint8_t* body = data + at + 8;
        if (at + 12 + length > file.size()) return false;
        if (type == "IHDR") {
            out->width = (int32_t)big_endian_32(body);
            out->height = (int32_t)big_endian_32(body + 4);
            if (body[8] != 8 || body[9] != 6 || body[12] != 0) return false;
        } else if (type == "IDAT") {
            compressed.insert(compressed.end(), body, body + length);
        }
        at += 12 + length;
    }
    size_t stride = (size_t)out->width * 4;
    std::vector<uint8_t> raw((stride + 1) * out->height);
    uLongf raw_size = raw.size();
    if (uncompress(raw.data(), &raw_size, compressed.data(), compressed.size()) != Z_OK) return false;
    out->pixels.assign(stride * out->height, 0);
    for (int32_t y = 0; y < out->height; y++) {
        uint8_t filter = raw[y * (stride + 1)];
        const uint8_t* in = &raw[y * (stride + 1) + 1];
        uint8_t* row = &out->pixels[y * stride];
        const uint8_t* up = y ? &out->pixels[(y - 1) * stride] : nullptr;
        for (size_t i = 0; i < stride; i++) {
            int a = i >= 4 ? row[i - 4] : 0, b = up ? up[i] : 0, c = (up && i >= 4) ? up[i - 4] : 0;
            int predictor = filter == 1 ? a : filter == 2 ? b : filter == 3 ? (a + b) / 2 : filter == 4 ? paeth(a, b, c) : 0;
            row[i] = (uint8_t)(in[i] + predictor);
        }
    }
    return true;
}

struct font_glyph {
    int32_t x, y, w, h, y_offset;
};

struct bitmap_font {
    rgba_image image;
    font_glyph glyphs[256];
    int32_t glyph_w = 0;
};

// The image the program itself reads: the copy beside it.
bool load_font(bitmap_font* font, const std::string& binary) {
    std::string beside = binary.substr(0, binary.rfind('/') + 1) + "mono.png";
    if (!decode_rgba_png(read_text_file(beside), &font->image) &&
        !decode_rgba_png(read_text_file(source_dir() + "/render/mono.png"), &font->image))
        return false;
    const rgba_image& image = font->image;
    int32_t cw = image.width / 16, ch = image.height / 16;
    auto column_empty = [&](int32_t x, int32_t y0) {
        for (int32_t y = y0; y < y0 + ch; y++)
            if (image.alpha(x, y)) return false;
        return true;
    };
    for (int c = 0; c < 256; c++) {
        int32_t x0 = (c % 16) * cw, y0 = (c / 16) * ch;
        int32_t right = x0 + cw;
        while (right > x0 && column_empty(right - 1, y0)) right--;
        int32_t left = x0;
        while (left < right && column_empty(left, y0)) left++;
        auto row_empty = [&](int32_t y) {
            for (int32_t x = left; x < right; x++)
                if (image.alpha(x, y)) return false;
            return true;
        };
        int32_t bottom = y0 + ch;
        while (bottom > y0 && (left == right || row_empty(bottom - 1))) bottom--;
        int32_t top = y0;
        while (top < bottom && row_empty(top)) top++;
        font->glyphs[c] = left == right || top == bottom ? font_glyph{x0, y0, 0, 0, 0}
                                                          : font_glyph{left, top, right - left, bottom - top, top - y0};
        if (font->glyphs[c].w > font->glyph_w) font->glyph_w = font->glyphs[c].w;
    }
    return true;
}

// Which pixels of the block (x, y, w, h) ASCII text drawn at (x, y) covers.
std::vector<uint8_t> text_ink(const bitmap_font& font, const std::string& text, int32_t w, int32_t h) {
    std::vector<uint8_t> ink((size_t)w * h, 0);
    int32_t pen = 0;
    for (unsigned char c : text) {
        const font_glyph& g = font.glyphs[c];
        int32_t dx = pen + (font.glyph_w - g.w) / 2;
        for (int32_t y = 0; y < g.h; y++)
            for (int32_t x = 0; x < g.w; x++) {
                int32_t px = dx + x, py = g.y_offset + y;
                if (px < w && py < h && font.image.alpha(g.x + x, g.y + y) >= 128) ink[(size_t)py * w + px] = 1;
            }
        pen += font.glyph_w;
    }
    return ink;
}

// ---------------------------------------------------------------------------
// The program

enum : int32_t { status_x = 10, status_line_2_y = 25, line_height = 15 };
const char window_title[] = "Bitlorn  |  0.9";

class ProgramTest : public ::testing::Test {
protected:
    Display* display = nullptr;
    pid_t pid = 0;
    Window window = None;
    bitmap_font font;

    void SetUp() override {
        if (!ensure_x_display()) GTEST_SKIP() << "no X display";
        if (!getenv("BITLORN_BINARY")) GTEST_SKIP() << "BITLORN_BINARY not set";
        display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr);
        ASSERT_TRUE(load_font(&font, getenv("BITLORN_BINARY")));
        ASSERT_GT(font.glyph_w, 0);
    }

    void TearDown() override {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (display) XCloseDisplay(display);
    }

    void start(const std::vector<std::string>& arguments) {
        const char* binary = getenv("BITLORN_BINARY");
        pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            freopen("/dev/null", "w", stdout);
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

    // True when the block at (x, y) shows exactly the ink of the text on the background.
    bool shows_text(int32_t x, int32_t y, const std::string& text) {
        int32_t w = (int32_t)text.size() * font.glyph_w, h = line_height;
        XImage* image = XGetImage(display, window, x, y, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
        if (!image) return false;
        std::vector<uint8_t> expected = text_ink(font, text, w, h);
        unsigned long background = XGetPixel(image, 0, h - 1);
        bool same = true;
        for (int32_t py = 0; py < h && same; py++)
            for (int32_t px = 0; px < w && same; px++)
                same = (XGetPixel(image, px, py) != background) == (expected[(size_t)py * w + px] != 0);
        XDestroyImage(image);
        return same;
    }

    bool status_shows_size(uint64_t size) {
        return shows_text(status_x, status_line_2_y, "Filesize: " + std::to_string(size) + " |");
    }

    int wait_for_exit(uint64_t milliseconds) {
        int status = -1;
        bool exited = wait_until([&] { return waitpid(pid, &status, WNOHANG) == pid; }, milliseconds);
        if (!exited) return -1;
        pid = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

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

// A drag source of our own: owns XdndSelection and answers the target.
struct drag_source {
    Display* display;
    Window window;
    std::string uri_list;
    Atom atom(const char* name) { return XInternAtom(display, name, False); }

    void send(Window target, const char* type, long l1, long l2, long l3, long l4) {
        XEvent m;
        memset(&m, 0, sizeof m);
        m.xclient.type = ClientMessage;
        m.xclient.window = target;
        m.xclient.message_type = atom(type);
        m.xclient.format = 32;
        m.xclient.data.l[0] = (long)window;
        m.xclient.data.l[1] = l1;
        m.xclient.data.l[2] = l2;
        m.xclient.data.l[3] = l3;
        m.xclient.data.l[4] = l4;
        XSendEvent(display, target, False, NoEventMask, &m);
        XFlush(display);
    }

    void serve(const XSelectionRequestEvent* request) {
        XEvent notify;
        memset(&notify, 0, sizeof notify);
        notify.xselection.type = SelectionNotify;
        notify.xselection.requestor = request->requestor;
        notify.xselection.selection = request->selection;
        notify.xselection.target = request->target;
        notify.xselection.time = request->time;
        notify.xselection.property = None;
        if (request->target == atom("text/uri-list")) {
            XChangeProperty(display, request->requestor, request->property, request->target, 8, PropModeReplace,
                            (const unsigned char*)uri_list.data(), (int)uri_list.size());
            notify.xselection.property = request->property;
        }
        XSendEvent(display, request->requestor, False, NoEventMask, &notify);
        XFlush(display);
    }

    // Handles requests while waiting for one client message; false on timeout.
    bool wait_for(const char* type, XClientMessageEvent* out) {
        Atom wanted = atom(type);
        return wait_until([&] {
            while (XPending(display)) {
                XEvent event;
                XNextEvent(display, &event);
                if (event.type == SelectionRequest) serve(&event.xselectionrequest);
                if (event.type == ClientMessage && event.xclient.message_type == wanted) {
                    *out = event.xclient;
                    return true;
                }
            }
            return false;
        });
    }
};

TEST_F(ProgramTest, FileDroppedThroughXdndIsLoaded) {
    start({});
    std::vector<uint8_t> bytes(777, 0x11);
    std::string path = write_temp_file("dropped file.bin", bytes.data(), bytes.size());
    std::string uri = "file://" + path;
    size_t space = uri.find(' ');
    uri.replace(space, 1, "%20");

    drag_source source{display, XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0),
                       "# from the test\r\n" + uri + "\r\n"};
    XSetSelectionOwner(display, source.atom("XdndSelection"), source.window, CurrentTime);
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
    XDestroyWindow(display, source.window);
}

TEST_F(ProgramTest, DropWithoutFilesIsRefused) {
    start({});
    drag_source source{display, XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0), ""};
    source.send(window, "XdndEnter", 5L << 24, (long)XA_STRING, 0, 0);
    source.send(window, "XdndPosition", 0, (700L << 16) | 500L, CurrentTime, 0);
    XClientMessageEvent reply;
    ASSERT_TRUE(source.wait_for("XdndStatus", &reply));
    EXPECT_EQ(reply.data.l[1] & 1, 0);
    source.send(window, "XdndDrop", 0, CurrentTime, 0, 0);
    ASSERT_TRUE(source.wait_for("XdndFinished", &reply));
    EXPECT_EQ(reply.data.l[1] & 1, 0);
    XDestroyWindow(display, source.window);
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
