// The overview: byte kinds of synthetic data known by construction, the
// counts against a plain loop, the rows covering the file, and the track
// coloured and named row by row as the frame loop fills it in.
#include <math.h>

#include <random>

#include "views/byte_kinds.h"
#include "views/views.h"
#include "views_fixture.h"

namespace {

std::vector<uint8_t> random_bytes(size_t n, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> out(n);
    for (uint8_t& b : out) b = (uint8_t)random();
    return out;
}

std::vector<uint8_t> text_bytes(size_t n) {
    static const char line[] = "int main(void) { return printf(\"%d\\n\", 42); }\r\n\tThe quick brown fox.\n";
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; i++) out[i] = (uint8_t)line[i % (sizeof line - 1)];
    return out;
}

byte_summary summary_of(const std::vector<uint8_t>& bytes) {
    byte_counts counts = {};
    count_bytes(bytes.data(), bytes.size(), &counts);
    return summarise_counts(&counts);
}

TEST(ByteKinds, SyntheticDataGetsTheKindItWasMadeAs) {
    std::vector<uint8_t> mostly_zero(4096, 0);
    mostly_zero[100] = 1;
    std::vector<uint8_t> two_values(4096);
    for (size_t i = 0; i < two_values.size(); i++) two_values[i] = i % 2 ? 0x90 : 0x00;
    std::vector<uint8_t> every_value(256 * 16);
    for (size_t i = 0; i < every_value.size(); i++) every_value[i] = (uint8_t)i;
    std::vector<uint8_t> text_with_binary = text_bytes(4096);
    for (size_t i = 0; i < 4096; i += 5) text_with_binary[i] = 0x01;  // 20% control bytes
    struct {
        const char* name;
        std::vector<uint8_t> bytes;
        uint8_t kind;
        double entropy;  // -1: not checked
    } cases[] = {
        {"zeros", std::vector<uint8_t>(70000, 0), byte_kind_zero, 0},
        {"0xFF", std::vector<uint8_t>(70000, 0xff), byte_kind_ff, 0},
        {"one zero", {0}, byte_kind_zero, 0},
        {"text", text_bytes(100000), byte_kind_text, -1},
        {"random", random_bytes(1 << 20, 1), byte_kind_random, -1},
        {"every value equally", every_value, byte_kind_random, 8},
        {"two values equally", two_values, byte_kind_binary, 1},
        {"nearly all zero", mostly_zero, byte_kind_binary, -1},
        {"text with 20% control bytes", text_with_binary, byte_kind_binary, -1},
        // Short random runs cannot show 256 values: entropy stays below 7.2.
        {"random, 100 bytes", random_bytes(100, 2), byte_kind_binary, -1},
    };
    for (const auto& c : cases) {
        byte_summary s = summary_of(c.bytes);
        EXPECT_EQ(s.kind, c.kind) << c.name << " (" << byte_kind_name(s.kind) << ")";
        if (c.entropy >= 0) {
            EXPECT_NEAR(s.entropy, c.entropy, 1e-4) << c.name;
        }
        EXPECT_GE(s.entropy, 0) << c.name;
        EXPECT_LE(s.entropy, 8.0001) << c.name;
    }
    EXPECT_GT(summary_of(random_bytes(1 << 20, 3)).entropy, 7.99);
    byte_counts none = {};
    EXPECT_EQ(summarise_counts(&none).kind, byte_kind_pending);
}

