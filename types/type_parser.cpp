// The parser of the type language in types.c.
#include "types/type_parser.h"

#include <string.h>

#include "app/app_print.h"
#include "app/app_state.h"
#include "types/type_table.h"

// Each error is named by the number it prints.
enum parse_error : int32_t {
    parse_error_struct_name = 208,
    parse_error_struct_brace = 212,
    parse_error_field = 243,
    parse_error_too_large = 250,
    parse_error_enum_name = 268,
    parse_error_enum_brace = 278,
    parse_error_enum_base = 293,
    parse_error_enumerator = 321,
    parse_error_typedef_name = 348,
    parse_error_typedef_semicolon = 354,
    parse_error_typedef_unknown = 362,
    parse_error_declaration = 369,
};

enum parse_step { parse_next, parse_done, parse_stopped };

struct parser {
    const char* text;
    uint64_t size;
    uint64_t position;
};

struct name_span {
    const char* bytes;
    uint64_t length;
};

static bool at_end(const parser* p) { return p->position >= p->size; }

// The byte `ahead` places after the position; 0 past the text, which matches no rule.
static char peek(const parser* p, uint64_t ahead) {
    uint64_t at = p->position + ahead;
    return at < p->size ? p->text[at] : 0;
}

static bool is_identifier_byte(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

static void skip_space_and_comments(parser* p) {
    while (!at_end(p)) {
        char c = peek(p, 0);
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            p->position++;
        } else if (c == '/' && peek(p, 1) == '/') {
            p->position += 2;
            while (!at_end(p) && p->text[p->position] != '\n') p->position++;
            if (!at_end(p)) p->position++;
        } else if (c == '/' && peek(p, 1) == '*') {
            p->position += 2;
            while (!at_end(p) && !(p->text[p->position] == '*' && peek(p, 1) == '/')) p->position++;
            if (!at_end(p)) p->position += 2;
        } else {
            break;
        }
    }
}

static name_span read_identifier(parser* p) {
    name_span name = {p->text + p->position, 0};
    while (!at_end(p) && is_identifier_byte(p->text[p->position])) p->position++;
    name.length = (uint64_t)(p->text + p->position - name.bytes);
    skip_space_and_comments(p);
    return name;
}

// Consumes the byte at the position when it is `c`.
static bool accept(parser* p, char c) {
    if (at_end(p) || peek(p, 0) != c) return false;
    p->position++;
    skip_space_and_comments(p);
    return true;
}

static bool name_is(name_span name, const char* keyword) {
    uint64_t length = strlen(keyword);
    return name.length == length && memcmp(name.bytes, keyword, length) == 0;
}

static parse_step fail(parse_error number, const char* message) {
    app_print("[%s:%i] ", "create_types_from_code", (int)number);
    app_print("%s", message);
    return parse_stopped;
}

static parse_step after_declaration(const parser* p) { return at_end(p) ? parse_done : parse_next; }

// "}" and an optional ";" end a body.
static parse_step close_body(parser* p) {
    accept(p, '}');
    accept(p, ';');
    return after_declaration(p);
}

// Appends a new user type; its index, or 0 when memory ran out (already reported).
static uint32_t append_user_type(uint32_t kind, uint32_t size, name_span name, bool with_members) {
    type_info entry = {};
    entry.kind = kind;
    entry.size = size;
    if (with_members) array_create(&entry.members, member_list_initial_capacity, sizeof(member));
    entry.name_length = (uint32_t)name.length;
    entry.name = copy_name(name.bytes, name.length);
    if (!entry.name) return 0;
    entry.color = next_type_color();
    if (!type_table_append(&entry)) return 0;
    return (uint32_t)(app_state.types.count - 1);
}

static bool append_member(uint32_t owner, member* record, name_span name) {
    record->name_length = (uint32_t)name.length;
    record->name = copy_name(name.bytes, name.length);
    if (!record->name) return false;
    return array_append(&type_at(owner)->members, sizeof(member), record) != nullptr;
}

