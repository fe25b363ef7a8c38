// Measuring the selection: every figure against python3's hashlib, zlib and
// its own entropy on real files, shared among workers as on one to four
// cores, and what it says when there is nothing to measure or the file
// shrinks under it.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <random>

#include "app/app.h"
#include "app/measure_selection.h"
#include "app/prompt_line.h"
#include "app/sliced_jobs.h"
#include "app_test_support.h"

namespace {

// The first line a command prints.
std::string run(const std::string& command) {
    char line[512] = "";
    if (FILE* pipe = popen(command.c_str(), "r")) {
        if (!fgets(line, sizeof line, pipe)) line[0] = 0;
        pclose(pipe);
    }
    return std::string(line, strcspn(line, "\n"));
}

class MeasureTest : public ::testing::Test {
protected:
    fake_window fake;
    os_mapped_file mapped = {{0, nullptr}, 0, -1};

    void SetUp() override { use_fake_window(&fake, 1280, 720, false); }
    void TearDown() override { show(""); }

    // Maps the file at `path` and shows it; "" unmaps the last one.
    void show(const std::string& path) {
        if (mapped.contents.data) os_unmap_file(&mapped);
        app_state.file = file_contents{};
        if (path.empty()) return;
        mapped = os_map_file(os_string(path.c_str()));
        ASSERT_NE(mapped.contents.data, nullptr) << path;
        app_state.file = mapped.contents;
        app_state.file_mapped_bytes = mapped.mapped_bytes;
        app_state.file_guard_slot = mapped.guard_slot;
    }

    void control(char letter) {
        send_key(os_key_control, os_key_state_pressed);
        send_key((uint16_t)(os_key_a + (letter - 'a')), os_key_state_pressed);
        send_key((uint16_t)(os_key_a + (letter - 'a')), os_key_state_released);
        send_key(os_key_control, os_key_state_released);
    }

    // Ctrl+I (or the figures shared as for that many cores), then frames of
    // one slice each until it ends.
    void measure(int64_t offset, int64_t length, uint32_t cores = 0) {
        app_state.select_offset = offset;
        app_state.select_len = length;
        app_state.target_frame_us = 0;
        if (cores) measure_start_on(cores);
        else control('i');
        for (int frames = 0; sliced_job_running(sliced_job_measure) && frames < 100000; frames++)
            sliced_jobs_run_for_frame();
    }

