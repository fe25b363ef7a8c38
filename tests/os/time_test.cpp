#include <stdint.h>

#include <gtest/gtest.h>

#include "os/os.h"
#include "os/os_private.h"

TEST(clock, tick_conversion_is_exact_for_large_counters) {
    os_init();
    uint64_t one_second = os_ticks_to_microseconds(1000000000ull);
    EXPECT_EQ(one_second, 1000000u);
    // A naive ticks * 1000000 overflows 64 bits past about 5 hours of nanosecond ticks.
    uint64_t thirty_days = 30ull * 86400 * 1000000000ull + 999;
    EXPECT_EQ(os_ticks_to_microseconds(thirty_days), 30ull * 86400 * 1000000ull);
    EXPECT_EQ(os_ticks_to_microseconds(UINT64_MAX), UINT64_MAX / 1000);
    EXPECT_EQ(os_ticks_to_microseconds(1999), 1u);
}

TEST(clock, counter_moves_forward) {
    uint64_t first = os_now_ticks();
    os_sleep_milliseconds(1);
    EXPECT_GT(os_now_ticks(), first);
    EXPECT_EQ(os_now_milliseconds() / 1000, os_now_microseconds() / 1000000);
}

TEST(calendar, weekday_runs_from_monday_to_sunday) {
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

TEST(calendar, current_time_is_plausible_in_both_zones) {
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
