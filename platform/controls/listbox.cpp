// The "listbox" system class: a single-selection list of fixed-height items,
// drawn by its owner (LBS_OWNERDRAWFIXED, usually with LBS_NODATA) or, for
// plain lists, by the box itself from the strings it keeps.
//
// The state lives behind a pointer in the window's extra bytes, so the
// procedure works the same when the window is subclassed.
#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "platform/common/a11y_hooks.h"
#include "platform/common/classic.h"
#include "platform/controls/controls_private.h"
#include "platform/controls/listbox.h"

namespace win32::controls::listbox {

namespace {

int ClientHeight(HWND hwnd) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    return rc.bottom - rc.top;
}

int MaxTop(HWND hwnd, const ListBox &lb) {
    return std::max(0, lb.count - std::max(VisibleItems(hwnd, lb), 1));
}

bool CanDraw(HWND hwnd) {
    return IsWindowVisible(hwnd) && !(Style(hwnd) & LBS_NOREDRAW);
}

void Notify(HWND hwnd, int code) {
    if (!(Style(hwnd) & LBS_NOTIFY)) return;
    HWND parent = GetParent(hwnd);
    if (!parent) return;
    int id = GetDlgCtrlID(hwnd);
    SendMessageA(parent, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(hwnd));
}

// Asks the parent for the colours and the background brush.
HBRUSH CtlColor(HWND hwnd, HDC dc) {
    HWND parent = GetParent(hwnd);
    HBRUSH brush = nullptr;
    if (parent)
        brush = reinterpret_cast<HBRUSH>(SendMessageA(
            parent, WM_CTLCOLORLISTBOX, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(hwnd)));
    return brush ? brush : GetSysColorBrush(COLOR_WINDOW);
}

UINT ItemState(HWND hwnd, const ListBox &lb, int index) {
    UINT state = 0;
    if (index >= 0 && index == lb.sel) state |= ODS_SELECTED;
    if (lb.focused && index == lb.caret) state |= ODS_FOCUS;
    if (!IsWindowEnabled(hwnd)) state |= ODS_DISABLED;
    return state;
}

void SendDrawItem(HWND hwnd, HDC dc, int index, UINT action, UINT state, const RECT &rc) {
    HWND parent = GetParent(hwnd);
    if (!parent) return;
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_LISTBOX;
    dis.CtlID = static_cast<UINT>(GetDlgCtrlID(hwnd));
    dis.itemID = static_cast<UINT>(index);
    dis.itemAction = action;
    dis.itemState = state;
    dis.hwndItem = hwnd;
    dis.hDC = dc;
    dis.rcItem = rc;
    ListBox *lb = State(hwnd);
    if (lb && index >= 0 && static_cast<size_t>(index) < lb->items.size())
        dis.itemData = lb->items[static_cast<size_t>(index)].data;
    a11y::ItemDrawing scope(hwnd, index, action);
    SendMessageA(parent, WM_DRAWITEM, static_cast<WPARAM>(dis.CtlID), reinterpret_cast<LPARAM>(&dis));
}

bool OwnerDraw(HWND hwnd) {
    return (Style(hwnd) & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) != 0;
}

// A plain item: its string on the background, or in the highlight colours
// when selected; a dotted rectangle around the caret item of a focused box.
void DrawPlain(HWND hwnd, HDC dc, int index, UINT state, const RECT &rc, HBRUSH background) {
    ListBox *lb = State(hwnd);
    if (!lb) return;
    if (index >= 0 && static_cast<size_t>(index) < lb->items.size()) {
        const std::string &text = lb->items[static_cast<size_t>(index)].text;
        bool selected = (state & ODS_SELECTED) != 0;
        FillRect(dc, &rc, selected ? GetSysColorBrush(COLOR_HIGHLIGHT) : background);
        HGDIOBJ oldFont = lb->font ? SelectObject(dc, lb->font) : nullptr;
        int oldMode = SetBkMode(dc, TRANSPARENT);
        COLORREF oldColor = GetTextColor(dc);
        if (selected)
            SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
        else if (state & ODS_DISABLED)
            SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
        ExtTextOutA(dc, rc.left + 2, rc.top, ETO_CLIPPED, &rc, text.c_str(), static_cast<UINT>(text.size()),
                    nullptr);
        SetTextColor(dc, oldColor);
        SetBkMode(dc, oldMode);
        if (oldFont) SelectObject(dc, oldFont);
    } else {
        FillRect(dc, &rc, background);
    }
    if (state & ODS_FOCUS) DrawFocusRect(dc, &rc);
}

void UpdateScrollBar(HWND hwnd, ListBox &lb) {
    if (!(Style(hwnd) & WS_VSCROLL)) return;
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    if (Style(hwnd) & LBS_DISABLENOSCROLL) si.fMask |= SIF_DISABLENOSCROLL;
    si.nMin = 0;
    si.nMax = std::max(lb.count - 1, 0);
    si.nPage = static_cast<UINT>(VisibleItems(hwnd, lb));
    si.nPos = lb.top;
    SetScrollInfo(hwnd, SB_VERT, &si, TRUE);
}

void Measure(HWND hwnd, const CREATESTRUCTA *cs, ListBox &lb) {
    int height = classic::kSystemFontHeight;
    if (HDC dc = GetDC(hwnd)) {
        TEXTMETRICA tm{};
        if (GetTextMetricsA(dc, &tm) && tm.tmHeight > 0) height = tm.tmHeight;
        ReleaseDC(hwnd, dc);
    }
    lb.itemHeight = height;
    if (!(cs->style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) || !cs->hwndParent) return;
    MEASUREITEMSTRUCT mis{};
    mis.CtlType = ODT_LISTBOX;
    mis.CtlID = static_cast<UINT>(reinterpret_cast<UINT_PTR>(cs->hMenu));
    mis.itemID = 0;
    RECT rc;
    GetClientRect(hwnd, &rc);
    mis.itemWidth = static_cast<UINT>(std::max(0L, static_cast<long>(rc.right)));
    mis.itemHeight = static_cast<UINT>(height);
    SendMessageA(cs->hwndParent, WM_MEASUREITEM, static_cast<WPARAM>(mis.CtlID),
                 reinterpret_cast<LPARAM>(&mis));
    if (mis.itemHeight > 0) lb.itemHeight = static_cast<int>(std::min<UINT>(mis.itemHeight, kMaxItemHeight));
}

void Paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc) return;
    HBRUSH brush = CtlColor(hwnd, dc);
    FillRect(dc, &ps.rcPaint, brush);
    ListBox *lb = State(hwnd);
    bool owner = OwnerDraw(hwnd);
    if (lb) {
        RECT client;
        GetClientRect(hwnd, &client);
        if (lb->count == 0) {
            if (!lb->focused) {
            } else if (owner) {
                SendDrawItem(hwnd, dc, -1, ODA_FOCUS, ODS_FOCUS, ItemRect(hwnd, *lb, lb->top));
            } else {
                DrawPlain(hwnd, dc, -1, ODS_FOCUS, ItemRect(hwnd, *lb, lb->top), brush);
            }
        } else {
            for (int i = lb->top; i < lb->count; ++i) {
                lb = State(hwnd);
                if (!lb) break;
                RECT rc = ItemRect(hwnd, *lb, i);
                if (rc.top >= client.bottom) break;
                RECT hit;
                if (!IntersectRect(&hit, &rc, &ps.rcPaint)) continue;
                if (owner)
                    SendDrawItem(hwnd, dc, i, ODA_DRAWENTIRE, ItemState(hwnd, *lb, i), rc);
                else
                    DrawPlain(hwnd, dc, i, ItemState(hwnd, *lb, i), rc, brush);
            }
        }
    }
    EndPaint(hwnd, &ps);
}

