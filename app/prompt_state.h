// The records of the prompt line that stands in for the path line: Go to
// and Find. Only records; prompt_line.h holds the functions.
#pragma once

#include <stdint.h>

enum prompt_kind : uint8_t {
    prompt_closed = 0,
    prompt_go_to = 1,
    prompt_find = 2,
    prompt_copy_as = 3,  // one letter picks the format
};

enum : int32_t {
    find_pattern_capacity = 256,
    // Ctrl+F writes a selection of up to find_pattern_capacity bytes as "4D 5A ...".
    prompt_text_capacity = 3 * find_pattern_capacity,
    // Past this many matches the count stops and says "over".
    match_count_cap = 1000000,
    // The file's starts are counted in this many buckets; the position bar's
    // marks and a match's number are read from them.
    match_buckets = 16384,
};

// Bytes to look for; `any` marks the positions that match every byte (??).
struct find_pattern {
    int32_t length;
    uint8_t bytes[find_pattern_capacity];
    uint8_t any[find_pattern_capacity];
};

// A search in progress (its job holds the file's bytes as they were when it
// began). The candidate start positions of the current pass are [low, high);
// a forward pass consumes them from low upwards, a backward one from high
// downwards.
struct find_search {
    uint8_t backward;
    uint8_t pass;  // 0 from the selection to the end (start), 1 the wrapped rest
    find_pattern pattern;
    uint64_t start;  // the selection start the search began from
    uint64_t low, high;
};

// The matches of the last search over the whole file, counted by the job
// sliced_job_matches once its first match is shown. Starts before
// capped_at are counted exactly; past it a bucket only says whether it
// holds a match.
struct find_matches {
    uint8_t active;   // a count began for `pattern` (its job's record says over which bytes)
    uint8_t counted;  // the count has ended
    uint8_t capped;   // over match_count_cap matches
    uint8_t wrapped;  // the answer's words: 0 none, 1 around the end, 2 around the start
    uint8_t shown;    // this frame outlines them: Find is open or its answer is on the line
    find_pattern pattern;
    uint64_t next;       // the next start to count
    uint64_t total;      // matches counted
    uint64_t capped_at;  // the match past the cap
    int64_t at;          // the match on the answer line
    uint64_t number;     // its number from the start of the file; 0 when past the cap
    uint32_t bucket_shift;  // a bucket holds 1 << bucket_shift starts
    uint32_t bucket_matches[match_buckets];
};

struct prompt_state {
    uint8_t kind;
    uint32_t text_length;
    char text[prompt_text_capacity];  // UTF-8 as typed
    // Set when Ctrl+G or Ctrl+F reopens the prompt over its old text: the text
    // shows selected and the next character typed replaces it.
    uint8_t text_selected;
    uint16_t high_surrogate;          // the first half of a typed pair, 0 for none
    uint8_t has_last_pattern;  // F3 outside the prompt repeats the last search
    find_pattern last_pattern;
    find_search search;
    find_matches matches;
};
