// Work that runs in slices in the frame's spare time, so that a search or a
// measure over gigabytes leaves the window answering: Find, Ctrl+I's measure
// and the position bar's overview.
//
// A started job (Find, the measure) works over the file's bytes as they were
// when it began: a reload or another file ends it, as Escape does, with its
// kind's message. While it runs the frames follow one another at once and,
// if its kind has a label, the answer line shows its progress ("Searching...
// 20% (Escape stops)").
// A standing job (the overview) is never started or stopped: it runs while
// its kind says work is pending, in what the frame's share has left, and
// the frame loop still sleeps out its budget.
//
// Adding a job: an id in sliced_jobs_state.h and a row in the kinds table
// in sliced_jobs.cpp whose step does one slice.
#pragma once

#include <stdint.h>

#include "app/sliced_jobs_state.h"
#include "render/text_buffer.h"

struct sliced_job_kind {
    // One slice of the work, a few milliseconds at most; false once the job
    // has ended, after leaving its own answer (a match, the figures).
    bool (*step)(sliced_job* job);
    // Standing jobs only: whether work is left now. Null for started jobs.
    bool (*pending)(void);
    // "Searching... ": shown with the percent while the job runs; null for
    // a job that works unseen.
    const char* progress_label;
    // The answers when Escape stops the job and when the file changes under
    // it; null for none.
    const char* stopped_message;
    const char* file_changed_message;
    // Null, or what ending the job before its step said so must undo
    // (called back workers, say). Also called when the file's bytes are
    // about to go, and then again as the job ends: a second call finds
    // nothing left to undo.
    void (*on_stop)(sliced_job* job);
};

// Starts the job over the file as it is now, with `total` units of work for
// the percent; a run of the same job still going is dropped without a word.
sliced_job* sliced_job_start(sliced_job_id id, uint64_t total);
// Escape: ends a running job with its stopped message.
void sliced_job_stop(sliced_job_id id);
// Ends a running job with its file-changed message: its step found the
// bytes changed under it.
void sliced_job_file_changed(sliced_job_id id);
// Ends a running job without a word (a new command took its place).
void sliced_job_cancel(sliced_job_id id);
bool sliced_job_running(sliced_job_id id);
uint32_t sliced_job_percent(sliced_job_id id);

// The frame loop, before composing: each job with work gets at least one
// slice, then more while the frame's share lasts.
void sliced_jobs_run_for_frame(void);
// A started job runs: the next frame follows at once, without sleeping.
bool sliced_jobs_running(void);
// Any job has work left, standing ones too: the next frame comes without
// waiting for input.
bool sliced_jobs_pending(void);
// The loaded file's bytes are about to go: what works beside the frame loop
// is called back now, and a job over them ends at its next turn, even when a
// later file is mapped at the same address with the same size.
void sliced_jobs_forget_file(void);

// True while a running job shows its progress on the answer line.
bool sliced_jobs_progress_shown(void);
// "Searching... 20% (Escape stops)" for the first such job.
void sliced_jobs_append_progress(text_buffer* text);