void MouseDown(HWND hwnd, LPARAM lParam, bool dblclk) {
    if (GetFocus() != hwnd) SetFocus(hwnd);
    ListBox *lb = State(hwnd);
    if (!lb) return;
    int y = static_cast<short>(HIWORD(lParam));
    int x = static_cast<short>(LOWORD(lParam));
    RECT client;
    GetClientRect(hwnd, &client);
    bool outside;
    int index = ItemAt(hwnd, *lb, y, &outside);
    // Anywhere in the client area is on an item: below the last one is on
    // the last one.
    bool onItem = lb->count > 0 && y >= 0 && y < client.bottom && x >= 0 && x < client.right;
    if (!dblclk) {
        lb->selAtPress = lb->sel;
        lb->tracking = true;
        SetCapture(hwnd);
    }
    if (onItem && !(Style(hwnd) & LBS_NOSEL)) Select(hwnd, index);
    if (!dblclk) return;
    // The owner may open a modal window on the double-click: the mouse is
    // not kept from it.
    lb = State(hwnd);
    if (!lb) return;
    lb->tracking = false;
    if (GetCapture() == hwnd) ReleaseCapture();
    if ((lb = State(hwnd)) == nullptr) return;
    if (lb->sel != lb->selAtPress) {
        lb->selAtPress = lb->sel;
        Notify(hwnd, LBN_SELCHANGE);
    }
    if (onItem && IsWindow(hwnd)) Notify(hwnd, LBN_DBLCLK);
}

