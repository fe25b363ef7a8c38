// The command line: options, the usage text, and the scale from the environment.
#include <stdlib.h>
#include <string.h>

#include "app/app.h"

static const char usage_text[] =
    "Usage: bitlorn [OPTION]... [FILE]...\n"
    "Shows a binary file as characters, hex, numbers and laid-over types.\n"
    "Of several FILEs the last that can be read is shown; - reads standard input.\n"
    "\n"
    "  --scale N    draw every pixel as an N x N block, N from 1 to 4\n"
    "               (default: the BITLORN_SCALE environment variable, else 1)\n"
    "  --byte-colors\n"
    "               start with the bytes coloured by class (Ctrl+B turns it off)\n"
    "  -h, --help   print this help and exit\n"
    "  --version    print the version and exit\n"
    "  --           end of options: every later argument is a file\n"
    "\n"
    "The keys and the mouse are described in bitlorn(1).\n";

static const char version_text[] = "Bitlorn " BITLORN_VERSION "\n";

static bool equals(utf8_string text, const char* literal) {
    uint64_t length = strlen(literal);
    return text.data && (uint64_t)text.length == length && memcmp(text.data, literal, length) == 0;
}

static bool starts_with(utf8_string text, const char* literal) {
    uint64_t length = strlen(literal);
    return text.data && (uint64_t)text.length >= length && memcmp(text.data, literal, length) == 0;
}

int32_t parse_scale(utf8_string text) {
    if (!text.data || text.length != 1 || text.data[0] < '1' || text.data[0] > '0' + os_max_window_scale) return 0;
    return text.data[0] - '0';
}

static void append_bounded(char* line, uint64_t capacity, const char* bytes, uint64_t count) {
    uint64_t length = strlen(line);
    if (count > capacity - 1 - length) count = capacity - 1 - length;
    memcpy(line + length, bytes, count);
    line[length + count] = 0;
}

// One line naming the argument; a very long one is cut short.
static void fail(command_line_options* options, const char* first, utf8_string argument, const char* last) {
    options->action = command_error;
    options->error[0] = 0;
    uint64_t room = sizeof options->error;
    append_bounded(options->error, room - strlen(last), first, strlen(first));
    if (argument.data) append_bounded(options->error, room - strlen(last), argument.data, (uint64_t)argument.length);
    append_bounded(options->error, room, last, strlen(last));
}

command_line_options parse_command_line(const utf8_string* arguments, int32_t count, utf8_string* paths) {
    command_line_options options = {};
    bool options_ended = false;
    for (int32_t i = 0; i < count && options.action == command_run; i++) {
        utf8_string argument = arguments[i];
        bool is_option = !options_ended && argument.length > 1 && argument.data[0] == '-';
        if (!is_option) {
            paths[options.path_count++] = argument;
        } else if (equals(argument, "--")) {
            options_ended = true;
        } else if (equals(argument, "-h") || equals(argument, "--help")) {
            options.action = command_help;
        } else if (equals(argument, "--byte-colors")) {
            options.byte_colors = true;
        } else if (equals(argument, "--version")) {
            options.action = command_version;
        } else if (equals(argument, "--scale") || starts_with(argument, "--scale=")) {
            utf8_string value = {};
            if (argument.length > 7) value = utf8_string{argument.length - 8, argument.data + 8};
            else if (i + 1 < count) value = arguments[++i];
            options.scale = parse_scale(value);
            if (!options.scale) fail(&options, "bitlorn: --scale takes a number from 1 to 4, not '", value, "'");
        } else {
            fail(&options, "bitlorn: unknown option '", argument, "'");
        }
    }
    return options;
}

int32_t scale_from_environment(void) {
    const char* value = getenv("BITLORN_SCALE");
    if (!value || !*value) return 1;
    int32_t scale = parse_scale(os_string(value));
    if (scale) return scale;
    static const char warning[] = "bitlorn: BITLORN_SCALE is not a number from 1 to 4; ignored\n";
    os_write_stderr(utf8_string{sizeof warning - 1, warning});
    return 1;
}

int finish_command_line(const command_line_options* options) {
    switch (options->action) {
    case command_help: os_write_stdout(os_string(usage_text)); return 0;
    case command_version: os_write_stdout(os_string(version_text)); return 0;
    default: break;
    }
    os_write_stderr(os_string(options->error));
    os_write_stderr(os_string("\n"));
    os_write_stderr(os_string(usage_text));
    return command_line_exit_usage;
}
