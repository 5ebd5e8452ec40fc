// DefWindowProcA: the default handling of every message, one handler per
// message. The handlers use the public calls; what only the window manager
// knows (the frame's parts, the window text, a caption drag) they ask for
// by name (frame.cpp).
#include <algorithm>
#include <cstring>

#include "platform/user/focus.h"
#include "platform/user/frame.h"

using namespace win32;
using namespace win32::wm;

namespace {

using Handler = LRESULT (*)(HWND h, UINT msg, WPARAM wp, LPARAM lp);

HWND TopLevelHandle(HWND h) {
    HWND top = h;
    while (GetWindowLongPtrA(top, GWL_STYLE) & WS_CHILD) top = GetParent(top);
    return top ? top : h;
}

HWND ParentOfChild(HWND h) {
    return (GetWindowLongPtrA(h, GWL_STYLE) & WS_CHILD) ? GetParent(h) : nullptr;
}

POINT PointOf(LPARAM lp) {
    return POINT{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
}

LRESULT OnNcCreate(HWND h, UINT, WPARAM, LPARAM lp) {
    auto *cs = reinterpret_cast<CREATESTRUCTA *>(lp);
    if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) *WindowText(h) = cs->lpszName;
    return TRUE;
}

LRESULT OnNcCalcSize(HWND h, UINT, WPARAM, LPARAM lp) {
    if (lp) WindowToClient(h, reinterpret_cast<RECT *>(lp));
    return 0;
}

LRESULT OnClose(HWND h, UINT, WPARAM, LPARAM) {
    DestroyWindow(h);
    return 0;
}

LRESULT OnSysCommand(HWND h, UINT, WPARAM wp, LPARAM lp) {
    switch (wp & 0xFFF0) {
        case SC_CLOSE:
            SendMessageA(h, WM_CLOSE, 0, 0);
            break;
        case SC_MOVE:
            MoveByCaption(h);
            break;
        case SC_MINIMIZE:
            ShowWindow(h, SW_MINIMIZE);
            break;
        case SC_RESTORE:
            ShowWindow(h, SW_RESTORE);
            break;
        case SC_KEYMENU:
            if (lp) MessageBeep(0);
            break;
        default:
            break;
    }
    return 0;
}

LRESULT OnSysKeyDown(HWND h, UINT, WPARAM wp, LPARAM lp) {
    if (wp == VK_F4 && (lp & (1L << 29))) PostMessageA(TopLevelHandle(h), WM_SYSCOMMAND, SC_CLOSE, 0);
    return 0;
}

LRESULT OnSysChar(HWND h, UINT, WPARAM wp, LPARAM) {
    if (wp != VK_RETURN && wp != VK_ESCAPE)
        SendMessageA(TopLevelHandle(h), WM_SYSCOMMAND, SC_KEYMENU, static_cast<LPARAM>(wp));
    return 0;
}

LRESULT OnNcHitTest(HWND h, UINT, WPARAM, LPARAM lp) {
    return NonClientHitTest(h, PointOf(lp));
}

LRESULT OnNcLButtonDblClk(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (wp == HTVSCROLL)
        ScrollBarClick(h, msg == WM_NCLBUTTONDBLCLK ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, PointOf(lp));
    return 0;
}

LRESULT OnNcLButtonDown(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (wp == HTCAPTION) {
        HWND top = TopLevelHandle(h);
        if (GetActiveWindow() != top) Activate(top, WA_CLICKACTIVE, false);
        SendMessageA(top, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, lp);
        return 0;
    }
    return OnNcLButtonDblClk(h, msg, wp, lp);
}

LRESULT OnMouseActivate(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (HWND p = ParentOfChild(h)) {
        if (LRESULT r = SendMessageA(p, msg, wp, lp)) return r;
    }
    return MA_ACTIVATE;
}

LRESULT OnSetCursor(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    HWND p = ParentOfChild(h);
    if (p && SendMessageA(p, msg, wp, lp)) return TRUE;
    if (static_cast<short>(LOWORD(lp)) == HTERROR) {
        WORD m = HIWORD(lp);
        if (m == WM_LBUTTONDOWN || m == WM_RBUTTONDOWN || m == WM_MBUTTONDOWN) MessageBeep(0);
    }
    return FALSE;
}

LRESULT OnActivate(HWND h, UINT, WPARAM wp, LPARAM) {
    if (LOWORD(wp) != WA_INACTIVE && !IsMinimized(h)) SetFocus(h);
    return 0;
}

LRESULT OnMouseWheel(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    HWND p = ParentOfChild(h);
    return p ? SendMessageA(p, msg, wp, lp) : 0;
}

LRESULT OnEraseBkgnd(HWND h, UINT, WPARAM wp, LPARAM) {
    HBRUSH b = ClassBrush(h);
    if (!b) return 0;
    RECT cr;
    GetClientRect(h, &cr);
    FillRect(reinterpret_cast<HDC>(wp), &cr, b);
    return 1;
}

LRESULT OnPaint(HWND h, UINT, WPARAM, LPARAM) {
    PAINTSTRUCT ps;
    if (BeginPaint(h, &ps)) EndPaint(h, &ps);
    return 0;
}

LRESULT OnNcPaint(HWND h, UINT, WPARAM, LPARAM) {
    DrawNonClient(h);
    return 0;
}

LRESULT OnNcActivate(HWND, UINT, WPARAM, LPARAM) {
    return TRUE;
}

LRESULT OnWindowPosChanged(HWND h, UINT, WPARAM, LPARAM lp) {
    if (auto *pos = reinterpret_cast<WINDOWPOS *>(lp)) ReportSizeAndMove(h, *pos);
    return 0;
}

LRESULT OnSetText(HWND h, UINT, WPARAM, LPARAM lp) {
    auto *t = reinterpret_cast<const char *>(lp);
    *WindowText(h) = t ? t : "";
    TitleChanged(h);
    return TRUE;
}

LRESULT OnGetText(HWND h, UINT, WPARAM wp, LPARAM lp) {
    if (wp == 0 || !lp) return 0;
    const std::string &text = *WindowText(h);
    auto *buf = reinterpret_cast<char *>(lp);
    size_t n = std::min(text.size(), static_cast<size_t>(wp) - 1);
    std::memcpy(buf, text.data(), n);
    buf[n] = '\0';
    return static_cast<LRESULT>(n);
}

LRESULT OnGetTextLength(HWND h, UINT, WPARAM, LPARAM) {
    return static_cast<LRESULT>(WindowText(h)->size());
}

// The colours of a control of each kind: text, background, brush.
LRESULT OnCtlColor(HWND, UINT msg, WPARAM wp, LPARAM) {
    struct Colors {
        UINT msg;
        int background;
        int brush;
    };
    static const Colors kColors[] = {
        {WM_CTLCOLORMSGBOX, COLOR_WINDOW, COLOR_WINDOW},
        {WM_CTLCOLOREDIT, COLOR_WINDOW, COLOR_WINDOW},
        {WM_CTLCOLORLISTBOX, COLOR_WINDOW, COLOR_WINDOW},
        {WM_CTLCOLORBTN, COLOR_BTNFACE, COLOR_BTNFACE},
        {WM_CTLCOLORDLG, COLOR_BTNFACE, COLOR_BTNFACE},
        {WM_CTLCOLORSTATIC, COLOR_BTNFACE, COLOR_BTNFACE},
        {WM_CTLCOLORSCROLLBAR, COLOR_WINDOW, COLOR_SCROLLBAR},
    };
    const Colors *c =
        std::find_if(std::begin(kColors), std::end(kColors), [&](const Colors &k) { return k.msg == msg; });
    SetTextColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(c->background));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(c->brush));
}

