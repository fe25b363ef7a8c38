// The key table: every key and chord with the command it runs, and the
// dispatch of key presses and typed characters through it.
#include "app/key_bindings.h"

#include "app/app.h"
#include "app/app_state.h"
#include "app/measure_selection.h"
#include "app/prompt_line.h"
#include "app/sliced_jobs.h"
#include "render/text_buffer.h"
#include "views/changed_bytes.h"

enum : uint16_t {
    key_f3 = os_key_f1 + 2,
    key_a = os_key_a + ('A' - 'A'),
    key_b = os_key_a + ('B' - 'A'),
    key_c = os_key_a + ('C' - 'A'),
    key_f = os_key_a + ('F' - 'A'),
    key_g = os_key_a + ('G' - 'A'),
    key_i = os_key_a + ('I' - 'A'),
    key_o = os_key_a + ('O' - 'A'),
};

static void nothing(uint32_t) {}
static void show_keys(uint32_t) { key_list_show(!key_list_shown()); }
static void hide_keys(uint32_t) { key_list_show(false); }
static void stop_search(uint32_t) { sliced_job_stop(sliced_job_find); }
static void open_go_to(uint32_t) { prompt_open_go_to(); }
static void open_find(uint32_t) { prompt_open_find(); }
static void find_next(uint32_t) { prompt_find_again(false); }
static void find_previous(uint32_t) { prompt_find_again(true); }
static void copy(uint32_t) { copy_selection_with_message(); }
static void open_copy_as(uint32_t) { prompt_open_copy_as(); }
static void toggle_byte_colors(uint32_t) { app_state.byte_colors = !app_state.byte_colors; }
static void forget_changes(uint32_t) { changes_forget_marks(); }
static void measure(uint32_t) { measure_start(); }
static void stop_measure(uint32_t) { sliced_job_stop(sliced_job_measure); }
static void select_all(uint32_t) { select_whole_file(); }
static void open_file(uint32_t) { choose_file_start(); }
static void close_prompt(uint32_t) { prompt_close(); }
static void delete_character(uint32_t) { prompt_delete_character(); }
static void enter_forward(uint32_t) { prompt_enter(false); }
static void enter_backward(uint32_t) { prompt_enter(true); }
static void type_character(uint32_t code) { prompt_on_char(code); }
static void byte_left(uint32_t) { move_selection_start(-1); }
static void byte_right(uint32_t) { move_selection_start(1); }
static void shrink(uint32_t) { stretch_selection(-1); }
static void grow(uint32_t) { stretch_selection(1); }
static void row_up(uint32_t) { move_selection_rows(-1); }
static void row_down(uint32_t) { move_selection_rows(1); }
static void page_up(uint32_t) { scroll_pages(-1, false); }
static void page_down(uint32_t) { scroll_pages(1, false); }
static void ten_pages_up(uint32_t) { scroll_pages(-1, true); }
static void ten_pages_down(uint32_t) { scroll_pages(1, true); }
static void to_start(uint32_t) { scroll_to_start(); }
static void to_end(uint32_t) { scroll_to_end(); }
static void delete_placement(uint32_t) { delete_placement_at_selection(); }

enum : uint8_t { up = modifier_up, down = modifier_down, either = modifier_either };

