// Pure translations of the X11 layer: key symbols, uri-lists, XSETTINGS.
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "os/os_private.h"

// The keys the application's commands and input table listen for.
TEST(KeyTranslation, CommandKeysArriveWithTheirNamedCodes) {
    const struct {
        unsigned long keysym;
        uint16_t key;
    } cases[] = {
        {XK_Left, os_key_left},       {XK_Right, os_key_right},   {XK_Up, os_key_up},
        {XK_Down, os_key_down},       {XK_Prior, os_key_page_up}, {XK_Next, os_key_page_down},
        {XK_Home, os_key_home},       {XK_End, os_key_end},       {XK_Delete, os_key_delete},
        {XK_Shift_L, os_key_shift},   {XK_Shift_R, os_key_shift}, {XK_Return, os_key_return},
        {XK_Escape, os_key_escape},   {XK_Tab, os_key_tab},       {XK_BackSpace, os_key_backspace},
    };
    for (const auto& c : cases) EXPECT_EQ(os_x11_virtual_key(c.keysym), c.key) << XKeysymToString(c.keysym);
}

TEST(KeyTranslation, RunsOfKeysMapInOrderAndCaseDoesNotMatter) {
    for (unsigned long i = 0; i < 26; i++) {
        EXPECT_EQ(os_x11_virtual_key(XK_a + i), os_key_a + i);
        EXPECT_EQ(os_x11_virtual_key(XK_A + i), os_key_a + i);
    }
    for (unsigned long i = 0; i < 10; i++) {
        EXPECT_EQ(os_x11_virtual_key(XK_0 + i), os_key_0 + i);
        EXPECT_EQ(os_x11_virtual_key(XK_KP_0 + i), os_key_numpad_0 + i);
    }
    for (unsigned long i = 0; i < os_function_key_count; i++) EXPECT_EQ(os_x11_virtual_key(XK_F1 + i), os_key_f1 + i);
    EXPECT_EQ(os_x11_virtual_key(XK_F1 + os_function_key_count), 0);
}

// With Num Lock off the keypad moves the cursor like the dedicated keys.
TEST(KeyTranslation, KeypadTwinsGiveTheSameCodeAsTheirMainKeys) {
    const unsigned long twins[][2] = {
        {XK_KP_Left, XK_Left},   {XK_KP_Right, XK_Right}, {XK_KP_Up, XK_Up},         {XK_KP_Down, XK_Down},
        {XK_KP_Prior, XK_Prior}, {XK_KP_Next, XK_Next},   {XK_KP_Home, XK_Home},     {XK_KP_End, XK_End},
        {XK_KP_Insert, XK_Insert}, {XK_KP_Delete, XK_Delete}, {XK_KP_Enter, XK_Return}, {XK_KP_Space, XK_space},
        {XK_ISO_Left_Tab, XK_Tab}, {XK_Control_R, XK_Control_L}, {XK_Alt_R, XK_Alt_L},
    };
    for (const auto& twin : twins)
        EXPECT_EQ(os_x11_virtual_key(twin[0]), os_x11_virtual_key(twin[1])) << XKeysymToString(twin[0]);
}

// Every key symbol of the Latin-1 and function ranges gives no code or a key
// code below the mouse buttons, and every named key is reachable.
TEST(KeyTranslation, EveryKeySymbolGivesAKeyCodeOrNoneAndEveryNameIsReached) {
    bool reached[256] = {};
    for (unsigned long keysym = 0; keysym <= 0xFFFF; keysym++) {
        uint16_t key = os_x11_virtual_key(keysym);
        ASSERT_LT(key, 0x100) << std::hex << keysym;
        reached[key] = true;
    }
    const uint16_t named[] = {
        os_key_backspace, os_key_tab, os_key_clear, os_key_return, os_key_shift, os_key_control, os_key_alt,
        os_key_pause, os_key_caps_lock, os_key_escape, os_key_space, os_key_page_up, os_key_page_down, os_key_end,
        os_key_home, os_key_left, os_key_up, os_key_right, os_key_down, os_key_print_screen, os_key_insert,
        os_key_delete, os_key_left_super, os_key_right_super, os_key_menu, os_key_numpad_multiply,
        os_key_numpad_add, os_key_numpad_separator, os_key_numpad_subtract, os_key_numpad_decimal,
        os_key_numpad_divide, os_key_num_lock, os_key_scroll_lock, os_key_semicolon, os_key_equal, os_key_comma,
        os_key_minus, os_key_period, os_key_slash, os_key_grave, os_key_left_bracket, os_key_backslash,
        os_key_right_bracket, os_key_apostrophe,
    };
    for (uint16_t key : named) EXPECT_TRUE(reached[key]) << "no key symbol gives 0x" << std::hex << key;
    EXPECT_EQ(os_x11_virtual_key(XK_VoidSymbol), 0);
    EXPECT_EQ(os_x11_virtual_key(NoSymbol), 0);
}

TEST(KeyTranslation, LatinAndUnicodeKeysymsTypeTheirCharacters) {
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
