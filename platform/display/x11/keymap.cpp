// X keysyms to Win32 virtual keys and PC scan codes.
#include "platform/display/x11/x11.h"

#include <X11/keysym.h>

namespace x11 {
namespace {

struct Entry {
    unsigned long keysym;
    UINT vk;
    UINT scan;
    bool extended;
};

// Keys whose virtual key is not simply their character.
constexpr Entry kKeys[] = {
    {XK_BackSpace, VK_BACK, 0x0E, false},
    {XK_Tab, VK_TAB, 0x0F, false},
    {XK_ISO_Left_Tab, VK_TAB, 0x0F, false},
    {XK_Return, VK_RETURN, 0x1C, false},
    {XK_Pause, VK_PAUSE, 0x45, false},
    {XK_Scroll_Lock, VK_SCROLL, 0x46, false},
    {XK_Escape, VK_ESCAPE, 0x01, false},
    {XK_Home, VK_HOME, 0x47, true},
    {XK_Left, VK_LEFT, 0x4B, true},
    {XK_Up, VK_UP, 0x48, true},
    {XK_Right, VK_RIGHT, 0x4D, true},
    {XK_Down, VK_DOWN, 0x50, true},
    {XK_Page_Up, VK_PRIOR, 0x49, true},
    {XK_Page_Down, VK_NEXT, 0x51, true},
    {XK_End, VK_END, 0x4F, true},
    {XK_Insert, VK_INSERT, 0x52, true},
    {XK_Delete, VK_DELETE, 0x53, true},
    {XK_Print, VK_SNAPSHOT, 0x37, true},
    {XK_Menu, VK_APPS, 0x5D, true},
    {XK_Num_Lock, VK_NUMLOCK, 0x45, true},
    {XK_Caps_Lock, VK_CAPITAL, 0x3A, false},
    {XK_space, VK_SPACE, 0x39, false},
    // Modifiers: Win32 reports the generic key; the right-hand ones are extended.
    {XK_Shift_L, VK_SHIFT, 0x2A, false},
    {XK_Shift_R, VK_SHIFT, 0x36, false},
    {XK_Control_L, VK_CONTROL, 0x1D, false},
    {XK_Control_R, VK_CONTROL, 0x1D, true},
    {XK_Alt_L, VK_MENU, 0x38, false},
    {XK_Meta_L, VK_MENU, 0x38, false},
    {XK_Alt_R, VK_MENU, 0x38, true},
    {XK_Meta_R, VK_MENU, 0x38, true},
    {XK_ISO_Level3_Shift, VK_MENU, 0x38, true},
    {XK_Super_L, VK_LWIN, 0x5B, true},
    {XK_Super_R, VK_RWIN, 0x5C, true},
    // The keypad. With Num Lock off its keys report the navigation keysyms,
    // which Win32 gives as the navigation keys without the extended flag.
    {XK_KP_Enter, VK_RETURN, 0x1C, true},
    {XK_KP_Divide, VK_DIVIDE, 0x35, true},
    {XK_KP_Multiply, VK_MULTIPLY, 0x37, false},
    {XK_KP_Subtract, VK_SUBTRACT, 0x4A, false},
    {XK_KP_Add, VK_ADD, 0x4E, false},
    {XK_KP_Decimal, VK_DECIMAL, 0x53, false},
    {XK_KP_Separator, VK_DECIMAL, 0x53, false},
    {XK_KP_Delete, VK_DELETE, 0x53, false},
    {XK_KP_Insert, VK_INSERT, 0x52, false},
    {XK_KP_End, VK_END, 0x4F, false},
    {XK_KP_Down, VK_DOWN, 0x50, false},
    {XK_KP_Page_Down, VK_NEXT, 0x51, false},
    {XK_KP_Left, VK_LEFT, 0x4B, false},
    {XK_KP_Begin, VK_CLEAR, 0x4C, false},
    {XK_KP_Right, VK_RIGHT, 0x4D, false},
    {XK_KP_Home, VK_HOME, 0x47, false},
    {XK_KP_Up, VK_UP, 0x48, false},
    {XK_KP_Page_Up, VK_PRIOR, 0x49, false},
    {XK_KP_0, VK_NUMPAD0, 0x52, false},
    {XK_KP_1, VK_NUMPAD1, 0x4F, false},
    {XK_KP_2, VK_NUMPAD2, 0x50, false},
    {XK_KP_3, VK_NUMPAD3, 0x51, false},
    {XK_KP_4, VK_NUMPAD4, 0x4B, false},
    {XK_KP_5, VK_NUMPAD5, 0x4C, false},
    {XK_KP_6, VK_NUMPAD6, 0x4D, false},
    {XK_KP_7, VK_NUMPAD7, 0x47, false},
    {XK_KP_8, VK_NUMPAD8, 0x48, false},
    {XK_KP_9, VK_NUMPAD9, 0x49, false},
    // US layout punctuation.
    {XK_semicolon, VK_OEM_1, 0x27, false},
    {XK_equal, VK_OEM_PLUS, 0x0D, false},
    {XK_comma, VK_OEM_COMMA, 0x33, false},
    {XK_minus, VK_OEM_MINUS, 0x0C, false},
    {XK_period, VK_OEM_PERIOD, 0x34, false},
    {XK_slash, VK_OEM_2, 0x35, false},
    {XK_grave, VK_OEM_3, 0x29, false},
    {XK_bracketleft, VK_OEM_4, 0x1A, false},
    {XK_backslash, VK_OEM_5, 0x2B, false},
    {XK_bracketright, VK_OEM_6, 0x1B, false},
    {XK_apostrophe, VK_OEM_7, 0x28, false},
};

// Set-1 make codes of the letter keys A..Z and the digit row 0..9.
constexpr UINT kLetterScan[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                  0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                  0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
constexpr UINT kDigitScan[10] = {0x0B, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A};
// F1..F12.
constexpr UINT kFunctionScan[12] = {0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x41, 0x42, 0x43, 0x44, 0x57, 0x58};

}  // namespace

bool TranslateKeysym(unsigned long keysym, KeyInfo *out) {
    if (keysym >= XK_a && keysym <= XK_z) keysym -= XK_a - XK_A;
    if (keysym >= XK_A && keysym <= XK_Z) {
        *out = {static_cast<UINT>('A' + (keysym - XK_A)), kLetterScan[keysym - XK_A], false};
        return true;
    }
    if (keysym >= XK_0 && keysym <= XK_9) {
        *out = {static_cast<UINT>('0' + (keysym - XK_0)), kDigitScan[keysym - XK_0], false};
        return true;
    }
    if (keysym >= XK_F1 && keysym <= XK_F12) {
        *out = {static_cast<UINT>(VK_F1 + (keysym - XK_F1)), kFunctionScan[keysym - XK_F1], false};
        return true;
    }
    for (const Entry &e : kKeys) {
        if (e.keysym == keysym) {
            *out = {e.vk, e.scan, e.extended};
            return true;
        }
    }
    return false;
}

}  // namespace x11
