// Sizing, showing and the native windows behind top-levels (geometry.cpp);
// where a window is lies in wm.h.
#pragma once

#include <windows.h>

#include "platform/user/wm.h"

namespace win32::wm {

// Gives the top-level's surface its pixels before it is first drawn or shown.
void EnsureSurfacePixels(Window &top);
// The surface follows the client area's size, keeping what still fits.
void ResizeSurface(Window &top);
// The window system placed a top-level at `windowRect` (screen): the layer
// moves it there without moving the native window again.
void FollowNative(HWND h, const RECT &windowRect);
// Maps the native windows of the top-levels shown since the queue was last
// read.
void MapPendingWindows();

}  // namespace win32::wm
