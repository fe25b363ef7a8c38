// The prompt line: opening and closing it, the keys and typed characters it
// takes, and the text that stands in for the path line.
#include <string.h>

#include "app/app.h"
#include "app/app_state.h"
#include "app/copy_as_code.h"
#include "app/find_matches.h"
#include "app/prompt_line.h"
#include "app/sliced_jobs.h"
#include "app/status_line.h"

enum : uint32_t {
    first_printable = 0x20,
    delete_character = 0x7F,
    last_c1_control = 0x9F,
    high_surrogate_first = 0xD800,
    low_surrogate_first = 0xDC00,
    low_surrogate_end = 0xE000,
    surrogate_bits = 10,
    first_supplementary = 0x10000,
};

static const char go_to_label[] = "Go to offset: ";
static const char find_label[] = "Find: ";
static const char copy_as_label[] = "Copy as: h hex, c C array, p Python bytes, b base64, x xxd dump (Escape cancels) ";
static const char text_cursor[] = "_";
static const char message_gap[] = "   ";
static const char cut_mark[] = "<";

// The shade over selected text: the grids' selection shade.
static const color prompt_selection_shade = 0x88ffffff;

// ---------------------------------------------------------------------------
// Typed text

static const char* label_of(uint8_t kind) {
    return kind == prompt_go_to ? go_to_label : kind == prompt_copy_as ? copy_as_label : find_label;
}

static void open_prompt(uint8_t kind) {
    bool reopened = app_state.prompt.kind == kind;
    if (!reopened) app_state.prompt.text_length = 0;
    app_state.prompt.text_selected = reopened && app_state.prompt.text_length > 0;
    app_state.prompt.kind = kind;
    app_state.prompt.high_surrogate = 0;
}

static void close_prompt(void) {
    app_state.prompt.kind = prompt_closed;
    app_state.prompt.text_length = 0;
    app_state.prompt.text_selected = 0;
    app_state.prompt.high_surrogate = 0;
}

static void append_code_point(uint32_t code) {
    char bytes[4];
    uint32_t count = 0;
    if (code < 0x80) {
        bytes[count++] = (char)code;
    } else if (code < 0x800) {
        bytes[count++] = (char)(0xC0 | (code >> 6));
        bytes[count++] = (char)(0x80 | (code & 0x3F));
    } else if (code < first_supplementary) {
        bytes[count++] = (char)(0xE0 | (code >> 12));
        bytes[count++] = (char)(0x80 | ((code >> 6) & 0x3F));
        bytes[count++] = (char)(0x80 | (code & 0x3F));
    } else {
        bytes[count++] = (char)(0xF0 | (code >> 18));
        bytes[count++] = (char)(0x80 | ((code >> 12) & 0x3F));
        bytes[count++] = (char)(0x80 | ((code >> 6) & 0x3F));
        bytes[count++] = (char)(0x80 | (code & 0x3F));
    }
    prompt_state* prompt = &app_state.prompt;
    if (prompt->text_selected) prompt->text_length = 0;
    prompt->text_selected = 0;
    if (prompt->text_length + count > prompt_text_capacity) return;
    memcpy(prompt->text + prompt->text_length, bytes, count);
    prompt->text_length += count;
}

// Characters come as UTF-16 code units; a pair is put together before it is
// stored as UTF-8. Control characters (Enter, Escape, Ctrl+letters) are keys.
void prompt_on_char(uint32_t code) {
    prompt_state* prompt = &app_state.prompt;
    if (prompt->kind == prompt_closed || sliced_job_running(sliced_job_find)) return;
    if (code < first_printable || (code >= delete_character && code <= last_c1_control)) return;
    if (prompt->kind == prompt_copy_as) {
        // Letters that name no format leave the prompt waiting for one.
        copy_format format = copy_format_of_letter(code);
        if (format == copy_format_count) return;
        close_prompt();
        const char* message = copy_selection_as(format);
        if (message) status_set(message);
        return;
    }
    if (code >= high_surrogate_first && code < low_surrogate_first) {
        prompt->high_surrogate = (uint16_t)code;
        return;
    }
    if (code >= low_surrogate_first && code < low_surrogate_end) {
        if (!prompt->high_surrogate) return;
        code = first_supplementary + (((uint32_t)prompt->high_surrogate - high_surrogate_first) << surrogate_bits) +
               (code - low_surrogate_first);
    }
    prompt->high_surrogate = 0;
    append_code_point(code);
}

static void delete_last_character(void) {
    prompt_state* prompt = &app_state.prompt;
    if (prompt->text_selected) prompt->text_length = 0;
    prompt->text_selected = 0;
    while (prompt->text_length > 0) {
        uint8_t byte = (uint8_t)prompt->text[--prompt->text_length];
        if ((byte & 0xC0) != 0x80) break;  // stop after the lead byte of a UTF-8 sequence
    }
}

// ---------------------------------------------------------------------------
// Acting

static const char* find_parse_message(find_parse_result result) {
    switch (result) {
    case find_parse_odd_digits: return "Hex bytes take two digits each: 4D 5A or 4d5a.";
    case find_parse_not_hex: return "Not hex bytes: type 4D 5A (?? for any byte) or text in double quotes.";
    case find_parse_open_quote: return "The text has no closing double quote.";
    case find_parse_too_long: return "The pattern is too long.";
    default: return "Type hex bytes (4D 5A, ?? for any byte) or text in double quotes.";
    }
}

