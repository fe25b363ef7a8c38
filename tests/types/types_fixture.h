// Shared set-up of the type-system tests: a fresh table, a scratch line,
// captured standard output and the lines of a laid type.
#pragma once

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "test_support.h"
#include "types/type_layout.h"
#include "types/read_number.h"
#include "types/type_parser.h"
#include "types/type_table.h"

inline void fresh_types(void) {
    type_table_free(&app_state.types);
    os_free(app_state.scratch_text.data);
    os_free(app_state.input);
    app_state_reset();
    reset_type_colors();
    register_builtin_types();
    text_buffer_create(&app_state.scratch_text, 512);
}

// Parses `code` (kept with a terminating zero) and returns the printed lines.
inline std::string parse(const std::string& code) {
    return capture_stdout([&] { create_types_from_code(code.c_str(), code.size()); });
}

inline const type_info* find_type(const char* name) {
    uint32_t index = type_table_find(name, std::string(name).size());
    return index ? type_at(index) : nullptr;
}

inline const member* member_at(const type_info* type, int64_t index) {
    return &((const member*)type->members.items)[index];
}

inline std::string member_name(const type_info* type, int64_t index) {
    const member* m = member_at(type, index);
    return std::string(m->name, m->name_length);
}

// The lines of the named type laid at `offset` over `bytes`.
inline std::vector<std::string> lay_out(const char* name, std::vector<uint8_t>& bytes, uint64_t offset = 0) {
    app_state.file.data = bytes.data();
    app_state.file.size = bytes.size();
    std::vector<std::string> lines;
    type_walk walk;
    type_walk_begin(&walk, type_table_find(name, std::string(name).size()), offset);
    type_walk_line line;
    while (type_walk_next(&walk, &app_state.scratch_text, &line))
        lines.emplace_back(app_state.scratch_text.data, app_state.scratch_text.length);
    app_state.scratch_text.length = 0;
    return lines;
}
