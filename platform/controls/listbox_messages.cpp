// The list box's LB_* messages (its items, the selection, the caret and the
// top item, as the owner asks for them) and its scrolling by the bar and the
// wheel.
#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/controls/listbox.h"

namespace win32::controls::listbox {

namespace {

LRESULT Insert(HWND hwnd, ListBox &lb, int index, LPARAM lParam) {
    if (NoData(hwnd)) return LB_ERR;
    if (index < -1 || index > lb.count) return LB_ERR;
    Item item;
    if (HasStrings(hwnd)) {
        if (lParam) item.text = reinterpret_cast<const char *>(lParam);
    } else {
        item.data = static_cast<ULONG_PTR>(lParam);
    }
    if (index == -1) {
        index = lb.count;
        if ((Style(hwnd) & LBS_SORT) && HasStrings(hwnd)) {
            auto less = [](const Item &a, const Item &b) {
                return lstrcmpiA(a.text.c_str(), b.text.c_str()) < 0;
            };
            index = static_cast<int>(std::upper_bound(lb.items.begin(), lb.items.end(), item, less) -
                                     lb.items.begin());
        }
    }
    if (lb.items.size() >= static_cast<size_t>(INT_MAX / kMaxItemHeight)) return LB_ERRSPACE;
    lb.items.insert(lb.items.begin() + index, std::move(item));
    lb.count = static_cast<int>(lb.items.size());
    if (lb.sel >= index) ++lb.sel;
    Relayout(hwnd);
    return index;
}

bool ValidIndex(const ListBox &lb, int index) {
    return index >= 0 && index < lb.count;
}

LRESULT SetCount(HWND hwnd, ListBox &lb, WPARAM count) {
    if (!NoData(hwnd)) return LB_ERR;
    if (count > static_cast<WPARAM>(INT_MAX / kMaxItemHeight)) return LB_ERRSPACE;
    lb.count = static_cast<int>(count);
    if (lb.sel >= lb.count) lb.sel = -1;
    lb.caret = std::clamp(lb.caret, 0, std::max(lb.count - 1, 0));
    Relayout(hwnd);
    return LB_OKAY;
}

LRESULT ResetContent(HWND hwnd, ListBox &lb) {
    lb.items.clear();
    lb.count = 0;
    lb.sel = -1;
    lb.caret = 0;
    lb.top = 0;
    Relayout(hwnd);
    return LB_OKAY;
}

LRESULT DeleteString(HWND hwnd, ListBox &lb, int index) {
    if (NoData(hwnd) || !ValidIndex(lb, index)) return LB_ERR;
    lb.items.erase(lb.items.begin() + index);
    lb.count = static_cast<int>(lb.items.size());
    if (lb.sel == index)
        lb.sel = -1;
    else if (lb.sel > index)
        --lb.sel;
    if (lb.caret > index) --lb.caret;
    lb.caret = std::clamp(lb.caret, 0, std::max(lb.count - 1, 0));
    Relayout(hwnd);
    return lb.count;
}

LRESULT GetItemRect(HWND hwnd, const ListBox &lb, int index, RECT *out) {
    // Item 0 of an empty box still has a place: the first line.
    if (!out || index < 0 || index >= std::max(lb.count, 1)) return LB_ERR;
    *out = ItemRect(hwnd, lb, index);
    return 1;
}

LRESULT SetItemHeight(HWND hwnd, ListBox &lb, int height) {
    if (height <= 0 || height > kMaxItemHeight) return LB_ERR;
    lb.itemHeight = height;
    FitIntegralHeight(hwnd, lb);
    Relayout(hwnd);
    return LB_OKAY;
}

LRESULT SetTopIndex(HWND hwnd, const ListBox &lb, int index) {
    if (index < 0 || (index >= lb.count && index != 0)) return LB_ERR;
    SetTop(hwnd, index);
    return LB_OKAY;
}

LRESULT SetCurSel(HWND hwnd, const ListBox &lb, int index) {
    if (index == -1) {
        Select(hwnd, -1);
        return LB_ERR;
    }
    if (!ValidIndex(lb, index)) return LB_ERR;
    Select(hwnd, index);
    return index;
}

LRESULT SetCaretIndex(HWND hwnd, ListBox &lb, int index) {
    if (!ValidIndex(lb, index)) return LB_ERR;
    int old = lb.caret;
    lb.caret = index;
    if (lb.focused && old != index) {
        lb.focused = false;
        DrawOne(hwnd, old, ODA_FOCUS);
        if (ListBox *again = State(hwnd)) {
            again->focused = true;
            DrawOne(hwnd, index, ODA_FOCUS);
        }
    }
    EnsureVisible(hwnd, index);
    return LB_OKAY;
}

LRESULT ItemFromPoint(HWND hwnd, const ListBox &lb, LPARAM lParam) {
    int x = static_cast<short>(LOWORD(lParam));
    int y = static_cast<short>(HIWORD(lParam));
    RECT client;
    GetClientRect(hwnd, &client);
    bool outside;
    int index = ItemAt(hwnd, lb, y, &outside);
    if (x < 0 || x >= client.right) outside = true;
    return static_cast<LRESULT>(static_cast<DWORD>(MAKELONG(index, outside ? 1 : 0)));
}

LRESULT GetItemData(HWND hwnd, const ListBox &lb, int index) {
    if (!ValidIndex(lb, index)) return LB_ERR;
    return NoData(hwnd) ? 0 : static_cast<LRESULT>(lb.items[static_cast<size_t>(index)].data);
}

LRESULT SetItemData(HWND hwnd, ListBox &lb, int index, LPARAM data) {
    if (NoData(hwnd) || !ValidIndex(lb, index)) return LB_ERR;
    lb.items[static_cast<size_t>(index)].data = static_cast<ULONG_PTR>(data);
    return LB_OKAY;
}

// LB_GETTEXT (into `buffer` when given) and LB_GETTEXTLEN.
LRESULT GetText(HWND hwnd, const ListBox &lb, int index, LPARAM buffer) {
    if (NoData(hwnd) || !ValidIndex(lb, index)) return LB_ERR;
    const Item &item = lb.items[static_cast<size_t>(index)];
    if (!HasStrings(hwnd)) {
        // Owner-drawn boxes without strings hand out the item data.
        if (buffer) std::memcpy(reinterpret_cast<void *>(buffer), &item.data, sizeof(item.data));
        return sizeof(item.data);
    }
    if (buffer) std::memcpy(reinterpret_cast<char *>(buffer), item.text.c_str(), item.text.size() + 1);
    return static_cast<LRESULT>(item.text.size());
}

}  // namespace

constexpr int kWheelLines = 3;

void VScroll(HWND hwnd, WPARAM wParam) {
    ListBox *lb = State(hwnd);
    if (!lb) return;
    int page = std::max(VisibleItems(hwnd, *lb), 1);
    switch (LOWORD(wParam)) {
        case SB_LINEUP:
            SetTop(hwnd, lb->top - 1);
            break;
        case SB_LINEDOWN:
            SetTop(hwnd, lb->top + 1);
            break;
        case SB_PAGEUP:
            SetTop(hwnd, lb->top - page);
            break;
        case SB_PAGEDOWN:
            SetTop(hwnd, lb->top + page);
            break;
        case SB_TOP:
            SetTop(hwnd, 0);
            break;
        case SB_BOTTOM:
            SetTop(hwnd, lb->count);
            break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: {
            SCROLLINFO si{};
            si.cbSize = sizeof(si);
            si.fMask = SIF_TRACKPOS;
            int pos = HIWORD(wParam);
            if (GetScrollInfo(hwnd, SB_VERT, &si)) pos = si.nTrackPos;
            SetTop(hwnd, pos);
            break;
        }
        default:
            break;
    }
}

void Wheel(HWND hwnd, WPARAM wParam) {
    ListBox *lb = State(hwnd);
    if (!lb) return;
    lb->wheelRemainder += GET_WHEEL_DELTA_WPARAM(wParam);
    int notches = lb->wheelRemainder / WHEEL_DELTA;
    if (notches == 0) return;
    lb->wheelRemainder -= notches * WHEEL_DELTA;
    SetTop(hwnd, lb->top - notches * kWheelLines);
}

LRESULT ListMessage(HWND hwnd, ListBox &lb, UINT msg, WPARAM wParam, LPARAM lParam) {
    int index = static_cast<int>(wParam);
    switch (msg) {
        case LB_SETCOUNT:
            return SetCount(hwnd, lb, wParam);
        case LB_RESETCONTENT:
            return ResetContent(hwnd, lb);
        case LB_ADDSTRING:
            return Insert(hwnd, lb, -1, lParam);
        case LB_INSERTSTRING:
            return Insert(hwnd, lb, index, lParam);
        case LB_DELETESTRING:
            return DeleteString(hwnd, lb, index);
        case LB_GETCOUNT:
            return lb.count;
        case LB_GETITEMRECT:
            return GetItemRect(hwnd, lb, index, reinterpret_cast<RECT *>(lParam));
        case LB_GETITEMHEIGHT:
            return lb.itemHeight;
        case LB_SETITEMHEIGHT:
            return SetItemHeight(hwnd, lb, LOWORD(lParam));
        case LB_GETTOPINDEX:
            return lb.top;
        case LB_SETTOPINDEX:
            return SetTopIndex(hwnd, lb, index);
        case LB_GETCURSEL:
            return lb.sel;
        case LB_SETCURSEL:
            return SetCurSel(hwnd, lb, index);
        case LB_GETSEL:
            return ValidIndex(lb, index) ? (index == lb.sel ? 1 : 0) : LB_ERR;
        case LB_GETCARETINDEX:
            return lb.caret;
        case LB_SETCARETINDEX:
            return SetCaretIndex(hwnd, lb, index);
        case LB_ITEMFROMPOINT:
            return ItemFromPoint(hwnd, lb, lParam);
        case LB_GETITEMDATA:
            return GetItemData(hwnd, lb, index);
        case LB_SETITEMDATA:
            return SetItemData(hwnd, lb, index, lParam);
        case LB_GETTEXT:
            return GetText(hwnd, lb, index, lParam);
        case LB_GETTEXTLEN:
            return GetText(hwnd, lb, index, 0);
        default:
            return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

// The mouse, the keyboard and scrolling.

}  // namespace win32::controls::listbox
