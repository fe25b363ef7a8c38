// Files, directories, libraries, directory watching and the shell: reading and
// writing files, their error texts, listing and watching folders, opening
// paths with the desktop's programs, and the desktop folder.
//
// Index
//   Paths                  NUL-terminated copies for the system calls
//   File errors            the last file error and its text
//   Files                  whole and positioned reads and writes, copies, moves
//   Mapped files           read-only mappings and the guard against truncation
//   Directories            creating, removing, listing
//   Watching               inotify over a directory or a whole subtree
//   File watch             one file, polled beside the X connection
//   Libraries              dlopen and dlsym
//   Shell                  opening with the desktop, the folder picker, the desktop folder
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>

#include "os/os_private.h"

extern char** environ;

// ---------------------------------------------------------------------------
// Paths

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

// ---------------------------------------------------------------------------
// File errors

enum : uint64_t { error_text_size = sizeof os_platform.last_file_error_text };

// Besides errno values: a path that names something other than a regular
// file or a directory (a FIFO, a device, a socket).
enum : int32_t { file_error_not_regular = -1 };

// An errno value or file_error_not_regular; 0 empties the message.
static void record_file_error(int32_t code) {
    os_platform.last_file_error = code;
    char* last_error_text = os_platform.last_file_error_text;
    last_error_text[0] = 0;
    if (code == 0) return;
    if (code == file_error_not_regular) {
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

utf8_string os_last_error_message(void) {
    if (os_platform.last_file_error == 0) return {0, nullptr};
    return os_string(os_platform.last_file_error_text);
}

// ---------------------------------------------------------------------------
// Files

// One read or write call moves at most about 2 GiB on Linux; ask for 1 GiB at a time.
enum : uint64_t {
    transfer_chunk_limit = 1ull << 30,
    read_slack = 64,
    unknown_size_start = 4096,
    copy_buffer_size = 1u << 20,
};

static int open_path(utf8_string path, int flags, mode_t mode) {
    os_c_path c_path;
    os_path_begin(&c_path, path);
    int fd;
    do {
        fd = open(c_path.text, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    os_path_end(&c_path);
    return fd;
}

// A file descriptor for reading, or -1. A directory opens on Linux but is no
// file to read from, so it counts as not openable.
static int open_readable_file(utf8_string path) {
    int fd = open_path(path, O_RDONLY | O_NONBLOCK, 0);
    if (fd < 0) return -1;
    struct stat info;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

static int read_fully(int fd, uint8_t* destination, uint64_t count, uint64_t* out_done) {
    uint64_t done = 0;
    while (done < count) {
        uint64_t want = count - done;
        if (want > transfer_chunk_limit) want = transfer_chunk_limit;
        ssize_t got = read(fd, destination + done, want);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            *out_done = done;
            return errno ? errno : EIO;
        }
        if (got == 0) break;
        done += (uint64_t)got;
    }
    *out_done = done;
    return 0;
}

static int write_fully(int fd, const uint8_t* source, uint64_t count) {
    uint64_t done = 0;
    while (done < count) {
        uint64_t want = count - done;
        if (want > transfer_chunk_limit) want = transfer_chunk_limit;
        ssize_t put = write(fd, source + done, want);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return put < 0 && errno ? errno : EIO;
        done += (uint64_t)put;
    }
    return 0;
}

// Opens a path for reading, non-blocking so that naming a FIFO or a device
// cannot hang the caller, and checks that it names a regular file; -1 on
// failure, with the error recorded (not_regular for what is neither a
// regular file nor a directory). A whole read leaves the last error alone
// when the path cannot be opened at all, so recording that is the caller's
// choice.
static int open_regular_file(utf8_string path, int32_t not_regular, bool record_open_error, struct stat* info) {
    int fd = open_path(path, O_RDONLY | O_NONBLOCK, 0);
    if (fd < 0) {
        if (record_open_error) record_file_error(errno);
        return -1;
    }
    if (fstat(fd, info) != 0) {
        record_file_error(errno);
        close(fd);
        return -1;
    }
    if (!S_ISREG(info->st_mode)) {
        record_file_error(S_ISDIR(info->st_mode) ? EISDIR : not_regular);
        close(fd);
        return -1;
    }
    return fd;
}

file_contents os_read_entire_file(utf8_string path) {
    file_contents result = {0, nullptr};
    struct stat info;
    int fd = open_regular_file(path, EINVAL, false, &info);
    if (fd < 0) return result;

    // The reported size is a hint: files under /proc report 0 and have content, and a
    // file may grow while it is read. Read until the end, growing the block as needed.
    uint64_t reported = info.st_size > 0 ? (uint64_t)info.st_size : 0;
    uint64_t capacity = reported + 1 + read_slack;
    if (reported == 0) capacity = unknown_size_start;
    uint8_t* block = (uint8_t*)os_alloc(capacity);
    uint64_t length = 0;
    int error = block ? 0 : ENOMEM;
    while (block) {
        uint64_t room = capacity - 1 - length;
        if (room == 0) {
            uint64_t grown_capacity = capacity * 2;
            uint8_t* grown = (uint8_t*)os_realloc(block, grown_capacity);
            if (!grown) {
                error = ENOMEM;
                break;
            }
            block = grown;
            capacity = grown_capacity;
            continue;
        }
        uint64_t got = 0;
        error = read_fully(fd, block + length, room, &got);
        length += got;
        if (error || got < room) break;
    }
    record_file_error(error);
    close(fd);
    if (error) {
        os_free(block);
        return result;
    }
    memset(block + length, 0, capacity - length);
    result.size = length;
    result.data = block;
    return result;
}

enum : uint64_t { standard_input_start = 1u << 16 };

file_contents os_read_standard_input(uint64_t limit, int32_t* result) {
    file_contents contents = {0, nullptr};
    uint64_t capacity = standard_input_start;
    uint64_t length = 0;
    uint8_t* block = nullptr;
    int32_t outcome = os_input_ok;
    if (isatty(STDIN_FILENO)) {
        if (result) *result = os_input_terminal;
        return contents;
    }
    for (;;) {
        if (!block || length + 1 == capacity) {
            uint64_t wanted = block ? capacity * 2 : capacity;
            // One byte more than the limit tells a full-sized input from a larger one.
            if (limit && wanted > limit + 2) wanted = limit + 2;
            uint8_t* grown = wanted > length + 1 ? (uint8_t*)os_realloc(block, wanted) : nullptr;
            if (!grown) {
                outcome = os_input_too_large;
                break;
            }
            block = grown;
            capacity = wanted;
        }
        uint64_t got = 0;
        int error = read_fully(STDIN_FILENO, block + length, capacity - 1 - length, &got);
        length += got;
        if (limit && length > limit) {
            outcome = os_input_too_large;
            break;
        }
        if (error) {
            record_file_error(error);
            outcome = os_input_read_failed;
            break;
        }
        if (length + 1 < capacity) break;  // the end of the input came first
    }
    if (result) *result = outcome;
    if (outcome != os_input_ok) {
        os_free(block);
        contents.size = length;
        return contents;
    }
    block[length] = 0;
    contents.size = length;
    contents.data = block;
    return contents;
}

void os_free_file_contents(file_contents* contents) {
    if (!contents) return;
    if (contents->data) os_free(contents->data);
    contents->data = nullptr;
    contents->size = 0;
}

int32_t os_read_bytes_at(utf8_string path, uint64_t offset, uint32_t count, void* destination) {
    int fd = open_readable_file(path);
    if (fd < 0) return os_file_cannot_open;
    if (offset != 0 && lseek(fd, (off_t)offset, SEEK_SET) < 0) {
        record_file_error(errno);
        close(fd);
        return os_file_seek_failed;
    }
    uint64_t got = 0;
    int error = read_fully(fd, (uint8_t*)destination, count, &got);
    close(fd);
    if (error) {
        record_file_error(error);
        return os_file_transfer_failed;
    }
    return os_file_ok;
}

int64_t os_read_file_at(int32_t descriptor, uint64_t offset, uint64_t count, void* destination) {
    if (descriptor < 0 || offset > (uint64_t)INT64_MAX) return -1;
    uint64_t done = 0;
    while (done < count) {
        uint64_t want = count - done;
        if (want > transfer_chunk_limit) want = transfer_chunk_limit;
        ssize_t got = pread(descriptor, (uint8_t*)destination + done, want, (off_t)(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += (uint64_t)got;
    }
    return (int64_t)done;
}

bool os_find_file_data(int32_t descriptor, uint64_t offset, uint64_t* data_start, uint64_t* data_end) {
    *data_start = offset;
    *data_end = UINT64_MAX;
    if (descriptor < 0 || offset > (uint64_t)INT64_MAX) return true;
    off_t data = lseek(descriptor, (off_t)offset, SEEK_DATA);
    if (data < 0) {
        // ENXIO: nothing but holes up to the end; anything else (a file system
        // that cannot tell) counts as data throughout.
        return errno != ENXIO;
    }
    off_t hole = lseek(descriptor, data, SEEK_HOLE);
    *data_start = (uint64_t)data;
    if (hole > data) *data_end = (uint64_t)hole;
    return true;
}

int32_t os_write_bytes(utf8_string path, uint32_t count, const void* source) {
    int fd = open_path(path, O_WRONLY | O_CREAT, 0666);
    if (fd < 0) return os_file_cannot_open;
    int error = write_fully(fd, (const uint8_t*)source, count);
    close(fd);
    return error ? os_file_seek_failed : os_file_ok;
}

int32_t os_write_bytes_at(utf8_string path, uint64_t offset, uint32_t count, const void* source) {
    int fd = open_path(path, O_WRONLY | O_CREAT, 0666);
    if (fd < 0) return os_file_cannot_open;
    if (lseek(fd, (off_t)offset, SEEK_SET) < 0) {
        close(fd);
        return os_file_seek_failed;
    }
    int error = write_fully(fd, (const uint8_t*)source, count);
    close(fd);
    return error ? os_file_transfer_failed : os_file_ok;
}

int32_t os_set_file_size(utf8_string path, uint64_t size) {
    int fd = open_path(path, O_WRONLY, 0);
    if (fd < 0) return os_file_cannot_open;
    if ((int64_t)size < 0) {
        close(fd);
        return os_file_seek_failed;
    }
    int result = ftruncate(fd, (off_t)size) == 0 ? os_file_ok : os_file_transfer_failed;
    close(fd);
    return result;
}

uint64_t os_file_size(utf8_string path) {
    int fd = open_path(path, O_RDONLY | O_NONBLOCK, 0);
    if (fd < 0) return 0;
    struct stat info;
    uint64_t size = 0;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) size = (uint64_t)info.st_size;
    close(fd);
    return size;
}

int32_t os_file_can_open(utf8_string path) {
    int fd = open_readable_file(path);
    if (fd < 0) return 0;
    close(fd);
    return 1;
}

int32_t os_path_exists(utf8_string path) {
    os_c_path c_path;
    os_path_begin(&c_path, path);
    struct stat info;
    int32_t result = c_path.text[0] && stat(c_path.text, &info) == 0 ? 1 : 0;
    os_path_end(&c_path);
    return result;
}

int32_t os_copy_file(utf8_string source, utf8_string destination) {
    int from = open_path(source, O_RDONLY | O_NONBLOCK, 0);
    if (from < 0) return 1;
    struct stat from_info;
    if (fstat(from, &from_info) != 0 || !S_ISREG(from_info.st_mode)) {
        close(from);
        return 1;
    }
    // Opening the destination with truncation would wipe a source that is the same file.
    int to = open_path(destination, O_WRONLY | O_CREAT, from_info.st_mode & 0777);
    struct stat to_info;
    if (to < 0 || fstat(to, &to_info) != 0 ||
        (to_info.st_dev == from_info.st_dev && to_info.st_ino == from_info.st_ino) ||
        ftruncate(to, 0) != 0) {
        if (to >= 0) close(to);
        close(from);
        return 1;
    }
    uint8_t* buffer = (uint8_t*)os_alloc(copy_buffer_size);
    int error = buffer ? 0 : ENOMEM;
    while (!error) {
        uint64_t got = 0;
        error = read_fully(from, buffer, copy_buffer_size, &got);
        if (!error && got > 0) error = write_fully(to, buffer, got);
        if (got < copy_buffer_size) break;
    }
    os_free(buffer);
    close(from);
    if (close(to) != 0 && !error) error = EIO;
    if (error) {
        // A partial copy is worse than none.
        os_c_path c_path;
        os_path_begin(&c_path, destination);
        unlink(c_path.text);
        os_path_end(&c_path);
        return 1;
    }
    return 0;
}

int32_t os_move_file(utf8_string source, utf8_string destination) {
    os_c_path from, to;
    os_path_begin(&from, source);
    os_path_begin(&to, destination);
    int32_t result = 1;
    if (from.text[0] && to.text[0]) {
        if (renameat2(AT_FDCWD, from.text, AT_FDCWD, to.text, RENAME_NOREPLACE) == 0) {
            result = 0;
        } else if (errno == EINVAL || errno == ENOSYS) {
            // The file system cannot refuse to replace by itself; check first.
            struct stat info;
            if (lstat(to.text, &info) != 0 && errno == ENOENT && rename(from.text, to.text) == 0) result = 0;
        } else if (errno == EXDEV) {
            struct stat info;
            if (lstat(to.text, &info) != 0 && errno == ENOENT && stat(from.text, &info) == 0 &&
                S_ISREG(info.st_mode) && os_copy_file(source, destination) == 0) {
                if (unlink(from.text) == 0) result = 0;
                else unlink(to.text);
            }
        }
    }
    os_path_end(&from);
    os_path_end(&to);
    return result;
}

int32_t os_delete_file(utf8_string path) {
    os_c_path c_path;
    os_path_begin(&c_path, path);
    int32_t result = 0;
    if (!c_path.text[0]) result = 1;
    else if (unlink(c_path.text) != 0 && errno != ENOENT) result = 1;
    os_path_end(&c_path);
    return result;
}

// ---------------------------------------------------------------------------
// Mapped files and the fault guard
//
// A mapping is laid into a reservation one page longer than the file's pages,
// so the byte after the contents always exists and is zero. When another
// program truncates the file, reading a page past its new end raises SIGBUS;
// the guard then lays zero pages over the rest of the mapping and lets the
// read run again. The registry is read from the signal handler, so it is a
// fixed array of atomics.

enum : int32_t { guarded_mapping_count = 16 };

struct guarded_mapping {
    std::atomic<uintptr_t> start;  // 0 while the slot is free
    std::atomic<uintptr_t> end;
    std::atomic<uint8_t> damaged;
};

static guarded_mapping guarded_mappings[guarded_mapping_count];
// Each mapping keeps its file open, so that positioned reads and the search for
// holes reach the very file mapped, even after it is renamed over.
static int guarded_descriptors[guarded_mapping_count];
static std::atomic<uintptr_t> guarded_page_size;  // read by the handler, which must not ask the system
static struct sigaction bus_action_before_guard;
static std::atomic<uint8_t> bus_guard_installed;

static uint64_t page_size(void) {
    long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? (uint64_t)size : 4096;
}

bool os_answer_mapping_fault(void* address) {
    uintptr_t at = (uintptr_t)address;
    for (int32_t i = 0; i < guarded_mapping_count; i++) {
        guarded_mapping* m = &guarded_mappings[i];
        uintptr_t start = m->start.load(std::memory_order_acquire);
        uintptr_t end = m->end.load(std::memory_order_acquire);
        if (!start || at < start || at >= end) continue;
        uintptr_t from = at & ~(guarded_page_size.load(std::memory_order_relaxed) - 1);
        void* zeros = mmap((void*)from, end - from, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros == MAP_FAILED) return false;
        m->damaged.store(1, std::memory_order_release);
        return true;
    }
    return false;
}

// Faults outside every mapping go on to whatever handled SIGBUS before; with
// nothing there, the default action ends the process as it would have.
static void bus_guard(int signal_number, siginfo_t* info, void* context) {
    bool from_a_fault = info && info->si_code > 0;
    if (from_a_fault && os_answer_mapping_fault(info->si_addr)) return;
    const struct sigaction* before = &bus_action_before_guard;
    if ((before->sa_flags & SA_SIGINFO) && before->sa_sigaction) {
        before->sa_sigaction(signal_number, info, context);
        return;
    }
    if (before->sa_handler != SIG_DFL && before->sa_handler != SIG_IGN) {
        before->sa_handler(signal_number);
        return;
    }
    struct sigaction fallback;
    memset(&fallback, 0, sizeof fallback);
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal_number, &fallback, nullptr);
    if (!from_a_fault) raise(signal_number);
}

static void install_bus_guard(void) {
    if (bus_guard_installed.exchange(1)) return;
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_sigaction = bus_guard;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &bus_action_before_guard);
}

static int32_t claim_guard_slot(uintptr_t start, uintptr_t end) {
    for (int32_t i = 0; i < guarded_mapping_count; i++) {
        guarded_mapping* m = &guarded_mappings[i];
        uintptr_t free_end = 0;
        if (!m->end.compare_exchange_strong(free_end, end)) continue;
        m->damaged.store(0, std::memory_order_relaxed);
        m->start.store(start, std::memory_order_release);
        return i;
    }
    return -1;
}

static void release_guard_slot(int32_t slot) {
    if (slot < 0 || slot >= guarded_mapping_count) return;
    guarded_mapping* m = &guarded_mappings[slot];
    m->start.store(0, std::memory_order_release);
    m->damaged.store(0, std::memory_order_relaxed);
    m->end.store(0, std::memory_order_release);
}

static os_mapped_file whole_read(utf8_string path) {
    os_mapped_file result = {os_read_entire_file(path), 0, -1};
    return result;
}

os_mapped_file os_map_file(utf8_string path) {
    os_mapped_file result = {{0, nullptr}, 0, -1};
    struct stat info;
    int fd = open_regular_file(path, file_error_not_regular, true, &info);
    if (fd < 0) return result;
    // Empty files and /proc files report size 0; their contents come by reading.
    uint64_t size = info.st_size > 0 ? (uint64_t)info.st_size : 0;
    uint64_t page = page_size();
    uint64_t file_pages = (size + page - 1) & ~(page - 1);
    if (size == 0 || file_pages < size || file_pages + page < file_pages) {
        close(fd);
        return whole_read(path);
    }
    uint64_t reserved = file_pages + page;
    void* base = mmap(nullptr, reserved, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (base == MAP_FAILED) {
        close(fd);
        return whole_read(path);
    }
    void* mapped = mmap(base, file_pages, PROT_READ, MAP_SHARED | MAP_FIXED, fd, 0);
    guarded_page_size.store(page, std::memory_order_relaxed);
    int32_t slot = mapped == MAP_FAILED ? -1 : claim_guard_slot((uintptr_t)base, (uintptr_t)base + reserved);
    if (slot < 0) {
        close(fd);
        munmap(base, reserved);
        return whole_read(path);
    }
    guarded_descriptors[slot] = fd;
    install_bus_guard();
    record_file_error(0);
    result.contents.size = size;
    result.contents.data = (uint8_t*)base;
    result.mapped_bytes = reserved;
    result.guard_slot = slot;
    return result;
}

void os_unmap_file(os_mapped_file* file) {
    if (!file) return;
    if (file->mapped_bytes) {
        int32_t descriptor = os_mapped_file_descriptor(file);
        if (descriptor >= 0) close(descriptor);
        release_guard_slot(file->guard_slot);
        munmap(file->contents.data, file->mapped_bytes);
    } else {
        os_free_file_contents(&file->contents);
    }
    *file = os_mapped_file{{0, nullptr}, 0, -1};
}

int32_t os_mapped_file_descriptor(const os_mapped_file* file) {
    if (!file || !file->mapped_bytes || file->guard_slot < 0 || file->guard_slot >= guarded_mapping_count) return -1;
    // A record put together from stale parts names no file.
    uintptr_t start = guarded_mappings[file->guard_slot].start.load(std::memory_order_acquire);
    if (!start || start != (uintptr_t)file->contents.data) return -1;
    return guarded_descriptors[file->guard_slot];
}

uint8_t os_mapped_file_damaged(const os_mapped_file* file) {
    if (!file || !file->mapped_bytes || file->guard_slot < 0 || file->guard_slot >= guarded_mapping_count) return 0;
    return guarded_mappings[file->guard_slot].damaged.load(std::memory_order_acquire);
}

void os_mapped_file_drop_pages(const os_mapped_file* file, uint64_t offset, uint64_t length) {
    if (!file || !file->mapped_bytes || offset >= file->contents.size) return;
    uint64_t page = page_size();
    uint64_t end = length > file->contents.size - offset ? file->contents.size : offset + length;
    uint64_t first = (offset + page - 1) & ~(page - 1);
    uint64_t last = end == file->contents.size ? (end + page - 1) & ~(page - 1) : end & ~(page - 1);
    if (last > first) madvise(file->contents.data + first, last - first, MADV_DONTNEED);
}

// ---------------------------------------------------------------------------
// Directories

enum : uint64_t {
    watch_name_size = 260,
    watch_buffer_size = 16384,
};
enum : int64_t { watch_list_initial_capacity = 16, watch_list_limit = INT64_MAX / 2 };

static uint8_t is_dot_entry(const char* name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

int32_t os_create_directory(utf8_string path) {
    os_c_path c_path;
    os_path_begin(&c_path, path);
    struct stat info;
    int32_t result = 0;
    if (!c_path.text[0]) result = 1;
    else if (lstat(c_path.text, &info) != 0 && mkdir(c_path.text, 0777) != 0) result = 1;
    os_path_end(&c_path);
    return result;
}

int32_t os_remove_directory(utf8_string path) {
    os_c_path c_path;
    os_path_begin(&c_path, path);
    struct stat info;
    int32_t result = 0;
    if (!c_path.text[0]) result = 1;
    else if (lstat(c_path.text, &info) == 0 && rmdir(c_path.text) != 0) result = 1;
    os_path_end(&c_path);
    return result;
}

void os_list_directory(utf8_string directory, os_list_callback* callback) {
    if (!callback || directory.length <= 0) return;
    os_c_path c_path;
    os_path_begin(&c_path, directory);
    DIR* listing = c_path.text[0] ? opendir(c_path.text) : nullptr;
    os_path_end(&c_path);
    if (!listing) return;
    int directory_fd = dirfd(listing);
    for (;;) {
        errno = 0;
        dirent* entry = readdir(listing);
        if (!entry) break;
        const char* name = entry->d_name;
        if (is_dot_entry(name)) continue;
        struct stat info;
        // A dangling link is still an entry: describe the link itself.
        if (fstatat(directory_fd, name, &info, 0) != 0 &&
            fstatat(directory_fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            memset(&info, 0, sizeof info);
        }
        uint8_t is_directory = S_ISDIR(info.st_mode) ? 1 : 0;
        uint64_t size = is_directory || info.st_size < 0 ? 0 : (uint64_t)info.st_size;
        os_date_time last_write = os_date_time_from_unix(info.st_mtim.tv_sec, info.st_mtim.tv_nsec, 0);
        utf8_string name_string = os_string(name);
        callback(&directory, &name_string, size, &last_write, is_directory);
    }
    closedir(listing);
}

// ---------------------------------------------------------------------------
// Watching

struct watched_directory {
    int descriptor;
    char* relative;  // "" for the top, "sub/dir/" below it
};

struct watch_set {
    int inotify_fd;
    uint8_t subtree;
    os_list watches;  // watched_directory
};

static watched_directory* watch_items(watch_set* set) { return (watched_directory*)set->watches.items; }

static const uint32_t watch_mask = IN_MODIFY | IN_CLOSE_WRITE;
static const uint32_t subtree_mask = IN_CREATE | IN_MOVED_TO | IN_ONLYDIR;

static char* join_relative(const char* relative, const char* name, uint8_t trailing_slash) {
    uint64_t a = strlen(relative), b = strlen(name);
    char* joined = (char*)os_alloc(a + b + 2);
    if (!joined) return nullptr;
    memcpy(joined, relative, a);
    memcpy(joined + a, name, b);
    if (trailing_slash) joined[a + b++] = '/';
    joined[a + b] = 0;
    return joined;
}

static watched_directory* find_watch(watch_set* set, int descriptor) {
    for (int64_t i = 0; i < set->watches.count; i += 1) {
        if (watch_items(set)[i].descriptor == descriptor) return &watch_items(set)[i];
    }
    return nullptr;
}

// Adds a watch on root + relative (and, for a subtree, on everything below); false when
// the inotify call fails.
static bool add_watch(watch_set* set, const char* root, const char* relative) {
    char* full = join_relative(root, relative, 0);
    if (!full) return false;
    uint32_t mask = watch_mask | (set->subtree ? subtree_mask : 0);
    int descriptor = inotify_add_watch(set->inotify_fd, full, mask);
    if (descriptor < 0) {
        os_free(full);
        return false;
    }
    watched_directory* existing = find_watch(set, descriptor);
    if (existing) {
        // The same directory reached again (a rename): keep its newest name.
        char* copy = join_relative(relative, "", 0);
        if (copy) {
            os_free(existing->relative);
            existing->relative = copy;
        }
    } else {
        char* copy = join_relative(relative, "", 0);
        watched_directory* added =
            copy ? (watched_directory*)os_list_push(&set->watches, sizeof(watched_directory),
                                                    watch_list_initial_capacity, watch_list_limit)
                 : nullptr;
        // Without room the directory goes unwatched; its events are then ignored.
        if (!added) {
            os_free(copy);
            os_free(full);
            return true;
        }
        *added = {descriptor, copy};
    }
    if (set->subtree) {
        DIR* listing = opendir(full);
        if (listing) {
            for (dirent* entry = readdir(listing); entry; entry = readdir(listing)) {
                if (is_dot_entry(entry->d_name)) continue;
                char* child_full = join_relative(full, entry->d_name, 0);
                struct stat info;
                if (child_full && lstat(child_full, &info) == 0 && S_ISDIR(info.st_mode)) {
                    char* child = join_relative(relative, entry->d_name, 1);
                    if (child) add_watch(set, root, child);
                    os_free(child);
                }
                os_free(child_full);
            }
            closedir(listing);
        }
    }
    os_free(full);
    return true;
}

static void forget_watch(watch_set* set, int descriptor) {
    watched_directory* items = watch_items(set);
    for (int64_t i = 0; i < set->watches.count; i += 1) {
        if (items[i].descriptor != descriptor) continue;
        os_free(items[i].relative);
        items[i] = items[set->watches.count - 1];
        set->watches.count -= 1;
        return;
    }
}

void os_watch_directory(utf8_string directory, uint8_t subtree, os_watch_callback* callback) {
    watch_set set = {-1, subtree, {nullptr, 0, 0}};
    set.inotify_fd = inotify_init1(IN_CLOEXEC);
    if (set.inotify_fd < 0) return;

    os_c_path c_path;
    os_path_begin(&c_path, directory);
    uint64_t root_length = strlen(c_path.text);
    char* root = root_length ? join_relative(c_path.text, "", c_path.text[root_length - 1] != '/') : nullptr;
    os_path_end(&c_path);

    struct stat info;
    bool ready = root && stat(root, &info) == 0 && S_ISDIR(info.st_mode) && add_watch(&set, root, "");
    ready = ready && set.watches.count > 0;
    int top_descriptor = ready ? watch_items(&set)[0].descriptor : -1;

    alignas(inotify_event) char buffer[watch_buffer_size];
    char name[watch_name_size];
    while (ready) {
        ssize_t got = read(set.inotify_fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        for (ssize_t at = 0; at + (ssize_t)sizeof(inotify_event) <= got;) {
            inotify_event* event = (inotify_event*)(buffer + at);
            at += (ssize_t)sizeof(inotify_event) + event->len;
            if (event->mask & IN_IGNORED) {
                // The watched directory itself is gone: nothing more will come.
                if (event->wd == top_descriptor) ready = false;
                else forget_watch(&set, event->wd);
                continue;
            }
            watched_directory* where = find_watch(&set, event->wd);
            if (!where || event->len == 0 || event->name[0] == 0) continue;
            if ((event->mask & IN_ISDIR) && (event->mask & (IN_CREATE | IN_MOVED_TO))) {
                char* child = join_relative(where->relative, event->name, 1);
                if (child) add_watch(&set, root, child);
                os_free(child);
                continue;
            }
            if (!(event->mask & watch_mask) || !callback) continue;
            uint64_t prefix = strlen(where->relative), rest = strlen(event->name);
            if (prefix > watch_name_size - 1) prefix = watch_name_size - 1;
            if (prefix + rest > watch_name_size - 1) rest = watch_name_size - 1 - prefix;
            memcpy(name, where->relative, prefix);
            memcpy(name + prefix, event->name, rest);
            name[prefix + rest] = 0;
            utf8_string relative = {(int64_t)(prefix + rest), name};
            callback(&relative);
        }
    }
    for (int64_t i = 0; i < set.watches.count; i += 1) os_free(watch_items(&set)[i].relative);
    os_free(set.watches.items);
    os_free(root);
    close(set.inotify_fd);
}

// ---------------------------------------------------------------------------
// Non-blocking file watch
//
// Each watched file has a watch on its directory, which sees it written,
// created, deleted and renamed over, and one on the file itself, which follows
// a symbolic link to where the writes happen. Changes are reported once they
// have been quiet for a moment, or after a longer while during a steady stream
// of writes, so that a burst costs one reload.

enum : int32_t {
    settle_quiet_milliseconds = 30,
    settle_longest_milliseconds = 90,
    watch_read_size = 4096,
};

static const uint32_t directory_watch_mask = IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_CREATE | IN_DELETE |
                                             IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR;
static const uint32_t file_watch_mask = IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

static os_file_watch_state& watching = os_platform.file_watching;

static void watch_the_file_itself(os_file_watch* w) {
    w->file_descriptor = inotify_add_watch(watching.inotify_fd, w->path, file_watch_mask);
}

int32_t os_watch_file(utf8_string path) {
    if (!watching.opened) {
        watching.opened = 1;
        watching.inotify_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    }
    if (watching.inotify_fd < 0 || !path.data || path.length <= 0) return -1;
    int32_t slot = -1;
    for (int32_t i = 0; i < os_file_watch_count && slot < 0; i++)
        if (!watching.watches[i].used) slot = i;
    if (slot < 0) return -1;

    char* copy = (char*)os_alloc((uint64_t)path.length + 3);
    if (!copy) return -1;
    memcpy(copy, path.data, (uint64_t)path.length);
    copy[path.length] = 0;
    const char* slash = strrchr(copy, '/');
    const char* name = slash ? slash + 1 : copy;
    if (!*name) {
        os_free(copy);
        return -1;
    }
    // The directory: everything before the name, or "." for a bare name.
    char* directory = (char*)os_alloc((uint64_t)path.length + 3);
    if (!directory) {
        os_free(copy);
        return -1;
    }
    if (slash == copy) strcpy(directory, "/");
    else if (slash) {
        memcpy(directory, copy, (uint64_t)(slash - copy));
        directory[slash - copy] = 0;
    } else strcpy(directory, ".");
    int directory_descriptor = inotify_add_watch(watching.inotify_fd, directory, directory_watch_mask);
    os_free(directory);
    if (directory_descriptor < 0) {
        os_free(copy);
        return -1;
    }
    os_file_watch* w = &watching.watches[slot];
    w->used = 1;
    w->directory_descriptor = directory_descriptor;
    w->path = copy;
    w->name = name;
    watch_the_file_itself(w);
    return slot;
}

static bool descriptor_in_use(int descriptor, int32_t except) {
    for (int32_t i = 0; i < os_file_watch_count; i++) {
        const os_file_watch* w = &watching.watches[i];
        if (i == except || !w->used) continue;
        if (w->directory_descriptor == descriptor || w->file_descriptor == descriptor) return true;
    }
    return false;
}

void os_unwatch_file(int32_t watch) {
    if (watch < 0 || watch >= os_file_watch_count || !watching.watches[watch].used) return;
    os_file_watch* w = &watching.watches[watch];
    // Watches of one directory or one file share their descriptor.
    if (!descriptor_in_use(w->directory_descriptor, watch)) inotify_rm_watch(watching.inotify_fd, w->directory_descriptor);
    if (w->file_descriptor >= 0 && w->file_descriptor != w->directory_descriptor &&
        !descriptor_in_use(w->file_descriptor, watch))
        inotify_rm_watch(watching.inotify_fd, w->file_descriptor);
    os_free(w->path);
    *w = os_file_watch{};
    watching.pending &= ~(1u << watch);
}

static void note_event(const inotify_event* event, uint64_t now) {
    for (int32_t i = 0; i < os_file_watch_count; i++) {
        os_file_watch* w = &watching.watches[i];
        if (!w->used) continue;
        bool about_the_file = event->wd == w->file_descriptor ||
                              (event->wd == w->directory_descriptor && event->len > 0 &&
                               strcmp(event->name, w->name) == 0);
        if (!about_the_file) continue;
        if (event->wd == w->file_descriptor && (event->mask & IN_IGNORED)) w->file_descriptor = -1;
        if (!watching.pending) watching.first_change_ms = now;
        watching.pending |= 1u << i;
        watching.last_change_ms = now;
    }
}

void os_file_watch_drain(void) {
    if (!watching.opened || watching.inotify_fd < 0) return;
    alignas(inotify_event) char buffer[watch_read_size];
    for (;;) {
        ssize_t got = read(watching.inotify_fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return;
        uint64_t now = os_now_milliseconds();
        for (ssize_t at = 0; at + (ssize_t)sizeof(inotify_event) <= got;) {
            const inotify_event* event = (const inotify_event*)(buffer + at);
            note_event(event, now);
            at += (ssize_t)(sizeof(inotify_event) + event->len);
        }
    }
}

int32_t os_file_watch_descriptor(void) { return watching.opened ? watching.inotify_fd : -1; }

int32_t os_file_watch_timeout(void) {
    if (!watching.pending) return -1;
    uint64_t quiet_end = watching.last_change_ms + settle_quiet_milliseconds;
    uint64_t longest_end = watching.first_change_ms + settle_longest_milliseconds;
    uint64_t deadline = quiet_end < longest_end ? quiet_end : longest_end;
    uint64_t now = os_now_milliseconds();
    return now >= deadline ? 0 : (int32_t)(deadline - now);
}

uint32_t os_take_file_changes(void) {
    os_file_watch_drain();
    if (os_file_watch_timeout() != 0) return 0;
    uint32_t changes = watching.pending;
    watching.pending = 0;
    // A file replaced by a rename is a new one: watch that instead.
    for (int32_t i = 0; i < os_file_watch_count; i++) {
        os_file_watch* w = &watching.watches[i];
        if (!w->used || !(changes & (1u << i))) continue;
        int before = w->file_descriptor;
        watch_the_file_itself(w);
        if (before >= 0 && before != w->file_descriptor && before != w->directory_descriptor &&
            !descriptor_in_use(before, -1))
            inotify_rm_watch(watching.inotify_fd, before);
    }
    return changes;
}

// ---------------------------------------------------------------------------
// Libraries

os_library os_library_load(utf8_string path) {
    os_c_path c_path;
    os_path_begin(&c_path, path);
    os_library library = {nullptr, 0};
    if (c_path.text[0]) library.handle = dlopen(c_path.text, RTLD_NOW | RTLD_LOCAL);
    library.loaded = library.handle ? 1 : 0;
    os_path_end(&c_path);
    return library;
}

void os_library_free(os_library library) {
    if (library.loaded && library.handle) dlclose(library.handle);
}

void* os_library_symbol(os_library library, utf8_string name) {
    if (!library.handle || library.loaded != 1 || !name.data) return nullptr;
    return dlsym(library.handle, name.data);
}

// ---------------------------------------------------------------------------
// Shell

enum : uint64_t {
    picked_path_limit = 1u << 16,
};

enum : int32_t {
    pick_chosen = 0,
    pick_cancelled = 1,
    pick_no_path = 2,
};

bool os_program_installed(const char* program) {
    const char* path = getenv("PATH");
    if (!path) return false;
    char candidate[4096];
    for (const char* at = path; *at;) {
        const char* end = strchr(at, ':');
        uint64_t length = end ? (uint64_t)(end - at) : strlen(at);
        if (length > 0 && length + strlen(program) + 2 < sizeof candidate) {
            memcpy(candidate, at, length);
            candidate[length] = '/';
            strcpy(candidate + length + 1, program);
            if (access(candidate, X_OK) == 0) return true;
        }
        if (!end) break;
        at = end + 1;
    }
    return false;
}

int32_t os_pick_folder(utf8_string* out) {
    char zenity[] = "zenity", file_selection[] = "--file-selection", directory[] = "--directory";
    char kdialog[] = "kdialog", existing[] = "--getexistingdirectory";
    char* zenity_arguments[] = {zenity, file_selection, directory, nullptr};
    char* kdialog_arguments[] = {kdialog, existing, nullptr};
    char** arguments = nullptr;
    if (os_program_installed(zenity)) arguments = zenity_arguments;
    else if (os_program_installed(kdialog)) arguments = kdialog_arguments;
    if (!arguments) return pick_cancelled;

    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) return pick_cancelled;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
    pid_t child = 0;
    int spawned = posix_spawnp(&child, arguments[0], &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    if (spawned != 0) {
        close(pipe_fds[0]);
        return pick_cancelled;
    }

    char* text = (char*)os_alloc(picked_path_limit + 2);
    uint64_t length = 0;
    while (text && length < picked_path_limit) {
        ssize_t got = read(pipe_fds[0], text + length, picked_path_limit - length);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        length += (uint64_t)got;
    }
    close(pipe_fds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    if (!text) return pick_cancelled;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        os_free(text);
        return pick_cancelled;
    }
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) length -= 1;
    if (length == 0) {
        os_free(text);
        return pick_cancelled;
    }
    if (text[0] != '/' || memchr(text, 0, length)) {
        os_free(text);
        return pick_no_path;
    }
    if (text[length - 1] != '/') text[length++] = '/';
    text[length] = 0;
    if (out) *out = {(int64_t)length, text};
    else os_free(text);
    return pick_chosen;
}

int32_t os_shell_open(utf8_string path) {
    os_c_path c_path;
    os_path_begin(&c_path, path);
    struct stat info;
    if (!c_path.text[0] || stat(c_path.text, &info) != 0) {
        os_path_end(&c_path);
        return 1;
    }
    // A name starting with '-' would read as an option.
    char* target = c_path.text;
    char* prefixed = nullptr;
    if (target[0] == '-') {
        uint64_t length = strlen(target);
        prefixed = (char*)os_alloc(length + 3);
        if (!prefixed) {
            os_path_end(&c_path);
            return 1;
        }
        memcpy(prefixed, "./", 2);
        memcpy(prefixed + 2, target, length + 1);
        target = prefixed;
    }
    char opener[] = "xdg-open";
    char* arguments[] = {opener, target, nullptr};

    // The go-between exits as soon as the opener is started, so the opener never waits on
    // us and never lingers as our zombie.
    int32_t result = 1;
    pid_t middle = fork();
    if (middle == 0) {
        pid_t opener_pid = 0;
        int spawned = posix_spawnp(&opener_pid, opener, nullptr, nullptr, arguments, environ);
        _exit(spawned == 0 ? 0 : 1);
    }
    if (middle > 0) {
        int status = 0;
        while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {}
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) result = 0;
    }
    os_free(prefixed);
    os_path_end(&c_path);
    return result;
}

static bool is_directory(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// The XDG_DESKTOP_DIR entry of user-dirs.dirs, "$HOME/..." or absolute; null if absent.
static char* desktop_from_user_dirs(const char* home) {
    char config[4096];
    const char* config_home = getenv("XDG_CONFIG_HOME");
    int written = config_home && config_home[0] == '/'
                      ? snprintf(config, sizeof config, "%s/user-dirs.dirs", config_home)
                      : snprintf(config, sizeof config, "%s/.config/user-dirs.dirs", home);
    if (written <= 0 || (uint64_t)written >= sizeof config) return nullptr;
    file_contents contents = os_read_entire_file(os_string(config));
    if (!contents.data) return nullptr;
    char* result = nullptr;
    const char* key = "XDG_DESKTOP_DIR=\"";
    for (char* line = (char*)contents.data; line && *line && !result;) {
        char* end = strchr(line, '\n');
        if (end) *end = 0;
        while (*line == ' ' || *line == '\t') line += 1;
        if (strncmp(line, key, strlen(key)) == 0) {
            char* value = line + strlen(key);
            char* close_quote = strchr(value, '"');
            if (close_quote) *close_quote = 0;
            const char* prefix = "";
            static const char home_variable[] = "$HOME";
            if (strncmp(value, home_variable, sizeof home_variable - 1) == 0) {
                prefix = home;
                value += sizeof home_variable - 1;
            }
            if (prefix[0] || value[0] == '/') {
                uint64_t length = strlen(prefix) + strlen(value);
                result = (char*)os_alloc(length + 1);
                if (result) {
                    strcpy(result, prefix);
                    strcat(result, value);
                    while (length > 1 && result[length - 1] == '/') result[--length] = 0;
                }
            }
        }
        line = end ? end + 1 : nullptr;
    }
    os_free_file_contents(&contents);
    return result;
}

utf8_string os_desktop_directory(void) {
    if (os_platform.desktop_directory.data) return os_platform.desktop_directory;
    const char* home = getenv("HOME");
    if (!home || home[0] != '/') return {0, nullptr};
    // Reading the configuration must not disturb the caller's last file error.
    int32_t saved_code = os_platform.last_file_error;
    char* desktop = desktop_from_user_dirs(home);
    record_file_error(saved_code);
    if (!desktop) {
        uint64_t length = strlen(home);
        desktop = (char*)os_alloc(length + sizeof "/Desktop");
        if (!desktop) return {0, nullptr};
        strcpy(desktop, home);
        strcat(desktop, "/Desktop");
        if (!is_directory(desktop)) {
            os_free(desktop);
            return {0, nullptr};
        }
    }
    os_platform.desktop_directory = os_string(desktop);
    return os_platform.desktop_directory;
}
