// Counting the last search's matches in slices, the answer line that numbers
// the match shown, and whether the views show the matches now.
#include "app/find_matches.h"

#include <string.h>

#include "app/app_state.h"
#include "app/prompt_line.h"
#include "app/sliced_jobs.h"
#include "app/status_line.h"
#include "render/text_buffer.h"

// Starts counted between two looks at the clock; even when every one of
// them matches, a slice stays within a few milliseconds.
enum : uint64_t { count_slice_starts = 1ull << 20 };

static find_matches* matches(void) { return &app_state.prompt.matches; }

static bool same_pattern(const find_pattern* a, const find_pattern* b) {
    if (a->length != b->length) return false;
    for (int32_t i = 0; i < a->length; i++)
        if (a->any[i] != b->any[i] || (!a->any[i] && a->bytes[i] != b->bytes[i])) return false;
    return true;
}

// The count describes the loaded file: its job began over these bytes and
// no other file (or reload) came since.
static bool matches_valid(void) {
    const sliced_job* job = &app_state.jobs.of[sliced_job_matches];
    return matches()->active && job->data && job->data == app_state.file.data && job->size == app_state.file.size;
}

static uint64_t starts_in(const sliced_job* job) {
    return job->size - (uint64_t)matches()->pattern.length + 1;
}

static bool count_one(void* context, uint64_t at) {
    find_matches* m = (find_matches*)context;
    m->bucket_matches[at >> m->bucket_shift]++;
    return ++m->total > match_count_cap;
}

static bool tally(void* context, uint64_t) {
    ++*(uint64_t*)context;
    return false;
}

// Counted matches before the bucket of `at`, then those in it up to `at`;
// 0 when `at` lies past the cap.
static uint64_t number_of(int64_t at) {
    const find_matches* m = matches();
    if (m->capped && (uint64_t)at >= m->capped_at) return 0;
    uint64_t bucket = (uint64_t)at >> m->bucket_shift;
    uint64_t before = 0;
    for (uint64_t b = 0; b < bucket; b++) before += m->bucket_matches[b];
    find_pattern_visit(app_state.file.data, app_state.file.size, &m->pattern, bucket << m->bucket_shift,
                       (uint64_t)at, find_scan_best, tally, &before);
    return before + 1;
}

static void build_answer(text_buffer* text) {
    const find_matches* m = matches();
    static const char* const openings[] = {"Match ", "Wrapped around the end of the file; match ",
                                           "Wrapped around the start of the file; match "};
    text_append_cstring(text, openings[m->wrapped < 3 ? m->wrapped : 0]);
    if (!m->counted) {
        text_append_cstring(text, "at offset ");
        text_append_int(text, m->at);
        text_append_cstring(text, " (counting...)");
        return;
    }
    if (m->number) text_append_uint(text, m->number);
    else text_append_cstring(text, "over 1000000");
    text_append_cstring(text, " of ");
    if (m->capped) text_append_cstring(text, "over 1000000");
    else text_append_uint(text, m->total);
    text_append_cstring(text, " at offset ");
    text_append_int(text, m->at);
    text_append_cstring(text, ".");
}

static void set_answer(void) {
    char storage[status_message_capacity];
    text_buffer text = {0, storage, sizeof storage - 1};
    build_answer(&text);
    status_set(text.data);
}

static bool answer_shown(void) {
    char storage[status_message_capacity];
    text_buffer text = {0, storage, sizeof storage - 1};
    build_answer(&text);
    const status_line_state* status = &app_state.status;
    return status->message_length == text.length && memcmp(status->message, text.data, text.length) == 0;
}

void find_matches_forget(void) {
    sliced_job_cancel(sliced_job_matches);
    matches()->active = 0;
    matches()->shown = 0;
}

void find_matches_forget_unless(const find_pattern* pattern) {
    if (!same_pattern(&matches()->pattern, pattern)) find_matches_forget();
}

void find_matches_show(const find_pattern* pattern, int64_t at, uint8_t wrapped) {
    find_matches* m = matches();
    if (!matches_valid() || !same_pattern(&m->pattern, pattern)) {
        sliced_job_cancel(sliced_job_matches);
        memset(m, 0, sizeof *m);
        m->active = 1;
        m->pattern = *pattern;
        uint64_t starts = app_state.file.size - (uint64_t)pattern->length + 1;
        while ((starts - 1) >> m->bucket_shift >= match_buckets) m->bucket_shift++;
        sliced_job_start(sliced_job_matches, starts);
    }
    m->at = at;
    m->wrapped = wrapped;
    if (m->counted) m->number = number_of(at);
    set_answer();
}

// Up to the cap every match is counted; past it only the first match of
// each bucket is looked for, to mark it.
bool find_matches_step(sliced_job* job) {
    find_matches* m = matches();
    uint64_t starts = starts_in(job);
    uint64_t end = m->next + count_slice_starts < starts ? m->next + count_slice_starts : starts;
    if (!m->capped) {
        int64_t stop = find_pattern_visit(job->data, job->size, &m->pattern, m->next, end, find_scan_best,
                                          count_one, m);
        m->next = end;
        if (stop >= 0) {
            m->capped = 1;
            m->capped_at = (uint64_t)stop;
            m->next = (((uint64_t)stop >> m->bucket_shift) + 1) << m->bucket_shift;
        }
    } else {
        while (m->next < end) {
            uint64_t bucket = m->next >> m->bucket_shift;
            uint64_t bucket_end = (bucket + 1) << m->bucket_shift;
            uint64_t high = bucket_end < end ? bucket_end : end;
            if (find_pattern_forward(job->data, job->size, &m->pattern, m->next, high) >= 0) {
                m->bucket_matches[bucket] = 1;
                m->next = bucket_end;
            } else {
                m->next = high;
            }
        }
    }
    job->done = m->next < starts ? m->next : starts;
    if (m->next < starts) return true;
    bool shown = answer_shown();
    m->counted = 1;
    m->number = number_of(m->at);
    if (shown) set_answer();
    return false;
}

void find_matches_note_shown(void) {
    find_matches* m = matches();
    m->shown = matches_valid() && (app_state.prompt.kind == prompt_find || answer_shown());
}
