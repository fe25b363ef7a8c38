// The answer line's text and whether it is a measure's.
#include "app/status_line.h"

#include <string.h>

#include "app/app_state.h"
#include "render/text_buffer.h"

static void set_message(const char* text, bool measure) {
    status_line_state* status = &app_state.status;
    uint64_t length = strlen(text);
    if (length > status_message_capacity) length = status_message_capacity;
    memcpy(status->message, text, length);
    status->message_length = (uint32_t)length;
    status->measure_copyable = measure ? 1 : 0;
}

void status_set(const char* text) { set_message(text, false); }

void status_set_measure_line(const char* text) { set_message(text, true); }

void status_set_number(const char* before, int64_t number, const char* after) {
    char storage[status_message_capacity];
    text_buffer text = {0, storage, sizeof storage - 1};
    text_append_cstring(&text, before);
    text_append_int(&text, number);
    text_append_cstring(&text, after);
    status_set(text.data);
}

bool status_measure_copyable(void) { return app_state.status.measure_copyable != 0; }

void status_clear(void) { app_state.status.message_length = 0; }

void status_forget_measure(void) { app_state.status.measure_copyable = 0; }
