// What kind of bytes fill a range of the file: counting byte values, the
// Shannon entropy of the counts, and the five kinds the overview shows.
#pragma once

#include <stdint.h>

enum byte_kind : uint8_t {
    byte_kind_pending = 0,  // not looked at yet
    byte_kind_zero = 1,
    byte_kind_ff = 2,
    byte_kind_text = 3,
    byte_kind_random = 4,  // compressed or encrypted
    byte_kind_binary = 5,
    byte_kind_count = 6,
};

struct byte_counts {
    uint64_t total;
    uint64_t of[256];
};

struct byte_summary {
    uint8_t kind;  // byte_kind
    float entropy;  // bits per byte
};

// Adds the bytes to the counts.
void count_bytes(const uint8_t* bytes, uint64_t length, byte_counts* counts);
// Bits per byte, 0 to 8; 0 for no bytes.
double entropy_of_counts(const byte_counts* counts);
byte_summary summarise_counts(const byte_counts* counts);
// The kind's name as the answer line shows it: "all zero", "high entropy".
const char* byte_kind_name(uint8_t kind);

// The overview splits the file evenly into `rows` parts, one per pixel row;
// part `row` is [*start, *end), never empty while the file is not.
void overview_row_range(uint64_t size, int32_t rows, int32_t row, uint64_t* start, uint64_t* end);

enum : uint64_t {
    // A pass over the whole file reads at most this much of it, whatever the
    // file's size and the track's height.
    overview_pass_bytes = 16ull << 20,
};

// How a row [start, end) is judged within `budget` bytes: read whole when it
// fits, else from `pieces` evenly spaced pieces of `piece_bytes`, each of
// whole pages where the budget allows.
struct row_samples {
    uint32_t pieces;
    uint64_t piece_bytes;
};
row_samples plan_row_samples(uint64_t start, uint64_t end, uint64_t budget);
// Where piece `i` of the plan begins.
uint64_t row_sample_start(uint64_t start, uint64_t end, row_samples plan, uint32_t i);
