// The character and hex grids: each visible byte's cell, its layers and its glyphs.
#include "app/app_state.h"
#include "render/font.h"
#include "render/draw_list.h"
#include "types/byte_range.h"
#include "views/byte_grid_cells.h"
#include "views/changed_bytes.h"
#include "views/match_outlines.h"
#include "views/placement_index.h"
#include "views/views.h"

enum : color {
    grid_background = 0xff111111,
    grid_region_outline = 0x88ffffff,
    grid_hover_frame = 0xffffffff,
    grid_selection_shade = 0x88ffffff,
};

static constexpr float glyph_opacity_full = 1.0f;
static constexpr float glyph_opacity_zero_char = 0.33f;
static constexpr float glyph_opacity_zero_hex = 0.5f;

enum grid_kind : uint8_t { grid_kind_char, grid_kind_hex };

// Reused by every paint; its arrays grow to the largest visible window seen.
static placement_index visible_placements;

// The hover and the selection are signed: a negative start lies past every
// byte, and a length below 1 holds none.
static bool in_signed_range(uint64_t offset, int64_t start, int64_t length) {
    return length > 0 && offset_in_range(offset, (uint64_t)start, (uint64_t)length);
}

static void draw_glyph(draw_list* list, uint8_t index, int32_t pen_x, int32_t top,
                       float opacity) {
    const glyph_atlas* font = &app_state.font;
    if (!font->glyphs) return;
    const glyph* g = &font->glyphs[index];
    rect source = {g->x, g->y, g->w, g->h};
    blit_glyph_faded(list, font, source, pen_x + (font->glyph_w - g->w) / 2, top + g->y_offset,
                     opacity);
}

static char hex_digit(uint8_t value) { return (char)(value < 10 ? '0' + value : 'A' + value - 10); }

struct grid_geometry {
    grid_kind kind;
    rect panel;
    int32_t cell_w, cell_h;
    int32_t pad_x, pad_y;
    int32_t advance;  // past a drawn cell
};

static grid_geometry geometry_of(grid_kind kind) {
    grid_geometry g;
    g.kind = kind;
    int32_t glyph_advance = app_state.font.glyph_w + app_state.font.spacing;
    if (kind == grid_kind_hex) {
        g.panel = app_state.hex_panel;
        g.cell_w = app_state.hex_cell_w;
        g.cell_h = app_state.hex_cell_h;
        g.pad_x = app_state.hex_pad_x;
        g.pad_y = app_state.hex_pad_y;
        g.advance = 2 * glyph_advance + 2 * app_state.hex_pad_x;
    } else {
        g.panel = app_state.text_panel;
        g.cell_w = app_state.text_cell_w;
        g.cell_h = app_state.text_cell_h;
        g.pad_x = app_state.text_pad_x;
        g.pad_y = app_state.text_pad_y;
        g.advance = glyph_advance + 2 * app_state.text_pad_x;
    }
    return g;
}

// The colour one translucent blend of `source` gives over an opaque-or-not
// `destination` pixel, by the renderer's own rule, remembered for the last
// pair asked.
struct blend_memo {
    color source, destination, result;
    bool valid;
};

static color blended(blend_memo* memo, color source, color destination) {
    if (memo->valid && memo->source == source && memo->destination == destination) return memo->result;
    // As in blend_rect, an invisible colour draws nothing.
    color pixel = source >> 24 ? blend_pixel(source, destination) : destination;
    *memo = blend_memo{source, destination, pixel, true};
    return pixel;
}

static blend_memo outline_memo, shade_fill_memo, shade_outline_memo, shade_hover_memo, shade_mark_memo;

// Byte-class tints, Ctrl+B: dark shades of the overview's colours, so that
// white glyphs, the white hover frame and the selection shade all stand out.
enum : color {
    tint_zero = 0xff1c2444,
    tint_printable = 0xff1f3d1f,
    tint_whitespace = 0xff1f3d3d,
    tint_control = 0xff4a3a1c,
    tint_high = 0xff401e1e,
    tint_ff = 0xff44441c,
};

