// The desktop's file chooser: the XDG desktop portal's FileChooser over the
// session bus when one answers, else zenity or kdialog as a child process.
// Either runs beside the caller, who polls it; the message wait wakes on its
// descriptor.
//
// Index
//   State             the one chooser
//   Portal            session bus, OpenFile, the Response signal
//   Programs          zenity, kdialog
//   Interface         os_file_chooser_open, _poll, _close, the descriptor
#include <dbus/dbus.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "os/os_private.h"

// ---------------------------------------------------------------------------
// State

enum chooser_stage : uint8_t {
    stage_none = 0,
    stage_portal = 1,
    stage_program = 2,
    stage_answered = 3,
};

enum : uint64_t {
    request_path_capacity = 256,
    program_output_limit = 1u << 16,
};

static const char portal_name[] = "org.freedesktop.portal.Desktop";
static const char portal_object[] = "/org/freedesktop/portal/desktop";
static const char portal_interface[] = "org.freedesktop.portal.FileChooser";
static const char request_interface[] = "org.freedesktop.portal.Request";
// The portal's answers in the Response signal.
enum : uint32_t { portal_chose = 0, portal_cancelled = 1 };

struct chooser_state {
    uint8_t stage;
    uint8_t answer;  // os_file_chooser_status, once answered
    char* paths;     // the answer's path block
    char* folder;    // where the chooser starts, "" for the current directory
    char* title;
    char parent[32];  // "x11:" and the window id, for the portal
    DBusConnection* bus;
    uint32_t call_serial;
    char request_path[request_path_capacity];
    os_process process;
    char* output;
    uint64_t output_length;
};

static chooser_state chooser;

static void answer(uint8_t status, char* paths) {
    chooser.stage = stage_answered;
    chooser.answer = status;
    chooser.paths = paths;
}

// A drop path block of one path: the path, a NUL, then an empty path.
static char* path_block(const char* path, uint64_t length) {
    char* block = (char*)os_alloc(length + 2);
    if (!block) return nullptr;
    memcpy(block, path, length);
    block[length] = block[length + 1] = 0;
    return block;
}

// ---------------------------------------------------------------------------
// Portal

static void close_bus(void) {
    if (!chooser.bus) return;
    dbus_connection_close(chooser.bus);
    dbus_connection_unref(chooser.bus);
    chooser.bus = nullptr;
}

// Only a bus the session names: without one, libdbus would launch a bus of
// its own for the X display.
static DBusConnection* open_session_bus(void) {
    char fallback[512];
    const char* address = getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address || !*address) {
        const char* runtime = getenv("XDG_RUNTIME_DIR");
        if (!runtime || !*runtime) return nullptr;
        int length = snprintf(fallback, sizeof fallback, "%s/bus", runtime);
        if (length <= 0 || length >= (int)sizeof fallback - 10 || access(fallback, F_OK) != 0) return nullptr;
        snprintf(fallback, sizeof fallback, "unix:path=%s/bus", runtime);
        address = fallback;
    }
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* bus = dbus_connection_open_private(address, &error);
    if (bus) {
        // A bus that goes away must not end the program.
        dbus_connection_set_exit_on_disconnect(bus, FALSE);
        if (!dbus_bus_register(bus, &error)) {
            dbus_connection_close(bus);
            dbus_connection_unref(bus);
            bus = nullptr;
        }
    }
    dbus_error_free(&error);
    return bus;
}

static void watch_response(const char* path) {
    char rule[request_path_capacity + 160];
    snprintf(rule, sizeof rule, "type='signal',interface='%s',member='Response',path='%s'", request_interface, path);
    // No reply is awaited: the rule is in place before the bus handles our next message.
    dbus_bus_add_match(chooser.bus, rule, nullptr);
    snprintf(chooser.request_path, sizeof chooser.request_path, "%s", path);
}