static void find_from_prompt_text(bool backward) {
    find_pattern pattern;
    const char* text = app_state.prompt.text;
    uint32_t length = app_state.prompt.text_length;
    char storage[status_message_capacity];
    text_buffer message = {0, storage, sizeof storage - 1};
    find_parse_result number = parse_find_number(text, length, app_state.big_endian != 0, &pattern, &message);
    if (number == find_parse_ok) {
        find_start(&pattern, backward);
        return;
    }
    if (number != find_parse_not_number) {
        status_set(message.data);
        return;
    }
    find_parse_result result = parse_find_text(text, length, &pattern);
    if (result != find_parse_ok) {
        status_set(find_parse_message(result));
        return;
    }
    find_start(&pattern, backward);
}

static void find_again(bool backward) {
    prompt_state* prompt = &app_state.prompt;
    if (prompt->kind == prompt_find && prompt->text_length > 0)
        find_from_prompt_text(backward);
    else if (prompt->has_last_pattern)
        find_start(&prompt->last_pattern, backward);
    else
        open_prompt(prompt_find);
}

void prompt_open_go_to(void) { open_prompt(prompt_go_to); }

// A first Ctrl+F over a selection short enough to be a pattern starts from
// its bytes, selected, so that typing replaces them and Enter finds the next copy.
void prompt_open_find(void) {
    bool fresh = app_state.prompt.kind != prompt_find;
    open_prompt(prompt_find);
    int64_t offset = app_state.select_offset, length = app_state.select_len;
    uint64_t size = app_state.file.size;
    if (!fresh || !app_state.file.data || offset < 0 || (uint64_t)offset >= size || length < 1 ||
        length > find_pattern_capacity)
        return;
    if ((uint64_t)length > size - (uint64_t)offset) length = (int64_t)(size - (uint64_t)offset);
    static const char digits[] = "0123456789ABCDEF";
    prompt_state* prompt = &app_state.prompt;
    prompt->text_length = 0;
    for (int64_t i = 0; i < length; i++) {
        uint8_t byte = app_state.file.data[offset + i];
        if (i > 0) prompt->text[prompt->text_length++] = ' ';
        prompt->text[prompt->text_length++] = digits[byte >> 4];
        prompt->text[prompt->text_length++] = digits[byte & 15];
    }
    prompt->text_selected = 1;
}

void prompt_open_copy_as(void) { open_prompt(prompt_copy_as); }

void prompt_close(void) {
    close_prompt();
    find_matches_forget();
}

void prompt_delete_character(void) { delete_last_character(); }

void prompt_find_again(bool backward) { find_again(backward); }

// Enter: Find searches (Shift: backwards), Go to goes and closes.
void prompt_enter(bool backward) {
    prompt_state* prompt = &app_state.prompt;
    prompt->text_selected = 0;
    if (prompt->kind == prompt_find) {
        find_from_prompt_text(backward);
    } else if (prompt->kind == prompt_go_to && go_to_from_text(prompt->text, prompt->text_length)) {
        close_prompt();
    }
}

// ---------------------------------------------------------------------------
// The line

bool prompt_line_shown(void) { return prompt_line_busy() || app_state.status.message_length > 0; }

bool prompt_line_busy(void) { return app_state.prompt.kind != prompt_closed || sliced_jobs_progress_shown(); }

// `skip` leaves out the first bytes of the typed text, for a line too long
// to show whole.
static void build_line_skipping(text_buffer* text, uint32_t skip) {
    const prompt_state* prompt = &app_state.prompt;
    text_reset(text);
    bool open = prompt->kind != prompt_closed;
    if (open) {
        text_append_cstring(text, label_of(prompt->kind));
        if (skip > 0) text_append_cstring(text, cut_mark);
        text_append(text, prompt->text_length - skip, prompt->text + skip);
        text_append_cstring(text, text_cursor);
    }
    const status_line_state* status = &app_state.status;
    if (sliced_jobs_progress_shown()) {
        if (open) text_append_cstring(text, message_gap);
        sliced_jobs_append_progress(text);
    } else if (status->message_length > 0) {
        if (open) text_append_cstring(text, message_gap);
        text_append(text, status->message_length, status->message);
    }
}

void build_prompt_line(text_buffer* text) { build_line_skipping(text, 0); }

// The line stops short of the structure view, which reaches up beside it;
// while typing, the end of a long text is the part worth seeing.
void draw_prompt_line(draw_list* list, text_buffer* text, int32_t x, int32_t y) {
    build_line_skipping(text, 0);
    const prompt_state* prompt = &app_state.prompt;
    int32_t glyph_w = app_state.font.glyph_w;
    int64_t room = (int64_t)app_state.struct_panel.x - app_state.margin - x;
    uint32_t skip = 0;
    if (glyph_w > 0 && room > 0) {
        uint64_t fits = (uint64_t)(room / glyph_w);
        if (text->length > fits && prompt->kind != prompt_closed) {
            uint64_t over = text->length - fits + (sizeof cut_mark - 1);
            skip = over < prompt->text_length ? (uint32_t)over : prompt->text_length;
            while (skip < prompt->text_length && ((uint8_t)prompt->text[skip] & 0xC0) == 0x80) skip++;
            build_line_skipping(text, skip);
        }
        if (text->length > fits) text->length = fits;
    }
    if (text->data) draw_text(list, &app_state.font, rect{x, y, 0, 0}, text->length, text->data);
    if (prompt->text_selected && prompt->kind != prompt_closed && glyph_w > 0) {
        // The typed text follows the label and the cut mark, if any.
        uint64_t first = strlen(label_of(prompt->kind));
        if (skip > 0) first += sizeof cut_mark - 1;
        uint64_t end = first + (prompt->text_length - skip);
        if (end > text->length) end = text->length;
        if (end > first) {
            rect area = {x + (int32_t)first * glyph_w, y, (int32_t)(end - first) * glyph_w, app_state.font.glyph_h};
            blend_rect(list, area, prompt_selection_shade);
        }
    }
}
