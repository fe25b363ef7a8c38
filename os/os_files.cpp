#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "os/os.h"
#include "os/os_file_error.h"
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
