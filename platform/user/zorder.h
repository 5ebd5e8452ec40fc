// The z-order of top-level windows and what lies under a point (window.cpp).
#pragma once

#include <windows.h>

#include "platform/user/wm.h"

namespace win32::wm {

// Puts a top-level window on top of the others, its owned windows above it.
void BringToTop(HWND h);
// Whether a shown top-level window covers a screen point (its region too).
bool CoversPoint(const Window &w, POINT pt);
// The deepest visible, enabled window of a top-level's tree at a screen
// point the top-level covers.
HWND DeepestWindowAt(Window &top, POINT pt);

}  // namespace win32::wm
