// The non-client vertical scroll bar of WS_VSCROLL windows.
//
// The window manager reserves the bar's width on the right of the window
// rectangle, paints it through PaintVScrollBar and hands it mouse input that
// lands on it. The controls part implements the bar itself (together with
// SetScrollInfo, GetScrollInfo and ShowScrollBar) and reports changes of its
// visibility through NonClientChanged.
#pragma once

#include <windows.h>

namespace win32 {

// Width the bar takes now: SM_CXVSCROLL while it is shown, else 0.
int VScrollBarWidth(HWND hwnd);

// Paints the bar. `windowDC` has its origin at the window's top-left corner;
// `bar` is the bar's rectangle in window coordinates.
void PaintVScrollBar(HWND hwnd, HDC windowDC, const RECT &bar);

// Mouse input on the bar (WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_MOUSEMOVE,
// WM_LBUTTONUP), `pt` in window coordinates. Returns true while the bar
// tracks the mouse (after a press, until the release): the window manager
// then sends it every mouse message until it returns false.
bool VScrollBarMouse(HWND hwnd, UINT msg, POINT pt);

// Implemented by the window manager: the bar was shown or hidden, so the
// client rectangle changes (WM_SIZE when its size changes) and the window
// is repainted; or only its look changed (repaint the bar).
void NonClientChanged(HWND hwnd);

// Implemented by the controls part: registers the system classes ("listbox",
// "BUTTON") with RegisterClassA and a null instance. The window manager
// calls it once, before it first looks up a class.
void RegisterSystemClasses();

}  // namespace win32
