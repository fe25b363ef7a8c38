// The process-wide last file error behind os_last_error_message.
#pragma once

#include <stdint.h>

// Besides errno values: a path that names something other than a regular
// file or a directory (a FIFO, a device, a socket).
enum : int32_t { os_file_error_not_regular = -1 };

// An errno value; 0 empties the message.
void os_record_file_error(int32_t code);
int32_t os_last_file_error_code(void);
