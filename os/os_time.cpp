#include <errno.h>
#include <sched.h>
#include <time.h>

#include "os/os.h"
#include "os/os_time_private.h"

enum : uint64_t { nanoseconds_per_second = 1000000000ull };

// Set by os_init; filled on first use as well, so a conversion never divides by zero.
static uint64_t clock_frequency;

void os_cache_clock_frequency(void) {
    // The monotonic clock counts nanoseconds whatever its resolution.
    clock_frequency = nanoseconds_per_second;
}

uint64_t os_now_ticks(void) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (uint64_t)now.tv_sec * nanoseconds_per_second + (uint64_t)now.tv_nsec;
}

uint64_t os_ticks_to_microseconds(uint64_t ticks) {
    if (clock_frequency == 0) os_cache_clock_frequency();
    unsigned __int128 product = (unsigned __int128)ticks * 1000000u;
    return (uint64_t)(product / clock_frequency);
}

uint64_t os_now_microseconds(void) { return os_ticks_to_microseconds(os_now_ticks()); }

uint64_t os_now_milliseconds(void) { return os_now_microseconds() / 1000; }

static void sleep_nanoseconds(uint64_t nanoseconds) {
    if (nanoseconds == 0) {
        sched_yield();
        return;
    }
    timespec wanted = {(time_t)(nanoseconds / nanoseconds_per_second),
                       (long)(nanoseconds % nanoseconds_per_second)};
    timespec left;
    while (nanosleep(&wanted, &left) != 0 && errno == EINTR) wanted = left;
}

void os_sleep_microseconds(uint64_t microseconds) {
    // Whole milliseconds, as the frame loop expects.
    sleep_nanoseconds(microseconds / 1000 * 1000000ull);
}

void os_sleep_milliseconds(uint32_t milliseconds) { sleep_nanoseconds((uint64_t)milliseconds * 1000000ull); }

void os_sleep_seconds(uint32_t seconds) { sleep_nanoseconds((uint64_t)seconds * nanoseconds_per_second); }

os_date_time os_date_time_from_unix(int64_t seconds, int64_t nanoseconds, uint8_t local) {
    time_t when = (time_t)seconds;
    tm parts = {};
    if (local) localtime_r(&when, &parts);
    else gmtime_r(&when, &parts);
    os_date_time result = {};
    result.year = (uint16_t)(parts.tm_year + 1900);
    result.month = (uint8_t)(parts.tm_mon + 1);
    result.day = (uint8_t)parts.tm_mday;
    result.weekday = (uint8_t)(parts.tm_wday == 0 ? 7 : parts.tm_wday);
    result.hour = (uint8_t)parts.tm_hour;
    result.minute = (uint8_t)parts.tm_min;
    result.second = (uint8_t)(parts.tm_sec > 59 ? 59 : parts.tm_sec);
    if (nanoseconds < 0) nanoseconds = 0;
    result.microsecond = (uint32_t)(nanoseconds / 1000000 % 1000) * 1000;
    return result;
}

static os_date_time calendar_now(os_date_time* out, uint8_t local) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    os_date_time result = os_date_time_from_unix(now.tv_sec, now.tv_nsec, local);
    if (out) *out = result;
    return result;
}

os_date_time os_utc_time(os_date_time* out) { return calendar_now(out, 0); }

os_date_time os_local_time(os_date_time* out) { return calendar_now(out, 1); }
