// Child processes: command-line splitting, streamed output, exit codes, and the
// non-blocking pipe operations.
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "os/os.h"

static std::vector<std::string> split(const char* line, int32_t* count_out = nullptr) {
    std::string storage(strlen(line) + 1, '\0');
    char* arguments[16] = {};
    int32_t count = os_split_command_line(os_string(line), storage.data(), arguments, 16);
    if (count_out) *count_out = count;
    std::vector<std::string> words;
    for (int32_t i = 0; i < count && i < 16; i += 1) words.push_back(arguments[i]);
    return words;
}

TEST(ProcessesTest, CommandLinesSplitAsAShellWould) {
    struct row {
        const char* line;
        std::vector<std::string> words;
    };
    const row rows[] = {
        {"", {}},
        {"   ", {}},
        {"ls", {"ls"}},
        {"  a\tb \n c  ", {"a", "b", "c"}},
        {"sh -c 'exit 3'", {"sh", "-c", "exit 3"}},
        {"echo \"a \\\"b\\\" \\$x \\n\"", {"echo", "a \"b\" $x \\n"}},
        {"a\\ b c", {"a b", "c"}},
        {"'' x", {"", "x"}},
        {"pre'mid dle'post", {"premid dlepost"}},
        {"'it''s'", {"its"}},
        {"\"'\" '\"'", {"'", "\""}},
    };
    for (const row& r : rows) EXPECT_EQ(split(r.line), r.words) << r.line;

    int32_t count = 0;
    split("echo 'open", &count);
    EXPECT_EQ(count, -1);
    split("echo \"open", &count);
    EXPECT_EQ(count, -1);
}

static std::vector<std::string> chunks;

static void collect(utf8_string* chunk) { chunks.emplace_back(chunk->data, (size_t)chunk->length); }

TEST(ProcessesTest, RunStreamsOutputInOrderedChunksAndReturnsTheExitCode) {
    chunks.clear();
    uint32_t code = os_run_process(
        os_string("sh -c 'i=0; while [ $i -lt 1000 ]; do printf %09d\\\\n $i; i=$((i+1)); done; exit 7'"), collect, 0);
    EXPECT_EQ(code, 7u);
    std::string all;
    for (const std::string& chunk : chunks) {
        EXPECT_LE(chunk.size(), 4096u);
        all += chunk;
    }
    EXPECT_GE(chunks.size(), 3u);
    ASSERT_EQ(all.size(), 10000u);
    for (int i = 0; i < 1000; i += 1) {
        char expected[16];
        snprintf(expected, sizeof expected, "%09d\n", i);
        ASSERT_EQ(all.compare((size_t)i * 10, 10, expected), 0) << i;
    }
}

TEST(ProcessesTest, ExitCodesAndFailures) {
    struct row {
        const char* command;
        bool with_callback;
        uint32_t code;
    };
    const row rows[] = {
        {"sh -c 'exit 3'", true, 3},
        {"true", true, 0},
        {"false", true, 1},
        {"sh -c 'echo to-error >&2; exit 4'", true, 4},
        // Killed by a signal: never reads as success.
        {"sh -c 'kill -9 $$'", true, 137},
        {"no-such-program-bitlorn-test", true, 5},
        {"no-such-program-bitlorn-test", false, 1},
        {"", true, 5},
        {"sh -c 'exit 3", true, 5},
        // Closes its output and lives on, as a daemon does: the state at that moment.
        {"sh -c 'exec >&- 2>&-; sleep 20'", true, 259},
    };
    for (const row& r : rows) {
        chunks.clear();
        EXPECT_EQ(os_run_process(os_string(r.command), r.with_callback ? collect : nullptr, 0), r.code) << r.command;
    }
    chunks.clear();
    os_run_process(os_string("sh -c 'echo to-error >&2'"), collect, 0);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0], "to-error\n");
}

TEST(ProcessesTest, RunWithoutCallbackReturnsAtOnce) {
    uint64_t start = os_now_milliseconds();
    EXPECT_EQ(os_run_process(os_string("sleep 5"), nullptr, 0), 259u);
    EXPECT_LT(os_now_milliseconds() - start, 2000u);
}

TEST(ProcessesTest, AChildLeavingItsOutputToADescendantDoesNotHoldTheRun) {
    chunks.clear();
    uint64_t start = os_now_milliseconds();
    // The background sleep inherits the pipe and keeps it open for 20 s.
    uint32_t code = os_run_process(os_string("sh -c 'echo started; sleep 20 & exit 2'"), collect, 0);
    EXPECT_EQ(code, 2u);
    EXPECT_LT(os_now_milliseconds() - start, 10000u);
    std::string all;
    for (const std::string& chunk : chunks) all += chunk;
    EXPECT_EQ(all, "started\n");
}

TEST(ProcessesTest, StartedChildTalksThroughItsPipesWithoutBlocking) {
    os_process process;
    ASSERT_EQ(os_process_start(&process, os_string("cat"), 0), 0);
    char buffer[64];
    uint64_t start = os_now_milliseconds();
    EXPECT_EQ(os_process_read(&process, sizeof buffer, buffer), 0);
    EXPECT_LT(os_now_milliseconds() - start, 1000u);
    EXPECT_TRUE(os_process_is_running(&process));
    EXPECT_TRUE(os_process_wait_idle(&process));

    EXPECT_EQ(os_process_write(&process, 6, "hello\n"), 6);
    std::string echoed;
    for (int i = 0; i < 500 && echoed.size() < 6; i += 1) {
        int64_t got = os_process_read(&process, sizeof buffer, buffer);
        ASSERT_GE(got, 0);
        echoed.append(buffer, (size_t)got);
        if (!got) os_sleep_milliseconds(10);
    }
    EXPECT_EQ(echoed, "hello\n");

    os_process_close(&process);
    EXPECT_FALSE(os_process_is_running(&process));
    EXPECT_EQ(process.parent_output_read, -1);
    EXPECT_EQ(os_process_read(&process, sizeof buffer, buffer), -1);

    os_process missing;
    EXPECT_EQ(os_process_start(&missing, os_string("no-such-program-bitlorn-test"), 1), 5);
    EXPECT_EQ(missing.creation_flags, (uint32_t)os_process_normal_priority);
    os_process_close(&missing);
}

TEST(ProcessesTest, AChildInheritsNoPipeOfAnotherChild) {
    // The descriptors a child sees, listed by the child itself.
    auto listed = [] {
        chunks.clear();
        os_run_process(os_string("sh -c 'ls /proc/self/fd'"), collect, 0);
        return chunks;
    };
    std::vector<std::string> alone = listed();
    os_process other;
    ASSERT_EQ(os_process_start(&other, os_string("cat"), 0), 0);
    EXPECT_EQ(listed(), alone);
    os_process_close(&other);
}

TEST(ProcessesDeathTest, WritesToAReaderThatWentAwayFailQuietly) {
    EXPECT_EXIT(
        {
            os_init();
            if (int ends[2]; pipe(ends) == 0 && close(ends[0]) == 0) dup2(ends[1], STDOUT_FILENO);
            os_write_stdout(os_string("nobody reads this\n"));
            os_print("nor this %d\n", 1);
            _exit(42);  // no exit handlers: they belong to the parent
        },
        testing::ExitedWithCode(42), "");
}