static parse_step parse_struct_or_union(parser* p, uint32_t kind) {
    if (at_end(p)) return fail(parse_error_struct_name, "Error wat\n");
    name_span name = read_identifier(p);
    if (name.length == 0) return fail(parse_error_struct_name, "Error wat\n");
    if (!accept(p, '{')) return fail(parse_error_struct_brace, "Error unexpected\n");
    uint32_t owner = append_user_type(kind, 0, name, true);
    if (!owner) return parse_stopped;

    for (;;) {
        if (at_end(p)) return parse_done;
        if (peek(p, 0) == '}') return close_body(p);
        name_span type_name = read_identifier(p);
        name_span field_name = read_identifier(p);
        uint32_t field_type = type_table_find(type_name.bytes, type_name.length);
        if (!field_type || type_name.length == 0 || field_name.length == 0)
            return fail(parse_error_field, "Error wat\n");

        // The field's type may be the one being defined: its size so far counts.
        uint32_t field_size = type_at(field_type)->size;
        type_info* owner_type = type_at(owner);
        member record = {};
        record.type_index = field_type;
        if (kind == type_kind_struct) {
            if (field_size > UINT32_MAX - owner_type->size)
                return fail(parse_error_too_large, "Error type too large\n");
            record.offset = owner_type->size;
            owner_type->size += field_size;
        } else if (field_size > owner_type->size) {
            owner_type->size = field_size;
        }
        if (!append_member(owner, &record, field_name)) return parse_stopped;

        accept(p, ';');
        if (at_end(p)) return parse_done;
    }
}

static parse_step parse_enum(parser* p) {
    if (at_end(p)) return fail(parse_error_enum_name, "Error wat\n");
    name_span name = read_identifier(p);
    if (name.length == 0) return fail(parse_error_enum_name, "Error wat\n");
    accept(p, ':');
    if (at_end(p)) return fail(parse_error_enum_brace, "Error unexpected\n");
    name_span base_name = read_identifier(p);
    if (!accept(p, '{')) return fail(parse_error_enum_brace, "Error unexpected\n");

    uint32_t base_kind = type_kind_signed;
    uint32_t base_size = 4;
    if (base_name.length) {
        const type_info* base = type_at(type_table_find(base_name.bytes, base_name.length));
        base_kind = base ? base->kind : type_kind_none;
        base_size = base ? base->size : 0;
    }
    if ((base_kind != type_kind_unsigned && base_kind != type_kind_signed) || base_size == 0)
        return fail(parse_error_enum_base, "Error invalid enum\n");

    uint32_t kind = base_kind == type_kind_unsigned ? type_kind_enum_unsigned : type_kind_enum_signed;
    uint32_t owner = append_user_type(kind, base_size, name, true);
    if (!owner) return parse_stopped;

    int64_t value = 0;
    for (;;) {
        if (at_end(p)) return parse_done;
        if (peek(p, 0) == '}') return close_body(p);
        name_span enumerator = read_identifier(p);
        if (enumerator.length == 0) return fail(parse_error_enumerator, "Error wat\n");
        member record = {};
        record.value = value++;
        if (!append_member(owner, &record, enumerator)) return parse_stopped;
        if (!accept(p, ',')) accept(p, ';');
        if (at_end(p)) return parse_done;
    }
}

// typedef NewName OldName; : the new name comes first.
static parse_step parse_typedef(parser* p) {
    if (at_end(p)) return fail(parse_error_typedef_name, "Error wat\n");
    name_span new_name = read_identifier(p);
    if (new_name.length == 0) return fail(parse_error_typedef_name, "Error wat\n");
    name_span old_name = read_identifier(p);
    if (!accept(p, ';')) return fail(parse_error_typedef_semicolon, "Error unexpected\n");
    uint32_t old_index = type_table_find(old_name.bytes, old_name.length);
    if (!old_index) return fail(parse_error_typedef_unknown, "Error unexpected\n");
    const type_info* old_type = type_at(old_index);
    if (!append_user_type(old_type->kind, old_type->size, new_name, false)) return parse_stopped;
    return after_declaration(p);
}

static parse_step parse_declaration(parser* p) {
    name_span keyword = read_identifier(p);
    if (name_is(keyword, "struct")) return parse_struct_or_union(p, type_kind_struct);
    if (name_is(keyword, "union")) return parse_struct_or_union(p, type_kind_union);
    if (name_is(keyword, "enum")) return parse_enum(p);
    if (name_is(keyword, "typedef")) return parse_typedef(p);
    int shown = keyword.length > INT32_MAX ? INT32_MAX : (int)keyword.length;
    app_print("[%s:%i] ", "create_types_from_code", (int)parse_error_declaration);
    app_print("Error maybe unsupported %.*s\n", shown, keyword.bytes);
    return parse_stopped;
}

void create_types_from_code(const char* text, uint64_t size) {
    parser p = {text, size, 0};
    skip_space_and_comments(&p);
    while (!at_end(&p)) {
        if (parse_declaration(&p) != parse_next) return;
    }
}
