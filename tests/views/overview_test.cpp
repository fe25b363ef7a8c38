// The overview: byte kinds of synthetic data known by construction, the
// counts against a plain loop, and the track's colours.
#include <random>

#include "views/byte_kinds.h"
#include "views/views.h"
#include "views_fixture.h"

namespace {

// n bytes, byte i given by `byte(i)`.
template <typename F>
std::vector<uint8_t> made(size_t n, F byte) {
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; i++) out[i] = (uint8_t)byte(i);
    return out;
}
std::vector<uint8_t> random_bytes(size_t n, uint32_t seed) {
    std::mt19937 random(seed);
    return made(n, [&](size_t) { return random(); });
}
const char text_line[] = "int main(void) { return printf(\"%d\\n\", 42); }\r\n\tThe quick brown fox.\n";
std::vector<uint8_t> text_bytes(size_t n) {
    return made(n, [](size_t i) { return text_line[i % (sizeof text_line - 1)]; });
}

TEST(ByteKinds, SyntheticDataGetsTheKindItWasMadeAs) {
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
        {"every value equally", made(4096, [](size_t i) { return i; }), byte_kind_random, 8},
        {"two values equally", made(4096, [](size_t i) { return i % 2 ? 0x90 : 0; }), byte_kind_binary, 1},
        {"nearly all zero", made(4096, [](size_t i) { return i == 100; }), byte_kind_binary, -1},
        {"text with 20% control bytes",
         made(4096, [](size_t i) { return i % 5 ? text_line[i % (sizeof text_line - 1)] : 1; }), byte_kind_binary, -1},
        // Short random runs cannot show 256 values: entropy stays below 7.2.
        {"random, 100 bytes", random_bytes(100, 2), byte_kind_binary, -1},
    };
    for (const auto& c : cases) {
        byte_counts counts = {};
        count_bytes(c.bytes.data(), c.bytes.size(), &counts);
        byte_summary s = summarise_counts(&counts);
        EXPECT_EQ(s.kind, c.kind) << c.name << " (" << byte_kind_name(s.kind) << ")";
        if (c.entropy >= 0) {
            EXPECT_NEAR(s.entropy, c.entropy, 1e-4) << c.name;
        }
    }
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

class Overview : public ViewsTest {};

// The kinds' names in the answer line are read in the real program's test.
TEST_F(Overview, EachKindHasItsColourAndAnotherFileStartsOver) {
    const size_t quarter = 1 << 20;
    std::vector<uint8_t> bytes(quarter, 0), ff(quarter, 0xff), text = text_bytes(quarter);
    std::vector<uint8_t> noise = random_bytes(quarter, 7);
    for (const auto* part : {&ff, &text, &noise}) bytes.insert(bytes.end(), part->begin(), part->end());
    load(bytes);
    frame();
    rect track = position_bar_track();
    int32_t x = track.x + 1;
    std::vector<color> seen = {pixel(x, track.y + track.h / 8)};  // not summarised yet: the bare track
    while (overview_step()) {}
    EXPECT_FALSE(overview_pending());
    frame();
    for (int q = 0; q < 4; q++) seen.push_back(pixel(x, track.y + track.h * (2 * q + 1) / 8));
    for (size_t a = 0; a < seen.size(); a++)
        for (size_t b = a + 1; b < seen.size(); b++) EXPECT_NE(seen[a], seen[b]) << a << " and " << b;

    bytes.assign(bytes.size() + 16, 0x41);
    load(bytes);
    EXPECT_TRUE(overview_pending());
    frame();
    EXPECT_EQ(pixel(x, track.y + track.h * 7 / 8), seen[0]);
}

}  // namespace
