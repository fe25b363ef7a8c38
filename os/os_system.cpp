// Memory, time, system information and monitors; also the layer's state record.
//
// Index
//   The state record
//   Strings and start-up
//   Memory                 os_alloc .. os_heap_size, os_list_push
//   Time                   clock, sleeping, calendar, waiting on a descriptor
//   System information     processors, memory, command line, executable, current directory
//   Monitors               one record per active RandR output, with its work area
#include <X11/Xatom.h>
#include <X11/extensions/Xrandr.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <malloc.h>
#include <poll.h>
#include <sched.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "os/os_private.h"

// ---------------------------------------------------------------------------
// The state record

os_platform_state os_platform;

// ---------------------------------------------------------------------------
// Strings and start-up

utf8_string os_string(const char* nul_terminated) {
    if (!nul_terminated) return {0, nullptr};
    return {(int64_t)strlen(nul_terminated), nul_terminated};
}

enum : uint64_t { nanoseconds_per_second = 1000000000ull };

static void cache_clock_frequency(void) {
    // The monotonic clock counts nanoseconds whatever its resolution.
    os_platform.clock_frequency = nanoseconds_per_second;
}

// A closed 0, 1 or 2 would be the next descriptor opened: the X connection
// would then take the start-up report, the error lines or the reads of
// standard input. /dev/null holds each such place first.
static void open_closed_standard_descriptors(void) {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; fd++) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
}

void os_init(void) {
    open_closed_standard_descriptors();
    // X11 has no per-process DPI awareness to switch on.
    cache_clock_frequency();
    os_ignore_broken_pipes();
}

// ---------------------------------------------------------------------------
// Memory

void* os_alloc(uint64_t bytes) { return malloc(bytes ? bytes : 1); }

void* os_alloc_zeroed(uint64_t bytes) { return calloc(1, bytes ? bytes : 1); }

void* os_realloc(void* block, uint64_t bytes) { return realloc(block, bytes ? bytes : 1); }

int32_t os_free(void* block) {
    free(block);
    return 1;
}

uint64_t os_heap_size(void* block) { return block ? malloc_usable_size(block) : 0; }

void* os_list_push(os_list* list, uint64_t item_size, int64_t initial_capacity, int64_t limit) {
    if (list->count >= limit) return nullptr;
    if (list->count == list->capacity) {
        int64_t capacity = list->capacity ? list->capacity * 2 : initial_capacity;
        if (capacity > limit) capacity = limit;
        if (capacity <= list->count) capacity = list->count + 1;
        void* grown = os_realloc(list->items, (uint64_t)capacity * item_size);
        if (!grown) return nullptr;
        list->items = grown;
        list->capacity = capacity;
    }
    uint8_t* item = (uint8_t*)list->items + (uint64_t)list->count * item_size;
    memset(item, 0, item_size);
    list->count++;
    return item;
}

// ---------------------------------------------------------------------------
// Time

uint64_t os_now_ticks(void) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (uint64_t)now.tv_sec * nanoseconds_per_second + (uint64_t)now.tv_nsec;
}

uint64_t os_ticks_to_microseconds(uint64_t ticks) {
    // Filled on first use as well, so a conversion before os_init never divides by zero.
    if (os_platform.clock_frequency == 0) cache_clock_frequency();
    unsigned __int128 product = (unsigned __int128)ticks * 1000000u;
    return (uint64_t)(product / os_platform.clock_frequency);
}

uint64_t os_now_microseconds(void) { return os_ticks_to_microseconds(os_now_ticks()); }

uint64_t os_now_milliseconds(void) { return os_now_microseconds() / 1000; }

static void sleep_nanoseconds(uint64_t nanoseconds) {
    if (nanoseconds == 0) {
        sched_yield();
        return;
    }
    timespec wanted = {(time_t)(nanoseconds / nanoseconds_per_second),
                       (long)(nanoseconds % nanoseconds_per_second)};
    timespec left;
    while (nanosleep(&wanted, &left) != 0 && errno == EINTR) wanted = left;
}

void os_sleep_microseconds(uint64_t microseconds) {
    // Whole milliseconds, as the frame loop expects.
    sleep_nanoseconds(microseconds / 1000 * 1000000ull);
}

