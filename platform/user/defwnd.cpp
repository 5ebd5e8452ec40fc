// DefWindowProcA: the default handling of every message.
#include <algorithm>
#include <cstring>

#include "platform/user/nonclient.h"
#include "platform/user/wm_internal.h"

using namespace win32;
using namespace win32::wm;

namespace {

HWND TopLevelHandle(HWND h) {
    Window *t = TopLevelOf(W(h));
    return t ? t->hwnd : h;
}

LRESULT HitTest(Window &w, int sx, int sy) {
    POINT o = WindowOriginScreen(w);
    int x = sx - o.x, y = sy - o.y;
    int wd = w.rect.right - w.rect.left, ht = w.rect.bottom - w.rect.top;
    if (x < 0 || y < 0 || x >= wd || y >= ht) return HTNOWHERE;
    Insets in = NonClientInsets(w);
    if (x >= in.left && y >= in.top && x < wd - in.right && y < ht - in.bottom) return HTCLIENT;
    if (w.style & WS_VSCROLL) {
        int sb = VScrollBarWidth(w.hwnd);
        int border = in.right - sb;
        if (sb > 0 && x >= wd - in.right && x < wd - border && y >= in.top && y < ht - in.bottom)
            return HTVSCROLL;
    }
    if (IsTopLevel(w) && (w.style & WS_CAPTION) == WS_CAPTION) {
        int f = classic::kFrameWidth;
        if (y >= f && y < in.top && x >= f && x < wd - f) return HTCAPTION;
        if (w.style & WS_THICKFRAME) {
            bool l = x < f, r = x >= wd - f, t = y < f, b = y >= ht - f;
            if (t && l) return HTTOPLEFT;
            if (t && r) return HTTOPRIGHT;
            if (b && l) return HTBOTTOMLEFT;
            if (b && r) return HTBOTTOMRIGHT;
            if (l) return HTLEFT;
            if (r) return HTRIGHT;
            if (t) return HTTOP;
            if (b) return HTBOTTOM;
        }
    }
    return HTBORDER;
}

}  // namespace

