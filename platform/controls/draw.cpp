#include "platform/controls/draw.h"

namespace win32::controls {

void FillSys(HDC dc, const RECT &rc, int colorIndex) {
    FillRect(dc, &rc, GetSysColorBrush(colorIndex));
}

void Frame3D(HDC dc, const RECT &rc, int topLeft, int bottomRight) {
    if (rc.right <= rc.left || rc.bottom <= rc.top) return;
    RECT r;
    SetRect(&r, rc.left, rc.top, rc.right - 1, rc.top + 1);
    FillSys(dc, r, topLeft);
    SetRect(&r, rc.left, rc.top, rc.left + 1, rc.bottom - 1);
    FillSys(dc, r, topLeft);
    SetRect(&r, rc.left, rc.bottom - 1, rc.right, rc.bottom);
    FillSys(dc, r, bottomRight);
    SetRect(&r, rc.right - 1, rc.top, rc.right, rc.bottom);
    FillSys(dc, r, bottomRight);
}

void RaisedEdge(HDC dc, const RECT &rc, bool soft) {
    Frame3D(dc, rc, soft ? COLOR_BTNHIGHLIGHT : COLOR_3DLIGHT, COLOR_3DDKSHADOW);
    RECT inner = rc;
    InflateRect(&inner, -1, -1);
    Frame3D(dc, inner, soft ? COLOR_3DLIGHT : COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW);
}

}  // namespace win32::controls
