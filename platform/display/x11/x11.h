// The X11 display back-end: Xlib for windows and input, XShape for window
// regions. Everything Xlib-specific stays inside this folder.
#pragma once

#include <windows.h>

#include <memory>

#include "platform/display/backend.h"
#include "platform/display/keysyms.h"

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

// The key tables every keysym back-end shares.
using display::IsKeypadKeysym;
using display::KeyCodeSyms;
using display::KeyInfo;
using display::KeysymToWindows1252;
using display::TranslateKeyCode;
using display::TranslateKeysym;

}  // namespace win32::display::x11
