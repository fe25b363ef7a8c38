// What the message wait and the crash handler ask of the file mappings and
// watches kept in os_files.cpp.
#pragma once

#include <stdint.h>

// The descriptor that becomes readable when a watched directory reports
// something, or -1 while nothing is watched.
int32_t os_file_watch_descriptor(void);
// Milliseconds until the pending changes count as settled: -1 when none is
// pending, 0 when they already have.
int32_t os_file_watch_timeout(void);
// Reads what the watch descriptor holds without blocking.
void os_file_watch_drain(void);

// Called from a SIGBUS handler: true when the address lies in a live mapping
// and the missing pages have been replaced by zeros, so the faulting read can
// simply run again. Signal-safe.
bool os_answer_mapping_fault(void* address);