// Searched from the top. The key list, while shown, takes every key. While a
// search runs its keys come first; an open prompt keeps the keys that would
// edit text, but lets the view still scroll and move the selection by rows.
// Copying the match just found is the usual next step, so Ctrl+C works
// everywhere, and so does Ctrl+I, measuring it.
static const key_binding bindings[] = {
    {os_key_f1, either, either, when_key_list_shown, nullptr, hide_keys},
    {os_key_escape, either, either, when_key_list_shown, nullptr, hide_keys},
    {os_key_f1, either, either, when_always, "show or hide this list of keys", show_keys},
    {os_key_escape, either, either, when_measuring, "stop measuring", stop_measure},
    {os_key_escape, either, either, when_searching, "stop the search", stop_search},
    {key_f3, either, either, when_searching, nullptr, nothing},
    {os_key_return, either, either, when_searching, nullptr, nothing},
    {key_o, down, either, when_always, "open a file", open_file},
    {key_g, down, either, when_file, "go to an offset", open_go_to},
    {key_f, down, either, when_file, "find hex bytes or \"text\"", open_find},
    {key_f3, either, up, when_file, "find the next match", find_next},
    {key_f3, either, down, when_file, "find the previous match", find_previous},
    {key_a, down, either, when_file, "select the whole file", select_all},
    {key_c, down, down, when_file, "copy the selection as code: hex, C, Python, base64 or xxd", open_copy_as},
    {key_c, down, either, when_always, "copy the selection", copy},
    {key_b, down, either, when_always, "colour the bytes by class", toggle_byte_colors},
    {key_i, down, either, when_always, "measure the selection: CRC-32, SHA-256...", measure},
    {os_key_escape, either, either, when_prompt_open, "close the prompt", close_prompt},
    {os_key_backspace, either, either, when_prompt_open, "delete the last character typed", delete_character},
    {os_key_return, either, up, when_prompt_open, "go there, or find the next match", enter_forward},
    {os_key_return, either, down, when_prompt_open, "find the previous match", enter_backward},
    {key_text_entry, either, either, when_typing, nullptr, type_character},
    {os_key_up, up, either, when_always, "move the selection start a row up", row_up},
    {os_key_down, up, either, when_always, "move the selection start a row down", row_down},
    {os_key_page_up, up, up, when_always, "scroll a page up", page_up},
    {os_key_page_down, up, up, when_always, "scroll a page down", page_down},
    {os_key_page_up, up, down, when_always, "scroll ten pages up", ten_pages_up},
    {os_key_page_down, up, down, when_always, "scroll ten pages down", ten_pages_down},
    {os_key_left, up, up, when_prompt_closed, "move the selection start a byte left", byte_left},
    {os_key_right, up, up, when_prompt_closed, "move the selection start a byte right", byte_right},
    {os_key_left, up, down, when_prompt_closed, "shrink the selection by a byte", shrink},
    {os_key_right, up, down, when_prompt_closed, "grow the selection by a byte", grow},
    {os_key_home, up, either, when_prompt_closed, "scroll to the start of the file", to_start},
    {os_key_end, up, either, when_prompt_closed, "scroll to the end of the file", to_end},
    {os_key_delete, up, either, when_prompt_closed, "remove the placement at the selection start",
     delete_placement},
    {os_key_escape, either, either, when_always, "clear the marks of the bytes a reload changed", forget_changes},
};

const key_binding* key_binding_table(int32_t* count) {
    *count = (int32_t)(sizeof bindings / sizeof bindings[0]);
    return bindings;
}

// The names of the keys the table binds, as the README writes them.
static const struct {
    uint16_t key;
    const char* name;
} key_names[] = {
    {os_key_escape, "Escape"}, {os_key_return, "Enter"},   {os_key_backspace, "Backspace"},
    {os_key_left, "Left"},     {os_key_right, "Right"},    {os_key_up, "Up"},
    {os_key_down, "Down"},     {os_key_page_up, "Page Up"}, {os_key_page_down, "Page Down"},
    {os_key_home, "Home"},     {os_key_end, "End"},        {os_key_delete, "Delete"},
};

uint64_t key_chord_name(const key_binding* binding, char* name, uint64_t capacity) {
    text_buffer text = {0, name, capacity - 1};
    name[0] = 0;
    uint16_t key = binding->key;
    if (key == key_text_entry) return 0;
    if (binding->control == modifier_down) text_append_cstring(&text, "Ctrl+");
    if (binding->shift == modifier_down) text_append_cstring(&text, "Shift+");
    if (key >= os_key_a && key < os_key_a + 26) {
        text_append_char(&text, (char)key);
    } else if (key >= os_key_f1 && key < os_key_f1 + (int32_t)os_function_key_count) {
        text_append_char(&text, 'F');
        text_append_int(&text, key - os_key_f1 + 1);
    } else {
        for (const auto& named : key_names)
            if (named.key == key) text_append_cstring(&text, named.name);
    }
    return text.length;
}

static bool is_down(uint16_t key) { return (input_at(key)->state & input_is_down) != 0; }

static bool modifier_fits(uint8_t rule, bool held) {
    return rule == modifier_either || (rule == modifier_down) == held;
}

static bool condition_holds(uint8_t when) {
    const prompt_state* prompt = &app_state.prompt;
    bool file = app_state.file.data != nullptr;
    bool open = file && prompt->kind != prompt_closed;
    switch (when) {
    case when_file: return file;
    case when_searching: return file && sliced_job_running(sliced_job_find);
    case when_prompt_open: return open;
    case when_typing: return prompt->kind != prompt_closed && !sliced_job_running(sliced_job_find);
    case when_prompt_closed: return !open;
    case when_key_list_shown: return key_list_shown();
    case when_measuring: return sliced_job_running(sliced_job_measure);
    default: return true;
    }
}

static bool dispatch(uint16_t key, uint32_t code) {
    bool control = is_down(os_key_control), shift = is_down(os_key_shift);
    bool list_shown = key_list_shown();
    for (const key_binding& binding : bindings) {
        if (list_shown && binding.when != when_key_list_shown) break;
        if (binding.key != key || !condition_holds(binding.when)) continue;
        if (key != key_text_entry && (!modifier_fits(binding.control, control) || !modifier_fits(binding.shift, shift)))
            continue;
        binding.command(code);
        return true;
    }
    return false;
}

bool dispatch_key(uint16_t key) { return dispatch(key, 0); }

bool dispatch_text(uint32_t code) { return dispatch(key_text_entry, code); }
