// Scratch files, captured output and a private X server for the tests.
#include "test_support.h"

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

static std::string temp_root;
static pid_t xvfb_pid = 0;

static void remove_temp_root(void) {
    if (!temp_root.empty()) {
        std::string command = "rm -rf '" + temp_root + "'";
        if (system(command.c_str()) != 0) {}
    }
    if (xvfb_pid > 0) kill(xvfb_pid, SIGTERM);
}

std::string make_temp_dir(void) {
    static int serial = 0;
    if (temp_root.empty()) {
        char pattern[] = "/tmp/bitlorn-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        temp_root = made ? made : "/tmp";
        atexit(remove_temp_root);
    }
    std::string dir = temp_root + "/d" + std::to_string(serial++);
    mkdir(dir.c_str(), 0700);
    return dir;
}

std::string write_temp_file(const std::string& name, const void* bytes, uint64_t size) {
    std::string path = make_temp_dir() + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out.write((const char*)bytes, (std::streamsize)size);
    return path;
}

std::string read_text_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

std::string source_dir(void) {
    const char* dir = getenv("BITLORN_SOURCE_DIR");
    return dir ? dir : ".";
}

std::string capture_stdout(const std::function<void()>& run, int descriptor) {
    std::string path = make_temp_dir() + "/output.txt";
    fflush(stdout);
    int saved = dup(descriptor);
    int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(file, descriptor);
    close(file);
    run();
    fflush(stdout);
    dup2(saved, descriptor);
    close(saved);
    return read_text_file(path);
}

static bool display_answers(const char* display) {
    std::string command = std::string("DISPLAY=") + display + " xdpyinfo >/dev/null 2>&1";
    return system(command.c_str()) == 0;
}

int start_xvfb(int number, pid_t* server) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        std::string display = ":" + std::to_string(number);
        int null_fd = open(getenv("XVFB_LOG") ? getenv("XVFB_LOG") : "/dev/null", O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (null_fd >= 0) {
            dup2(null_fd, 1);
            dup2(null_fd, 2);
        }
        // No abstract socket: servers of other sandboxes on this host would share its name.
        // No reset when the last client leaves: a reset writes the display number again.
        execlp("Xvfb", "Xvfb", display.c_str(), "-displayfd", fd.c_str(), "-screen", "0", "1920x1080x24",
               "-nolisten", "tcp", "-nolisten", "local", "-noreset", (char*)nullptr);
        _exit(127);
    }
    close(fds[1]);
    // The server writes the number and the newline separately and dies when
    // either write fails, so the pipe is read to the newline and kept open.
    char reply[32] = {0};
    size_t got = 0;
    while (got < sizeof reply - 1 && !strchr(reply, '\n')) {
        ssize_t n = read(fds[0], reply + got, sizeof reply - 1 - got);
        if (n <= 0) break;
        got += (size_t)n;
    }
    if (!strchr(reply, '\n')) {
        close(fds[0]);
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        return -1;
    }
    *server = pid;
    return number;
}

bool ensure_x_display(void) {
    static bool started = false;
    const char* current = getenv("DISPLAY");
    if (started) return current && display_answers(current);
    if (current && *current && display_answers(current)) return true;
    started = true;
    if (temp_root.empty()) make_temp_dir();
    // A number of our own, far from the usual ones, so that concurrent test
    // runs on one host do not meet on one server.
    for (int attempt = 0; attempt < 8; attempt++) {
        int number = 100 + (int)((getpid() * 7 + attempt * 131) % 800);
        if (start_xvfb(number, &xvfb_pid) < 0) continue;
        // The path form connects to the file socket only.
        std::string display = "unix:" + std::to_string(number);
        setenv("DISPLAY", display.c_str(), 1);
        if (display_answers(display.c_str())) return true;
    }
    return false;
}

bool running_in_ci(void) { return getenv("CI") && strcmp(getenv("CI"), "true") == 0; }
