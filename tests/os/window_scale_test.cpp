// A scaled window: the back buffer at the divided size, presented enlarged,
// whole and by a rectangle cut at the buffer's right edge.
#include "window_fixture.h"
#include "os/os_private.h"

#include <X11/Xutil.h>

#include <algorithm>

TEST_F(WindowTest, ScaledWindowPresentsEnlargedWholeAndByRectangles) {
    os_window_set_scale(window, 3);
    pixel_buffer* buffer = &window->back_buffer;
    // 200 x 150 divided by 3, rounded up so that the picture covers the window.
    ASSERT_TRUE(buffer->width == 67 && buffer->height == 50) << buffer->width << "x" << buffer->height;
    for (int32_t i = 0; i < 67 * 50; i++) buffer->pixels[i] = 0xFF000000u | (uint32_t)(i * 2654435761u >> 8);
    os_window_present(window);
    for (int32_t y = 6; y < 13; y++) std::fill_n(buffer->pixels + y * 67 + 60, 7, 0xFF123456u);
    os_window_present_rect(window, rect{60, 6, 20, 7});
    XSync(os_x11_display(), False);
    XImage* image = XGetImage(tester, (Window)window->native_handle, 0, 0, 200, 150, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    int32_t wrong = 0;
    for (int32_t y = 0; y < 150; y++)
        for (int32_t x = 0; x < 200; x++)
            wrong += (XGetPixel(image, x, y) & 0xFFFFFF) != (buffer->pixels[(y / 3) * 67 + x / 3] & 0xFFFFFF);
    XDestroyImage(image);
    EXPECT_EQ(wrong, 0);
}
