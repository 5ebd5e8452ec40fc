// Private to controls/: the system controls' window procedures and a few
// drawing helpers built on public GDI calls only.
#pragma once

#include <windows.h>

namespace win32::controls {

LRESULT CALLBACK ListBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Fills `rc` with a system colour.
void FillSys(HDC dc, const RECT &rc, int colorIndex);

// The classic raised edge of push buttons and scroll-bar parts, with the
// button face inside it. `soft` selects the push-button variant (white
// outside, light grey inside).
void RaisedEdge(HDC dc, const RECT &rc, bool soft);

// A control keeps its state behind a pointer in its first window extra
// bytes, never in GWLP_USERDATA, which belongs to the program.
template <class T>
T *ControlState(HWND hwnd) {
    return reinterpret_cast<T *>(GetWindowLongPtrA(hwnd, 0));
}

// The state's life: made at WM_NCCREATE, freed at WM_NCDESTROY; a window
// without state (creation failed half-way) gets only the default handling.
// Returns true, with the message's result, when the message is settled here.
template <class T>
bool HandleControlLifetime(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT *result) {
    T *state = ControlState<T>(hwnd);
    if (msg == WM_NCCREATE) {
        if (!state) SetWindowLongPtrA(hwnd, 0, reinterpret_cast<LONG_PTR>(new T));
    } else if (msg == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, 0, 0);
        delete state;
    } else if (state) {
        return false;
    }
    *result = DefWindowProcA(hwnd, msg, wParam, lParam);
    return true;
}

}  // namespace win32::controls
