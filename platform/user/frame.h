// What the default window procedure asks of the window manager by name
// (frame.cpp; drawing the frame in paint.cpp): the frame's parts, the
// window text, a caption drag, the size and move reports.
#pragma once

#include <windows.h>

#include <string>

namespace win32::wm {

LRESULT NonClientHitTest(HWND h, POINT screen);
void WindowToClient(HWND h, RECT *r);  // a window rectangle less the frame, caption and bar
std::string *WindowText(HWND h);       // never null for a live window
void TitleChanged(HWND h);
void MoveByCaption(HWND h);
bool ScrollBarClick(HWND h, UINT msg, POINT screen);
void ReportSizeAndMove(HWND h, const WINDOWPOS &pos);
bool IsMinimized(HWND h);
HBRUSH ClassBrush(HWND h);
void DrawNonClient(HWND h);

}  // namespace win32::wm
