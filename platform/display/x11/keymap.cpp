// X keysyms to Win32 virtual keys and PC scan codes.
#include "platform/display/x11/x11.h"

// The typographic keysyms are outside the default sets.
#define XK_PUBLISHING
#define XK_TECHNICAL
#include <X11/keysym.h>

#include <cstring>

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

// The character keys of a PC keyboard by XKB name, with what the US layout
// makes of them.
struct Place {
    const char *name;
    UINT vk;
    UINT scan;
};
constexpr Place kPlaces[] = {
    {"TLDE", VK_OEM_3, 0x29},     {"AE01", '1', 0x02},           {"AE02", '2', 0x03},
    {"AE03", '3', 0x04},          {"AE04", '4', 0x05},           {"AE05", '5', 0x06},
    {"AE06", '6', 0x07},          {"AE07", '7', 0x08},           {"AE08", '8', 0x09},
    {"AE09", '9', 0x0A},          {"AE10", '0', 0x0B},           {"AE11", VK_OEM_MINUS, 0x0C},
    {"AE12", VK_OEM_PLUS, 0x0D},  {"AD01", 'Q', 0x10},           {"AD02", 'W', 0x11},
    {"AD03", 'E', 0x12},          {"AD04", 'R', 0x13},           {"AD05", 'T', 0x14},
    {"AD06", 'Y', 0x15},          {"AD07", 'U', 0x16},           {"AD08", 'I', 0x17},
    {"AD09", 'O', 0x18},          {"AD10", 'P', 0x19},           {"AD11", VK_OEM_4, 0x1A},
    {"AD12", VK_OEM_6, 0x1B},     {"AC01", 'A', 0x1E},           {"AC02", 'S', 0x1F},
    {"AC03", 'D', 0x20},          {"AC04", 'F', 0x21},           {"AC05", 'G', 0x22},
    {"AC06", 'H', 0x23},          {"AC07", 'J', 0x24},           {"AC08", 'K', 0x25},
    {"AC09", 'L', 0x26},          {"AC10", VK_OEM_1, 0x27},      {"AC11", VK_OEM_7, 0x28},
    {"BKSL", VK_OEM_5, 0x2B},     {"AC12", VK_OEM_5, 0x2B},      {"AB01", 'Z', 0x2C},
    {"AB02", 'X', 0x2D},          {"AB03", 'C', 0x2E},           {"AB04", 'V', 0x2F},
    {"AB05", 'B', 0x30},          {"AB06", 'N', 0x31},           {"AB07", 'M', 0x32},
    {"AB08", VK_OEM_COMMA, 0x33}, {"AB09", VK_OEM_PERIOD, 0x34}, {"AB10", VK_OEM_2, 0x35},
    {"LSGT", VK_OEM_102, 0x56},
};

const Place *PlaceOf(const char *name) {
    for (const Place &p : kPlaces) {
        if (std::strncmp(p.name, name, 4) == 0) return &p;
    }
    return nullptr;
}

bool IsLatinLetterOrDigit(unsigned long keysym) {
    return (keysym >= XK_a && keysym <= XK_z) || (keysym >= XK_A && keysym <= XK_Z) ||
           (keysym >= XK_0 && keysym <= XK_9);
}

bool IsOem(UINT vk) {
    return (vk >= VK_OEM_1 && vk <= VK_OEM_3) || (vk >= VK_OEM_4 && vk <= VK_OEM_7) || vk == VK_OEM_102;
}

// Windows-1252 codes 0x80..0x9F and the keysyms that type them.
struct Cp1252Extra {
    unsigned long keysym;
    unsigned unicode;
    unsigned char code;
};
constexpr Cp1252Extra kCp1252[] = {
    {XK_EuroSign, 0x20AC, 0x80},
    {XK_singlelowquotemark, 0x201A, 0x82},
    {XK_function, 0x0192, 0x83},
    {XK_doublelowquotemark, 0x201E, 0x84},
    {XK_ellipsis, 0x2026, 0x85},
    {XK_dagger, 0x2020, 0x86},
    {XK_doubledagger, 0x2021, 0x87},
    {0, 0x02C6, 0x88},
    {XK_permille, 0x2030, 0x89},
    {XK_Scaron, 0x0160, 0x8A},
    {0, 0x2039, 0x8B},
    {XK_OE, 0x0152, 0x8C},
    {XK_Zcaron, 0x017D, 0x8E},
    {XK_leftsinglequotemark, 0x2018, 0x91},
    {XK_rightsinglequotemark, 0x2019, 0x92},
    {XK_leftdoublequotemark, 0x201C, 0x93},
    {XK_rightdoublequotemark, 0x201D, 0x94},
    {XK_enfilledcircbullet, 0x2022, 0x95},
    {XK_endash, 0x2013, 0x96},
    {XK_emdash, 0x2014, 0x97},
    {0, 0x02DC, 0x98},
    {XK_trademark, 0x2122, 0x99},
    {XK_scaron, 0x0161, 0x9A},
    {0, 0x203A, 0x9B},
    {XK_oe, 0x0153, 0x9C},
    {XK_zcaron, 0x017E, 0x9E},
    {XK_Ydiaeresis, 0x0178, 0x9F},
};

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

bool TranslateKeyCode(const KeyCodeSyms &key, unsigned long sym, KeyInfo *out) {
    const Place *place = PlaceOf(key.name);
    auto atPlace = [&](UINT vk) {
        *out = {vk, place ? place->scan : out->scanCode, false};
        return true;
    };
    KeyInfo k;
    if (IsLatinLetterOrDigit(sym) && TranslateKeysym(sym, &k)) {
        *out = k;
        return atPlace(k.vk);
    }
    bool known = TranslateKeysym(sym, &k);
    if (known && !IsOem(k.vk)) {
        *out = k;
        return true;
    }
    for (int g = 0; g < key.groups && g < 4; ++g) {
        for (unsigned long other : key.syms[g]) {
            KeyInfo latin;
            if (IsLatinLetterOrDigit(other) && TranslateKeysym(other, &latin)) {
                *out = latin;
                return atPlace(latin.vk);
            }
        }
    }
    if (known) {
        *out = k;
        return atPlace(k.vk);
    }
    if (place) return atPlace(place->vk);
    return false;
}

int KeysymToWindows1252(unsigned long keysym) {
    unsigned long unicode = 0;
    if ((keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF))
        return static_cast<int>(keysym);
    if (keysym >= 0x1000000 && keysym <= 0x110FFFF) unicode = keysym - 0x1000000;
    if ((unicode >= 0x20 && unicode <= 0x7E) || (unicode >= 0xA0 && unicode <= 0xFF))
        return static_cast<int>(unicode);
    for (const Cp1252Extra &e : kCp1252) {
        if ((e.keysym && e.keysym == keysym) || (unicode && e.unicode == unicode)) return e.code;
    }
    return -1;
}

}  // namespace x11
