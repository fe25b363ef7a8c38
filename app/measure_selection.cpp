// Ctrl+I: the selection's length, checksums and entropy, measured in slices.
#include "app/measure_selection.h"

#include <zlib.h>

#include "app/app.h"
#include "app/app_state.h"
#include "app/prompt_line.h"
#include "stb_sprintf.h"
#include "views/byte_kinds.h"

enum : uint64_t {
    // Bytes between two looks at the clock: about a millisecond of hashing.
    measure_slice_bytes = 1ull << 20,
    // zlib's crc32 takes a 32-bit length.
    crc_piece_bytes = 1ull << 30,
    percent = 100,
};

enum : uint32_t {
    // A shortened digest keeps this many bytes of its start and of its end.
    digest_head_bytes = 3,
    digest_tail_bytes = 2,
    line_capacity = 256,
};

// The same share of a frame as Find takes.

void measure_begin(measure_state* measure, uint64_t offset, uint64_t length) {
    measure->offset = offset;
    measure->length = length;
    measure->done = 0;
    measure->crc = (uint32_t)crc32(0, nullptr, 0);
    sha256_init(&measure->sha256);
    sha1_init(&measure->sha1);
    for (uint64_t& count : measure->counts) count = 0;
}

void measure_take(measure_state* measure, const uint8_t* bytes, uint64_t count) {
    for (uint64_t at = 0; at < count; at += crc_piece_bytes) {
        uint64_t piece = count - at < crc_piece_bytes ? count - at : crc_piece_bytes;
        measure->crc = (uint32_t)crc32(measure->crc, bytes + at, (uInt)piece);
    }
    sha256_update(&measure->sha256, count, bytes);
    sha1_update(&measure->sha1, count, bytes);
    byte_counts counts = {};
    count_bytes(bytes, count, &counts);
    for (int v = 0; v < 256; v++) measure->counts[v] += counts.of[v];
    measure->done += count;
}

measure_result measure_finish(measure_state* measure) {
    measure_result result = {};
    result.length = measure->done;
    result.left_out = measure->left_out;
    result.crc = measure->crc;
    sha256_digest(&measure->sha256, sizeof result.sha256, result.sha256);
    sha1_digest(&measure->sha1, sizeof result.sha1, result.sha1);
    byte_counts counts = {};
    counts.total = measure->done;
    for (int v = 0; v < 256; v++) counts.of[v] = measure->counts[v];
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

void measure_start(void) {
    measure_state* measure = &app_state.measure;
    measure->running = 0;
    uint64_t size = app_state.file.data ? app_state.file.size : 0;
    if (size == 0) return prompt_set_message("Nothing to measure: the file is empty.");
    if (app_state.select_offset < 0 || app_state.select_len < 1)
        return prompt_set_message("Nothing to measure: the selection is empty.");
    uint64_t offset = (uint64_t)app_state.select_offset;
    if (offset >= size) return prompt_set_message("Nothing to measure: the selection lies past the end of the file.");
    uint64_t length = (uint64_t)app_state.select_len;
    uint64_t inside = length > size - offset ? size - offset : length;
    measure->data = app_state.file.data;
    measure->size = size;
    measure_begin(measure, offset, inside);
    measure->left_out = length - inside;
    measure->running = 1;
}

void measure_stop(void) {
    if (!app_state.measure.running) return;
    app_state.measure.running = 0;
    prompt_set_message("Measuring stopped.");
}

bool measure_is_running(void) { return app_state.measure.running != 0; }

uint32_t measure_progress_percent(void) {
    const measure_state* measure = &app_state.measure;
    if (measure->length == 0) return 0;
    return (uint32_t)((double)measure->done * (double)percent / (double)measure->length);
}

// One slice; true once the last has been taken.
static bool measure_one_slice(measure_state* measure) {
    uint64_t count = measure->length - measure->done;
    if (count > measure_slice_bytes) count = measure_slice_bytes;
    measure_take(measure, measure->data + measure->offset + measure->done, count);
    if (measure->done < measure->length) return false;
    measure->running = 0;
    // A file cut short under the last slice reads as zeros until the next reload.
    if (loaded_file_damaged()) {
        prompt_set_message("Measuring stopped: the file changed.");
        return true;
    }
    measure->result = measure_finish(measure);
    char line[line_capacity];
    write_measure_line(&measure->result, false, line, sizeof line);
    prompt_set_message(line);
    measure->shown = 1;
    return true;
}

void measure_run_for_frame(void) {
    measure_state* measure = &app_state.measure;
    if (!measure->running) return;
    // A reload hands over other bytes; a measure of both would be of neither.
    if (app_state.file.data != measure->data || app_state.file.size != measure->size) {
        measure->running = 0;
        prompt_set_message("Measuring stopped: the file changed.");
        return;
    }
    do {
        if (measure_one_slice(measure)) return;
    } while (frame_share_left());
}

bool measure_line_shown(void) { return app_state.measure.shown != 0; }

void measure_forget_line(void) { app_state.measure.shown = 0; }

const char* copy_measure_line(void) {
    char line[line_capacity];
    uint32_t length = write_measure_line(&app_state.measure.result, true, line, sizeof line);
    os_clipboard_set_text(utf8_string{(int64_t)length, line});
    return "Copied the measurement with the digests whole.";
}
