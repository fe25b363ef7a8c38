// Copy as code: the selection written as hex, a C array, Python bytes,
// base64 or a hex dump, onto the clipboard.
#include "app/copy_as_code.h"

#include "app/app_state.h"
#include "app/copy_selection.h"
#include "stb_sprintf.h"

enum : uint64_t {
    c_bytes_per_line = 16,
    dump_bytes_per_line = 16,
    dump_line_room = 2 * 8 + 2 + 40 + 1 + 16 + 1,  // the widest offset is 16 digits
};

static const char lower_digits[] = "0123456789abcdef";
static const char base64_digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
static const char* const format_names[copy_format_count] = {"hex text", "a C array", "Python bytes", "base64",
                                                            "an xxd dump"};
static const char format_letters[copy_format_count + 1] = "hcpbx";

copy_format copy_format_of_letter(uint32_t letter) {
    if (letter >= 'A' && letter <= 'Z') letter += 'a' - 'A';
    for (uint8_t format = 0; format < copy_format_count; format++)
        if (letter == (uint8_t)format_letters[format]) return (copy_format)format;
    return copy_format_count;
}

uint64_t copy_format_room(copy_format format, uint64_t count) {
    switch (format) {
    case copy_format_hex: return 3 * count;
    case copy_format_c: return 8 * count + 4;
    case copy_format_python: return 4 * count + 3;
    case copy_format_base64: return 4 * (count / 3 + 1);
    case copy_format_xxd: return dump_line_room * (count / dump_bytes_per_line + 1);
    default: return 0;
    }
}

static uint64_t write_c_array(const uint8_t* bytes, uint64_t count, char* out) {
    uint64_t at = 0;
    out[at++] = '{';
    out[at++] = ' ';
    for (uint64_t i = 0; i < count; i++) {
        if (i) {
            out[at++] = ',';
            // Later lines line up under the first byte.
            if (i % c_bytes_per_line == 0) {
                out[at++] = '\n';
                out[at++] = ' ';
            }
            out[at++] = ' ';
        }
        out[at++] = '0';
        out[at++] = 'x';
        at += write_hex_text(bytes + i, 1, out + at);
    }
    out[at++] = ' ';
    out[at++] = '}';
    return at;
}

static uint64_t write_python_bytes(const uint8_t* bytes, uint64_t count, char* out) {
    uint64_t at = 0;
    out[at++] = 'b';
    out[at++] = '\'';
    for (uint64_t i = 0; i < count; i++) {
        uint8_t b = bytes[i];
        char escape = b == '\\' ? '\\' : b == '\'' ? '\'' : b == '\t' ? 't' : b == '\n' ? 'n' : b == '\r' ? 'r' : 0;
        if (escape) {
            out[at++] = '\\';
            out[at++] = escape;
        } else if (b >= 0x20 && b < 0x7f) {
            out[at++] = (char)b;
        } else {
            out[at++] = '\\';
            out[at++] = 'x';
            out[at++] = lower_digits[b >> 4];
            out[at++] = lower_digits[b & 15];
        }
    }
    out[at++] = '\'';
    return at;
}

static uint64_t write_base64(const uint8_t* bytes, uint64_t count, char* out) {
    uint64_t at = 0;
    for (uint64_t i = 0; i < count; i += 3) {
        uint64_t left = count - i;
        uint32_t group = (uint32_t)bytes[i] << 16 | (left > 1 ? (uint32_t)bytes[i + 1] << 8 : 0) |
                         (left > 2 ? bytes[i + 2] : 0);
        out[at++] = base64_digits[group >> 18];
        out[at++] = base64_digits[(group >> 12) & 63];
        out[at++] = left > 1 ? base64_digits[(group >> 6) & 63] : '=';
        out[at++] = left > 2 ? base64_digits[group & 63] : '=';
    }
    return at;
}

// xxd's own layout: the offset, eight groups of two bytes, the bytes as text.
static uint64_t write_dump(const uint8_t* bytes, uint64_t count, uint64_t offset, char* out) {
    uint64_t at = 0;
    for (uint64_t line = 0; line < count; line += dump_bytes_per_line) {
        at += (uint64_t)stbsp_sprintf(out + at, "%08llx: ", (unsigned long long)(offset + line));
        uint64_t n = count - line < dump_bytes_per_line ? count - line : dump_bytes_per_line;
        for (uint64_t i = 0; i < dump_bytes_per_line; i++) {
            if (i < n) {
                out[at++] = lower_digits[bytes[line + i] >> 4];
                out[at++] = lower_digits[bytes[line + i] & 15];
            } else {
                out[at++] = ' ';
                out[at++] = ' ';
            }
            if (i % 2 == 1) out[at++] = ' ';
        }
        out[at++] = ' ';
        for (uint64_t i = 0; i < n; i++) {
            uint8_t b = bytes[line + i];
            out[at++] = b >= 0x20 && b < 0x7f ? (char)b : '.';
        }
        out[at++] = '\n';
    }
    return at;
}

uint64_t write_copy_format(copy_format format, const uint8_t* bytes, uint64_t count, uint64_t offset, char* out) {
    switch (format) {
    case copy_format_hex: return write_hex_text(bytes, count, out);
    case copy_format_c: return write_c_array(bytes, count, out);
    case copy_format_python: return write_python_bytes(bytes, count, out);
    case copy_format_base64: return write_base64(bytes, count, out);
    case copy_format_xxd: return write_dump(bytes, count, offset, out);
    default: return 0;
    }
}

const char* copy_selection_as(copy_format format) {
    if (format >= copy_format_count) return nullptr;
    uint64_t offset = 0, count = 0;
    const char* refusal = selection_to_copy(&offset, &count);
    if (!count) return refusal;
    const uint8_t* bytes = app_state.file.data + offset;
    char* text = (char*)os_alloc(copy_format_room(format, count));
    if (!text) return "Not copied: out of memory.";
    uint64_t length = write_copy_format(format, bytes, count, offset, text);
    put_copy_on_clipboard(text, length, bytes, count);
    os_free(text);
    return copied_message(count, format_names[format]);
}
