// The data view's value rows, exposed so that their texts can be built
// without painting.
#pragma once

#include <stdint.h>

enum data_view_row : uint8_t {
    data_row_u8,
    data_row_u16,
    data_row_u32,
    data_row_u64,
    data_row_i8,
    data_row_i16,
    data_row_i32,
    data_row_i64,
    data_row_f16,
    data_row_f32,
    data_row_f64,
    data_row_ascii,
    data_row_utf8,
    data_row_u24,
    data_row_u40,
    data_row_u48,
    data_row_u56,
    data_row_count,
};

// Replaces app_state.text with the row's value text for the bytes at the
// selection start and returns the number of bytes the row interprets.
uint64_t data_view_row_text(data_view_row row);
// Replaces app_state.text with the bit patterns of the selected bytes.
void data_view_binary_text(void);
