#include <errno.h>
#include <unistd.h>

#include "os/os.h"

// A pipe or terminal may take fewer bytes than offered; failures are ignored, as with
// a process that has no output attached.
static void write_all(int fd, utf8_string bytes) {
    if (bytes.length <= 0 || !bytes.data) return;
    const char* at = bytes.data;
    uint64_t left = (uint64_t)bytes.length;
    while (left > 0) {
        ssize_t put = write(fd, at, left);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;
        at += put;
        left -= (uint64_t)put;
    }
}

void os_write_stdout(utf8_string bytes) { write_all(STDOUT_FILENO, bytes); }

void os_write_stderr(utf8_string bytes) { write_all(STDERR_FILENO, bytes); }
