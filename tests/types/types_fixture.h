// Shared set-up of the type-system tests: a fresh table, a scratch line,
// captured standard output and the lines type_line emits.
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

inline std::vector<std::string> emitted_lines;

inline void record_line(const char* text, uint64_t length) { emitted_lines.emplace_back(text, length); }

inline void fresh_types(void) {
    type_table_free(&app_state.types);
    os_free(app_state.scratch_text.data);
    os_free(app_state.input);
    app_state_reset();
    reset_type_colors();
    register_builtin_types();
    text_buffer_create(&app_state.scratch_text, 512);
    emitted_lines.clear();
    type_line_observer = record_line;
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

// Lays the named type at `offset` over `bytes` and returns the emitted lines.
inline std::vector<std::string> lay_out(const char* name, std::vector<uint8_t>& bytes, uint64_t offset = 0) {
    app_state.file.data = bytes.data();
    app_state.file.size = bytes.size();
    emitted_lines.clear();
    widget_frame frame = structure_widget_frame();
    layout_cursor cursor = {};
    cursor.frame = &frame;
    cursor.line_height = 15;
    type_line(type_table_find(name, std::string(name).size()), offset, 0, &cursor);
    return emitted_lines;
}
