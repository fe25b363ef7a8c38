// Find's numbers: a type name and a value ("u32 1234", "f64 1.5") turned
// into the bytes the value has in the chosen byte order.
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "app/prompt_line.h"

enum number_kind : uint8_t { number_unsigned, number_signed, number_float };

struct number_type {
    const char* name;
    uint8_t width;  // bytes
    uint8_t kind;
};

static const number_type number_types[] = {
    {"u8", 1, number_unsigned},  {"u16", 2, number_unsigned}, {"u24", 3, number_unsigned},
    {"u32", 4, number_unsigned}, {"u40", 5, number_unsigned}, {"u48", 6, number_unsigned},
    {"u56", 7, number_unsigned}, {"u64", 8, number_unsigned}, {"i8", 1, number_signed},
    {"i16", 2, number_signed},   {"i32", 4, number_signed},   {"i64", 8, number_signed},
    {"f32", 4, number_float},    {"f64", 8, number_float},
};

enum : uint64_t {
    bits_per_byte = 8,
    shown_name_most = 12,  // of an unknown type's name, echoed in the message
};

static bool is_blank(char c) { return c == ' ' || c == '\t'; }
static bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A letter u, i or f and digits, unless it also reads as hex bytes (f8, f032).
static bool is_type_word(const char* word, uint64_t length) {
    if (length < 2 || (word[0] != 'u' && word[0] != 'i' && word[0] != 'f')) return false;
    for (uint64_t i = 1; i < length; i++)
        if (!is_digit(word[i])) return false;
    return !(word[0] == 'f' && length % 2 == 0);
}

static const number_type* type_named(const char* word, uint64_t length) {
    for (const number_type& type : number_types)
        if (strlen(type.name) == length && memcmp(type.name, word, length) == 0) return &type;
    return nullptr;
}

// Sign, digits with at most one point, then an optional exponent: what
// strtod reads, without its hex, inf and nan forms.
static bool is_decimal_float(const char* text, uint64_t length, bool* nonzero) {
    uint64_t at = 0, digits = 0;
    *nonzero = false;
    if (at < length && (text[at] == '-' || text[at] == '+')) at++;
    bool point = false;
    for (; at < length && (is_digit(text[at]) || (text[at] == '.' && !point)); at++) {
        if (text[at] == '.') point = true;
        else digits++;
        if (text[at] >= '1' && text[at] <= '9') *nonzero = true;
    }
    if (digits == 0) return false;
    if (at < length && (text[at] == 'e' || text[at] == 'E')) {
        at++;
        if (at < length && (text[at] == '-' || text[at] == '+')) at++;
        uint64_t exponent_start = at;
        while (at < length && is_digit(text[at])) at++;
        if (at == exponent_start) return false;
    }
    return at == length;
}

// The float's bits; out of range when it overflows, or when digits that are
// not all zero come out as zero.
static find_parse_result float_bits(const number_type* type, const char* text, uint64_t length, uint64_t* bits) {
    bool nonzero = false;
    char copy[prompt_text_capacity + 1];
    if (length >= sizeof copy || !is_decimal_float(text, length, &nonzero)) return find_parse_bad_number;
    memcpy(copy, text, length);
    copy[length] = 0;
    if (type->width == sizeof(float)) {
        float value = strtof(copy, nullptr);
        if (isinf(value) || (value == 0 && nonzero)) return find_parse_out_of_range;
        uint32_t raw;
        memcpy(&raw, &value, sizeof raw);
        *bits = raw;
    } else {
        double value = strtod(copy, nullptr);
        if (isinf(value) || (value == 0 && nonzero)) return find_parse_out_of_range;
        memcpy(bits, &value, sizeof *bits);
    }
    return find_parse_ok;
}