void os_sleep_milliseconds(uint32_t milliseconds) { sleep_nanoseconds((uint64_t)milliseconds * 1000000ull); }

void os_sleep_seconds(uint32_t seconds) { sleep_nanoseconds((uint64_t)seconds * nanoseconds_per_second); }

os_date_time os_date_time_from_unix(int64_t seconds, int64_t nanoseconds, uint8_t local) {
    time_t when = (time_t)seconds;
    tm parts = {};
    if (local) localtime_r(&when, &parts);
    else gmtime_r(&when, &parts);
    os_date_time result = {};
    result.year = (uint16_t)(parts.tm_year + 1900);
    result.month = (uint8_t)(parts.tm_mon + 1);
    result.day = (uint8_t)parts.tm_mday;
    result.weekday = (uint8_t)(parts.tm_wday == 0 ? 7 : parts.tm_wday);
    result.hour = (uint8_t)parts.tm_hour;
    result.minute = (uint8_t)parts.tm_min;
    result.second = (uint8_t)(parts.tm_sec > 59 ? 59 : parts.tm_sec);
    if (nanoseconds < 0) nanoseconds = 0;
    result.microsecond = (uint32_t)(nanoseconds / 1000000 % 1000) * 1000;
    return result;
}

static os_date_time calendar_now(os_date_time* out, uint8_t local) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    os_date_time result = os_date_time_from_unix(now.tv_sec, now.tv_nsec, local);
    if (out) *out = result;
    return result;
}

os_date_time os_utc_time(os_date_time* out) { return calendar_now(out, 0); }

os_date_time os_local_time(os_date_time* out) { return calendar_now(out, 1); }

os_wait_result os_wait_for_descriptors(const int* descriptors, uint8_t* ready, int32_t count,
                                       int64_t timeout_milliseconds) {
    enum : int32_t { most_descriptors = 4 };
    if (count < 1 || count > most_descriptors) return os_wait_failed;
    uint64_t deadline = timeout_milliseconds >= 0 ? os_now_milliseconds() + (uint64_t)timeout_milliseconds : 0;
    for (;;) {
        int wait = -1;
        if (timeout_milliseconds >= 0) {
            uint64_t now = os_now_milliseconds();
            uint64_t left = deadline > now ? deadline - now : 0;
            wait = left > INT_MAX ? INT_MAX : (int)left;
        }
        pollfd entries[most_descriptors];
        for (int32_t i = 0; i < count; i++) entries[i] = {descriptors[i], POLLIN, 0};
        int result = poll(entries, (nfds_t)count, wait);
        if (result < 0 && errno == EINTR) continue;
        if (result < 0) return os_wait_failed;
        os_wait_result outcome = os_wait_timed_out;
        for (int32_t i = 0; i < count; i++) {
            // Data left behind by a peer that hung up is still there to read.
            if (entries[i].revents & POLLIN) ready[i] = os_wait_ready;
            else ready[i] = entries[i].revents ? os_wait_failed : os_wait_timed_out;
            if (ready[i] == os_wait_ready) outcome = os_wait_ready;
            else if (ready[i] == os_wait_failed && outcome != os_wait_ready) outcome = os_wait_failed;
        }
        if (result > 0) return outcome;
        if (timeout_milliseconds >= 0 && os_now_milliseconds() >= deadline) return os_wait_timed_out;
    }
}

os_wait_result os_wait_for_descriptor(int descriptor, int64_t timeout_milliseconds) {
    uint8_t ready;
    return os_wait_for_descriptors(&descriptor, &ready, 1, timeout_milliseconds);
}

// ---------------------------------------------------------------------------
// System information

enum : uint64_t { proc_file_initial_capacity = 4096 };
// A path buffer doubles from PATH_MAX at most this many times before giving up.
enum : int { path_growth_attempts = 8 };

uint32_t os_processor_count(void) {
    long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? (uint32_t)count : 1;
}

uint64_t os_physical_memory(void) {
    long pages = sysconf(_SC_PHYS_PAGES);
    long page_size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_size <= 0) return 0;
    return (uint64_t)pages * (uint64_t)page_size;
}

