// Live files: the loaded file and types.c read again when they change, placements carried over.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/app.h"
#include "app_test_support.h"
#include "test_support.h"
#include "types/growable_array.h"
#include "types/type_parser.h"
#include "types/type_table.h"

namespace {

void write_file(const std::string& path, const std::string& text, int flags = O_WRONLY | O_TRUNC | O_CREAT) {
    int fd = open(path.c_str(), flags, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, text.data(), text.size()), (ssize_t)text.size());
    close(fd);
}

std::string shown(void) {
    if (!app_state.file.data) return "<none>";
    return std::string((const char*)app_state.file.data, app_state.file.size);
}

std::string capture_stderr(const std::function<void()>& run) {
    std::string path = make_temp_dir() + "/stderr.txt";
    int saved = dup(2);
    int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(file, 2);
    close(file);
    run();
    dup2(saved, 2);
    close(saved);
    return read_text_file(path);
}

void add_placement(uint32_t type_index, uint64_t offset, uint64_t length) {
    placement p = {type_index, offset, length, 0};
    array_append(&app_state.placements, sizeof(placement), &p);
}

class LiveFiles : public ::testing::Test {
protected:
    void SetUp() override { release_app_state(); }
    void TearDown() override {
        release_loaded_file();
        os_unwatch_file(app_state.file_watch);
        os_free(app_state.file_path);
        app_state.file_path = nullptr;
    }
};

}  // namespace

