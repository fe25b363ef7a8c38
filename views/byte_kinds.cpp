// Counting byte values, their entropy, and sorting a range into the overview's kinds.
#include "views/byte_kinds.h"

#include <math.h>
#include <string.h>

// Shannon entropy above this is what compression and encryption leave;
// ordinary code and data stay well below it.
static constexpr double high_entropy_bits = 7.2;
// Text is at least this share of printable ASCII, tabs and line ends.
static constexpr double text_share = 0.9;

enum : uint64_t {
    // A pixel row of a large file covers megabytes, and a pass that read them
    // all would read the whole file. A row longer than its share of the pass
    // is judged from pieces spread evenly over it instead, which gives the
    // same kind and nearly the same entropy for the uniform stretches the
    // overview tells apart. Pieces of whole pages read no more from the disk
    // than they count.
    sample_page_bytes = 4096,
    sample_pieces_most = 16,
};

void count_bytes(const uint8_t* bytes, uint64_t length, byte_counts* counts) {
    // Four tables break the dependency between neighbouring equal bytes.
    uint32_t lanes[4][256];
    memset(lanes, 0, sizeof lanes);
    uint64_t i = 0;
    while (i < length) {
        // Stay clear of 32-bit overflow in the lanes.
        uint64_t chunk_end = length - i > (1ull << 30) ? i + (1ull << 30) : length;
        for (; i + 4 <= chunk_end; i += 4) {
            lanes[0][bytes[i]]++;
            lanes[1][bytes[i + 1]]++;
            lanes[2][bytes[i + 2]]++;
            lanes[3][bytes[i + 3]]++;
        }
        for (; i < chunk_end; i++) lanes[0][bytes[i]]++;
        for (int v = 0; v < 256; v++) {
            counts->of[v] += (uint64_t)lanes[0][v] + lanes[1][v] + lanes[2][v] + lanes[3][v];
        }
        memset(lanes, 0, sizeof lanes);
    }
    counts->total += length;
}

double entropy_of_counts(const byte_counts* counts) {
    if (counts->total == 0) return 0;
    double total = (double)counts->total, bits = 0;
    for (int v = 0; v < 256; v++) {
        if (!counts->of[v]) continue;
        double p = (double)counts->of[v] / total;
        bits -= p * log2(p);
    }
    return bits < 0 ? 0 : bits;
}

static bool is_text_byte(int v) { return (v >= 0x20 && v < 0x7f) || v == '\t' || v == '\n' || v == '\r'; }

byte_summary summarise_counts(const byte_counts* counts) {
    byte_summary summary = {byte_kind_pending, (float)entropy_of_counts(counts)};
    if (counts->total == 0) return summary;
    uint64_t text = 0;
    for (int v = 0; v < 256; v++)
        if (is_text_byte(v)) text += counts->of[v];
    if (counts->of[0] == counts->total) summary.kind = byte_kind_zero;
    else if (counts->of[0xff] == counts->total) summary.kind = byte_kind_ff;
    else if (summary.entropy > high_entropy_bits) summary.kind = byte_kind_random;
    else if ((double)text >= text_share * (double)counts->total) summary.kind = byte_kind_text;
    else summary.kind = byte_kind_binary;
    return summary;
}

const char* byte_kind_name(uint8_t kind) {
    switch (kind) {
    case byte_kind_zero: return "all zero";
    case byte_kind_ff: return "all 0xFF";
    case byte_kind_text: return "mostly text";
    case byte_kind_random: return "high entropy";
    case byte_kind_binary: return "other binary";
    default: return "not classified yet";
    }
}

void overview_row_range(uint64_t size, int32_t rows, int32_t row, uint64_t* start, uint64_t* end) {
    if (rows <= 0 || size == 0) {
        *start = *end = 0;
        return;
    }
    *start = (uint64_t)((unsigned __int128)size * (uint64_t)row / (uint64_t)rows);
    *end = (uint64_t)((unsigned __int128)size * ((uint64_t)row + 1) / (uint64_t)rows);
    if (*start >= size) *start = size - 1;
    if (*end <= *start) *end = *start + 1;
}

row_samples plan_row_samples(uint64_t start, uint64_t end, uint64_t budget) {
    uint64_t length = end > start ? end - start : 0;
    if (length <= budget) return row_samples{1, length};
    uint64_t pieces = budget / sample_page_bytes;
    if (pieces < 1) pieces = 1;
    if (pieces > sample_pieces_most) pieces = sample_pieces_most;
    uint64_t piece = budget / pieces;
    if (piece >= sample_page_bytes) piece -= piece % sample_page_bytes;
    return row_samples{(uint32_t)pieces, piece ? piece : 1};
}

uint64_t row_sample_start(uint64_t start, uint64_t end, row_samples plan, uint32_t i) {
    uint64_t span = end - start - plan.piece_bytes;
    if (plan.pieces < 2 || span == 0) return start + span / 2;
    uint64_t at = start + (uint64_t)((unsigned __int128)span * i / (plan.pieces - 1));
    // On a page boundary when one lies within the row before it.
    uint64_t page_start = at - at % sample_page_bytes;
    return plan.piece_bytes % sample_page_bytes == 0 && page_start >= start ? page_start : at;
}
