// Input (input.cpp): back-end events become messages; the pointer, a window
// moved with it and a scroll bar that tracks it.
#pragma once

#include <windows.h>

#include "platform/user/wm.h"

namespace win32::wm {

// Converts the oldest back-end event into messages; false when none waits.
bool ConvertOneRawEvent();
// The clock of messages: the back-end's, or the process's without one.
DWORD Now();
// Where the pointer is on the screen, as the last mouse event told.
POINT CursorPos();
// Moves the window's top-level with the pointer while the left button is
// held: the window system's move when it offers one, else the layer's own.
void StartMoveDrag(HWND h, POINT screen);
// The top-level the layer moves with the pointer; null when none.
HWND MovingWindow();
// The scroll bar that gets the mouse until the button is released.
void TrackScrollBar(HWND h);
// Asks the window system where a top-level is when the back-end cannot
// trust what it last heard, and follows.
void RefreshNativePosition(Window &top);
// A destroyed window is moved, tracked and clicked no more.
void ForgetPointerOf(HWND h);

}  // namespace win32::wm
