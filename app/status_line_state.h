// The record of the answer line that stands in for the path line: what a
// command said last. Only records; status_line.h holds the functions.
#pragma once

#include <stdint.h>

enum : int32_t { status_message_capacity = 200 };

struct status_line_state {
    uint32_t message_length;
    char message[status_message_capacity];
    // The answer was a measure's line and no key or click came since:
    // Ctrl+C copies the measure instead of the bytes.
    uint8_t measure_copyable;
};
