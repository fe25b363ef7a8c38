// The clipboard against real peers: xclip reads what we offer and offers what
// we read, under a private X server; large data crosses in INCR pieces.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "os/os_private.h"
#include "test_support.h"
#include "window_fixture.h"

namespace {

// Runs a command while pumping our messages, so that we can answer it; its output.
std::string run_pumping(const std::string& command, uint32_t timeout_ms = 10000) {
    os_process process;
    if (os_process_start(&process, os_string(command.c_str()), 0) != 0) return "<no start>";
    std::string out;
    char buffer[65536];
    uint64_t deadline = os_now_milliseconds() + timeout_ms;
    for (;;) {
        os_poll_messages();
        int64_t got = os_process_read(&process, sizeof buffer, buffer);
        if (got > 0) out.append(buffer, (size_t)got);
        if (got <= 0 && !os_process_is_running(&process)) {
            while ((got = os_process_read(&process, sizeof buffer, buffer)) > 0) out.append(buffer, (size_t)got);
            break;
        }
        if (os_now_milliseconds() > deadline) break;
        if (got <= 0) os_sleep_milliseconds(1);
    }
    os_process_close(&process);
    return out;
}

std::string as_string(os_clipboard_result result) {
    std::string s(result.data ? (const char*)result.data : "", result.length);
    os_clipboard_free(&result);
    return s;
}

std::string pattern(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; i += 1) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = (char)(seed >> 16);
    }
    return bytes;
}

class ClipboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ensure_x_display()) SKIP_OR_FAIL_UNDER_CI("no X display");
        if (system("command -v xclip >/dev/null 2>&1") != 0) SKIP_OR_FAIL_UNDER_CI("xclip is not installed");
        for (int i = 0; i < 300 && !tester; i += 1) {
            tester = XOpenDisplay(nullptr);
            if (!tester) os_sleep_milliseconds(10);
        }
        ASSERT_TRUE(tester);
        clipboard = XInternAtom(tester, "CLIPBOARD", False);
    }
    void TearDown() override {
        if (tester) XCloseDisplay(tester);
    }
    // Waits until a client other than us owns the clipboard.
    bool wait_for_foreign_owner(Window previous) {
        for (int i = 0; i < 500; i += 1) {
            Window owner = XGetSelectionOwner(tester, clipboard);
            if (owner != None && owner != previous) return true;
            os_sleep_milliseconds(10);
        }
        return false;
    }
    // Runs xclip offering the file's bytes under the type, in the background.
    bool offer_with_xclip(os_process* process, const std::string& type, const std::string& path) {
        Window before = XGetSelectionOwner(tester, clipboard);
        std::string command = "xclip -quiet -i -selection clipboard -t " + type + " " + path;
        if (os_process_start(process, os_string(command.c_str()), 0) != 0) return false;
        return wait_for_foreign_owner(before);
    }
    Display* tester = nullptr;
    Atom clipboard = None;
};

TEST_F(ClipboardTest, TextWeSetIsWhatXclipReadsAndWhatWeReadBack) {
    const char* text = "Grüße, Bitlorn: \xe2\x82\xac 42";
    os_clipboard_set_text(os_string(text));
    EXPECT_EQ(run_pumping("xclip -o -selection clipboard"), text);
    // STRING is the Latin-1 rendering: the euro sign has none.
    EXPECT_EQ(run_pumping("xclip -o -selection clipboard -t STRING"), "Gr\xfc\xdf" "e, Bitlorn: ? 42");
    std::string targets = run_pumping("xclip -o -selection clipboard -t TARGETS");
    for (const char* target : {"UTF8_STRING", "STRING", "TEXT", "TARGETS", "text/plain;charset=utf-8"})
        EXPECT_NE(targets.find(target), std::string::npos) << target << " in " << targets;
    // Our own data comes back without asking the server.
    EXPECT_EQ(as_string(os_clipboard_get_text()), text);
}

