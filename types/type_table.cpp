// The type table: the built-in types, appending, lookup by name and the colour palette.
#include "types/type_table.h"

#include <string.h>

#include "app/app_print.h"
#include "app/app_state.h"
#include "os/os.h"

enum : uint32_t {
    unsigned_color = 0xff222222,
    signed_color = 0xff333333,
    float_color = 0xff444444,
    type_palette_count = 14,
};

static const uint32_t type_palette[type_palette_count] = {
    0xff222266, 0xff224466, 0xff226666, 0xff226622, 0xff666622, 0xff664422, 0xff662222,
    0xff662266, 0xff223366, 0xff225566, 0xff226644, 0xff446622, 0xff665522, 0xff663322,
};

static int32_t palette_cursor = -1;

struct builtin_type {
    const char* name;
    uint32_t kind;
    uint32_t size;
    uint32_t color;
};

// The order is part of the interface: the structure view breaks its rows of
// buttons after u56, i64 and f64.
static const builtin_type builtin_types[builtin_type_count] = {
    {"u8", type_kind_unsigned, 1, unsigned_color},  {"u16", type_kind_unsigned, 2, unsigned_color},
    {"u32", type_kind_unsigned, 4, unsigned_color}, {"u64", type_kind_unsigned, 8, unsigned_color},
    {"u24", type_kind_unsigned, 3, unsigned_color}, {"u40", type_kind_unsigned, 5, unsigned_color},
    {"u48", type_kind_unsigned, 6, unsigned_color}, {"u56", type_kind_unsigned, 7, unsigned_color},
    {"i8", type_kind_signed, 1, signed_color},      {"i16", type_kind_signed, 2, signed_color},
    {"i32", type_kind_signed, 4, signed_color},     {"i64", type_kind_signed, 8, signed_color},
    {"f16", type_kind_float, 2, float_color},       {"f32", type_kind_float, 4, float_color},
    {"f64", type_kind_float, 8, float_color},
};

char* copy_name(const char* name, uint64_t length) {
    char* copy = (char*)os_alloc(length + 1);
    if (!copy) {
        app_print("Out of memory: could not copy a name of %llu bytes\n", (unsigned long long)length);
        return nullptr;
    }
    if (length) memcpy(copy, name, length);
    copy[length] = 0;
    return copy;
}

void register_builtin_types(void) {
    array_create(&app_state.types, type_table_initial_capacity, sizeof(type_info));
    type_info empty = {};
    type_table_append(&empty);
    for (uint32_t i = 0; i < builtin_type_count; i++) {
        const builtin_type* builtin = &builtin_types[i];
        type_info entry = {};
        entry.kind = builtin->kind;
        entry.size = builtin->size;
        entry.name_length = (uint32_t)strlen(builtin->name);
        entry.name = copy_name(builtin->name, entry.name_length);
        entry.color = builtin->color;
        type_table_append(&entry);
    }
}

type_info* type_table_append(const type_info* entry) {
    return (type_info*)array_append(&app_state.types, sizeof(type_info), entry);
}

void type_table_free(type_table* table) {
    type_info* types = (type_info*)table->items;
    for (int64_t i = 0; i < table->count; i++) {
        member* members = (member*)types[i].members.items;
        for (int64_t m = 0; m < types[i].members.count; m++) os_free(members[m].name);
        os_free(members);
        os_free(types[i].name);
    }
    os_free(table->items);
    *table = type_table{};
}

uint32_t type_table_find(const char* name, uint64_t length) {
    const type_info* types = (const type_info*)app_state.types.items;
    for (int64_t i = 1; i < app_state.types.count; i++) {
        const type_info* type = &types[i];
        if (type->name_length == length && (length == 0 || memcmp(type->name, name, length) == 0))
            return (uint32_t)i;
    }
    return 0;
}

type_info* type_at(uint32_t index) {
    if ((int64_t)index >= app_state.types.count) return nullptr;
    return &((type_info*)app_state.types.items)[index];
}

uint32_t next_type_color(void) {
    palette_cursor = (palette_cursor + 1) % type_palette_count;
    return type_palette[palette_cursor];
}

void reset_type_colors(void) { palette_cursor = -1; }
