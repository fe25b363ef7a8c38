// The process-wide record of the last file error and its text.
#include <string.h>

#include "os/os.h"
#include "os/os_file_error.h"

enum : uint64_t { error_text_size = 512 };

static int32_t last_error_code;
static char last_error_text[error_text_size];

void os_record_file_error(int32_t code) {
    last_error_code = code;
    last_error_text[0] = 0;
    if (code == 0) return;
    if (code == os_file_error_not_regular) {
        strcpy(last_error_text, "Not a regular file");
        return;
    }
    // The GNU strerror_r may return a static text instead of filling the buffer.
    char scratch[error_text_size];
    const char* text = strerror_r(code, scratch, sizeof scratch);
    if (!text) return;
    strncpy(last_error_text, text, error_text_size - 1);
    last_error_text[error_text_size - 1] = 0;
}

int32_t os_last_file_error_code(void) { return last_error_code; }

utf8_string os_last_error_message(void) {
    if (last_error_code == 0) return {0, nullptr};
    return os_string(last_error_text);
}