void MouseMove(HWND hwnd, LPARAM lParam) {
    ListBox *lb = State(hwnd);
    if (!lb || !lb->tracking || lb->count == 0 || (Style(hwnd) & LBS_NOSEL)) return;
    int y = static_cast<short>(HIWORD(lParam));
    int clientH = ClientHeight(hwnd);
    if (y < 0 && lb->top > 0) {
        SetTop(hwnd, lb->top - 1);
        if ((lb = State(hwnd)) != nullptr) Select(hwnd, lb->top);
        return;
    }
    if (y >= clientH) {
        int visible = std::max(VisibleItems(hwnd, *lb), 1);
        int last = std::min(lb->top + visible, lb->count - 1);
        if (last >= lb->top + visible) SetTop(hwnd, lb->top + 1);
        Select(hwnd, last);
        return;
    }
    bool outside;
    int index = ItemAt(hwnd, *lb, y, &outside);
    Select(hwnd, index);
}

void MouseUp(HWND hwnd) {
    ListBox *lb = State(hwnd);
    if (!lb || !lb->tracking) return;
    lb->tracking = false;
    if (GetCapture() == hwnd) ReleaseCapture();
    lb = State(hwnd);
    if (lb && lb->sel != lb->selAtPress) {
        lb->selAtPress = lb->sel;
        Notify(hwnd, LBN_SELCHANGE);
    }
}

void KeyDown(HWND hwnd, WPARAM vk) {
    ListBox *lb = State(hwnd);
    if (!lb || lb->count == 0) return;
    if (Style(hwnd) & LBS_WANTKEYBOARDINPUT) {
        HWND parent = GetParent(hwnd);
        if (parent) {
            LRESULT r = SendMessageA(parent, WM_VKEYTOITEM, MAKEWPARAM(vk, lb->caret),
                                     reinterpret_cast<LPARAM>(hwnd));
            if (r == -2) return;
            lb = State(hwnd);
            if (!lb) return;
            if (r >= 0 && r < lb->count) lb->caret = static_cast<int>(r);
        }
    }
    int page = std::max(VisibleItems(hwnd, *lb) - 1, 1);
    int target;
    switch (vk) {
        case VK_UP:
        case VK_LEFT:
            target = lb->caret - 1;
            break;
        case VK_DOWN:
        case VK_RIGHT:
            target = lb->caret + 1;
            break;
        case VK_PRIOR:
            target = lb->caret - page;
            break;
        case VK_NEXT:
            target = lb->caret + page;
            break;
        case VK_HOME:
            target = 0;
            break;
        case VK_END:
            target = lb->count - 1;
            break;
        default:
            return;
    }
    if (Style(hwnd) & LBS_NOSEL) {
        lb->caret = std::clamp(target, 0, lb->count - 1);
        EnsureVisible(hwnd, lb->caret);
        return;
    }
    target = std::clamp(target, 0, lb->count - 1);
    if (Select(hwnd, target)) Notify(hwnd, LBN_SELCHANGE);
    EnsureVisible(hwnd, target);
}

// A typed character moves to the next item whose text starts with it.
void Char(HWND hwnd, WPARAM ch) {
    ListBox *lb = State(hwnd);
    if (!lb || lb->count == 0 || !HasStrings(hwnd) || NoData(hwnd) || ch < 0x20) return;
    char key[2] = {static_cast<char>(ch), 0};
    for (int step = 1; step <= lb->count; ++step) {
        int i = (lb->caret + step) % lb->count;
        const std::string &text = lb->items[static_cast<size_t>(i)].text;
        char first[2] = {text.empty() ? '\0' : text[0], 0};
        if (first[0] && lstrcmpiA(first, key) == 0) {
            if (Select(hwnd, i)) Notify(hwnd, LBN_SELCHANGE);
            return;
        }
    }
}

void FocusChanged(HWND hwnd, bool focused) {
    ListBox *lb = State(hwnd);
    if (!lb) return;
    if (!focused && lb->tracking) {
        lb->tracking = false;
        if (GetCapture() == hwnd) ReleaseCapture();
    }
    if (!(lb = State(hwnd))) return;
    lb->focused = focused;
    DrawOne(hwnd, lb->count == 0 ? -1 : lb->caret, ODA_FOCUS);
    Notify(hwnd, focused ? LBN_SETFOCUS : LBN_KILLFOCUS);
}

