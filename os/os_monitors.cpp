// The monitor list: one record per active RandR output, with its work area.
#include <X11/Xatom.h>
#include <X11/extensions/Xrandr.h>
#include <string.h>

#include "os/os_x11.h"

enum : int32_t { monitor_list_initial_capacity = 8, default_refresh_rate = 60, lowest_real_refresh_rate = 2 };
enum : long { work_area_read_limit = 1024 };  // in 32-bit units: 256 desktops

static os_monitor* monitor_list = nullptr;
static int32_t monitor_count = 0;
static int32_t monitor_capacity = 0;

static os_monitor* append_monitor(void) {
    if (monitor_count == monitor_capacity) {
        int32_t capacity = monitor_capacity ? monitor_capacity * 2 : monitor_list_initial_capacity;
        os_monitor* grown = (os_monitor*)os_realloc(monitor_list, (uint64_t)capacity * sizeof(os_monitor));
        if (!grown) return nullptr;
        monitor_list = grown;
        monitor_capacity = capacity;
    }
    os_monitor* monitor = &monitor_list[monitor_count++];
    memset(monitor, 0, sizeof *monitor);
    return monitor;
}

static void clear_monitor_list(void) {
    for (int32_t i = 0; i < monitor_count; i++) os_free(monitor_list[i].name);
    monitor_count = 0;
}

static void set_name(os_monitor* monitor, const char* name, int32_t length) {
    monitor->name = (char*)os_alloc((uint64_t)length + 1);
    if (!monitor->name) return;
    memcpy(monitor->name, name, (size_t)length);
    monitor->name[length] = 0;
    monitor->name_length = length;
}

static int32_t mode_refresh_rate(const XRRModeInfo* mode) {
    double vertical_total = (double)mode->vTotal;
    if (mode->modeFlags & RR_DoubleScan) vertical_total *= 2;
    if (mode->modeFlags & RR_Interlace) vertical_total /= 2;
    if (!mode->hTotal || vertical_total <= 0) return 0;
    return (int32_t)((double)mode->dotClock / ((double)mode->hTotal * vertical_total) + 0.5);
}

struct work_area {
    uint8_t known;
    int32_t x, y, width, height;
};

// The desktop's work area as the window manager publishes it, if it does.
static work_area read_work_area(Display* display, Window root) {
    work_area area = {0, 0, 0, 0, 0};
    os_x11_atom_table* atoms = os_x11_atoms();
    unsigned long items = 0;
    long desktop = 0;
    long* current = (long*)os_x11_read_property(display, root, atoms->net_current_desktop, XA_CARDINAL, 32, 1, &items);
    if (current && items == 1) desktop = current[0];
    if (current) XFree(current);
    // One x, y, width, height per desktop.
    long* areas = (long*)os_x11_read_property(display, root, atoms->net_workarea, XA_CARDINAL, 32,
                                              work_area_read_limit, &items);
    if (areas && items >= 4) {
        if (desktop < 0 || (unsigned long)(desktop * 4 + 4) > items) desktop = 0;
        long* values = areas + desktop * 4;
        area = {1, (int32_t)values[0], (int32_t)values[1], (int32_t)values[2], (int32_t)values[3]};
    }
    if (areas) XFree(areas);
    return area;
}

static void set_work_area(os_monitor* monitor, const work_area* area) {
    monitor->work_x = monitor->x;
    monitor->work_y = monitor->y;
    monitor->work_width = monitor->width;
    monitor->work_height = monitor->height;
    if (!area->known) return;
    int32_t left = area->x > monitor->x ? area->x : monitor->x;
    int32_t top = area->y > monitor->y ? area->y : monitor->y;
    int32_t right = area->x + area->width < monitor->x + monitor->width ? area->x + area->width
                                                                         : monitor->x + monitor->width;
    int32_t bottom = area->y + area->height < monitor->y + monitor->height ? area->y + area->height
                                                                            : monitor->y + monitor->height;
    // A work area that misses this monitor says nothing about it.
    if (right <= left || bottom <= top) return;
    monitor->work_x = left;
    monitor->work_y = top;
    monitor->work_width = right - left;
    monitor->work_height = bottom - top;
}

static void add_randr_monitors(Display* display, Window root, const work_area* area) {
    int event_base = 0, error_base = 0;
    if (!XRRQueryExtension(display, &event_base, &error_base)) return;
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root);
    if (!resources) return;
    RROutput primary = XRRGetOutputPrimary(display, root);
    for (int i = 0; i < resources->noutput; i++) {
        XRROutputInfo* output = XRRGetOutputInfo(display, resources, resources->outputs[i]);
        if (!output) continue;
        XRRCrtcInfo* crtc = nullptr;
        if (output->connection == RR_Connected && output->crtc) crtc = XRRGetCrtcInfo(display, resources, output->crtc);
        if (crtc && crtc->mode != None) {
            os_monitor* monitor = append_monitor();
            if (monitor) {
                monitor->x = crtc->x;
                monitor->y = crtc->y;
                monitor->width = (int32_t)crtc->width;
                monitor->height = (int32_t)crtc->height;
                for (int m = 0; m < resources->nmode; m++)
                    if (resources->modes[m].id == crtc->mode) monitor->refresh_rate = mode_refresh_rate(&resources->modes[m]);
                if (resources->outputs[i] == primary) monitor->flags |= os_monitor_flag_primary;
                monitor->handle = (uint64_t)resources->outputs[i];
                set_name(monitor, output->name, output->nameLen);
                set_work_area(monitor, area);
            }
        }
        if (crtc) XRRFreeCrtcInfo(crtc);
        XRRFreeOutputInfo(output);
    }
    XRRFreeScreenResources(resources);
}

int32_t os_get_monitors(int32_t* out_count, os_monitor** out_list) {
    clear_monitor_list();
    Display* display = os_x11_display();
    if (display) {
        int screen = DefaultScreen(display);
        Window root = RootWindow(display, screen);
        work_area area = read_work_area(display, root);
        add_randr_monitors(display, root, &area);
        if (monitor_count == 0) {
            os_monitor* monitor = append_monitor();
            if (monitor) {
                monitor->width = DisplayWidth(display, screen);
                monitor->height = DisplayHeight(display, screen);
                monitor->flags = os_monitor_flag_primary;
                static const char screen_name[] = "screen";
                set_name(monitor, screen_name, sizeof screen_name - 1);
                set_work_area(monitor, &area);
            }
        }
        // Servers without a configured primary output (Xvfb, many single-head
        // setups) still have a main monitor: the first one.
        bool any_primary = false;
        for (int32_t i = 0; i < monitor_count; i++) any_primary |= (monitor_list[i].flags & os_monitor_flag_primary) != 0;
        if (!any_primary && monitor_count > 0) monitor_list[0].flags |= os_monitor_flag_primary;
        for (int32_t i = 0; i < monitor_count; i++)
            if (monitor_list[i].refresh_rate < lowest_real_refresh_rate) monitor_list[i].refresh_rate = default_refresh_rate;
    }
    if (out_count) *out_count = monitor_count;
    if (out_list) *out_list = monitor_list;
    return monitor_count;
}

os_monitor* os_first_monitor(void) {
    if (monitor_count == 0) os_get_monitors(nullptr, nullptr);
    return monitor_count ? &monitor_list[0] : nullptr;
}
