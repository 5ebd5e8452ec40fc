// A top-level's surface and what lies where on it; sizing, showing and the
// native windows behind top-levels (geometry.cpp). Where a window is on the
// screen lies in wm.h.
#pragma once

#include <windows.h>

#include "platform/user/wm.h"

namespace win32::wm {

// Where the window's (0,0) window/client corner lies on its top-level surface.
POINT WindowOriginOnSurface(const Window &w);
POINT ClientOriginOnSurface(const Window &w);
// Visible area of a window in surface coordinates.
gdi::Region VisibleRegion(const Window &w, bool client, bool clipChildren);
// Gives the top-level's surface its pixels before it is first drawn or shown.
void EnsureSurfacePixels(Window &top);
// The surface follows the client area's size at the window's scale,
// keeping what still fits while the scale stays.
void ResizeSurface(Window &top);
// The window system placed a top-level at `windowRect` (screen): the layer
// moves it there without moving the native window again.
void FollowNative(HWND h, const RECT &windowRect);
// Maps the native windows of the top-levels shown since the queue was last
// read.
void MapPendingWindows();

}  // namespace win32::wm
