// CenterWindow: places a window over the middle of its owner, or of the
// full-screen client area when it has none, never left of or above the
// screen origin.
#include <windows.h>

#include "app/mainwnd.h"

namespace {

int Half(int n) {
    return n / 2;
}

// The smaller of the centred and the largest coordinate, but not below 0.
int Place(int centred, int largest) {
    int v = centred < largest ? centred : largest;
    if (v <= 0) v = 0;
    return v;
}

}  // namespace

void CenterWindow(HWND hwnd) {
    RECT area;
    HWND owner = GetWindow(hwnd, GW_OWNER);
    if (owner != NULL) {
        GetWindowRect(owner, &area);
    } else {
        area.left = 0;
        area.top = 0;
        area.right = GetSystemMetrics(SM_CXFULLSCREEN);
        area.bottom = GetSystemMetrics(SM_CYFULLSCREEN);
    }

    RECT win;
    GetWindowRect(hwnd, &win);

    // One more than the window's width and height; the window takes this size.
    int w = win.right - win.left + 1;
    int h = win.bottom - win.top + 1;

    int y = Place(area.top + Half(area.bottom - area.top + 1) - Half(h), area.bottom - h);
    int x = Place(area.left + Half(area.right - area.left + 1) - Half(w), area.right - w);

    MoveWindow(hwnd, x, y, w, h, FALSE);
}
