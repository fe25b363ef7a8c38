// Drives a running bitlorn window with random input for a while: pointer moves,
// drags, clicks, the wheel, keys and chords (Go to, Find, F3, copy), resizes,
// file drops, and the shown file rewritten underneath every few seconds. Closes
// the window at the end, so the program exits as a user would end it.
//
// usage: soak_driver SECONDS FILE [SEED]     (DISPLAY names the program's server)
// The tests' XDND drag source first: it includes gtest before the X headers.
#include "x_test_support.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <string>

enum : int {
    // How often the shown file changes under the program.
    rewrite_every_milliseconds = 3000,
    largest_rewrite_bytes = 1 << 20,
    // Drops and resizes are rarer than pointer and key input.
    action_count = 100,
};

static Display* display;
static Window target;
static unsigned int rng_state = 1;

static int random_below(int n) {
    rng_state = rng_state * 1103515245u + 12345u;
    return (int)((rng_state >> 8) % (unsigned)n);
}

static long long now_milliseconds(void) {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

static Atom atom(const char* name) { return XInternAtom(display, name, False); }

// Only a mapped window can take the focus; before that, setting it is an error.
static bool is_program_window(Window candidate) {
    XClassHint hint;
    if (!XGetClassHint(display, candidate, &hint)) return false;
    bool ours = hint.res_class && strcmp(hint.res_class, "kel_sharedWindowClass") == 0;
    XFree(hint.res_name);
    XFree(hint.res_class);
    XWindowAttributes attributes;
    return ours && XGetWindowAttributes(display, candidate, &attributes) && attributes.map_state == IsViewable;
}

// A request of ours can fail (the focus while the window is being resized, a
// drop target that went away): counted and reported, never the end of the run.
static long long x_errors;

static int count_x_error(Display*, XErrorEvent*) {
    x_errors++;
    return 0;
}

static Window find_program_window(void) {
    Window root, parent, *children = nullptr, found = None;
    unsigned int count = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !found; i++)
            if (is_program_window(children[i])) found = children[i];
        XFree(children);
    }
    return found;
}

static void window_size(int* w, int* h) {
    XWindowAttributes attributes;
    *w = *h = 1;
    if (XGetWindowAttributes(display, target, &attributes)) {
        *w = attributes.width;
        *h = attributes.height;
    }
}

static void pointer_to(int x, int y) {
    Window child;
    int root_x = 0, root_y = 0;
    XTranslateCoordinates(display, target, DefaultRootWindow(display), x, y, &root_x, &root_y, &child);
    XTestFakeMotionEvent(display, DefaultScreen(display), root_x, root_y, CurrentTime);
}

static void random_point(int* x, int* y) {
    int w, h;
    window_size(&w, &h);
    *x = random_below(w);
    *y = random_below(h);
}

static void key(KeySym keysym, bool down) {
    KeyCode code = XKeysymToKeycode(display, keysym);
    if (code) XTestFakeKeyEvent(display, code, down, CurrentTime);
}

static void tap(KeySym keysym, KeySym modifier = NoSymbol) {
    if (modifier != NoSymbol) key(modifier, true);
    key(keysym, true);
    key(keysym, false);
    if (modifier != NoSymbol) key(modifier, false);
}

static void type_text(const char* text) {
    for (const char* c = text; *c; c++) tap(*c == ' ' ? XK_space : (KeySym)(unsigned char)*c);
}

static void rewrite_file(const char* path) {
    int size = random_below(4) == 0 ? random_below(64) : random_below(largest_rewrite_bytes);
    FILE* file = fopen(path, "wb");
    if (!file) return;
    for (int i = 0; i < size; i++) fputc(random_below(4) ? random_below(256) : 'A' + random_below(26), file);
    fclose(file);
}

static void drop(const char* path) {
    xdnd_drag_source source;
    source.begin(display, std::string("file://") + path + "\r\n");
    int x, y;
    random_point(&x, &y);
    Window child;
    int root_x = 0, root_y = 0;
    XTranslateCoordinates(display, target, DefaultRootWindow(display), x, y, &root_x, &root_y, &child);
    XClientMessageEvent reply;
    source.send(target, "XdndEnter", 5L << 24, (long)atom("text/uri-list"), 0, 0);
    source.send(target, "XdndPosition", 0, ((long)root_x << 16) | root_y, CurrentTime, (long)atom("XdndActionCopy"));
    if (source.wait_for("XdndStatus", &reply)) {
        source.send(target, "XdndDrop", 0, CurrentTime, 0, 0);
        source.wait_for("XdndFinished", &reply);
    }
    source.end();
}

