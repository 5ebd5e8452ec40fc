// Focus, activation and capture (focus.cpp). GetFocus, GetActiveWindow and
// GetCapture tell the other files where they are.
#pragma once

#include <windows.h>

namespace win32::wm {

// Makes `h` (null: none) the active top-level; `fromBackend` when the
// window system already did, so it is not asked again.
void Activate(HWND h, WORD how, bool fromBackend);
// Takes the focus or the capture from a tree that goes away.
void ClearFocusIfIn(HWND root);
void ReleaseCaptureIfIn(HWND root);
// A destroyed window holds neither focus, activation nor capture.
void ForgetFocusOf(HWND h);

}  // namespace win32::wm