static void append_option(DBusMessageIter* options, const char* key, int type, const void* value, int32_t count) {
    DBusMessageIter entry, variant, bytes;
    char signature[3] = {(char)type, 0, 0};
    if (count >= 0) signature[0] = DBUS_TYPE_ARRAY, signature[1] = (char)type;
    dbus_message_iter_open_container(options, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
    dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key);
    dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, signature, &variant);
    if (count >= 0) {
        dbus_message_iter_open_container(&variant, DBUS_TYPE_ARRAY, signature + 1, &bytes);
        dbus_message_iter_append_fixed_array(&bytes, type, &value, count);
        dbus_message_iter_close_container(&variant, &bytes);
    } else {
        dbus_message_iter_append_basic(&variant, type, value);
    }
    dbus_message_iter_close_container(&entry, &variant);
    dbus_message_iter_close_container(options, &entry);
}

// Sends OpenFile. Its request object's path is known before the call (from
// our name and the handle token), so the answer cannot outrun the watch.
static bool start_portal(void) {
    chooser.bus = open_session_bus();
    if (!chooser.bus) return false;
    static uint32_t token_counter;
    char token[32], path[request_path_capacity];
    snprintf(token, sizeof token, "bitlorn%u", ++token_counter);
    int at = snprintf(path, sizeof path, "/org/freedesktop/portal/desktop/request/");
    for (const char* c = dbus_bus_get_unique_name(chooser.bus) + 1; *c && at < (int)sizeof path - 40; c++)
        path[at++] = *c == '.' ? '_' : *c;
    snprintf(path + at, sizeof path - (uint64_t)at, "/%s", token);
    watch_response(path);

    DBusMessage* call = dbus_message_new_method_call(portal_name, portal_object, portal_interface, "OpenFile");
    if (!call) return false;
    DBusMessageIter arguments, options;
    const char* parent = chooser.parent;
    const char* title = chooser.title;
    const char* token_text = token;
    dbus_bool_t modal = TRUE;
    dbus_message_iter_init_append(call, &arguments);
    dbus_message_iter_append_basic(&arguments, DBUS_TYPE_STRING, &parent);
    dbus_message_iter_append_basic(&arguments, DBUS_TYPE_STRING, &title);
    dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, "{sv}", &options);
    append_option(&options, "handle_token", DBUS_TYPE_STRING, &token_text, -1);
    append_option(&options, "modal", DBUS_TYPE_BOOLEAN, &modal, -1);
    // The portal takes the folder as bytes ending in a NUL.
    if (chooser.folder[0])
        append_option(&options, "current_folder", DBUS_TYPE_BYTE, chooser.folder, (int32_t)strlen(chooser.folder) + 1);
    dbus_message_iter_close_container(&arguments, &options);
    bool sent = dbus_connection_send(chooser.bus, call, &chooser.call_serial);
    dbus_message_unref(call);
    if (sent) dbus_connection_flush(chooser.bus);
    return sent;
}

// The first of the "uris" in the Response's results, as a path block.
static char* chosen_paths(DBusMessageIter* results) {
    for (; dbus_message_iter_get_arg_type(results) == DBUS_TYPE_DICT_ENTRY; dbus_message_iter_next(results)) {
        DBusMessageIter entry, variant, uris;
        const char* key = nullptr;
        dbus_message_iter_recurse(results, &entry);
        dbus_message_iter_get_basic(&entry, &key);
        if (strcmp(key, "uris") != 0 || !dbus_message_iter_next(&entry)) continue;
        dbus_message_iter_recurse(&entry, &variant);
        if (dbus_message_iter_get_arg_type(&variant) != DBUS_TYPE_ARRAY) return nullptr;
        dbus_message_iter_recurse(&variant, &uris);
        if (dbus_message_iter_get_arg_type(&uris) != DBUS_TYPE_STRING) return nullptr;
        const char* uri = nullptr;
        dbus_message_iter_get_basic(&uris, &uri);
        uint32_t count = 0;
        char* block = os_xdnd_parse_uri_list(uri, (int64_t)strlen(uri), &count);
        if (block && count == 1) return block;
        os_free(block);
        return nullptr;
    }
    return nullptr;
}

enum portal_news : uint8_t { portal_waiting, portal_answered, portal_failed };

