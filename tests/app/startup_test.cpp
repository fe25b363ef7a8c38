// The start-up report's lines, the frame budget, and the files read from beside the executable.
#include <gtest/gtest.h>

#include <string>

#include "app/app.h"
#include "app_test_support.h"

static int count_lines_starting(const std::string& text, const std::string& prefix) {
    int count = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        if (text.compare(at, prefix.size(), prefix) == 0) count++;
        at = end + 1;
    }
    return count;
}

TEST(StartupReport, LinesInOrder) {
    std::string report = capture_stdout([] { print_startup_report(); });
    std::string name = os_executable_name().data;
    std::string dir = os_executable_directory().data;
    std::string cwd = os_current_directory().data;
    std::string expected_head = "---------- " + name + " ----------\n" + "Path: (" + dir + ")\n" +
                                "Dir:  (" + cwd + ")\n" + "CMD:  (" + os_command_line().data + ")\n" +
                                "Memory: " + std::to_string(os_physical_memory() >> 30) + " GB\n" +
                                "CPU cores: " + std::to_string(os_processor_count()) + "\n";
    EXPECT_EQ(report.substr(0, expected_head.size()), expected_head);
    const std::string tail = "---------- Start ----------\n";
    ASSERT_GE(report.size(), tail.size());
    EXPECT_EQ(report.substr(report.size() - tail.size()), tail);

    int32_t monitors = 0;
    os_get_monitors(&monitors, nullptr);
    EXPECT_EQ(count_lines_starting(report, "Monitor "), monitors);
    if (monitors > 0) {
        EXPECT_NE(report.find("Monitor 0 = "), std::string::npos);
    }
}

TEST(StartupReport, FrameBudgetFromTheRefreshRate) {
    os_monitor monitor = {};
    monitor.refresh_rate = 144;
    EXPECT_EQ(frame_budget_microseconds(&monitor), 6944);
    monitor.refresh_rate = 60;
    EXPECT_EQ(frame_budget_microseconds(&monitor), 16666);
    monitor.refresh_rate = 24;
    EXPECT_EQ(frame_budget_microseconds(&monitor), 33333);
    EXPECT_EQ(frame_budget_microseconds(nullptr), 16666);
}

TEST(StartupFiles, PathBesideExecutableKeepsTheWholeDirectory) {
    std::string dir = os_executable_directory().data;
    char* path = path_beside_executable("/mono.png");
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(std::string(path), dir + "/mono.png");
    os_free(path);
}

TEST(StartupFiles, FontFallsBackToTheBuiltInCopy) {
    release_app_state();
    std::string beside = std::string(os_executable_directory().data) + "mono.png";
    bool present = os_path_exists(os_string(beside.c_str()));
    std::string output = capture_stdout([] { load_font(); });
    EXPECT_EQ(app_state.font.glyph_h, 15);
    EXPECT_GT(app_state.font.glyph_w, 0);
    if (!present) {
        EXPECT_EQ(output, "mono.png is missing or unusable; using the built-in font\n");
    }
}
