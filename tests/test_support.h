// Helpers shared by the test programs: scratch files and an X display.
#pragma once

#include <stdint.h>
#include <sys/types.h>

#include <functional>
#include <string>

// A fresh directory under the system's temporary folder, removed at exit.
std::string make_temp_dir(void);
std::string write_temp_file(const std::string& name, const void* bytes, uint64_t size);
std::string read_text_file(const std::string& path);
std::string source_dir(void);

// Runs `run` with standard output (or another descriptor) sent to a file; what it wrote.
std::string capture_stdout(const std::function<void()>& run, int descriptor = 1);

// Under CI (CI=true) every tool the tests use is installed: a test that
// cannot run there fails instead of skipping.
bool running_in_ci(void);
#define SKIP_OR_FAIL_UNDER_CI(why) \
    do { if (running_in_ci()) FAIL() << "cannot run under CI: " << why; GTEST_SKIP() << why; } while (0)

// Starts Xvfb on display unix:N and gives its process; N, or -1 when that
// server did not come up (number taken, or no Xvfb).
int start_xvfb(int number, pid_t* server);

// Starts a private Xvfb server (once per process) and points DISPLAY at it
// unless DISPLAY already names a working server. False when none can be had.
bool ensure_x_display(void);
