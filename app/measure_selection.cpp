// Ctrl+I: the selection's length, checksums and entropy, worked out by
// worker threads while the frame loop shows their progress.
#include "app/measure_selection.h"

#include <zlib.h>

#include "app/app.h"
#include "app/app_state.h"
#include "app/sliced_jobs.h"
#include "app/status_line.h"
#include "stb_sprintf.h"
#include "views/byte_kinds.h"

enum : uint64_t {
    // Bytes read and taken in at a time: small enough to stay in the cache
    // between the read and the figures, and for a stop to be seen at once.
    measure_piece_bytes = 256ull << 10,
    // zlib's crc32 takes a 32-bit length.
    crc_piece_bytes = 1ull << 30,
};

enum : uint32_t {
    // The frame loop's look at the workers, and a stop's wait for them.
    worker_poll_ms = 1,
    // A shortened digest keeps this many bytes of its start and of its end.
    digest_head_bytes = 3,
    digest_tail_bytes = 2,
    line_capacity = 256,
};

// The figures shared among as many workers as cores, up to one each; the
// pairs on two cores take about as long as each other.
static const uint8_t shares_by_cores[measure_worker_limit][measure_worker_limit] = {
    {measure_parts_all},
    {measure_part_sha256 | measure_part_crc, measure_part_sha1 | measure_part_counts},
    {measure_part_sha256, measure_part_sha1, measure_part_crc | measure_part_counts},
    {measure_part_sha256, measure_part_sha1, measure_part_crc, measure_part_counts},
};

static void measure_begin(measure_worker* worker, uint8_t parts) {
    worker->parts = parts;
    worker->crc = (uint32_t)crc32(0, nullptr, 0);
    sha256_init(&worker->sha256);
    sha1_init(&worker->sha1);
    for (uint64_t& count : worker->counts) count = 0;
}

static void measure_take(measure_worker* worker, const uint8_t* bytes, uint64_t count) {
    if (worker->parts & measure_part_sha256) sha256_update(&worker->sha256, count, bytes);
    if (worker->parts & measure_part_sha1) sha1_update(&worker->sha1, count, bytes);
    if (worker->parts & measure_part_crc) {
        for (uint64_t at = 0; at < count; at += crc_piece_bytes) {
            uint64_t piece = count - at < crc_piece_bytes ? count - at : crc_piece_bytes;
            worker->crc = (uint32_t)crc32(worker->crc, bytes + at, (uInt)piece);
        }
    }
    if (worker->parts & measure_part_counts) {
        byte_counts counts = {};
        count_bytes(bytes, count, &counts);
        for (int v = 0; v < 256; v++) worker->counts[v] += counts.of[v];
    }
}

// Reads and takes in the next piece; false once the worker is done, or has
// found fewer bytes than it was sent for.
static bool measure_worker_slice(measure_worker* worker) {
    uint64_t done = worker->done;
    uint64_t count = worker->length - done;
    if (count > measure_piece_bytes) count = measure_piece_bytes;
    if (count == 0) return false;
    const uint8_t* bytes = worker->bytes ? worker->bytes + worker->offset + done : worker->buffer;
    if (!worker->bytes && os_read_file_at(worker->descriptor, worker->offset + done, count, worker->buffer) !=
                              (int64_t)count) {
        __atomic_store_n(&worker->failed, 1, __ATOMIC_RELEASE);
        return false;
    }
    measure_take(worker, bytes, count);
    __atomic_store_n(&worker->done, done + count, __ATOMIC_RELEASE);
    return done + count < worker->length;
}

static uint32_t run_measure_worker(os_thread* thread) {
    measure_worker* worker = (measure_worker*)(uintptr_t)thread->user_value;
    while (!__atomic_load_n(&worker->stop, __ATOMIC_ACQUIRE) && measure_worker_slice(worker)) {}
    __atomic_store_n(&worker->finished, 1, __ATOMIC_RELEASE);
    return 0;
}

