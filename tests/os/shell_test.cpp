// The desktop folder, opening paths and picking folders.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "os/os.h"
#include "test_support.h"

static utf8_string as_path(const std::string& path) { return {(int64_t)path.size(), path.c_str()}; }

// The desktop folder is cached for the process, so each case runs in a child, which
// leaves with _exit so that it does not remove the shared scratch folders.
static int desktop_in_child(const std::string& home, const std::string& expected) {
    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    utf8_string desktop = os_desktop_directory();
    std::string got = desktop.data ? std::string(desktop.data, (size_t)desktop.length) : "<none>";
    return got == expected ? 0 : 1;
}

TEST(ShellDeathTest, DesktopFromUserDirsThenFallbackThenNone) {
    std::string home = make_temp_dir();
    mkdir((home + "/.config").c_str(), 0700);
    std::string config = "# comment\nXDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n  XDG_DESKTOP_DIR=\"$HOME/Schreibtisch/\"\n";
    ASSERT_EQ(os_write_bytes(as_path(home + "/.config/user-dirs.dirs"), (uint32_t)config.size(), config.data()), 0);
    EXPECT_EXIT(_exit(desktop_in_child(home, home + "/Schreibtisch")), testing::ExitedWithCode(0), "");

    std::string plain = make_temp_dir();
    mkdir((plain + "/Desktop").c_str(), 0700);
    EXPECT_EXIT(_exit(desktop_in_child(plain, plain + "/Desktop")), testing::ExitedWithCode(0), "");

    EXPECT_EXIT(_exit(desktop_in_child(make_temp_dir(), "<none>")), testing::ExitedWithCode(0), "");
}

TEST(Shell, OpenAndPickFailCleanlyWithoutHelpers) {
    EXPECT_EQ(os_shell_open(as_path(make_temp_dir() + "/missing")), 1);
    std::string saved = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", "/nonexistent", 1);
    utf8_string picked = {0, nullptr};
    EXPECT_EQ(os_pick_folder(&picked), 1);
    EXPECT_EQ(picked.data, nullptr);
    setenv("PATH", saved.c_str(), 1);
}
