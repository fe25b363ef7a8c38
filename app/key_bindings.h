// The one table that binds every key and chord to a command, with the
// modifiers it takes, the situation it applies in and what it does in a few
// words; input handling dispatches keys and typed characters through it, and
// the key list drawn by F1 reads it.
#pragma once

#include <stdint.h>

#include "render/draw_list.h"

// Whether a binding wants a modifier held, not held, or does not care.
enum key_modifier_rule : uint8_t {
    modifier_up = 0,
    modifier_down = 1,
    modifier_either = 2,
};

// When a binding applies. The prompt counts as open only with a file loaded,
// as it takes keys only then.
enum key_condition : uint8_t {
    when_always = 0,
    when_file = 1,           // a file is loaded
    when_searching = 2,      // a search runs
    when_prompt_open = 3,    // Go to or Find is open
    when_typing = 4,         // the prompt is open and no search runs
    when_prompt_closed = 5,  // the prompt is not open
    when_measuring = 6,      // a measure of the selection runs
    when_key_list_shown = 7, // the list of keys covers the panels: only its rows apply
};

// A typed character rather than a key: the prompt's text entry.
enum : uint16_t { key_text_entry = 0xFFFF };

// `code` is the typed character for key_text_entry, 0 for a key.
typedef void key_command(uint32_t code);

struct key_binding {
    uint16_t key;
    uint8_t control, shift;   // key_modifier_rule
    uint8_t when;             // key_condition
    const char* description;  // for the key list; null for rows that only hold a key back
    key_command* command;
};

// The table, in the order it is searched: the first binding that matches runs.
const key_binding* key_binding_table(int32_t* count);

enum : uint64_t { key_chord_name_capacity = 32 };

// The chord as the README writes it ("Shift+Page Up"), from the row's key and
// modifiers; empty for the text entry. Returns its length.
uint64_t key_chord_name(const key_binding* binding, char* name, uint64_t capacity);

// Runs the command bound to `key` (pressed or repeated) with the modifiers
// held now; false when no binding matched.
bool dispatch_key(uint16_t key);
// Runs the text entry's command for a typed character, where it applies.
bool dispatch_text(uint32_t code);

// The key list (F1): every key and chord with what it does, over the panels.
bool key_list_shown(void);
void key_list_show(bool shown);
void draw_key_list(draw_list* list);
