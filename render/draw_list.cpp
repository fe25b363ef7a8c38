// Recorded frames: appending commands, pairing the commands of two frames to
// find the tiles where they differ, and drawing a recorded frame again.
//
//   Recording  draw_list_begin, blocks, appending, the rectangle primitives
//   Tiles      the grid of tiles in which changes are marked
//   Diff       pairing two runs of commands the way a diff pairs lines
//   Blocks     pairing the panels' blocks when they were painted in another order
//   Areas      draw_list_changed_areas: the marked tiles as rects
//   Replay     drawing a recorded frame over an area
#include "render/draw_list.h"

#include <string.h>

#include "os/os.h"

enum : uint32_t {
    first_capacity = 4096,
    diff_lookahead = 16,  // how far ahead a lost partner is looked for
    diff_effort = 2,      // command comparisons per command before a frame counts as all new
};

enum : uint32_t { alpha_opaque = 0xff, alpha_shift = 24 };

// ---------------------------------------------------------------------------
// Recording

void draw_list_begin(draw_list* list, int32_t width, int32_t height) {
    list->count = 0;
    list->failed = 0;
    list->width = width;
    list->height = height;
    list->blocks[0] = draw_block{0, 0, {}};
    list->block_count = 1;
}

void draw_list_begin_block(draw_list* list, uint32_t id) {
    if (!list) return;
    // Past the most blocks, the last one takes in the rest.
    if (list->block_count < draw_list_most_blocks) list->blocks[list->block_count++] = draw_block{id, list->count, {}};
}

// Grows an array of `size`-byte items to hold `needed`; false when it cannot.
static bool reserve(void** items, uint32_t* capacity, uint32_t needed, uint64_t size) {
    if (needed <= *capacity) return true;
    uint64_t wanted = *capacity ? *capacity : first_capacity;
    while (wanted < needed) wanted *= 2;
    if (wanted > UINT32_MAX) return false;
    void* grown = os_realloc(*items, wanted * size);
    if (!grown) return false;
    *items = grown;
    *capacity = (uint32_t)wanted;
    return true;
}

void draw_list_grow(draw_list* list, const draw_command* command) {
    if (!reserve((void**)&list->commands, &list->capacity, list->count + 1, sizeof(draw_command))) {
        list->failed = 1;
        return;
    }
    list->commands[list->count++] = *command;
}

void draw_list_free(draw_list* list) {
    os_free(list->commands);
    os_free(list->tile_marks);
    *list = draw_list{};
}

// Clips area to the list's size. False when nothing is left to draw.
static bool clip_area(const draw_list* list, rect* area) {
    int64_t x = area->x, y = area->y, w = area->w, h = area->h;
    if (x < 0) {
        w += x;
        x = 0;
    }
    if (x + w > list->width) w = (int64_t)list->width - x;
    if (y < 0) {
        h += y;
        y = 0;
    }
    if (y + h > list->height) h = (int64_t)list->height - y;
    if (w <= 0 || h <= 0) return false;
    *area = rect{(int32_t)x, (int32_t)y, (int32_t)w, (int32_t)h};
    return true;
}

static void record(draw_list* list, uint8_t kind, rect area, color value) {
    if (!list || !clip_area(list, &area)) return;
    draw_command command = {};
    command.kind = kind;
    command.value = value;
    command.area = area;
    draw_list_append(list, &command);
}

void fill_rect(draw_list* list, rect area, color value) { record(list, draw_kind_fill, area, value); }

void draw_rect_outline(draw_list* list, rect area, int32_t thickness, color value) {
    // The far edges are placed in 64 bits: a rect near INT32_MAX would wrap
    // them round to the other side of the buffer.
    int64_t x = area.x, y = area.y, w = area.w, h = area.h, t = thickness;
    int32_t inner_y = clamp_to_int32(y + t), inner_h = clamp_to_int32(h - 2 * t);
    fill_rect(list, rect{area.x, area.y, area.w, thickness}, value);
    fill_rect(list, rect{area.x, clamp_to_int32(y + h - t), area.w, thickness}, value);
    fill_rect(list, rect{area.x, inner_y, thickness, inner_h}, value);
    fill_rect(list, rect{clamp_to_int32(x + w - t), inner_y, thickness, inner_h}, value);
}

void blend_rect(draw_list* list, rect area, color value) {
    uint32_t alpha = value >> alpha_shift;
    if (alpha == 0) return;
    record(list, alpha == alpha_opaque ? draw_kind_fill : draw_kind_blend, area, value);
}

void blend_vline(draw_list* list, rect area, color value) {
    if (value >> alpha_shift != alpha_opaque) area.w = 1;
    blend_rect(list, area, value);
}

void blend_hline(draw_list* list, rect area, color value) {
    if (value >> alpha_shift != alpha_opaque) area.h = 1;
    blend_rect(list, area, value);
}

void blend_hband(draw_list* list, rect area, color value) {
    if (value >> alpha_shift != alpha_opaque) area.h = 2;
    blend_rect(list, area, value);
}

// ---------------------------------------------------------------------------
// Tiles

