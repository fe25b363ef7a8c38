// Pure translations of the X11 layer: key symbols, uri-lists, XSETTINGS.
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "os/os_private.h"

TEST(KeysymToVirtualKey, LettersDigitsAndNavigation) {
    EXPECT_EQ(os_x11_virtual_key(XK_a), 0x41);
    EXPECT_EQ(os_x11_virtual_key(XK_Z), 0x5A);
    EXPECT_EQ(os_x11_virtual_key(XK_z), 0x5A);
    EXPECT_EQ(os_x11_virtual_key(XK_0), 0x30);
    EXPECT_EQ(os_x11_virtual_key(XK_9), 0x39);
    EXPECT_EQ(os_x11_virtual_key(XK_Left), 0x25);
    EXPECT_EQ(os_x11_virtual_key(XK_Up), 0x26);
    EXPECT_EQ(os_x11_virtual_key(XK_Right), 0x27);
    EXPECT_EQ(os_x11_virtual_key(XK_Down), 0x28);
    EXPECT_EQ(os_x11_virtual_key(XK_Prior), 0x21);
    EXPECT_EQ(os_x11_virtual_key(XK_Next), 0x22);
    EXPECT_EQ(os_x11_virtual_key(XK_Home), 0x24);
    EXPECT_EQ(os_x11_virtual_key(XK_End), 0x23);
    EXPECT_EQ(os_x11_virtual_key(XK_Insert), 0x2D);
    EXPECT_EQ(os_x11_virtual_key(XK_Delete), 0x2E);
    EXPECT_EQ(os_x11_virtual_key(XK_Escape), 0x1B);
    EXPECT_EQ(os_x11_virtual_key(XK_Tab), 0x09);
    EXPECT_EQ(os_x11_virtual_key(XK_Return), 0x0D);
    EXPECT_EQ(os_x11_virtual_key(XK_BackSpace), 0x08);
    EXPECT_EQ(os_x11_virtual_key(XK_space), 0x20);
}

TEST(KeysymToVirtualKey, ModifiersLocksAndFunctionKeys) {
    EXPECT_EQ(os_x11_virtual_key(XK_Shift_L), 0x10);
    EXPECT_EQ(os_x11_virtual_key(XK_Shift_R), 0x10);
    EXPECT_EQ(os_x11_virtual_key(XK_Control_R), 0x11);
    EXPECT_EQ(os_x11_virtual_key(XK_Alt_L), 0x12);
    EXPECT_EQ(os_x11_virtual_key(XK_Caps_Lock), 0x14);
    EXPECT_EQ(os_x11_virtual_key(XK_Num_Lock), 0x90);
    EXPECT_EQ(os_x11_virtual_key(XK_Scroll_Lock), 0x91);
    EXPECT_EQ(os_x11_virtual_key(XK_F1), 0x70);
    EXPECT_EQ(os_x11_virtual_key(XK_F12), 0x7B);
    EXPECT_EQ(os_x11_virtual_key(XK_F24), 0x87);
}

TEST(KeysymToVirtualKey, KeypadAndPunctuation) {
    EXPECT_EQ(os_x11_virtual_key(XK_KP_0), 0x60);
    EXPECT_EQ(os_x11_virtual_key(XK_KP_9), 0x69);
    EXPECT_EQ(os_x11_virtual_key(XK_KP_Multiply), 0x6A);
    EXPECT_EQ(os_x11_virtual_key(XK_KP_Add), 0x6B);
    EXPECT_EQ(os_x11_virtual_key(XK_KP_Separator), 0x6C);
    EXPECT_EQ(os_x11_virtual_key(XK_KP_Subtract), 0x6D);
    EXPECT_EQ(os_x11_virtual_key(XK_KP_Decimal), 0x6E);
    EXPECT_EQ(os_x11_virtual_key(XK_KP_Divide), 0x6F);
    EXPECT_EQ(os_x11_virtual_key(XK_KP_Enter), 0x0D);
    // Keypad navigation (Num Lock off) behaves like the dedicated keys.
    EXPECT_EQ(os_x11_virtual_key(XK_KP_Home), 0x24);
    EXPECT_EQ(os_x11_virtual_key(XK_semicolon), 0xBA);
    EXPECT_EQ(os_x11_virtual_key(XK_equal), 0xBB);
    EXPECT_EQ(os_x11_virtual_key(XK_comma), 0xBC);
    EXPECT_EQ(os_x11_virtual_key(XK_minus), 0xBD);
    EXPECT_EQ(os_x11_virtual_key(XK_period), 0xBE);
    EXPECT_EQ(os_x11_virtual_key(XK_slash), 0xBF);
    EXPECT_EQ(os_x11_virtual_key(XK_grave), 0xC0);
    EXPECT_EQ(os_x11_virtual_key(XK_bracketleft), 0xDB);
    EXPECT_EQ(os_x11_virtual_key(XK_backslash), 0xDC);
    EXPECT_EQ(os_x11_virtual_key(XK_bracketright), 0xDD);
    EXPECT_EQ(os_x11_virtual_key(XK_apostrophe), 0xDE);
    EXPECT_EQ(os_x11_virtual_key(XK_VoidSymbol), 0);
    EXPECT_EQ(os_x11_virtual_key(NoSymbol), 0);
}

