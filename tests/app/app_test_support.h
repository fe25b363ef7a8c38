// Helpers for the shell's tests: a window record that no display backs.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "headless_window.h"
#include "test_support.h"

typedef headless_window fake_window;

// Resets app_state and points app_state.window at a window of that client
// size, with a back buffer when asked.
void use_fake_window(fake_window* fake, int32_t width, int32_t height, bool back_buffer);
// The font of the given glyph size, without any image behind it.
void use_glyph_size(int32_t glyph_w, int32_t glyph_h);
// A drop's path block: each path and a NUL, then an empty path.
std::string path_block(const std::vector<std::string>& paths);

// Events as the window delivers them, straight to app_on_event.
void send_key(uint16_t key, uint8_t state = os_key_state_pressed);
void send_button(uint16_t button, uint8_t state);
// The left button pressed and released.
void send_click(void);
void send_char(uint32_t code);
// The answer line's text.
std::string status_text(void);
