// The "BUTTON" system class: push buttons (BS_PUSHBUTTON, BS_DEFPUSHBUTTON)
// in the classic look, and owner-drawn buttons (BS_OWNERDRAW).
//
// The state lives behind a pointer in the window's extra bytes; every path
// finds it from the window handle, so a subclassing procedure that forwards
// through CallWindowProcA sees the same behaviour.
#include "platform/controls/controls_private.h"

namespace win32::controls {
namespace {

struct Button {
    bool pushed = false;
    bool focused = false;
    bool mouseTracking = false;  // captured after a press, until the release
    bool keyPressed = false;     // pushed by the space bar
    HFONT font = nullptr;
};

Button *State(HWND hwnd) {
    return ControlState<Button>(hwnd);
}

DWORD Type(HWND hwnd) {
    return static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)) & BS_TYPEMASK;
}

bool IsOwnerDraw(HWND hwnd) {
    return Type(hwnd) == BS_OWNERDRAW;
}

void Notify(HWND hwnd, int code) {
    HWND parent = GetParent(hwnd);
    if (!parent) return;
    SendMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), code), reinterpret_cast<LPARAM>(hwnd));
}

HBRUSH CtlColor(HWND hwnd, HDC dc) {
    HWND parent = GetParent(hwnd);
    if (!parent) return nullptr;
    return reinterpret_cast<HBRUSH>(
        SendMessageA(parent, WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd)));
}

void SendDrawItem(HWND hwnd, HDC dc, UINT action) {
    Button *b = State(hwnd);
    HWND parent = GetParent(hwnd);
    if (!b || !parent) return;
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_BUTTON;
    dis.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
    dis.itemID = 0;
    dis.itemAction = action;
    if (b->pushed) dis.itemState |= ODS_SELECTED;
    if (b->focused) dis.itemState |= ODS_FOCUS;
    if (!IsWindowEnabled(hwnd)) dis.itemState |= ODS_DISABLED;
    dis.hwndItem = hwnd;
    dis.hDC = dc;
    GetClientRect(hwnd, &dis.rcItem);
    dis.itemData = 0;
    SendMessageA(parent, WM_DRAWITEM, static_cast<WPARAM>(dis.CtlID), reinterpret_cast<LPARAM>(&dis));
}

void DrawLabel(HWND hwnd, HDC dc, const RECT &area, bool enabled) {
    int len = GetWindowTextLengthA(hwnd);
    if (len <= 0) return;
    char stackBuf[256];
    char *text = len < static_cast<int>(sizeof(stackBuf)) ? stackBuf : new char[static_cast<size_t>(len) + 1];
    GetWindowTextA(hwnd, text, len + 1);
    int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF oldColor;
    const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    if (enabled) {
        oldColor = SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        RECT rc = area;
        DrawTextA(dc, text, -1, &rc, format);
    } else {
        // Embossed: a highlight copy one pixel down and right, grey on top.
        oldColor = SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
        RECT rc = area;
        OffsetRect(&rc, 1, 1);
        DrawTextA(dc, text, -1, &rc, format);
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
        rc = area;
        DrawTextA(dc, text, -1, &rc, format);
    }
    SetTextColor(dc, oldColor);
    SetBkMode(dc, oldMode);
    if (text != stackBuf) delete[] text;
}

void PaintPush(HWND hwnd, HDC dc) {
    Button *b = State(hwnd);
    if (!b) return;
    CtlColor(hwnd, dc);  // push buttons ask, but keep their own colours
    if (!(b = State(hwnd))) return;
    RECT rc;
    GetClientRect(hwnd, &rc);
    if (Type(hwnd) == BS_DEFPUSHBUTTON) {
        // The frame fills all of its logical pixels, whatever their device
        // size, so nothing is left between it and the edge inside it.
        FillSys(dc, rc, COLOR_WINDOWFRAME);
        InflateRect(&rc, -1, -1);
    }
    if (b->pushed) {
        // The face under the frame too: on a scaled surface the frame is
        // thinner than its logical pixels.
        FillSys(dc, rc, COLOR_BTNFACE);
        FrameRect(dc, &rc, GetSysColorBrush(COLOR_BTNSHADOW));
    } else {
        RaisedEdge(dc, rc, true);
    }
    HGDIOBJ oldFont = b->font ? SelectObject(dc, b->font) : nullptr;
    RECT label = rc;
    if (b->pushed) OffsetRect(&label, 1, 1);
    DrawLabel(hwnd, dc, label, IsWindowEnabled(hwnd) != FALSE);
    if (oldFont) SelectObject(dc, oldFont);
    if ((b = State(hwnd)) != nullptr && b->focused) {
        RECT focus = rc;
        InflateRect(&focus, -3, -3);
        if (focus.right > focus.left && focus.bottom > focus.top) DrawFocusRect(dc, &focus);
    }
}

