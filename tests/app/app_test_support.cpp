// The shell tests' helpers: windows without a display, glyph sizes and drop path blocks.
#include "app_test_support.h"

#include "app/app.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include "test_support.h"

void use_fake_window(fake_window* fake, int32_t width, int32_t height, bool back_buffer) {
    release_app_state();
    use_headless_window(fake, width, height, back_buffer);
}

void use_glyph_size(int32_t glyph_w, int32_t glyph_h) {
    app_state.font.glyph_w = glyph_w;
    app_state.font.glyph_h = glyph_h;
}

std::string path_block(const std::vector<std::string>& paths) {
    std::string block;
    for (const std::string& path : paths) {
        block += path;
        block.push_back('\0');
    }
    block.push_back('\0');
    return block;
}

void send_key(uint16_t key, uint8_t state) {
    os_event event = {};
    event.kind = os_event_key;
    event.key = key;
    event.state = state;
    app_on_event(&event);
}

void send_button(uint16_t button, uint8_t state) {
    os_event event = {};
    event.kind = os_event_mouse_button;
    event.key = button;
    event.state = state;
    app_on_event(&event);
}

void send_click(void) {
    send_button(os_mouse_left, os_key_state_pressed);
    send_button(os_mouse_left, os_key_state_released);
}

void send_char(uint32_t code) {
    os_event event = {};
    event.kind = os_event_char;
    event.code = code;
    app_on_event(&event);
}

std::string status_text(void) { return std::string(app_state.status.message, app_state.status.message_length); }
