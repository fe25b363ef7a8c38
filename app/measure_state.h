// The records of measuring the selection (Ctrl+I): the workers of a measure
// under way and the figures of the last one. Only records;
// measure_selection.h holds the functions.
#pragma once

#include <nettle/sha1.h>
#include <nettle/sha2.h>
#include <stdint.h>

struct os_thread;

// The figures a worker works out; each takes its own over all the bytes.
enum : uint8_t {
    measure_part_crc = 1,
    measure_part_sha256 = 2,
    measure_part_sha1 = 4,
    measure_part_counts = 8,
    measure_parts_all = 15,
};

// One worker per figure at most.
enum : uint32_t { measure_worker_limit = 4 };

// The figures of a finished measure.
struct measure_result {
    uint64_t length, left_out;
    uint32_t crc;
    uint8_t sha256[SHA256_DIGEST_SIZE];
    uint8_t sha1[SHA1_DIGEST_SIZE];
    double entropy;
};

// One worker's share of a measure, handed to its thread whole: the thread
// reads the bytes itself and touches nothing outside this record. done,
// stop, finished and failed are read and written atomically.
struct measure_worker {
    uint8_t parts;          // measure_part_*
    int32_t descriptor;     // read with positioned reads; -1: `bytes` holds the file
    const uint8_t* bytes;   // the file read whole
    uint64_t offset, length;
    uint8_t* buffer;        // for positioned reads
    uint64_t done;          // bytes taken in
    uint8_t stop;           // set by the window's thread: end soon
    uint8_t finished;       // set by the worker as its last act
    uint8_t failed;         // fewer bytes than asked: the file shrank under it
    os_thread* thread;      // null: the frame loop does this share itself
    uint32_t crc;
    sha256_ctx sha256;
    sha1_ctx sha1;
    uint64_t counts[256];
};

// A measure under way and the figures of the last one.
struct measure_state {
    uint64_t offset, length;  // the bytes measured, all inside the file
    uint64_t left_out;        // selected bytes past the end of the file
    uint32_t worker_count;
    measure_worker* workers[measure_worker_limit];
    measure_result result;  // of the last measure that finished
};