// Redraws at once, outside WM_PAINT; `action` is what owner-drawn buttons
// are told.
void Redraw(HWND hwnd, UINT action) {
    if (!IsWindowVisible(hwnd)) return;
    HDC dc = GetDC(hwnd);
    if (!dc) return;
    if (IsOwnerDraw(hwnd))
        SendDrawItem(hwnd, dc, action);
    else
        PaintPush(hwnd, dc);
    ReleaseDC(hwnd, dc);
}

void SetPushed(HWND hwnd, bool pushed) {
    Button *b = State(hwnd);
    if (!b || b->pushed == pushed) return;
    b->pushed = pushed;
    Redraw(hwnd, ODA_SELECT);
    if (GetWindowLongA(hwnd, GWL_STYLE) & BS_NOTIFY) Notify(hwnd, pushed ? BN_HILITE : BN_UNHILITE);
}

void Click(HWND hwnd) {
    if (!IsWindowEnabled(hwnd)) return;
    Notify(hwnd, BN_CLICKED);
}

void Press(HWND hwnd) {
    if (!IsWindowEnabled(hwnd)) return;
    if (GetFocus() != hwnd) SetFocus(hwnd);
    Button *b = State(hwnd);
    if (!b) return;
    b->mouseTracking = true;
    SetCapture(hwnd);
    SetPushed(hwnd, true);
}

void MouseMove(HWND hwnd, LPARAM lParam) {
    Button *b = State(hwnd);
    if (!b || !b->mouseTracking) return;
    RECT rc;
    GetClientRect(hwnd, &rc);
    POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    SetPushed(hwnd, PtInRect(&rc, pt) != FALSE);
}

void Release(HWND hwnd) {
    Button *b = State(hwnd);
    if (!b || !b->mouseTracking) return;
    b->mouseTracking = false;
    bool wasPushed = b->pushed;
    if (GetCapture() == hwnd) ReleaseCapture();
    SetPushed(hwnd, false);
    if (wasPushed && IsWindow(hwnd)) Click(hwnd);
}

void KeyDown(HWND hwnd, WPARAM vk, LPARAM lParam) {
    Button *b = State(hwnd);
    if (!b || vk != VK_SPACE) return;
    if (lParam & (1L << 30)) return;  // auto-repeat
    if (b->mouseTracking || !IsWindowEnabled(hwnd)) return;
    b->keyPressed = true;
    SetPushed(hwnd, true);
}

void KeyUp(HWND hwnd, WPARAM vk) {
    Button *b = State(hwnd);
    if (!b || !b->keyPressed || vk == VK_TAB) return;
    b->keyPressed = false;
    bool click = vk == VK_SPACE && b->pushed;
    SetPushed(hwnd, false);
    if (click && IsWindow(hwnd)) Click(hwnd);
}

// Focus loss, or capture taken away: the press ends without a click.
void Cancel(HWND hwnd) {
    Button *b = State(hwnd);
    if (!b) return;
    b->keyPressed = false;
    if (b->mouseTracking) {
        b->mouseTracking = false;
        if (GetCapture() == hwnd) ReleaseCapture();
    }
    SetPushed(hwnd, false);
}

void FocusChanged(HWND hwnd, bool focused) {
    Button *b = State(hwnd);
    if (!b) return;
    if (!focused) Cancel(hwnd);
    if (!(b = State(hwnd)) || b->focused == focused) return;
    b->focused = focused;
    Redraw(hwnd, ODA_FOCUS);
    if (GetWindowLongA(hwnd, GWL_STYLE) & BS_NOTIFY) Notify(hwnd, focused ? BN_SETFOCUS : BN_KILLFOCUS);
}

LRESULT DialogCode(HWND hwnd) {
    switch (Type(hwnd)) {
        case BS_PUSHBUTTON:
        case BS_OWNERDRAW:
            return DLGC_UNDEFPUSHBUTTON | DLGC_BUTTON;
        case BS_DEFPUSHBUTTON:
            return DLGC_DEFPUSHBUTTON | DLGC_BUTTON;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            return DLGC_RADIOBUTTON | DLGC_BUTTON;
        case BS_GROUPBOX:
            return DLGC_STATIC;
        default:
            return DLGC_WANTCHARS | DLGC_BUTTON;
    }
}

