// The overview: byte kinds of synthetic data known by construction, the
// counts against a plain loop, the sampled rows of a real file against whole
// ones, a sparse file's holes, and the track's colours.
#include <unistd.h>

#include <algorithm>
#include <random>

#include "test_support.h"
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
    // A row longer than its budget is read in pieces spread over it, inside
    // it, apart, within the budget, reaching from its first page to its last.
    for (int round = 0; round < 2000; round++) {
        uint64_t start = random() % (1ull << 40), length = 1 + random() % (64u << 20);
        uint64_t budget = 1 + random() % (1u << 20), end = start + length;
        row_samples plan = plan_row_samples(start, end, budget);
        ASSERT_LE(plan.pieces * plan.piece_bytes, std::min(budget, length)) << start << "+" << length;
        uint64_t last_end = start;
        for (uint32_t i = 0; i < plan.pieces; i++) {
            uint64_t at = row_sample_start(start, end, plan, i);
            ASSERT_TRUE(at >= last_end && at + plan.piece_bytes <= end) << start << "+" << length << " " << i;
            last_end = at + plan.piece_bytes;
        }
        if (plan.pieces > 1) {
            EXPECT_LE(row_sample_start(start, end, plan, 0), start + 4096);
            EXPECT_GE(last_end + 4096, end);
        }
    }
}

class Overview : public ViewsTest {
protected:
    os_mapped_file mapped = {{0, nullptr}, 0, -1};

    void show(const std::string& path) {
        mapped = os_map_file(os_string(path.c_str()));
        ASSERT_NE(mapped.contents.data, nullptr);
        app_state.file = mapped.contents;
        app_state.file_mapped_bytes = mapped.mapped_bytes;
        app_state.file_guard_slot = mapped.guard_slot;
        frame();
        while (overview_step()) {}
    }
    void TearDown() override {
        app_state.file = file_contents{};
        if (mapped.contents.data) os_unmap_file(&mapped);
    }
};

// Runs of each kind from a fraction of a row to several rows long: every row
// inside one run gets the kind a count of all its bytes gives, from samples.
TEST_F(Overview, SampledRowsAgreeWithWholeRowsWhereARowIsOneKind) {
    const size_t size = 48 << 20;
    std::mt19937 random(9);
    const uint8_t common[] = {0x00, 0x48, 0x89, 0x8b, 0xe8, 0xff, 0x0f, 0x85, 0x24, 0x45, 0xc3, 0x74, 0x08, 0x10};
    auto byte_of = [&](int kind) -> uint8_t {
        switch (kind) {
        case byte_kind_zero: return 0;
        case byte_kind_ff: return 0xff;
        case byte_kind_text: return random() % 40 ? 32 + random() % 95 : '\n';
        case byte_kind_random: return (uint8_t)random();
        default: return random() % 3 ? common[random() % sizeof common] : (uint8_t)random();  // code-like
        }
    };
    std::vector<uint8_t> bytes;
    std::vector<size_t> run_ends;
    while (bytes.size() < size) {
        int kind = 1 + (int)(random() % (byte_kind_count - 1));
        size_t length = std::min(size - bytes.size(), (size_t)(16 << 10) + random() % (size / 100));
        for (size_t i = 0; i < length; i++) bytes.push_back(byte_of(kind));
        run_ends.push_back(bytes.size());
    }
    show(write_temp_file("kinds.bin", bytes.data(), bytes.size()));
    const overview_state* o = &app_state.overview;
    ASSERT_EQ(o->done, o->rows);
    EXPECT_LE(o->bytes_read, overview_pass_bytes);
    int32_t one_kind = 0;
    for (int32_t row = 0; row < o->rows; row++) {
        uint64_t start, end;
        overview_row_range(size, o->rows, row, &start, &end);
        auto run = std::upper_bound(run_ends.begin(), run_ends.end(), start);
        if (end > *run) continue;  // the row mixes kinds
        one_kind++;
        byte_counts counts = {};
        count_bytes(bytes.data() + start, end - start, &counts);
        EXPECT_EQ(o->kinds[row], summarise_counts(&counts).kind) << "row " << row;
    }
    EXPECT_GT(one_kind, o->rows / 2);
}

TEST_F(Overview, ASparseFilesHolesAreZeroWithoutBeingRead) {
    const uint64_t size = 64ull << 30, data_at = 40ull << 30;
    std::string path = write_temp_file("sparse.bin", "", 0);
    std::vector<uint8_t> data = random_bytes(1 << 20, 8);
    ASSERT_EQ(truncate(path.c_str(), (off_t)size), 0);
    ASSERT_EQ(os_write_bytes_at(os_string(path.c_str()), data_at, (uint32_t)data.size(), data.data()), 0);
    show(path);
    const overview_state* o = &app_state.overview;
    ASSERT_EQ(o->done, o->rows);
    EXPECT_LE(o->bytes_read, data.size());
    for (int32_t row = 0; row < o->rows; row++) {
        uint64_t start, end;
        overview_row_range(size, o->rows, row, &start, &end);
        if (end <= data_at || start >= data_at + data.size()) {
            EXPECT_EQ(o->kinds[row], byte_kind_zero) << row;
        }
    }
}

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
