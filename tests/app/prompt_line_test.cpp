// The prompt line driven by events: Go to, Find, messages, and the pixels of status line 1.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "app/app.h"
#include "app/prompt_line.h"
#include "app/sliced_jobs.h"
#include "app/status_line.h"
#include "app_test_support.h"
#include "render/font.h"
#include "test_canvas.h"
#include "types/type_table.h"
#include "views/views.h"

namespace {

TEST(GoToParse, DecimalHexAndRelativeOffsets) {
    struct go_to_case {
        const char* text;
        uint8_t result;
        uint8_t negative;
        uint8_t too_large;
        uint64_t value;
    };
    const go_to_case cases[] = {
        {"0", go_to_absolute, 0, 0, 0},
        {"1234", go_to_absolute, 0, 0, 1234},
        {"  77 ", go_to_absolute, 0, 0, 77},
        {"0x1F", go_to_absolute, 0, 0, 31},
        {"0Xff", go_to_absolute, 0, 0, 255},
        {"+16", go_to_relative, 0, 0, 16},
        {"-0x10", go_to_relative, 1, 0, 16},
        {"18446744073709551615", go_to_absolute, 0, 0, UINT64_MAX},
        {"18446744073709551616", go_to_absolute, 0, 1, UINT64_MAX},
        {"0x10000000000000000", go_to_absolute, 0, 1, UINT64_MAX},
        {"", go_to_not_a_number, 0, 0, 0},
        {"  ", go_to_not_a_number, 0, 0, 0},
        {"abc", go_to_not_a_number, 0, 0, 0},
        {"12a", go_to_not_a_number, 0, 0, 0},
        {"0x", go_to_not_a_number, 0, 0, 0},
        {"0xg1", go_to_not_a_number, 0, 0, 0},
        {"+", go_to_not_a_number, 0, 0, 0},
        {"--5", go_to_not_a_number, 0, 0, 0},
        {"1 2", go_to_not_a_number, 0, 0, 0},
        {"1.5", go_to_not_a_number, 0, 0, 0},
    };
    for (const go_to_case& c : cases) {
        go_to_target t = parse_go_to_text(c.text, strlen(c.text));
        EXPECT_EQ(t.result, c.result) << c.text;
        if (c.result == go_to_not_a_number) continue;
        EXPECT_EQ(t.negative, c.negative) << c.text;
        EXPECT_EQ(t.too_large, c.too_large) << c.text;
        EXPECT_EQ(t.value, c.value) << c.text;
    }
}

enum : color { background = 0xff111111 };

class PromptLine : public ::testing::Test {
protected:
    fake_window fake;
    std::vector<uint8_t> bytes;
    char path[32] = "/tmp/sample.bin";

    void SetUp() override {
        use_fake_window(&fake, 1280, 720, true);
        ASSERT_TRUE(build_glyph_atlas(&app_state.font, embedded_mono_png, embedded_mono_png_size));
        ASSERT_TRUE(text_buffer_create(&app_state.text, 10000));
        register_builtin_types();
        layout_panels();
        bytes.assign(100000, 0x41);
        memcpy(&bytes[70000], "IHDR", 4);
        app_state.file.size = bytes.size();
        app_state.file.data = bytes.data();
        app_state.file_path = path;
        app_state.file_path_len = (uint32_t)strlen(path);
        app_state.mouse_x = 5;
        app_state.mouse_y = 500;
        app_state.select_offset = 100;
    }
    void TearDown() override {
        app_state.file = file_contents{};
        app_state.file_path = nullptr;
    }

