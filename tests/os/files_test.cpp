// Reading and writing files whole and in place, and managing them.
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "os/os.h"
#include "test_support.h"

static utf8_string as_path(const std::string& path) { return {(int64_t)path.size(), path.c_str()}; }

static std::string last_error(void) {
    utf8_string message = os_last_error_message();
    return message.data ? std::string(message.data, (size_t)message.length) : std::string();
}

TEST(ReadEntireFile, EmptyFileGivesAZeroedBlock) {
    std::string path = write_temp_file("empty", "", 0);
    file_contents contents = os_read_entire_file(as_path(path));
    EXPECT_EQ(contents.size, 0u);
    ASSERT_NE(contents.data, nullptr);
    EXPECT_EQ(contents.data[0], 0);
    os_free_file_contents(&contents);
    EXPECT_EQ(contents.data, nullptr);
    EXPECT_EQ(contents.size, 0u);
}

TEST(ReadEntireFile, TenBytesWithZeroAfterAndErrorCleared) {
    std::string path = write_temp_file("ten", "0123456789", 10);
    // A failed read first, so that success visibly clears the message.
    std::string dir = make_temp_dir();
    file_contents failed = os_read_entire_file(as_path(dir));
    EXPECT_EQ(failed.data, nullptr);
    EXPECT_FALSE(last_error().empty());

    file_contents contents = os_read_entire_file(as_path(path));
    ASSERT_NE(contents.data, nullptr);
    EXPECT_EQ(contents.size, 10u);
    EXPECT_EQ(memcmp(contents.data, "0123456789", 10), 0);
    EXPECT_EQ(contents.data[10], 0);
    EXPECT_EQ(os_last_error_message().data, nullptr);
    os_free_file_contents(&contents);
}

TEST(ReadEntireFile, MissingFileLeavesLastErrorAlone) {
    std::string dir = make_temp_dir();
    file_contents failed = os_read_entire_file(as_path(dir));
    EXPECT_EQ(failed.data, nullptr);
    std::string before = last_error();
    ASSERT_FALSE(before.empty());
    file_contents missing = os_read_entire_file(as_path(dir + "/nothing-here"));
    EXPECT_EQ(missing.size, 0u);
    EXPECT_EQ(missing.data, nullptr);
    EXPECT_EQ(last_error(), before);
}

TEST(ReadEntireFile, FifoAndDirectoryAreUnreadableWithoutBlocking) {
    std::string fifo = make_temp_dir() + "/pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // No writer ever opens the FIFO: a blocking open would hang here.
    file_contents from_fifo = os_read_entire_file(as_path(fifo));
    EXPECT_EQ(from_fifo.size, 0u);
    EXPECT_EQ(from_fifo.data, nullptr);
    file_contents from_directory = os_read_entire_file(as_path(make_temp_dir()));
    EXPECT_EQ(from_directory.size, 0u);
    EXPECT_EQ(from_directory.data, nullptr);
    // The positioned read must not wait for a writer either.
    char byte = 'q';
    os_read_bytes_at(as_path(fifo), 0, 1, &byte);
    EXPECT_EQ(byte, 'q');
}

TEST(ReadEntireFile, ProcFileReportingSizeZeroIsReadToItsEnd) {
    file_contents status = os_read_entire_file(os_string("/proc/self/status"));
    ASSERT_NE(status.data, nullptr);
    EXPECT_GT(status.size, 0u);
    EXPECT_EQ(strlen((const char*)status.data), status.size);
    std::string text((const char*)status.data, (size_t)status.size);
    EXPECT_EQ(text.rfind("Name:", 0), 0u);
    // The last lines of the status file come after the first 4 KiB on most systems;
    // either way the text must end with a complete line.
    EXPECT_NE(text.find("voluntary_ctxt_switches"), std::string::npos);
    EXPECT_EQ(text.back(), '\n');
    os_free_file_contents(&status);

    // smaps runs to many kilobytes, past the first guess for a size-0 file.
    file_contents smaps = os_read_entire_file(os_string("/proc/self/smaps"));
    ASSERT_NE(smaps.data, nullptr);
    EXPECT_GT(smaps.size, 16384u);
    EXPECT_EQ(strlen((const char*)smaps.data), smaps.size);
    EXPECT_EQ(smaps.data[smaps.size - 1], '\n');
    os_free_file_contents(&smaps);
}

TEST(ReadEntireFile, FileLargerThanTheFirstGuessIsWhole) {
    std::string big(3 * 1024 * 1024 + 17, 'x');
    for (size_t i = 0; i < big.size(); i += 4093) big[i] = (char)(i % 251);
    std::string path = write_temp_file("big", big.data(), big.size());
    file_contents contents = os_read_entire_file(as_path(path));
    ASSERT_NE(contents.data, nullptr);
    ASSERT_EQ(contents.size, big.size());
    EXPECT_EQ(memcmp(contents.data, big.data(), big.size()), 0);
    EXPECT_EQ(contents.data[big.size()], 0);
    os_free_file_contents(&contents);
}

