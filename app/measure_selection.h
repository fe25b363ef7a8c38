// Measuring the selection (Ctrl+I): its length, CRC-32, SHA-256 and entropy
// shown, SHA-1 as well in the copied line, worked out a slice per frame as
// Find is, so that a selection of gigabytes leaves the window answering.
// (MD5 on top would make a large measure take nearly twice as long as
// sha256sum does for the same bytes.)
#pragma once

#include <stdint.h>

#include "app/measure_state.h"
#include "app/sliced_jobs_state.h"

// Starts over for `length` bytes from `offset`, then takes them in as many
// pieces as the caller likes, in order; finish gives the figures.
void measure_begin(measure_state* measure, uint64_t offset, uint64_t length);
void measure_take(measure_state* measure, const uint8_t* bytes, uint64_t count);
measure_result measure_finish(measure_state* measure);
// "4096 bytes | CRC-32 8A9136AA | SHA-256 9f86d0...0a08 | entropy 7.95", or
// when `whole` the SHA-256 written out whole and the SHA-1 after it.
// Returns the length written (the line is cut to fit `capacity`, NUL included).
uint32_t write_measure_line(const measure_result* result, bool whole, char* out, uint32_t capacity);

// Ctrl+I: measures the selection's bytes inside the file as the job
// sliced_job_measure, which measure_step advances a slice at a time; an
// empty selection or one past the end says so in the answer line instead.
void measure_start(void);
bool measure_step(sliced_job* job);
// Ctrl+C right after a measure: its line, digests whole, onto the clipboard;
// returns the answer line to show.
const char* copy_measure_line(void);
