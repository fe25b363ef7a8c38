// Ctrl+C: the selection's bytes onto the clipboard, with a text reading that
// depends on the grid the user works in.
#include "app/copy_selection.h"

#include "app/app.h"
#include "app/app_state.h"
#include "render/pixel_buffer.h"
#include "stb_sprintf.h"

static const char octet_stream[] = "application/octet-stream";
static char copy_message[96];

uint64_t write_hex_text(const uint8_t* bytes, uint64_t count, char* out) {
    static const char digits[] = "0123456789ABCDEF";
    uint64_t at = 0;
    for (uint64_t i = 0; i < count; i++) {
        if (i) out[at++] = ' ';
        out[at++] = digits[bytes[i] >> 4];
        out[at++] = digits[bytes[i] & 15];
    }
    return at;
}

bool is_valid_utf8(const uint8_t* bytes, uint64_t count) {
    uint64_t i = 0;
    while (i < count) {
        uint8_t lead = bytes[i];
        if (lead < 0x80) {
            i++;
            continue;
        }
        uint32_t follow;
        uint32_t low = 0x80, high = 0xbf;  // the range of the first continuation byte
        if (lead >= 0xc2 && lead <= 0xdf) follow = 1;
        else if (lead >= 0xe0 && lead <= 0xef) {
            follow = 2;
            if (lead == 0xe0) low = 0xa0;   // overlong
            if (lead == 0xed) high = 0x9f;  // surrogates
        } else if (lead >= 0xf0 && lead <= 0xf4) {
            follow = 3;
            if (lead == 0xf0) low = 0x90;   // overlong
            if (lead == 0xf4) high = 0x8f;  // past U+10FFFF
        } else {
            return false;
        }
        if (count - i <= follow) return false;
        if (bytes[i + 1] < low || bytes[i + 1] > high) return false;
        for (uint32_t k = 2; k <= follow; k++)
            if ((bytes[i + k] & 0xc0) != 0x80) return false;
        i += follow + 1;
    }
    return true;
}

uint64_t write_latin1_as_utf8(const uint8_t* bytes, uint64_t count, char* out) {
    uint64_t at = 0;
    for (uint64_t i = 0; i < count; i++) {
        uint8_t b = bytes[i];
        if (b < 0x80) {
            out[at++] = (char)b;
        } else {
            out[at++] = (char)(0xc0 | (b >> 6));
            out[at++] = (char)(0x80 | (b & 0x3f));
        }
    }
    return at;
}

copy_grid copy_source_grid(void) {
    int32_t x = app_state.mouse_x, y = app_state.mouse_y;
    if (rect_contains(app_state.hex_panel, x, y)) return copy_grid_hex;
    if (rect_contains(app_state.text_panel, x, y)) return copy_grid_chars;
    return app_state.last_clicked_grid == copy_grid_chars ? copy_grid_chars : copy_grid_hex;
}

const char* selection_to_copy(uint64_t* offset, uint64_t* count) {
    uint64_t size = app_state.file.size;
    *count = 0;
    if (!app_state.file.data || app_state.select_offset < 0 || (uint64_t)app_state.select_offset >= size ||
        app_state.select_len < 1)
        return nullptr;
    *offset = (uint64_t)app_state.select_offset;
    uint64_t inside = (uint64_t)app_state.select_len;
    if (inside > size - *offset) inside = size - *offset;
    if (inside > copy_limit_bytes) return "Not copied: the selection is larger than 64 MiB.";
    *count = inside;
    return nullptr;
}

void put_copy_on_clipboard(const char* text, uint64_t length, const uint8_t* bytes, uint64_t count) {
    utf8_string text_string = {(int64_t)length, text};
    utf8_string data = {(int64_t)count, (const char*)bytes};
    os_clipboard_set_text_and_data(text_string, utf8_string{(int64_t)sizeof octet_stream - 1, octet_stream}, data);
}

const char* copied_message(uint64_t count, const char* what) {
    stbsp_snprintf(copy_message, (int)sizeof copy_message, "Copied %llu byte%s as %s.", (unsigned long long)count,
                   count == 1 ? "" : "s", what);
    return copy_message;
}

const char* copy_selection(void) {
    uint64_t offset = 0, count = 0;
    const char* refusal = selection_to_copy(&offset, &count);
    if (!count) return refusal;

    const uint8_t* bytes = app_state.file.data + offset;
    copy_grid grid = copy_source_grid();
    bool as_is = grid == copy_grid_chars && is_valid_utf8(bytes, count);
    char* text = nullptr;
    uint64_t length = count;
    if (!as_is) {
        text = (char*)os_alloc(grid == copy_grid_hex ? 3 * count : 2 * count);
        if (!text) return "Not copied: out of memory.";
        length = grid == copy_grid_hex ? write_hex_text(bytes, count, text) : write_latin1_as_utf8(bytes, count, text);
    }
    put_copy_on_clipboard(as_is ? (const char*)bytes : text, length, bytes, count);
    if (text) os_free(text);
    return copied_message(count, grid == copy_grid_hex ? "hex text" : "text");
}
