// Fuzz target: the drop list and X settings parsers. The first byte picks
// the parser; the rest is the data as the X server would hand it over.
#include <stdlib.h>
#include <string.h>

#include "fuzz_support.h"
#include "os/os_private.h"

static void check_path_block(const char* block, uint32_t count) {
    if (!block) return;
    // count paths, each NUL-terminated and not empty, then an empty one.
    const char* at = block;
    for (uint32_t i = 0; i < count; i++) {
        size_t length = strlen(at);
        if (length == 0) abort();
        at += length + 1;
    }
    if (*at != 0) abort();
    os_free((void*)block);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t* rest = data + 1;
    size_t rest_size = size - 1;
    if (data[0] & 1) {
        int32_t time = os_x11_xsettings_double_click_time(rest, rest_size);
        (void)time;
    } else {
        uint32_t count = 0;
        char* block = os_xdnd_parse_uri_list((const char*)rest, (int64_t)rest_size, &count);
        check_path_block(block, count);
    }
    return 0;
}