void RepaintIfVisible(HWND hwnd) {
    if (IsWindowVisible(hwnd)) InvalidateRect(hwnd, nullptr, TRUE);
}

// An owner-drawn button's background is what the parent's WM_CTLCOLORBTN
// gives; a pushbutton paints all of itself.
LRESULT OnEraseBkgnd(HWND hwnd, HDC dc) {
    if (IsOwnerDraw(hwnd)) {
        if (HBRUSH brush = CtlColor(hwnd, dc)) {
            RECT rc;
            GetClientRect(hwnd, &rc);
            FillRect(dc, &rc, brush);
        }
    }
    return 1;
}

LRESULT OnPaint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (dc) {
        if (IsOwnerDraw(hwnd))
            SendDrawItem(hwnd, dc, ODA_DRAWENTIRE);
        else
            PaintPush(hwnd, dc);
    }
    EndPaint(hwnd, &ps);
    return 0;
}

// The mouse and the keyboard.
void OnInput(HWND hwnd, const Button *b, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            Press(hwnd);
            break;
        case WM_MOUSEMOVE:
            MouseMove(hwnd, lParam);
            break;
        case WM_LBUTTONUP:
            Release(hwnd);
            break;
        case WM_CAPTURECHANGED:
            if (b->mouseTracking && reinterpret_cast<HWND>(lParam) != hwnd) Cancel(hwnd);
            break;
        case WM_CANCELMODE:
            Cancel(hwnd);
            break;
        case WM_KEYDOWN:
            KeyDown(hwnd, wParam, lParam);
            break;
        case WM_KEYUP:
            KeyUp(hwnd, wParam);
            break;
        default:
            break;
    }
}

// The BM_* messages.
LRESULT OnButtonMessage(HWND hwnd, const Button *b, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case BM_CLICK:
            if (!IsWindowEnabled(hwnd)) return 0;
            SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 0);
            if (IsWindow(hwnd)) SendMessageA(hwnd, WM_LBUTTONUP, 0, 0);
            return 0;
        case BM_GETSTATE:
            return (b->pushed ? BST_PUSHED : 0) | (b->focused ? BST_FOCUS : 0);
        case BM_SETSTATE:
            SetPushed(hwnd, wParam != 0);
            return 0;
        case BM_GETCHECK:
            return BST_UNCHECKED;
        case BM_SETSTYLE: {
            LONG style = GetWindowLongA(hwnd, GWL_STYLE);
            style = (style & ~0xFFFFL) | static_cast<LONG>(wParam & 0xFFFF);
            SetWindowLongA(hwnd, GWL_STYLE, style);
            if (LOWORD(lParam)) RepaintIfVisible(hwnd);
            return 0;
        }
        default:  // BM_SETCHECK: a pushbutton has no check
            return 0;
    }
}

}  // namespace

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT settled;
    if (HandleControlLifetime<Button>(hwnd, msg, wParam, lParam, &settled)) return settled;
    Button *b = State(hwnd);
    switch (msg) {
        case WM_ERASEBKGND:
            return OnEraseBkgnd(hwnd, reinterpret_cast<HDC>(wParam));
        case WM_PAINT:
            return OnPaint(hwnd);
        case WM_SETTEXT: {
            LRESULT r = DefWindowProcA(hwnd, msg, wParam, lParam);
            RepaintIfVisible(hwnd);
            return r;
        }
        case WM_ENABLE:
            RepaintIfVisible(hwnd);
            return 0;
        case WM_SETFONT:
            b->font = reinterpret_cast<HFONT>(wParam);
            if (LOWORD(lParam)) RepaintIfVisible(hwnd);
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(b->font);
        case WM_GETDLGCODE:
            return DialogCode(hwnd);
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            FocusChanged(hwnd, msg == WM_SETFOCUS);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_MOUSEMOVE:
        case WM_LBUTTONUP:
        case WM_CAPTURECHANGED:
        case WM_CANCELMODE:
        case WM_KEYDOWN:
        case WM_KEYUP:
            OnInput(hwnd, b, msg, wParam, lParam);
            return 0;
        case BM_CLICK:
        case BM_GETSTATE:
        case BM_SETSTATE:
        case BM_GETCHECK:
        case BM_SETCHECK:
        case BM_SETSTYLE:
            return OnButtonMessage(hwnd, b, msg, wParam, lParam);
        default:
            return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

}  // namespace win32::controls