struct tile_range {
    uint32_t left, right, top, bottom;  // inclusive
};

static tile_range tiles_of(rect area) {
    return tile_range{(uint32_t)(area.x / draw_tile_w), (uint32_t)((area.x + area.w - 1) / draw_tile_w),
                      (uint32_t)(area.y / draw_tile_h), (uint32_t)((area.y + area.h - 1) / draw_tile_h)};
}

static bool same_command(const draw_command* a, const draw_command* b) { return memcmp(a, b, sizeof *a) == 0; }

static void mark_tiles(draw_list* list, const draw_command* from, const draw_command* to, uint32_t columns) {
    for (const draw_command* command = from; command < to; command++) {
        tile_range r = tiles_of(command->area);
        for (uint32_t y = r.top; y <= r.bottom; y++)
            memset(list->tile_marks + (uint64_t)y * columns + r.left, 1, r.right - r.left + 1);
    }
}

static rect tile_rows_area(const draw_list* list, uint32_t row, uint32_t left, uint32_t right) {
    int32_t x = (int32_t)left * draw_tile_w, y = (int32_t)row * draw_tile_h;
    int32_t x_end = (int32_t)(right + 1) * draw_tile_w, y_end = y + draw_tile_h;
    if (x_end > list->width) x_end = list->width;
    if (y_end > list->height) y_end = list->height;
    return rect{x, y, x_end - x, y_end - y};
}

static rect bounding(rect a, rect b) {
    int32_t x = a.x < b.x ? a.x : b.x, y = a.y < b.y ? a.y : b.y;
    int32_t right = a.x + a.w > b.x + b.w ? a.x + a.w : b.x + b.w;
    int32_t bottom = a.y + a.h > b.y + b.h ? a.y + a.h : b.y + b.h;
    return rect{x, y, right - x, bottom - y};
}

// ---------------------------------------------------------------------------
// Diff

// A pairing under way: where unpaired commands are marked, and what effort is left.
struct diff_state {
    draw_list* marks;
    uint32_t columns;
    uint64_t budget;  // command comparisons left
};

static bool match_ranges(diff_state* diff, const draw_command* a, uint32_t n, const draw_command* b, uint32_t m) {
    uint32_t i = 0, j = 0;
    while (i < n && j < m) {
        if (same_command(&a[i], &b[j])) {
            i++;
            j++;
            continue;
        }
        uint32_t skip_a = 1, skip_b = 1;
        for (uint32_t d = 1; d <= diff_lookahead; d++) {
            if (diff->budget < 3) return false;
            diff->budget -= 3;
            if (i + d < n && j + d < m && same_command(&a[i + d], &b[j + d])) {
                skip_a = skip_b = d;
                break;
            }
            if (i + d < n && same_command(&a[i + d], &b[j])) {
                skip_a = d;
                skip_b = 0;
                break;
            }
            if (j + d < m && same_command(&a[i], &b[j + d])) {
                skip_a = 0;
                skip_b = d;
                break;
            }
        }
        mark_tiles(diff->marks, a + i, a + i + skip_a, diff->columns);
        mark_tiles(diff->marks, b + j, b + j + skip_b, diff->columns);
        i += skip_a;
        j += skip_b;
    }
    mark_tiles(diff->marks, a + i, a + n, diff->columns);
    mark_tiles(diff->marks, b + j, b + m, diff->columns);
    return true;
}

// ---------------------------------------------------------------------------
// Blocks

static uint32_t block_end(const draw_list* list, uint32_t k) {
    return k + 1 < list->block_count ? list->blocks[k + 1].first : list->count;
}

