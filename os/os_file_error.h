// The process-wide last file error behind os_last_error_message.
#pragma once

#include <stdint.h>

// An errno value; 0 empties the message.
void os_record_file_error(int32_t code);
int32_t os_last_file_error_code(void);
