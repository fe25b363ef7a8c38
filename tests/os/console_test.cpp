#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "os/os.h"
#include "test_support.h"

TEST(console, print_formats_with_the_c_runtime) {
    std::string out = capture_stdout([] {
        os_print("Monitor %i = %ihz, %s %.2f %lld\n", 0, 60, "x", 1.5, -9ll);
        os_abort_all_threads();
    });
    EXPECT_EQ(out, "Monitor 0 = 60hz, x 1.50 -9\n* TODO * os_abort_all_threads\n");
}

TEST(console, stdout_write_passes_bytes_through) {
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

TEST(crash_handler_death, null_write_reports_access_violation) {
    EXPECT_DEATH(
        {
            os_set_crash_handler(print_crash);
            write_through_null();
        },
        "crash 1: EXCEPTION_ACCESS_VIOLATION -> The thread tried to read from or write to a virtual address");
}

TEST(crash_handler_death, integer_division_by_zero) {
    EXPECT_DEATH(
        {
            os_set_crash_handler(print_crash);
            volatile int quotient = divide_by_zero();
            (void)quotient;
        },
        "crash 1: EXCEPTION_INT_DIVIDE_BY_ZERO -> The thread tried to divide an integer value");
}

#if defined(__x86_64__) || defined(__i386__)
TEST(crash_handler_death, breakpoint_instruction_reports_breakpoint) {
    EXPECT_DEATH(
        {
            os_set_crash_handler(print_crash);
            __asm__ volatile("int3");
        },
        "crash 1: EXCEPTION_BREAKPOINT -> A breakpoint was encountered.");
}
#endif

TEST(crash_handler_death, signal_sent_by_software_is_unknown_and_kills) {
    EXPECT_EXIT(
        {
            os_set_crash_handler(print_crash);
            raise(SIGBUS);
        },
        testing::KilledBySignal(SIGBUS), "crash 1: UNKNOWN");
}

TEST(fatal_death, message_goes_to_stderr_then_abort) {
    EXPECT_EXIT(
        {
            unsetenv("DISPLAY");
            os_fatal("the disk went away");
        },
        testing::KilledBySignal(SIGABRT), "the disk went away");
}
