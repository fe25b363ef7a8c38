// Mapped files, the guard against truncation under the mapping, and the file watch.
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "os/os.h"
#include "test_support.h"

namespace {

utf8_string as_path(const std::string& path) { return {(int64_t)path.size(), path.c_str()}; }

std::string last_error(void) {
    utf8_string message = os_last_error_message();
    return message.data ? std::string(message.data, (size_t)message.length) : std::string();
}

uint64_t page(void) { return (uint64_t)sysconf(_SC_PAGESIZE); }

std::vector<uint8_t> pattern(uint64_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t state = seed * 2654435761u + 1;
    for (uint8_t& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = (uint8_t)(state >> 16) | 1;  // never zero, so a zeroed page shows
    }
    return bytes;
}

void cut_to(const std::string& path, uint64_t size) { ASSERT_EQ(truncate(path.c_str(), (off_t)size), 0); }

// Runs `body` in a child process; its wait status.
int in_child(void (*body)(const std::string&), const std::string& path) {
    fflush(stdout);
    pid_t child = fork();
    if (child == 0) {
        body(path);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

}  // namespace

TEST(MapFile, contents_match_the_file_with_a_zero_byte_after_at_every_size) {
    const uint64_t sizes[] = {1, 10, page() - 1, page(), page() + 1, 3 * page(), 3 * page() + 17};
    uint32_t seed = 1;
    for (uint64_t size : sizes) {
        SCOPED_TRACE(size);
        std::vector<uint8_t> bytes = pattern(size, seed++);
        std::string path = write_temp_file("m.bin", bytes.data(), size);
        os_mapped_file file = os_map_file(as_path(path));
        ASSERT_NE(file.contents.data, nullptr);
        EXPECT_GT(file.mapped_bytes, size);
        EXPECT_EQ(file.contents.size, size);
        EXPECT_EQ(memcmp(file.contents.data, bytes.data(), size), 0);
        EXPECT_EQ(file.contents.data[size], 0);
        EXPECT_EQ(os_mapped_file_damaged(&file), 0);
        EXPECT_EQ(last_error(), "");
        os_unmap_file(&file);
        EXPECT_EQ(file.contents.data, nullptr);
        EXPECT_EQ(file.mapped_bytes, 0u);
    }
}

TEST(MapFile, what_cannot_be_mapped_is_read_whole) {
    std::string empty = write_temp_file("empty", "", 0);
    os_mapped_file file = os_map_file(as_path(empty));
    ASSERT_NE(file.contents.data, nullptr);
    EXPECT_EQ(file.mapped_bytes, 0u);
    EXPECT_EQ(file.contents.size, 0u);
    EXPECT_EQ(file.contents.data[0], 0);
    os_unmap_file(&file);

    // /proc files report size 0 and still have contents.
    file = os_map_file(as_path("/proc/self/status"));
    ASSERT_NE(file.contents.data, nullptr);
    EXPECT_EQ(file.mapped_bytes, 0u);
    EXPECT_GT(file.contents.size, 0u);
    EXPECT_EQ(memcmp(file.contents.data, "Name:", 5), 0);
    os_unmap_file(&file);
}

TEST(MapFile, failures_name_their_reason) {
    std::string dir = make_temp_dir();
    std::string fifo = dir + "/pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {dir + "/missing", "No such file or directory"},
        {dir, "Is a directory"},
        {fifo, "Not a regular file"},
        {"/dev/null", "Not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        os_mapped_file file = os_map_file(as_path(c.path));
        EXPECT_EQ(file.contents.data, nullptr);
        EXPECT_EQ(last_error(), c.reason);
    }
    if (geteuid() != 0) {
        std::string locked = write_temp_file("locked", "x", 1);
        chmod(locked.c_str(), 0);
        EXPECT_EQ(os_map_file(as_path(locked)).contents.data, nullptr);
        EXPECT_EQ(last_error(), "Permission denied");
    }
}

// Truncated under the mapping, in steps and back again: the bytes still in the
// file read as before, the rest as zeros, and nothing faults.
TEST(MapFile, shrinking_file_reads_as_zeros_and_marks_the_mapping) {
    const uint64_t size = 6 * page() + 100;
    std::vector<uint8_t> bytes = pattern(size, 7);
    std::string path = write_temp_file("shrink.bin", bytes.data(), size);
    os_mapped_file file = os_map_file(as_path(path));
    ASSERT_NE(file.contents.data, nullptr);

    const uint64_t cuts[] = {4 * page() + 3, page(), 0};
    for (uint64_t cut : cuts) {
        SCOPED_TRACE(cut);
        cut_to(path, cut);
        uint64_t kept_pages_end = (cut / page()) * page();
        uint64_t differences = 0;
        for (uint64_t i = 0; i < size + 1; i++) {
            uint8_t expected = i < kept_pages_end ? bytes[i] : 0;
            if (i >= kept_pages_end && i < cut) continue;  // the kept part of the last page
            if (file.contents.data[i] != expected) differences++;
        }
        EXPECT_EQ(differences, 0u);
        EXPECT_EQ(os_mapped_file_damaged(&file), 1);
    }
    os_unmap_file(&file);

    // A fresh mapping of the regrown file is whole and undamaged.
    std::vector<uint8_t> again = pattern(2 * page(), 9);
    int fd = open(path.c_str(), O_WRONLY);
    ASSERT_EQ(write(fd, again.data(), again.size()), (ssize_t)again.size());
    close(fd);
    file = os_map_file(as_path(path));
    ASSERT_NE(file.contents.data, nullptr);
    EXPECT_EQ(memcmp(file.contents.data, again.data(), again.size()), 0);
    EXPECT_EQ(os_mapped_file_damaged(&file), 0);
    os_unmap_file(&file);
}

static void fault_outside_any_guarded_mapping(const std::string& path) {
    os_mapped_file guarded = os_map_file(as_path(path));  // installs the guard
    int fd = open(path.c_str(), O_RDONLY);
    volatile uint8_t* raw = (volatile uint8_t*)mmap(nullptr, 4 * page(), PROT_READ, MAP_SHARED, fd, 0);
    truncate(path.c_str(), 0);
    uint8_t sink = guarded.contents.data[3 * page()];  // answered by the guard
    sink = (uint8_t)(sink + raw[3 * page()]);           // a real fault
    _exit(sink == 255 ? 3 : 4);
}

static void guarded_fault_with_crash_handler(const std::string& path) {
    os_set_crash_handler([](int32_t, const char*) { _exit(5); });
    os_mapped_file guarded = os_map_file(as_path(path));
    truncate(path.c_str(), 0);
    volatile uint8_t sink = guarded.contents.data[3 * page()];
    _exit(sink == 0 ? 0 : 6);
}

static void unguarded_fault_with_crash_handler(const std::string& path) {
    os_set_crash_handler([](int32_t code, const char* text) {
        _exit(code == 1 && strncmp(text, "EXCEPTION_IN_PAGE_ERROR", 23) == 0 ? 7 : 8);
    });
    os_mapped_file guarded = os_map_file(as_path(path));
    (void)guarded;
    int fd = open(path.c_str(), O_RDONLY);
    volatile uint8_t* raw = (volatile uint8_t*)mmap(nullptr, 4 * page(), PROT_READ, MAP_SHARED, fd, 0);
    truncate(path.c_str(), 0);
    volatile uint8_t sink = raw[3 * page()];
    _exit(sink == 0 ? 9 : 10);
}

// The guard answers only faults inside its own mappings; every other SIGBUS
// still ends the process, or reaches the crash callback when one is set.
TEST(MapFile, other_bus_faults_still_crash) {
    std::vector<uint8_t> bytes = pattern(4 * page(), 3);
    struct {
        void (*body)(const std::string&);
        bool killed_by_bus;
        int exit_code;
    } cases[] = {
        {fault_outside_any_guarded_mapping, true, 0},
        {guarded_fault_with_crash_handler, false, 0},
        {unguarded_fault_with_crash_handler, false, 7},
    };
    for (const auto& c : cases) {
        std::string path = write_temp_file("fault.bin", bytes.data(), bytes.size());
        int status = in_child(c.body, path);
        if (c.killed_by_bus) {
            // Killed by the signal, or ended by a sanitizer's own handler: never past the fault.
            bool went_on = WIFEXITED(status) && (WEXITSTATUS(status) == 3 || WEXITSTATUS(status) == 4);
            EXPECT_FALSE(went_on) << status;
            EXPECT_TRUE(WIFSIGNALED(status) || WEXITSTATUS(status) != 0) << status;
        } else {
            ASSERT_TRUE(WIFEXITED(status)) << status;
            EXPECT_EQ(WEXITSTATUS(status), c.exit_code);
        }
    }
}

// ---------------------------------------------------------------------------
// Watching

namespace {

// Waits for the watched changes to settle; the bits seen in that time.
uint32_t changes_within(uint64_t milliseconds) {
    uint64_t end = os_now_milliseconds() + milliseconds;
    uint32_t seen = 0;
    while (os_now_milliseconds() < end) {
        seen |= os_take_file_changes();
        if (seen) {
            // Let anything else of the same burst land too.
            os_sleep_milliseconds(120);
            return seen | os_take_file_changes();
        }
        os_sleep_milliseconds(5);
    }
    return seen;
}

void write_file(const std::string& path, const std::string& text, int flags = O_WRONLY | O_TRUNC | O_CREAT) {
    int fd = open(path.c_str(), flags, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, text.data(), text.size()), (ssize_t)text.size());
    close(fd);
}

}  // namespace

TEST(WatchFile, every_kind_of_change_reaches_its_own_watch_only) {
    std::string dir = make_temp_dir();
    std::string shown = dir + "/shown.bin", other = dir + "/other.bin", temp = dir + "/shown.bin.new";
    write_file(shown, "one");
    write_file(other, "two");
    int32_t a = os_watch_file(as_path(shown));
    int32_t b = os_watch_file(as_path(other));
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    ASSERT_NE(a, b);
    changes_within(100);
    const uint32_t bit_a = 1u << a, bit_b = 1u << b;

    struct {
        const char* what;
        std::function<void()> change;
        uint32_t expected;
    } cases[] = {
        {"append", [&] { write_file(shown, "more", O_WRONLY | O_APPEND); }, bit_a},
        {"truncate", [&] { cut_to(shown, 1); }, bit_a},
        {"rewrite", [&] { write_file(shown, "rewritten"); }, bit_a},
        {"other file", [&] { write_file(other, "2"); }, bit_b},
        {"unrelated file", [&] { write_file(dir + "/unrelated", "x"); }, 0},
        {"replace by rename", [&] { write_file(temp, "new"); rename(temp.c_str(), shown.c_str()); }, bit_a},
        {"append after replacement", [&] { write_file(shown, "+", O_WRONLY | O_APPEND); }, bit_a},
        {"delete", [&] { unlink(shown.c_str()); }, bit_a},
        {"create again", [&] { write_file(shown, "back"); }, bit_a},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.change();
        EXPECT_EQ(changes_within(c.expected ? 2000 : 200), c.expected);
    }

    // Unwatching one of two watches in one directory leaves the other working.
    os_unwatch_file(b);
    write_file(shown, "after");
    EXPECT_EQ(changes_within(2000), bit_a);
    write_file(other, "after");
    EXPECT_EQ(changes_within(200), 0u);
    os_unwatch_file(a);
}

TEST(WatchFile, a_burst_settles_into_one_report_and_a_stream_still_reports) {
    std::string dir = make_temp_dir();
    std::string path = dir + "/log.txt";
    write_file(path, "");
    int32_t w = os_watch_file(as_path(path));
    ASSERT_GE(w, 0);
    for (int i = 0; i < 50; i++) write_file(path, "x", O_WRONLY | O_APPEND);
    EXPECT_EQ(changes_within(2000), 1u << w);
    EXPECT_EQ(changes_within(100), 0u);

    // Appending every 10 ms never goes quiet; reports still come.
    int reports = 0;
    uint64_t end = os_now_milliseconds() + 500;
    while (os_now_milliseconds() < end) {
        write_file(path, "y", O_WRONLY | O_APPEND);
        if (os_take_file_changes() & (1u << w)) reports++;
        os_sleep_milliseconds(10);
    }
    EXPECT_GE(reports, 3);
    os_unwatch_file(w);
}

TEST(WatchFile, unwatchable_paths_give_no_watch) {
    std::string dir = make_temp_dir();
    const std::string paths[] = {dir + "/no/such/dir/file", "", dir + "/"};
    for (const std::string& path : paths) EXPECT_EQ(os_watch_file(as_path(path)), -1) << path;
}

// Another process cuts and regrows the file at random while this one reads
// the mapping at random: every byte read is the file's own or zero.
TEST(MapFile, reads_race_a_process_cutting_and_regrowing_the_file) {
    const uint64_t size = 16 * page();
    std::vector<uint8_t> bytes = pattern(size, 11);
    std::string path = write_temp_file("race.bin", bytes.data(), size);
    os_mapped_file file = os_map_file(as_path(path));
    ASSERT_NE(file.contents.data, nullptr);

    fflush(stdout);
    pid_t cutter = fork();
    if (cutter == 0) {
        uint32_t state = 5;
        uint64_t end = os_now_milliseconds() + 300;
        while (os_now_milliseconds() < end) {
            state = state * 1103515245u + 12345u;
            uint64_t cut = (state >> 8) % (size + 1);
            if (truncate(path.c_str(), (off_t)cut) != 0) _exit(2);
            int fd = open(path.c_str(), O_WRONLY);
            if (fd < 0 || pwrite(fd, bytes.data() + cut, size - cut, (off_t)cut) != (ssize_t)(size - cut)) _exit(3);
            close(fd);
        }
        _exit(0);
    }
    uint32_t state = 9;
    uint64_t wrong = 0, reads = 0;
    int status = -1;
    while (waitpid(cutter, &status, WNOHANG) == 0) {
        for (int i = 0; i < 1000; i++, reads++) {
            state = state * 1103515245u + 12345u;
            uint64_t at = (state >> 4) % size;
            uint8_t got = ((volatile uint8_t*)file.contents.data)[at];
            if (got != bytes[at] && got != 0) wrong++;
        }
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_GT(reads, 0u);
    EXPECT_EQ(wrong, 0u);
    os_unmap_file(&file);
}
