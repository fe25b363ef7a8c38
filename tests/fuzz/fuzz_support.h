// What the fuzz targets share: the entry point's signature, a reader that
// takes small values off the front of an input, and the type table brought
// back to its built-in entries between inputs.
#pragma once

#include <stddef.h>
#include <stdint.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

struct fuzz_reader {
    const uint8_t* data;
    size_t size;
    size_t at;
};

uint8_t take_u8(fuzz_reader* in);
uint16_t take_u16(fuzz_reader* in);
uint32_t take_u32(fuzz_reader* in);
// A value in [low, high], spread over the range from the next bytes.
int64_t take_between(fuzz_reader* in, int64_t low, int64_t high);
bool reader_done(const fuzz_reader* in);

// Registers the built-in types once; afterwards frees every entry parsed
// since, so that millions of inputs run in constant memory.
void reset_type_table(void);

// Standard output goes to a scratch file for the whole run; these read and
// empty it, so that a target can check what it printed.
void capture_stdout_begin(void);
size_t captured_stdout(char* into, size_t capacity);
