// Input synthesis: the pointer's state, and moves, keys and whole texts injected
// through XTest as if the user had made them.
//
// Index
//   typing plan        the character table and the key strokes that type a text
//   the fixed table    the one layout whose virtual keys the plan speaks
//   the live table     the same table derived from the server's keyboard layout
//   pointer            position, buttons, relative and absolute moves
//   keys               os_key_send, os_type_text

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <string.h>

#include "os/os_private.h"

enum : uint16_t {
    vk_tab = 0x09,
    vk_enter = 0x0d,
    vk_shift = 0x10,
    vk_control = 0x11,
    vk_alt = 0x12,
    vk_space = 0x20,
};

// ---------------------------------------------------------------------------
// Typing plan

static void add_stroke(os_typing_plan* plan, uint16_t key, uint8_t down) {
    if (plan->count < plan->capacity) plan->strokes[plan->count] = {key, down};
    plan->count += 1;
}

static void press_and_release(os_typing_plan* plan, uint16_t key) {
    add_stroke(plan, key, 1);
    add_stroke(plan, key, 0);
}

static void set_altgr(os_typing_plan* plan, const os_type_table* table, uint8_t down) {
    for (uint8_t i = 0; i < table->altgr_count; i += 1) add_stroke(plan, table->altgr_keys[i], down);
}

// Shift and AltGr stay held across characters that need them, so a run of such
// characters shares one press and one release.
void os_plan_typing(const os_type_table* table, const char* text, os_typing_plan* plan) {
    plan->count = 0;
    uint8_t shift_held = 0, altgr_held = 0;
    for (const unsigned char* at = (const unsigned char*)text; at && *at; at += 1) {
        os_type_key row = *at < 128 ? table->rows[*at] : os_type_key{0, 0, 0};
        uint8_t need_shift = row.key && row.modifier == os_type_modifier_shift;
        uint8_t need_altgr = row.key && row.modifier == os_type_modifier_altgr;
        if (need_shift && !shift_held) add_stroke(plan, table->shift_key, 1);
        else if (shift_held && !need_shift) add_stroke(plan, table->shift_key, 0);
        shift_held = need_shift;
        if (need_altgr && !altgr_held) set_altgr(plan, table, 1);
        else if (altgr_held && !need_altgr) set_altgr(plan, table, 0);
        altgr_held = need_altgr;
        if (row.key) press_and_release(plan, row.key);
        if (row.key && row.dead) {
            // A dead key waits for the next key; a space makes it type itself.
            press_and_release(plan, table->space_key);
            if (shift_held) add_stroke(plan, table->shift_key, 0);
            if (altgr_held) set_altgr(plan, table, 0);
            shift_held = altgr_held = 0;
        }
    }
    if (shift_held) add_stroke(plan, table->shift_key, 0);
    if (altgr_held) set_altgr(plan, table, 0);
}

// ---------------------------------------------------------------------------
// The fixed table
// Keys are Windows virtual-key codes, for the layout the program was first typed
// on; AltGr is Control then Alt.

