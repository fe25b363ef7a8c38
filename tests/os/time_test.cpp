// The tick counter, sleeping and calendar times.
#include <fcntl.h>
#include <stdint.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "os/os.h"
#include "os/os_private.h"

TEST(Clock, TickConversionIsExactForLargeCounters) {
    os_init();
    uint64_t one_second = os_ticks_to_microseconds(1000000000ull);
    EXPECT_EQ(one_second, 1000000u);
    // A naive ticks * 1000000 overflows 64 bits past about 5 hours of nanosecond ticks.
    uint64_t thirty_days = 30ull * 86400 * 1000000000ull + 999;
    EXPECT_EQ(os_ticks_to_microseconds(thirty_days), 30ull * 86400 * 1000000ull);
    EXPECT_EQ(os_ticks_to_microseconds(UINT64_MAX), UINT64_MAX / 1000);
    EXPECT_EQ(os_ticks_to_microseconds(1999), 1u);
}

TEST(Clock, CounterMovesForward) {
    uint64_t first = os_now_ticks();
    os_sleep_milliseconds(1);
    EXPECT_GT(os_now_ticks(), first);
    EXPECT_EQ(os_now_milliseconds() / 1000, os_now_microseconds() / 1000000);
}

TEST(Calendar, WeekdayRunsFromMondayToSunday) {
    // 1970-01-01 was a Thursday.
    EXPECT_EQ(os_date_time_from_unix(0, 0, 0).weekday, 4);
    EXPECT_EQ(os_date_time_from_unix(3 * 86400, 0, 0).weekday, 7);  // Sunday
    EXPECT_EQ(os_date_time_from_unix(4 * 86400, 0, 0).weekday, 1);  // Monday
    os_date_time leap = os_date_time_from_unix(951782400 + 3723, 987654321, 0);  // 2000-02-29 01:02:03.987
    EXPECT_EQ(leap.year, 2000);
    EXPECT_EQ(leap.month, 2);
    EXPECT_EQ(leap.day, 29);
    EXPECT_EQ(leap.weekday, 2);
    EXPECT_EQ(leap.hour, 1);
    EXPECT_EQ(leap.minute, 2);
    EXPECT_EQ(leap.second, 3);
    EXPECT_EQ(leap.microsecond, 987000u);
}

TEST(Calendar, CurrentTimeIsPlausibleInBothZones) {
    os_date_time utc_out = {};
    os_date_time utc = os_utc_time(&utc_out);
    os_date_time local = os_local_time(nullptr);
    EXPECT_EQ(utc.year, utc_out.year);
    EXPECT_EQ(utc.microsecond, utc_out.microsecond);
    for (const os_date_time& when : {utc, local}) {
        EXPECT_GE(when.year, 2024);
        EXPECT_GE(when.weekday, 1);
        EXPECT_LE(when.weekday, 7);
        EXPECT_EQ(when.microsecond % 1000, 0u);
        EXPECT_LT(when.microsecond, 1000000u);
    }
}

// Each case sets up a pipe (written to, emptied, closed on either side) and
// waits on its read end.
TEST(Waiting, DescriptorWaitTellsReadyTimeoutAndFailure) {
    enum setup { empty_pipe, pipe_with_data, writer_closed, writer_closed_after_data, not_open };
    const struct {
        setup how;
        int64_t timeout;
        os_wait_result expected;
    } cases[] = {
        {empty_pipe, 0, os_wait_timed_out},
        {empty_pipe, 30, os_wait_timed_out},
        {pipe_with_data, 0, os_wait_ready},
        {pipe_with_data, -1, os_wait_ready},
        {writer_closed, -1, os_wait_failed},
        {writer_closed_after_data, -1, os_wait_ready},
        {not_open, 10, os_wait_failed},
    };
    for (const auto& c : cases) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        if (c.how == pipe_with_data || c.how == writer_closed_after_data) {
            ASSERT_EQ(write(fds[1], "x", 1), 1);
        }
        if (c.how == writer_closed || c.how == writer_closed_after_data) close(fds[1]);
        int reader = fds[0];
        if (c.how == not_open) {
            close(fds[0]);
            reader = 1000000;
        }
        uint64_t start = os_now_milliseconds();
        EXPECT_EQ((int)os_wait_for_descriptor(reader, c.timeout), (int)c.expected) << "case " << (int)c.how;
        if (c.expected == os_wait_timed_out) {
            EXPECT_GE(os_now_milliseconds() - start, (uint64_t)c.timeout);
        }
        if (c.how != not_open) close(fds[0]);
        if (c.how != writer_closed && c.how != writer_closed_after_data) close(fds[1]);
    }
}
