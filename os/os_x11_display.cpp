// The one connection to the X server, opened on first need.
#include <X11/XKBlib.h>
#include <stdio.h>
#include <stdlib.h>

#include "os/os_x11.h"

int os_x11_last_error = 0;

static Display* display_connection = nullptr;
static uint8_t display_attempted = 0;
static os_x11_atom_table atom_table;

// Requests that can fail on their own (a drag source that vanished, a shared
// memory attach over a remote link) must not end the program.
static int record_x_error(Display*, XErrorEvent* error) {
    os_x11_last_error = error->error_code;
    return 0;
}

static void intern_atoms(Display* display) {
    struct named_atom {
        Atom* slot;
        const char* name;
    };
    os_x11_atom_table* a = &atom_table;
    named_atom names[] = {
        {&a->wm_protocols, "WM_PROTOCOLS"},
        {&a->wm_delete_window, "WM_DELETE_WINDOW"},
        {&a->wm_state, "WM_STATE"},
        {&a->utf8_string, "UTF8_STRING"},
        {&a->net_wm_name, "_NET_WM_NAME"},
        {&a->net_wm_state, "_NET_WM_STATE"},
        {&a->net_wm_state_above, "_NET_WM_STATE_ABOVE"},
        {&a->net_wm_window_type, "_NET_WM_WINDOW_TYPE"},
        {&a->net_wm_window_type_utility, "_NET_WM_WINDOW_TYPE_UTILITY"},
        {&a->net_wm_window_type_normal, "_NET_WM_WINDOW_TYPE_NORMAL"},
        {&a->net_frame_extents, "_NET_FRAME_EXTENTS"},
        {&a->net_workarea, "_NET_WORKAREA"},
        {&a->net_current_desktop, "_NET_CURRENT_DESKTOP"},
        {&a->net_active_window, "_NET_ACTIVE_WINDOW"},
        {&a->motif_wm_hints, "_MOTIF_WM_HINTS"},
        {&a->xsettings_settings, "_XSETTINGS_SETTINGS"},
        {&a->xdnd_aware, "XdndAware"},
        {&a->xdnd_enter, "XdndEnter"},
        {&a->xdnd_position, "XdndPosition"},
        {&a->xdnd_status, "XdndStatus"},
        {&a->xdnd_leave, "XdndLeave"},
        {&a->xdnd_drop, "XdndDrop"},
        {&a->xdnd_finished, "XdndFinished"},
        {&a->xdnd_selection, "XdndSelection"},
        {&a->xdnd_type_list, "XdndTypeList"},
        {&a->xdnd_action_copy, "XdndActionCopy"},
        {&a->text_uri_list, "text/uri-list"},
        {&a->incr, "INCR"},
    };
    for (const named_atom& n : names) *n.slot = XInternAtom(display, n.name, False);
    char selection[32];
    snprintf(selection, sizeof selection, "_XSETTINGS_S%d", DefaultScreen(display));
    a->xsettings_selection = XInternAtom(display, selection, False);
}

Display* os_x11_display(void) {
    if (display_connection || display_attempted) return display_connection;
    display_attempted = 1;
    display_connection = XOpenDisplay(nullptr);
    if (!display_connection) {
        const char* name = getenv("DISPLAY");
        char line[512];
        int length = snprintf(line, sizeof line, "bitlorn: no X display could be opened (DISPLAY is \"%s\")\n",
                              name ? name : "");
        if (length > (int)sizeof line - 1) length = (int)sizeof line - 1;
        os_write_stderr(utf8_string{length, line});
        return nullptr;
    }
    XSetErrorHandler(record_x_error);
    intern_atoms(display_connection);
    // Held keys then repeat as presses without releases in between.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(display_connection, True, &supported);
    return display_connection;
}

os_x11_atom_table* os_x11_atoms(void) { return &atom_table; }
