// The X11 display back-end: Xlib for windows and input, XShape for window
// regions. Everything Xlib-specific stays inside this folder.
#pragma once

#include <windows.h>

#include <memory>

#include "platform/display/backend.h"

namespace x11 {

// Opens a back-end on the named display (null: $DISPLAY). Null when the
// display cannot be opened or offers no 24-bit TrueColor visual.
std::unique_ptr<display::Backend> Open(const char *displayName);

// The factory the program's start-up installs: opens $DISPLAY, or writes
// "morvalen: cannot open X display ..." to stderr and exits with code 1.
std::unique_ptr<display::Backend> OpenOrExit();

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

}  // namespace x11