LRESULT WINAPI DefWindowProcA(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    Window *w = W(h);
    if (!w) return 0;
    State &s = S();
    switch (msg) {
        case WM_NCCREATE: {
            auto *cs = reinterpret_cast<CREATESTRUCTA *>(lp);
            if (cs && cs->lpszName && (reinterpret_cast<uintptr_t>(cs->lpszName) >> 16) != 0)
                w->text = cs->lpszName;
            return TRUE;
        }
        case WM_NCCALCSIZE:
            if (lp) {
                auto *r = reinterpret_cast<RECT *>(lp);
                Insets in = NonClientInsets(*w);
                r->left += in.left;
                r->top += in.top;
                r->right -= in.right;
                r->bottom -= in.bottom;
            }
            return 0;
        case WM_CLOSE:
            DestroyWindow(h);
            return 0;
        case WM_SYSCOMMAND:
            switch (wp & 0xFFF0) {
                case SC_CLOSE:
                    SendMessageA(h, WM_CLOSE, 0, 0);
                    return 0;
                case SC_MOVE: {
                    Send(h, WM_ENTERSIZEMOVE, 0, 0);
                    // The move follows the pointer from where it is now, as on
                    // Windows; the point in lParam (often a made-up one, such as
                    // a fixed spot inside a captionless box) is not a start point.
                    StartMoveDrag(h, s.cursor);
                    if (!s.moving && W(h)) Send(h, WM_EXITSIZEMOVE, 0, 0);
                    return 0;
                }
                case SC_MINIMIZE:
                    ShowWindow(h, SW_MINIMIZE);
                    return 0;
                case SC_RESTORE:
                    ShowWindow(h, SW_RESTORE);
                    return 0;
                case SC_KEYMENU:
                    if (lp) MessageBeep(0);
                    return 0;
                default:
                    return 0;
            }
        case WM_SYSKEYDOWN:
            if (wp == VK_F4 && (lp & (1L << 29))) {
                PostMessageA(TopLevelHandle(h), WM_SYSCOMMAND, SC_CLOSE, 0);
            }
            return 0;
        case WM_SYSCHAR:
            if (wp != VK_RETURN && wp != VK_ESCAPE)
                SendMessageA(TopLevelHandle(h), WM_SYSCOMMAND, SC_KEYMENU, static_cast<LPARAM>(wp));
            return 0;
        case WM_NCHITTEST:
            return HitTest(*w, static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
        case WM_NCLBUTTONDOWN:
            switch (wp) {
                case HTCAPTION:
                    if (Window *t = TopLevelOf(w); t && s.active != t->hwnd)
                        Activate(t->hwnd, WA_CLICKACTIVE, false);
                    SendMessageA(TopLevelHandle(h), WM_SYSCOMMAND, SC_MOVE | HTCAPTION, lp);
                    return 0;
                case HTVSCROLL:
                case HTCLOSE:
                    break;
                default:
                    return 0;
            }
            [[fallthrough]];
        case WM_NCLBUTTONDBLCLK:
            if (wp == HTVSCROLL) {
                POINT o = WindowOriginScreen(*w);
                POINT p{static_cast<short>(LOWORD(lp)) - o.x, static_cast<short>(HIWORD(lp)) - o.y};
                UINT m = msg == WM_NCLBUTTONDBLCLK ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
                if (VScrollBarMouse(h, m, p)) s.scrollTracking = h;
            }
            return 0;
        case WM_MOUSEACTIVATE: {
            Window *p = IsTopLevel(*w) ? nullptr : W(w->parent);
            if (p) {
                LRESULT r = SendMessageA(p->hwnd, WM_MOUSEACTIVATE, wp, lp);
                if (r) return r;
            }
            return MA_ACTIVATE;
        }
        case WM_SETCURSOR: {
            Window *p = IsTopLevel(*w) ? nullptr : W(w->parent);
            if (p && SendMessageA(p->hwnd, WM_SETCURSOR, wp, lp)) return TRUE;
            if (static_cast<short>(LOWORD(lp)) == HTERROR) {
                WORD m = HIWORD(lp);
                if (m == WM_LBUTTONDOWN || m == WM_RBUTTONDOWN || m == WM_MBUTTONDOWN) MessageBeep(0);
            }
            return FALSE;
        }
        case WM_ACTIVATE:
            if (LOWORD(wp) != WA_INACTIVE && !w->minimized) SetFocus(h);
            return 0;
        case WM_MOUSEWHEEL:
            if (!IsTopLevel(*w)) return SendMessageA(w->parent, msg, wp, lp);
            return 0;
        case WM_ERASEBKGND: {
            HBRUSH b = ClassBrush(*w);
            if (!b) return 0;
            RECT cr;
            GetClientRect(h, &cr);
            FillRect(reinterpret_cast<HDC>(wp), &cr, b);
            return 1;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            if (BeginPaint(h, &ps)) EndPaint(h, &ps);
            return 0;
        }
        case WM_NCPAINT:
            DrawNonClient(h);
            return 0;
        case WM_NCACTIVATE:
            return TRUE;
        case WM_WINDOWPOSCHANGED: {
            auto *pos = reinterpret_cast<WINDOWPOS *>(lp);
            if (!pos) return 0;
            bool first = w->needSizeMove && (w->style & WS_VISIBLE);
            bool size = !(pos->flags & SWP_NOSIZE) || first;
            bool move = !(pos->flags & SWP_NOMOVE) || first;
            if (size || move) w->needSizeMove = false;
            if (size) {
                RECT cr = ClientRectInParent(*w);
                w->lastSize = {cr.right - cr.left, cr.bottom - cr.top};
                Send(
                    h, WM_SIZE, w->minimized ? SIZE_MINIMIZED : SIZE_RESTORED,
                    MAKELPARAM(static_cast<WORD>(cr.right - cr.left), static_cast<WORD>(cr.bottom - cr.top)));
            }
            if (move && (w = W(h))) {
                RECT cr = ClientRectInParent(*w);
                Send(h, WM_MOVE, 0, MAKELPARAM(static_cast<WORD>(cr.left), static_cast<WORD>(cr.top)));
            }
            return 0;
        }
        case WM_SETTEXT: {
            auto *t = reinterpret_cast<const char *>(lp);
            w->text = t ? t : "";
            if (IsTopLevel(*w) && w->native) display::Current().SetTitle(w->native, w->text.c_str());
            return TRUE;
        }
        case WM_GETTEXT: {
            if (wp == 0 || !lp) return 0;
            auto *buf = reinterpret_cast<char *>(lp);
            size_t n = std::min(w->text.size(), static_cast<size_t>(wp) - 1);
            std::memcpy(buf, w->text.data(), n);
            buf[n] = '\0';
            return static_cast<LRESULT>(n);
        }
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(w->text.size());
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
            SetTextColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOWTEXT));
            SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
            SetTextColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOWTEXT));
            SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        case WM_CTLCOLORSCROLLBAR:
            SetTextColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOWTEXT));
            SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_SCROLLBAR));
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
            return -1;
        case WM_DRAWITEM:
        case WM_MEASUREITEM:
            return 0;
        default:
            return 0;
    }
}
