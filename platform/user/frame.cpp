// The window manager's side of the default window procedure: what a window
// is made of (frame, caption, scroll bar, client area), its text, and the
// size, move and caption-drag steps DefWindowProcA asks for by name.
#include <cstring>

#include "platform/user/frame.h"

#include "platform/common/classic.h"
#include "platform/common/nonclient.h"
#include "platform/user/input.h"
#include "platform/user/paint.h"
#include "platform/user/wm.h"

namespace win32::wm {

namespace {

LRESULT FrameHitTest(const Window &w, int x, int y, int wd, int ht) {
    int f = classic::kFrameWidth;
    Insets in = NonClientInsets(w);
    if (y >= f && y < in.top && x >= f && x < wd - f) return HTCAPTION;
    if (!(w.style & WS_THICKFRAME)) return HTBORDER;
    bool l = x < f, r = x >= wd - f, t = y < f, b = y >= ht - f;
    if (t && l) return HTTOPLEFT;
    if (t && r) return HTTOPRIGHT;
    if (b && l) return HTBOTTOMLEFT;
    if (b && r) return HTBOTTOMRIGHT;
    if (l) return HTLEFT;
    if (r) return HTRIGHT;
    if (t) return HTTOP;
    if (b) return HTBOTTOM;
    return HTBORDER;
}

}  // namespace

LRESULT NonClientHitTest(HWND h, POINT screen) {
    Window *w = WindowOf(h);
    if (!w) return HTNOWHERE;
    POINT o = WindowOriginScreen(*w);
    int x = screen.x - o.x, y = screen.y - o.y;
    int wd = w->rect.right - w->rect.left, ht = w->rect.bottom - w->rect.top;
    if (x < 0 || y < 0 || x >= wd || y >= ht) return HTNOWHERE;
    Insets in = NonClientInsets(*w);
    if (x >= in.left && y >= in.top && x < wd - in.right && y < ht - in.bottom) return HTCLIENT;
    if (w->style & WS_VSCROLL) {
        int sb = VScrollBarWidth(w->hwnd);
        int border = in.right - sb;
        if (sb > 0 && x >= wd - in.right && x < wd - border && y >= in.top && y < ht - in.bottom)
            return HTVSCROLL;
    }
    if (IsTopLevel(*w) && (w->style & WS_CAPTION) == WS_CAPTION) return FrameHitTest(*w, x, y, wd, ht);
    return HTBORDER;
}

void WindowToClient(HWND h, RECT *r) {
    Window *w = WindowOf(h);
    if (!w) return;
    Insets in = NonClientInsets(*w);
    r->left += in.left;
    r->top += in.top;
    r->right -= in.right;
    r->bottom -= in.bottom;
}

std::string *WindowText(HWND h) {
    Window *w = WindowOf(h);
    return w ? &w->text : nullptr;
}

void MoveByCaption(HWND h) {
    Send(h, WM_ENTERSIZEMOVE, 0, 0);
    // The move follows the pointer from where it is now, as on Windows; the
    // point in lParam (often a made-up one, such as a fixed spot inside a
    // captionless box) is not a start point.
    StartMoveDrag(h, CursorPos());
    if (!MovingWindow() && WindowOf(h)) Send(h, WM_EXITSIZEMOVE, 0, 0);
}

bool ScrollBarClick(HWND h, UINT msg, POINT screen) {
    Window *w = WindowOf(h);
    if (!w) return false;
    POINT o = WindowOriginScreen(*w);
    POINT p{screen.x - o.x, screen.y - o.y};
    if (!VScrollBarMouse(h, msg, p)) return false;
    TrackScrollBar(h);
    return true;
}

void ReportSizeAndMove(HWND h, const WINDOWPOS &pos) {
    Window *w = WindowOf(h);
    if (!w) return;
    bool first = w->needSizeMove && (w->style & WS_VISIBLE);
    bool size = !(pos.flags & SWP_NOSIZE) || first;
    bool move = !(pos.flags & SWP_NOMOVE) || first;
    if (size || move) w->needSizeMove = false;
    if (size) {
        RECT cr = ClientRectInParent(*w);
        w->lastSize = {cr.right - cr.left, cr.bottom - cr.top};
        Send(h, WM_SIZE, w->minimized ? SIZE_MINIMIZED : SIZE_RESTORED,
             MAKELPARAM(static_cast<WORD>(cr.right - cr.left), static_cast<WORD>(cr.bottom - cr.top)));
    }
    if (move && (w = WindowOf(h))) {
        RECT cr = ClientRectInParent(*w);
        Send(h, WM_MOVE, 0, MAKELPARAM(static_cast<WORD>(cr.left), static_cast<WORD>(cr.top)));
    }
}

bool IsMinimized(HWND h) {
    Window *w = WindowOf(h);
    return w && w->minimized;
}

HBRUSH ClassBrush(HWND h) {
    Window *w = WindowOf(h);
    return w ? ClassBrush(*w) : nullptr;
}

void TitleChanged(HWND h) {
    Window *w = WindowOf(h);
    if (w && IsTopLevel(*w) && w->native) display::Current().SetTitle(w->native, w->text.c_str());
}

}  // namespace win32::wm
