// The shared fixture of the window tests: a window of the layer on a private
// X server, a second connection that drives it through XTest, and the events
// the layer delivered.
#pragma once

// Before the X headers, whose macros clash with its names.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <functional>
#include <string>
#include <vector>

#include "os/os.h"

struct recorded_event {
    os_event event;
    std::string paths;  // the whole path block of a drop
    int32_t back_buffer_width;
};

// Everything delivered since the fixture's window was placed.
extern std::vector<recorded_event> recorded_events;

// Pumps the layer until the predicate holds or two seconds have passed.
bool pump_until(const std::function<bool()>& done);
std::vector<os_event> events_of(uint8_t kind);
size_t count_of(uint8_t kind);

class WindowTest : public ::testing::Test {
protected:
    Display* tester = nullptr;
    os_window* window = nullptr;  // 200 x 150 at (100, 100), shown and focused, with a back buffer

    void SetUp() override;
    void TearDown() override;

    void move_pointer(int x, int y);
    void key(unsigned long keysym, bool down);
    // A key press sent as an event, not through XTest.
    void send_key_press(unsigned long keysym);
    void button(unsigned int number, bool down);
    void click(unsigned int number);
};
