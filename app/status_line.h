// The answer line: what Go to, Find, copying and measuring say, shown in
// place of the path line until the next key or click.
#pragma once

#include <stdint.h>

#include "app/status_line_state.h"

// Replaces the answer shown (cut to status_message_capacity bytes).
void status_set(const char* text);
// `before`, the number in decimal, then `after`.
void status_set_number(const char* before, int64_t number, const char* after);
// A measure's line: Ctrl+C copies the measure until another answer, key or
// click comes.
void status_set_measure_line(const char* text);
bool status_measure_copyable(void);
// A key or click ends the answer. A key forgets the measure only after its
// command ran, so that Ctrl+C right after a measure still copies it.
void status_clear(void);
void status_forget_measure(void);
