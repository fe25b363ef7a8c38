// Clock and calendar helpers shared inside the platform layer.
#pragma once

#include <stdint.h>

#include "os/os.h"

void os_cache_clock_frequency(void);

// Seconds and nanoseconds since 1970-01-01 UTC; local picks the local zone.
os_date_time os_date_time_from_unix(int64_t seconds, int64_t nanoseconds, uint8_t local);
