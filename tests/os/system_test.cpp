// System information, process strings, memory blocks and libraries.
#include <fcntl.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "os/os.h"
#include "os/os_private.h"

static std::string text(utf8_string s) { return s.data ? std::string(s.data, (size_t)s.length) : std::string(); }

TEST(System, MachineFacts) {
    EXPECT_GE(os_processor_count(), 1u);
    EXPECT_GT(os_physical_memory(), 64ull * 1024 * 1024);
    utf8_string s = os_string("abc");
    EXPECT_EQ(s.length, 3);
    EXPECT_EQ(os_string(nullptr).length, 0);
}

// Started with 0, 1 and 2 closed (`bitlorn - <&- >&- 2>&-`), each becomes /dev/null, never the X connection.
TEST(System, InitFillsClosedStandardDescriptors) {
    pid_t child = fork();
    if (child == 0) {
        close(0), close(1), close(2);
        os_init();
        _exit(read(0, &child, 1) == 0 && open("/dev/null", O_RDONLY) > 2 ? 0 : 1);
    }
    int status = -1;
    EXPECT_TRUE(waitpid(child, &status, 0) == child && status == 0);
}

TEST(System, CommandLineAndArguments) {
    utf8_string line = os_command_line();
    ASSERT_NE(line.data, nullptr);
    ASSERT_GT(line.length, 0);
    EXPECT_EQ((int64_t)strlen(line.data), line.length);
    EXPECT_NE(line.data[line.length - 1], ' ');
    EXPECT_EQ(os_command_line().data, line.data);

    int32_t count = -1;
    utf8_string* arguments = os_command_line_arguments(&count);
    ASSERT_GE(count, 0);
    // The line is the program's name and the arguments joined by single blanks.
    std::string joined = text(line);
    std::string expected_tail;
    for (int32_t i = 0; i < count; i += 1) expected_tail += " " + text(arguments[i]);
    while (!expected_tail.empty() && expected_tail.back() == ' ') expected_tail.pop_back();
    EXPECT_EQ(joined.substr(joined.size() - expected_tail.size()), expected_tail);
}

TEST(System, ExecutableNameAndDirectory) {
    std::string name = text(os_executable_name());
    std::string directory = text(os_executable_directory());
    EXPECT_NE(name.find("os_tests"), std::string::npos);
    EXPECT_EQ(name.find('/'), std::string::npos);
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.front(), '/');
    EXPECT_EQ(directory.back(), '/');
    EXPECT_EQ(access((directory + name).c_str(), X_OK), 0);
}

TEST(System, CurrentDirectoryEndsWithOneSlash) {
    std::string directory = text(os_current_directory());
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.back(), '/');
    char actual[4096];
    ASSERT_NE(getcwd(actual, sizeof actual), nullptr);
    std::string expected = actual;
    if (expected != "/") expected += "/";
    EXPECT_EQ(directory, expected);
}

TEST(Memory, BlocksKeepContentAndReportTheirSize) {
    uint8_t* zeroed = (uint8_t*)os_alloc_zeroed(100);
    ASSERT_NE(zeroed, nullptr);
    for (int i = 0; i < 100; i += 1) EXPECT_EQ(zeroed[i], 0);
    EXPECT_GE(os_heap_size(zeroed), 100u);
    memset(zeroed, 7, 100);
    uint8_t* grown = (uint8_t*)os_realloc(zeroed, 100000);
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(grown[99], 7);
    EXPECT_NE(os_free(grown), 0);
    void* smallest = os_realloc(nullptr, 0);
    EXPECT_NE(smallest, nullptr);
    os_free(smallest);
}

TEST(Library, LoadsLibmAndFindsASymbol) {
    os_library library = os_library_load(os_string("libm.so.6"));
    ASSERT_EQ(library.loaded, 1);
    typedef double cosine(double);
    cosine* cos_function = (cosine*)os_library_symbol(library, os_string("cos"));
    ASSERT_NE(cos_function, nullptr);
    EXPECT_DOUBLE_EQ(cos_function(0.0), 1.0);
    EXPECT_EQ(os_library_symbol(library, os_string("no_such_symbol_here")), nullptr);
    os_library_free(library);

    os_library missing = os_library_load(os_string("libdoes-not-exist.so"));
    EXPECT_EQ(missing.loaded, 0);
    EXPECT_EQ(os_library_symbol(missing, os_string("cos")), nullptr);
    os_library_free(missing);
}

TEST(Memory, ListsGrowByDoublingUpToTheirLimitAndStayWholeWhenFull) {
    const struct {
        int64_t initial, limit, pushes;
        int64_t count, capacity;  // after the pushes
    } cases[] = {
        {4, 100, 1, 1, 4},    {4, 100, 5, 5, 8},     {4, 100, 17, 17, 32},
        {4, 10, 9, 9, 10},    {4, 10, 12, 10, 10},   {32, 255, 300, 255, 255},
        {1, 3, 3, 3, 3},
    };
    for (const auto& c : cases) {
        os_list list = {nullptr, 0, 0};
        int64_t refused = 0;
        for (int64_t i = 0; i < c.pushes; i++) {
            uint32_t* item = (uint32_t*)os_list_push(&list, sizeof(uint32_t), c.initial, c.limit);
            if (!item) {
                refused++;
                continue;
            }
            EXPECT_EQ(*item, 0u) << "items arrive zeroed";
            *item = (uint32_t)i;
        }
        EXPECT_EQ(list.count, c.count) << c.initial << " " << c.limit << " " << c.pushes;
        EXPECT_EQ(list.capacity, c.capacity) << c.initial << " " << c.limit << " " << c.pushes;
        EXPECT_EQ(refused, c.pushes - c.count);
        for (int64_t i = 0; i < list.count; i++) EXPECT_EQ(((uint32_t*)list.items)[i], (uint32_t)i);
        os_free(list.items);
    }
}
