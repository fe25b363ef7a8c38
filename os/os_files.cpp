// Files: whole and positioned reads and writes, copies, moves, deletion; then
// mapped files with their fault guard, and the non-blocking file watch.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

#include "os/os.h"
#include "os/os_file_error.h"
#include "os/os_files_private.h"
#include "os/os_path.h"

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

file_contents os_read_entire_file(utf8_string path) {
    file_contents result = {0, nullptr};
    // Non-blocking, so that naming a FIFO or a device cannot hang the caller.
    int fd = open_path(path, O_RDONLY | O_NONBLOCK, 0);
    if (fd < 0) return result;

    struct stat info;
    if (fstat(fd, &info) != 0) {
        os_record_file_error(errno);
        close(fd);
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        os_record_file_error(S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
        close(fd);
        return result;
    }

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
    os_record_file_error(error);
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
        os_record_file_error(errno);
        close(fd);
        return os_file_seek_failed;
    }
    uint64_t got = 0;
    int error = read_fully(fd, (uint8_t*)destination, count, &got);
    close(fd);
    if (error) {
        os_record_file_error(error);
        return os_file_transfer_failed;
    }
    return os_file_ok;
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
    int fd = open_path(path, O_RDONLY | O_NONBLOCK, 0);
    if (fd < 0) {
        os_record_file_error(errno);
        return result;
    }
    struct stat info;
    if (fstat(fd, &info) != 0) {
        os_record_file_error(errno);
        close(fd);
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        os_record_file_error(S_ISDIR(info.st_mode) ? EISDIR : os_file_error_not_regular);
        close(fd);
        return result;
    }
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
    close(fd);
    guarded_page_size.store(page, std::memory_order_relaxed);
    int32_t slot = mapped == MAP_FAILED ? -1 : claim_guard_slot((uintptr_t)base, (uintptr_t)base + reserved);
    if (slot < 0) {
        munmap(base, reserved);
        return whole_read(path);
    }
    install_bus_guard();
    os_record_file_error(0);
    result.contents.size = size;
    result.contents.data = (uint8_t*)base;
    result.mapped_bytes = reserved;
    result.guard_slot = slot;
    return result;
}

void os_unmap_file(os_mapped_file* file) {
    if (!file) return;
    if (file->mapped_bytes) {
        release_guard_slot(file->guard_slot);
        munmap(file->contents.data, file->mapped_bytes);
    } else {
        os_free_file_contents(&file->contents);
    }
    *file = os_mapped_file{{0, nullptr}, 0, -1};
}

uint8_t os_mapped_file_damaged(const os_mapped_file* file) {
    if (!file || !file->mapped_bytes || file->guard_slot < 0 || file->guard_slot >= guarded_mapping_count) return 0;
    return guarded_mappings[file->guard_slot].damaged.load(std::memory_order_acquire);
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
    file_watch_count = 32,
    settle_quiet_milliseconds = 30,
    settle_longest_milliseconds = 90,
    watch_read_size = 4096,
};

static const uint32_t directory_watch_mask = IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_CREATE | IN_DELETE |
                                             IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR;
static const uint32_t file_watch_mask = IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

struct file_watch {
    uint8_t used;
    int directory_descriptor;
    int file_descriptor;  // -1 while the file is missing
    char* path;
    const char* name;  // inside path, after the last '/'
};

struct file_watch_state {
    uint8_t opened;
    int inotify_fd;  // -1 when inotify is unavailable
    file_watch watches[file_watch_count];
    uint32_t pending;
    uint64_t first_change_ms, last_change_ms;
};

static file_watch_state watching;

static void watch_the_file_itself(file_watch* w) {
    w->file_descriptor = inotify_add_watch(watching.inotify_fd, w->path, file_watch_mask);
}

int32_t os_watch_file(utf8_string path) {
    if (!watching.opened) {
        watching.opened = 1;
        watching.inotify_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    }
    if (watching.inotify_fd < 0 || !path.data || path.length <= 0) return -1;
    int32_t slot = -1;
    for (int32_t i = 0; i < file_watch_count && slot < 0; i++)
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
    file_watch* w = &watching.watches[slot];
    w->used = 1;
    w->directory_descriptor = directory_descriptor;
    w->path = copy;
    w->name = name;
    watch_the_file_itself(w);
    return slot;
}

static bool descriptor_in_use(int descriptor, int32_t except) {
    for (int32_t i = 0; i < file_watch_count; i++) {
        const file_watch* w = &watching.watches[i];
        if (i == except || !w->used) continue;
        if (w->directory_descriptor == descriptor || w->file_descriptor == descriptor) return true;
    }
    return false;
}

void os_unwatch_file(int32_t watch) {
    if (watch < 0 || watch >= file_watch_count || !watching.watches[watch].used) return;
    file_watch* w = &watching.watches[watch];
    // Watches of one directory or one file share their descriptor.
    if (!descriptor_in_use(w->directory_descriptor, watch)) inotify_rm_watch(watching.inotify_fd, w->directory_descriptor);
    if (w->file_descriptor >= 0 && w->file_descriptor != w->directory_descriptor &&
        !descriptor_in_use(w->file_descriptor, watch))
        inotify_rm_watch(watching.inotify_fd, w->file_descriptor);
    os_free(w->path);
    *w = file_watch{};
    watching.pending &= ~(1u << watch);
}

static void note_event(const inotify_event* event, uint64_t now) {
    for (int32_t i = 0; i < file_watch_count; i++) {
        file_watch* w = &watching.watches[i];
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
    for (int32_t i = 0; i < file_watch_count; i++) {
        file_watch* w = &watching.watches[i];
        if (!w->used || !(changes & (1u << i))) continue;
        int before = w->file_descriptor;
        watch_the_file_itself(w);
        if (before >= 0 && before != w->file_descriptor && before != w->directory_descriptor &&
            !descriptor_in_use(before, -1))
            inotify_rm_watch(watching.inotify_fd, before);
    }
    return changes;
}
