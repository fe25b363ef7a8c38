// The one-line prompt that stands in for the path line of the status bar:
// Go to (Ctrl+G) and Find (Ctrl+F, F3, Shift+F3), with the answer line
// (status_line.h) or a job's progress after the typed text.
#pragma once

#include <stdint.h>

#include "app/prompt_state.h"
#include "app/sliced_jobs_state.h"
#include "render/draw_list.h"
#include "render/text_buffer.h"

// Results of reading the prompt's text.
enum go_to_parse_result : uint8_t {
    go_to_absolute = 0,
    go_to_relative = 1,
    go_to_not_a_number = 2,
};

struct go_to_target {
    uint8_t result;     // go_to_parse_result
    uint8_t negative;   // relative and going back
    uint8_t too_large;  // the digits do not fit in 64 bits; value is then UINT64_MAX
    uint64_t value;
};

go_to_target parse_go_to_text(const char* text, uint64_t length);

enum find_parse_result : uint8_t {
    find_parse_ok = 0,
    find_parse_empty = 1,
    find_parse_odd_digits = 2,     // a hex token with an odd number of characters
    find_parse_not_hex = 3,        // a character that is neither a hex digit nor ?
    find_parse_open_quote = 4,     // text in quotes with no closing quote
    find_parse_too_long = 5,
    find_parse_not_number = 6,     // the text does not start with a number type's name
    find_parse_unknown_type = 7,
    find_parse_bad_number = 8,     // missing, malformed, or more than one
    find_parse_out_of_range = 9,
};

find_parse_result parse_find_text(const char* text, uint64_t length, find_pattern* pattern);
// A number in the given byte order: "u32 1234", "i16 -2", "u64 0xDEADBEEF",
// "f64 1.5" (a float's own bits). A first word that reads as hex bytes
// ("f8 12") is no type name. When the number is refused, `message` (if not
// null) gets the line that says why.
find_parse_result parse_find_number(const char* text, uint64_t length, bool big_endian, find_pattern* pattern,
                                    text_buffer* message);

// The first start in [low, high) where the pattern matches, scanning up, or
// the last one scanning down; -1 when there is none. Every start must leave
// room for the whole pattern inside size bytes.
// The ways a scan can test a block of starts; the best one the processor has
// is what the search uses, and tests run every one.
enum find_scan_path : uint8_t {
    find_scan_best = 0,
    find_scan_avx2 = 1,
    find_scan_sse2 = 2,
    find_scan_plain = 3,
};
bool find_scan_path_available(find_scan_path path);
// Forward or backward by the given path (the plain one where it is missing).
int64_t find_pattern_scan(const uint8_t* data, uint64_t size, const find_pattern* pattern, uint64_t low,
                          uint64_t high, bool backward, find_scan_path path);
// Every start in [low, high) where the pattern matches goes to `visit`, in
// order, until it returns true: that start is returned, or -1 once the range
// ran out. Matches overlap: each start is tried on its own.
typedef bool find_match_visitor(void* context, uint64_t at);
int64_t find_pattern_visit(const uint8_t* data, uint64_t size, const find_pattern* pattern, uint64_t low,
                           uint64_t high, find_scan_path path, find_match_visitor* visit, void* context);
int64_t find_pattern_forward(const uint8_t* data, uint64_t size, const find_pattern* pattern, uint64_t low,
                             uint64_t high);
int64_t find_pattern_backward(const uint8_t* data, uint64_t size, const find_pattern* pattern, uint64_t low,
                              uint64_t high);

// The prompt's commands, bound to keys in the key table.
void prompt_open_go_to(void);
void prompt_open_find(void);
// Ctrl+Shift+C: the formats of copy as code, one letter each.
void prompt_open_copy_as(void);
void prompt_close(void);
void prompt_delete_character(void);
// F3: the next match of the prompt's text, or of the last search; opens
// Find when there is neither.
void prompt_find_again(bool backward);
void prompt_enter(bool backward);
// A typed character (a UTF-16 code unit) goes to the open prompt's text.
void prompt_on_char(uint32_t code);

// True while the prompt, a job's progress or an answer takes the place of the path line.
bool prompt_line_shown(void);
// True while the prompt is open or a job shows its progress: the line is
// taken by more than an answer.
bool prompt_line_busy(void);
// The prompt line's text, built afresh.
void build_prompt_line(text_buffer* text);
// Draws it at (x, y), cut to fit left of the structure view, in `text`.
void draw_prompt_line(draw_list* list, text_buffer* text, int32_t x, int32_t y);

// Go to: moves the selection to the offset in the prompt's text; false,
// with a message, when the text is not a number.
bool go_to_from_text(const char* text, uint64_t length);
// Selects `length` bytes from `bytes` past `base` (a byte inside the file),
// or the last byte, with a message, when that lies past the end.
void select_forward(int64_t base, uint64_t bytes, int64_t length);
// Selects [offset, offset + length) and scrolls so that its rows are seen.
void select_and_reveal(int64_t offset, int64_t length);

// Starts a search from the selection start as the job sliced_job_find,
// which find_step advances a slice at a time.
void find_start(const find_pattern* pattern, bool backward);
bool find_step(sliced_job* job);
