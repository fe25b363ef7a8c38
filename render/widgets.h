// The immediate-mode layout cursor and the widgets drawn at it: text lines
// with indentation guides, toolbar buttons and flowing buttons. A button
// reports its click in the call that draws it. Also the one test of the
// pointer against a row that every clickable thing shares.
#pragma once

#include <stdint.h>

#include "render/font.h"
#include "render/pixel_buffer.h"
#include "render/text_buffer.h"

// The pointer and the left button as the current frame sees them.
struct pointer_input {
    int64_t x, y;
    bool went_down;  // pressed since the frame began
    bool is_down;
};

// A row in 64-bit layout coordinates: the area of one value row, type line,
// button or grid cell.
struct row_area {
    int64_t x, y, w, h;
};

enum : uint8_t {
    row_hovered = 0x01,  // the pointer is over the row
    row_pressed = 0x02,  // ... and the left button went down in this frame
    row_held = 0x04,     // ... and the left button is down without a press this frame
};

// The row_* bits for a pointer against an area: none when outside it.
uint8_t pointer_on_row(row_area area, pointer_input pointer);
// The bits for a pointer already known to be over a row.
uint8_t pointer_over_row(pointer_input pointer);

// What the widgets read of the frame they are drawn in; the painter that
// starts a layout cursor fills one and points the cursor at it.
struct widget_frame {
    pixel_buffer* buffer;  // null: nothing is drawn, but hover and clicks still count
    const glyph_atlas* font;
    int32_t indent_width;  // character cells per indentation guide
    int64_t flow_right;    // a flowing button that would cross this x wraps first
    pointer_input pointer;
};

struct layout_cursor {
    int64_t line_start_x;
    int64_t x;
    int64_t y;
    int64_t line_height;
    int32_t pending_guides;
    uint8_t hovered;
    rect last_rect;
    // Null: nothing is drawn or measured and no button is under the pointer.
    const widget_frame* frame;
};

// Draws `line` with the pending guides, empties it and moves one line down.
void emit_line(layout_cursor* cursor, text_buffer* line);
bool toolbar_button(const char* label, bool enabled, layout_cursor* cursor);
// Where the next toolbar button would stand, moving the cursor past it as
// drawing it would; draws nothing.
rect toolbar_button_rect(const char* label, layout_cursor* cursor);
bool flow_button(uint64_t length, const char* text, bool toggled, bool enabled, bool right_aligned,
                 layout_cursor* cursor);