static measure_result measure_figures(const measure_state* measure) {
    measure_result result = {};
    result.length = measure->length;
    result.left_out = measure->left_out;
    byte_counts counts = {};
    for (uint32_t i = 0; i < measure->worker_count; i++) {
        measure_worker* worker = measure->workers[i];
        if (worker->parts & measure_part_crc) result.crc = worker->crc;
        if (worker->parts & measure_part_sha256) sha256_digest(&worker->sha256, sizeof result.sha256, result.sha256);
        if (worker->parts & measure_part_sha1) sha1_digest(&worker->sha1, sizeof result.sha1, result.sha1);
        if (worker->parts & measure_part_counts) {
            counts.total = measure->length;
            for (int v = 0; v < 256; v++) counts.of[v] = worker->counts[v];
        }
    }
    result.entropy = entropy_of_counts(&counts);
    return result;
}

// Lower-case hex, as sha256sum writes it; shortened to its two ends.
static void write_digest(const uint8_t* digest, uint32_t size, bool whole, char* out) {
    static const char digits[] = "0123456789abcdef";
    char* at = out;
    for (uint32_t i = 0; i < size; i++) {
        if (!whole && i == digest_head_bytes) {
            for (int dot = 0; dot < 3; dot++) *at++ = '.';
            i = size - digest_tail_bytes;
        }
        *at++ = digits[digest[i] >> 4];
        *at++ = digits[digest[i] & 15];
    }
    *at = 0;
}

uint32_t write_measure_line(const measure_result* result, bool whole, char* out, uint32_t capacity) {
    char sha256[2 * SHA256_DIGEST_SIZE + 1], left_out[64] = "", others[128] = "";
    write_digest(result->sha256, SHA256_DIGEST_SIZE, whole, sha256);
    if (whole) {
        char sha1[2 * SHA1_DIGEST_SIZE + 1];
        write_digest(result->sha1, SHA1_DIGEST_SIZE, true, sha1);
        stbsp_snprintf(others, (int)sizeof others, " | SHA-1 %s", sha1);
    }
    if (result->left_out)
        stbsp_snprintf(left_out, (int)sizeof left_out, " (%llu past the end left out)",
                       (unsigned long long)result->left_out);
    int length = stbsp_snprintf(out, (int)capacity, "%llu byte%s%s | CRC-32 %08X | SHA-256 %s%s | entropy %.2f",
                                (unsigned long long)result->length, result->length == 1 ? "" : "s", left_out,
                                (unsigned)result->crc, sha256, others, result->entropy);
    if (length < 0) return 0;
    return (uint32_t)length < capacity ? (uint32_t)length : capacity - 1;
}

// ---------------------------------------------------------------------------
// The measure the frame loop runs

void measure_end_workers(sliced_job*) {
    measure_state* measure = &app_state.measure;
    for (uint32_t i = 0; i < measure->worker_count; i++)
        __atomic_store_n(&measure->workers[i]->stop, 1, __ATOMIC_RELEASE);
    for (uint32_t i = 0; i < measure->worker_count; i++) {
        measure_worker* worker = measure->workers[i];
        // A worker sees the stop within one piece; after its last word it
        // touches the record no more.
        while (worker->thread && !__atomic_load_n(&worker->finished, __ATOMIC_ACQUIRE))
            os_sleep_milliseconds(worker_poll_ms);
        os_free(worker->thread);
        os_free(worker->buffer);
        os_free(worker);
        measure->workers[i] = nullptr;
    }
    measure->worker_count = 0;
}

