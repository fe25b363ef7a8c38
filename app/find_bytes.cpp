// Find: reading the pattern typed in the prompt, the byte scan over the
// loaded file where it lies, and the search that the frame loop advances in
// slices so that the window never stops answering.
//
//   parse_find_text          hex bytes with ?? and "quoted text"
//   find_pattern_scan        the scan over one range of starts, by any path
//   find_start, find_step    the sliced search with its wrap
#include <string.h>

#include "app/app.h"
#include "app/app_state.h"
#include "app/find_matches.h"
#include "app/prompt_line.h"
#include "app/sliced_jobs.h"
#include "app/status_line.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

// ---------------------------------------------------------------------------
// Parsing

static int hex_digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

static bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Hex tokens and quoted texts may follow one another ("IHDR" ?? 00); a hex
// token is read in pairs, so an odd one is refused rather than guessed at.
find_parse_result parse_find_text(const char* text, uint64_t length, find_pattern* pattern) {
    *pattern = find_pattern{};
    uint64_t at = 0;
    while (at < length) {
        if (is_blank(text[at])) {
            at++;
            continue;
        }
        if (text[at] == '"') {
            uint64_t close = at + 1;
            while (close < length && text[close] != '"') close++;
            if (close >= length) return find_parse_open_quote;
            for (uint64_t i = at + 1; i < close; i++) {
                if (pattern->length >= find_pattern_capacity) return find_parse_too_long;
                pattern->bytes[pattern->length++] = (uint8_t)text[i];
            }
            at = close + 1;
            continue;
        }
        uint64_t end = at;
        while (end < length && !is_blank(text[end]) && text[end] != '"') end++;
        if ((end - at) % 2 != 0) return find_parse_odd_digits;
        for (uint64_t i = at; i < end; i += 2) {
            if (pattern->length >= find_pattern_capacity) return find_parse_too_long;
            int32_t n = pattern->length;
            if (text[i] == '?' && text[i + 1] == '?') {
                pattern->any[n] = 1;
            } else {
                int high = hex_digit_value(text[i]);
                int low = hex_digit_value(text[i + 1]);
                if (high < 0 || low < 0) return find_parse_not_hex;
                pattern->bytes[n] = (uint8_t)(high * 16 + low);
            }
            pattern->length = n + 1;
        }
        at = end;
    }
    return pattern->length > 0 ? find_parse_ok : find_parse_empty;
}

// ---------------------------------------------------------------------------
// Scanning

// Two fixed bytes of the pattern are tested at every start at once; only the
// starts where both agree are compared in full. The second is chosen to
// differ from the first where it can, so that runs of one byte value pass
// the filter less often.
struct scan_plan {
    int32_t first, second;  // -1 when the pattern is all wildcards
    uint8_t first_byte, second_byte;
    bool has_wildcards;
};

static scan_plan plan_scan(const find_pattern* pattern) {
    scan_plan plan = {-1, -1, 0, 0, false};
    for (int32_t i = 0; i < pattern->length; i++) {
        if (pattern->any[i]) {
            plan.has_wildcards = true;
            continue;
        }
        if (plan.first < 0) plan.first = i;
        plan.second = i;
    }
    if (plan.first >= 0 && pattern->bytes[plan.first] == pattern->bytes[plan.second]) {
        for (int32_t i = plan.second; i > plan.first; i--) {
            if (!pattern->any[i] && pattern->bytes[i] != pattern->bytes[plan.first]) {
                plan.second = i;
                break;
            }
        }
    }
    if (plan.first >= 0) {
        plan.first_byte = pattern->bytes[plan.first];
        plan.second_byte = pattern->bytes[plan.second];
    }
    return plan;
}

static bool matches_at(const uint8_t* at, const find_pattern* pattern, bool has_wildcards) {
    if (!has_wildcards) return memcmp(at, pattern->bytes, (size_t)pattern->length) == 0;
    for (int32_t i = 0; i < pattern->length; i++)
        if (!pattern->any[i] && at[i] != pattern->bytes[i]) return false;
    return true;
}

