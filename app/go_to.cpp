// Go to: reading an offset typed in the prompt, moving the selection there,
// and scrolling a selected range into view (Find uses that too).
#include "app/app.h"
#include "app/app_state.h"
#include "app/prompt_line.h"
#include "app/status_line.h"

static bool is_blank(char c) { return c == ' ' || c == '\t'; }

static int digit_value(char c, uint64_t base) {
    int value = -1;
    if (c >= '0' && c <= '9') value = c - '0';
    else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
    return value >= 0 && (uint64_t)value < base ? value : -1;
}

// Decimal, 0x hexadecimal, or either after + or - for a step from the
// selection start. Numbers too big for 64 bits are still numbers: they lie
// past the end of any file.
go_to_target parse_go_to_text(const char* text, uint64_t length) {
    go_to_target target = {go_to_not_a_number, 0, 0, 0};
    uint64_t at = 0, end = length;
    while (at < end && is_blank(text[at])) at++;
    while (end > at && is_blank(text[end - 1])) end--;
    uint8_t result = go_to_absolute;
    if (at < end && (text[at] == '+' || text[at] == '-')) {
        result = go_to_relative;
        target.negative = text[at] == '-';
        at++;
    }
    uint64_t base = 10;
    if (end - at > 2 && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
        base = 16;
        at += 2;
    }
    if (at >= end) return target;
    uint64_t value = 0;
    bool too_large = false;
    for (; at < end; at++) {
        int digit = digit_value(text[at], base);
        if (digit < 0) return target;
        if (value > (UINT64_MAX - (uint64_t)digit) / base) too_large = true;
        value = too_large ? UINT64_MAX : value * base + (uint64_t)digit;
    }
    target.result = result;
    target.too_large = too_large;
    target.value = value;
    return target;
}

// Rows already in view stay put; otherwise the first row of the range lands
// a third of the way down, keeping context above it, or higher when the
// range needs the room.
void select_and_reveal(int64_t offset, int64_t length) {
    app_state.select_offset = offset;
    app_state.select_anchor = offset;
    app_state.select_len = length < 1 ? 1 : length;
    int64_t per_row = app_state.bytes_per_row;
    int64_t rows = app_state.visible_rows;
    if (per_row <= 0 || rows <= 0) return;
    int64_t first_row = offset / per_row;
    int64_t last_row = (offset + app_state.select_len - 1) / per_row;
    int64_t top = app_state.scroll_row;
    if (first_row >= top && last_row < top + rows) return;
    int64_t above = rows / 3;
    int64_t spare = rows - (last_row - first_row + 1);
    if (above > spare) above = spare;
    if (above < 0) above = 0;
    int64_t row = first_row - above;
    app_state.scroll_row = row < 0 ? 0 : row;
}

bool go_to_from_text(const char* text, uint64_t length) {
    go_to_target target = parse_go_to_text(text, length);
    if (target.result == go_to_not_a_number) {
        status_set("Not an offset: type a decimal number, 0x and hex digits, or +N / -N.");
        return false;
    }
    uint64_t size = app_state.file.size;
    if (!app_state.file.data || size == 0) {
        status_set("The file is empty.");
        return true;
    }
    int64_t base = target.result == go_to_relative ? app_state.select_offset : 0;
    if (base < 0) base = 0;
    if ((uint64_t)base >= size) base = (int64_t)size - 1;
    if (target.negative) {
        if (target.value > (uint64_t)base) {
            select_and_reveal(0, 1);
            status_set("That is before the start of the file; went to offset 0.");
            return true;
        }
        select_and_reveal(base - (int64_t)target.value, 1);
        return true;
    }
    select_forward(base, target.value, 1);
    return true;
}

void select_forward(int64_t base, uint64_t bytes, int64_t length) {
    uint64_t size = app_state.file.size;
    if (!app_state.file.data || size == 0) return;
    uint64_t last = size - 1;
    if (bytes > last - (uint64_t)base) {
        select_and_reveal((int64_t)last, 1);
        status_set_number("The file ends before that; went to its last byte, offset ", (int64_t)last, ".");
        return;
    }
    select_and_reveal(base + (int64_t)bytes, length);
}
