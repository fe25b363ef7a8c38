// The real program keeps showing the file another program changes under it,
// and reads types.c again when it is edited.
#include "x11_harness.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>

namespace {

constexpr int32_t placement_line_y = 35;

void write_file(const std::string& path, const std::string& text, int flags = O_WRONLY | O_TRUNC | O_CREAT) {
    int fd = open(path.c_str(), flags, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, text.data(), text.size()), (ssize_t)text.size());
    close(fd);
}

int ignore_x_error(Display*, XErrorEvent*) { return 0; }

class LiveFileTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        // A program that crashed takes its window along; the test then fails on alive().
        XSetErrorHandler(ignore_x_error);
    }

    // Like start, with the program's own copy beside its own types.c, and its
    // standard output and error kept.
    void start_copy(const std::string& dir, const std::vector<std::string>& arguments) {
        namespace fs = std::filesystem;
        fs::path binary = getenv("BITLORN_BINARY");
        std::string copy = dir + "/bitlorn";
        fs::copy_file(binary, copy, fs::copy_options::overwrite_existing);
        fs::copy_file(binary.parent_path() / "mono.png", dir + "/mono.png", fs::copy_options::overwrite_existing);
        launch(copy, arguments, true);
    }

    bool alive() { return pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0; }

    void press_key(KeySym key) {
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, key), True, CurrentTime);
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, key), False, CurrentTime);
        XSync(display, False);
    }

    void click() {
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
        XSync(display, False);
    }

    // Sweeps the pointer over both grids while `done` is false.
    bool sweep_until(const std::function<bool()>& done, uint64_t milliseconds = 5000) {
        int32_t step = 0;
        return wait_until([&] {
            step++;
            int32_t row = step % 30, column = (step * 7) % 16;
            move_to(margin + panel_pad + column * (glyph_w + 2), panel_top + panel_pad + row * cell_h);
            move_to(hex_panel_x + panel_pad + column * cell_w, panel_top + panel_pad + (29 - row) * cell_h);
            return done() || !alive();
        }, milliseconds);
    }

    bool shows_size_line_start(uint64_t size) { return status_shows_size(size); }

    bool has_xtest() {
        int event_base = 0, error_base = 0, major = 0, minor = 0;
        return XTestQueryExtension(display, &event_base, &error_base, &major, &minor);
    }
};

// Truncated to half and to nothing while its last rows are shown and the
// pointer keeps the program drawing: no crash, and the new size shows.
TEST_F(LiveFileTest, TruncationUnderThePointerIsSurvivedAndShown) {
    if (!has_xtest()) SKIP_OR_FAIL_UNDER_CI("no XTEST");
    std::string dir = make_temp_dir();
    std::string path = dir + "/shrinking.bin";
    write_file(path, std::string(256 * 1024, 'A'));
    start_copy(dir, {path});
    ASSERT_TRUE(wait_until([&] { return status_shows_size(256 * 1024); }));
    move_to(margin + panel_pad, panel_top + panel_pad);
    press_key(XK_End);

    const uint64_t sizes[] = {128 * 1024, 0, 4000};
    for (uint64_t size : sizes) {
        SCOPED_TRACE(size);
        ASSERT_EQ(truncate(path.c_str(), (off_t)size), 0);
        EXPECT_TRUE(sweep_until([&] { return status_shows_size(size); }));
        ASSERT_TRUE(alive()) << output();
    }
    EXPECT_EQ(output().find("ERROR"), std::string::npos) << output();
}

// Replaced by a rename, appended to, deleted, made unreadable: each shows as
// the user would expect.
TEST_F(LiveFileTest, ReplacedAppendedDeletedAndUnreadableFiles) {
    std::string dir = make_temp_dir();
    std::string path = dir + "/shown.bin", temp = dir + "/.shown.bin.tmp";
    write_file(path, std::string(1000, 'x'));
    start_copy(dir, {path});
    ASSERT_TRUE(wait_until([&] { return status_shows_size(1000); }));

    write_file(temp, std::string(2345, 'y'));
    ASSERT_EQ(rename(temp.c_str(), path.c_str()), 0);
    EXPECT_TRUE(wait_until([&] { return status_shows_size(2345); })) << "replacement by rename not shown";

    // 100 appends a second for a second; the last size shows.
    uint64_t size = 2345;
    for (int i = 0; i < 100; i++) {
        write_file(path, "0123456789", O_WRONLY | O_APPEND);
        size += 10;
        usleep(10000);
    }
    EXPECT_TRUE(wait_until([&] { return status_shows_size(size); })) << "appends not followed";

    if (geteuid() != 0) {
        chmod(path.c_str(), 0);
        write_file(temp, "z");  // nothing to do with the shown file
        EXPECT_FALSE(wait_until([&] { return !status_shows_size(size); }, 300));
        chmod(path.c_str(), 0644);
    }

    unlink(path.c_str());
    EXPECT_FALSE(wait_until([&] { return !status_shows_size(size); }, 300)) << "a deleted file's contents vanished";
    write_file(path, "back");
    EXPECT_TRUE(wait_until([&] { return status_shows_size(4); })) << "a file created again is not shown";
    EXPECT_TRUE(alive());
}

