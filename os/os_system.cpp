#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <string.h>
#include <unistd.h>

#include "os/os.h"
#include "os/os_time_private.h"

enum : uint64_t { proc_file_initial_capacity = 4096 };
// A path buffer doubles from PATH_MAX at most this many times before giving up.
enum : int { path_growth_attempts = 8 };

// Process strings, each filled on first request and kept for the process's life.
static utf8_string cached_command_line;
static utf8_string* cached_arguments;
static char* cached_argument_text;
static int32_t cached_argument_count;
static utf8_string cached_executable_name;
static utf8_string cached_executable_directory;
static utf8_string cached_current_directory;

utf8_string os_string(const char* nul_terminated) {
    if (!nul_terminated) return {0, nullptr};
    return {(int64_t)strlen(nul_terminated), nul_terminated};
}

void os_init(void) {
    // X11 has no per-process DPI awareness to switch on; only the clock is cached.
    os_cache_clock_frequency();
}

uint32_t os_processor_count(void) {
    long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? (uint32_t)count : 1;
}

uint64_t os_physical_memory(void) {
    long pages = sysconf(_SC_PHYS_PAGES);
    long page_size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_size <= 0) return 0;
    return (uint64_t)pages * (uint64_t)page_size;
}

// Reads a small pseudo-file whose size the system does not report; NUL-terminated.
static char* read_proc_file(const char* path, int64_t* out_length) {
    *out_length = 0;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    uint64_t capacity = proc_file_initial_capacity, length = 0;
    char* text = (char*)os_alloc(capacity);
    while (text) {
        if (capacity - length < 2) {
            char* grown = (char*)os_realloc(text, capacity * 2);
            if (!grown) break;
            text = grown;
            capacity *= 2;
        }
        ssize_t got = read(fd, text + length, capacity - length - 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        length += (uint64_t)got;
    }
    close(fd);
    if (text) text[length] = 0;
    *out_length = (int64_t)length;
    return text;
}

static char* copy_text(const char* text, int64_t length) {
    char* copy = (char*)os_alloc((uint64_t)length + 1);
    if (!copy) return nullptr;
    memcpy(copy, text, (size_t)length);
    copy[length] = 0;
    return copy;
}

utf8_string os_command_line(void) {
    if (cached_command_line.data) return cached_command_line;
    int64_t length = 0;
    char* text = read_proc_file("/proc/self/cmdline", &length);
    if (!text) {
        cached_command_line = {0, copy_text("", 0)};
        return cached_command_line;
    }
    for (int64_t i = 0; i < length; i += 1) {
        if (text[i] == 0) text[i] = ' ';
    }
    while (length > 0 && text[length - 1] == ' ') length -= 1;
    text[length] = 0;
    cached_command_line = {length, text};
    return cached_command_line;
}

utf8_string* os_command_line_arguments(int32_t* count) {
    if (!cached_argument_text) {
        int64_t length = 0;
        char* text = read_proc_file("/proc/self/cmdline", &length);
        cached_argument_text = text;
        // The block is NUL-terminated, so a last string without its own NUL still ends.
        if (length > 0 && text[length - 1] != 0) length += 1;
        int32_t total = 0;
        for (int64_t i = 0; i < length; i += 1) {
            if (text[i] == 0) total += 1;
        }
        // The first string is the program's own name.
        int32_t wanted = total > 0 ? total - 1 : 0;
        os_free(cached_arguments);
        cached_arguments = (utf8_string*)os_alloc_zeroed(sizeof(utf8_string) * (uint64_t)(wanted + 1));
        int32_t index = -1;
        int64_t start = 0;
        for (int64_t i = 0; i < length; i += 1) {
            if (text[i] != 0) continue;
            if (index >= 0) cached_arguments[index] = {i - start, text + start};
            index += 1;
            start = i + 1;
        }
        cached_argument_count = wanted;
    }
    if (count) *count = cached_argument_count;
    return cached_arguments;
}

// The executable's full path, NUL-terminated, or null.
static char* executable_path(int64_t* out_length) {
    uint64_t capacity = PATH_MAX;
    for (int attempt = 0; attempt < path_growth_attempts; attempt += 1) {
        char* path = (char*)os_alloc(capacity);
        if (!path) return nullptr;
        ssize_t length = readlink("/proc/self/exe", path, capacity);
        if (length < 0) {
            os_free(path);
            return nullptr;
        }
        if ((uint64_t)length < capacity) {
            path[length] = 0;
            *out_length = length;
            return path;
        }
        os_free(path);
        capacity *= 2;
    }
    return nullptr;
}

static void fill_executable_strings(void) {
    int64_t length = 0;
    char* path = executable_path(&length);
    if (!path) {
        cached_executable_name = {0, copy_text("", 0)};
        cached_executable_directory = {0, copy_text("", 0)};
        return;
    }
    int64_t slash = length - 1;
    while (slash >= 0 && path[slash] != '/') slash -= 1;
    cached_executable_name = {length - (slash + 1), copy_text(path + slash + 1, length - (slash + 1))};
    cached_executable_directory = {slash + 1, copy_text(path, slash + 1)};
    os_free(path);
}

utf8_string os_executable_name(void) {
    if (!cached_executable_name.data) fill_executable_strings();
    return cached_executable_name;
}

utf8_string os_executable_directory(void) {
    if (!cached_executable_directory.data) fill_executable_strings();
    return cached_executable_directory;
}

utf8_string os_current_directory(void) {
    if (cached_current_directory.data) return cached_current_directory;
    uint64_t capacity = PATH_MAX;
    char* path = nullptr;
    for (int attempt = 0; attempt < path_growth_attempts; attempt += 1) {
        path = (char*)os_alloc(capacity + 1);
        if (!path) break;
        if (getcwd(path, capacity)) break;
        os_free(path);
        path = nullptr;
        if (errno != ERANGE) break;
        capacity *= 2;
    }
    if (!path) {
        cached_current_directory = {0, copy_text("", 0)};
        return cached_current_directory;
    }
    int64_t length = (int64_t)strlen(path);
    if (length == 0 || path[length - 1] != '/') {
        path[length] = '/';
        length += 1;
        path[length] = 0;
    }
    cached_current_directory = {length, path};
    return cached_current_directory;
}