static os_type_table build_fixed_table(void) {
    os_type_table table;
    memset(&table, 0, sizeof table);
    table.shift_key = vk_shift;
    table.altgr_keys[0] = vk_control;
    table.altgr_keys[1] = vk_alt;
    table.altgr_count = 2;
    table.space_key = vk_space;
    const uint8_t none = os_type_modifier_none, shift = os_type_modifier_shift, altgr = os_type_modifier_altgr;
    struct row {
        char character;
        uint16_t key;
        uint8_t modifier, dead;
    };
    static const row rows[] = {
        {'\t', 0x09, none, 0}, {'\n', 0x0d, none, 0}, {' ', 0x20, none, 0},  {'!', 0x31, shift, 0},
        {'"', 0x32, shift, 0}, {'#', 0x33, shift, 0}, {'$', 0x34, altgr, 0}, {'%', 0x35, shift, 0},
        {'&', 0x36, shift, 0}, {'\'', 0xbf, none, 0}, {'(', 0x38, shift, 0}, {')', 0x39, shift, 0},
        {'*', 0xbf, shift, 0}, {'+', 0xbb, none, 0},  {',', 0xbc, none, 0},  {'-', 0xbd, none, 0},
        {'.', 0xbe, none, 0},  {'/', 0x37, shift, 0}, {':', 0xbe, shift, 0}, {';', 0xbc, shift, 0},
        {'<', 0xe2, none, 0},  {'=', 0x30, shift, 0}, {'>', 0xe2, shift, 0}, {'?', 0xbb, shift, 0},
        {'@', 0x32, altgr, 0}, {'[', 0x38, altgr, 0}, {'\\', 0xbb, altgr, 0}, {']', 0x39, altgr, 0},
        {'^', 0xba, shift, 1}, {'_', 0xbd, shift, 0}, {'`', 0xdb, shift, 1}, {'{', 0x37, altgr, 0},
        {'|', 0xe2, altgr, 0}, {'}', 0x30, altgr, 0}, {'~', 0xba, altgr, 1},
    };
    for (const row& r : rows) table.rows[(unsigned char)r.character] = {r.key, r.modifier, r.dead};
    for (char c = 'a'; c <= 'z'; c += 1) table.rows[(unsigned char)c] = {(uint16_t)(c - 'a' + 'A'), none, 0};
    for (char c = 'A'; c <= 'Z'; c += 1) table.rows[(unsigned char)c] = {(uint16_t)c, shift, 0};
    for (char c = '0'; c <= '9'; c += 1) table.rows[(unsigned char)c] = {(uint16_t)c, none, 0};
    return table;
}

const os_type_table* os_fixed_type_table(void) {
    static os_type_table table;
    static uint8_t built;
    if (!built) {
        table = build_fixed_table();
        built = 1;
    }
    return &table;
}

// ---------------------------------------------------------------------------
// The live table
// Keys are X keycodes. Each character is looked up on the layout the server uses
// now, so what arrives is what was asked for on any layout.

// The key symbol a character types; 0 for none.
static KeySym keysym_of(unsigned char c) {
    if (c == '\t') return XK_Tab;
    if (c == '\n') return XK_Return;
    if (c >= 0x20 && c < 0x7f) return (KeySym)c;  // Latin-1 key symbols are the characters
    return 0;
}

// The dead key that types the character when followed by a space.
static KeySym dead_keysym_of(unsigned char c) {
    switch (c) {
    case '^': return XK_dead_circumflex;
    case '`': return XK_dead_grave;
    case '~': return XK_dead_tilde;
    case '\'': return XK_dead_acute;
    case '"': return XK_dead_diaeresis;
    default: return 0;
    }
}

// The modifier a level of a key needs: none, Shift, AltGr, or 0xff for any other mix.
static uint8_t level_modifier(XkbDescPtr xkb, KeyCode code, int group, int level, unsigned int level3_mask) {
    if (level == 0) return os_type_modifier_none;
    XkbKeyTypePtr type = XkbKeyKeyType(xkb, code, group);
    for (int i = 0; type && i < type->map_count; i += 1) {
        XkbKTMapEntryPtr entry = &type->map[i];
        if (!entry->active || entry->level != level) continue;
        if (entry->mods.mask == ShiftMask) return os_type_modifier_shift;
        if (level3_mask && entry->mods.mask == level3_mask) return os_type_modifier_altgr;
    }
    return 0xff;
}

