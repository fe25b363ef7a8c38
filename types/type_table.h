// The table of every type the user can lay over the file: the empty entry,
// fifteen built-in numbers, then the types parsed from types.c.
#pragma once

#include <stdint.h>

#include "types/byte_range.h"
#include "types/growable_array.h"

enum type_kind : uint32_t {
    type_kind_none = 0,
    type_kind_unsigned = 2,
    type_kind_signed = 3,
    type_kind_float = 4,
    type_kind_enum_unsigned = 5,
    type_kind_enum_signed = 6,
    type_kind_struct = 9,
    type_kind_union = 10,
};

// A field of a struct or union (offset, type_index), or an enumerator (value).
struct member {
    uint32_t offset;
    uint32_t type_index;
    int64_t value;
    uint32_t name_length;
    char* name;
};

struct type_info {
    uint32_t kind;
    uint32_t size;
    growable_array members;
    uint32_t name_length;
    char* name;
    uint32_t color;
};

typedef growable_array type_table;

// One region laid over the loaded file; type_index 0 is a misc section.
struct placement {
    uint32_t type_index;
    uint64_t offset;
    uint64_t length;
    uint32_t color;
};

inline bool placement_covers(const placement* p, uint64_t offset) {
    return offset_in_range(offset, p->offset, p->length);
}

enum : uint32_t {
    builtin_type_count = 15,  // indices 1..15
    type_table_initial_capacity = 128,
    member_list_initial_capacity = 32,
    misc_section_color = 0xff000000,
};

void register_builtin_types(void);
// Frees every type's name and members and the table itself, and empties it.
void type_table_free(type_table* table);
type_info* type_table_append(const type_info* entry);
// 0 when no entry from index 1 on has that name.
uint32_t type_table_find(const char* name, uint64_t length);
type_info* type_at(uint32_t index);
uint32_t next_type_color(void);
void reset_type_colors(void);  // the palette cursor back to the start: before a fresh parse

// Copies a name to a NUL-terminated heap block.
char* copy_name(const char* name, uint64_t length);