static bool range_is_valid(uint64_t size, const find_pattern* pattern, uint64_t low, uint64_t high) {
    if (pattern->length <= 0 || (uint64_t)pattern->length > size) return false;
    uint64_t last_start = size - (uint64_t)pattern->length;
    return low < high && high - 1 <= last_start;
}

// A block test gives the mask of the scan_block starts from pos where both
// chosen bytes agree, bit i for pos + i.
enum : uint64_t { scan_block = 32 };
typedef uint32_t block_test(const uint8_t* data, uint64_t pos, const scan_plan* plan);

static uint32_t candidates_plain(const uint8_t* data, uint64_t pos, const scan_plan* plan) {
    const uint8_t* a = data + pos + plan->first;
    const uint8_t* b = data + pos + plan->second;
    uint32_t mask = 0;
    for (uint32_t i = 0; i < scan_block; i++)
        mask |= (uint32_t)(a[i] == plan->first_byte && b[i] == plan->second_byte) << i;
    return mask;
}

#if defined(__x86_64__)
static inline uint32_t candidates_sse2(const uint8_t* data, uint64_t pos, const scan_plan* plan) {
    const uint8_t* a = data + pos + plan->first;
    const uint8_t* b = data + pos + plan->second;
    __m128i first = _mm_set1_epi8((char)plan->first_byte), second = _mm_set1_epi8((char)plan->second_byte);
    __m128i lo = _mm_and_si128(_mm_cmpeq_epi8(_mm_loadu_si128((const __m128i*)a), first),
                               _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i*)b), second));
    __m128i hi = _mm_and_si128(_mm_cmpeq_epi8(_mm_loadu_si128((const __m128i*)(a + 16)), first),
                               _mm_cmpeq_epi8(_mm_loadu_si128((const __m128i*)(b + 16)), second));
    return (uint32_t)_mm_movemask_epi8(lo) | ((uint32_t)_mm_movemask_epi8(hi) << 16);
}

__attribute__((target("avx2"))) static inline uint32_t candidates_avx2(const uint8_t* data, uint64_t pos,
                                                                       const scan_plan* plan) {
    __m256i a = _mm256_loadu_si256((const __m256i*)(data + pos + plan->first));
    __m256i b = _mm256_loadu_si256((const __m256i*)(data + pos + plan->second));
    __m256i both = _mm256_and_si256(_mm256_cmpeq_epi8(a, _mm256_set1_epi8((char)plan->first_byte)),
                                    _mm256_cmpeq_epi8(b, _mm256_set1_epi8((char)plan->second_byte)));
    return (uint32_t)_mm256_movemask_epi8(both);
}
#endif

// What a forward scan does at a match: stop there (Find), or note it and
// go on (the count of matches).
struct stop_at_first {
    bool operator()(uint64_t) const { return true; }
};
struct visit_by_call {
    find_match_visitor* call;
    void* context;
    bool operator()(uint64_t at) const { return call(context, at); }
};

// The one scan: whole blocks through the block test, each candidate compared
// in full, then the starts short of a block one by one. Forward takes two
// blocks a step, as one test's latency hides behind the other's.
template <block_test test, typename on_match>
__attribute__((always_inline)) static inline int64_t scan_forward(const uint8_t* data, const find_pattern* pattern,
                                                                  const scan_plan* plan, uint64_t low,
                                                                  uint64_t high, on_match stop) {
    bool wild = plan->has_wildcards;
    uint64_t pos = low;
    for (; high - pos >= 2 * scan_block; pos += 2 * scan_block) {
        uint64_t mask = (uint64_t)test(data, pos, plan) | ((uint64_t)test(data, pos + scan_block, plan) << 32);
        for (; mask; mask &= mask - 1) {
            uint64_t at = pos + (uint64_t)__builtin_ctzll(mask);
            if (matches_at(data + at, pattern, wild) && stop(at)) return (int64_t)at;
        }
    }
    for (uint64_t at = pos; at < high; at++)
        if (matches_at(data + at, pattern, wild) && stop(at)) return (int64_t)at;
    return -1;
}

