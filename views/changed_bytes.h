// The bytes the last reload of the file changed: digests of the contents
// shown, compared after a reload, and the marks in the grids and on the
// position bar's track.
#pragma once

#include <stdint.h>

#include "render/draw_list.h"

// The contents are digested in blocks of this many bytes: 8 bytes of digest
// for each, 0.2% of the file.
enum : uint64_t { change_block_bytes = 4096 };

// Another file, or the first: the digests start over and no bytes are marked.
// Standard input, which is never read again, is not digested.
void changes_note_new_file(bool watched);
// The same file read again: its new contents are compared with those shown
// before. The marks of the last reload stay while this one finds no change.
void changes_note_reload(void);
// Digests the next slice of blocks, comparing them after a reload; true
// while blocks are left.
bool changes_step(void);
bool changes_pending(void);
// Keeps a copy of the bytes on screen, which a reload compares exactly.
void changes_keep_shown_bytes(void);
// Escape: no bytes are marked until the next reload.
void changes_forget_marks(void);

// Whether the last reload changed the byte at `offset`, for offsets asked in
// ascending order from the one `cursor` was started at.
struct change_cursor {
    uint64_t index;
};
change_cursor changes_cursor_at(uint64_t offset);
bool changes_cover(change_cursor* cursor, uint64_t offset);

// Marks the rows of the position bar's track behind which bytes changed.
void paint_change_marks(draw_list* list, rect track);
