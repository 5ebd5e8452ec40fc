// Keysyms to Win32 virtual keys and characters, for every back-end whose
// window system names keys by keysym (X11, and xkbcommon under Wayland,
// which share the numbers).
#pragma once

#include <windows.h>

#include <string>

#include "platform/display/backend.h"

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

// One key's events as the seam takes them, into `out`: for a press KeyDown
// (when the key has a virtual key, `key` not null) then Char (when it typed
// `ch`, -1 for none); for a release KeyUp. Each carries the key's codes,
// whether it repeats, its time and the modifiers held. Returns how many.
inline int KeyEvents(NativeId window, bool press, const KeyInfo *key, int ch, bool repeat, DWORD time,
                     int modifiers, Event out[2]) {
    auto event = [&](Event::Type type) {
        Event e;
        e.type = type;
        e.window = window;
        if (key) {
            e.vk = key->vk;
            e.scanCode = key->scanCode;
            e.extended = key->extended;
        }
        e.repeat = press && repeat;
        e.time = time;
        e.modifiers = modifiers;
        return e;
    };
    int n = 0;
    if (key) out[n++] = event(press ? Event::KeyDown : Event::KeyUp);
    if (press && ch >= 0) {
        out[n] = event(Event::Char);
        out[n++].ch = static_cast<char>(ch);
    }
    return n;
}

}  // namespace win32::display
