// The application's one global record. Every operation of the shell, the
// type system, the views and the renderer reads and writes its fields; none
// takes a state argument.
#pragma once

#include <stdint.h>

#include "app/measure_state.h"
#include "app/prompt_state.h"
#include "app/sliced_jobs_state.h"
#include "app/status_line_state.h"
#include "os/os.h"
#include "render/draw_list.h"
#include "render/font.h"
#include "render/pixel_buffer.h"
#include "render/text_buffer.h"
#include "render/widgets.h"
#include "types/type_table.h"

enum : uint8_t {
    input_went_down = 0x01,
    input_repeated = 0x02,
    input_went_up = 0x04,
    input_is_down = 0x08,
};

enum : uint16_t {
    input_record_count = 500,
    input_index_shift = os_key_shift,  // virtual-key codes 0..255 index their own records
    input_index_left_button = os_mouse_left,
    input_index_middle_button = os_mouse_middle,
    input_index_right_button = os_mouse_right,
    input_index_wheel = 263,
    input_index_pointer = 264,
};

// The fixed item numbers of the press owner; buttons take theirs from item_at.
enum : uint32_t {
    item_char_grid = 1,
    item_hex_grid = 2,
    item_position_bar = 3,
    item_data_view = 4,
    item_type_lines = 5,  // every line of the placement shown: a drag runs over them
};

// The byte grids gap their rows after every this many cells.
enum : int32_t { cells_per_group = 8 };

struct input_record {
    uint8_t state;
    int32_t x, y;  // pointer: screen position; wheel: 0 and the latest step
};

struct input_table {
    input_record records[input_record_count];
};

// The overview in the position bar's track: what kind of bytes fill the part
// of the file behind each pixel row, summarised a few rows per frame from
// samples read beside the mapping, so that none of its pages stay.
struct overview_state {
    const uint8_t* data;  // the file the rows describe
    uint64_t size;
    int32_t rows;  // the track's height in pixels when they began
    int32_t done;  // rows summarised so far, from the top
    int32_t capacity;
    uint8_t* kinds;      // byte_kind per row
    float* entropies;    // bits per byte per row
    int32_t hover_row;   // the track row under the pointer, -1 for none
    uint8_t stale;       // the file was read again: start over
    uint8_t* buffer;     // one reused block for the positioned reads
    uint64_t bytes_read;  // in this pass, by positioned reads
    // What the last look for holes found: [hole_from, data_start) is a hole,
    // [data_start, data_end) data.
    uint64_t hole_from, data_start, data_end;
};

// Bytes [start, end) of the file.
struct byte_span {
    uint64_t start, end;
};

// What the last reload of the file changed. Each contents shown gets a 64-bit
// digest per block, a few blocks per frame; after a reload the new contents'
// digests are compared with those of the contents before, and the bytes that
// were on screen byte by byte, and what differs is marked.
struct change_state {
    const uint8_t* data;  // the contents the digests describe
    uint64_t size;
    uint8_t watched;      // the file can change under us: digests are worth having
    uint8_t comparing;    // the blocks being digested are compared with `before`
    uint64_t* digests;    // one per block; the first `hashed` are done
    uint64_t hashed, capacity;
    uint64_t* before;     // the previous contents' digests, the first before_hashed known
    uint64_t before_hashed, before_capacity, before_size;
    // The bytes on screen, copied from the contents shown_data, and the copy
    // of the previous contents that a reload compares with.
    uint8_t* shown;
    const uint8_t* shown_data;
    uint64_t shown_offset, shown_length, shown_capacity;
    uint8_t* shown_before;
    uint64_t shown_before_offset, shown_before_length, shown_before_capacity;
    byte_span* spans;  // the changed bytes, ascending and apart
    uint64_t span_count, span_capacity;
    // The marks of an earlier reload, shown while the last one has found no
    // change: a file written twice in a row keeps the marks of its change.
    byte_span* kept_spans;
    uint64_t kept_count, kept_capacity;
};

// The last two recorded frames: the one on screen and the next, compared
// to draw and show only the areas that changed.
struct frame_history {
    draw_list lists[2];
    draw_list* recording;  // what the painters append to while a frame is recorded, else null
    color* scratch;        // the areas being redrawn, as they were
    uint64_t scratch_capacity;
    uint8_t shown;         // which of the two lists is on screen
    uint8_t shown_valid;   // 0 when the screen may not show it (nothing recorded yet, an
                           // expose, a resize, a new file)
    uint8_t whole_wanted;  // the next frame is shown whole (a resize, a new or reloaded file)
};