    void key(uint16_t code, uint8_t state = os_key_state_pressed) { send_key(code, state); }
    void ctrl(char letter) {
        key(os_key_control);
        key((uint16_t)(os_key_a + (letter - 'A')));
        key((uint16_t)(os_key_a + (letter - 'A')), os_key_state_released);
        key(os_key_control, os_key_state_released);
    }
    // Typed as the window delivers it: the key, then its character.
    void type(const std::string& text) {
        for (char c : text) send_char((uint8_t)c);
    }
    void enter() {
        key(os_key_return);
        send_char('\n');
    }
    void click() { send_click(); }
    void run_search() {
        for (int frames = 0; sliced_job_running(sliced_job_find) && frames < 1000; frames++) sliced_jobs_run_for_frame();
    }
    std::string line() {
        text_buffer text = {};
        text_buffer_create(&text, 64);
        build_prompt_line(&text);
        std::string out(text.data, text.length);
        os_free(text.data);
        return out;
    }
    // The pixels of one status line left of the data view.
    std::vector<color> strip(int line_index) {
        int32_t gh = app_state.font.glyph_h;
        int32_t y0 = app_state.hex_panel.y - (2 - line_index) * gh;
        std::vector<color> out;
        for (int32_t y = y0; y < y0 + gh; y++)
            for (int32_t x = 0; x < app_state.inspect_panel.x; x++)
                out.push_back(fake.pixels[(size_t)y * 1280 + x]);
        return out;
    }
    // Line 1 as it looks with only `text` drawn on it.
    std::vector<color> expected_line_1(const std::string& text) {
        test_canvas canvas(1280, 720, background);
        rect at = {app_state.margin, app_state.hex_panel.y - 2 * app_state.font.glyph_h, 0, 0};
        draw_text(&canvas.list, &app_state.font, at, text.size(), text.data());
        std::vector<color> pixels = canvas.pixels();
        std::swap(pixels, fake.pixels);
        std::vector<color> out = strip(0);
        std::swap(pixels, fake.pixels);
        return out;
    }
};

TEST_F(PromptLine, GoToSelectsTheByteScrollsToItAndDrawsThePrompt) {
    compose_frame();
    std::vector<color> line_2_before = strip(1);
    ctrl('G');
    type("0x1000");
    compose_frame();
    EXPECT_EQ(strip(0), expected_line_1("Go to offset: 0x1000_"));
    EXPECT_EQ(strip(1), line_2_before);
    EXPECT_EQ(app_state.select_offset, 100);

    enter();
    EXPECT_EQ(app_state.select_offset, 4096);
    EXPECT_EQ(app_state.select_len, 1);
    int64_t row = 4096 / app_state.bytes_per_row;
    EXPECT_LE(app_state.scroll_row, row);
    EXPECT_GT(app_state.scroll_row + app_state.visible_rows, row);
    EXPECT_FALSE(prompt_line_shown());

    // A visible target leaves the scroll alone; +N and -N count from the selection.
    int64_t scroll = app_state.scroll_row;
    ctrl('G');
    type("+16");
    enter();
    EXPECT_EQ(app_state.select_offset, 4112);
    EXPECT_EQ(app_state.scroll_row, scroll);
    ctrl('G');
    type("-0x12");
    enter();
    EXPECT_EQ(app_state.select_offset, 4094);
    EXPECT_EQ(app_state.scroll_row, scroll);
    compose_frame();
    EXPECT_EQ(std::string(app_state.text.data, app_state.text.length),
              "Filesize: 100000 | Select: 4094,1 | Hover: -1,1");
}

TEST_F(PromptLine, GoToClampsToTheFileAndSaysWhen) {
    struct go_to_case {
        int64_t from;
        const char* text;
        int64_t offset;
        const char* message;
    };
    const go_to_case cases[] = {
        {100, "99999", 99999, ""},
        {100, "100000", 99999, "The file ends before that; went to its last byte, offset 99999."},
        {100, "99999999999999999999999", 99999, "The file ends before that; went to its last byte, offset 99999."},
        {99990, "+9", 99999, ""},
        {99990, "+10", 99999, "The file ends before that; went to its last byte, offset 99999."},
        {100, "-100", 0, ""},
        {100, "-101", 0, "That is before the start of the file; went to offset 0."},
        {100, "-0xFFFFFFFFFFFFFFFF", 0, "That is before the start of the file; went to offset 0."},
        {-1, "+5", 5, ""},  // a selection start outside the file counts from its nearest byte
        {100, "0x", 100, "Not an offset: type a decimal number, 0x and hex digits, or +N / -N."},
    };
    for (const go_to_case& c : cases) {
        app_state.select_offset = c.from;
        status_clear();
        go_to_from_text(c.text, strlen(c.text));
        EXPECT_EQ(app_state.select_offset, c.offset) << c.text;
        EXPECT_EQ(status_text(), c.message) << c.text;
    }
}

TEST_F(PromptLine, PastTheEndAndNotANumberSaySoAndTheMessageLastsUntilAKeyOrClick) {
    ctrl('G');
    type("999999");
    enter();
    EXPECT_EQ(app_state.select_offset, 99999);
    EXPECT_EQ(line(), "The file ends before that; went to its last byte, offset 99999.");
    compose_frame();
    EXPECT_EQ(strip(0), expected_line_1(line()));
    key(os_key_shift);  // modifiers alone leave it
    key(os_key_shift, os_key_state_released);
    EXPECT_TRUE(prompt_line_shown());
    key(os_key_left);
    EXPECT_FALSE(prompt_line_shown());
    EXPECT_EQ(app_state.select_offset, 99998);

    ctrl('G');
    type("12x");
    enter();
    EXPECT_EQ(app_state.select_offset, 99998);
    EXPECT_EQ(line(), "Go to offset: 12x_   Not an offset: type a decimal number, 0x and hex digits, or +N / -N.");
    click();
    EXPECT_EQ(line(), "Go to offset: 12x_");
    key(os_key_backspace);
    EXPECT_EQ(line(), "Go to offset: 12_");
    key(os_key_delete);  // the prompt's, not the placements'
    key(os_key_escape);
    EXPECT_FALSE(prompt_line_shown());
    compose_frame();
    EXPECT_EQ(strip(0), expected_line_1(path));
}

TEST_F(PromptLine, FindSelectsTheMatchWrapsAndGoesBack) {
    ctrl('F');
    type("\"IHDR\"");
    EXPECT_EQ(line(), "Find: \"IHDR\"_");
    enter();
    run_search();
    EXPECT_EQ(app_state.select_offset, 70000);
    EXPECT_EQ(app_state.select_len, 4);
    int64_t row = 70000 / app_state.bytes_per_row;
    EXPECT_LE(app_state.scroll_row, row);
    EXPECT_GT(app_state.scroll_row + app_state.visible_rows, row);
    EXPECT_EQ(line(), "Find: \"IHDR\"_   Match 1 of 1 at offset 70000.");

    enter();  // again: the next one, which is the same after wrapping
    run_search();
    EXPECT_EQ(app_state.select_offset, 70000);
    EXPECT_EQ(line(), "Find: \"IHDR\"_   Wrapped around the end of the file; match 1 of 1 at offset 70000.");

    key(os_key_escape);
    EXPECT_FALSE(prompt_line_shown());
    app_state.select_offset = 80000;
    key(os_key_shift);
    key(os_key_f1 + 2);  // Shift+F3 repeats the last search backwards
    key(os_key_shift, os_key_state_released);
    run_search();
    EXPECT_EQ(app_state.select_offset, 70000);
    EXPECT_EQ(line(), "Match 1 of 1 at offset 70000.");

    ctrl('F');
    type("49 ?? 44 52 00");
    enter();
    run_search();
    EXPECT_EQ(app_state.select_offset, 70000);
    EXPECT_EQ(line(), "Find: 49 ?? 44 52 00_   No match in the file.");
    type("qq");
    key(os_key_f1 + 2);
    EXPECT_EQ(line(), "Find: 49 ?? 44 52 00qq_   Not hex bytes: type 4D 5A (?? for any byte) or text in double quotes.");
}

TEST_F(PromptLine, ProgressShowsAndEscapeStopsTheSearch) {
    std::vector<uint8_t> big(40u << 20, 0);
    app_state.file.size = big.size();
    app_state.file.data = big.data();
    app_state.target_frame_us = 0;
    ctrl('F');
    type("01");
    enter();
    sliced_jobs_run_for_frame();
    ASSERT_TRUE(sliced_job_running(sliced_job_find));
    EXPECT_EQ(line(), "Find: 01_   Searching... 20% (Escape stops)");
    type("2");  // ignored while searching
    key(os_key_escape);
    EXPECT_FALSE(sliced_job_running(sliced_job_find));
    EXPECT_EQ(line(), "Find: 01_   Search stopped.");
    EXPECT_EQ(app_state.select_offset, 100);
    app_state.file.data = bytes.data();
}

TEST_F(PromptLine, ALongLineShowsTheEndOfTheTextAndStopsBeforeTheStructureView) {
    std::string typed;
    for (int i = 0; i < 199; i++) typed.push_back((char)('0' + i % 10));
    ctrl('F');
    type(typed);
    compose_frame();
    size_t fits = (size_t)((app_state.struct_panel.x - 2 * app_state.margin) / app_state.font.glyph_w);
    std::string shown = "Find: <" + typed.substr(typed.size() - (fits - 8)) + "_";
    ASSERT_EQ(shown.size(), fits);
    EXPECT_EQ(strip(0), expected_line_1(shown));
    EXPECT_EQ(line(), "Find: " + typed + "_");

    enter();  // an odd count of digits: the message shows whole, the text gives way
    compose_frame();
    std::string message = "Hex bytes take two digits each: 4D 5A or 4d5a.";
    size_t tail = fits - 7 - 1 - 3 - message.size();
    EXPECT_EQ(strip(0), expected_line_1("Find: <" + typed.substr(typed.size() - tail) + "_   " + message));
}

TEST_F(PromptLine, KeysWithoutAFileAndCharactersWithoutThePromptDoNothing) {
    type("12");
    EXPECT_FALSE(prompt_line_shown());
    app_state.file = file_contents{};
    ctrl('G');
    EXPECT_FALSE(prompt_line_shown());
    key(os_key_f1 + 2);
    EXPECT_FALSE(prompt_line_shown());
}

TEST_F(PromptLine, TypedTextIsStoredAsUtf8AndBackspaceRemovesWholeCharacters) {
    ctrl('F');
    type("\"");
    for (uint32_t code : {0xE9u, 0xD83Du, 0xDE00u, 0x20ACu}) send_char(code);
    type("\"");
    EXPECT_EQ(std::string(app_state.prompt.text, app_state.prompt.text_length),
              "\"\xc3\xa9\xf0\x9f\x98\x80\xe2\x82\xac\"");
    key(os_key_backspace);
    key(os_key_backspace);
    key(os_key_backspace);
    EXPECT_EQ(std::string(app_state.prompt.text, app_state.prompt.text_length), "\"\xc3\xa9");
}

TEST_F(PromptLine, ReopeningThePromptLetsTheNextTypingReplaceItsText) {
    ctrl('F');
    type("\"QZXJK\"");
    ctrl('F');
    EXPECT_EQ(line(), "Find: \"QZXJK\"_");  // kept, shown selected
    type("de ad be");
    EXPECT_EQ(line(), "Find: de ad be_");
    ctrl('G');
    type("12");
    ctrl('G');
    key(os_key_backspace);  // takes the whole selected text
    EXPECT_EQ(line(), "Go to offset: _");
}

// Both grids outline the matches in view and the bar marks their rows while
// Find shows them; Escape takes them away.
TEST_F(PromptLine, MatchesAreOutlinedAndMarkedUntilEscape) {
    memcpy(&bytes[70040], "IHDR", 4);
    auto outlined = [&](rect area) {
        int count = 0;
        for (int32_t y = area.y; y < area.y + area.h; y++)
            for (int32_t x = area.x; x < area.x + area.w; x++) count += fake.pixels[(size_t)y * 1280 + x] == 0xffff9900;
        return count;
    };
    ctrl('F');
    type("\"IHDR\"");
    enter();
    run_search();
    compose_frame();
    rect hex = app_state.hex_panel, chars = app_state.text_panel;
    rect track = position_bar_track();
    int32_t grid_w = hex.w - app_state.panel_pad;
    // Two matches of four cells: top and bottom rows, and the two sides.
    int per_grid = 2 * (2 * 4 * app_state.hex_cell_w + 2 * (app_state.hex_cell_h - 2));
    EXPECT_EQ(outlined(rect{hex.x, hex.y, grid_w, hex.h}), per_grid);
    EXPECT_GT(outlined(chars), 0);
    EXPECT_GT(outlined(track), 0);
    key(os_key_escape);
    compose_frame();
    EXPECT_EQ(outlined(rect{hex.x, hex.y, hex.w, hex.h}) + outlined(chars), 0);
}

TEST_F(PromptLine, CtrlFStartsFromTheSelectedBytes) {
    app_state.select_offset = 69999;
    app_state.select_len = 5;
    ctrl('F');
    EXPECT_EQ(line(), "Find: 41 49 48 44 52_");
    EXPECT_TRUE(app_state.prompt.text_selected);
    enter();  // the next copy is the same one, after wrapping
    run_search();
    EXPECT_EQ(line(), "Find: 41 49 48 44 52_   Wrapped around the end of the file; match 1 of 1 at offset 69999.");
    key(os_key_escape);
    app_state.select_len = find_pattern_capacity + 1;
    ctrl('F');
    EXPECT_EQ(line(), "Find: _");
}

}  // namespace
