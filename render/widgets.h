// The immediate-mode layout cursor and the widgets drawn at it: text lines
// with indentation guides, toolbar buttons and flowing buttons. A button
// reports its click in the call that draws it.
#pragma once

#include <stdint.h>

#include "render/pixel_buffer.h"

struct layout_cursor {
    int64_t line_start_x;
    int64_t x;
    int64_t y;
    int64_t line_height;
    int32_t pending_guides;
    uint8_t hovered;
    rect last_rect;
};

// Draws app_state.scratch_text with the pending guides and moves one line down.
void emit_line(layout_cursor* cursor);
bool toolbar_button(const char* label, bool enabled, layout_cursor* cursor);
// Where the next toolbar button would stand, moving the cursor past it as
// drawing it would; draws nothing.
rect toolbar_button_rect(const char* label, layout_cursor* cursor);
bool flow_button(uint64_t length, const char* text, bool toggled, bool enabled, bool right_aligned,
                 layout_cursor* cursor);
