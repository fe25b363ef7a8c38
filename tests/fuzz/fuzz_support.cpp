// The fuzz targets' shared helpers: input reading, the type table's reset
// and the capture of standard output.
#include "fuzz_support.h"

#include <stdio.h>
#include <unistd.h>

#include "app/app_state.h"
#include "os/os.h"
#include "types/growable_array.h"
#include "types/type_table.h"

uint8_t take_u8(fuzz_reader* in) { return in->at < in->size ? in->data[in->at++] : 0; }

uint16_t take_u16(fuzz_reader* in) { return (uint16_t)(take_u8(in) | take_u8(in) << 8); }

uint32_t take_u32(fuzz_reader* in) { return (uint32_t)take_u16(in) | (uint32_t)take_u16(in) << 16; }

int64_t take_between(fuzz_reader* in, int64_t low, int64_t high) {
    uint64_t span = (uint64_t)high - (uint64_t)low;
    uint64_t raw = (uint64_t)take_u32(in) | (uint64_t)take_u32(in) << 32;
    if (span == UINT64_MAX) return (int64_t)raw;
    return (int64_t)((uint64_t)low + raw % (span + 1));
}

bool reader_done(const fuzz_reader* in) { return in->at >= in->size; }

void reset_type_table(void) {
    if (!app_state.types.items) {
        register_builtin_types();
        return;
    }
    type_info* entries = (type_info*)app_state.types.items;
    for (int64_t i = 1 + builtin_type_count; i < app_state.types.count; i++) {
        member* members = (member*)entries[i].members.items;
        for (int64_t k = 0; members && k < entries[i].members.count; k++) os_free(members[k].name);
        if (members) os_free(members);
        os_free(entries[i].name);
    }
    if (app_state.types.count > 1 + builtin_type_count) app_state.types.count = 1 + builtin_type_count;
    reset_type_colors();
}

static FILE* capture_file;

void capture_stdout_begin(void) {
    fflush(stdout);
    if (!capture_file) {
        capture_file = tmpfile();
        if (!capture_file) return;
        dup2(fileno(capture_file), STDOUT_FILENO);
    }
    if (ftruncate(STDOUT_FILENO, 0) != 0) return;
    lseek(STDOUT_FILENO, 0, SEEK_SET);
}

size_t captured_stdout(char* into, size_t capacity) {
    if (!capture_file) return 0;
    ssize_t got = pread(STDOUT_FILENO, into, capacity, 0);
    return got > 0 ? (size_t)got : 0;
}