color byte_class_tint(uint8_t byte) {
    if (byte == 0) return tint_zero;
    if (byte == 0xff) return tint_ff;
    if (byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r') return tint_whitespace;
    if (byte < 0x20 || byte == 0x7f) return tint_control;
    if (byte >= 0x80) return tint_high;
    return tint_printable;
}

static bool shows_change_mark(const cell_layers* layers, rect cell) {
    return layers->changed && cell.h >= changed_mark_least_cell_h;
}

static rect change_mark_rect(rect cell) {
    return rect{cell.x, cell.y + cell.h - changed_mark_rise, cell.w, changed_mark_height};
}

// Every pixel of a cell below its glyphs is the region fill, an outline mark
// over that fill, or a hover bar, each then maybe shaded once. The final
// colour of each of the three is worked out once, and the cell is drawn with
// plain fills: the same pixels as blending mark by mark, without a blend
// per pixel.
void paint_cell_layers(draw_list* list, rect cell, const cell_layers* layers) {
    int32_t x = cell.x, y = cell.y, w = cell.w, h = cell.h;
    placement_marks marks = layers->marks;
    bool hovered = layers->hovered, hover_first = layers->hover_first, hover_last = layers->hover_last;
    bool shaded = layers->shaded;
    bool covered = (marks.flags & placement_mark_covered) != 0;
    color fill = covered ? marks.color : layers->tint ? layers->tint : (color)grid_background;
    color outline = covered ? blended(&outline_memo, grid_region_outline, fill) : fill;
    color hover = grid_hover_frame;
    color mark = changed_byte_mark;
    if (shaded) {
        fill = blended(&shade_fill_memo, grid_selection_shade, fill);
        outline = blended(&shade_outline_memo, grid_selection_shade, outline);
        hover = blended(&shade_hover_memo, grid_selection_shade, hover);
        mark = blended(&shade_mark_memo, grid_selection_shade, mark);
    }
    // Rows that the outline or the hover bar cover whole are not filled first.
    int32_t edge_rows = hovered ? 2 : covered ? 1 : 0;
    fill_rect(list, rect{x, y + edge_rows, w, h - 2 * edge_rows}, fill);
    if (covered) {
        if (marks.flags & placement_mark_starts) fill_rect(list, rect{x, y + 1, 1, h - 2}, outline);
        if (marks.flags & placement_mark_ends) fill_rect(list, rect{x + w - 1, y + 1, 1, h - 2}, outline);
        if (!hovered) {
            fill_rect(list, rect{x, y, w, 1}, outline);
            fill_rect(list, rect{x, y + h - 1, w, 1}, outline);
        }
    }
    if (shows_change_mark(layers, cell)) fill_rect(list, change_mark_rect(cell), mark);
    if (hovered) {
        if (hover_first) fill_rect(list, rect{x, y + 2, 2, h - 4}, hover);
        if (hover_last) fill_rect(list, rect{x + w - 2, y + 2, 2, h - 4}, hover);
        fill_rect(list, rect{x, y, w, 2}, hover);
        fill_rect(list, rect{x, y + h - 2, w, 2}, hover);
    }
}

// The same layers drawn one primitive after another, for cells so small
// that marks overlap one another.
void paint_cell_layers_blended(draw_list* list, rect cell, const cell_layers* layers) {
    int32_t x = cell.x, y = cell.y, w = cell.w, h = cell.h;
    placement_marks marks = layers->marks;
    bool hovered = layers->hovered, hover_first = layers->hover_first, hover_last = layers->hover_last;
    bool shaded = layers->shaded;
    bool covered = (marks.flags & placement_mark_covered) != 0;
    color plain = layers->tint ? layers->tint : (color)grid_background;
    fill_rect(list, rect{x, y, w, h}, covered ? marks.color : plain);
    if (covered) {
        if (marks.flags & placement_mark_starts)
            blend_vline(list, rect{x, y + 1, 1, h - 2}, grid_region_outline);
        if (marks.flags & placement_mark_ends)
            blend_vline(list, rect{x + w - 1, y + 1, 1, h - 2}, grid_region_outline);
        blend_hline(list, rect{x, y, w, 1}, grid_region_outline);
        blend_hline(list, rect{x, y + h - 1, w, 1}, grid_region_outline);
    }
    if (shows_change_mark(layers, cell)) fill_rect(list, change_mark_rect(cell), changed_byte_mark);
    if (hovered) {
        if (hover_first) fill_rect(list, rect{x, y + 2, 2, h - 4}, grid_hover_frame);
        if (hover_last) fill_rect(list, rect{x + w - 2, y + 2, 2, h - 4}, grid_hover_frame);
        blend_hband(list, rect{x, y, w, 2}, grid_hover_frame);
        blend_hband(list, rect{x, y + h - 2, w, 2}, grid_hover_frame);
    }
    if (shaded) blend_rect(list, rect{x, y, w, h}, grid_selection_shade);
}

static void paint_cell(draw_list* list, const grid_geometry* g, int32_t x, int32_t y, uint64_t offset, bool indexed,
                       bool shade_active, bool changed) {
    int32_t w = g->cell_w, h = g->cell_h;
    placement_marks marks =
        indexed ? placement_index_lookup(&visible_placements, offset)
                : placement_marks_naive((const placement*)app_state.placements.items,
                                        app_state.placements.count, offset);
    bool hovered = in_signed_range(offset, app_state.hover_offset, app_state.hover_len);
    uint64_t from_hover = offset - (uint64_t)app_state.hover_offset;
    bool hover_first = hovered && from_hover == 0;
    bool hover_last = hovered && from_hover == (uint64_t)app_state.hover_len - 1;
    bool shaded = shade_active && in_signed_range(offset, app_state.select_offset, app_state.select_len);
    // Marks stay apart from one another only in cells at least 4 x 4.
    uint8_t byte = app_state.file.data[offset];
    color tint = app_state.byte_colors ? byte_class_tint(byte) : 0;
    cell_layers layers = {marks, hovered, hover_first, hover_last, shaded, tint, changed};
    if (w >= 4 && h >= 4) paint_cell_layers(list, rect{x, y, w, h}, &layers);
    else paint_cell_layers_blended(list, rect{x, y, w, h}, &layers);

    int32_t top = y + g->pad_y + 1;
    int32_t pen = x + g->pad_x;
    if (g->kind == grid_kind_char) {
        if (byte) draw_glyph(list, byte, pen, top, glyph_opacity_full);
        else draw_glyph(list, 0, pen, top, glyph_opacity_zero_char);
    } else {
        int32_t digit_advance = app_state.font.glyph_w + app_state.font.spacing;
        if (byte) {
            draw_glyph(list, (uint8_t)hex_digit(byte >> 4), pen, top, glyph_opacity_full);
            draw_glyph(list, (uint8_t)hex_digit(byte & 15), pen + digit_advance, top,
                       glyph_opacity_full);
        } else {
            draw_glyph(list, '0', pen, top, glyph_opacity_zero_hex);
            draw_glyph(list, '0', pen + digit_advance, top, glyph_opacity_zero_hex);
        }
    }
}

// Offset of the first byte of row `row`, held inside [0, size] so that rows
// before the file or far past it index nothing.
static uint64_t clamped_row_offset(__int128 row, int64_t bytes_per_row, uint64_t size) {
    __int128 offset = row * bytes_per_row;
    if (offset < 0) return 0;
    if (offset > (__int128)size) return size;
    return (uint64_t)offset;
}

static void paint_byte_grid(grid_kind kind) {
    draw_list* list = frame_list();
    if (!list || !app_state.file.data) return;
    int64_t bytes_per_row = app_state.bytes_per_row;
    if (app_state.visible_rows <= 0 || bytes_per_row <= 0) return;
    uint64_t size = app_state.file.size;
    grid_geometry g = geometry_of(kind);

    // Rows wholly below the buffer cannot show, so the window of bytes
    // worth indexing stops at the last row that can.
    int64_t rows = app_state.visible_rows;
    int64_t rows_on_screen = g.cell_h > 0 ? (list->height - (int64_t)g.panel.y) / g.cell_h + 1 : rows;
    if (rows_on_screen < 0) rows_on_screen = 0;
    if (rows > rows_on_screen) rows = rows_on_screen;

    __int128 first_row = app_state.scroll_row;
    uint64_t first = clamped_row_offset(first_row, bytes_per_row, size);
    uint64_t end = clamped_row_offset(first_row + rows, bytes_per_row, size);
    // The visible rows' end is the same wherever the buffer cuts them, so the
    // shade's start test uses the full count of visible rows.
    uint64_t shade_end = clamped_row_offset(first_row + app_state.visible_rows, bytes_per_row, size);
    uint64_t select_start = (uint64_t)app_state.select_offset;
    bool shade_active = select_start >= first && select_start < shade_end;

    bool indexed = placement_index_build(&visible_placements, first, end - first,
                                         (const placement*)app_state.placements.items,
                                         app_state.placements.count);
    bool outlined = match_marks_build(first, end);

    change_cursor changes = changes_cursor_at(first);
    int32_t y = g.panel.y + app_state.panel_pad;
    for (int64_t r = 0; r < rows; r++, y += g.cell_h) {
        int32_t x = g.panel.x + app_state.panel_pad;
        __int128 row_offset = (first_row + r) * bytes_per_row;
        for (int64_t c = 0; c < bytes_per_row; c++) {
            __int128 offset = row_offset + c;
            if (offset >= 0 && offset < (__int128)size) {
                bool changed = changes_cover(&changes, (uint64_t)offset);
                paint_cell(list, &g, x, y, (uint64_t)offset, indexed, shade_active, changed);
                if (outlined) paint_match_outline(list, rect{x, y, g.cell_w, g.cell_h}, (uint64_t)offset);
                x += g.advance;
            } else {
                x += g.cell_w;
            }
            if (c % cells_per_group == cells_per_group - 1) x += app_state.group_gap;
        }
    }
}

void paint_char_grid(void) { paint_byte_grid(grid_kind_char); }

void paint_hex_grid(void) { paint_byte_grid(grid_kind_hex); }