static portal_news read_portal_message(DBusMessage* message) {
    int type = dbus_message_get_type(message);
    bool reply = dbus_message_get_reply_serial(message) == chooser.call_serial;
    if (type == DBUS_MESSAGE_TYPE_ERROR && reply) return portal_failed;
    if (dbus_message_is_signal(message, DBUS_INTERFACE_LOCAL, "Disconnected")) return portal_failed;
    const char* handle = nullptr;
    // An older portal picks its own request path; its answer can then only be watched from here on.
    if (type == DBUS_MESSAGE_TYPE_METHOD_RETURN && reply &&
        dbus_message_get_args(message, nullptr, DBUS_TYPE_OBJECT_PATH, &handle, DBUS_TYPE_INVALID) &&
        strcmp(handle, chooser.request_path) != 0)
        watch_response(handle);
    if (!dbus_message_is_signal(message, request_interface, "Response") ||
        !dbus_message_has_path(message, chooser.request_path))
        return portal_waiting;
    DBusMessageIter arguments, results;
    uint32_t response = 2;
    if (dbus_message_iter_init(message, &arguments) && dbus_message_iter_get_arg_type(&arguments) == DBUS_TYPE_UINT32)
        dbus_message_iter_get_basic(&arguments, &response);
    if (response == portal_cancelled) {
        answer(os_file_chooser_cancelled, nullptr);
        return portal_answered;
    }
    if (response != portal_chose || !dbus_message_iter_next(&arguments) ||
        dbus_message_iter_get_arg_type(&arguments) != DBUS_TYPE_ARRAY)
        return portal_failed;
    dbus_message_iter_recurse(&arguments, &results);
    char* paths = chosen_paths(&results);
    answer(paths ? os_file_chooser_chosen : os_file_chooser_cancelled, paths);
    return portal_answered;
}

static portal_news pump_portal(void) {
    if (!dbus_connection_read_write(chooser.bus, 0)) return portal_failed;
    portal_news news = portal_waiting;
    while (DBusMessage* message = dbus_connection_pop_message(chooser.bus)) {
        if (news == portal_waiting) news = read_portal_message(message);
        dbus_message_unref(message);
    }
    return news;
}

// ---------------------------------------------------------------------------
// Programs

// One argument in single quotes, as os_split_command_line reads it back.
static void append_quoted(char* line, uint64_t capacity, const char* argument) {
    uint64_t at = strlen(line);
    if (at + 2 < capacity) line[at++] = ' ', line[at++] = '\'';
    for (const char* c = argument; *c && at + 6 < capacity; c++) {
        if (*c == '\'') {
            memcpy(line + at, "'\\''", 4);
            at += 4;
        } else {
            line[at++] = *c;
        }
    }
    if (at + 1 < capacity) line[at++] = '\'';
    line[at] = 0;
}

static bool start_program(void) {
    uint64_t capacity = strlen(chooser.folder) * 4 + strlen(chooser.title) * 4 + 128;
    char* line = (char*)os_alloc(capacity);
    if (!line) return false;
    line[0] = 0;
    if (os_program_installed("zenity")) {
        snprintf(line, capacity, "zenity --file-selection");
        append_quoted(line, capacity, "--title");
        append_quoted(line, capacity, chooser.title);
        if (chooser.folder[0]) {
            append_quoted(line, capacity, "--filename");
            append_quoted(line, capacity, chooser.folder);
        }
    } else if (os_program_installed("kdialog")) {
        snprintf(line, capacity, "kdialog --getopenfilename");
        append_quoted(line, capacity, chooser.folder[0] ? chooser.folder : ".");
        append_quoted(line, capacity, "--title");
        append_quoted(line, capacity, chooser.title);
    }
    bool started = line[0] && os_process_start(&chooser.process, os_string(line), 1) == 0;
    os_free(line);
    if (!started) return false;
    // With our copies of the child's ends closed, the pipe ends when the
    // child does, which wakes the message wait.
    close(chooser.process.child_output_write);
    close(chooser.process.child_input_read);
    close(chooser.process.parent_input_write);
    chooser.process.child_output_write = chooser.process.child_input_read = chooser.process.parent_input_write = -1;
    return true;
}

