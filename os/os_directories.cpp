#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "os/os.h"
#include "os/os_path.h"
#include "os/os_time_private.h"

enum : uint64_t {
    watch_name_size = 260,
    watch_buffer_size = 16384,
};
enum : int64_t { watch_list_initial_capacity = 16 };

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
    watched_directory* items;
    int64_t count;
    int64_t capacity;
};

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
    for (int64_t i = 0; i < set->count; i += 1) {
        if (set->items[i].descriptor == descriptor) return &set->items[i];
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
        if (set->count == set->capacity) {
            int64_t capacity = set->capacity ? set->capacity * 2 : watch_list_initial_capacity;
            void* grown = os_realloc(set->items, sizeof(watched_directory) * (uint64_t)capacity);
            if (!grown) {
                os_free(full);
                return true;
            }
            set->items = (watched_directory*)grown;
            set->capacity = capacity;
        }
        set->items[set->count++] = {descriptor, join_relative(relative, "", 0)};
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
    for (int64_t i = 0; i < set->count; i += 1) {
        if (set->items[i].descriptor != descriptor) continue;
        os_free(set->items[i].relative);
        set->items[i] = set->items[set->count - 1];
        set->count -= 1;
        return;
    }
}

void os_watch_directory(utf8_string directory, uint8_t subtree, os_watch_callback* callback) {
    watch_set set = {-1, subtree, nullptr, 0, 0};
    set.inotify_fd = inotify_init1(IN_CLOEXEC);
    if (set.inotify_fd < 0) return;

    os_c_path c_path;
    os_path_begin(&c_path, directory);
    uint64_t root_length = strlen(c_path.text);
    char* root = root_length ? join_relative(c_path.text, "", c_path.text[root_length - 1] != '/') : nullptr;
    os_path_end(&c_path);

    struct stat info;
    bool ready = root && stat(root, &info) == 0 && S_ISDIR(info.st_mode) && add_watch(&set, root, "");
    int top_descriptor = ready ? set.items[0].descriptor : -1;

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
    for (int64_t i = 0; i < set.count; i += 1) os_free(set.items[i].relative);
    os_free(set.items);
    os_free(root);
    close(set.inotify_fd);
}
