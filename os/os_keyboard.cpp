// Key symbols to Windows virtual-key codes and to typed characters.
#include <X11/keysym.h>

#include "os/os_x11.h"

enum : uint16_t {
    vk_back = 0x08, vk_tab = 0x09, vk_clear = 0x0C, vk_return = 0x0D,
    vk_shift = 0x10, vk_control = 0x11, vk_menu = 0x12, vk_pause = 0x13, vk_capital = 0x14,
    vk_escape = 0x1B, vk_space = 0x20, vk_prior = 0x21, vk_next = 0x22, vk_end = 0x23,
    vk_home = 0x24, vk_left = 0x25, vk_up = 0x26, vk_right = 0x27, vk_down = 0x28,
    vk_snapshot = 0x2C, vk_insert = 0x2D, vk_delete = 0x2E,
    vk_digit_0 = 0x30, vk_letter_a = 0x41, vk_lwin = 0x5B, vk_rwin = 0x5C, vk_apps = 0x5D,
    vk_numpad_0 = 0x60, vk_multiply = 0x6A, vk_add = 0x6B, vk_separator = 0x6C,
    vk_subtract = 0x6D, vk_decimal = 0x6E, vk_divide = 0x6F, vk_f1 = 0x70,
    vk_numlock = 0x90, vk_scroll = 0x91,
    vk_oem_1 = 0xBA, vk_oem_plus = 0xBB, vk_oem_comma = 0xBC, vk_oem_minus = 0xBD,
    vk_oem_period = 0xBE, vk_oem_2 = 0xBF, vk_oem_3 = 0xC0, vk_oem_4 = 0xDB,
    vk_oem_5 = 0xDC, vk_oem_6 = 0xDD, vk_oem_7 = 0xDE,
};

enum : unsigned long { function_key_count = 24, unicode_keysym_base = 0x01000000 };

struct keysym_mapping {
    unsigned long keysym;
    uint16_t key;
};

static const keysym_mapping named_keys[] = {
    {XK_BackSpace, vk_back}, {XK_Tab, vk_tab}, {XK_ISO_Left_Tab, vk_tab},
    {XK_Return, vk_return}, {XK_KP_Enter, vk_return}, {XK_Escape, vk_escape},
    {XK_space, vk_space}, {XK_KP_Space, vk_space},
    {XK_Shift_L, vk_shift}, {XK_Shift_R, vk_shift},
    {XK_Control_L, vk_control}, {XK_Control_R, vk_control},
    {XK_Alt_L, vk_menu}, {XK_Alt_R, vk_menu}, {XK_Meta_L, vk_menu}, {XK_Meta_R, vk_menu},
    {XK_ISO_Level3_Shift, vk_menu},
    {XK_Super_L, vk_lwin}, {XK_Super_R, vk_rwin}, {XK_Menu, vk_apps},
    {XK_Pause, vk_pause}, {XK_Print, vk_snapshot},
    {XK_Caps_Lock, vk_capital}, {XK_Num_Lock, vk_numlock}, {XK_Scroll_Lock, vk_scroll},
    {XK_Prior, vk_prior}, {XK_Next, vk_next}, {XK_End, vk_end}, {XK_Home, vk_home},
    {XK_Left, vk_left}, {XK_Up, vk_up}, {XK_Right, vk_right}, {XK_Down, vk_down},
    {XK_Insert, vk_insert}, {XK_Delete, vk_delete},
    {XK_KP_Prior, vk_prior}, {XK_KP_Next, vk_next}, {XK_KP_End, vk_end}, {XK_KP_Home, vk_home},
    {XK_KP_Left, vk_left}, {XK_KP_Up, vk_up}, {XK_KP_Right, vk_right}, {XK_KP_Down, vk_down},
    {XK_KP_Insert, vk_insert}, {XK_KP_Delete, vk_delete}, {XK_KP_Begin, vk_clear},
    {XK_KP_Multiply, vk_multiply}, {XK_KP_Add, vk_add}, {XK_KP_Separator, vk_separator},
    {XK_KP_Subtract, vk_subtract}, {XK_KP_Decimal, vk_decimal}, {XK_KP_Divide, vk_divide},
    {XK_semicolon, vk_oem_1}, {XK_equal, vk_oem_plus}, {XK_comma, vk_oem_comma},
    {XK_minus, vk_oem_minus}, {XK_period, vk_oem_period}, {XK_slash, vk_oem_2},
    {XK_grave, vk_oem_3}, {XK_bracketleft, vk_oem_4}, {XK_backslash, vk_oem_5},
    {XK_bracketright, vk_oem_6}, {XK_apostrophe, vk_oem_7},
};

uint16_t os_x11_virtual_key(unsigned long keysym) {
    if (keysym >= XK_a && keysym <= XK_z) return (uint16_t)(vk_letter_a + (keysym - XK_a));
    if (keysym >= XK_A && keysym <= XK_Z) return (uint16_t)(vk_letter_a + (keysym - XK_A));
    if (keysym >= XK_0 && keysym <= XK_9) return (uint16_t)(vk_digit_0 + (keysym - XK_0));
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return (uint16_t)(vk_numpad_0 + (keysym - XK_KP_0));
    if (keysym >= XK_F1 && keysym < XK_F1 + function_key_count) return (uint16_t)(vk_f1 + (keysym - XK_F1));
    for (const keysym_mapping& m : named_keys)
        if (m.keysym == keysym) return m.key;
    return 0;
}

uint32_t os_x11_keysym_to_unicode(unsigned long keysym) {
    if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF)) return (uint32_t)keysym;
    if (keysym >= unicode_keysym_base && keysym <= unicode_keysym_base + 0x10FFFF)
        return (uint32_t)(keysym - unicode_keysym_base);
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9) return (uint32_t)('0' + (keysym - XK_KP_0));
    switch (keysym) {
    case XK_Return: case XK_KP_Enter: return '\r';
    case XK_Tab: return '\t';
    case XK_Escape: return 0x1B;
    case XK_BackSpace: return '\b';
    case XK_KP_Space: return ' ';
    case XK_KP_Multiply: return '*';
    case XK_KP_Add: return '+';
    case XK_KP_Subtract: return '-';
    case XK_KP_Decimal: return '.';
    case XK_KP_Divide: return '/';
    case XK_EuroSign: return 0x20AC;
    default: return 0;
    }
}
