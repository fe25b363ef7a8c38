// Console output, the crash handler and the fatal path.
#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "os/os.h"
#include "test_support.h"

TEST(Console, PrintFormatsWithTheCRuntime) {
    std::string out = capture_stdout([] {
        os_print("Monitor %i = %ihz, %s %.2f %lld\n", 0, 60, "x", 1.5, -9ll);
        os_abort_all_threads();
    });
    EXPECT_EQ(out, "Monitor 0 = 60hz, x 1.50 -9\n* TODO * os_abort_all_threads\n");
}

TEST(Console, StdoutWritePassesBytesThrough) {
    std::string bytes("a\0b\n", 4);
    std::string out = capture_stdout([&] {
        os_write_stdout({(int64_t)bytes.size(), bytes.data()});
        os_write_stdout({0, nullptr});
    });
    EXPECT_EQ(out, bytes);
}

static void print_crash(int32_t code, const char* text) {
    fprintf(stderr, "crash %d: %s\n", code, text);
}

static volatile int zero_divisor = 0;

// The faults must reach the crash handler as real signals, so the undefined
// behaviour checker must not stop them first.
__attribute__((no_sanitize("undefined"))) static void write_through_null(void) {
    *(volatile int*)nullptr = 1;
}

__attribute__((no_sanitize("undefined"))) static int divide_by_zero(void) {
    return 10 / zero_divisor;
}

TEST(CrashHandlerDeathTest, NullWriteReportsAccessViolation) {
    EXPECT_DEATH(
        {
            os_set_crash_handler(print_crash);
            write_through_null();
        },
        "crash 1: EXCEPTION_ACCESS_VIOLATION -> The thread tried to read from or write to a virtual address");
}

TEST(CrashHandlerDeathTest, IntegerDivisionByZero) {
    EXPECT_DEATH(
        {
            os_set_crash_handler(print_crash);
            volatile int quotient = divide_by_zero();
            (void)quotient;
        },
        "crash 1: EXCEPTION_INT_DIVIDE_BY_ZERO -> The thread tried to divide an integer value");
}

#if defined(__x86_64__) || defined(__i386__)
TEST(CrashHandlerDeathTest, BreakpointInstructionReportsBreakpoint) {
    EXPECT_DEATH(
        {
            os_set_crash_handler(print_crash);
            __asm__ volatile("int3");
        },
        "crash 1: EXCEPTION_BREAKPOINT -> A breakpoint was encountered.");
}
#endif

TEST(CrashHandlerDeathTest, SignalSentBySoftwareIsUnknownAndKills) {
    EXPECT_EXIT(
        {
            os_set_crash_handler(print_crash);
            raise(SIGBUS);
        },
        testing::KilledBySignal(SIGBUS), "crash 1: UNKNOWN");
}

TEST(FatalDeathTest, MessageGoesToStderrThenAbort) {
    EXPECT_EXIT(
        {
            unsetenv("DISPLAY");
            os_fatal("the disk went away");
        },
        testing::KilledBySignal(SIGABRT), "the disk went away");
}

TEST(FatalDeathTest, TheBoxShowsAMessageThatStartsWithADash) {
    // An xmessage of the test's own notes how the message reached it.
    std::string script = "#!/bin/sh\n{ echo \"args: $*\"; printf 'input: '; cat; } > \"$0.txt\"\n";
    std::string path = write_temp_file("xmessage", script.data(), script.size());
    chmod(path.c_str(), 0755);
    EXPECT_EXIT(
        {
            setenv("DISPLAY", ":0", 1);
            setenv("PATH", (path.substr(0, path.rfind('/')) + ":" + getenv("PATH")).c_str(), 1);
            os_fatal("-geometry 1x1 is what the disk said");
        },
        testing::KilledBySignal(SIGABRT), "");
    std::string box = read_text_file(path + ".txt");  // the box ended before the abort
    EXPECT_EQ(box.substr(box.find('\n')), "\ninput: -geometry 1x1 is what the disk said") << box;
}
