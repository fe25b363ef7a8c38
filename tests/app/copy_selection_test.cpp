// Copying the selection: the text readings, and Ctrl+C through the event
// entry point onto the real clipboard of a private X server.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/copy_as_code.h"
#include "app/copy_selection.h"
#include "app_test_support.h"

namespace {

std::string hex_of(const std::vector<uint8_t>& bytes) {
    std::string out(bytes.size() * 3, '\0');
    out.resize(write_hex_text(bytes.data(), bytes.size(), out.data()));
    return out;
}

// Every format read back by another program: python for the C array (as a
// list), the Python bytes and base64; xxd -r for the dump, which must also be
// what xxd itself prints for those bytes of the file.
TEST(CopyTextTest, CodeFormatsReadBackAsTheBytes) {
    if (system("command -v xxd >/dev/null && command -v python3 >/dev/null") != 0)
        SKIP_OR_FAIL_UNDER_CI("xxd or python3 is not installed");
    std::vector<uint8_t> all(256), random_bytes(100);
    for (int i = 0; i < 256; i++) all[(size_t)i] = (uint8_t)i;
    std::mt19937 random(27);
    for (uint8_t& b : random_bytes) b = (uint8_t)random();
    const struct {
        std::vector<uint8_t> bytes;
        uint64_t offset;
    } cases[] = {{{0x4d, 0x5a, 0x90, 0x00}, 0}, {all, 0x1234}, {random_bytes, 0x123456789}, {{'\'', '\\', '"'}, 17}};
    std::string dir = make_temp_dir(), script = "import base64, sys\nd = sys.argv[1]\n";
    auto put = [](const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
        const auto& c = cases[i];
        std::string name = dir + "/" + std::to_string(i);
        for (uint8_t format = 0; format < copy_format_count; format++) {
            std::string text(copy_format_room((copy_format)format, c.bytes.size()), '\0');
            text.resize(write_copy_format((copy_format)format, c.bytes.data(), c.bytes.size(), c.offset, text.data()));
            put(name + "." + "hcpbx"[format], text);
        }
        int fd = open((name + ".in_file").c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_EQ(pwrite(fd, c.bytes.data(), c.bytes.size(), (off_t)c.offset), (ssize_t)c.bytes.size());
        close(fd);
        put(name + ".bin", std::string(c.bytes.begin(), c.bytes.end()));
        std::string n = std::to_string(i), off = std::to_string(c.offset), len = std::to_string(c.bytes.size());
        script += "b = open(f'{d}/" + n + ".bin', 'rb').read()\n"
                  "assert bytes(eval(open(f'{d}/" + n + ".c').read().replace('{', '[').replace('}', ']'))) == b\n"
                  "assert eval(open(f'{d}/" + n + ".p').read()) == b\n"
                  "assert base64.b64decode(open(f'{d}/" + n + ".b').read(), validate=True) == b\n";
        std::string xxd = "xxd -r -s -" + off + " " + name + ".x > " + name + ".back && cmp " + name + ".back " + name +
                          ".bin && xxd -s " + off + " -l " + len + " " + name + ".in_file | cmp - " + name + ".x";
        EXPECT_EQ(system(xxd.c_str()), 0) << xxd;
    }
    put(dir + "/read_back.py", script);
    EXPECT_EQ(system(("python3 " + dir + "/read_back.py " + dir).c_str()), 0) << script;
    EXPECT_EQ(read_text_file(dir + "/0.c"), "{ 0x4D, 0x5A, 0x90, 0x00 }");
    EXPECT_EQ(read_text_file(dir + "/0.p"), "b'MZ\\x90\\x00'");
    std::string second_line = "0x0F,\n  0x10, ";
    EXPECT_NE(read_text_file(dir + "/1.c").find(second_line), std::string::npos);
}

TEST(CopyTextTest, HexTextIsUppercasePairsBetweenSpaces) {
    struct {
        std::vector<uint8_t> bytes;
        const char* text;
    } cases[] = {
        {{}, ""},
        {{0x00}, "00"},
        {{0x4d, 0x5a, 0x90, 0x00}, "4D 5A 90 00"},
        {{0xff, 0x0a, 0xab}, "FF 0A AB"},
    };
    for (const auto& c : cases) EXPECT_EQ(hex_of(c.bytes), c.text);
}

// A second decoder, written the other way round: decode each code point and
// reject what the standard forbids.
bool reference_valid_utf8(const std::vector<uint8_t>& s) {
    size_t i = 0;
    while (i < s.size()) {
        uint8_t b = s[i];
        int n = b < 0x80 ? 0 : (b & 0xe0) == 0xc0 ? 1 : (b & 0xf0) == 0xe0 ? 2 : (b & 0xf8) == 0xf0 ? 3 : -1;
        if (n < 0 || i + (size_t)n >= s.size() + (n == 0)) return false;
        uint32_t cp = n == 0 ? b : n == 1 ? (b & 0x1f) : n == 2 ? (b & 0x0f) : (b & 0x07);
        for (int k = 1; k <= n; k++) {
            if ((s[i + k] & 0xc0) != 0x80) return false;
            cp = (cp << 6) | (s[i + k] & 0x3f);
        }
        static const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (cp < least[n] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) return false;
        i += (size_t)n + 1;
    }
    return true;
}

TEST(CopyTextTest, Utf8CheckAgreesWithAReferenceDecoder) {
    struct {
        std::vector<uint8_t> bytes;
        bool valid;
    } cases[] = {
        {{'a', 'b'}, true},
        {{0xc3, 0xa9}, true},               // é
        {{0xe2, 0x82, 0xac}, true},         // €
        {{0xf0, 0x9f, 0x98, 0x80}, true},   // an emoji
        {{0xc0, 0xaf}, false},              // overlong
        {{0xe0, 0x80, 0xaf}, false},        // overlong
        {{0xed, 0xa0, 0x80}, false},        // a surrogate
        {{0xf4, 0x90, 0x80, 0x80}, false},  // past U+10FFFF
        {{0xe2, 0x82}, false},              // cut short
        {{0x80}, false},
        {{0xff}, false},
        {{0x00, 0x7f}, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(is_valid_utf8(c.bytes.data(), c.bytes.size()), c.valid) << hex_of(c.bytes);
        EXPECT_EQ(reference_valid_utf8(c.bytes), c.valid) << hex_of(c.bytes);
    }
    std::mt19937 random(7);
    const uint8_t interesting[] = {0x00, 0x41, 0x7f, 0x80, 0x8f, 0x90, 0x9f, 0xa0, 0xbf, 0xc0, 0xc1, 0xc2,
                                   0xdf, 0xe0, 0xed, 0xef, 0xf0, 0xf4, 0xf5, 0xff};
    for (int round = 0; round < 200000; round++) {
        std::vector<uint8_t> bytes(random() % 6);
        for (uint8_t& b : bytes) b = interesting[random() % sizeof interesting];
        ASSERT_EQ(is_valid_utf8(bytes.data(), bytes.size()), reference_valid_utf8(bytes)) << hex_of(bytes);
    }
}

TEST(CopyTextTest, Latin1BecomesUtf8) {
    std::vector<uint8_t> bytes = {'A', 0xe9, 0x00, 0xff, 0x80};
    std::string out(bytes.size() * 2, '\0');
    out.resize(write_latin1_as_utf8(bytes.data(), bytes.size(), out.data()));
    EXPECT_EQ(out, std::string("A\xc3\xa9\0\xc3\xbf\xc2\x80", 8));
    EXPECT_TRUE(is_valid_utf8((const uint8_t*)out.data(), out.size()));
}

class CopySelectionTest : public ::testing::Test {
protected:
    fake_window fake;
    std::vector<uint8_t> bytes;

    void SetUp() override {
        use_fake_window(&fake, 1600, 900, false);
        layout_panels();
    }

    void show(std::vector<uint8_t> contents) {
        bytes = std::move(contents);
        app_state.file.data = bytes.data();
        app_state.file.size = bytes.size();
    }

    void point_at(rect panel) {
        app_state.mouse_x = panel.x + panel.w / 2;
        app_state.mouse_y = panel.y + panel.h / 2;
    }

    void control_c() {
        send_key(os_key_control, os_key_state_pressed);
        send_key(os_key_a + 2, os_key_state_pressed);
        send_key(os_key_a + 2, os_key_state_released);
        send_key(os_key_control, os_key_state_released);
    }


    std::string clipboard_text() {
        os_clipboard_result got = os_clipboard_get_text();
        std::string text(got.data ? (const char*)got.data : "", got.length);
        os_clipboard_free(&got);
        return text;
    }
};

TEST_F(CopySelectionTest, WhatIsCopiedFollowsTheGridAndTheFile) {
    if (!ensure_x_display()) SKIP_OR_FAIL_UNDER_CI("no X display");
    struct {
        std::vector<uint8_t> contents;
        int64_t offset, length;
        int where;  // 0 hex grid, 1 character grid, 2 elsewhere after a click in the character grid
        std::string text;
    } cases[] = {
        {{0x4d, 0x5a, 0x90, 0x00}, 0, 4, 0, "4D 5A 90 00"},
        {{'h', 0xc3, 0xa9, '!'}, 0, 4, 1, "h\xc3\xa9!"},
        {{'h', 0xe9, '!'}, 0, 3, 1, "h\xc3\xa9!"},  // not UTF-8: read as Latin-1
        {{'a', 'b', 'c', 'd'}, 2, 100, 0, "63 64"},  // only the bytes inside the file
        {{'a', 'b', 'c', 'd'}, 1, 2, 2, "bc"},
    };
    for (const auto& c : cases) {
        show(c.contents);
        app_state.select_offset = c.offset;
        app_state.select_len = c.length;
        app_state.last_clicked_grid = copy_grid_none;
        if (c.where == 2) {
            point_at(app_state.text_panel);
            send_click();
            app_state.mouse_x = app_state.mouse_y = 0;
        } else {
            point_at(c.where == 0 ? app_state.hex_panel : app_state.text_panel);
        }
        control_c();
        EXPECT_EQ(clipboard_text(), c.text) << c.text;
        EXPECT_EQ(status_text().rfind("Copied ", 0), 0u) << status_text();
    }
    // The message lasts until the next key.
    send_key(os_key_left, os_key_state_pressed);
    EXPECT_EQ(status_text(), "");
}

// Ctrl+Shift+C waits for a format's letter; Escape cancels.
TEST_F(CopySelectionTest, CopyAsCodeTakesOneLetter) {
    if (!ensure_x_display()) SKIP_OR_FAIL_UNDER_CI("no X display");
    show({'a', 'b', 'c', 'd'});
    app_state.select_offset = 2;
    app_state.select_len = 100;
    for (uint32_t letter : {(uint32_t)os_key_escape, (uint32_t)'c'}) {
        os_clipboard_set_text(os_string("before"));
        send_key(os_key_control, os_key_state_pressed);
        send_key(os_key_shift, os_key_state_pressed);
        send_key(os_key_a + 2, os_key_state_pressed);
        send_key(os_key_shift, os_key_state_released);
        send_key(os_key_control, os_key_state_released);
        EXPECT_EQ(app_state.prompt.kind, prompt_copy_as);
        send_char('z');  // no format
        if (letter == os_key_escape) send_key(os_key_escape);
        else send_char(letter);
        EXPECT_EQ(app_state.prompt.kind, prompt_closed);
        EXPECT_EQ(clipboard_text(), letter == 'c' ? "{ 0x63, 0x64 }" : "before");
        EXPECT_EQ(status_text(), letter == 'c' ? "Copied 2 bytes as a C array." : "");
    }
}

TEST_F(CopySelectionTest, TooLargeOrEmptySelectionsCopyNothing) {
    if (!ensure_x_display()) SKIP_OR_FAIL_UNDER_CI("no X display");
    std::vector<uint8_t> big(copy_limit_bytes + 2, 0x41);
    show(std::move(big));
    point_at(app_state.hex_panel);
    app_state.select_offset = 0;
    app_state.select_len = (int64_t)copy_limit_bytes;
    control_c();
    EXPECT_EQ(status_text().rfind("Copied 67108864 bytes", 0), 0u) << status_text();

    os_clipboard_set_text(os_string("before"));
    app_state.select_len = (int64_t)copy_limit_bytes + 1;
    control_c();
    EXPECT_EQ(status_text(), "Not copied: the selection is larger than 64 MiB.");
    EXPECT_EQ(clipboard_text(), "before");

    show({});
    app_state.select_offset = -1;
    app_state.select_len = 1;
    control_c();
    EXPECT_EQ(status_text(), "");
    EXPECT_EQ(clipboard_text(), "before");
}

}  // namespace
