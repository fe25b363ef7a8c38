// Helpers shared by the test programs: scratch files and an X display.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>

// A fresh directory under the system's temporary folder, removed at exit.
std::string make_temp_dir(void);
std::string write_temp_file(const std::string& name, const void* bytes, uint64_t size);
std::string read_text_file(const std::string& path);
std::string source_dir(void);

// Runs `run` with standard output redirected to a file; returns what it wrote.
std::string capture_stdout(const std::function<void()>& run);

// Starts a private Xvfb server (once per process) and points DISPLAY at it
// unless DISPLAY already names a working server. False when none can be had.
bool ensure_x_display(void);
