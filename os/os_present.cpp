// Presentation and OpenGL: the back buffer copied onto the window, and a GLX
// context for windows created with the OpenGL flag.
//
// Index
//   Software copy          through a shared-memory image when the server is local
//                          and offers one, otherwise through an ordinary image
//   OpenGL                 libGL loaded at run time, contexts, swapping, swap interval
#include <X11/Xproto.h>
#include <X11/extensions/shmproto.h>
#include <dlfcn.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include "os/os_private.h"

// ---------------------------------------------------------------------------
// Software copy



enum : uint32_t { argb_opaque = 0xFF000000u, rgb_mask = 0x00FFFFFFu };
static void destroy_image(os_window_native* native) {
    if (!native->image) return;
    native->image->data = nullptr;  // the pixels belong to the stage
    XDestroyImage(native->image);
    native->image = nullptr;
}

static void release_stage(Display* display, os_window_native* native) {
    destroy_image(native);
    if (!native->stage) return;
    if (native->stage_is_shm) {
        XShmDetach(display, &native->shm);
        // The server must have let go of the segment before it is unmapped here.
        XSync(display, False);
        shmdt(native->shm.shmaddr);
    } else {
        os_free(native->stage);
    }
    native->stage = nullptr;
    native->stage_capacity = 0;
    native->stage_is_shm = 0;
    native->put_pending = 0;
}

void os_x11_release_present(os_window* window) {
    Display* display = os_x11_display();
    if (display && window->native) release_stage(display, window->native);
}

static uint8_t attach_shm_stage(Display* display, os_window_native* native, uint64_t capacity) {
    int id = shmget(IPC_PRIVATE, (size_t)capacity, IPC_CREAT | 0600);
    if (id < 0) return 0;
    void* address = shmat(id, nullptr, 0);
    if (address == (void*)-1) {
        shmctl(id, IPC_RMID, nullptr);
        return 0;
    }
    native->shm.shmid = id;
    native->shm.shmaddr = (char*)address;
    native->shm.readOnly = False;
    os_x11_begin_error_trap();
    Status attached = XShmAttach(display, &native->shm);
    int error = os_x11_end_error_trap(display);
    // Marked for removal now, so the segment goes away with the process.
    shmctl(id, IPC_RMID, nullptr);
    if (!attached || error) {
        shmdt(address);
        return 0;
    }
    native->stage = (uint8_t*)address;
    native->stage_is_shm = 1;
    return 1;
}

static void learn_shm_extension(Display* display) {
    int event_base = 0, error_base = 0;
    bool present = XShmQueryExtension(display) &&
                   XQueryExtension(display, "MIT-SHM", &os_platform.shm_major_opcode, &event_base, &error_base);
    os_platform.shm_completion_type = present ? event_base + ShmCompletion : 0;
    os_platform.shm_state = present ? os_shm_available : os_shm_unavailable;
}

static uint8_t ensure_stage(Display* display, os_window* window, uint64_t capacity) {
    os_window_native* native = window->native;
    if (native->stage && native->stage_capacity >= capacity) return 1;
    release_stage(display, native);
    uint8_t* shm_state = &os_platform.shm_state;
    if (*shm_state == os_shm_unknown) learn_shm_extension(display);
    if (*shm_state == os_shm_available && !attach_shm_stage(display, native, capacity)) *shm_state = os_shm_unavailable;
    if (!native->stage) {
        native->stage = (uint8_t*)os_alloc(capacity);
        if (!native->stage) return 0;
    }
    native->stage_capacity = capacity;
    return 1;
}

static XImage* image_for_size(Display* display, os_window_native* native, int32_t width, int32_t height) {
    XImage* image = native->image;
    if (image && image->width == width && image->height == height) return image;
    destroy_image(native);
    if (native->stage_is_shm)
        image = XShmCreateImage(display, native->visual, (unsigned)native->depth, ZPixmap, (char*)native->stage,
                                &native->shm, (unsigned)width, (unsigned)height);
    else
        image = XCreateImage(display, native->visual, (unsigned)native->depth, ZPixmap, 0, (char*)native->stage,
                             (unsigned)width, (unsigned)height, 32, width * (int)sizeof(color));
    native->image = image;
    return image;
}

