// NUL-terminated copies of the layer's length-counted paths for the system calls.
#pragma once

#include <stdint.h>

#include "os/os.h"

enum : uint64_t { os_path_small_size = 1024 };

struct os_c_path {
    char* text;  // points at small unless the path needed the heap
    char small[os_path_small_size];
};

// text is "" (never null) when the copy cannot be made.
void os_path_begin(os_c_path* out, utf8_string path);
void os_path_end(os_c_path* path);
