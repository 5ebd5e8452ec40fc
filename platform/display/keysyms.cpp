// Keysyms to Win32 virtual keys and Windows-1252 characters; the scan
// codes are those of the keys the virtual keys name (common/scancode.cpp).
#include "platform/display/keysyms.h"

// The typographic keysyms are outside the default sets.
#define XK_PUBLISHING
#define XK_TECHNICAL
#include <X11/keysym.h>

#include <cstring>

#include "platform/common/scancode.h"

namespace win32::display {
namespace {

struct Entry {
    unsigned long keysym;
    UINT vk;
    bool extended;
    UINT side = 0;  // the side-specific key of a modifier, for its scan code
};

// Keys whose virtual key is not simply their character.
constexpr Entry kKeys[] = {
    {XK_BackSpace, VK_BACK, false},
    {XK_Tab, VK_TAB, false},
    {XK_ISO_Left_Tab, VK_TAB, false},
    {XK_Return, VK_RETURN, false},
    {XK_Pause, VK_PAUSE, false},
    {XK_Scroll_Lock, VK_SCROLL, false},
    {XK_Escape, VK_ESCAPE, false},
    {XK_Home, VK_HOME, true},
    {XK_Left, VK_LEFT, true},
    {XK_Up, VK_UP, true},
    {XK_Right, VK_RIGHT, true},
    {XK_Down, VK_DOWN, true},
    {XK_Page_Up, VK_PRIOR, true},
    {XK_Page_Down, VK_NEXT, true},
    {XK_End, VK_END, true},
    {XK_Insert, VK_INSERT, true},
    {XK_Delete, VK_DELETE, true},
    {XK_Print, VK_SNAPSHOT, true},
    {XK_Menu, VK_APPS, true},
    {XK_Num_Lock, VK_NUMLOCK, true},
    {XK_Caps_Lock, VK_CAPITAL, false},
    {XK_space, VK_SPACE, false},
    // Modifiers: Win32 reports the generic key; the right-hand ones are extended.
    {XK_Shift_L, VK_SHIFT, false, VK_LSHIFT},
    {XK_Shift_R, VK_SHIFT, false, VK_RSHIFT},
    {XK_Control_L, VK_CONTROL, false, VK_LCONTROL},
    {XK_Control_R, VK_CONTROL, true, VK_RCONTROL},
    {XK_Alt_L, VK_MENU, false, VK_LMENU},
    {XK_Meta_L, VK_MENU, false, VK_LMENU},
    {XK_Alt_R, VK_MENU, true, VK_RMENU},
    {XK_Meta_R, VK_MENU, true, VK_RMENU},
    {XK_ISO_Level3_Shift, VK_MENU, true, VK_RMENU},
    {XK_Super_L, VK_LWIN, true},
    {XK_Super_R, VK_RWIN, true},
    // The keypad. With Num Lock off its keys report the navigation keysyms,
    // which Win32 gives as the navigation keys without the extended flag.
    {XK_KP_Enter, VK_RETURN, true},
    {XK_KP_Divide, VK_DIVIDE, true},
    {XK_KP_Multiply, VK_MULTIPLY, false},
    {XK_KP_Subtract, VK_SUBTRACT, false},
    {XK_KP_Add, VK_ADD, false},
    {XK_KP_Decimal, VK_DECIMAL, false},
    {XK_KP_Separator, VK_DECIMAL, false},
    {XK_KP_Delete, VK_DELETE, false},
    {XK_KP_Insert, VK_INSERT, false},
    {XK_KP_End, VK_END, false},
    {XK_KP_Down, VK_DOWN, false},
    {XK_KP_Page_Down, VK_NEXT, false},
    {XK_KP_Left, VK_LEFT, false},
    {XK_KP_Begin, VK_CLEAR, false},
    {XK_KP_Right, VK_RIGHT, false},
    {XK_KP_Home, VK_HOME, false},
    {XK_KP_Up, VK_UP, false},
    {XK_KP_Page_Up, VK_PRIOR, false},
    {XK_KP_0, VK_NUMPAD0, false},
    {XK_KP_1, VK_NUMPAD1, false},
    {XK_KP_2, VK_NUMPAD2, false},
    {XK_KP_3, VK_NUMPAD3, false},
    {XK_KP_4, VK_NUMPAD4, false},
    {XK_KP_5, VK_NUMPAD5, false},
    {XK_KP_6, VK_NUMPAD6, false},
    {XK_KP_7, VK_NUMPAD7, false},
    {XK_KP_8, VK_NUMPAD8, false},
    {XK_KP_9, VK_NUMPAD9, false},
    // US layout punctuation.
    {XK_semicolon, VK_OEM_1, false},
    {XK_equal, VK_OEM_PLUS, false},
    {XK_comma, VK_OEM_COMMA, false},
    {XK_minus, VK_OEM_MINUS, false},
    {XK_period, VK_OEM_PERIOD, false},
    {XK_slash, VK_OEM_2, false},
    {XK_grave, VK_OEM_3, false},
    {XK_bracketleft, VK_OEM_4, false},
    {XK_backslash, VK_OEM_5, false},
    {XK_bracketright, VK_OEM_6, false},
    {XK_apostrophe, VK_OEM_7, false},
};

// The character keys of a PC keyboard by XKB name, with what the US layout
// makes of them.
struct Place {
    const char *name;
    UINT vk;
};
constexpr Place kPlaces[] = {
    {"TLDE", VK_OEM_3},    {"AE01", '1'},          {"AE02", '2'},           {"AE03", '3'},
    {"AE04", '4'},         {"AE05", '5'},          {"AE06", '6'},           {"AE07", '7'},
    {"AE08", '8'},         {"AE09", '9'},          {"AE10", '0'},           {"AE11", VK_OEM_MINUS},
    {"AE12", VK_OEM_PLUS}, {"AD01", 'Q'},          {"AD02", 'W'},           {"AD03", 'E'},
    {"AD04", 'R'},         {"AD05", 'T'},          {"AD06", 'Y'},           {"AD07", 'U'},
    {"AD08", 'I'},         {"AD09", 'O'},          {"AD10", 'P'},           {"AD11", VK_OEM_4},
    {"AD12", VK_OEM_6},    {"AC01", 'A'},          {"AC02", 'S'},           {"AC03", 'D'},
    {"AC04", 'F'},         {"AC05", 'G'},          {"AC06", 'H'},           {"AC07", 'J'},
    {"AC08", 'K'},         {"AC09", 'L'},          {"AC10", VK_OEM_1},      {"AC11", VK_OEM_7},
    {"BKSL", VK_OEM_5},    {"AC12", VK_OEM_5},     {"AB01", 'Z'},           {"AB02", 'X'},
    {"AB03", 'C'},         {"AB04", 'V'},          {"AB05", 'B'},           {"AB06", 'N'},
    {"AB07", 'M'},         {"AB08", VK_OEM_COMMA}, {"AB09", VK_OEM_PERIOD}, {"AB10", VK_OEM_2},
    {"LSGT", VK_OEM_102},
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

// The key a virtual key names, with the given extended flag.
KeyInfo KeyOf(UINT vk, bool extended, UINT side = 0) {
    bool unused = false;
    return {vk, win32::ScanCodeOf(side ? side : vk, &unused), extended};
}

}  // namespace

bool TranslateKeysym(unsigned long keysym, KeyInfo *out) {
    if (keysym >= XK_a && keysym <= XK_z) keysym -= XK_a - XK_A;
    if (keysym >= XK_A && keysym <= XK_Z) {
        *out = KeyOf(static_cast<UINT>('A' + (keysym - XK_A)), false);
        return true;
    }
    if (keysym >= XK_0 && keysym <= XK_9) {
        *out = KeyOf(static_cast<UINT>('0' + (keysym - XK_0)), false);
        return true;
    }
    if (keysym >= XK_F1 && keysym <= XK_F12) {
        *out = KeyOf(static_cast<UINT>(VK_F1 + (keysym - XK_F1)), false);
        return true;
    }
    for (const Entry &e : kKeys) {
        if (e.keysym == keysym) {
            *out = KeyOf(e.vk, e.extended, e.side);
            return true;
        }
    }
    return false;
}

bool TranslateKeyCode(const KeyCodeSyms &key, unsigned long sym, KeyInfo *out) {
    const Place *place = PlaceOf(key.name);
    auto atPlace = [&](UINT vk) {
        *out = {vk, place ? KeyOf(place->vk, false).scanCode : out->scanCode, false};
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

std::string Utf8FromWindows1252(const char *text) {
    std::string out;
    auto put = [&out](unsigned u) {
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    };
    for (; *text; ++text) {
        unsigned c = static_cast<unsigned char>(*text);
        unsigned u = c;
        if (c >= 0x80 && c <= 0x9F) {
            u = 0xFFFD;  // the five codes Windows-1252 leaves unassigned
            for (const Cp1252Extra &e : kCp1252) {
                if (e.code == c) u = e.unicode;
            }
        }
        put(u);
    }
    return out;
}

}  // namespace win32::display
