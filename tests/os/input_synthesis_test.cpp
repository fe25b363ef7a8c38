// Input synthesis: the typing plan on the fixed table, and real pointer moves,
// buttons and typed texts arriving at a window of the layer.
// The fixture brings gtest in before the X headers, whose macros clash with it.
#include "window_fixture.h"

#include <X11/extensions/XTest.h>
#include <stdlib.h>

#include <string>
#include <thread>
#include <vector>

#include "os/os_private.h"
#include "test_support.h"

namespace {

// "+16" presses key 16, "-16" releases it.
std::string plan_of(const char* text) {
    os_key_stroke strokes[64];
    os_typing_plan plan = {strokes, 64, 0};
    os_plan_typing(os_fixed_type_table(), text, &plan);
    std::string out;
    for (uint32_t i = 0; i < plan.count && i < plan.capacity; i++) {
        if (!out.empty()) out += ' ';
        out += (strokes[i].down ? "+" : "-") + std::to_string(strokes[i].key);
    }
    return out;
}

TEST(TypingPlanTest, ModifiersAreSharedByRunsAndDeadKeysTypeThemselves) {
    struct {
        const char* text;
        const char* strokes;
    } cases[] = {
        {"AB", "+16 +65 -65 +66 -66 -16"},
        {"a@b", "+65 -65 +17 +18 +50 -50 -17 -18 +66 -66"},
        {"^", "+16 +186 -186 +32 -32 -16"},
        {"~~", "+17 +18 +186 -186 +32 -32 -17 -18 +17 +18 +186 -186 +32 -32 -17 -18"},
        {"\r", ""},
        {"\n", "+13 -13"},
        {"\t0", "+9 -9 +48 -48"},
        // A byte without a row types nothing but still lets go of Shift.
        {"A\x80" "b", "+16 +65 -65 -16 +66 -66"},
        {"A\x1f" "B", "+16 +65 -65 -16 +16 +66 -66 -16"},
        // From Shift straight to AltGr and back: Shift is settled before AltGr.
        {"!{?", "+16 +49 -49 -16 +17 +18 +55 -55 +16 -17 -18 +187 -187 -16"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(plan_of(c.text), c.strokes) << "text " << c.text;
}

TEST(TypingPlanTest, StrokesPastCapacityAreCountedNotStored) {
    os_key_stroke strokes[3] = {};
    os_typing_plan plan = {strokes, 3, 0};
    os_plan_typing(os_fixed_type_table(), "AB", &plan);
    EXPECT_EQ(plan.count, 6u);
    EXPECT_EQ(strokes[2].key, 65);
    EXPECT_EQ(strokes[2].down, 0);
}

// Every printable character has a row, and letters and digits follow the rule.
TEST(TypingPlanTest, FixedTableCoversPrintableAscii) {
    const os_type_table* table = os_fixed_type_table();
    for (int c = 32; c < 127; c++) EXPECT_NE(table->rows[c].key, 0) << "character " << c;
    for (int c : {0, 11, 12, 13, 27, 31, 127}) EXPECT_EQ(table->rows[c].key, 0) << "character " << c;
}

TEST(KeySendTest, KeysOutsideTheSetAreReturnedUnsent) {
    for (uint16_t key : {8, 112, 123, 0, 186, 255, 1000}) {
        EXPECT_EQ(os_key_send(key, 1), key);
    }
}

class InputSynthesisTest : public WindowTest {
protected:
    void TearDown() override {
        // Whatever a test left the layout on, the next test finds the usual one.
        if (layout_changed) {
            EXPECT_EQ(system("setxkbmap us"), 0);
        }
        WindowTest::TearDown();
    }

    bool use_layout(const char* layout) {
        layout_changed = true;
        std::string command = std::string("setxkbmap ") + layout + " 2>/dev/null";
        return system(command.c_str()) == 0;
    }

    std::string typed_text() {
        std::string out;
        for (const os_event& e : events_of(os_event_char)) out += (char)e.code;
        return out;
    }

    bool layout_changed = false;
};

TEST_F(InputSynthesisTest, TextsArriveAsTypedOnEachLayout) {
    if (system("command -v setxkbmap >/dev/null 2>&1") != 0) SKIP_OR_FAIL_UNDER_CI("setxkbmap is not installed");
    const std::string common = "Hello, World! 0123456789 #$%&*()_+-=/?<>|\\;:'\"[x]{y}@ tab\tend";
    struct {
        const char* layout;
        std::string text;
    } cases[] = {
        {"us", common + "^`~"},
        // On this layout ^ ` ~ are dead keys; without an input method to
        // compose them they cannot arrive as characters, so they are not asked for.
        {"de", common},
        {"fr", common},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(use_layout(c.layout)) << c.layout;
        recorded_events.clear();
        os_type_text(c.text.c_str());
        pump_until([&] { return typed_text().size() >= c.text.size(); });
        EXPECT_EQ(typed_text(), c.text) << "layout " << c.layout;
        // No modifier is left held.
        recorded_events.clear();
        os_type_text("q");
        pump_until([&] { return !typed_text().empty(); });
        EXPECT_EQ(typed_text(), "q") << "layout " << c.layout;
    }
}

TEST_F(InputSynthesisTest, PointerMovesAndButtonsAreSeen) {
    int width = DisplayWidth(tester, DefaultScreen(tester)), height = DisplayHeight(tester, DefaultScreen(tester));
    struct {
        int32_t x, y;  // normalised
        int32_t expected_x, expected_y;
    } moves[] = {
        {0, 0, 0, 0},
        {65535, 65535, width - 1, height - 1},
        {-5, 70000, 0, height - 1},
        {32768, 0, (int32_t)((int64_t)32768 * (width - 1) / 65535), 0},
    };
    for (const auto& m : moves) {
        EXPECT_EQ(os_mouse_move_to(m.x, m.y), 1);
        XSync(tester, False);
        os_cursor_point at = os_cursor_position();
        EXPECT_EQ(at.x, m.expected_x) << m.x;
        EXPECT_EQ(at.y, m.expected_y) << m.y;
    }
    os_mouse_move_to(0, 0);
    EXPECT_EQ(os_mouse_move_by(10, 7), 1);
    XSync(tester, False);
    os_cursor_point at = os_cursor_position();
    EXPECT_EQ(at.x, 10);
    EXPECT_EQ(at.y, 7);

    struct {
        unsigned int x_button;
        uint16_t code;
    } buttons[] = {{1, os_mouse_left}, {2, os_mouse_middle}, {3, os_mouse_right}};
    for (const auto& b : buttons) {
        EXPECT_FALSE(os_mouse_button_down(b.code));
        XTestFakeButtonEvent(tester, b.x_button, True, CurrentTime);
        XSync(tester, False);
        EXPECT_TRUE(os_mouse_button_down(b.code)) << b.code;
        XTestFakeButtonEvent(tester, b.x_button, False, CurrentTime);
        XSync(tester, False);
        EXPECT_FALSE(os_mouse_button_down(b.code)) << b.code;
    }
    EXPECT_FALSE(os_mouse_button_down(os_key_shift));
}

TEST_F(InputSynthesisTest, SentKeysReachTheWindow) {
    struct {
        uint16_t key;
    } keys[] = {{os_key_escape}, {65}, {48}, {os_key_down}, {os_key_delete}, {190}};
    for (const auto& k : keys) {
        recorded_events.clear();
        EXPECT_EQ(os_key_send(k.key, 1), 1);
        EXPECT_EQ(os_key_send(k.key, 0), 1);
        pump_until([&] { return count_of(os_event_key) >= 2; });
        std::vector<os_event> seen = events_of(os_event_key);
        ASSERT_EQ(seen.size(), 2u) << k.key;
        EXPECT_EQ(seen[0].key, k.key);
        EXPECT_EQ(seen[0].state, os_key_state_pressed);
        EXPECT_EQ(seen[1].state, os_key_state_released);
    }
}

}  // namespace

TEST_F(InputSynthesisTest, OneThreadOwnsTheConnectionAndItsUnexpectedErrorsAreSaidOnce) {
    // Names a caller holds outlive a later reading of the monitors.
    ASSERT_TRUE(os_first_monitor() && os_first_monitor()->name);
    const char* held = os_first_monitor()->name;
    std::string name = held;
    os_mouse_move_to(0, 0);
    EXPECT_TRUE(os_first_monitor()->name == held && name == held);

    Display* display = os_x11_display();
    std::string said = capture_stdout([&] {
        for (int i = 0; i < 2; i += 1) XDestroyWindow(display, 0x7ffffe);
        XSync(display, False);
        os_x11_begin_error_trap();
        XDestroyWindow(display, 0x7ffffe);
        EXPECT_EQ(os_x11_end_error_trap(display), BadWindow);
    }, STDERR_FILENO);
    EXPECT_EQ(said, "bitlorn: X error 3 on request 4.0 (resource 0x7ffffe)\n");

    // Another thread finds no connection: nothing it asks for happens. (Ours is
    // taken back from another owner although an old time stamp is still queued.)
    os_clipboard_set_text(os_string("first"));
    os_clipboard_state& clip = os_platform.clipboard;
    XChangeProperty(display, clip.window, clip.atoms.transfer_property, clip.atoms.text, 8, PropModeAppend, nullptr, 0);
    XSync(display, False), os_sleep_milliseconds(5);  // the other owner's time is later
    XSetSelectionOwner(tester, XInternAtom(tester, "CLIPBOARD", False), DefaultRootWindow(tester), CurrentTime);
    XSync(tester, False);
    os_clipboard_set_text(os_string("ours"));
    std::thread([&] {
        EXPECT_EQ(os_x11_display(), nullptr);
        EXPECT_EQ(os_mouse_move_to(100, 100), 0);
        os_clipboard_set_text(os_string("from another thread"));
    }).join();
    os_clipboard_result text = os_clipboard_get_text();
    EXPECT_EQ(std::string((const char*)text.data, text.length), "ours");
    os_clipboard_free(&text);
}
