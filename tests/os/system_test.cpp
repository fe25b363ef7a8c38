#include <string.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "os/os.h"

static std::string text(utf8_string s) { return s.data ? std::string(s.data, (size_t)s.length) : std::string(); }

TEST(system, machine_facts) {
    EXPECT_GE(os_processor_count(), 1u);
    EXPECT_GT(os_physical_memory(), 64ull * 1024 * 1024);
    utf8_string s = os_string("abc");
    EXPECT_EQ(s.length, 3);
    EXPECT_EQ(os_string(nullptr).length, 0);
}

TEST(system, command_line_and_arguments) {
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

TEST(system, executable_name_and_directory) {
    std::string name = text(os_executable_name());
    std::string directory = text(os_executable_directory());
    EXPECT_NE(name.find("os_tests"), std::string::npos);
    EXPECT_EQ(name.find('/'), std::string::npos);
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.front(), '/');
    EXPECT_EQ(directory.back(), '/');
    EXPECT_EQ(access((directory + name).c_str(), X_OK), 0);
}

TEST(system, current_directory_ends_with_one_slash) {
    std::string directory = text(os_current_directory());
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.back(), '/');
    char actual[4096];
    ASSERT_NE(getcwd(actual, sizeof actual), nullptr);
    std::string expected = actual;
    if (expected != "/") expected += "/";
    EXPECT_EQ(directory, expected);
}

TEST(memory, blocks_keep_content_and_report_their_size) {
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

TEST(library, loads_libm_and_finds_a_symbol) {
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
