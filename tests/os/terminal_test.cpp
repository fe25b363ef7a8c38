// The terminal operations inside a real terminal: tmux runs this test binary as a
// child that colours, moves the cursor and reads keys, and the pane is read back.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "os/os.h"
#include "test_support.h"

static void say(const char* text) { os_write_stdout(os_string(text)); }

// What the child does inside the pane; disabled, so only the pane runs it.
TEST(TerminalTest, DISABLED_ChildInsidePane) {
    char line[64];
    say("ready\n");
    uint32_t key = os_console_read_key();
    snprintf(line, sizeof line, "key=%u width=%d\n", key, os_console_width());
    say(line);
    char typed[8];
    int32_t length = os_read_line(sizeof typed, typed);
    snprintf(line, sizeof line, "line=%s length=%d\n", typed, length);
    say(line);
    os_console_color_red();
    say("R");
    os_console_color_green();
    say("G");
    os_console_color_default();
    say("D\n");
    say("ab");
    os_console_move_cursor(-5, 0);  // from column 2: stops at column 0
    say("X");
    os_console_move_cursor(3, 0);
    say("Y\n");
    say("done\n");
    for (;;) pause();
}

// Waits for a key until it is interrupted; the pane then shows the terminal's modes.
TEST(TerminalTest, DISABLED_ChildInterruptedWhileWaiting) {
    std::thread([] { usleep(300000), kill(getpid(), SIGINT); }).detach();
    os_console_read_key();
}

static std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
    pclose(pipe);
    return out;
}

static bool wait_for_pane(const std::string& tmux, const std::string& text, const std::string& pane = "pane") {
    for (int i = 0; i < 1000; i += 1) {
        if (run(tmux + " capture-pane -p -J -t " + pane + " 2>/dev/null").find(text) != std::string::npos) return true;
        usleep(10000);
    }
    return false;
}

TEST(TerminalTest, ColoursCursorMovesWidthAndInputInTmux) {
    if (getenv("BITLORN_TERMINAL_CHILD")) GTEST_SKIP();
    if (system("command -v tmux >/dev/null 2>&1") != 0) SKIP_OR_FAIL_UNDER_CI("tmux is not installed");
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    std::string tmux = "tmux -L bitlorn-terminal-" + std::to_string(getpid()) + " -f /dev/null";
    std::string child = std::string("env BITLORN_TERMINAL_CHILD=1 ") + self +
                        " --gtest_also_run_disabled_tests --gtest_filter=TerminalTest.DISABLED_Child";
    ASSERT_EQ(system((tmux + " new-session -d -s pane -x 80 -y 20 '" + child + "InsidePane'").c_str()), 0);
    EXPECT_TRUE(wait_for_pane(tmux, "ready"));
    system((tmux + " send-keys -t pane Enter").c_str());
    EXPECT_TRUE(wait_for_pane(tmux, "key=13 width=80"));
    system((tmux + " send-keys -t pane abc Enter").c_str());
    EXPECT_TRUE(wait_for_pane(tmux, "done"));
    std::string plain = run(tmux + " capture-pane -p -t pane");
    std::string coloured = run(tmux + " capture-pane -p -e -t pane");

    // An interrupt while a key is awaited leaves the terminal as it found it.
    ASSERT_EQ(system((tmux + " new-session -d -s waiter -x 200 -y 40 'sh -c \"" + child +
                      "InterruptedWhileWaiting; stty -a; sleep 60\"'").c_str()), 0);
    EXPECT_TRUE(wait_for_pane(tmux, " icanon iexten echo ", "waiter"));
    system((tmux + " kill-server").c_str());

    EXPECT_NE(plain.find("line=abc length=3"), std::string::npos) << plain;
    EXPECT_NE(plain.find("\nXb  Y\n"), std::string::npos) << plain;
    EXPECT_NE(coloured.find("\x1b[91mR\x1b[92mG\x1b[39mD"), std::string::npos) << coloured;
}

TEST(TerminalTest, WithoutATerminalWindowTheWindowOperationsDoNothing) {
    std::string saved = getenv("WINDOWID") ? getenv("WINDOWID") : "";
    unsetenv("WINDOWID");
    os_console_rect rect = os_console_window_rect();
    EXPECT_EQ(rect.x, 0);
    EXPECT_EQ(rect.y, 0);
    EXPECT_EQ(rect.width, 0);
    EXPECT_EQ(rect.height, 0);
    os_console_window_move(10, 10);
    os_console_window_set_height(100);
    os_console_flash();
    if (!saved.empty()) setenv("WINDOWID", saved.c_str(), 1);
}