void os_enlarge_pixels(const pixel_buffer* from, rect area, int32_t scale, color* to) {
    int64_t stride = (int64_t)from->width * scale;
    for (int32_t row = area.y; row < area.y + area.h; row++) {
        const color* source = from->pixels + (int64_t)row * from->width + area.x;
        color* first = to + (int64_t)row * scale * stride + (int64_t)area.x * scale;
        if (scale == 1) {
            memcpy(first, source, (size_t)area.w * sizeof(color));
            continue;
        }
        color* out = first;
        // The common case gets a loop with a constant count, which the compiler widens.
        if (scale == 2)
            for (int32_t i = 0; i < area.w; i++, out += 2) out[0] = out[1] = source[i];
        else
            for (int32_t i = 0; i < area.w; i++)
                for (int32_t k = 0; k < scale; k++) *out++ = source[i];
        for (int32_t k = 1; k < scale; k++) memcpy(first + k * stride, first, (size_t)area.w * scale * sizeof(color));
    }
}

// Copies the area of the back buffer into the stage, enlarged by the window's
// scale, and returns the stage's rectangle; with a colour key, pure black
// turns transparent and everything else opaque.
static rect copy_to_stage(os_window* window, rect area) {
    const pixel_buffer* buffer = &window->back_buffer;
    color* stage = (color*)window->native->stage;
    int32_t scale = os_window_scale(window);
    os_enlarge_pixels(buffer, area, scale, stage);
    rect staged = {area.x * scale, area.y * scale, area.w * scale, area.h * scale};
    if (!((window->flags & os_window_flag_color_key) && window->native->depth == 32)) return staged;
    int64_t stride = (int64_t)buffer->width * scale;
    for (int32_t row = staged.y; row < staged.y + staged.h; row++) {
        color* to = stage + row * stride + staged.x;
        for (int32_t i = 0; i < staged.w; i++) to[i] = (to[i] & rgb_mask) ? (to[i] | argb_opaque) : 0;
    }
    return staged;
}

uint8_t os_x11_present_handle_event(os_window* window, const XEvent* event) {
    if (!os_platform.shm_completion_type || event->type != os_platform.shm_completion_type) return 0;
    os_window_native* native = window->native;
    // Frames overlap: an older put's completion does not free the stage.
    if (native && event->xany.serial >= native->put_serial) native->put_pending = 0;
    return 1;
}

uint8_t os_x11_is_present_request(int request_code, int minor_code) {
    int shm = os_platform.shm_major_opcode;
    return request_code == X_PutImage || (shm && request_code == shm && minor_code == X_ShmPutImage);
}

// The stage is the server's to read until the last put from it is done. Its
// completion usually waits in the queue by the next frame; only when it has
// not come does this cost a round trip.
static void wait_until_stage_read(Display* display, os_window_native* native) {
    if (!native->put_pending) return;
    XEvent event;
    int type = os_platform.shm_completion_type;
    while (native->put_pending && XCheckTypedWindowEvent(display, native->window, type, &event))
        if (event.xany.serial >= native->put_serial) native->put_pending = 0;
    if (native->put_pending) XSync(display, False);
    native->put_pending = 0;
}

// Only the part inside the back buffer exists to be copied; false when nothing is left.
static bool clip_to_buffer(const pixel_buffer* buffer, rect area, rect* clipped) {
    int32_t left = area.x > 0 ? area.x : 0;
    int32_t top = area.y > 0 ? area.y : 0;
    int32_t right = area.x + area.w < buffer->width ? area.x + area.w : buffer->width;
    int32_t bottom = area.y + area.h < buffer->height ? area.y + area.h : buffer->height;
    *clipped = rect{left, top, right - left, bottom - top};
    return right > left && bottom > top;
}