static bool find_key(XkbDescPtr xkb, KeySym wanted, int group, unsigned int level3_mask, uint8_t allow_altgr,
                     os_type_key* out) {
    for (int level = 0; level < 3; level += 1) {
        for (int code = xkb->min_key_code; code <= xkb->max_key_code; code += 1) {
            int groups = XkbKeyNumGroups(xkb, code);
            if (!groups) continue;
            int use = group < groups ? group : 0;
            if (level >= XkbKeyGroupWidth(xkb, code, use)) continue;
            if (XkbKeySymEntry(xkb, code, level, use) != wanted) continue;
            uint8_t modifier = level_modifier(xkb, (KeyCode)code, use, level, level3_mask);
            if (modifier == 0xff || (modifier == os_type_modifier_altgr && !allow_altgr)) continue;
            *out = {(uint16_t)code, modifier, 0};
            return true;
        }
    }
    return false;
}

static bool build_live_table(Display* display, os_type_table* table) {
    memset(table, 0, sizeof *table);
    XkbDescPtr xkb = XkbGetMap(display, XkbAllClientInfoMask, XkbUseCoreKbd);
    if (!xkb) return false;
    XkbStateRec state;
    int group = XkbGetState(display, XkbUseCoreKbd, &state) == Success ? state.group : 0;
    table->shift_key = XKeysymToKeycode(display, XK_Shift_L);
    table->space_key = XKeysymToKeycode(display, XK_space);
    KeyCode level3 = XKeysymToKeycode(display, XK_ISO_Level3_Shift);
    unsigned int level3_mask = level3 ? XkbKeysymToModifiers(display, XK_ISO_Level3_Shift) : 0;
    if (level3 && level3_mask) {
        table->altgr_keys[0] = level3;
        table->altgr_count = 1;
    }
    for (int c = 1; c < 128; c += 1) {
        KeySym wanted = keysym_of((unsigned char)c);
        if (!wanted) continue;
        os_type_key key;
        if (find_key(xkb, wanted, group, level3_mask, table->altgr_count > 0, &key)) {
            table->rows[c] = key;
        } else if (dead_keysym_of((unsigned char)c) &&
                   find_key(xkb, dead_keysym_of((unsigned char)c), group, level3_mask, table->altgr_count > 0, &key)) {
            key.dead = 1;
            table->rows[c] = key;
        }
    }
    XkbFreeKeyboard(xkb, 0, True);
    return table->shift_key && table->space_key;
}

// ---------------------------------------------------------------------------
// Pointer

static int32_t pointer_state(int32_t* x, int32_t* y, unsigned int* mask) {
    Display* display = os_x11_display();
    *x = *y = 0;
    *mask = 0;
    if (!display) return 0;
    Window root, child;
    int root_x = 0, root_y = 0, window_x = 0, window_y = 0;
    if (!XQueryPointer(display, DefaultRootWindow(display), &root, &child, &root_x, &root_y, &window_x, &window_y,
                       mask)) {
        return 0;
    }
    *x = root_x;
    *y = root_y;
    return 1;
}

os_cursor_point os_cursor_position(void) {
    os_cursor_point point;
    unsigned int mask;
    pointer_state(&point.x, &point.y, &mask);
    return point;
}

uint8_t os_mouse_button_down(uint16_t button) {
    int32_t x, y;
    unsigned int mask;
    if (!pointer_state(&x, &y, &mask)) return 0;
    switch (button) {
    case os_mouse_left: return (mask & Button1Mask) != 0;
    case os_mouse_middle: return (mask & Button2Mask) != 0;
    case os_mouse_right: return (mask & Button3Mask) != 0;
    default: return 0;
    }
}

int32_t os_mouse_move_by(int32_t dx, int32_t dy) {
    Display* display = os_x11_display();
    if (!display || !XTestFakeRelativeMotionEvent(display, dx, dy, CurrentTime)) return 0;
    XFlush(display);
    return 1;
}