struct application_state {
    // Shared buffers and tables
    text_buffer text;
    text_buffer scratch_text;
    type_table types;
    glyph_atlas font;

    // Panels and grid metrics, written only by layout_panels
    rect struct_panel;
    rect inspect_panel;
    rect text_panel;
    rect hex_panel;
    int64_t line_height;
    int32_t text_cell_w, text_cell_h;
    int32_t hex_cell_w, hex_cell_h;
    int64_t visible_rows;
    int64_t bytes_per_row;

    // Layout settings
    int32_t margin;
    int32_t panel_pad;
    int32_t group_gap;
    int32_t hex_pad_x, hex_pad_y;
    int32_t text_pad_x, text_pad_y;
    int32_t indent_width;
    int32_t inspect_group_gap;
    int32_t bit_row_max_bytes;

    // Selection, hover and scrolling
    int64_t select_offset;
    int64_t select_len;
    int64_t select_anchor;
    int64_t select_anchor_len;
    int64_t hover_offset;
    int64_t hover_len;
    int64_t scroll_row;
    uint8_t big_endian;
    uint8_t byte_colors;  // the grids tint each byte by its class (Ctrl+B)

    // Go to and Find, the answer line and the work done in slices
    prompt_state prompt;
    status_line_state status;
    measure_state measure;
    overview_state overview;
    sliced_jobs_state jobs;
    change_state changes;

    // Loaded file
    file_contents file;  // the loaded file's bytes, mapped or read whole; held nowhere else
    growable_array placements;  // of placement
    uint32_t file_path_len;
    char* file_path;
    uint64_t file_mapped_bytes;  // the address space its mapping holds; 0 for a whole read
    int32_t file_guard_slot;     // the fault guard's record of the mapping, -1 for none
    int32_t file_watch;           // -1 while the loaded file is not watched
    bool file_is_standard_input;  // read once from a pipe: nothing to watch or read again
    bool standard_input_taken;    // a pipe read once is gone: a later "-" has nothing to give
    int32_t types_watch;          // the watch on types.c, -1 for none

    // Pointer, cursor and input
    int32_t mouse_x, mouse_y;
    press_owner press;          // which item holds the left button's press
    uint8_t last_clicked_grid;  // a copy_grid: where the last left press in a byte grid was
    uint8_t key_list_open;      // F1's list of keys covers the panels
    uint8_t cursor_shown;
    uint8_t cursor_wanted;
    growable_array changed_pointer;  // of uint16_t
    growable_array changed_buttons;  // of uint16_t
    input_table* input;

    // Window and frame clock
    os_window* window;
    frame_history frames;
    uint64_t frame_ticks;
    int32_t target_frame_us;
};

extern application_state app_state;

// Puts every field back to its start-up value (zero, or its default);
// allocates nothing. Tests call it between cases.
void app_state_reset(void);

// Record `index` of the input table (created on first need).
input_record* input_at(uint16_t index);
// What every clickable area asks of the left button in this frame.
bool left_button_went_down(void);
bool left_button_is_down(void);

// The frame being recorded, which every painter draws into; null outside
// a frame's recording and while the painters only find which item a press
// lands on.
draw_list* frame_list(void);

// The pointer and the left button of this frame.
pointer_input frame_pointer(void);
// What the structure view's widgets draw with and read this frame.
widget_frame structure_widget_frame(void);

// What a press and a drag on a row do to the selection.
enum range_row_kind : uint8_t {
    range_row_value,  // a data-view row: a press selects its bytes; no drag
    range_row_byte,   // a grid cell: a press anchors a drag at the byte; a drag spans anchor to byte
    range_row_item,   // a type line: a press anchors a drag on its range; a drag spans both
                      // ranges, except back on the anchor row, where it changes nothing
};

// The one range-row behaviour, for a row that stands for the bytes
// [offset, offset + length) and the row_* bits the pointer has on it: a
// hovered row becomes the hover, a press selects its bytes, and a held button
// stretches the selection from the anchor (by kind).
void apply_range_row(uint8_t hit, int64_t offset, int64_t length, range_row_kind kind);