TEST(KeysymToUnicode, LatinAndUnicodeKeysyms) {
    EXPECT_EQ(os_x11_keysym_to_unicode(XK_a), (uint32_t)'a');
    EXPECT_EQ(os_x11_keysym_to_unicode(XK_udiaeresis), 0xFCu);
    EXPECT_EQ(os_x11_keysym_to_unicode(0x01000000 + 0x1F600), 0x1F600u);
    EXPECT_EQ(os_x11_keysym_to_unicode(XK_Return), 13u);
    EXPECT_EQ(os_x11_keysym_to_unicode(XK_Left), 0u);
}

static std::vector<std::string> parse(const std::string& text, uint32_t* count, std::string* raw = nullptr) {
    char* block = os_xdnd_parse_uri_list(text.data(), (int64_t)text.size(), count);
    std::vector<std::string> paths;
    EXPECT_NE(block, nullptr);
    if (!block) return paths;
    const char* at = block;
    while (*at) {
        paths.push_back(at);
        at += paths.back().size() + 1;
    }
    if (raw) raw->assign(block, (size_t)(at - block) + 1);
    os_free(block);
    return paths;
}

TEST(UriList, TwoFilesGiveTheBlockOfPathsAndAFinalNul) {
    uint32_t count = 0;
    std::string raw;
    std::vector<std::string> paths = parse("file:///a/b.bin\r\nfile:///c.txt\r\n", &count, &raw);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(raw, std::string("/a/b.bin\0/c.txt\0\0", 17));
    ASSERT_EQ(paths.size(), 2u);
}

TEST(UriList, CommentsForeignSchemesAndHostsAreHandled) {
    uint32_t count = 0;
    std::vector<std::string> paths =
        parse("# a comment\r\nhttp://example.com/x\r\nfile://myhost/home/u/f.bin\r\nFILE:/tmp/x\r\n\r\n"
              "file://\r\nfile:relative\r\n",
              &count);
    EXPECT_EQ(count, 2u);
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_EQ(paths[0], "/home/u/f.bin");
    EXPECT_EQ(paths[1], "/tmp/x");
}

TEST(UriList, PercentDecodingGivesUtf8AndRejectsEmbeddedNul) {
    uint32_t count = 0;
    std::vector<std::string> paths =
        parse("file:///tmp/a%20b/%C3%A9t%C3%A9.bin\nfile:///tmp/bad%00name\nfile:///tmp/100%\nfile:///x%zz", &count);
    EXPECT_EQ(count, 3u);
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(paths[0], "/tmp/a b/\xC3\xA9t\xC3\xA9.bin");
    EXPECT_EQ(paths[1], "/tmp/100%");
    EXPECT_EQ(paths[2], "/x%zz");
}

TEST(UriList, EmptyOrPathlessListGivesZeroCountAndEmptyBlock) {
    uint32_t count = 7;
    std::string raw;
    EXPECT_TRUE(parse("", &count, &raw).empty());
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(raw, std::string("\0", 1));
    EXPECT_TRUE(parse("#only\r\nhttps://x/y\r\n", &count).empty());
    EXPECT_EQ(count, 0u);
}

static void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; i++) out.push_back((uint8_t)(v >> (8 * i)));
}

static void put_name(std::vector<uint8_t>& out, uint8_t type, const std::string& name) {
    out.push_back(type);
    out.push_back(0);
    out.push_back((uint8_t)name.size());
    out.push_back((uint8_t)(name.size() >> 8));
    for (char c : name) out.push_back((uint8_t)c);
    while (out.size() % 4) out.push_back(0);
    put32(out, 0);  // serial
}

TEST(XSettings, FindsTheDoubleClickTimeAfterOtherSettings) {
    std::vector<uint8_t> data = {0, 0, 0, 0};
    put32(data, 1);
    put32(data, 3);
    put_name(data, 1, "Net/ThemeName");
    put32(data, 5);
    for (char c : std::string("Adwai")) data.push_back((uint8_t)c);
    while (data.size() % 4) data.push_back(0);
    put_name(data, 2, "Gtk/Color");
    for (int i = 0; i < 8; i++) data.push_back(0);
    put_name(data, 0, "Net/DoubleClickTime");
    put32(data, 250);
    EXPECT_EQ(os_x11_xsettings_double_click_time(data.data(), data.size()), 250);
    // Cut short anywhere, the reader stops without reading past the end.
    for (size_t n = 0; n < data.size(); n++) EXPECT_EQ(os_x11_xsettings_double_click_time(data.data(), n), -1);
}
