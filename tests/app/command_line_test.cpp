// The command line: one table of argument lists and what they ask for.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "app/app.h"

namespace {

struct command_case {
    std::vector<std::string> arguments;
    uint8_t action;
    int32_t scale;
    std::vector<std::string> paths;
    std::string error;
};

TEST(CommandLine, ArgumentListsAndWhatTheyAskFor) {
    const command_case cases[] = {
        {{}, command_run, 0, {}, ""},
        {{"a.bin", "b.bin"}, command_run, 0, {"a.bin", "b.bin"}, ""},
        {{"-"}, command_run, 0, {"-"}, ""},
        {{"--help", "a.bin"}, command_help, 0, {}, ""},
        {{"--version"}, command_version, 0, {}, ""},
        {{"--scale", "2", "a.bin"}, command_run, 2, {"a.bin"}, ""},
        {{"--scale=4"}, command_run, 4, {}, ""},
        {{"--byte-colors", "a.bin"}, command_run, 0, {"a.bin"}, ""},
        {{"--", "-x", "--help", "-"}, command_run, 0, {"-x", "--help", "-"}, ""},
        {{"-x"}, command_error, 0, {}, "bitlorn: unknown option '-x'"},
        {{"--scal"}, command_error, 0, {}, "bitlorn: unknown option '--scal'"},
        {{"--scale"}, command_error, 0, {}, "bitlorn: --scale takes a number from 1 to 4, not ''"},
        {{"--scale=5"}, command_error, 0, {}, "bitlorn: --scale takes a number from 1 to 4, not '5'"},
        {{"--scale", "22"}, command_error, 0, {}, "bitlorn: --scale takes a number from 1 to 4, not '22'"},
        {{"--" + std::string(400, 'y')}, command_error, 0, {}, ""},
    };
    for (const command_case& c : cases) {
        std::vector<utf8_string> arguments;
        for (const std::string& a : c.arguments) arguments.push_back(utf8_string{(int64_t)a.size(), a.data()});
        std::vector<utf8_string> paths(arguments.size() + 1);
        command_line_options options = parse_command_line(arguments.data(), (int32_t)arguments.size(), paths.data());
        std::string where = c.arguments.empty() ? "" : c.arguments[0];
        EXPECT_EQ(options.action, c.action) << where;
        EXPECT_EQ(options.scale, c.scale) << where;
        EXPECT_EQ(options.byte_colors, where == "--byte-colors");
        std::vector<std::string> got;
        for (int32_t i = 0; i < options.path_count; i++) got.emplace_back(paths[i].data, (size_t)paths[i].length);
        EXPECT_EQ(got, c.paths) << where;
        if (c.action != command_error) continue;
        EXPECT_TRUE(c.error.empty() || options.error == c.error) << options.error;
        // A long argument is cut short, and the line still ends with its closing quote.
        EXPECT_EQ(options.error[strlen(options.error) - 1], '\'') << where;
    }
}

TEST(CommandLine, OffsetAndLengthReadAsGoToReadsThem) {
    const struct {
        std::vector<std::string> arguments;
        uint64_t offset, length;  // ~0 when not given
        const char* error;
    } cases[] = {
        {{"--offset", "0x1F", "f"}, 0x1F, ~0ull, nullptr},
        {{"--offset=4096", "--length=0x10"}, 4096, 16, nullptr},
        {{"--length", "3"}, ~0ull, 3, nullptr},
        {{"--offset", "99999999999999999999999"}, UINT64_MAX, ~0ull, nullptr},
        {{"--offset", "+5"}, 0, 0, "bitlorn: --offset takes a decimal number or 0x and hex digits, not '+5'"},
        {{"--offset"}, 0, 0, "bitlorn: --offset takes a decimal number or 0x and hex digits, not ''"},
        {{"--length", "0"}, 0, 0, "bitlorn: --length takes a number above 0, decimal or 0x and hex digits, not '0'"},
        {{"--length=0xZ"}, 0, 0, "bitlorn: --length takes a number above 0, decimal or 0x and hex digits, not '0xZ'"},
    };
    for (const auto& c : cases) {
        std::vector<utf8_string> arguments;
        for (const std::string& a : c.arguments) arguments.push_back(utf8_string{(int64_t)a.size(), a.data()});
        std::vector<utf8_string> paths(arguments.size() + 1);
        command_line_options options = parse_command_line(arguments.data(), (int32_t)arguments.size(), paths.data());
        if (c.error) {
            EXPECT_STREQ(options.error, c.error);
            continue;
        }
        EXPECT_EQ(options.action, command_run) << options.error;
        EXPECT_EQ(options.has_offset ? options.offset : ~0ull, c.offset) << c.arguments[0];
        EXPECT_EQ(options.has_length ? options.length : ~0ull, c.length) << c.arguments[0];
    }
}

TEST(CommandLine, ScaleFromTheEnvironment) {
    for (auto [value, scale] : {std::pair<const char*, int32_t>{"", 1}, {"3", 3}, {"9", 1}, {"2x", 1}, {nullptr, 1}}) {
        value ? setenv("BITLORN_SCALE", value, 1) : unsetenv("BITLORN_SCALE");
        EXPECT_EQ(scale_from_environment(), scale) << (value ? value : "unset");
    }
}

}  // namespace