TEST(PositionedIo, ReadAtAndPastTheEnd) {
    std::string path = write_temp_file("ten", "0123456789", 10);
    char buffer[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(os_read_bytes_at(as_path(path), 6, 4, buffer), os_file_ok);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    char untouched[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(os_read_bytes_at(as_path(path), 100, 4, untouched), os_file_ok);
    EXPECT_EQ(std::string(untouched, 4), "abcd");
    EXPECT_EQ(os_read_bytes_at(as_path(path + ".missing"), 0, 4, buffer), os_file_cannot_open);
    // A directory is not a file that opens for reading.
    EXPECT_EQ(os_read_bytes_at(as_path(make_temp_dir()), 0, 4, buffer), os_file_cannot_open);
}

TEST(PositionedIo, WritingOverALongerFileKeepsItsTailUntilCut) {
    std::string path = write_temp_file("ten", "0123456789", 10);
    EXPECT_EQ(os_write_bytes(as_path(path), 3, "abc"), os_file_ok);
    EXPECT_EQ(read_text_file(path), "abc3456789");
    EXPECT_EQ(os_write_bytes_at(as_path(path), 8, 4, "WXYZ"), os_file_ok);
    EXPECT_EQ(read_text_file(path), "abc34567WXYZ");
    EXPECT_EQ(os_file_size(as_path(path)), 12u);
    EXPECT_EQ(os_set_file_size(as_path(path), 5), os_file_ok);
    EXPECT_EQ(read_text_file(path), "abc34");
    EXPECT_EQ(os_set_file_size(as_path(path), 7), os_file_ok);
    EXPECT_EQ(read_text_file(path), std::string("abc34\0\0", 7));
    EXPECT_EQ(os_set_file_size(as_path(path + ".missing"), 1), os_file_cannot_open);
    EXPECT_EQ(os_path_exists(as_path(path + ".missing")), 0);

    std::string created = make_temp_dir() + "/new";
    EXPECT_EQ(os_write_bytes(as_path(created), 2, "hi"), os_file_ok);
    EXPECT_EQ(read_text_file(created), "hi");
}

TEST(FileManagement, DeleteCopyMoveAndProbe) {
    std::string dir = make_temp_dir();
    EXPECT_EQ(os_delete_file(as_path(dir + "/missing")), 0);
    EXPECT_EQ(os_delete_file(as_path(std::string())), 1);

    std::string a = dir + "/a", b = dir + "/b", c = dir + "/c";
    ASSERT_EQ(os_write_bytes(as_path(a), 5, "first"), os_file_ok);
    ASSERT_EQ(os_write_bytes(as_path(b), 12, "second-older"), os_file_ok);
    EXPECT_EQ(os_copy_file(as_path(a), as_path(b)), 0);
    EXPECT_EQ(read_text_file(b), "first");
    // Copying a file onto itself must not wipe it.
    EXPECT_EQ(os_copy_file(as_path(a), as_path(a)), 1);
    EXPECT_EQ(read_text_file(a), "first");

    EXPECT_EQ(os_move_file(as_path(a), as_path(b)), 1);
    EXPECT_EQ(read_text_file(a), "first");
    EXPECT_EQ(os_move_file(as_path(a), as_path(c)), 0);
    EXPECT_EQ(os_path_exists(as_path(a)), 0);
    EXPECT_EQ(read_text_file(c), "first");

    EXPECT_EQ(os_file_can_open(as_path(c)), 1);
    EXPECT_EQ(os_file_can_open(as_path(dir)), 0);
    EXPECT_EQ(os_file_can_open(as_path(a)), 0);
    EXPECT_EQ(os_delete_file(as_path(c)), 0);
    EXPECT_EQ(os_path_exists(as_path(c)), 0);
}

TEST(FileManagement, PathWithInnerZeroByteNamesNothing) {
    std::string path = write_temp_file("ten", "0123456789", 10);
    std::string with_zero = path + std::string("\0.other", 7);
    EXPECT_EQ(os_read_entire_file(as_path(with_zero)).data, nullptr);
    EXPECT_EQ(os_path_exists(as_path(with_zero)), 0);
    EXPECT_EQ(os_delete_file(as_path(with_zero)), 1);
    EXPECT_EQ(os_path_exists(as_path(path)), 1);
}

// Standard input read whole against a limit: sizes around the growth steps
// and the limit, each compared byte for byte with what was fed in.
TEST(StandardInput, ReadWholeUpToTheLimit) {
    const struct { uint64_t size, limit; int32_t result; } cases[] = {
        {0, 0, os_input_ok}, {65536, 0, os_input_ok}, {300001, 0, os_input_ok}, {100000, 100000, os_input_ok},
        {100001, 100000, os_input_too_large}, {70000, 65535, os_input_too_large}};
    int saved = dup(STDIN_FILENO);
    for (const auto& c : cases) {
        std::string bytes(c.size, 0);
        for (uint64_t i = 0; i < c.size; i++) bytes[i] = (char)(i * 7 + i / 251);
        int fd = open(write_temp_file("stdin.bin", bytes.data(), bytes.size()).c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        dup2(fd, STDIN_FILENO), close(fd);
        int32_t result = -1;
        file_contents contents = os_read_standard_input(c.limit, &result);
        EXPECT_EQ(result, c.result) << c.size << " bytes, limit " << c.limit;
        // Read whole and NUL-ended, or refused with the size that was too much.
        if (c.result != os_input_ok) {
            EXPECT_TRUE(!contents.data && contents.size > c.limit) << c.size;
        } else {
            ASSERT_NE(contents.data, nullptr);
            EXPECT_EQ(std::string((const char*)contents.data, contents.size + 1), bytes + '\0');
        }
        os_free_file_contents(&contents);
    }
    // A terminal is not read: reading it would wait for someone to type.
    int terminal = posix_openpt(O_RDWR | O_NOCTTY), result = -1;
    ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
    int typed = open(ptsname(terminal), O_RDONLY | O_NOCTTY);
    dup2(typed, STDIN_FILENO), close(typed);
    EXPECT_EQ(os_read_standard_input(0, &result).data, nullptr);
    EXPECT_EQ(result, os_input_terminal);
    close(terminal);
    dup2(saved, STDIN_FILENO);
    close(saved);
}