TEST_F(ClipboardTest, LargeDataCrossesInPiecesBothWays) {
    std::string bytes = pattern(5 * 1024 * 1024, 7);
    bytes[0] = 0;  // raw bytes, NULs included
    os_clipboard_set_text_and_data(os_string("4D 5A"), os_string("application/octet-stream"),
                                   utf8_string{(int64_t)bytes.size(), bytes.data()});
    std::string back = run_pumping("xclip -o -selection clipboard -t application/octet-stream", 30000);
    EXPECT_EQ(back.size(), bytes.size());
    EXPECT_TRUE(back == bytes);
    EXPECT_EQ(run_pumping("xclip -o -selection clipboard"), "4D 5A");

    std::string png = pattern(5 * 1024 * 1024, 11);
    std::string path = write_temp_file("big.png", png.data(), png.size());
    os_process xclip;
    ASSERT_TRUE(offer_with_xclip(&xclip, "image/png", path));
    os_clipboard_result result = os_clipboard_get_png();
    EXPECT_EQ(result.length, png.size());
    EXPECT_TRUE(as_string(result) == png);

    std::vector<std::string> names;
    static std::vector<std::string>* listed;
    listed = &names;
    EXPECT_EQ(os_clipboard_list_formats([](uint32_t code, utf8_string* name) {
        listed->push_back(std::to_string(code) + " " + std::string(name->data, (size_t)name->length));
    }), 0);
    ASSERT_FALSE(names.empty());
    EXPECT_NE(std::find(names.begin(), names.end(), std::to_string(names.size()) + " image/png"), names.end())
        << names.size();
    os_process_close(&xclip);
}

TEST_F(ClipboardTest, ForeignTextFileNamesAndBitmaps) {
    os_process xclip;
    std::string latin1 = "caf\xe9";
    std::string path = write_temp_file("latin1.txt", latin1.data(), latin1.size());
    ASSERT_TRUE(offer_with_xclip(&xclip, "STRING", path));
    EXPECT_EQ(as_string(os_clipboard_get_text()), "caf\xc3\xa9");
    os_process_close(&xclip);

    std::string uris = "# comment\r\nhttp://example.com/x\r\nfile:///tmp/a%20b.bin\r\nfile:///tmp/c\r\n";
    path = write_temp_file("uris.txt", uris.data(), uris.size());
    ASSERT_TRUE(offer_with_xclip(&xclip, "text/uri-list", path));
    EXPECT_EQ(as_string(os_clipboard_get_file_name()), "/tmp/a b.bin");
    os_process_close(&xclip);

    // A bitmap without its file header gets one, pointing past the 40-byte header.
    std::string dib(40 + 16, '\0');
    dib[0] = 40;
    dib[4] = 2;   // width
    dib[8] = 2;   // height
    dib[12] = 1;  // planes
    dib[14] = 32; // bits
    path = write_temp_file("dib.bin", dib.data(), dib.size());
    ASSERT_TRUE(offer_with_xclip(&xclip, "image/bmp", path));
    std::string bmp = as_string(os_clipboard_get_bmp());
    ASSERT_EQ(bmp.size(), 14 + dib.size());
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ((uint8_t)bmp[10], 54);
    EXPECT_EQ(bmp.substr(14), dib);
    os_process_close(&xclip);
}