// Reads a small pseudo-file whose size the system does not report; NUL-terminated.
static char* read_proc_file(const char* path, int64_t* out_length) {
    *out_length = 0;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    uint64_t capacity = proc_file_initial_capacity, length = 0;
    char* text = (char*)os_alloc(capacity);
    while (text) {
        if (capacity - length < 2) {
            char* grown = (char*)os_realloc(text, capacity * 2);
            if (!grown) break;
            text = grown;
            capacity *= 2;
        }
        ssize_t got = read(fd, text + length, capacity - length - 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        length += (uint64_t)got;
    }
    close(fd);
    if (text) text[length] = 0;
    *out_length = (int64_t)length;
    return text;
}

static char* copy_text(const char* text, int64_t length) {
    char* copy = (char*)os_alloc((uint64_t)length + 1);
    if (!copy) return nullptr;
    memcpy(copy, text, (size_t)length);
    copy[length] = 0;
    return copy;
}

utf8_string os_command_line(void) {
    utf8_string* cached = &os_platform.command_line;
    if (cached->data) return *cached;
    int64_t length = 0;
    char* text = read_proc_file("/proc/self/cmdline", &length);
    if (!text) {
        *cached = {0, copy_text("", 0)};
        return *cached;
    }
    for (int64_t i = 0; i < length; i += 1) {
        if (text[i] == 0) text[i] = ' ';
    }
    while (length > 0 && text[length - 1] == ' ') length -= 1;
    text[length] = 0;
    *cached = {length, text};
    return *cached;
}

utf8_string* os_command_line_arguments(int32_t* count) {
    if (!os_platform.argument_text) {
        int64_t length = 0;
        char* text = read_proc_file("/proc/self/cmdline", &length);
        os_platform.argument_text = text;
        // The block is NUL-terminated, so a last string without its own NUL still ends.
        if (length > 0 && text[length - 1] != 0) length += 1;
        int32_t total = 0;
        for (int64_t i = 0; i < length; i += 1) {
            if (text[i] == 0) total += 1;
        }
        // The first string is the program's own name.
        int32_t wanted = total > 0 ? total - 1 : 0;
        os_free(os_platform.arguments);
        utf8_string* arguments = (utf8_string*)os_alloc_zeroed(sizeof(utf8_string) * (uint64_t)(wanted + 1));
        os_platform.arguments = arguments;
        int32_t index = -1;
        int64_t start = 0;
        for (int64_t i = 0; i < length; i += 1) {
            if (text[i] != 0) continue;
            if (index >= 0) arguments[index] = {i - start, text + start};
            index += 1;
            start = i + 1;
        }
        os_platform.argument_count = wanted;
    }
    if (count) *count = os_platform.argument_count;
    return os_platform.arguments;
}

// The executable's full path, NUL-terminated, or null.
static char* executable_path(int64_t* out_length) {
    uint64_t capacity = PATH_MAX;
    for (int attempt = 0; attempt < path_growth_attempts; attempt += 1) {
        char* path = (char*)os_alloc(capacity);
        if (!path) return nullptr;
        ssize_t length = readlink("/proc/self/exe", path, capacity);
        if (length < 0) {
            os_free(path);
            return nullptr;
        }
        if ((uint64_t)length < capacity) {
            path[length] = 0;
            *out_length = length;
            return path;
        }
        os_free(path);
        capacity *= 2;
    }
    return nullptr;
}

static void fill_executable_strings(void) {
    int64_t length = 0;
    char* path = executable_path(&length);
    if (!path) {
        os_platform.executable_name = {0, copy_text("", 0)};
        os_platform.executable_directory = {0, copy_text("", 0)};
        return;
    }
    int64_t slash = length - 1;
    while (slash >= 0 && path[slash] != '/') slash -= 1;
    os_platform.executable_name = {length - (slash + 1), copy_text(path + slash + 1, length - (slash + 1))};
    os_platform.executable_directory = {slash + 1, copy_text(path, slash + 1)};
    os_free(path);
}

utf8_string os_executable_name(void) {
    if (!os_platform.executable_name.data) fill_executable_strings();
    return os_platform.executable_name;
}

utf8_string os_executable_directory(void) {
    if (!os_platform.executable_directory.data) fill_executable_strings();
    return os_platform.executable_directory;
}

utf8_string os_current_directory(void) {
    utf8_string* cached = &os_platform.current_directory;
    if (cached->data) return *cached;
    uint64_t capacity = PATH_MAX;
    char* path = nullptr;
    for (int attempt = 0; attempt < path_growth_attempts; attempt += 1) {
        path = (char*)os_alloc(capacity + 1);
        if (!path) break;
        if (getcwd(path, capacity)) break;
        os_free(path);
        path = nullptr;
        if (errno != ERANGE) break;
        capacity *= 2;
    }
    if (!path) {
        *cached = {0, copy_text("", 0)};
        return *cached;
    }
    int64_t length = (int64_t)strlen(path);
    if (length == 0 || path[length - 1] != '/') {
        path[length] = '/';
        length += 1;
        path[length] = 0;
    }
    *cached = {length, path};
    return *cached;
}

// ---------------------------------------------------------------------------
// Monitors

enum : int32_t { monitor_list_initial_capacity = 8, default_refresh_rate = 60, lowest_real_refresh_rate = 2 };
enum : int64_t { monitor_list_limit = INT32_MAX };
enum : long { work_area_read_limit = 1024 };  // in 32-bit units: 256 desktops

static os_monitor* monitor_items(void) { return (os_monitor*)os_platform.monitors.items; }

static os_monitor* append_monitor(void) {
    return (os_monitor*)os_list_push(&os_platform.monitors, sizeof(os_monitor), monitor_list_initial_capacity,
                                     monitor_list_limit);
}

// Rebuilt in place: the names live in a pool that is never emptied, so a name an
// earlier caller holds stays valid through every later rebuild.
static void clear_monitor_list(void) { os_platform.monitors.count = 0; }

static char* pooled_name(const char* name, int32_t length) {
    char** names = (char**)os_platform.monitor_names.items;
    for (int64_t i = 0; i < os_platform.monitor_names.count; i++) {
        if ((int32_t)strlen(names[i]) == length && memcmp(names[i], name, (size_t)length) == 0) return names[i];
    }
    char* copy = (char*)os_alloc((uint64_t)length + 1);
    if (!copy) return nullptr;
    char** slot = (char**)os_list_push(&os_platform.monitor_names, sizeof(char*), monitor_list_initial_capacity,
                                       monitor_list_limit);
    if (!slot) {
        os_free(copy);
        return nullptr;
    }
    memcpy(copy, name, (size_t)length);
    copy[length] = 0;
    *slot = copy;
    return copy;
}

static void set_name(os_monitor* monitor, const char* name, int32_t length) {
    monitor->name = pooled_name(name, length);
    monitor->name_length = monitor->name ? length : 0;
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
    os_x11_atom_table* atoms = &os_platform.atoms;
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
    // Without the connection (none, or another thread's) the last reading stands.
    Display* display = os_x11_display();
    if (display) {
        clear_monitor_list();
        int screen = DefaultScreen(display);
        Window root = RootWindow(display, screen);
        work_area area = read_work_area(display, root);
        add_randr_monitors(display, root, &area);
        if (os_platform.monitors.count == 0) {
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
        os_monitor* list = monitor_items();
        int64_t count = os_platform.monitors.count;
        bool any_primary = false;
        for (int64_t i = 0; i < count; i++) any_primary |= (list[i].flags & os_monitor_flag_primary) != 0;
        if (!any_primary && count > 0) list[0].flags |= os_monitor_flag_primary;
        for (int64_t i = 0; i < count; i++)
            if (list[i].refresh_rate < lowest_real_refresh_rate) list[i].refresh_rate = default_refresh_rate;
    }
    if (out_count) *out_count = (int32_t)os_platform.monitors.count;
    if (out_list) *out_list = monitor_items();
    return (int32_t)os_platform.monitors.count;
}

os_monitor* os_first_monitor(void) {
    if (os_platform.monitors.count == 0) os_get_monitors(nullptr, nullptr);
    return os_platform.monitors.count ? &monitor_items()[0] : nullptr;
}
