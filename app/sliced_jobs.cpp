// The jobs the frame loop runs in slices: their kinds, starting and
// stopping them, their share of each frame and their progress line.
#include "app/sliced_jobs.h"

#include "app/app_state.h"
#include "app/find_matches.h"
#include "app/measure_selection.h"
#include "app/prompt_line.h"
#include "app/status_line.h"
#include "views/changed_bytes.h"
#include "views/views.h"

enum : uint64_t {
    percent = 100,
    // The share of a frame's budget the jobs take; the rest draws the frame,
    // so the window keeps up with the pointer.
    work_share_numerator = 3,
    work_share_denominator = 4,
};

static bool frame_share_left(void) {
    uint64_t budget = (uint64_t)app_state.target_frame_us * work_share_numerator / work_share_denominator;
    return os_ticks_to_microseconds(os_now_ticks() - app_state.frame_ticks) < budget;
}

static bool overview_slice(sliced_job*) { return overview_step(); }
static bool digests_slice(sliced_job*) { return changes_step(); }

static const sliced_job_kind kinds[sliced_job_count] = {
    // step, pending, progress_label, stopped_message, file_changed_message, on_stop
    {find_step, nullptr, "Searching... ", "Search stopped.", "Search stopped: the file changed.", nullptr},
    {measure_step, nullptr, "Measuring... ", "Measuring stopped.", "Measuring stopped: the file changed.",
     measure_end_workers},
    {overview_slice, overview_pending, nullptr, nullptr, nullptr, nullptr},
    {find_matches_step, nullptr, nullptr, nullptr, nullptr, nullptr},
    {digests_slice, changes_pending, nullptr, nullptr, nullptr, nullptr},
};

static sliced_job* job_of(sliced_job_id id) { return &app_state.jobs.of[id]; }

static void end_early(sliced_job_id id, const char* message) {
    sliced_job* job = job_of(id);
    if (!job->running) return;
    job->running = 0;
    if (kinds[id].on_stop) kinds[id].on_stop(job);
    if (message) status_set(message);
}

sliced_job* sliced_job_start(sliced_job_id id, uint64_t total) {
    end_early(id, nullptr);
    sliced_job* job = job_of(id);
    *job = sliced_job{};
    job->data = app_state.file.data;
    job->size = app_state.file.data ? app_state.file.size : 0;
    job->total = total;
    job->running = 1;
    return job;
}

void sliced_job_stop(sliced_job_id id) { end_early(id, kinds[id].stopped_message); }

void sliced_job_file_changed(sliced_job_id id) { end_early(id, kinds[id].file_changed_message); }

void sliced_job_cancel(sliced_job_id id) { end_early(id, nullptr); }

bool sliced_job_running(sliced_job_id id) { return job_of(id)->running != 0; }

uint32_t sliced_job_percent(sliced_job_id id) {
    const sliced_job* job = job_of(id);
    if (job->total == 0) return 0;
    return (uint32_t)((double)job->done * (double)percent / (double)job->total);
}

static bool has_work(sliced_job_id id) {
    return kinds[id].pending ? kinds[id].pending() : job_of(id)->running != 0;
}

void sliced_jobs_run_for_frame(void) {
    for (int i = 0; i < sliced_job_count; i++) {
        sliced_job_id id = (sliced_job_id)i;
        if (!has_work(id)) continue;
        sliced_job* job = job_of(id);
        // A reload hands over other bytes; work over both would be of neither.
        if (!kinds[id].pending && (app_state.file.data != job->data || app_state.file.size != job->size)) {
            end_early(id, kinds[id].file_changed_message);
            continue;
        }
        bool more = true;
        do more = kinds[id].step(job);
        while (more && frame_share_left());
        if (!more) job->running = 0;
    }
}

bool sliced_jobs_running(void) {
    for (int i = 0; i < sliced_job_count; i++)
        if (!kinds[i].pending && job_of((sliced_job_id)i)->running) return true;
    return false;
}

bool sliced_jobs_pending(void) {
    for (int i = 0; i < sliced_job_count; i++)
        if (has_work((sliced_job_id)i)) return true;
    return false;
}

void sliced_jobs_forget_file(void) {
    for (int i = 0; i < sliced_job_count; i++) {
        sliced_job* job = job_of((sliced_job_id)i);
        if (job->running && kinds[i].on_stop) kinds[i].on_stop(job);
        job->data = nullptr;
    }
}

static const sliced_job_kind* shown_kind(void) {
    for (int i = 0; i < sliced_job_count; i++)
        if (kinds[i].progress_label && job_of((sliced_job_id)i)->running) return &kinds[i];
    return nullptr;
}

bool sliced_jobs_progress_shown(void) { return shown_kind() != nullptr; }

void sliced_jobs_append_progress(text_buffer* text) {
    const sliced_job_kind* kind = shown_kind();
    if (!kind) return;
    text_append_cstring(text, kind->progress_label);
    text_append_uint(text, sliced_job_percent((sliced_job_id)(kind - kinds)));
    text_append_cstring(text, "% (Escape stops)");
}
