// The records of measuring the selection (Ctrl+I): the digests and counts
// of a measure under way and the figures of the last one. Only records;
// measure_selection.h holds the functions.
#pragma once

#include <nettle/sha1.h>
#include <nettle/sha2.h>
#include <stdint.h>

// The figures of a finished measure.
struct measure_result {
    uint64_t length, left_out;
    uint32_t crc;
    uint8_t sha256[SHA256_DIGEST_SIZE];
    uint8_t sha1[SHA1_DIGEST_SIZE];
    double entropy;
};

// A measure under way (its job holds the file's bytes as they were when it
// began) and the figures of the last one.
struct measure_state {
    uint64_t offset, length;  // the bytes measured, all inside the file
    uint64_t left_out;        // selected bytes past the end of the file
    uint64_t done;
    uint32_t crc;
    sha256_ctx sha256;
    sha1_ctx sha1;
    uint64_t counts[256];
    measure_result result;  // of the last measure that finished
};
