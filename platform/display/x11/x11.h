// The X11 display back-end: Xlib for windows and input, XShape for window
// regions. Everything Xlib-specific stays inside this folder.
#pragma once

#include <windows.h>

#include <memory>

#include "platform/display/backend.h"

namespace win32::display::x11 {

// Opens a back-end on the named display (null: $DISPLAY). Null when the
// display cannot be opened or offers no 24- or 32-bit TrueColor visual;
// `noTrueColor`, when given, tells which.
std::unique_ptr<display::Backend> Open(const char *displayName, bool *noTrueColor = nullptr);

// The factory the program's start-up installs: opens $DISPLAY, or writes
// "morvalen: cannot open X display ..." (or, for a server without a 24- or
// 32-bit TrueColor visual, that it has none) to stderr and exits with code 1.
// Opening gets a deadline (5 s): past it, "morvalen: the X display ...
// does not answer" and exit code 1.
std::unique_ptr<display::Backend> OpenOrExit();
// Shortens that deadline (tests).
void SetOpenDeadline(int ms);

// Waits until the X server has handled every request `backend` sent so
// far, so another connection sees their effect. No-op for other back-ends.
void Sync(display::Backend &backend);

// A key as Win32 reports it.
struct KeyInfo {
    UINT vk = 0;
    UINT scanCode = 0;  // PC set-1 make code
    bool extended = false;
};

// Translates an X keysym to its Win32 virtual key. `keysym` is the key's
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

// The Windows-1252 character of a keysym; -1 when it has none there.
int KeysymToWindows1252(unsigned long keysym);

}  // namespace win32::display::x11