// Decimal or 0x hex, with - for signed types; the two's complement bits.
static find_parse_result integer_bits(const number_type* type, const char* text, uint64_t length, uint64_t* bits) {
    go_to_target number = parse_go_to_text(text, length);
    if (number.result == go_to_not_a_number) return find_parse_bad_number;
    bool negative = number.negative && number.value != 0;
    uint32_t width_bits = type->width * bits_per_byte;
    uint64_t most = width_bits == 64 ? UINT64_MAX : (1ull << width_bits) - 1;
    if (type->kind == number_signed) most >>= 1;
    if (number.too_large || (negative && type->kind == number_unsigned)) return find_parse_out_of_range;
    if (number.value > most + (negative ? 1 : 0)) return find_parse_out_of_range;
    *bits = negative ? ~number.value + 1 : number.value;
    return find_parse_ok;
}

static void explain(text_buffer* message, find_parse_result result, const number_type* type, const char* word,
                    uint64_t word_length) {
    if (!message) return;
    text_reset(message);
    if (result == find_parse_unknown_type) {
        text_append_cstring(message, "Unknown type ");
        text_append(message, word_length < shown_name_most ? word_length : shown_name_most, word);
        text_append_cstring(message, ": numbers take u8 to u64, u24, u40, u48, u56, i8 to i64, f32 or f64.");
        return;
    }
    const char* name = type->name;
    if (result == find_parse_bad_number) {
        text_append_cstring(message, "Not a number for ");
        text_append_cstring(message, name);
        text_append_cstring(message, type->kind == number_float ? ": type one decimal number, such as 1.5 or -2e10."
                                     : type->kind == number_signed
                                         ? ": type one decimal number, 0x and hex digits, or either after -."
                                         : ": type one decimal number, or 0x and hex digits.");
        return;
    }
    text_append_cstring(message, "Out of range for ");
    text_append_cstring(message, name);
    uint32_t width_bits = type->width * bits_per_byte;
    if (type->kind == number_float) {
        text_append_cstring(message, type->width == sizeof(float) ? ": from 1.4e-45 to 3.4e38, either sign, or 0."
                                                                  : ": from 4.9e-324 to 1.8e308, either sign, or 0.");
    } else if (type->kind == number_signed) {
        text_append_cstring(message, ": ");
        text_append_int(message, width_bits == 64 ? INT64_MIN : -(1ll << (width_bits - 1)));
        text_append_cstring(message, " to ");
        text_append_int(message, width_bits == 64 ? INT64_MAX : (1ll << (width_bits - 1)) - 1);
        text_append_cstring(message, ".");
    } else {
        text_append_cstring(message, ": 0 to ");
        text_append_uint(message, width_bits == 64 ? UINT64_MAX : (1ull << width_bits) - 1);
        text_append_cstring(message, ".");
    }
}

find_parse_result parse_find_number(const char* text, uint64_t length, bool big_endian, find_pattern* pattern,
                                    text_buffer* message) {
    uint64_t at = 0, end = length;
    while (at < end && is_blank(text[at])) at++;
    while (end > at && is_blank(text[end - 1])) end--;
    uint64_t word_end = at;
    while (word_end < end && !is_blank(text[word_end])) word_end++;
    if (!is_type_word(text + at, word_end - at)) return find_parse_not_number;
    const number_type* type = type_named(text + at, word_end - at);
    find_parse_result result = find_parse_unknown_type;
    uint64_t bits = 0;
    if (type) {
        uint64_t value = word_end;
        while (value < end && is_blank(text[value])) value++;
        result = find_parse_bad_number;
        bool one_word = value < end;
        for (uint64_t i = value; i < end; i++)
            if (is_blank(text[i])) one_word = false;
        if (one_word)
            result = type->kind == number_float ? float_bits(type, text + value, end - value, &bits)
                                                : integer_bits(type, text + value, end - value, &bits);
    }
    if (result != find_parse_ok) {
        explain(message, result, type, text + at, word_end - at);
        return result;
    }
    *pattern = find_pattern{};
    pattern->length = type->width;
    for (uint32_t i = 0; i < type->width; i++) {
        uint32_t byte = big_endian ? type->width - 1 - i : i;
        pattern->bytes[i] = (uint8_t)(bits >> (byte * bits_per_byte));
    }
    return find_parse_ok;
}
