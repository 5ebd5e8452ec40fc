// Painting (paint.cpp): update regions, the next window to paint and
// presenting a top-level's surface.
#pragma once

#include <windows.h>

#include "platform/user/wm.h"

namespace win32::wm {

// Adds to a window's update region (client coordinates).
void InvalidateClient(Window &w, const gdi::Region &r, bool erase);
// The whole window and its children, and its frame too when `frame`.
void InvalidateTree(HWND h, bool erase, bool frame);
bool PaintPending(const Window &w);
// The first window of `filter`'s tree (any when null) with something to
// paint, parents before children.
HWND NextWindowToPaint(HWND filter);
// Shows part of a top-level's surface (surface coordinates) on the screen.
void PresentSurfaceRect(Window &top, RECT surfaceRect);
HBRUSH ClassBrush(const Window &w);

}  // namespace win32::wm