TEST_F(LiveFileTest, CommandLinePathsThatCannotBeOpenedAreNamedOnStandardError) {
    std::string dir = make_temp_dir();
    std::string fifo = dir + "/fifo", missing = dir + "/missing";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    start_copy(dir, {missing, fifo, dir});
    EXPECT_TRUE(wait_until([&] {
        std::string text = output();
        return text.find("bitlorn: cannot open " + missing + ": No such file or directory\n") != std::string::npos &&
               text.find("bitlorn: cannot open " + fifo + ": Not a regular file\n") != std::string::npos &&
               text.find("bitlorn: cannot open " + dir + ": Is a directory\n") != std::string::npos;
    })) << output();
    EXPECT_TRUE(alive());
}

// types.c edited while a placement of one of its structs is shown: the
// placement follows the new definition, errors are printed, and a struct that
// is gone takes its placement with it.
TEST_F(LiveFileTest, TypesFileIsReadAgainWhenItChanges) {
    if (!has_xtest()) SKIP_OR_FAIL_UNDER_CI("no XTEST");
    std::string dir = make_temp_dir();
    std::string types = dir + "/types.c", temp = dir + "/types.c.new", data = dir + "/data.bin";
    write_file(types, "struct Zed { u32 a; u16 b; };\n");
    write_file(data, std::string(64, '\x01'));
    start_copy(dir, {data});
    ASSERT_TRUE(wait_until([&] { return status_shows_size(64); }));
    int32_t button_row_step = button_h + button_gap, user_type_row_y = first_button_row_y + 4 * button_row_step;

    // The first user type's button: hovering it shows its size at the selection.
    move_to(struct_text_x + 10, user_type_row_y + 11);
    ASSERT_TRUE(wait_until([&] { return shows_text(status_x, status_line_2_y, "Filesize: 64 | Select: 0,1 | Hover: 0,6"); }));

    write_file(types, "struct Zed { u64 a; };\n");
    move_to(struct_text_x + 11, user_type_row_y + 11);
    EXPECT_TRUE(wait_until([&] { return shows_text(status_x, status_line_2_y, "Filesize: 64 | Select: 0,1 | Hover: 0,8"); }))
        << "the new definition is not offered";

    // Placed, then redefined by a replacement with an error after it.
    click();
    EXPECT_TRUE(wait_until([&] { return shows_text(status_x, status_line_2_y, "Filesize: 64 | Select: 0,1 | Hover: 0,8"); }));
    write_file(temp, "struct Zed { u16 a; };\ntypedef Broken NoSuchType;\n");
    ASSERT_EQ(rename(temp.c_str(), types.c_str()), 0);
    EXPECT_TRUE(wait_until([&] { return output().find("Error") != std::string::npos; })) << output();
    // Hovering the placement's first line in the structure view shows its range.
    move_to(struct_text_x + 5, placement_line_y + 7);
    EXPECT_TRUE(wait_until([&] { return shows_text(status_x, status_line_2_y, "Filesize: 64 | Select: 0,1 | Hover: 0,2"); }))
        << "the placement did not follow the new definition";

    // Emptied: the placement is gone, so the type buttons are offered again.
    write_file(types, "");
    int32_t u64_x = struct_text_x + (2 * glyph_w + 16) + (3 * glyph_w + 16) * 2 + 3 * 4;
    move_to(u64_x + 10, first_button_row_y + button_row_step + 11);
    EXPECT_TRUE(wait_until([&] { return shows_text(status_x, status_line_2_y, "Filesize: 64 | Select: 0,1 | Hover: 0,8"); }))
        << "the placement of a vanished type stayed";
    EXPECT_TRUE(alive());
}

// Bytes changed in place and then by a rename are underlined in the hex grid
// until Escape.
TEST_F(LiveFileTest, ChangedBytesAreMarkedUntilEscape) {
    if (!has_xtest()) SKIP_OR_FAIL_UNDER_CI("no XTEST");
    std::string dir = make_temp_dir();
    std::string path = dir + "/changing.bin", temp = dir + "/.changing.tmp";
    std::string contents(65536, 'A');
    write_file(path, contents);
    start({path});
    ASSERT_TRUE(wait_until([&] { return status_shows_size(65536); }));
    move_to(2, 2);
    const unsigned long orange = 0xff9922;
    auto underlined = [&](int32_t offset) {
        int32_t column = offset % bytes_per_row;
        int32_t x = hex_panel_x + panel_pad + column * cell_w + column / 8 * 4 + 1;
        XImage* image = XGetImage(display, window, x, panel_top + panel_pad + (offset / bytes_per_row + 1) * cell_h - 3,
                                  1, 1, AllPlanes, ZPixmap);
        bool marked = image && XGetPixel(image, 0, 0) == orange;
        if (image) XDestroyImage(image);
        return marked;
    };
    ASSERT_FALSE(underlined(20));

    contents[20] = 'B';
    int fd = open(path.c_str(), O_WRONLY);
    ASSERT_EQ(pwrite(fd, "B", 1, 20), 1);
    close(fd);
    EXPECT_TRUE(wait_until([&] { return underlined(20); })) << "in-place change not marked";
    EXPECT_FALSE(underlined(19) || underlined(21));

    contents[21] = 'C';
    write_file(temp, contents);
    ASSERT_EQ(rename(temp.c_str(), path.c_str()), 0);
    EXPECT_TRUE(wait_until([&] { return underlined(21) && !underlined(20); }))
        << "the change by rename not marked alone";

    XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
    EXPECT_TRUE(wait_until([&] {
        press_key(XK_Escape);
        return !underlined(21);
    })) << "Escape left the marks";
    EXPECT_TRUE(alive());
}

}  // namespace