    static std::string whole_line() {
        char line[256];
        uint32_t length = write_measure_line(&app_state.measure.result, true, line, sizeof line);
        return std::string(line, length);
    }
};

TEST_F(MeasureTest, FiguresAgreeWithTheReferenceToolsOnRealFilesOnAnyCores) {
    std::string noise(3 << 20, 0);
    for (std::mt19937 random(11); char& b : noise) b = (char)random();
    std::string noise_path = write_temp_file("measure_noise.bin", noise.data(), noise.size());
    struct {
        std::string path;
        int64_t offset, length;  // length -1: the whole file
        bool read_whole;         // the bytes in memory, as for a pipe, rather than read by the workers
    } cases[] = {
        {"/bin/ls", 0, -1, false},
        {source_dir() + "/README.md", 0, -1, true},
        {source_dir() + "/render/mono.png", 17, 1000, false},
        {noise_path, 12345, (2 << 20) + 7, false},  // many pieces, not on their bounds
        {noise_path, 1, (3 << 20) - 1, true},
    };
    for (const auto& c : cases) {
        show(c.path);
        if (c.read_whole) app_state.file_guard_slot = -1;
        int64_t length = c.length < 0 ? (int64_t)app_state.file.size : c.length;
        std::string expected = run(
            "python3 -c 'import sys, zlib, hashlib, math, collections\n"
            "d = open(sys.argv[1], \"rb\").read()[int(sys.argv[2]):][:int(sys.argv[3])]\n"
            "e = -sum(n / len(d) * math.log2(n / len(d)) for n in collections.Counter(d).values())\n"
            "print(\"%d byte%s | CRC-32 %08X | SHA-256 %s | SHA-1 %s | entropy %.2f\" % (len(d), \"\" if len(d) == 1 "
            "else \"s\", zlib.crc32(d), hashlib.sha256(d).hexdigest(), hashlib.sha1(d).hexdigest(), e + 0))' " +
            c.path + " " + std::to_string(c.offset) + " " + std::to_string(length));
        for (uint32_t cores : {1u, 2u, 3u, 4u, 0u}) {
            app_state.measure.result = measure_result{};
            measure(c.offset, length, cores);
            EXPECT_EQ(whole_line(), expected) << c.path << " on " << cores << " cores";
        }
    }
}

TEST_F(MeasureTest, NothingToMeasureStopsAndTheBytesPastTheEnd) {
    show(write_temp_file("measure_small.bin", "test", 4));
    struct {
        int64_t offset, length;
        uint64_t file_size;
        std::string message;
    } cases[] = {
        {0, 4, 4, "4 bytes | CRC-32 D87F7E0C | SHA-256 9f86d0...0a08 | entropy 1.50"},
        {2, 10, 4, "2 bytes (8 past the end left out) | CRC-32 12A38DEF | SHA-256 56af4b...6d74 | entropy 1.00"},
        {-1, 1, 4, "Nothing to measure: the selection is empty."},
        {1, 0, 4, "Nothing to measure: the selection is empty."},
        {4, 1, 4, "Nothing to measure: the selection lies past the end of the file."},
        {0, 1, 0, "Nothing to measure: the file is empty."},
    };
    for (const auto& c : cases) {
        app_state.file.size = c.file_size;
        measure(c.offset, c.length);
        EXPECT_EQ(status_text(), c.message) << c.offset << "," << c.length;
    }

    std::string big(8 << 20, 1);
    show("");
    load_dropped_files(path_block({write_temp_file("measure_big.bin", big.data(), big.size())}).c_str());
    app_state.select_len = (int64_t)big.size();
    control('i');
    sliced_jobs_run_for_frame();
    ASSERT_TRUE(text_buffer_create(&app_state.text, 1000));
    build_prompt_line(&app_state.text);
    std::string progress(app_state.text.data, app_state.text.length);
    EXPECT_TRUE(progress.starts_with("Measuring... ") && progress.ends_with("% (Escape stops)")) << progress;
    send_key(os_key_escape, os_key_state_pressed);
    EXPECT_EQ(status_text(), "Measuring stopped.");
    control('i');
    reload_loaded_file();  // the same size, mapped anew
    sliced_jobs_run_for_frame();
    EXPECT_EQ(status_text(), "Measuring stopped: the file changed.");
    EXPECT_FALSE(sliced_job_running(sliced_job_measure));
    // Shrunk under the mapping: the workers find fewer bytes than they were sent for.
    ASSERT_EQ(os_set_file_size(os_string(app_state.file_path), big.size() / 2), 0);
    measure(0, (int64_t)big.size());
    EXPECT_EQ(status_text(), "Measuring stopped: the file changed.");
    release_loaded_file();
    os_free(app_state.file_path);
    app_state.file_path = nullptr;
}

TEST_F(MeasureTest, ControlCRightAfterCopiesTheLineWithDigestsWhole) {
    if (!ensure_x_display()) SKIP_OR_FAIL_UNDER_CI("no X display");
    show(write_temp_file("measure_copy.bin", "test", 4));
    measure(0, 4);
    control('c');
    std::string copied;
    // A busy server can let one request for the clipboard time out.
    for (int tries = 0; tries < 5 && copied != whole_line(); tries++) {
        os_clipboard_result got = os_clipboard_get_text();
        copied.assign(got.data ? (const char*)got.data : "", got.length);
        os_clipboard_free(&got);
    }
    EXPECT_EQ(copied, whole_line());
    EXPECT_EQ(status_text(), "Copied the measurement with the digests whole.");
    // Any other key in between: Ctrl+C copies the bytes again.
    measure(0, 4);
    send_key(os_key_left, os_key_state_pressed);
    control('c');
    EXPECT_EQ(status_text().rfind("Copied 4 bytes", 0), 0u) << status_text();
}

}  // namespace
