// The parser of types.c: struct, union, enum and typedef declarations
// appended to app_state.types. Errors are printed and stop the parse.
#pragma once

#include <stdint.h>

// text must be followed in memory by at least one zero byte.
void create_types_from_code(const char* text, uint64_t size);
