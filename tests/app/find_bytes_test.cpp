// Find: parsing what is typed, the scan against a plain loop, and the wrapping search against a naive one.
#include <gtest/gtest.h>

#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/prompt_line.h"
#include "app/sliced_jobs.h"
#include "app_test_support.h"

namespace {

struct parse_case {
    const char* text;
    find_parse_result result;
    std::vector<int> bytes;  // -1 for a wildcard
};

std::vector<int> pattern_bytes(const find_pattern& pattern) {
    std::vector<int> out;
    for (int32_t i = 0; i < pattern.length; i++) out.push_back(pattern.any[i] ? -1 : pattern.bytes[i]);
    return out;
}

TEST(FindParse, HexBytesWildcardsAndQuotedText) {
    const parse_case cases[] = {
        {"4D 5A", find_parse_ok, {0x4D, 0x5A}},
        {"4d5a", find_parse_ok, {0x4D, 0x5A}},
        {"  4d5a90\t00 ", find_parse_ok, {0x4D, 0x5A, 0x90, 0x00}},
        {"4D ?? 5A", find_parse_ok, {0x4D, -1, 0x5A}},
        {"????", find_parse_ok, {-1, -1}},
        {"\"IHDR\"", find_parse_ok, {'I', 'H', 'D', 'R'}},
        {"\"a b\"", find_parse_ok, {'a', ' ', 'b'}},
        {"\"\xc3\xa9\"", find_parse_ok, {0xC3, 0xA9}},
        {"\"IHDR\" ?? 00", find_parse_ok, {'I', 'H', 'D', 'R', -1, 0}},
        {"00\"A\"", find_parse_ok, {0, 'A'}},
        {"", find_parse_empty, {}},
        {"   ", find_parse_empty, {}},
        {"\"\"", find_parse_empty, {}},
        {"4D 5", find_parse_odd_digits, {}},
        {"4 D", find_parse_odd_digits, {}},
        {"4g", find_parse_not_hex, {}},
        {"4?", find_parse_not_hex, {}},
        {"IHDR", find_parse_not_hex, {}},
        {"\"IHDR", find_parse_open_quote, {}},
        {"0x4d", find_parse_not_hex, {}},
    };
    for (const parse_case& c : cases) {
        find_pattern pattern;
        EXPECT_EQ(parse_find_text(c.text, strlen(c.text), &pattern), c.result) << c.text;
        if (c.result == find_parse_ok) {
            EXPECT_EQ(pattern_bytes(pattern), c.bytes) << c.text;
        }
    }
    std::string long_text(2 * find_pattern_capacity + 2, 'a');
    find_pattern pattern;
    EXPECT_EQ(parse_find_text(long_text.data(), long_text.size(), &pattern), find_parse_too_long);
}

TEST(FindNumbers, ValuesBecomeBytesInEitherOrderAndBadOnesAreRefused) {
    struct number_case {
        const char* text;
        find_parse_result result;
        std::vector<int> little_endian;
    };
    const number_case cases[] = {
        {"u8 255", find_parse_ok, {0xFF}},
        {"u16 0x1234", find_parse_ok, {0x34, 0x12}},
        {"u24 197121", find_parse_ok, {1, 2, 3}},
        {" u32\t1234 ", find_parse_ok, {0xD2, 0x04, 0, 0}},
        {"u40 0xFFFFFFFFFF", find_parse_ok, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"u56 0x01020304050607", find_parse_ok, {7, 6, 5, 4, 3, 2, 1}},
        {"u64 0xDEADBEEF", find_parse_ok, {0xEF, 0xBE, 0xAD, 0xDE, 0, 0, 0, 0}},
        {"u64 18446744073709551615", find_parse_ok, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"i8 -128", find_parse_ok, {0x80}},
        {"i16 -2", find_parse_ok, {0xFE, 0xFF}},
        {"i32 -0x10", find_parse_ok, {0xF0, 0xFF, 0xFF, 0xFF}},
        {"i64 -9223372036854775808", find_parse_ok, {0, 0, 0, 0, 0, 0, 0, 0x80}},
        {"f32 1.5", find_parse_ok, {0, 0, 0xC0, 0x3F}},
        {"f32 0.1", find_parse_ok, {0xCD, 0xCC, 0xCC, 0x3D}},
        {"f64 -2e0", find_parse_ok, {0, 0, 0, 0, 0, 0, 0, 0xC0}},
        {"f64 -0", find_parse_ok, {0, 0, 0, 0, 0, 0, 0, 0x80}},
        {"u8 256", find_parse_out_of_range, {}},
        {"u8 -1", find_parse_out_of_range, {}},
        {"i8 128", find_parse_out_of_range, {}},
        {"i8 -129", find_parse_out_of_range, {}},
        {"u64 18446744073709551616", find_parse_out_of_range, {}},
        {"f32 1e39", find_parse_out_of_range, {}},
        {"f32 1e-50", find_parse_out_of_range, {}},
        {"u12 5", find_parse_unknown_type, {}},
        {"f16 1", find_parse_unknown_type, {}},
        {"u32", find_parse_bad_number, {}},
        {"u32 12a", find_parse_bad_number, {}},
        {"u32 1 2", find_parse_bad_number, {}},
        {"u32 1.5", find_parse_bad_number, {}},
        {"f64 0x10", find_parse_bad_number, {}},
        {"f64 inf", find_parse_bad_number, {}},
        {"f64 1.5.2", find_parse_bad_number, {}},
        // Left to hex bytes and quoted text as before.
        {"f8 12", find_parse_not_number, {}},
        {"4D 5A", find_parse_not_number, {}},
        {"\"u32 5\"", find_parse_not_number, {}},
        {"U32 5", find_parse_not_number, {}},
    };
    for (const number_case& c : cases) {
        find_pattern little, big;
        EXPECT_EQ(parse_find_number(c.text, strlen(c.text), false, &little, nullptr), c.result) << c.text;
        EXPECT_EQ(parse_find_number(c.text, strlen(c.text), true, &big, nullptr), c.result) << c.text;
        if (c.result != find_parse_ok) continue;
        EXPECT_EQ(pattern_bytes(little), c.little_endian) << c.text;
        std::vector<int> reversed(c.little_endian.rbegin(), c.little_endian.rend());
        EXPECT_EQ(pattern_bytes(big), reversed) << c.text;
    }
    const char* const messages[][2] = {
        {"u8 256", "Out of range for u8: 0 to 255."},
        {"i64 0x8000000000000000", "Out of range for i64: -9223372036854775808 to 9223372036854775807."},
        {"u1234567890123456 1", "Unknown type u12345678901: numbers take u8 to u64, u24, u40, u48, u56, i8 to i64, "
                                "f32 or f64."},
        {"i16 x", "Not a number for i16: type one decimal number, 0x and hex digits, or either after -."},
    };
    for (const auto& m : messages) {
        find_pattern pattern;
        char storage[200];
        text_buffer message = {0, storage, sizeof storage - 1};
        parse_find_number(m[0], strlen(m[0]), false, &pattern, &message);
        EXPECT_EQ(std::string(message.data, message.length), m[1]);
    }
}

bool naive_matches(const std::vector<uint8_t>& data, const find_pattern& p, uint64_t at) {
    for (int32_t i = 0; i < p.length; i++)
        if (!p.any[i] && data[at + i] != p.bytes[i]) return false;
    return true;
}

// Where the search from `start` should land and whether it wrapped: the
// starts after it to the end, then the start of the file up to it itself
// (mirrored going back).
struct expected_hit {
    int64_t at;
    bool wrapped;
};

expected_hit naive_search(const std::vector<uint8_t>& data, const find_pattern& p, uint64_t start, bool backward) {
    if ((uint64_t)p.length > data.size()) return {-1, false};
    int64_t last = (int64_t)(data.size() - p.length);
    int64_t s = (int64_t)start;
    if (!backward) {
        for (int64_t at = s + 1; at <= last; at++)
            if (naive_matches(data, p, at)) return {at, false};
        for (int64_t at = 0; at <= s && at <= last; at++)
            if (naive_matches(data, p, at)) return {at, true};
    } else {
        for (int64_t at = std::min(s - 1, last); at >= 0; at--)
            if (naive_matches(data, p, at)) return {at, false};
        for (int64_t at = last; at >= s; at--)
            if (naive_matches(data, p, at)) return {at, true};
    }
    return {-1, false};
}

find_pattern random_pattern(std::mt19937& random, const std::vector<uint8_t>& data) {
    find_pattern p = {};
    p.length = 1 + (int32_t)(random() % 6);
    bool from_data = data.size() >= (size_t)p.length && random() % 3 != 0;
    size_t origin = from_data ? random() % (data.size() - p.length + 1) : 0;
    for (int32_t i = 0; i < p.length; i++) {
        p.bytes[i] = from_data ? data[origin + i] : (uint8_t)(random() % 4);
        p.any[i] = random() % 4 == 0;
    }
    return p;
}

class FindSearch : public ::testing::Test {
protected:
    fake_window fake;
    void SetUp() override { use_fake_window(&fake, 1280, 720, false); }
    void TearDown() override { app_state.file = file_contents{}; }