static void one_action(const char* path) {
    int x, y;
    int roll = random_below(action_count);
    if (roll < 30) {
        random_point(&x, &y);
        pointer_to(x, y);
    } else if (roll < 40) {  // a click or a drag
        random_point(&x, &y);
        pointer_to(x, y);
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        for (int i = random_below(4); i > 0; i--) {
            random_point(&x, &y);
            pointer_to(x, y);
        }
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
    } else if (roll < 50) {
        unsigned int button = random_below(2) ? 4 : 5;
        if (random_below(3) == 0) key(XK_Shift_L, true);
        XTestFakeButtonEvent(display, button, True, CurrentTime);
        XTestFakeButtonEvent(display, button, False, CurrentTime);
        key(XK_Shift_L, false);
    } else if (roll < 75) {
        static const KeySym keys[] = {XK_Left, XK_Right, XK_Up,    XK_Down, XK_Page_Up, XK_Page_Down, XK_Home,
                                      XK_End,  XK_Delete, XK_F3,   XK_Escape, XK_Return, XK_BackSpace};
        KeySym k = keys[random_below((int)(sizeof keys / sizeof keys[0]))];
        tap(k, random_below(4) == 0 ? XK_Shift_L : NoSymbol);
    } else if (roll < 85) {  // Go to, Find or copy
        int which = random_below(3);
        if (which == 0) {
            tap(XK_g, XK_Control_L);
            char digits[16];
            snprintf(digits, sizeof digits, "%d", random_below(1 << 20));
            type_text(digits);
            tap(XK_Return);
        } else if (which == 1) {
            tap(XK_f, XK_Control_L);
            static const char* patterns[] = {"41", "4142", "00 00", "de ad be ef", "7", "??41"};
            type_text(patterns[random_below(6)]);
            tap(XK_Return);
        } else {
            tap(XK_c, XK_Control_L);
        }
    } else if (roll < 92) {
        XResizeWindow(display, target, 300 + random_below(1600), 200 + random_below(850));
    } else if (roll < 95) {
        drop(path);
    } else {
        random_point(&x, &y);
        pointer_to(x, y);
    }
    XSync(display, False);
}

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s SECONDS FILE [SEED]\n", argv[0]);
        return 2;
    }
    long long seconds = atoll(argv[1]);
    const char* path = argv[2];
    rng_state = argc > 3 ? (unsigned)atoi(argv[3]) : (unsigned)time(nullptr);
    display = XOpenDisplay(nullptr);
    if (!display) {
        fprintf(stderr, "no X display\n");
        return 2;
    }
    XSetErrorHandler(count_x_error);
    // A sanitized build on a busy machine can take a while to show its window.
    long long deadline = now_milliseconds() + 60000;
    while (!(target = find_program_window()) && now_milliseconds() < deadline) usleep(50000);
    if (!target) {
        fprintf(stderr, "no bitlorn window appeared\n");
        return 2;
    }
    XSetInputFocus(display, target, RevertToParent, CurrentTime);
    long long end = now_milliseconds() + seconds * 1000, next_rewrite = now_milliseconds() + rewrite_every_milliseconds;
    long long actions = 0, next_report = now_milliseconds();
    while (now_milliseconds() < end) {
        one_action(path);
        actions++;
        // The soak script reads the last count every minute, to see the driver at work.
        if (now_milliseconds() >= next_report) {
            printf("%lld actions, %lld X errors\n", actions, x_errors);
            fflush(stdout);
            next_report += 1000;
        }
        if (now_milliseconds() >= next_rewrite) {
            rewrite_file(path);
            next_rewrite += rewrite_every_milliseconds;
        }
        usleep(5000 + random_below(15000));
    }
    // Ends the program as closing its window does.
    XEvent close;
    memset(&close, 0, sizeof close);
    close.xclient.type = ClientMessage;
    close.xclient.window = target;
    close.xclient.message_type = atom("WM_PROTOCOLS");
    close.xclient.format = 32;
    close.xclient.data.l[0] = (long)atom("WM_DELETE_WINDOW");
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, target, False, NoEventMask, &close);
    XSync(display, False);
    printf("%lld actions, %lld X errors, window closed\n", actions, x_errors);
    XCloseDisplay(display);
    return 0;
}