// LB_ADDSTRING (index -1: at the end, or in order with LBS_SORT) and
// LB_INSERTSTRING. Returns the new item's index.
void OnInput(HWND hwnd, ListBox &lb, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            MouseDown(hwnd, lParam, msg == WM_LBUTTONDBLCLK);
            break;
        case WM_MOUSEMOVE:
            MouseMove(hwnd, lParam);
            break;
        case WM_LBUTTONUP:
            MouseUp(hwnd);
            break;
        case WM_CAPTURECHANGED:
            if (reinterpret_cast<HWND>(lParam) != hwnd) lb.tracking = false;
            break;
        case WM_KEYDOWN:
            KeyDown(hwnd, wParam);
            break;
        case WM_CHAR:
            Char(hwnd, wParam);
            break;
        case WM_VSCROLL:
            VScroll(hwnd, wParam);
            break;
        case WM_MOUSEWHEEL:
            Wheel(hwnd, wParam);
            break;
        default:
            break;
    }
}

}  // namespace

ListBox *State(HWND hwnd) {
    return ControlState<ListBox>(hwnd);
}

DWORD Style(HWND hwnd) {
    return static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE));
}

// Items that fit entirely in the client area.
int VisibleItems(HWND hwnd, const ListBox &lb) {
    return ClientHeight(hwnd) / lb.itemHeight;
}

RECT ItemRect(HWND hwnd, const ListBox &lb, int index) {
    RECT client, rc;
    GetClientRect(hwnd, &client);
    int top = (index - lb.top) * lb.itemHeight;
    SetRect(&rc, 0, top, client.right, top + lb.itemHeight);
    return rc;
}

bool NoData(HWND hwnd) {
    DWORD style = Style(hwnd);
    return (style & LBS_NODATA) && (style & LBS_OWNERDRAWFIXED) && !(style & (LBS_HASSTRINGS | LBS_SORT));
}

// Owner-drawn boxes keep strings only with LBS_HASSTRINGS; plain ones always.
bool HasStrings(HWND hwnd) {
    return !OwnerDraw(hwnd) || (Style(hwnd) & LBS_HASSTRINGS);
}

// Redraws one item outside WM_PAINT, with the given action. An index of -1
// on an empty box draws the focus cell of the first line.
void DrawOne(HWND hwnd, int index, UINT action) {
    ListBox *lb = State(hwnd);
    if (!lb || !CanDraw(hwnd)) return;
    if (index >= lb->count || index < -1) return;
    RECT rc = ItemRect(hwnd, *lb, index < 0 ? lb->top : index);
    RECT client, visible;
    GetClientRect(hwnd, &client);
    if (!IntersectRect(&visible, &rc, &client)) return;
    UINT state = ItemState(hwnd, *lb, index);
    if (index < 0) state = lb->focused ? ODS_FOCUS : 0;
    HDC dc = GetDC(hwnd);
    if (!dc) return;
    IntersectClipRect(dc, visible.left, visible.top, visible.right, visible.bottom);
    HBRUSH brush = CtlColor(hwnd, dc);
    if (OwnerDraw(hwnd))
        SendDrawItem(hwnd, dc, index, action, state, rc);
    else
        DrawPlain(hwnd, dc, index, state, rc, brush);
    ReleaseDC(hwnd, dc);
}

void SetTop(HWND hwnd, int top) {
    ListBox *lb = State(hwnd);
    if (!lb) return;
    top = std::clamp(top, 0, MaxTop(hwnd, *lb));
    if (top == lb->top) return;
    lb->top = top;
    UpdateScrollBar(hwnd, *lb);
    if (CanDraw(hwnd)) InvalidateRect(hwnd, nullptr, TRUE);
}

// Scrolls so that `index` is entirely visible.
void EnsureVisible(HWND hwnd, int index) {
    ListBox *lb = State(hwnd);
    if (!lb || index < 0 || index >= lb->count) return;
    int visible = std::max(VisibleItems(hwnd, *lb), 1);
    if (index < lb->top)
        SetTop(hwnd, index);
    else if (index >= lb->top + visible)
        SetTop(hwnd, index - visible + 1);
}

