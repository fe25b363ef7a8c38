// Measuring the selection (Ctrl+I): its length, CRC-32, SHA-256 and entropy
// shown, SHA-1 as well in the copied line. Worker threads read the bytes and
// work the figures out, shared among the processor's cores, while the frame
// loop only shows their progress; a selection of gigabytes leaves the window
// answering. (MD5 on top would make a large measure take nearly twice as long
// as sha256sum does for the same bytes.)
#pragma once

#include <stdint.h>

#include "app/measure_state.h"
#include "app/sliced_jobs_state.h"

// "4096 bytes | CRC-32 8A9136AA | SHA-256 9f86d0...0a08 | entropy 7.95", or
// when `whole` the SHA-256 written out whole and the SHA-1 after it.
// Returns the length written (the line is cut to fit `capacity`, NUL included).
uint32_t write_measure_line(const measure_result* result, bool whole, char* out, uint32_t capacity);

// Ctrl+I: measures the selection's bytes inside the file as the job
// sliced_job_measure, with one worker per processor core up to one per
// figure; an empty selection or one past the end says so in the answer line
// instead.
void measure_start(void);
// The same with the figures shared among workers as for that many cores.
void measure_start_on(uint32_t cores);
// The job's step: the workers' progress, and once all are done the figures.
bool measure_step(sliced_job* job);
// Stops the workers and waits for them, a few milliseconds at most.
void measure_end_workers(sliced_job* job);
// Ctrl+C right after a measure: its line, digests whole, onto the clipboard;
// returns the answer line to show.
const char* copy_measure_line(void);