TEST(ByteKinds, CountsAgreeWithAPlainLoopAndSamplesStayInTheRange) {
    std::vector<uint8_t> bytes = random_bytes(1 << 16, 4);
    std::mt19937 random(5);
    for (int round = 0; round < 200; round++) {
        size_t start = random() % bytes.size(), length = random() % (bytes.size() - start);
        byte_counts counts = {}, plain = {};
        count_bytes(bytes.data() + start, length, &counts);
        for (size_t i = start; i < start + length; i++) plain.of[bytes[i]]++;
        ASSERT_EQ(counts.total, length);
        ASSERT_EQ(memcmp(counts.of, plain.of, sizeof plain.of), 0) << start << "+" << length;
    }
    // A large range is read in pieces spread over it: zeros with random
    // bytes only in its last megabyte still count some of those.
    std::vector<uint8_t> large(64 << 20, 0);
    std::vector<uint8_t> tail = random_bytes(1 << 20, 6);
    memcpy(large.data() + large.size() - tail.size(), tail.data(), tail.size());
    byte_counts counts = {};
    count_range_sampled(large.data(), 0, large.size(), &counts);
    EXPECT_LE(counts.total, 2u << 20);
    EXPECT_LT(counts.of[0], counts.total);
}

TEST(ByteKinds, RowsCoverTheFileInOrderWithoutGaps) {
    for (uint64_t size : {(uint64_t)1, (uint64_t)7, (uint64_t)600, (uint64_t)601, (uint64_t)1 << 20, ((uint64_t)1 << 36) + 3, UINT64_MAX / 2}) {
        for (int32_t rows : {1, 3, 599, 600, 2000}) {
            uint64_t previous_end = 0;
            for (int32_t row = 0; row < rows; row++) {
                uint64_t start, end;
                overview_row_range(size, rows, row, &start, &end);
                ASSERT_LT(start, end) << size << " " << rows << " " << row;
                ASSERT_LE(end, size) << size << " " << rows << " " << row;
                // Fewer bytes than rows: neighbouring rows share a byte.
                ASSERT_EQ(start, size >= (uint64_t)rows ? previous_end : start) << size << " " << rows;
                previous_end = end;
            }
            EXPECT_EQ(previous_end, size) << size << " " << rows;
        }
    }
}

class Overview : public ViewsTest {};

TEST_F(Overview, TrackShowsAndNamesEachQuarterOnceSummarised) {
    const size_t quarter = 1 << 20;
    std::vector<uint8_t> bytes(quarter, 0);
    std::vector<uint8_t> ff(quarter, 0xff), text = text_bytes(quarter), noise = random_bytes(quarter, 7);
    for (const auto* part : {&ff, &text, &noise}) bytes.insert(bytes.end(), part->begin(), part->end());
    load(bytes);
    frame();
    rect track = position_bar_track();
    int32_t x = track.x + 1;
    color bare = pixel(x, track.y + track.h / 8);
    EXPECT_TRUE(overview_pending());
    while (overview_step()) {}
    EXPECT_FALSE(overview_pending());

    // The middle of each quarter, below the thumb at the top.
    const char* names[] = {"all zero", "all 0xFF", "mostly text", "high entropy"};
    std::vector<color> seen;
    for (int q = 0; q < 4; q++) {
        int32_t y = track.y + track.h * (2 * q + 1) / 8;
        move_to(x, y);
        frame();
        seen.push_back(pixel(x, y));
        ASSERT_TRUE(build_overview_hover_line(&app_state.text));
        std::string line(app_state.text.data, app_state.text.length);
        EXPECT_NE(pixel(x, y), bare) << names[q];
        EXPECT_NE(line.find(std::string(": ") + names[q]), std::string::npos) << line;
        EXPECT_EQ(line.rfind("0x", 0), 0u) << line;
    }
    for (int a = 0; a < 4; a++)
        for (int b = a + 1; b < 4; b++) EXPECT_NE(seen[a], seen[b]) << names[a] << " and " << names[b];

    move_to(track.x - 50, track.y);
    frame();
    EXPECT_FALSE(build_overview_hover_line(&app_state.text));

    // Another file starts over.
    bytes.assign(bytes.size() + 16, 0x41);
    load(bytes);
    EXPECT_TRUE(overview_pending());
    frame();
    EXPECT_EQ(pixel(x, track.y + track.h * 7 / 8), bare);
}

}  // namespace