LRESULT OnItemKey(HWND, UINT, WPARAM, LPARAM) {
    return -1;
}

struct Entry {
    UINT msg;
    Handler handler;
};

constexpr Entry kHandlers[] = {
    {WM_NCCREATE, OnNcCreate},
    {WM_NCCALCSIZE, OnNcCalcSize},
    {WM_CLOSE, OnClose},
    {WM_SYSCOMMAND, OnSysCommand},
    {WM_SYSKEYDOWN, OnSysKeyDown},
    {WM_SYSCHAR, OnSysChar},
    {WM_NCHITTEST, OnNcHitTest},
    {WM_NCLBUTTONDOWN, OnNcLButtonDown},
    {WM_NCLBUTTONDBLCLK, OnNcLButtonDblClk},
    {WM_MOUSEACTIVATE, OnMouseActivate},
    {WM_SETCURSOR, OnSetCursor},
    {WM_ACTIVATE, OnActivate},
    {WM_MOUSEWHEEL, OnMouseWheel},
    {WM_ERASEBKGND, OnEraseBkgnd},
    {WM_PAINT, OnPaint},
    {WM_NCPAINT, OnNcPaint},
    {WM_NCACTIVATE, OnNcActivate},
    {WM_WINDOWPOSCHANGED, OnWindowPosChanged},
    {WM_SETTEXT, OnSetText},
    {WM_GETTEXT, OnGetText},
    {WM_GETTEXTLENGTH, OnGetTextLength},
    {WM_CTLCOLORMSGBOX, OnCtlColor},
    {WM_CTLCOLOREDIT, OnCtlColor},
    {WM_CTLCOLORLISTBOX, OnCtlColor},
    {WM_CTLCOLORBTN, OnCtlColor},
    {WM_CTLCOLORDLG, OnCtlColor},
    {WM_CTLCOLORSTATIC, OnCtlColor},
    {WM_CTLCOLORSCROLLBAR, OnCtlColor},
    {WM_VKEYTOITEM, OnItemKey},
    {WM_CHARTOITEM, OnItemKey},
};

}  // namespace

LRESULT WINAPI DefWindowProcA(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (!IsWindow(h)) return 0;
    for (const Entry &e : kHandlers) {
        if (e.msg == msg) return e.handler(h, msg, wp, lp);
    }
    return 0;
}