template <block_test test>
__attribute__((always_inline)) static inline int64_t scan_backward(const uint8_t* data, const find_pattern* pattern,
                                                                   const scan_plan* plan, uint64_t low,
                                                                   uint64_t high) {
    bool wild = plan->has_wildcards;
    uint64_t end = high;
    for (; end - low >= scan_block; end -= scan_block) {
        uint64_t pos = end - scan_block;
        for (uint32_t mask = test(data, pos, plan); mask;) {
            uint32_t bit = 31 - (uint32_t)__builtin_clz(mask);
            if (matches_at(data + pos + bit, pattern, wild)) return (int64_t)(pos + bit);
            mask &= ~(1u << bit);
        }
    }
    for (uint64_t at = end; at > low; at--)
        if (matches_at(data + at - 1, pattern, wild)) return (int64_t)(at - 1);
    return -1;
}

// A null `visit` is Find's scan, forward or back; otherwise every match
// forward goes to it.
template <block_test test>
__attribute__((always_inline)) static inline int64_t scan(const uint8_t* data, const find_pattern* pattern,
                                                          const scan_plan* plan, uint64_t low, uint64_t high,
                                                          bool backward, const visit_by_call* visit) {
    if (visit) return scan_forward<test>(data, pattern, plan, low, high, *visit);
    if (backward) return scan_backward<test>(data, pattern, plan, low, high);
    return scan_forward<test>(data, pattern, plan, low, high, stop_at_first{});
}

static int64_t scan_plain(const uint8_t* data, const find_pattern* pattern, const scan_plan* plan, uint64_t low,
                          uint64_t high, bool backward, const visit_by_call* visit) {
    return scan<candidates_plain>(data, pattern, plan, low, high, backward, visit);
}

#if defined(__x86_64__)
static int64_t scan_sse2(const uint8_t* data, const find_pattern* pattern, const scan_plan* plan, uint64_t low,
                         uint64_t high, bool backward, const visit_by_call* visit) {
    return scan<candidates_sse2>(data, pattern, plan, low, high, backward, visit);
}

__attribute__((target("avx2"))) static int64_t scan_avx2(const uint8_t* data, const find_pattern* pattern,
                                                         const scan_plan* plan, uint64_t low, uint64_t high,
                                                         bool backward, const visit_by_call* visit) {
    return scan<candidates_avx2>(data, pattern, plan, low, high, backward, visit);
}
#endif

bool find_scan_path_available(find_scan_path path) {
#if defined(__x86_64__)
    static int avx2 = -1;  // asked once; the answer never changes
    if (avx2 < 0) avx2 = __builtin_cpu_supports("avx2") ? 1 : 0;
    return path != find_scan_avx2 || avx2 == 1;
#else
    return path == find_scan_best || path == find_scan_plain;
#endif
}

static int64_t scan_by_path(const uint8_t* data, uint64_t size, const find_pattern* pattern, uint64_t low,
                            uint64_t high, bool backward, find_scan_path path, const visit_by_call* visit) {
    if (!data || !range_is_valid(size, pattern, low, high)) return -1;
    scan_plan plan = plan_scan(pattern);
    if (plan.first < 0) {
        // All wildcards: every start matches.
        if (!visit) return backward ? (int64_t)(high - 1) : (int64_t)low;
        for (uint64_t at = low; at < high; at++)
            if ((*visit)(at)) return (int64_t)at;
        return -1;
    }
    if (path == find_scan_best) path = find_scan_path_available(find_scan_avx2) ? find_scan_avx2 : find_scan_sse2;
    if (!find_scan_path_available(path)) path = find_scan_plain;
#if defined(__x86_64__)
    if (path == find_scan_avx2) return scan_avx2(data, pattern, &plan, low, high, backward, visit);
    if (path == find_scan_sse2) return scan_sse2(data, pattern, &plan, low, high, backward, visit);
#endif
    return scan_plain(data, pattern, &plan, low, high, backward, visit);
}

