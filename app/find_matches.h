// The matches of the last search: counted over the whole file by a sliced
// job once Find shows its first match, numbered on the answer line
// ("Match 3 of 17 at offset 4096."), and shown in the grids and on the
// position bar while Find is open or its answer stands.
#pragma once

#include <stdint.h>

#include "app/prompt_state.h"
#include "app/sliced_jobs_state.h"

// Find found `pattern` at `at` (wrapped: 0, 1 around the end, 2 around the
// start): says so on the answer line, counting the matches first unless
// they are counted or being counted for this pattern and file.
void find_matches_show(const find_pattern* pattern, int64_t at, uint8_t wrapped);
// A new search for another pattern, or Escape: the matches are gone.
void find_matches_forget_unless(const find_pattern* pattern);
void find_matches_forget(void);
// One slice of the count.
bool find_matches_step(sliced_job* job);
// Before each frame is painted: whether the grids and the bar show them.
void find_matches_note_shown(void);