// x and y run from 0 to 65535 across the primary monitor.
int32_t os_mouse_move_to(int32_t x, int32_t y) {
    Display* display = os_x11_display();
    if (!display) return 0;
    int32_t left = 0, top = 0;
    int32_t width = DisplayWidth(display, DefaultScreen(display)), height = DisplayHeight(display, DefaultScreen(display));
    int32_t count = 0;
    os_monitor* monitors = nullptr;
    if (os_get_monitors(&count, &monitors) == 0) {
        for (int32_t i = 0; i < count; i += 1) {
            if (monitors[i].flags & os_monitor_flag_primary) {
                left = monitors[i].x;
                top = monitors[i].y;
                width = monitors[i].width;
                height = monitors[i].height;
                break;
            }
        }
    }
    x = x < 0 ? 0 : x > 65535 ? 65535 : x;
    y = y < 0 ? 0 : y > 65535 ? 65535 : y;
    int32_t px = left + (int32_t)((int64_t)x * (width > 0 ? width - 1 : 0) / 65535);
    int32_t py = top + (int32_t)((int64_t)y * (height > 0 ? height - 1 : 0) / 65535);
    if (!XTestFakeMotionEvent(display, -1, px, py, CurrentTime)) return 0;
    XFlush(display);
    return 1;
}

// ---------------------------------------------------------------------------
// Keys

// The key symbol of each virtual key that may be sent; 0 for the others.
static KeySym sendable_keysym(uint16_t key) {
    if (key >= '0' && key <= '9') return (KeySym)key;
    if (key >= 'A' && key <= 'Z') return (KeySym)(key - 'A' + 'a');
    if (key >= 96 && key <= 105) return XK_KP_0 + (KeySym)(key - 96);
    switch (key) {
    case 9: return XK_Tab;
    case 13: return XK_Return;
    case 16: return XK_Shift_L;
    case 17: return XK_Control_L;
    case 18: return XK_Alt_L;
    case 20: return XK_Caps_Lock;
    case 27: return XK_Escape;
    case 32: return XK_space;
    case 33: return XK_Prior;
    case 34: return XK_Next;
    case 35: return XK_End;
    case 36: return XK_Home;
    case 37: return XK_Left;
    case 38: return XK_Up;
    case 39: return XK_Right;
    case 40: return XK_Down;
    case 45: return XK_Insert;
    case 46: return XK_Delete;
    case 91: return XK_Super_L;
    case 144: return XK_Num_Lock;
    case 145: return XK_Scroll_Lock;
    case 187: return XK_equal;  // the key that types '=' and '+' on a US layout
    case 188: return XK_comma;
    case 189: return XK_minus;
    case 190: return XK_period;
    case 191: return XK_slash;
    case 226: return XK_less;  // the extra key beside the left Shift
    default: return 0;
    }
}

int32_t os_key_send(uint16_t key, uint8_t pressed) {
    KeySym keysym = sendable_keysym(key);
    if (!keysym) return key;
    Display* display = os_x11_display();
    if (!display) return 0;
    KeyCode code = XKeysymToKeycode(display, keysym);
    if (!code || !XTestFakeKeyEvent(display, code, pressed ? True : False, CurrentTime)) return 0;
    XFlush(display);
    return 1;
}

void os_type_text(const char* text) {
    Display* display = os_x11_display();
    if (!display || !text) return;
    os_type_table table;
    if (!build_live_table(display, &table)) return;
    uint64_t length = strlen(text);
    // Each character takes at most eight strokes (modifiers, key, space, releases).
    uint64_t capacity = length * 8 + 8;
    os_key_stroke* strokes = (os_key_stroke*)os_alloc(sizeof(os_key_stroke) * capacity);
    if (!strokes) return;
    os_typing_plan plan = {strokes, (uint32_t)capacity, 0};
    os_plan_typing(&table, text, &plan);
    for (uint32_t i = 0; i < plan.count && i < plan.capacity; i += 1) {
        XTestFakeKeyEvent(display, strokes[i].key, strokes[i].down ? True : False, CurrentTime);
    }
    XFlush(display);
    os_free(strokes);
}