// Each change made by another program, then a reload: what the views read,
// while selection, scroll row and placements stay as they were.
TEST_F(LiveFiles, ReloadFollowsEveryChangeAndKeepsTheViewState) {
    std::string dir = make_temp_dir();
    std::string path = dir + "/watched.bin", temp = dir + "/watched.tmp";
    write_file(path, "0123456789");
    std::string block = path_block({path});
    load_dropped_files(block.data());
    ASSERT_EQ(shown(), "0123456789");
    EXPECT_GT(app_state.file_mapped_bytes, 0u);
    app_state.select_offset = 8;
    app_state.select_len = 2;
    app_state.scroll_row = 3;
    add_placement(3, 4, 4);
    add_placement(0, 9, 100);

    struct {
        const char* what;
        std::function<void()> change;
        std::string expected;
    } steps[] = {
        {"append", [&] { write_file(path, "abc", O_WRONLY | O_APPEND); }, "0123456789abc"},
        {"truncate to half", [&] { ASSERT_EQ(truncate(path.c_str(), 6), 0); }, "012345"},
        {"truncate to zero", [&] { ASSERT_EQ(truncate(path.c_str(), 0), 0); }, ""},
        {"rewrite", [&] { write_file(path, "rewritten"); }, "rewritten"},
        {"replace by rename", [&] { write_file(temp, "replaced!!"); rename(temp.c_str(), path.c_str()); }, "replaced!!"},
        {"delete", [&] { unlink(path.c_str()); }, "replaced!!"},
        {"create again", [&] { write_file(path, "back"); }, "back"},
        {"directory in its place", [&] { unlink(path.c_str()); mkdir(path.c_str(), 0700); }, "back"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        reload_loaded_file();
        EXPECT_EQ(shown(), step.expected);
        ASSERT_NE(app_state.file.data, nullptr);
        EXPECT_EQ(app_state.file.data[app_state.file.size], 0);
        EXPECT_EQ(app_state.select_offset, 8);
        EXPECT_EQ(app_state.select_len, 2);
        EXPECT_EQ(app_state.scroll_row, 3);
        EXPECT_EQ(app_state.placements.count, 2);
        EXPECT_EQ(std::string(app_state.file_path, app_state.file_path_len), path);
    }
}

// The frame loop's check: a settled change, or a page zeroed under the
// mapping, brings the new contents.
TEST_F(LiveFiles, RefreshPicksUpWatchedChangesAndDamagedMappings) {
    std::string dir = make_temp_dir();
    std::string path = dir + "/grow.bin";
    long page = sysconf(_SC_PAGESIZE);
    write_file(path, std::string((size_t)page * 3, 'p'));
    std::string block = path_block({path});
    load_dropped_files(block.data());
    ASSERT_GE(app_state.file_watch, 0);

    write_file(path, "tail", O_WRONLY | O_APPEND);
    uint64_t end = os_now_milliseconds() + 3000;
    while (app_state.file.size != (uint64_t)page * 3 + 4 && os_now_milliseconds() < end) {
        refresh_live_files();
        os_sleep_milliseconds(5);
    }
    EXPECT_EQ(app_state.file.size, (uint64_t)page * 3 + 4);

    // Read a vanished page before the watch has settled: zeros, then a reload.
    ASSERT_EQ(truncate(path.c_str(), 10), 0);
    EXPECT_EQ(app_state.file.data[2 * page], 0);
    refresh_live_files();
    EXPECT_EQ(app_state.file.size, 10u);
    EXPECT_FALSE(loaded_file_damaged());
}

TEST_F(LiveFiles, CommandLinePathsThatCannotBeOpenedGetOneLineEachDropsNone) {
    std::string dir = make_temp_dir();
    std::string fifo = dir + "/fifo", good = dir + "/good.bin", missing = dir + "/missing.bin";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    write_file(good, "good");
    std::string block = path_block({missing, dir, good, fifo});

    std::string errors = capture_stderr([&] { load_command_line_paths(block.data()); });
    EXPECT_EQ(errors, "bitlorn: cannot open " + missing + ": No such file or directory\n" +
                          "bitlorn: cannot open " + dir + ": Is a directory\n" +
                          "bitlorn: cannot open " + fifo + ": Not a regular file\n");
    EXPECT_EQ(shown(), "good");

    release_loaded_file();
    os_free(app_state.file_path);
    release_app_state();
    errors = capture_stderr([&] { load_dropped_files(block.data()); });
    EXPECT_EQ(errors, "");
    EXPECT_EQ(shown(), "good");
}

// ---------------------------------------------------------------------------
// Placements across a new parse of the types

namespace {

void parse_types(const std::string& code) {
    app_state.types = type_table{};
    reset_type_colors();
    register_builtin_types();
    capture_stdout([&] { create_types_from_code(code.c_str(), code.size()); });
}

struct expected_placement {
    const char* type_name;  // "" for a misc section
    uint64_t length;
};

}  // namespace

TEST_F(LiveFiles, PlacementsKeepTheirTypeByNameOrAreDropped) {
    const std::string before = "struct Head { u32 a; u16 b; }; struct Gone { u8 x; }; typedef Alias u32;";
    const uint64_t u16_size = 2;
    struct {
        const char* what;
        std::string code;
        std::vector<expected_placement> expected;
    } cases[] = {
        {"same text", before, {{"", 7}, {"u16", u16_size}, {"Head", 6}, {"Gone", 1}, {"Alias", 4}}},
        {"Head grows, the rest is gone", "struct Head { u32 a; u32 b; u64 c; };",
         {{"", 7}, {"u16", u16_size}, {"Head", 16}}},
        {"empty", "", {{"", 7}, {"u16", u16_size}}},
        {"error after Head keeps Head", "struct Head { u8 a; }; typedef Gone NoSuchType; struct Alias { u8 x; };",
         {{"", 7}, {"u16", u16_size}, {"Head", 1}}},
        {"new order", "typedef Alias u8; struct Gone { u16 x; }; union Head { u8 a; u32 b; };",
         {{"", 7}, {"u16", u16_size}, {"Head", 4}, {"Gone", 2}, {"Alias", 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        release_app_state();
        parse_types(before);
        array_create(&app_state.placements, 8, sizeof(placement));
        add_placement(0, 0, 7);
        add_placement(type_table_find("u16", 3), 10, 2);
        add_placement(type_table_find("Head", 4), 20, 6);
        add_placement(type_table_find("Gone", 4), 30, 1);
        add_placement(type_table_find("Alias", 5), 40, 4);

        type_table old = app_state.types;
        parse_types(c.code);
        carry_placements_over(&old);
        type_table_free(&old);

        ASSERT_EQ(app_state.placements.count, (int64_t)c.expected.size());
        const placement* list = (const placement*)app_state.placements.items;
        uint64_t last_offset = 0;
        for (size_t i = 0; i < c.expected.size(); i++) {
            const placement* p = &list[i];
            std::string name = c.expected[i].type_name;
            if (name.empty()) {
                EXPECT_EQ(p->type_index, 0u);
            } else {
                ASSERT_EQ(p->type_index, type_table_find(name.c_str(), name.size())) << name;
                EXPECT_EQ(p->color, type_at(p->type_index)->color);
            }
            EXPECT_EQ(p->length, c.expected[i].length) << name;
            EXPECT_GE(p->offset, last_offset);  // order kept
            last_offset = p->offset;
        }
    }
}
