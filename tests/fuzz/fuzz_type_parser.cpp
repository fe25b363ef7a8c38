// Fuzz target: the types.c parser on any text. It prints nothing or one
// well-formed error line, and every entry it adds is well formed.
#include <stdlib.h>
#include <string.h>

#include "app/app_state.h"
#include "fuzz_support.h"
#include "types/type_parser.h"
#include "types/type_table.h"

static void require(bool condition) {
    if (!condition) abort();
}

static bool is_identifier(const char* name, uint32_t length) {
    if (!name || length == 0 || name[length] != 0) return false;
    for (uint32_t i = 0; i < length; i++) {
        char c = name[i];
        bool ok = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        if (!ok) return false;
    }
    return true;
}

static void check_output(void) {
    // An error line quotes the offending token, which may be as long as the input.
    static char out[1 << 20];
    size_t n = captured_stdout(out, sizeof out);
    if (n == 0 || n == sizeof out) return;
    static const char prefix[] = "[create_types_from_code:";
    require(n > sizeof prefix && memcmp(out, prefix, sizeof prefix - 1) == 0);
    require(memchr(out, '\n', n) == out + n - 1);
    size_t at = sizeof prefix - 1;
    while (at < n && out[at] >= '0' && out[at] <= '9') at++;
    require(at > sizeof prefix - 1 && at + 2 < n && out[at] == ']' && out[at + 1] == ' ');
    require(memcmp(out + at + 2, "Error ", 6) == 0);
}

static void check_entry(uint32_t index) {
    const type_info* type = type_at(index);
    require(type && is_identifier(type->name, type->name_length));
    const member* members = (const member*)type->members.items;
    switch (type->kind) {
    case type_kind_unsigned:
    case type_kind_signed:
        require(type->size >= 1 && type->size <= 8);
        break;
    case type_kind_float: require(type->size == 2 || type->size == 4 || type->size == 8); break;
    case type_kind_enum_unsigned:
    case type_kind_enum_signed:
        require(type->size >= 1 && type->size <= 8);
        for (int64_t i = 0; i < type->members.count; i++) {
            require(is_identifier(members[i].name, members[i].name_length));
            require(members[i].value == i);
        }
        break;
    case type_kind_struct:
    case type_kind_union: {
        uint64_t end = 0;
        for (int64_t i = 0; i < type->members.count; i++) {
            const member* field = &members[i];
            require(is_identifier(field->name, field->name_length));
            require(field->type_index >= 1 && field->type_index <= index);
            // A field of the type being defined counts its size when it was read.
            const type_info* field_type = type_at(field->type_index);
            if (field->type_index < index) require((uint64_t)field->offset + field_type->size <= type->size);
            if (type->kind == type_kind_struct) require(field->offset >= end);
            else require(field->offset == 0);
            end = field->offset;
        }
        break;
    }
    default: require(false);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!app_state.types.items) app_state_reset();
    reset_type_table();
    int64_t before = app_state.types.count;
    capture_stdout_begin();
    create_types_from_code((const char*)data, size);
    check_output();
    for (int64_t i = before; i < app_state.types.count; i++) check_entry((uint32_t)i);
    return 0;
}
