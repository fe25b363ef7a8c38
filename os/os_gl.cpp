// The OpenGL path: a GLX context for windows created with the OpenGL flag,
// with libGL loaded at run time.
#include <GL/glx.h>
#include <dlfcn.h>
#include <string.h>

#include "os/os_x11.h"

typedef void* (*get_proc_address_function)(const GLubyte*);
typedef XVisualInfo* (*choose_visual_function)(Display*, int, int*);
typedef GLXContext (*create_context_function)(Display*, XVisualInfo*, GLXContext, Bool);
typedef void (*destroy_context_function)(Display*, GLXContext);
typedef Bool (*make_current_function)(Display*, GLXDrawable, GLXContext);
typedef void (*swap_buffers_function)(Display*, GLXDrawable);
typedef const char* (*query_extensions_string_function)(Display*, int);
typedef void (*swap_interval_function)(Display*, GLXDrawable, int);

static get_proc_address_function gl_get_proc_address = nullptr;
static choose_visual_function gl_choose_visual = nullptr;
static create_context_function gl_create_context = nullptr;
static destroy_context_function gl_destroy_context = nullptr;
static make_current_function gl_make_current = nullptr;
static swap_buffers_function gl_swap_buffers = nullptr;
static swap_interval_function gl_swap_interval = nullptr;
static GLXDrawable swap_interval_drawable = 0;

// Retried at each OpenGL window until the library's entry point was found.
static void load_gl_library(void) {
    if (gl_get_proc_address) return;
    void* library = dlopen("libGL.so.1", RTLD_NOW | RTLD_GLOBAL);
    if (!library) {
        os_print("Failed to load libGL.so.1\n");
        return;
    }
    gl_get_proc_address = (get_proc_address_function)dlsym(library, "glXGetProcAddressARB");
    if (!gl_get_proc_address) gl_get_proc_address = (get_proc_address_function)dlsym(library, "glXGetProcAddress");
    gl_choose_visual = (choose_visual_function)dlsym(library, "glXChooseVisual");
    gl_create_context = (create_context_function)dlsym(library, "glXCreateContext");
    gl_destroy_context = (destroy_context_function)dlsym(library, "glXDestroyContext");
    gl_make_current = (make_current_function)dlsym(library, "glXMakeCurrent");
    gl_swap_buffers = (swap_buffers_function)dlsym(library, "glXSwapBuffers");
    if (!gl_get_proc_address || !gl_choose_visual || !gl_create_context || !gl_destroy_context || !gl_make_current ||
        !gl_swap_buffers)
        os_print("Failed to load functions from libGL.so.1\n");
}

XVisualInfo* os_x11_gl_visual(Display* display, int screen) {
    load_gl_library();
    if (!gl_choose_visual) return nullptr;
    int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8,
                        GLX_ALPHA_SIZE, 8, GLX_DEPTH_SIZE, 24, None};
    XVisualInfo* visual = gl_choose_visual(display, screen, attributes);
    if (visual) return visual;
    int fallback[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_DEPTH_SIZE, 24, None};
    return gl_choose_visual(display, screen, fallback);
}

static void load_swap_interval(Display* display) {
    if (gl_swap_interval || !gl_get_proc_address) return;
    query_extensions_string_function query =
        (query_extensions_string_function)gl_get_proc_address((const GLubyte*)"glXQueryExtensionsString");
    if (!query) {
        os_print("Failed to load glXQueryExtensionsString\n");
        return;
    }
    const char* extensions = query(display, DefaultScreen(display));
    if (!extensions || !strstr(extensions, "GLX_EXT_swap_control")) {
        os_print("No GLX_EXT_swap_control extension\n");
        return;
    }
    gl_swap_interval = (swap_interval_function)gl_get_proc_address((const GLubyte*)"glXSwapIntervalEXT");
    if (!gl_swap_interval) os_print("Failed to load glXSwapIntervalEXT\n");
}

void os_gl_setup(os_window* window) {
    if (!window || !(window->flags & os_window_flag_open)) return;
    Display* display = os_x11_display();
    load_gl_library();
    if (!gl_create_context || !gl_make_current || !gl_choose_visual) return;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, (Window)window->native_handle, &attributes)) return;
    XVisualInfo wanted;
    memset(&wanted, 0, sizeof wanted);
    wanted.visualid = XVisualIDFromVisual(attributes.visual);
    int matches = 0;
    XVisualInfo* visual = XGetVisualInfo(display, VisualIDMask, &wanted, &matches);
    if (!visual) return;
    os_x11_last_error = 0;
    GLXContext context = gl_create_context(display, visual, nullptr, True);
    XFree(visual);
    XSync(display, False);
    if (!context || os_x11_last_error) return;
    gl_make_current(display, (GLXDrawable)window->native_handle, context);
    window->gl_context = (void*)context;
    swap_interval_drawable = (GLXDrawable)window->native_handle;
    load_swap_interval(display);
}

void os_x11_gl_teardown(os_window* window) {
    Display* display = os_x11_display();
    if (gl_make_current) gl_make_current(display, None, nullptr);
    if (gl_destroy_context) gl_destroy_context(display, (GLXContext)window->gl_context);
    window->gl_context = nullptr;
    if (swap_interval_drawable == (GLXDrawable)window->native_handle) swap_interval_drawable = 0;
}

int32_t os_gl_swap_buffers(os_window* window) {
    if (!window || !(window->flags & os_window_flag_open) || !gl_swap_buffers || !window->gl_context) return 0;
    gl_swap_buffers(os_x11_display(), (GLXDrawable)window->native_handle);
    return 1;
}

int32_t os_gl_set_swap_interval(int32_t interval) {
    if (!gl_swap_interval || !swap_interval_drawable) return 0;
    gl_swap_interval(os_x11_display(), swap_interval_drawable, interval & 0xFF);
    return interval;
}