// Moves caret and selection to `index` and redraws what changed. Returns
// true when the selection changed.
bool Select(HWND hwnd, int index) {
    ListBox *lb = State(hwnd);
    if (!lb) return false;
    int oldSel = lb->sel, oldCaret = lb->caret;
    if (index == oldSel && index == oldCaret) return false;
    int oldTop = lb->top;
    if (lb->focused && index >= 0 && oldCaret != index) {
        lb->focused = false;  // draw the old caret without its focus
        DrawOne(hwnd, oldCaret, ODA_FOCUS);
        if ((lb = State(hwnd)) == nullptr) return false;
        lb->focused = true;
    }
    lb->sel = index;
    if (index >= 0) lb->caret = index;
    EnsureVisible(hwnd, index);
    if ((lb = State(hwnd)) == nullptr) return false;
    bool scrolled = lb->top != oldTop;
    if (!scrolled) {
        if (oldSel != index) {
            if (oldSel >= 0) DrawOne(hwnd, oldSel, ODA_SELECT);
            if (index >= 0) DrawOne(hwnd, index, ODA_SELECT);
        }
        if ((lb = State(hwnd)) == nullptr) return false;
        if (lb->focused && oldCaret != lb->caret) DrawOne(hwnd, lb->caret, ODA_FOCUS);
    }
    a11y::CaretMoved(hwnd);
    return oldSel != index;
}

// Without LBS_NOINTEGRALHEIGHT the box drops the partial item at its foot.
void FitIntegralHeight(HWND hwnd, ListBox &lb) {
    if (Style(hwnd) & (LBS_NOINTEGRALHEIGHT | LBS_OWNERDRAWVARIABLE)) return;
    if (lb.resizing) return;
    int client = ClientHeight(hwnd);
    int extra = client % lb.itemHeight;
    if (extra == 0 || client < lb.itemHeight) return;
    RECT wr;
    GetWindowRect(hwnd, &wr);
    lb.resizing = true;
    SetWindowPos(hwnd, nullptr, 0, 0, wr.right - wr.left, wr.bottom - wr.top - extra,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (ListBox *again = State(hwnd)) again->resizing = false;
}

int ItemAt(HWND hwnd, const ListBox &lb, int y, bool *outside) {
    int clientH = ClientHeight(hwnd);
    *outside = y < 0 || y >= clientH;
    if (lb.count == 0) {
        *outside = true;
        return 0;
    }
    int row = y < 0 ? -1 : y / lb.itemHeight;
    int index = lb.top + row;
    if (index < lb.top) index = lb.top;
    if (index >= lb.count) {
        index = lb.count - 1;
        *outside = true;
    }
    return index;
}

void Relayout(HWND hwnd) {
    ListBox *lb = State(hwnd);
    if (!lb) return;
    lb->top = std::clamp(lb->top, 0, MaxTop(hwnd, *lb));
    UpdateScrollBar(hwnd, *lb);
    if (CanDraw(hwnd)) InvalidateRect(hwnd, nullptr, TRUE);
}

}  // namespace win32::controls::listbox

namespace win32::controls {

using namespace listbox;

LRESULT CALLBACK ListBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT settled;
    if (HandleControlLifetime<ListBox>(hwnd, msg, wParam, lParam, &settled)) return settled;
    ListBox *lb = State(hwnd);
    switch (msg) {
        case WM_CREATE: {
            auto *cs = reinterpret_cast<const CREATESTRUCTA *>(lParam);
            if (cs) Measure(hwnd, cs, *lb);
            if ((lb = State(hwnd)) == nullptr) return -1;
            FitIntegralHeight(hwnd, *lb);
            Relayout(hwnd);
            return 0;
        }
        case WM_SIZE:
            FitIntegralHeight(hwnd, *lb);
            Relayout(hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // WM_PAINT fills with the parent's brush
        case WM_PAINT:
            Paint(hwnd);
            return 0;
        case WM_SETFONT:
            lb->font = reinterpret_cast<HFONT>(wParam);
            if (LOWORD(lParam) && CanDraw(hwnd)) InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(lb->font);
        case WM_ENABLE:
            if (CanDraw(hwnd)) InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS | DLGC_WANTCHARS;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            FocusChanged(hwnd, msg == WM_SETFOCUS);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_MOUSEMOVE:
        case WM_LBUTTONUP:
        case WM_CAPTURECHANGED:
        case WM_KEYDOWN:
        case WM_CHAR:
        case WM_VSCROLL:
        case WM_MOUSEWHEEL:
            OnInput(hwnd, *lb, msg, wParam, lParam);
            return 0;
        default:
            return ListMessage(hwnd, *lb, msg, wParam, lParam);
    }
}

}  // namespace win32::controls
