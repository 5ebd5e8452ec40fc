// Virtual keys to X keysyms and keycodes, for the registry.
#include "platform/a11y/keysym.h"

#include <cctype>
#include <utility>

#include "platform/common/scancode.h"
#include "platform/display/backend.h"

namespace win32::a11y {

namespace {

struct Named {
    UINT vk;
    bool extended;  // which of the two keys a virtual key names (keypad: not extended)
    int32_t keysym;
    const char *name;
};

// Keys that are not their character. Where a virtual key names two keys,
// the extended flag tells the navigation block from the keypad.
constexpr Named kNamed[] = {
    {VK_BACK, false, 0xff08, "BackSpace"},
    {VK_TAB, false, 0xff09, "Tab"},
    {VK_RETURN, false, 0xff0d, "Return"},
    {VK_RETURN, true, 0xff8d, "KP_Enter"},
    {VK_ESCAPE, false, 0xff1b, "Escape"},
    {VK_SPACE, false, 0x20, "space"},
    {VK_PAUSE, false, 0xff13, "Pause"},
    {VK_SCROLL, false, 0xff14, "Scroll_Lock"},
    {VK_SNAPSHOT, true, 0xff61, "Print"},
    {VK_APPS, true, 0xff67, "Menu"},
    {VK_NUMLOCK, true, 0xff7f, "Num_Lock"},
    {VK_CAPITAL, false, 0xffe5, "Caps_Lock"},
    {VK_LWIN, true, 0xffeb, "Super_L"},
    {VK_RWIN, true, 0xffec, "Super_R"},
    {VK_CONTROL, false, 0xffe3, "Control_L"},
    {VK_CONTROL, true, 0xffe4, "Control_R"},
    {VK_MENU, false, 0xffe9, "Alt_L"},
    {VK_MENU, true, 0xffea, "Alt_R"},
    {VK_HOME, true, 0xff50, "Home"},
    {VK_HOME, false, 0xff95, "KP_Home"},
    {VK_LEFT, true, 0xff51, "Left"},
    {VK_LEFT, false, 0xff96, "KP_Left"},
    {VK_UP, true, 0xff52, "Up"},
    {VK_UP, false, 0xff97, "KP_Up"},
    {VK_RIGHT, true, 0xff53, "Right"},
    {VK_RIGHT, false, 0xff98, "KP_Right"},
    {VK_DOWN, true, 0xff54, "Down"},
    {VK_DOWN, false, 0xff99, "KP_Down"},
    {VK_PRIOR, true, 0xff55, "Page_Up"},
    {VK_PRIOR, false, 0xff9a, "KP_Page_Up"},
    {VK_NEXT, true, 0xff56, "Page_Down"},
    {VK_NEXT, false, 0xff9b, "KP_Page_Down"},
    {VK_END, true, 0xff57, "End"},
    {VK_END, false, 0xff9c, "KP_End"},
    {VK_CLEAR, false, 0xff9d, "KP_Begin"},
    {VK_INSERT, true, 0xff63, "Insert"},
    {VK_INSERT, false, 0xff9e, "KP_Insert"},
    {VK_DELETE, true, 0xffff, "Delete"},
    {VK_DELETE, false, 0xff9f, "KP_Delete"},
    {VK_MULTIPLY, false, 0xffaa, "KP_Multiply"},
    {VK_ADD, false, 0xffab, "KP_Add"},
    {VK_SUBTRACT, false, 0xffad, "KP_Subtract"},
    {VK_DECIMAL, false, 0xffae, "KP_Decimal"},
    {VK_DIVIDE, true, 0xffaf, "KP_Divide"},
};

const char *const kFunctionKeys[] = {"F1",  "F2",  "F3",  "F4",  "F5",  "F6",  "F7",  "F8",
                                     "F9",  "F10", "F11", "F12", "F13", "F14", "F15", "F16",
                                     "F17", "F18", "F19", "F20", "F21", "F22", "F23", "F24"};
const char *const kKeypadDigits[] = {"KP_0", "KP_1", "KP_2", "KP_3", "KP_4",
                                     "KP_5", "KP_6", "KP_7", "KP_8", "KP_9"};

// X's names of the printable ASCII keysyms that are not letters or digits,
// from 0x20 on.
const char *const kPunctuation[] = {
    "space",      "exclam",    "quotedbl",   "numbersign", "dollar", "percent", "ampersand",
    "apostrophe", "parenleft", "parenright", "asterisk",   "plus",   "comma",   "minus",
    "period",     "slash",     nullptr,      nullptr,      nullptr,  nullptr,   nullptr,
    nullptr,      nullptr,     nullptr,      nullptr,      nullptr,  "colon",   "semicolon",
    "less",       "equal",     "greater",    "question",   "at"};
const char *const kBrackets[] = {"bracketleft", "backslash",  "bracketright",
                                 "asciicircum", "underscore", "grave"};
const char *const kBraces[] = {"braceleft", "bar", "braceright", "asciitilde"};

// The unshifted character of the punctuation keys, US layout.
constexpr std::pair<UINT, char> kOemCharacters[] = {
    {VK_OEM_1, ';'},      {VK_OEM_PLUS, '='}, {VK_OEM_COMMA, ','}, {VK_OEM_MINUS, '-'},
    {VK_OEM_PERIOD, '.'}, {VK_OEM_2, '/'},    {VK_OEM_3, '`'},     {VK_OEM_4, '['},
    {VK_OEM_5, '\\'},     {VK_OEM_6, ']'},    {VK_OEM_7, '\''},    {VK_OEM_102, '<'},
};

int OemCharacter(UINT vk) {
    for (const auto &[key, c] : kOemCharacters)
        if (key == vk) return c;
    return -1;
}

// The name X gives a Latin-1 keysym, for the printable ASCII ones.
std::string AsciiName(int c) {
    if (std::isalnum(c)) return std::string(1, static_cast<char>(c));
    if (c >= 0x20 && c <= 0x40) {
        const char *n = kPunctuation[c - 0x20];
        return n ? n : "";
    }
    if (c >= '[' && c <= '`') return kBrackets[c - '['];
    if (c >= '{' && c <= '~') return kBraces[c - '{'];
    return "";
}

// Linux's keycodes of the extended (E0) set-1 codes: keypad Enter, right
// Control, keypad divide, Print, right Alt, Num Lock, Home, Up, Page Up,
// Left, Right, End, Down, Page Down, Insert, Delete, the Windows keys, Menu.
constexpr std::pair<UINT, int> kExtendedKeycodes[] = {
    {0x1C, 96},  {0x1D, 97},  {0x35, 98},  {0x37, 99},  {0x38, 100}, {0x45, 69},  {0x47, 102},
    {0x48, 103}, {0x49, 104}, {0x4B, 105}, {0x4D, 106}, {0x4F, 107}, {0x50, 108}, {0x51, 109},
    {0x52, 110}, {0x53, 111}, {0x5B, 125}, {0x5C, 126}, {0x5D, 127},
};

int ExtendedKeycode(UINT scan) {
    for (const auto &[code, keycode] : kExtendedKeycodes)
        if (code == scan) return keycode;
    return 0;
}

int Keycode(const KeyStroke &key) {
    bool extended = key.extended, usual = false;
    // The key's side (navigation block or keypad) is the back-end's word.
    const UINT scan = key.scanCode ? key.scanCode : ScanCodeOf(key.vk, &usual);
    if (key.vk == VK_PAUSE) return 119 + 8;  // shares its make code with Num Lock
    if (key.vk == VK_NUMLOCK) extended = true;
    // Below the extended codes, Linux numbers the keys by their make codes.
    const int code =
        extended ? ExtendedKeycode(scan) : (scan > 0 && scan <= 0x58 ? static_cast<int>(scan) : 0);
    return code ? code + 8 : 0;
}

int Modifiers(const KeyStroke &key) {
    int held = key.modifiers;
    if (held < 0) {
        held = 0;
        if (GetAsyncKeyState(VK_SHIFT) & 0x8000) held |= display::kModShift;
        if (GetAsyncKeyState(VK_CONTROL) & 0x8000) held |= display::kModCtrl;
        if (GetAsyncKeyState(VK_MENU) & 0x8000) held |= display::kModAlt;
    }
    int x = 0;
    if (held & display::kModShift) x |= 1;
    if (held & display::kModCtrl) x |= 4;
    if (held & display::kModAlt) x |= 8;
    // Keypad digits come only with Num Lock on (Mod2, and AT-SPI's own bit).
    if ((key.vk >= VK_NUMPAD0 && key.vk <= VK_NUMPAD9) || key.vk == VK_DECIMAL) x |= 0x10 | (1 << 14);
    return x;
}

}  // namespace

KeyReport ReportOf(const KeyStroke &key) {
    KeyReport r;
    r.pressed = key.down;
    r.keycode = static_cast<int16_t>(Keycode(key));
    r.modifiers = static_cast<int16_t>(Modifiers(key));
    r.time = static_cast<int32_t>(key.time);
    const bool shift = (r.modifiers & 1) != 0;
    std::string name;
    const Named *named = nullptr;
    for (const Named &n : kNamed) {
        if (n.vk != key.vk) continue;
        if (!named || n.extended == key.extended) named = &n;
    }
    if (named) {
        r.keysym = named->keysym;
        name = named->name;
    }
    if (key.vk == VK_SHIFT) {
        const bool right = key.scanCode == 0x36;
        r.keysym = right ? 0xffe2 : 0xffe1;
        name = right ? "Shift_R" : "Shift_L";
    } else if (key.vk == VK_TAB && shift) {
        r.keysym = 0xfe20;
        name = "ISO_Left_Tab";
    } else if (key.vk >= VK_F1 && key.vk < VK_F1 + 24) {
        r.keysym = 0xffbe + static_cast<int32_t>(key.vk - VK_F1);
        name = kFunctionKeys[key.vk - VK_F1];
    } else if (key.vk >= VK_NUMPAD0 && key.vk <= VK_NUMPAD9) {
        r.keysym = 0xffb0 + static_cast<int32_t>(key.vk - VK_NUMPAD0);
        name = kKeypadDigits[key.vk - VK_NUMPAD0];
    }
    if (!r.keysym) {
        // A character key: its character, else (Control held) its own.
        int c = key.ch >= 0x20 && key.ch != 0x7F ? key.ch : -1;
        if (c < 0 && key.vk >= 'A' && key.vk <= 'Z')
            c = shift ? static_cast<int>(key.vk) : static_cast<int>(key.vk) + 32;
        if (c < 0 && key.vk >= '0' && key.vk <= '9') c = static_cast<int>(key.vk);
        if (c < 0) c = OemCharacter(key.vk);
        if (c < 0) return r;
        r.keysym = c;
        name = AsciiName(c);
    }
    // As toolkits report it: the character typed when it shows, else the name.
    const int typed = key.ch;
    if (typed > 0x20 && typed != 0x7F)
        r.text = std::string(1, static_cast<char>(typed));
    else
        r.text = name;
    return r;
}

}  // namespace win32::a11y
