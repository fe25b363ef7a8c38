// The records of the work the frame loop runs in slices (Find, the measure,
// the overview, the match count, the contents' digests). Only records;
// sliced_jobs.h holds the functions.
#pragma once

#include <stdint.h>

// In the order they take their share of a frame; the first running one that
// shows a progress line is the one shown.
enum sliced_job_id : uint8_t {
    sliced_job_find = 0,
    sliced_job_measure = 1,
    sliced_job_overview = 2,
    sliced_job_matches = 3,  // counting the matches of the last search
    sliced_job_digests = 4,  // the contents' block digests, for what a reload changes
    sliced_job_count = 5,
};

// One started job over the file as it was when it began.
struct sliced_job {
    uint8_t running;
    const uint8_t* data;  // the file's bytes at the start; a reload ends the job
    uint64_t size;
    uint64_t done, total;  // the step's own units, for the percent shown
};

struct sliced_jobs_state {
    sliced_job of[sliced_job_count];
};
