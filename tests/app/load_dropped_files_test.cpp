// Dropped and named files: which one loads, and when the placements are kept.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "app/app.h"
#include "app_test_support.h"
#include "test_support.h"
#include "types/growable_array.h"
#include "types/type_table.h"

class DroppedFiles : public ::testing::Test {
protected:
    void SetUp() override { release_app_state(); }
    void TearDown() override {
        release_loaded_file();
        os_free(app_state.file_path);
        app_state.file_path = nullptr;
    }

    static void drop(const std::vector<std::string>& paths) {
        std::string block = path_block(paths);
        load_dropped_files(block.data());
    }

    static void lay_placement(void) {
        placement p = {1, 0, 1, 0};
        array_append(&app_state.placements, sizeof(placement), &p);
    }

    static std::string loaded_path(void) {
        return app_state.file_path ? std::string(app_state.file_path, app_state.file_path_len) : "";
    }
};

TEST_F(DroppedFiles, SamePathKeepsPlacementsOtherPathClearsThem) {
    std::string first = write_temp_file("first.bin", "abcd", 4);
    std::string second = write_temp_file("second.bin", "xy", 2);
    drop({first});
    ASSERT_NE(app_state.file.data, nullptr);
    EXPECT_EQ(app_state.file.size, 4u);
    EXPECT_EQ(loaded_path(), first);
    lay_placement();

    FILE* changed = fopen(first.c_str(), "wb");
    fputs("abcdef", changed);
    fclose(changed);
    drop({first});
    EXPECT_EQ(app_state.file.size, 6u);
    EXPECT_EQ(app_state.placements.count, 1);

    drop({second});
    EXPECT_EQ(app_state.file.size, 2u);
    EXPECT_EQ(app_state.file.data[0], 'x');
    EXPECT_EQ(app_state.placements.count, 0);
    EXPECT_GT(app_state.placements.capacity, 0);
    EXPECT_EQ(loaded_path(), second);
}

TEST_F(DroppedFiles, LastReadablePathWins) {
    std::string first = write_temp_file("a.bin", "123", 3);
    std::string second = write_temp_file("b.bin", "45", 2);
    drop({first, second});
    EXPECT_EQ(loaded_path(), second);

    drop({first, make_temp_dir() + "/missing.bin"});
    EXPECT_EQ(loaded_path(), first);
    EXPECT_EQ(app_state.file.size, 3u);
}

TEST_F(DroppedFiles, FifoAndDirectoryAreSkippedWithoutBlocking) {
    std::string first = write_temp_file("keep.bin", "keep", 4);
    drop({first});
    std::string dir = make_temp_dir();
    std::string fifo = dir + "/pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    drop({fifo, dir});
    EXPECT_EQ(loaded_path(), first);
    EXPECT_EQ(app_state.file.size, 4u);
}

TEST_F(DroppedFiles, CommandLinePathsLoadLikeADrop) {
    std::string first = write_temp_file("c1.bin", "1", 1);
    std::string second = write_temp_file("c2.bin", "22", 2);
    std::string missing = make_temp_dir() + "/none";
    utf8_string paths[] = {os_string(first.c_str()), os_string(second.c_str()),
                           os_string(missing.c_str())};
    load_paths(paths, 3);
    EXPECT_EQ(loaded_path(), second);
    EXPECT_EQ(app_state.file.size, 2u);
    // Standard input is read once (a second "-" would find it empty); an empty path gets its line.
    int saved = dup(0), piped = open(write_temp_file("piped", "hello", 5).c_str(), O_RDONLY);
    dup2(piped, 0), close(piped);
    utf8_string twice[] = {os_string("-"), os_string(missing.c_str()), os_string(""), os_string("-")};
    std::string said = capture_stdout([&] { load_paths(twice, 4); }, 2);
    dup2(saved, 0), close(saved);
    EXPECT_TRUE(loaded_path() == "(standard input)" && app_state.file.size == 5u);
    EXPECT_EQ(said, "bitlorn: cannot open " + missing + ": No such file or directory\n"
                    "bitlorn: cannot open '': an empty path names no file\n"
                    "bitlorn: standard input is read only once; the later - is skipped\n");
}

TEST_F(DroppedFiles, CtrlOWithNoChooserToRunSaysWhatToInstallAndKeepsTheFile) {
    std::string first = write_temp_file("first.bin", "abcd", 4);
    drop({first});
    std::string path = getenv("PATH");
    setenv("PATH", "/nonexistent", 1);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    unsetenv("XDG_RUNTIME_DIR");
    input_at(os_key_control)->state = input_is_down;
    send_key(os_key_a + ('O' - 'A'));
    choose_file_run_for_frame();
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(status_text(),
              "No file chooser: install zenity, kdialog or xdg-desktop-portal, or drop a file here.");
    EXPECT_EQ(loaded_path(), first);
}