    void load(std::vector<uint8_t>& data) {
        app_state.file.size = data.size();
        app_state.file.data = data.data();
    }

    void run_to_end() {
        for (int frames = 0; sliced_job_running(sliced_job_find) && frames < 1000; frames++) sliced_jobs_run_for_frame();
        ASSERT_FALSE(sliced_job_running(sliced_job_find));
    }
};

// Each scan path against a plain loop over random ranges of random buffers: a small
// alphabet gives many partial matches, and the sizes cross the block widths.
TEST_F(FindSearch, ScanAgreesWithNaiveLoopOverRandomRanges) {
    std::mt19937 random(7);
    for (int round = 0; round < 3000; round++) {
        std::vector<uint8_t> data(random() % 300);
        for (uint8_t& b : data) b = (uint8_t)(random() % 4);
        find_pattern p = random_pattern(random, data);
        if ((size_t)p.length > data.size()) continue;
        uint64_t starts = data.size() - p.length + 1;
        uint64_t low = random() % starts, high = low + 1 + random() % (starts - low);
        int64_t first = -1, last = -1;
        for (uint64_t at = low; at < high; at++) {
            if (naive_matches(data, p, at)) {
                if (first < 0) first = (int64_t)at;
                last = (int64_t)at;
            }
        }
        // Every path the processor has, whichever the search would pick.
        for (find_scan_path path : {find_scan_best, find_scan_avx2, find_scan_sse2, find_scan_plain}) {
            if (!find_scan_path_available(path)) continue;
            ASSERT_EQ(find_pattern_scan(data.data(), data.size(), &p, low, high, false, path), first) << round << path;
            ASSERT_EQ(find_pattern_scan(data.data(), data.size(), &p, low, high, true, path), last) << round << path;
        }
    }
}

TEST_F(FindSearch, WrappingSearchAgreesWithNaiveSearchBothWays) {
    std::mt19937 random(11);
    for (int round = 0; round < 2000; round++) {
        std::vector<uint8_t> data(1 + random() % 400);
        for (uint8_t& b : data) b = (uint8_t)(random() % 5);
        load(data);
        find_pattern p = random_pattern(random, data);
        bool backward = random() % 2;
        int64_t start = (int64_t)(random() % data.size());
        app_state.select_offset = start;
        app_state.select_len = 3;
        app_state.status.message_length = 0;
        find_start(&p, backward);
        run_to_end();
        expected_hit hit = naive_search(data, p, (uint64_t)start, backward);
        std::string message = status_text();
        if (hit.at < 0) {
            EXPECT_EQ(app_state.select_offset, start) << round;
            EXPECT_EQ(app_state.select_len, 3) << round;
            EXPECT_EQ(message.rfind("No match", 0), 0u) << message;
            continue;
        }
        ASSERT_EQ(app_state.select_offset, hit.at) << round;
        EXPECT_EQ(app_state.select_len, p.length);
        EXPECT_EQ(message.rfind("Wrapped", 0) == 0, hit.wrapped) << message;
    }
}

uint64_t naive_count(const std::vector<uint8_t>& data, const find_pattern& p, uint64_t low, uint64_t high) {
    uint64_t count = 0;
    for (uint64_t at = low; at < high; at++) count += naive_matches(data, p, at);
    return count;
}

bool tally(void* context, uint64_t) {
    ++*(uint64_t*)context;
    return false;
}

// Random bytes with runs of a periodic pattern planted in them, so that
// copies overlap: the count on every scan path, and the job's answer line
// with the match's number, against a plain count.
TEST_F(FindSearch, CountAndNumberAgreeWithAPlainCount) {
    std::mt19937 random(5);
    app_state.target_frame_us = 0;
    for (int round = 0; round < 300; round++) {
        std::vector<uint8_t> data(1 + random() % 6000);
        for (uint8_t& b : data) b = (uint8_t)random();
        find_pattern p = {};
        p.length = 1 + (int32_t)(random() % 6);
        uint32_t period = 1 + random() % 3;
        for (int32_t i = 0; i < p.length; i++) {
            p.bytes[i] = (uint8_t)(i < (int32_t)period ? random() : p.bytes[i - period]);
            p.any[i] = random() % 5 == 0;
        }
        if ((size_t)p.length > data.size()) continue;
        for (uint32_t k = random() % 6; k > 0; k--) {
            uint64_t run = (uint64_t)p.length + random() % 12, at = random() % data.size();
            for (uint64_t i = 0; i < run && at + i < data.size(); i++) data[at + i] = p.bytes[i % period];
        }
        uint64_t starts = data.size() - p.length + 1;
        uint64_t low = random() % starts, high = low + 1 + random() % (starts - low);
        for (find_scan_path path : {find_scan_avx2, find_scan_sse2, find_scan_plain}) {
            if (!find_scan_path_available(path)) continue;
            uint64_t count = 0;
            find_pattern_visit(data.data(), data.size(), &p, low, high, path, tally, &count);
            ASSERT_EQ(count, naive_count(data, p, low, high)) << round << path;
        }
        load(data);
        sliced_jobs_forget_file();
        uint64_t start = random() % data.size();
        app_state.select_offset = (int64_t)start;
        find_start(&p, false);
        for (int frames = 0; sliced_jobs_running() && frames < 1000; frames++) sliced_jobs_run_for_frame();
        expected_hit hit = naive_search(data, p, start, false);
        if (hit.at < 0) continue;
        std::string expected = (hit.wrapped ? "Wrapped around the end of the file; match " : "Match ") +
                               std::to_string(naive_count(data, p, 0, hit.at) + 1) + " of " +
                               std::to_string(naive_count(data, p, 0, starts)) + " at offset " +
                               std::to_string(hit.at) + ".";
        ASSERT_EQ(status_text(), expected) << round;
    }
}

// Past a million the count stops, and a match past the cap has no number;
// the position bar's buckets still know every part that holds one.
TEST_F(FindSearch, OverAMillionMatchesSaySo) {
    std::vector<uint8_t> data(match_count_cap + 100, 0);
    load(data);
    find_pattern p = {};
    ASSERT_EQ(parse_find_text("0000", 4, &p), find_parse_ok);
    app_state.target_frame_us = 0;
    app_state.select_offset = 0;
    find_start(&p, false);
    sliced_jobs_run_for_frame();
    EXPECT_EQ(status_text(), "Match at offset 1 (counting...)");
    for (int frames = 0; sliced_jobs_running() && frames < 1000; frames++) sliced_jobs_run_for_frame();
    EXPECT_EQ(status_text(), "Match 2 of over 1000000 at offset 1.");
    app_state.select_offset = (int64_t)data.size() - 10;
    find_start(&p, false);
    for (int frames = 0; sliced_jobs_running() && frames < 1000; frames++) sliced_jobs_run_for_frame();
    EXPECT_EQ(status_text(), "Match over 1000000 of over 1000000 at offset 1000091.");
    const find_matches* m = &app_state.prompt.matches;
    EXPECT_NE(m->bucket_matches[(data.size() - 2) >> m->bucket_shift], 0u);
}

// Slices end every few MiB; a match across the end of one and progress on
// the way must both come out right.
TEST_F(FindSearch, SlicesShowProgressAndFindAMatchAcrossTheirBorder) {
    std::vector<uint8_t> data(20u << 20, 0);
    const uint64_t at = (8u << 20) - 2;
    memcpy(&data[at], "MZ\x90", 3);
    load(data);
    find_pattern p = {};
    ASSERT_EQ(parse_find_text("4d5a90", 6, &p), find_parse_ok);
    app_state.select_offset = 0;
    app_state.target_frame_us = 0;  // one slice per frame
    find_start(&p, false);
    sliced_jobs_run_for_frame();
    EXPECT_FALSE(sliced_job_running(sliced_job_find));
    EXPECT_EQ(app_state.select_offset, (int64_t)at);

    memcpy(&data[at], "\0\0\0", 3);
    app_state.select_offset = 5;
    find_start(&p, false);
    sliced_jobs_run_for_frame();
    ASSERT_TRUE(sliced_job_running(sliced_job_find));
    uint32_t first = sliced_job_percent(sliced_job_find);
    EXPECT_GT(first, 30u);
    EXPECT_LT(first, 50u);
    run_to_end();
    EXPECT_EQ(app_state.select_offset, 5);
    EXPECT_EQ(status_text(), "No match in the file.");
}

TEST_F(FindSearch, StopsWhenStoppedOrWhenTheFileChanges) {
    std::vector<uint8_t> data(20u << 20, 1);
    load(data);
    find_pattern p = {};
    ASSERT_EQ(parse_find_text("02", 2, &p), find_parse_ok);
    app_state.select_offset = 7;
    app_state.target_frame_us = 0;
    find_start(&p, true);
    sliced_jobs_run_for_frame();
    ASSERT_TRUE(sliced_job_running(sliced_job_find));
    sliced_job_stop(sliced_job_find);
    EXPECT_FALSE(sliced_job_running(sliced_job_find));
    EXPECT_EQ(status_text(), "Search stopped.");

    find_start(&p, false);
    std::vector<uint8_t> other(100, 2);
    load(other);
    sliced_jobs_run_for_frame();
    EXPECT_FALSE(sliced_job_running(sliced_job_find));
    EXPECT_EQ(app_state.select_offset, 7);
    EXPECT_EQ(status_text(),
              "Search stopped: the file changed.");
}

TEST_F(FindSearch, EmptyFileAndPatternLongerThanTheFileChangeNothing) {
    std::vector<uint8_t> data(1, 0x41);
    load(data);
    app_state.file.size = 0;
    find_pattern p = {};
    ASSERT_EQ(parse_find_text("41", 2, &p), find_parse_ok);
    app_state.select_offset = -1;
    find_start(&p, false);
    EXPECT_FALSE(sliced_job_running(sliced_job_find));
    EXPECT_EQ(app_state.select_offset, -1);
    app_state.file.size = 1;
    ASSERT_EQ(parse_find_text("4141", 4, &p), find_parse_ok);
    app_state.select_offset = 0;
    find_start(&p, false);
    EXPECT_FALSE(sliced_job_running(sliced_job_find));
    EXPECT_EQ(app_state.select_len, 1);
    EXPECT_EQ(status_text(),
              "No match: the file is shorter than the pattern.");
}

}  // namespace