// One frame's areas: the stage is waited for once, and only the last put asks
// for a completion event, so a frame costs no round trip when the server keeps up.
static int32_t present_areas(os_window* window, const rect* areas, int32_t count) {
    if (!window || !(window->flags & os_window_flag_open) || !(window->flags & os_window_flag_back_buffer) ||
        !window->back_buffer.pixels || !window->native)
        return 0;
    const pixel_buffer* buffer = &window->back_buffer;
    int32_t last = -1;
    rect clipped;
    for (int32_t i = 0; i < count; i++)
        if (clip_to_buffer(buffer, areas[i], &clipped)) last = i;
    if (last < 0) return 1;

    Display* display = os_x11_display();
    if (!display) return 0;
    int32_t scale = os_window_scale(window);
    int32_t stage_width = buffer->width * scale, stage_height = buffer->height * scale;
    // Grown in powers of two, as the back buffer is, so that small resizes keep it.
    uint64_t stage_bytes = window->back_buffer_capacity;
    while (stage_bytes < (uint64_t)stage_width * (uint64_t)stage_height * sizeof(color)) stage_bytes <<= 1;
    if (!ensure_stage(display, window, stage_bytes)) return 0;
    os_window_native* native = window->native;
    XImage* image = image_for_size(display, native, stage_width, stage_height);
    if (!image) return 0;
    wait_until_stage_read(display, native);
    Window target = (Window)window->native_handle;
    GC gc = (GC)window->device_context;
    for (int32_t i = 0; i <= last; i++) {
        if (!clip_to_buffer(buffer, areas[i], &clipped)) continue;
        rect staged = copy_to_stage(window, clipped);
        if (native->stage_is_shm) {
            if (i == last) native->put_serial = NextRequest(display);
            XShmPutImage(display, target, gc, image, staged.x, staged.y, staged.x, staged.y, (unsigned)staged.w,
                         (unsigned)staged.h, i == last);
            native->put_pending = 1;
        } else {
            // An ordinary put carries the pixels in the request itself.
            XPutImage(display, target, gc, image, staged.x, staged.y, staged.x, staged.y, (unsigned)staged.w,
                      (unsigned)staged.h);
        }
    }
    XFlush(display);
    return 1;
}

int32_t os_window_present(os_window* window) {
    if (!window) return 0;
    rect whole = {0, 0, window->back_buffer.width, window->back_buffer.height};
    return present_areas(window, &whole, 1);
}

int32_t os_window_present_rect(os_window* window, rect area) { return present_areas(window, &area, 1); }

int32_t os_window_present_rects(os_window* window, const rect* areas, int32_t count) {
    return present_areas(window, areas, count);
}

// ---------------------------------------------------------------------------
// OpenGL



typedef const char* (*query_extensions_string_function)(Display*, int);

// Retried at each OpenGL window until the library's entry point was found.
static void load_gl_library(void) {
    os_platform_state* state = &os_platform;
    if (state->gl_get_proc_address) return;
    void* library = dlopen("libGL.so.1", RTLD_NOW | RTLD_GLOBAL);
    if (!library) {
        os_print("Failed to load libGL.so.1\n");
        return;
    }
    state->gl_get_proc_address = (os_gl_get_proc_address_function)dlsym(library, "glXGetProcAddressARB");
    if (!state->gl_get_proc_address)
        state->gl_get_proc_address = (os_gl_get_proc_address_function)dlsym(library, "glXGetProcAddress");
    state->gl_choose_visual = (os_gl_choose_visual_function)dlsym(library, "glXChooseVisual");
    state->gl_create_context = (os_gl_create_context_function)dlsym(library, "glXCreateContext");
    state->gl_destroy_context = (os_gl_destroy_context_function)dlsym(library, "glXDestroyContext");
    state->gl_make_current = (os_gl_make_current_function)dlsym(library, "glXMakeCurrent");
    state->gl_swap_buffers = (os_gl_swap_buffers_function)dlsym(library, "glXSwapBuffers");
    if (!state->gl_get_proc_address || !state->gl_choose_visual || !state->gl_create_context ||
        !state->gl_destroy_context || !state->gl_make_current || !state->gl_swap_buffers)
        os_print("Failed to load functions from libGL.so.1\n");
}

