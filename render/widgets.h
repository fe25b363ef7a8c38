// The immediate-mode layout cursor and the widgets drawn at it: text lines
// with indentation guides, toolbar buttons and flowing buttons. A button
// reports its click in the call that draws it. Also the one test of the
// pointer against a row that every clickable thing shares.
#pragma once

#include <stdint.h>

#include "render/font.h"
#include "render/draw_list.h"
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

// The one owner of a press: the item the left button went down on holds the
// press until the button is up, and no other item sees it, whatever the
// pointer crosses. An item is a number: the panels and line lists have fixed
// ones, a button's comes from where it stands.
struct press_owner {
    uint32_t active;  // the item holding the press, 0 for none
    uint32_t claim;   // while finding: the last item found under the pointer
    uint8_t finding;  // this pass only finds the item a new press lands on
};

// The row_* bits item `id` gets for a pointer that is `over` it or not:
// hover for any item, the press and the hold for the one holding the press.
// While finding, an item under the pointer claims the press and gets hover
// only; a press that no finding pass gave away goes to the first item under
// it. Without an owner, the plain bits.
uint8_t item_pointer(press_owner* owner, uint32_t id, bool over, pointer_input pointer);
uint8_t item_on_row(press_owner* owner, uint32_t id, row_area area, pointer_input pointer);
// Whether item `id` holds the press in this frame, wherever the pointer is.
bool item_holds_press(const press_owner* owner, uint32_t id, pointer_input pointer);
// A button's item number, from its rectangle.
uint32_t item_at(rect area);

// What the widgets read of the frame they are drawn in; the painter that
// starts a layout cursor fills one and points the cursor at it.
struct widget_frame {
    draw_list* list;  // null: nothing is drawn, but hover and clicks still count
    const glyph_atlas* font;
    int32_t indent_width;  // character cells per indentation guide
    int64_t flow_right;    // a flowing button that would cross this x wraps first
    pointer_input pointer;
    press_owner* owner;  // null: the pointer's bits as they are
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
bool flow_button(uint64_t length, const char* text, bool toggled, bool enabled, bool right_aligned,
                 layout_cursor* cursor);
