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

static bool display_answers(const char* display) {
    std::string command = std::string("DISPLAY=") + display + " xdpyinfo >/dev/null 2>&1";
    return system(command.c_str()) == 0;
}

bool ensure_x_display(void) {
    const char* current = getenv("DISPLAY");
    if (current && *current && display_answers(current)) return true;
    int fds[2];
    if (pipe(fds) != 0) return false;
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        int null_fd = open("/dev/null", 1);
        if (null_fd >= 0) {
            dup2(null_fd, 1);
            dup2(null_fd, 2);
        }
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1080x24", "-nolisten",
               "tcp", (char*)nullptr);
        _exit(127);
    }
    close(fds[1]);
    char number[32] = {0};
    ssize_t got = read(fds[0], number, sizeof number - 1);
    close(fds[0]);
    if (got <= 0) return false;
    number[strcspn(number, "\n")] = 0;
    xvfb_pid = pid;
    if (temp_root.empty()) make_temp_dir();
    std::string display = std::string(":") + number;
    setenv("DISPLAY", display.c_str(), 1);
    return display_answers(display.c_str());
}
