// The application's formatted print to standard output, which every layer
// above the platform may use.
#pragma once

#include <stdint.h>

// printf-style, formatted by stb_sprintf in 1024-byte chunks to standard
// output; returns the number of bytes produced.
int64_t app_print(const char* format, ...) __attribute__((format(printf, 1, 2)));