// A worker record for each share, each with its own buffer when the file is
// read with positioned reads; false when not even one can be had.
static bool set_up_workers(uint32_t cores, int32_t descriptor) {
    measure_state* measure = &app_state.measure;
    uint32_t shares = cores < 1 ? 1 : cores > measure_worker_limit ? measure_worker_limit : cores;
    for (uint32_t i = 0; i < shares; i++) {
        uint8_t parts = shares_by_cores[shares - 1][i];
        measure_worker* worker = (measure_worker*)os_alloc_zeroed(sizeof(measure_worker));
        uint8_t* buffer = descriptor >= 0 && worker ? (uint8_t*)os_alloc(measure_piece_bytes) : nullptr;
        if (!worker || (descriptor >= 0 && !buffer)) {
            os_free(worker);
            // Short of memory: the share goes to the worker before.
            if (measure->worker_count == 0) return false;
            measure_worker* before = measure->workers[measure->worker_count - 1];
            measure_begin(before, before->parts | parts);
            continue;
        }
        measure_begin(worker, parts);
        worker->descriptor = descriptor;
        worker->bytes = descriptor >= 0 ? nullptr : app_state.file.data;
        worker->buffer = buffer;
        worker->offset = measure->offset;
        worker->length = measure->length;
        measure->workers[measure->worker_count++] = worker;
    }
    return true;
}

void measure_start_on(uint32_t cores) {
    sliced_job_cancel(sliced_job_measure);
    measure_state* measure = &app_state.measure;
    uint64_t size = app_state.file.data ? app_state.file.size : 0;
    if (size == 0) return status_set("Nothing to measure: the file is empty.");
    if (app_state.select_offset < 0 || app_state.select_len < 1)
        return status_set("Nothing to measure: the selection is empty.");
    uint64_t offset = (uint64_t)app_state.select_offset;
    if (offset >= size) return status_set("Nothing to measure: the selection lies past the end of the file.");
    uint64_t length = (uint64_t)app_state.select_len;
    uint64_t inside = length > size - offset ? size - offset : length;
    measure->offset = offset;
    measure->length = inside;
    measure->left_out = length - inside;
    sliced_job_start(sliced_job_measure, inside);
    if (!set_up_workers(cores, loaded_file_descriptor())) return sliced_job_stop(sliced_job_measure);
    // A worker without a thread is worked by the frame loop instead.
    for (uint32_t i = 0; i < measure->worker_count; i++)
        measure->workers[i]->thread = os_thread_start(run_measure_worker, (uint64_t)(uintptr_t)measure->workers[i]);
}

void measure_start(void) { measure_start_on(os_processor_count()); }

bool measure_step(sliced_job* job) {
    measure_state* measure = &app_state.measure;
    bool finished = true, failed = false, worked = false;
    uint64_t least = measure->length;
    for (uint32_t i = 0; i < measure->worker_count; i++) {
        measure_worker* worker = measure->workers[i];
        if (!worker->thread && !worker->finished) {
            worked = true;
            if (!measure_worker_slice(worker)) worker->finished = 1;
        }
        uint64_t done = __atomic_load_n(&worker->done, __ATOMIC_ACQUIRE);
        if (done < least) least = done;
        finished = finished && __atomic_load_n(&worker->finished, __ATOMIC_ACQUIRE);
        failed = failed || __atomic_load_n(&worker->failed, __ATOMIC_ACQUIRE);
    }
    job->done = least;
    // Digests over the zeros that stand in for vanished pages would be of no file.
    if (failed || (finished && loaded_file_damaged())) {
        sliced_job_file_changed(sliced_job_measure);
        return false;
    }
    if (!finished) {
        // The workers need the cores more than this thread needs to look again at once.
        if (!worked) os_sleep_milliseconds(worker_poll_ms);
        return true;
    }
    measure->result = measure_figures(measure);
    measure_end_workers(job);
    char line[line_capacity];
    write_measure_line(&measure->result, false, line, sizeof line);
    status_set_measure_line(line);
    return false;
}

const char* copy_measure_line(void) {
    char line[line_capacity];
    uint32_t length = write_measure_line(&app_state.measure.result, true, line, sizeof line);
    os_clipboard_set_text(utf8_string{(int64_t)length, line});
    return "Copied the measurement with the digests whole.";
}