XVisualInfo* os_x11_gl_visual(Display* display, int screen) {
    load_gl_library();
    if (!os_platform.gl_choose_visual) return nullptr;
    int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8,
                        GLX_ALPHA_SIZE, 8, GLX_DEPTH_SIZE, 24, None};
    XVisualInfo* visual = os_platform.gl_choose_visual(display, screen, attributes);
    if (visual) return visual;
    int fallback[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_DEPTH_SIZE, 24, None};
    return os_platform.gl_choose_visual(display, screen, fallback);
}

static void load_swap_interval(Display* display) {
    if (os_platform.gl_swap_interval || !os_platform.gl_get_proc_address) return;
    query_extensions_string_function query =
        (query_extensions_string_function)os_platform.gl_get_proc_address((const GLubyte*)"glXQueryExtensionsString");
    if (!query) {
        os_print("Failed to load glXQueryExtensionsString\n");
        return;
    }
    const char* extensions = query(display, DefaultScreen(display));
    if (!extensions || !strstr(extensions, "GLX_EXT_swap_control")) {
        os_print("No GLX_EXT_swap_control extension\n");
        return;
    }
    os_platform.gl_swap_interval =
        (os_gl_swap_interval_function)os_platform.gl_get_proc_address((const GLubyte*)"glXSwapIntervalEXT");
    if (!os_platform.gl_swap_interval) os_print("Failed to load glXSwapIntervalEXT\n");
}

void os_gl_setup(os_window* window) {
    if (!window || !(window->flags & os_window_flag_open)) return;
    Display* display = os_x11_display();
    load_gl_library();
    if (!os_platform.gl_create_context || !os_platform.gl_make_current || !os_platform.gl_choose_visual) return;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, (Window)window->native_handle, &attributes)) return;
    XVisualInfo wanted;
    memset(&wanted, 0, sizeof wanted);
    wanted.visualid = XVisualIDFromVisual(attributes.visual);
    int matches = 0;
    XVisualInfo* visual = XGetVisualInfo(display, VisualIDMask, &wanted, &matches);
    if (!visual) return;
    os_x11_begin_error_trap();
    GLXContext context = os_platform.gl_create_context(display, visual, nullptr, True);
    XFree(visual);
    if (os_x11_end_error_trap(display) || !context) return;
    os_platform.gl_make_current(display, (GLXDrawable)window->native_handle, context);
    window->gl_context = (void*)context;
    os_platform.swap_interval_drawable = (GLXDrawable)window->native_handle;
    load_swap_interval(display);
}

void os_x11_gl_teardown(os_window* window) {
    Display* display = os_x11_display();
    if (!display) return;
    if (os_platform.gl_make_current) os_platform.gl_make_current(display, None, nullptr);
    if (os_platform.gl_destroy_context) os_platform.gl_destroy_context(display, (GLXContext)window->gl_context);
    window->gl_context = nullptr;
    if (os_platform.swap_interval_drawable == (GLXDrawable)window->native_handle)
        os_platform.swap_interval_drawable = 0;
}

int32_t os_gl_swap_buffers(os_window* window) {
    if (!window || !(window->flags & os_window_flag_open) || !os_platform.gl_swap_buffers || !window->gl_context ||
        !os_x11_display())
        return 0;
    os_platform.gl_swap_buffers(os_x11_display(), (GLXDrawable)window->native_handle);
    return 1;
}

int32_t os_gl_set_swap_interval(int32_t interval) {
    if (!os_platform.gl_swap_interval || !os_platform.swap_interval_drawable || !os_x11_display()) return 0;
    os_platform.gl_swap_interval(os_x11_display(), os_platform.swap_interval_drawable, interval & 0xFF);
    return interval;
}
