#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "os/os.h"
#include "os/os_file_error.h"
#include "os/os_path.h"

extern char** environ;

enum : uint64_t {
    picked_path_limit = 1u << 16,
};

enum : int32_t {
    pick_chosen = 0,
    pick_cancelled = 1,
    pick_no_path = 2,
};

static utf8_string cached_desktop;

// True when an executable of that name is on PATH.
static bool program_installed(const char* program) {
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
    if (program_installed(zenity)) arguments = zenity_arguments;
    else if (program_installed(kdialog)) arguments = kdialog_arguments;
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
    if (cached_desktop.data) return cached_desktop;
    const char* home = getenv("HOME");
    if (!home || home[0] != '/') return {0, nullptr};
    // Reading the configuration must not disturb the caller's last file error.
    int32_t saved_code = os_last_file_error_code();
    char* desktop = desktop_from_user_dirs(home);
    os_record_file_error(saved_code);
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
    cached_desktop = os_string(desktop);
    return cached_desktop;
}
