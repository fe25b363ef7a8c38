// Reading a window property of a known type and format.
#include "os/os_x11.h"

unsigned char* os_x11_read_property(Display* display, Window window, Atom property, Atom type, int format,
                                    long max_length, unsigned long* out_items) {
    Atom actual_type = None;
    int actual_format = 0;
    unsigned long items = 0, remaining = 0;
    unsigned char* data = nullptr;
    *out_items = 0;
    // The window may belong to another client and vanish at any time.
    os_x11_last_error = 0;
    int status = XGetWindowProperty(display, window, property, 0, max_length, False, type, &actual_type,
                                    &actual_format, &items, &remaining, &data);
    if (status == Success && !os_x11_last_error && data && actual_type == type && actual_format == format) {
        *out_items = items;
        return data;
    }
    if (data) XFree(data);
    return nullptr;
}
