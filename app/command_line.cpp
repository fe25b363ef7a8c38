// The command line: options, the usage text, and the scale from the environment.
#include <stdlib.h>
#include <string.h>

#include "app/app.h"
#include "app/prompt_line.h"

static const char usage_text[] =
    "Usage: bitlorn [OPTION]... [FILE]...\n"
    "Shows a binary file as characters, hex, numbers and laid-over types.\n"
    "Of several FILEs the last that can be read is shown; - reads standard input.\n"
    "\n"
    "  --scale N    draw every pixel as an N x N block, N from 1 to 4\n"
    "               (default: the BITLORN_SCALE environment variable, else 1)\n"
    "  --offset N   select the byte at offset N (decimal, or 0x and hex digits)\n"
    "               and scroll it into view; past the end, the last byte\n"
    "  --length N   select N bytes from the offset (N above 0)\n"
    "  --byte-colors\n"
    "               start with the bytes coloured by class (Ctrl+B turns it off)\n"
    "  -h, --help   print this help and exit\n"
    "  --version    print the version and exit\n"
    "  --           end of options: every later argument is a file\n"
    "\n"
    "Ctrl+O opens a file, F1 lists the keys; bitlorn(1) describes them all.\n";

static const char version_text[] = "Bitlorn " BITLORN_VERSION "\n";

static bool equals(utf8_string text, const char* literal) {
    uint64_t length = strlen(literal);
    return text.data && (uint64_t)text.length == length && memcmp(text.data, literal, length) == 0;
}

static bool starts_with(utf8_string text, const char* literal) {
    uint64_t length = strlen(literal);
    return text.data && (uint64_t)text.length >= length && memcmp(text.data, literal, length) == 0;
}

// "--name N" or "--name=N".
static bool is_valued_option(utf8_string argument, const char* name) {
    uint64_t length = strlen(name);
    return equals(argument, name) || (starts_with(argument, name) && (uint64_t)argument.length > length &&
                                      argument.data[length] == '=');
}

// The value after '=' in the argument at *at, else the next argument (taken).
static utf8_string option_value(const utf8_string* arguments, int32_t count, int32_t* at) {
    utf8_string argument = arguments[*at];
    const char* equal = (const char*)memchr(argument.data, '=', (uint64_t)argument.length);
    if (equal) return utf8_string{argument.length - (equal + 1 - argument.data), equal + 1};
    if (*at + 1 < count) return arguments[++*at];
    return utf8_string{};
}

// As Go to reads an offset, without its steps from the selection; numbers
// past 64 bits stand for the largest.
static bool parse_byte_count(utf8_string text, uint64_t* number) {
    if (!text.data) return false;
    go_to_target target = parse_go_to_text(text.data, (uint64_t)text.length);
    *number = target.value;
    return target.result == go_to_absolute;
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
        } else if (is_valued_option(argument, "--scale")) {
            utf8_string value = option_value(arguments, count, &i);
            options.scale = parse_scale(value);
            if (!options.scale) fail(&options, "bitlorn: --scale takes a number from 1 to 4, not '", value, "'");
        } else if (is_valued_option(argument, "--offset") || is_valued_option(argument, "--length")) {
            bool offset = argument.data[2] == 'o';
            utf8_string value = option_value(arguments, count, &i);
            uint64_t number = 0;
            if (!parse_byte_count(value, &number) || (!offset && number == 0))
                fail(&options, offset ? "bitlorn: --offset takes a decimal number or 0x and hex digits, not '"
                                      : "bitlorn: --length takes a number above 0, decimal or 0x and hex digits, not '",
                     value, "'");
            (offset ? options.has_offset : options.has_length) = true;
            (offset ? options.offset : options.length) = number;
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

void select_from_command_line(const command_line_options* options) {
    if (!options->has_offset && !options->has_length) return;
    uint64_t length = options->has_length ? options->length : 1;
    select_forward(0, options->offset, length > (uint64_t)INT64_MAX ? INT64_MAX : (int64_t)length);
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
