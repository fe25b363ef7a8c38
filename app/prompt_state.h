// The records of the prompt line that stands in for the path line: Go to,
// Find and the messages they leave. Only records; prompt_line.h holds the
// functions.
#pragma once

#include <stdint.h>

enum prompt_kind : uint8_t {
    prompt_closed = 0,
    prompt_go_to = 1,
    prompt_find = 2,
    prompt_copy_as = 3,  // one letter picks the format
};

enum : int32_t {
    prompt_text_capacity = 256,
    prompt_message_capacity = 200,
    find_pattern_capacity = 256,
};

// Bytes to look for; `any` marks the positions that match every byte (??).
struct find_pattern {
    int32_t length;
    uint8_t bytes[find_pattern_capacity];
    uint8_t any[find_pattern_capacity];
};

// A search in progress over the file as it was when the search began. The
// candidate start positions of the current pass are [low, high); a forward
// pass consumes them from low upwards, a backward one from high downwards.
struct find_search {
    uint8_t running;
    uint8_t backward;
    uint8_t pass;  // 0 from the selection to the end (start), 1 the wrapped rest
    find_pattern pattern;
    const uint8_t* data;
    uint64_t size;
    uint64_t start;  // the selection start the search began from
    uint64_t low, high;
    uint64_t scanned, total;  // candidate positions, for the progress shown
};

struct prompt_state {
    uint8_t kind;
    uint32_t text_length;
    char text[prompt_text_capacity];  // UTF-8 as typed
    // Set when Ctrl+G or Ctrl+F reopens the prompt over its old text: the text
    // shows selected and the next character typed replaces it.
    uint8_t text_selected;
    uint16_t high_surrogate;          // the first half of a typed pair, 0 for none
    uint32_t message_length;
    char message[prompt_message_capacity];
    uint8_t has_last_pattern;  // F3 outside the prompt repeats the last search
    find_pattern last_pattern;
    find_search search;
};
