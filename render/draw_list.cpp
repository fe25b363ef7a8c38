// Recorded frames: appending commands, comparing two frames band by band,
// and drawing a recorded frame again over some of its rows.
#include "render/draw_list.h"

#include <string.h>

#include "os/os.h"

// The recording under way. One at a time: frames are composed one by one.
static struct {
    const pixel_buffer* target;
    draw_list* list;
} recording;

enum : uint32_t { first_capacity = 4096 };

void draw_list_begin(draw_list* list, pixel_buffer* target) {
    list->count = 0;
    list->failed = 0;
    list->width = target->width;
    list->height = target->height;
    recording.target = target;
    recording.list = list;
}

void draw_list_end(void) { recording = {}; }

draw_list* draw_list_recording_into(const pixel_buffer* buffer) {
    return buffer == recording.target ? recording.list : nullptr;
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

void draw_list_append(draw_list* list, const draw_command* command) {
    if (!reserve((void**)&list->commands, &list->capacity, list->count + 1, sizeof(draw_command))) {
        list->failed = 1;
        return;
    }
    list->commands[list->count++] = *command;
}

static uint32_t first_band(const draw_command* command) { return (uint32_t)(command->area.y / draw_band_rows); }

static uint32_t last_band(const draw_command* command) {
    return (uint32_t)((command->area.y + command->area.h - 1) / draw_band_rows);
}

// Sorts the command indices by band (a counting sort, so each band keeps
// drawing order).
static bool index_bands(draw_list* list) {
    list->band_count = 0;
    uint32_t bands = (uint32_t)((list->height + draw_band_rows - 1) / draw_band_rows);
    if (!reserve((void**)&list->band_first, &list->band_capacity, bands + 1, sizeof(uint32_t))) return false;
    memset(list->band_first, 0, (bands + 1) * sizeof(uint32_t));
    uint64_t items = 0;
    for (uint32_t i = 0; i < list->count; i++) {
        const draw_command* command = &list->commands[i];
        for (uint32_t b = first_band(command); b <= last_band(command); b++) list->band_first[b + 1]++;
        items += last_band(command) - first_band(command) + 1;
    }
    if (items > UINT32_MAX ||
        !reserve((void**)&list->band_items, &list->items_capacity, (uint32_t)items, sizeof(uint32_t)))
        return false;
    for (uint32_t b = 0; b < bands; b++) list->band_first[b + 1] += list->band_first[b];
    // Each band's fill position runs from its start; band_first is restored after.
    for (uint32_t i = 0; i < list->count; i++) {
        const draw_command* command = &list->commands[i];
        for (uint32_t b = first_band(command); b <= last_band(command); b++)
            list->band_items[list->band_first[b]++] = i;
    }
    for (uint32_t b = bands; b > 0; b--) list->band_first[b] = list->band_first[b - 1];
    list->band_first[0] = 0;
    list->band_count = bands;
    return true;
}

static bool band_same(const draw_list* now, const draw_list* before, uint32_t band) {
    uint32_t from = now->band_first[band], to = now->band_first[band + 1];
    uint32_t old_from = before->band_first[band];
    if (to - from != before->band_first[band + 1] - old_from) return false;
    for (uint32_t k = 0; k < to - from; k++) {
        const draw_command* a = &now->commands[now->band_items[from + k]];
        const draw_command* b = &before->commands[before->band_items[old_from + k]];
        if (memcmp(a, b, sizeof *a) != 0) return false;
    }
    return true;
}

int32_t draw_list_changed_rows(draw_list* now, draw_list* before, row_span* spans, int32_t most) {
    row_span whole = {0, now->height};
    bool comparable = now->width == before->width && now->height == before->height && !now->failed &&
                      !before->failed && before->band_count > 0;
    if (!index_bands(now) || !comparable) {
        if (most < 1) return 0;
        spans[0] = whole;
        return whole.bottom > 0 ? 1 : 0;
    }
    int32_t count = 0;
    for (uint32_t b = 0; b < now->band_count; b++) {
        if (band_same(now, before, b)) continue;
        int32_t top = (int32_t)b * draw_band_rows;
        int32_t bottom = top + draw_band_rows < now->height ? top + draw_band_rows : now->height;
        if (count > 0 && spans[count - 1].bottom == top) {
            spans[count - 1].bottom = bottom;
        } else if (count < most) {
            spans[count++] = row_span{top, bottom};
        } else if (count > 0) {
            spans[count - 1].bottom = bottom;
        }
    }
    return count;
}

void draw_list_replay(const draw_list* list, pixel_buffer* target, row_span span) {
    for (uint32_t i = 0; i < list->count; i++) {
        const draw_command* command = &list->commands[i];
        rect area = command->area;
        int32_t top = area.y > span.top ? area.y : span.top;
        int32_t bottom = area.y + area.h < span.bottom ? area.y + area.h : span.bottom;
        if (bottom <= top) continue;
        int32_t skipped = top - area.y;
        area.y = top;
        area.h = bottom - top;
        switch (command->kind) {
        case draw_kind_fill: fill_span(target, area, command->value); break;
        case draw_kind_blend: blend_span(target, area, command->value); break;
        default:
            blit_span(target, command->image, area, command->source_x, command->source_y + skipped,
                      command->opacity);
            break;
        }
    }
}
