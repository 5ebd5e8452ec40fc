#include "platform/controls/controls_private.h"

namespace win32::controls {

void FillSys(HDC dc, const RECT &rc, int colorIndex) {
    FillRect(dc, &rc, GetSysColorBrush(colorIndex));
}

void RaisedEdge(HDC dc, const RECT &rc, bool soft) {
    RECT r = rc;
    DrawEdge(dc, &r, EDGE_RAISED, BF_RECT | BF_MIDDLE | (soft ? BF_SOFT : 0));
}

}  // namespace win32::controls