TEST_F(ClipboardTest, ReadsGiveUpOnAnOwnerThatNeverAnswers) {
    // A window of the test's own takes the clipboard and never answers.
    Window silent = XCreateSimpleWindow(tester, DefaultRootWindow(tester), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(tester, clipboard, silent, CurrentTime);
    XSync(tester, False);
    uint64_t start = os_now_milliseconds();
    EXPECT_EQ(os_clipboard_get_text().length, 0u);
    uint64_t waited = os_now_milliseconds() - start;
    EXPECT_GE(waited, 900u);
    EXPECT_LT(waited, 3000u);
    // With no owner at all, the answer is empty at once.
    XDestroyWindow(tester, silent);
    XSync(tester, False);
    start = os_now_milliseconds();
    EXPECT_EQ(os_clipboard_get_png().length, 0u);
    EXPECT_LT(os_now_milliseconds() - start, 500u);
}

TEST_F(ClipboardTest, SnapshotOffersTheScreenAsPngAndBmp) {
    os_clipboard_snapshot(nullptr);
    std::string bmp = as_string(os_clipboard_get_bmp());
    ASSERT_GE(bmp.size(), 54u);
    int32_t width, height;
    memcpy(&width, bmp.data() + 18, 4);
    memcpy(&height, bmp.data() + 22, 4);
    EXPECT_EQ(width, DisplayWidth(tester, DefaultScreen(tester)));
    EXPECT_EQ(height, DisplayHeight(tester, DefaultScreen(tester)));
    std::string png = run_pumping("xclip -o -selection clipboard -t image/png", 30000);
    ASSERT_GE(png.size(), 8u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
}

// A requestor of the test's own, on a connection that can vanish: pumps our side
// and hands each property given a new value to `on` until that returns true; false after 10 s.
bool serve_requestor(Display* peer, const std::function<bool(Atom)>& on) {
    for (uint64_t deadline = os_now_milliseconds() + 10000; os_now_milliseconds() < deadline;) {
        os_poll_messages();
        for (XEvent e; XPending(peer);) {
            XNextEvent(peer, &e);
            if (e.type == PropertyNotify && e.xproperty.state == PropertyNewValue && on(e.xproperty.atom)) return true;
        }
        os_sleep_milliseconds(1);
    }
    return false;
}

// Takes (and deletes) a property's value; an INCR announcement reads as "INCR".
std::string take(Display* peer, Window window, Atom property) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, left = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(peer, window, property, 0, 1 << 24, True, AnyPropertyType, &type, &format, &items, &left,
                       &data);
    std::string value = format == 32 ? "INCR" : data ? std::string((const char*)data, items) : "";
    if (data) XFree(data);
    return value;
}

TEST_F(ClipboardTest, LargeSendsEndWithARequestorThatDiesAndRunSideBySideToOneWindow) {
    std::string png = pattern(700 * 1024, 3), bmp = "BM" + pattern(900 * 1024, 5);
    os_clipboard_set_image(utf8_string{(int64_t)bmp.size(), bmp.data()}, {}, utf8_string{(int64_t)png.size(), png.data()});
    Display* peer = XOpenDisplay(nullptr);
    ASSERT_TRUE(peer);
    auto atom = [&](const char* name) { return XInternAtom(peer, name, False); };
    Window window = XCreateSimpleWindow(peer, DefaultRootWindow(peer), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(peer, window, PropertyChangeMask);
    Atom pairs[4] = {atom("image/png"), atom("P1"), atom("image/bmp"), atom("P2")};
    XChangeProperty(peer, window, atom("PAIRS"), atom("ATOM_PAIR"), 32, PropModeReplace, (unsigned char*)pairs, 4);
    XConvertSelection(peer, atom("CLIPBOARD"), atom("MULTIPLE"), atom("PAIRS"), window, CurrentTime);
    // Both arrive in pieces at once: the end of one must not stall the other.
    std::string got[2];
    int ended = 0;
    EXPECT_TRUE(serve_requestor(peer, [&](Atom property) {
        for (int i = 0; i < 2; i++) {
            std::string value = property == pairs[2 * i + 1] ? take(peer, window, property) : "INCR";
            got[i] += value == "INCR" ? "" : value;
            ended += value.empty();
        }
        return ended == 2;
    }));
    EXPECT_TRUE(got[0] == png && got[1] == bmp) << got[0].size() << " " << got[1].size();

    // A requestor that goes away after one piece takes its copy of the data with it.
    XConvertSelection(peer, atom("CLIPBOARD"), atom("image/png"), pairs[1], window, CurrentTime);
    EXPECT_TRUE(serve_requestor(peer, [&](Atom p) { return p == pairs[1] && take(peer, window, p) != "INCR"; }));

    // Any client may name one of our own windows as the requestor: it keeps its events.
    os_window* ours = os_window_create(20, 20, os_string("requestor"), os_window_flag_hidden);
    Window own = (Window)ours->native_handle;
    XWindowAttributes before = {}, after = {};
    XGetWindowAttributes(os_x11_display(), own, &before);
    XSelectInput(peer, own, PropertyChangeMask);
    XConvertSelection(peer, atom("CLIPBOARD"), atom("image/png"), atom("P3"), own, CurrentTime);
    EXPECT_TRUE(serve_requestor(peer, [&](Atom p) { return p == atom("P3") && take(peer, own, p).empty(); }));
    EXPECT_TRUE(pump_until([&] {
        return XGetWindowAttributes(os_x11_display(), own, &after) && after.your_event_mask == before.your_event_mask;
    }));
    os_window_destroy(ours);
    XCloseDisplay(peer);
    EXPECT_TRUE(pump_until([] {
        auto& transfers = os_platform.clipboard.transfers;
        return std::none_of(std::begin(transfers), std::end(transfers), [](auto& t) { return t.requestor != 0; });
    }));
}

// The PNG writer's pixels come back out of zlib and the filter bytes unchanged,
// also where the rows fill whole stored blocks of 65535 bytes exactly.
TEST(ImageFilesTest, PngAndBmpHoldThePixels) {
    struct size { uint32_t w, h; };
    for (size s : {size{1, 1}, size{3, 2}, size{200, 90}, size{17000, 2}, size{64, 254}, size{64, 255},
                   size{64, 256}, size{321, 51}, size{1092, 15}, size{1092, 16}}) {
        std::vector<uint32_t> pixels((size_t)s.w * s.h);
        for (size_t i = 0; i < pixels.size(); i += 1) pixels[i] = (uint32_t)(i * 2654435761u);
        uint8_t* png = nullptr;
        uint64_t length = os_encode_png(pixels.data(), s.w, s.h, &png);
        ASSERT_GT(length, 57u);
        uint32_t idat_length = (uint32_t)png[33] << 24 | (uint32_t)png[34] << 16 | (uint32_t)png[35] << 8 | png[36];
        ASSERT_EQ(memcmp(png + 37, "IDAT", 4), 0);
        ASSERT_EQ(length, 41u + idat_length + 4 + 12) << s.w << "x" << s.h;
        uLongf raw_length = (uLongf)((uint64_t)(s.w * 4 + 1) * s.h);
        std::vector<uint8_t> raw(raw_length);
        ASSERT_EQ(uncompress(raw.data(), &raw_length, png + 41, idat_length), Z_OK);
        for (uint32_t y = 0; y < s.h; y += 1) {
            const uint8_t* row = raw.data() + (uint64_t)y * (s.w * 4 + 1);
            ASSERT_EQ(row[0], 0);
            for (uint32_t x = 0; x < s.w; x += 1) {
                uint32_t p = pixels[(size_t)y * s.w + x];
                const uint8_t* q = row + 1 + x * 4;
                ASSERT_EQ((uint32_t)q[0] << 16 | (uint32_t)q[1] << 8 | q[2] | (uint32_t)q[3] << 24, p);
            }
        }
        EXPECT_EQ(crc32(0, png + 37, 4 + idat_length), (uLong)((uint32_t)png[41 + idat_length] << 24 |
                                                               (uint32_t)png[42 + idat_length] << 16 |
                                                               (uint32_t)png[43 + idat_length] << 8 |
                                                               png[44 + idat_length]));
        os_free(png);

        uint8_t* bmp = nullptr;
        length = os_encode_bmp(pixels.data(), s.w, s.h, &bmp);
        ASSERT_EQ(length, 54 + (uint64_t)s.w * s.h * 4);
        uint32_t bottom_left;
        memcpy(&bottom_left, bmp + 54, 4);
        EXPECT_EQ(bottom_left, pixels[(size_t)(s.h - 1) * s.w]);
        os_free(bmp);
    }
}

TEST(ImageFilesTest, DibsGetAFileHeader) {
    struct row {
        uint32_t header, bits, compression, colors_used, image_size, length;
        uint64_t expected_length;  // 0: refused
        uint32_t expected_offset;
    };
    const row rows[] = {
        {40, 32, 0, 0, 0, 56, 70, 54},        // size 0: the whole DIB
        {40, 32, 0, 0, 16, 56, 70, 54},
        {40, 32, 0, 0, 8, 56, 62, 54},        // the image size cuts the file short
        {124, 32, 0, 0, 0, 140, 154, 138},
        {40, 8, 0, 0, 0, 40 + 1024 + 4, 14 + 40 + 1024 + 4, 14 + 40 + 1024},  // a palette of 256
        {40, 32, 3, 0, 0, 40 + 12 + 4, 14 + 40 + 12 + 4, 14 + 40 + 12},       // bit-field masks
        {40, 32, 0, 0, 0, 39, 0, 0},          // too short
        {200, 32, 0, 0, 0, 60, 0, 0},         // header longer than the data
    };
    for (const row& r : rows) {
        std::vector<uint8_t> dib(r.length, 0);
        if (r.length >= 40) {
            memcpy(dib.data(), &r.header, 4);
            dib[14] = (uint8_t)r.bits;
            memcpy(dib.data() + 16, &r.compression, 4);
            memcpy(dib.data() + 20, &r.image_size, 4);
            memcpy(dib.data() + 32, &r.colors_used, 4);
        }
        uint8_t* file = nullptr;
        uint64_t length = os_bmp_from_dib(dib.data(), dib.size(), &file);
        EXPECT_EQ(length, r.expected_length) << r.header << " " << r.length;
        if (length) {
            uint32_t size, offset;
            memcpy(&size, file + 2, 4);
            memcpy(&offset, file + 10, 4);
            EXPECT_EQ(size, length);
            EXPECT_EQ(offset, r.expected_offset);
        }
        os_free(file);
    }
}

}  // namespace
