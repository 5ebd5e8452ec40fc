// Keysyms to Win32 virtual keys and characters, for every back-end whose
// window system names keys by keysym (X11, and xkbcommon under Wayland,
// which share the numbers).
#pragma once

#include <windows.h>

#include <string>

namespace win32::display {

// A key as Win32 reports it.
struct KeyInfo {
    UINT vk = 0;
    UINT scanCode = 0;  // PC set-1 make code
    bool extended = false;
};

// Translates a keysym to its Win32 virtual key. `keysym` is the key's
// unshifted keysym, except on the keypad where it is the keysym the current
// Num Lock state gives. False for keys with no virtual key.
bool TranslateKeysym(unsigned long keysym, KeyInfo *out);

// What one keycode of the keyboard in use carries.
struct KeyCodeSyms {
    char name[5] = {};              // its XKB key name: "AB02" is where US has X
    unsigned long syms[4][2] = {};  // levels 1 and 2 of each group
    int groups = 0;
};

// The virtual key of a keycode whose active group gives `sym` (its level 1,
// or on the keypad the keysym of the Num Lock state), for any layout:
//   - a Latin letter or digit is itself;
//   - a key that is not a character (Esc, F1, the keypad) is its own key;
//   - else the first Latin letter or digit the key carries in any group
//     (the X key of a Russian layout is 'X', the "&1" key of French is '1');
//   - else punctuation the active layout maps to a VK_OEM code;
//   - else the key at that place on the US layout (Cyrillic "be" is
//     VK_OEM_COMMA, German "u umlaut" VK_OEM_4).
// The scan code is that of the key's place. False for keys with no virtual key.
bool TranslateKeyCode(const KeyCodeSyms &key, unsigned long sym, KeyInfo *out);

// Whether a keysym is one of the keypad's (the ones Num Lock changes):
// KP_Space to KP_Equal.
inline bool IsKeypadKeysym(unsigned long keysym) {
    return keysym >= 0xFF80 && keysym <= 0xFFBD;
}

// The Windows-1252 character of a keysym; -1 when it has none there.
int KeysymToWindows1252(unsigned long keysym);

// Windows-1252 text (the program's ANSI strings) as UTF-8.
std::string Utf8FromWindows1252(const char *text);

}  // namespace win32::display
