#include <string.h>

#include "os/os_path.h"

void os_path_begin(os_c_path* out, utf8_string path) {
    out->text = out->small;
    out->small[0] = 0;
    if (path.length <= 0 || !path.data) return;
    uint64_t length = (uint64_t)path.length;
    // An inner NUL would silently name a different, shorter path.
    if (memchr(path.data, 0, length)) return;
    if (length >= os_path_small_size) {
        char* block = (char*)os_alloc(length + 1);
        if (!block) return;
        out->text = block;
    }
    memcpy(out->text, path.data, length);
    out->text[length] = 0;
}

void os_path_end(os_c_path* path) {
    if (path->text != path->small) os_free(path->text);
    path->text = path->small;
}