// The chosen path is the last line the program prints (warnings can come
// before it on the same pipe); cancelling exits with a failure.
static char* program_paths(void) {
    if (chooser.process.exit_status != 0 || !chooser.output) return nullptr;
    uint64_t end = chooser.output_length;
    while (end > 0 && (chooser.output[end - 1] == '\n' || chooser.output[end - 1] == '\r')) end--;
    uint64_t start = end;
    while (start > 0 && chooser.output[start - 1] != '\n') start--;
    const char* path = chooser.output + start;
    if (end == start || path[0] != '/' || memchr(path, 0, end - start)) return nullptr;
    return path_block(path, end - start);
}

static void pump_program(void) {
    // Looked at first: what a child wrote before it ended is then all in the pipe.
    bool running = os_process_is_running(&chooser.process);
    for (;;) {
        if (!chooser.output) chooser.output = (char*)os_alloc(program_output_limit);
        if (!chooser.output) break;
        int64_t room = (int64_t)(program_output_limit - chooser.output_length);
        int64_t got = os_process_read(&chooser.process, room, chooser.output + chooser.output_length);
        if (got <= 0 || room == 0) break;
        chooser.output_length += (uint64_t)got;
    }
    if (running) return;
    char* paths = program_paths();
    os_process_close(&chooser.process);
    answer(paths ? os_file_chooser_chosen : os_file_chooser_cancelled, paths);
}

// ---------------------------------------------------------------------------
// Interface

// With `slash`, a non-empty text ends in '/': zenity then opens the folder
// rather than selecting it.
static char* heap_copy(utf8_string text, bool slash) {
    uint64_t length = text.data && text.length > 0 ? (uint64_t)text.length : 0;
    char* copy = (char*)os_alloc(length + 2);
    if (copy) {
        if (length) memcpy(copy, text.data, length);
        if (slash && length && copy[length - 1] != '/') copy[length++] = '/';
        copy[length] = 0;
    }
    return copy;
}

// Tries the next kind of chooser; with none left the answer is that none is available.
static void fall_back_to_programs(void) {
    close_bus();
    if (start_program()) chooser.stage = stage_program;
    else answer(os_file_chooser_unavailable, nullptr);
}

bool os_file_chooser_open(os_window* parent, utf8_string folder, utf8_string title) {
    if (chooser.stage != stage_none) return false;
    chooser.folder = heap_copy(folder, true);
    chooser.title = heap_copy(title, false);
    if (!chooser.folder || !chooser.title) {
        os_file_chooser_close();
        return false;
    }
    if (parent && parent->native_handle)
        snprintf(chooser.parent, sizeof chooser.parent, "x11:%lx", (unsigned long)parent->native_handle);
    chooser.stage = stage_portal;
    if (!start_portal()) fall_back_to_programs();
    return true;
}

uint8_t os_file_chooser_poll(char** paths) {
    *paths = nullptr;
    if (chooser.stage == stage_portal && pump_portal() == portal_failed) fall_back_to_programs();
    if (chooser.stage == stage_program) pump_program();
    if (chooser.stage == stage_none) return os_file_chooser_idle;
    if (chooser.stage != stage_answered) return os_file_chooser_waiting;
    uint8_t status = chooser.answer;
    *paths = chooser.paths;
    chooser.paths = nullptr;
    os_file_chooser_close();
    return status;
}

void os_file_chooser_close(void) {
    close_bus();
    if (chooser.stage == stage_program) os_process_close(&chooser.process);
    os_free(chooser.paths);
    os_free(chooser.folder);
    os_free(chooser.title);
    os_free(chooser.output);
    memset(&chooser, 0, sizeof chooser);
}

int os_file_chooser_descriptor(void) {
    int descriptor = -1;
    if (chooser.stage == stage_portal && !dbus_connection_get_unix_fd(chooser.bus, &descriptor)) descriptor = -1;
    if (chooser.stage == stage_program) descriptor = chooser.process.parent_output_read;
    return descriptor;
}