static bool overlap(rect a, rect b) {
    return a.w > 0 && b.w > 0 && a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

static void bound_blocks(draw_list* list) {
    for (uint32_t k = 0; k < list->block_count; k++) {
        rect bounds = {};
        for (uint32_t i = list->blocks[k].first; i < block_end(list, k); i++)
            bounds = bounds.w > 0 ? bounding(bounds, list->commands[i].area) : list->commands[i].area;
        list->blocks[k].bounds = bounds;
    }
}

// The block of `list` with that id, or -1; the ids of a list differ.
static int32_t find_block(const draw_list* list, uint32_t id) {
    for (uint32_t k = 0; k < list->block_count; k++)
        if (list->blocks[k].id == id) return (int32_t)k;
    return -1;
}

// Whether a command of block x and one of block y touch a pixel in common.
static bool blocks_overlap(const draw_list* list, uint32_t x, uint32_t y) {
    if (!overlap(list->blocks[x].bounds, list->blocks[y].bounds)) return false;
    for (uint32_t i = list->blocks[x].first; i < block_end(list, x); i++) {
        if (!overlap(list->commands[i].area, list->blocks[y].bounds)) continue;
        for (uint32_t j = list->blocks[y].first; j < block_end(list, y); j++)
            if (overlap(list->commands[i].area, list->commands[j].area)) return true;
    }
    return false;
}

// Blocks may be paired by id rather than by place when both lists hold the
// same blocks and any two whose order differs touch no pixel in common, in
// either list: then every pixel meets the blocks in the same order in both.
static bool blocks_pair_by_id(draw_list* now, draw_list* before) {
    if (now->block_count != before->block_count) return false;
    bound_blocks(now);
    bound_blocks(before);
    for (uint32_t x = 0; x < now->block_count; x++) {
        for (uint32_t y = x + 1; y < now->block_count; y++) {
            int32_t bx = find_block(before, now->blocks[x].id), by = find_block(before, now->blocks[y].id);
            if (bx < 0 || by < 0) return false;
            if (bx < by) continue;  // the same order in both
            if (blocks_overlap(now, x, y) || blocks_overlap(before, (uint32_t)bx, (uint32_t)by)) return false;
        }
    }
    return true;
}

// Pairs the commands of the two lists in order, the way a diff pairs lines,
// and marks the tiles of every command left unpaired. A pixel that no
// unpaired command touches gets the same commands in the same order from
// both, so it is the same. A command unlike its partner is looked for a few
// places ahead on either side (the few fills a moved hover adds or drops).
// Lists that paint the same panels in another order are paired block by
// block. False when the lists differ too much for pairing to be worth it.
static bool match_commands(draw_list* now, draw_list* before, uint32_t columns, uint64_t tiles) {
    memset(now->tile_marks, 0, tiles);
    diff_state diff = {now, columns, (uint64_t)diff_effort * (now->count + before->count)};
    bool same_order = now->block_count == before->block_count;
    for (uint32_t k = 0; same_order && k < now->block_count; k++)
        same_order = now->blocks[k].id == before->blocks[k].id;
    if (same_order || !blocks_pair_by_id(now, before))
        return match_ranges(&diff, now->commands, now->count, before->commands, before->count);
    for (uint32_t k = 0; k < now->block_count; k++) {
        uint32_t other = (uint32_t)find_block(before, now->blocks[k].id);
        uint32_t from = now->blocks[k].first, old_from = before->blocks[other].first;
        if (!match_ranges(&diff, now->commands + from, block_end(now, k) - from, before->commands + old_from,
                          block_end(before, other) - old_from))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Areas

int32_t draw_list_changed_areas(draw_list* now, draw_list* before, rect* areas, int32_t most) {
    if (most < 1 || now->width <= 0 || now->height <= 0) return 0;
    uint32_t columns = (uint32_t)((now->width + draw_tile_w - 1) / draw_tile_w);
    uint64_t tiles = (uint64_t)columns * (uint32_t)((now->height + draw_tile_h - 1) / draw_tile_h);
    bool comparable = now->width == before->width && now->height == before->height && !now->failed &&
                      !before->failed && tiles < UINT32_MAX &&
                      reserve((void**)&now->tile_marks, &now->tile_capacity, (uint32_t)tiles, 1);
    if (!comparable || !match_commands(now, before, columns, tiles)) {
        areas[0] = rect{0, 0, now->width, now->height};
        return 1;
    }

    // Per row of tiles, the span from the first changed tile to the last;
    // rows below one another with the same span join into one area.
    int32_t count = 0;
    uint32_t rows = (uint32_t)(tiles / columns);
    for (uint32_t row = 0; row < rows; row++) {
        const uint8_t* marks = now->tile_marks + (uint64_t)row * columns;
        uint32_t left = 0, right = columns;
        while (left < columns && !marks[left]) left++;
        if (left == columns) continue;
        while (!marks[right - 1]) right--;
        rect area = tile_rows_area(now, row, left, right - 1);
        rect* last = count > 0 ? &areas[count - 1] : nullptr;
        if (last && last->x == area.x && last->w == area.w && last->y + last->h == area.y) {
            last->h += area.h;
        } else if (count < most) {
            areas[count++] = area;
        } else if (last) {
            *last = bounding(*last, area);
        }
    }
    return count;
}

// ---------------------------------------------------------------------------
// Replay

// One command over the pixels of `clip` only.
static void replay_command(const draw_command* command, pixel_buffer* target, rect clip) {
    rect area = command->area;
    int32_t left = area.x > clip.x ? area.x : clip.x;
    int32_t top = area.y > clip.y ? area.y : clip.y;
    int32_t right = area.x + area.w < clip.x + clip.w ? area.x + area.w : clip.x + clip.w;
    int32_t bottom = area.y + area.h < clip.y + clip.h ? area.y + area.h : clip.y + clip.h;
    if (right <= left || bottom <= top) return;
    rect part = {left, top, right - left, bottom - top};
    switch (command->kind) {
    case draw_kind_fill: fill_span(target, part, command->value); break;
    case draw_kind_blend: blend_span(target, part, command->value); break;
    default:
        blit_span(target, command->image, part, command->source_x + (left - area.x),
                  command->source_y + (top - area.y), command->opacity);
        break;
    }
}

void draw_list_replay(const draw_list* list, pixel_buffer* target, rect area) {
    for (uint32_t i = 0; i < list->count; i++) replay_command(&list->commands[i], target, area);
}

void draw_list_replay_whole(const draw_list* list, pixel_buffer* target) {
    draw_list_replay(list, target, rect{0, 0, list->width, list->height});
}
