// Creating, removing, listing and watching directories.
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "os/os.h"
#include "test_support.h"

static utf8_string as_path(const std::string& path) { return {(int64_t)path.size(), path.c_str()}; }

struct listed_entry {
    std::string directory;
    std::string name;
    uint64_t size;
    os_date_time last_write;
    uint8_t is_directory;
};

static std::vector<listed_entry> listed;

static void remember_entry(utf8_string* directory, utf8_string* name, uint64_t size, os_date_time* last_write,
                           uint8_t is_directory) {
    listed.push_back({std::string(directory->data, (size_t)directory->length),
                      std::string(name->data, (size_t)name->length), size, *last_write, is_directory});
}

static std::vector<listed_entry> list_sorted(const std::string& directory) {
    listed.clear();
    os_list_directory(as_path(directory), remember_entry);
    std::vector<listed_entry> result = listed;
    std::sort(result.begin(), result.end(),
              [](const listed_entry& a, const listed_entry& b) { return a.name < b.name; });
    return result;
}

TEST(Directories, CreateAndRemove) {
    std::string dir = make_temp_dir();
    std::string file = dir + "/file";
    ASSERT_EQ(os_write_bytes(as_path(file), 1, "x"), os_file_ok);
    EXPECT_EQ(os_create_directory(as_path(file)), 0);
    struct stat info;
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));

    std::string sub = dir + "/sub";
    EXPECT_EQ(os_create_directory(as_path(sub)), 0);
    EXPECT_EQ(os_create_directory(as_path(sub)), 0);
    EXPECT_EQ(os_create_directory(as_path(dir + "/no/parents")), 1);
    ASSERT_EQ(os_write_bytes(as_path(sub + "/inner"), 1, "y"), os_file_ok);
    EXPECT_EQ(os_remove_directory(as_path(sub)), 1);
    EXPECT_EQ(os_delete_file(as_path(sub + "/inner")), 0);
    EXPECT_EQ(os_remove_directory(as_path(sub)), 0);
    EXPECT_EQ(os_path_exists(as_path(sub)), 0);
    EXPECT_EQ(os_remove_directory(as_path(sub)), 0);

    // A dangling link is something at the path, so nothing is created and nothing fails.
    std::string link = dir + "/dangling";
    ASSERT_EQ(symlink((dir + "/nowhere").c_str(), link.c_str()), 0);
    EXPECT_EQ(os_create_directory(as_path(link)), 0);
    EXPECT_EQ(os_path_exists(as_path(dir + "/nowhere")), 0);
}

TEST(Directories, ListingReportsEntriesButNotDots) {
    std::string dir = make_temp_dir();
    ASSERT_EQ(os_write_bytes(as_path(dir + "/seven"), 7, "1234567"), os_file_ok);
    ASSERT_EQ(os_create_directory(as_path(dir + "/folder")), 0);
    struct timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 250000000}};  // 2023-11-14 22:13:20.25 UTC
    ASSERT_EQ(utimensat(AT_FDCWD, (dir + "/seven").c_str(), times, 0), 0);

    std::vector<listed_entry> plain = list_sorted(dir);
    std::vector<listed_entry> slashed = list_sorted(dir + "/");
    ASSERT_EQ(plain.size(), 2u);
    ASSERT_EQ(slashed.size(), 2u);
    EXPECT_EQ(plain[0].name, "folder");
    EXPECT_EQ(plain[0].is_directory, 1);
    EXPECT_EQ(plain[0].size, 0u);
    EXPECT_EQ(plain[0].directory, dir);
    EXPECT_EQ(slashed[0].directory, dir + "/");
    EXPECT_EQ(plain[1].name, "seven");
    EXPECT_EQ(plain[1].is_directory, 0);
    EXPECT_EQ(plain[1].size, 7u);
    EXPECT_EQ(slashed[1].name, "seven");
    const os_date_time& when = plain[1].last_write;
    EXPECT_EQ(when.year, 2023);
    EXPECT_EQ(when.month, 11);
    EXPECT_EQ(when.day, 14);
    EXPECT_EQ(when.weekday, 2);  // a Tuesday
    EXPECT_EQ(when.hour, 22);
    EXPECT_EQ(when.minute, 13);
    EXPECT_EQ(when.second, 20);
    EXPECT_EQ(when.microsecond, 250000u);

    EXPECT_TRUE(list_sorted(dir + "/does-not-exist").empty());
    os_list_directory(as_path(dir), nullptr);
}

// The watch callback has no context argument, so the test talks to it through globals.
static std::mutex watch_lock;
static std::condition_variable watch_signal;
static std::vector<std::string> watch_seen;

static void remember_change(utf8_string* relative) {
    std::lock_guard<std::mutex> hold(watch_lock);
    watch_seen.push_back(std::string(relative->data, (size_t)relative->length));
    watch_signal.notify_all();
}

// Keeps touching the file until the watcher reports it (the watcher may not be ready
// at first); false after a generous bound.
static bool modify_until_seen(const std::string& path, const std::string& expected) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::unique_lock<std::mutex> hold(watch_lock);
    while (std::chrono::steady_clock::now() < deadline) {
        hold.unlock();
        os_write_bytes_at(as_path(path), 0, 2, "ok");
        hold.lock();
        bool seen = watch_signal.wait_for(hold, std::chrono::milliseconds(50), [&] {
            return std::find(watch_seen.begin(), watch_seen.end(), expected) != watch_seen.end();
        });
        if (seen) return true;
    }
    return false;
}

TEST(Directories, WatchReportsModifiedFilesRelativeToTheRoot) {
    std::string dir = make_temp_dir();
    std::string watched = dir + "/watched";
    ASSERT_EQ(os_create_directory(as_path(watched)), 0);
    ASSERT_EQ(os_create_directory(as_path(watched + "/sub")), 0);
    ASSERT_EQ(os_write_bytes(as_path(watched + "/top.txt"), 1, "a"), os_file_ok);
    ASSERT_EQ(os_write_bytes(as_path(watched + "/sub/deep.txt"), 1, "b"), os_file_ok);
    watch_seen.clear();

    std::thread watcher([&] { os_watch_directory(as_path(watched), 1, remember_change); });
    EXPECT_TRUE(modify_until_seen(watched + "/top.txt", "top.txt"));
    EXPECT_TRUE(modify_until_seen(watched + "/sub/deep.txt", "sub/deep.txt"));
    // A directory made after the watch started is watched as well.
    ASSERT_EQ(os_create_directory(as_path(watched + "/later")), 0);
    EXPECT_TRUE(modify_until_seen(watched + "/later/new.txt", "later/new.txt"));

    // Removing the watched directory ends the watch.
    std::string command = "rm -rf '" + watched + "'";
    ASSERT_EQ(system(command.c_str()), 0);
    watcher.join();
}

TEST(Directories, WatchOfMissingDirectoryReturns) {
    os_watch_directory(as_path(make_temp_dir() + "/absent"), 0, remember_change);
}
