// The key table: every key and chord with the command it runs, and the
// dispatch of key presses and typed characters through it.
#include "app/key_bindings.h"

#include "app/app.h"
#include "app/app_state.h"
#include "app/measure_selection.h"
#include "app/prompt_line.h"
#include "app/sliced_jobs.h"
#include "views/changed_bytes.h"

enum : uint16_t {
    key_f3 = os_key_f1 + 2,
    key_b = os_key_a + ('B' - 'A'),
    key_c = os_key_a + ('C' - 'A'),
    key_f = os_key_a + ('F' - 'A'),
    key_g = os_key_a + ('G' - 'A'),
    key_i = os_key_a + ('I' - 'A'),
};

static void nothing(uint32_t) {}
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

// Searched from the top. While a search runs its keys come first; an open
// prompt keeps the keys that would edit text, but lets the view still scroll
// and move the selection by rows. Copying the match just found is the usual
// next step, so Ctrl+C works everywhere, and so does Ctrl+I, measuring it.
static const key_binding bindings[] = {
    {os_key_escape, either, either, when_measuring, "Escape", stop_measure},
    {os_key_escape, either, either, when_searching, "Escape", stop_search},
    {key_f3, either, either, when_searching, "F3", nothing},
    {os_key_return, either, either, when_searching, "Enter", nothing},
    {key_g, down, either, when_file, "Ctrl+G", open_go_to},
    {key_f, down, either, when_file, "Ctrl+F", open_find},
    {key_f3, either, up, when_file, "F3", find_next},
    {key_f3, either, down, when_file, "Shift+F3", find_previous},
    {key_c, down, down, when_file, "Ctrl+Shift+C", open_copy_as},
    {key_c, down, either, when_always, "Ctrl+C", copy},
    {key_b, down, either, when_always, "Ctrl+B", toggle_byte_colors},
    {key_i, down, either, when_always, "Ctrl+I", measure},
    {os_key_escape, either, either, when_prompt_open, "Escape", close_prompt},
    {os_key_backspace, either, either, when_prompt_open, "Backspace", delete_character},
    {os_key_return, either, up, when_prompt_open, "Enter", enter_forward},
    {os_key_return, either, down, when_prompt_open, "Shift+Enter", enter_backward},
    {key_text_entry, either, either, when_typing, nullptr, type_character},
    {os_key_up, up, either, when_always, "Up", row_up},
    {os_key_down, up, either, when_always, "Down", row_down},
    {os_key_page_up, up, up, when_always, "Page Up", page_up},
    {os_key_page_down, up, up, when_always, "Page Down", page_down},
    {os_key_page_up, up, down, when_always, "Shift+Page Up", ten_pages_up},
    {os_key_page_down, up, down, when_always, "Shift+Page Down", ten_pages_down},
    {os_key_left, up, up, when_not_typing, "Left", byte_left},
    {os_key_right, up, up, when_not_typing, "Right", byte_right},
    {os_key_left, up, down, when_not_typing, "Shift+Left", shrink},
    {os_key_right, up, down, when_not_typing, "Shift+Right", grow},
    {os_key_home, up, either, when_not_typing, "Home", to_start},
    {os_key_end, up, either, when_not_typing, "End", to_end},
    {os_key_delete, up, either, when_not_typing, "Delete", delete_placement},
    {os_key_escape, either, either, when_always, "Escape", forget_changes},
};

const key_binding* key_binding_table(int32_t* count) {
    *count = (int32_t)(sizeof bindings / sizeof bindings[0]);
    return bindings;
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
    case when_not_typing: return !open;
    case when_measuring: return sliced_job_running(sliced_job_measure);
    default: return true;
    }
}

static bool dispatch(uint16_t key, uint32_t code) {
    bool control = is_down(os_key_control), shift = is_down(os_key_shift);
    for (const key_binding& binding : bindings) {
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