int64_t find_pattern_scan(const uint8_t* data, uint64_t size, const find_pattern* pattern, uint64_t low,
                          uint64_t high, bool backward, find_scan_path path) {
    return scan_by_path(data, size, pattern, low, high, backward, path, nullptr);
}

int64_t find_pattern_visit(const uint8_t* data, uint64_t size, const find_pattern* pattern, uint64_t low,
                           uint64_t high, find_scan_path path, find_match_visitor* visit, void* context) {
    visit_by_call call = {visit, context};
    return scan_by_path(data, size, pattern, low, high, false, path, &call);
}

int64_t find_pattern_forward(const uint8_t* data, uint64_t size, const find_pattern* pattern, uint64_t low,
                             uint64_t high) {
    return find_pattern_scan(data, size, pattern, low, high, false, find_scan_best);
}

int64_t find_pattern_backward(const uint8_t* data, uint64_t size, const find_pattern* pattern, uint64_t low,
                              uint64_t high) {
    return find_pattern_scan(data, size, pattern, low, high, true, find_scan_best);
}

// ---------------------------------------------------------------------------
// The sliced search

// Starts scanned between two looks at the clock: a few milliseconds.
enum : uint64_t { find_slice_starts = 8ull << 20 };

// Pass 0 runs from just after the selection start to the end (from just
// before it to the start, going back); pass 1 is the wrapped rest, which
// ends with the selection start itself.
static void set_pass_range(find_search* search, uint64_t size) {
    uint64_t starts = size - (uint64_t)search->pattern.length + 1;
    uint64_t split = search->backward ? search->start : search->start + 1;
    if (split > starts) split = starts;
    bool before_split = search->backward ? search->pass == 0 : search->pass == 1;
    search->low = before_split ? 0 : split;
    search->high = before_split ? split : starts;
}

void find_start(const find_pattern* pattern, bool backward) {
    find_search* search = &app_state.prompt.search;
    sliced_job_cancel(sliced_job_find);
    find_matches_forget_unless(pattern);
    *search = find_search{};
    app_state.prompt.last_pattern = *pattern;
    app_state.prompt.has_last_pattern = 1;
    if (!app_state.file.data || app_state.file.size == 0) {
        status_set("The file is empty.");
        return;
    }
    if ((uint64_t)pattern->length > app_state.file.size) {
        status_set("No match: the file is shorter than the pattern.");
        return;
    }
    uint64_t size = app_state.file.size;
    search->pattern = *pattern;
    search->backward = backward ? 1 : 0;
    int64_t start = app_state.select_offset;
    if (start < 0) start = 0;
    if ((uint64_t)start >= size) start = (int64_t)size - 1;
    search->start = (uint64_t)start;
    set_pass_range(search, size);
    sliced_job_start(sliced_job_find, size - (uint64_t)pattern->length + 1);
}

static void finish_with_match(const find_search* search, int64_t at) {
    select_and_reveal(at, search->pattern.length);
    uint8_t wrapped = search->pass == 0 ? 0 : search->backward ? 2 : 1;
    find_matches_show(&search->pattern, at, wrapped);
}

bool find_step(sliced_job* job) {
    find_search* search = &app_state.prompt.search;
    if (search->low >= search->high) {
        if (search->pass == 1) {
            status_set("No match in the file.");
            return false;
        }
        search->pass = 1;
        set_pass_range(search, job->size);
        return true;
    }
    uint64_t count = search->high - search->low;
    if (count > find_slice_starts) count = find_slice_starts;
    int64_t at = -1;
    if (search->backward) {
        at = find_pattern_backward(job->data, job->size, &search->pattern, search->high - count, search->high);
        search->high -= count;
    } else {
        at = find_pattern_forward(job->data, job->size, &search->pattern, search->low, search->low + count);
        search->low += count;
    }
    job->done += count;
    if (at < 0) return true;
    finish_with_match(search, at);
    return false;
}
