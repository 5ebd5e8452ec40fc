// The vertical scroll bar of WS_VSCROLL windows: its values, visibility,
// look and mouse handling.
#include <algorithm>
#include <map>

#include "platform/common/classic.h"
#include "platform/controls/controls_private.h"
#include "platform/common/nonclient.h"

namespace win32 {
namespace {

using controls::FillSys;
using controls::RaisedEdge;

constexpr int kMinThumb = 8;

enum class Part { None, UpArrow, DownArrow, PageUp, PageDown, Thumb };

struct Bar {
    int min = 0;
    int max = 100;
    UINT page = 0;
    int pos = 0;
    int trackPos = 0;
    bool shown = false;
    bool disabled = false;  // shown without a usable range (SIF_DISABLENOSCROLL)
    // Mouse tracking.
    Part pressed = Part::None;
    bool pressedInside = false;
    int dragOffset = 0;  // cursor y minus thumb top when the drag started
    bool havePainted = false;
    RECT lastBar{};
};

std::map<HWND, Bar> &Bars() {
    static std::map<HWND, Bar> bars;
    return bars;
}

// Drops the entries of windows that are gone.
void Sweep() {
    auto &bars = Bars();
    for (auto it = bars.begin(); it != bars.end();) {
        if (!IsWindow(it->first))
            it = bars.erase(it);
        else
            ++it;
    }
}

Bar *Find(HWND hwnd) {
    auto &bars = Bars();
    auto it = bars.find(hwnd);
    if (it == bars.end()) return nullptr;
    if (!IsWindow(hwnd)) {
        bars.erase(it);
        return nullptr;
    }
    return &it->second;
}

Bar *Get(HWND hwnd) {
    if (!IsWindow(hwnd)) return nullptr;
    if (Bar *b = Find(hwnd)) return b;
    Sweep();  // drop the bars of windows that are gone before adding one
    Bar &b = Bars()[hwnd];
    b.shown = (GetWindowLongA(hwnd, GWL_STYLE) & WS_VSCROLL) != 0;
    return &b;
}

int MaxPos(const Bar &b) {
    return std::max(b.min, b.max - std::max(static_cast<int>(b.page) - 1, 0));
}

// The range needs no bar: everything fits in a page.
bool RangeIsEmpty(const Bar &b) {
    if (b.max <= b.min) return true;
    return b.page != 0 && static_cast<long long>(b.page) > static_cast<long long>(b.max) - b.min;
}

struct Layout {
    RECT up, down, track, thumb;
    bool hasThumb;
};

Layout ComputeLayout(const Bar &b, const RECT &bar) {
    Layout l{};
    int h = bar.bottom - bar.top;
    int arrow = std::min(classic::kScrollBarWidth, h / 2);
    SetRect(&l.up, bar.left, bar.top, bar.right, bar.top + arrow);
    SetRect(&l.down, bar.left, bar.bottom - arrow, bar.right, bar.bottom);
    SetRect(&l.track, bar.left, l.up.bottom, bar.right, l.down.top);
    int track = l.track.bottom - l.track.top;
    l.hasThumb = false;
    if (b.disabled || RangeIsEmpty(b)) return l;
    long long range = static_cast<long long>(b.max) - b.min + 1;
    int thumb = b.page == 0 ? classic::kScrollBarWidth
                            : static_cast<int>(track * static_cast<long long>(b.page) / range);
    thumb = std::max(thumb, kMinThumb);
    if (thumb > track) return l;
    int span = MaxPos(b) - b.min;
    int pos = b.pressed == Part::Thumb ? b.trackPos : b.pos;
    int top = span > 0 ? static_cast<int>(static_cast<long long>(track - thumb) * (pos - b.min) / span) : 0;
    SetRect(&l.thumb, bar.left, l.track.top + top, bar.right, l.track.top + top + thumb);
    l.hasThumb = true;
    return l;
}

// The bar's rectangle in window coordinates: right of the client area.
RECT BarRect(HWND hwnd, const Bar &b) {
    if (b.havePainted) return b.lastBar;
    RECT wr, cr;
    GetWindowRect(hwnd, &wr);
    GetClientRect(hwnd, &cr);
    POINT origin{0, 0};
    ClientToScreen(hwnd, &origin);
    RECT r;
    int left = origin.x - wr.left + cr.right;
    int top = origin.y - wr.top;
    SetRect(&r, left, top, left + classic::kScrollBarWidth, top + cr.bottom);
    return r;
}

void DrawArrow(HDC dc, const RECT &rc, bool up, bool pressed, bool enabled) {
    if (pressed) {
        FillSys(dc, rc, COLOR_BTNFACE);
        HBRUSH shadow = GetSysColorBrush(COLOR_BTNSHADOW);
        FrameRect(dc, &rc, shadow);
    } else {
        RaisedEdge(dc, rc, false);
    }
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    if (w < 8 || h < 6) return;
    int cx = rc.left + (w - 1) / 2 + (pressed ? 1 : 0);
    int cy = rc.top + (h - 1) / 2 + (pressed ? 1 : 0);
    // Four rows: 1, 3, 5 and 7 pixels wide.
    for (int row = 0; row < 4; ++row) {
        int y = up ? cy - 2 + row : cy + 1 - row;
        RECT line;
        SetRect(&line, cx - row, y, cx + row + 1, y + 1);
        if (!enabled) {
            RECT hl = line;
            OffsetRect(&hl, 1, 1);
            FillSys(dc, hl, COLOR_BTNHIGHLIGHT);
        }
        FillSys(dc, line, enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
    }
}

// The track: a 50% dither of the highlight and scroll-bar colours, or the
// shadow colour where a page area is held down.
void DrawTrack(HDC dc, const RECT &rc, bool pressed) {
    if (rc.right <= rc.left || rc.bottom <= rc.top) return;
    if (pressed) {
        FillSys(dc, rc, COLOR_3DDKSHADOW);
        return;
    }
    COLORREF a = GetSysColor(COLOR_BTNHIGHLIGHT);
    COLORREF b = GetSysColor(COLOR_SCROLLBAR);
    FillSys(dc, rc, COLOR_SCROLLBAR);
    if (a == b) return;
    for (int y = rc.top; y < rc.bottom; ++y)
        for (int x = rc.left + ((rc.left + y) & 1); x < rc.right; x += 2) SetPixel(dc, x, y, a);
}

void Paint(HWND hwnd, Bar &b, HDC dc, const RECT &bar) {
    b.havePainted = true;
    b.lastBar = bar;
    Layout l = ComputeLayout(b, bar);
    bool enabled = !b.disabled && !RangeIsEmpty(b) && IsWindowEnabled(hwnd);
    bool inside = b.pressedInside;
    DrawArrow(dc, l.up, true, b.pressed == Part::UpArrow && inside, enabled);
    DrawArrow(dc, l.down, false, b.pressed == Part::DownArrow && inside, enabled);
    if (!l.hasThumb) {
        DrawTrack(dc, l.track, false);
        return;
    }
    RECT above = l.track, below = l.track;
    above.bottom = l.thumb.top;
    below.top = l.thumb.bottom;
    DrawTrack(dc, above, b.pressed == Part::PageUp && inside);
    DrawTrack(dc, below, b.pressed == Part::PageDown && inside);
    RaisedEdge(dc, l.thumb, false);
}

Part HitTest(const Bar &b, const RECT &bar, POINT pt) {
    if (!PtInRect(&bar, pt)) return Part::None;
    Layout l = ComputeLayout(b, bar);
    if (PtInRect(&l.up, pt)) return Part::UpArrow;
    if (PtInRect(&l.down, pt)) return Part::DownArrow;
    if (!l.hasThumb) return Part::None;
    if (PtInRect(&l.thumb, pt)) return Part::Thumb;
    return pt.y < l.thumb.top ? Part::PageUp : Part::PageDown;
}

void Send(HWND hwnd, int code, int pos) {
    SendMessageA(hwnd, WM_VSCROLL, MAKEWPARAM(code, static_cast<WORD>(pos)), 0);
}

int ScrollCode(Part p) {
    switch (p) {
        case Part::UpArrow:
            return SB_LINEUP;
        case Part::DownArrow:
            return SB_LINEDOWN;
        case Part::PageUp:
            return SB_PAGEUP;
        case Part::PageDown:
            return SB_PAGEDOWN;
        default:
            return -1;
    }
}

// The position the thumb stands for when its top is dragged to `y`.
int PosFromThumbTop(const Bar &b, const RECT &bar, int y) {
    Layout l = ComputeLayout(b, bar);
    int free = (l.track.bottom - l.track.top) - (l.thumb.bottom - l.thumb.top);
    int span = MaxPos(b) - b.min;
    if (free <= 0 || span <= 0) return b.min;
    int offset = std::clamp(y - l.track.top, 0, free);
    return b.min + static_cast<int>((static_cast<long long>(offset) * span + free / 2) / free);
}

void SetShown(HWND hwnd, Bar &b, bool shown) {
    if (b.shown == shown) return;
    b.shown = shown;
    NonClientChanged(hwnd);
}

}  // namespace

int VScrollBarWidth(HWND hwnd) {
    Bar *b = Find(hwnd);
    if (!b)
        return IsWindow(hwnd) && (GetWindowLongA(hwnd, GWL_STYLE) & WS_VSCROLL) ? classic::kScrollBarWidth
                                                                                : 0;
    return b->shown ? classic::kScrollBarWidth : 0;
}

void PaintVScrollBar(HWND hwnd, HDC windowDC, const RECT &bar) {
    Bar *b = Get(hwnd);
    if (!b || !windowDC) return;
    Paint(hwnd, *b, windowDC, bar);
}

bool VScrollBarMouse(HWND hwnd, UINT msg, POINT pt) {
    Bar *b = Get(hwnd);
    if (!b) return false;
    RECT bar = BarRect(hwnd, *b);
    switch (msg) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            if (!IsWindowEnabled(hwnd) || b->disabled || RangeIsEmpty(*b)) return false;
            Part p = HitTest(*b, bar, pt);
            if (p == Part::None) return false;
            b->trackPos = b->pos;
            b->pressed = p;
            b->pressedInside = true;
            if (p == Part::Thumb) {
                Layout l = ComputeLayout(*b, bar);
                b->dragOffset = pt.y - l.thumb.top;
            }
            NonClientChanged(hwnd);
            if (p != Part::Thumb) Send(hwnd, ScrollCode(p), 0);
            return true;
        }
        case WM_MOUSEMOVE: {
            if (b->pressed == Part::None) return false;
            if (b->pressed == Part::Thumb) {
                int pos = PosFromThumbTop(*b, bar, pt.y - b->dragOffset);
                if (pos != b->trackPos) {
                    b->trackPos = pos;
                    NonClientChanged(hwnd);
                    Send(hwnd, SB_THUMBTRACK, pos);
                }
            } else {
                bool inside = HitTest(*b, bar, pt) == b->pressed;
                if (inside != b->pressedInside) {
                    b->pressedInside = inside;
                    NonClientChanged(hwnd);
                }
            }
            return true;
        }
        case WM_LBUTTONUP: {
            if (b->pressed == Part::None) return false;
            Part p = b->pressed;
            b->pressed = Part::None;
            b->pressedInside = false;
            if (p == Part::Thumb) Send(hwnd, SB_THUMBPOSITION, b->trackPos);
            Send(hwnd, SB_ENDSCROLL, 0);
            if (Find(hwnd)) NonClientChanged(hwnd);  // the scroll handler may have destroyed it
            return false;
        }
        default:
            return b->pressed != Part::None;
    }
}

}  // namespace win32

int WINAPI SetScrollInfo(HWND hwnd, int nBar, LPCSCROLLINFO lpsi, BOOL redraw) {
    using namespace win32;
    if (nBar != SB_VERT || !lpsi) return 0;
    Bar *b = Get(hwnd);
    if (!b) return 0;
    if (lpsi->fMask & SIF_RANGE) {
        b->min = lpsi->nMin;
        b->max = lpsi->nMax;
    }
    if (lpsi->fMask & SIF_PAGE) b->page = lpsi->nPage;
    if (lpsi->fMask & SIF_POS) b->pos = lpsi->nPos;
    // Keep page and position inside the range.
    if (b->max < b->min) b->max = b->min;
    long long span = static_cast<long long>(b->max) - b->min + 1;
    if (static_cast<long long>(b->page) > span) b->page = static_cast<UINT>(span);
    b->pos = std::clamp(b->pos, b->min, MaxPos(*b));
    bool needed = !RangeIsEmpty(*b);
    bool wasShown = b->shown;
    if (lpsi->fMask & (SIF_RANGE | SIF_PAGE)) {
        if (!needed && (lpsi->fMask & SIF_DISABLENOSCROLL)) {
            b->disabled = true;
        } else {
            b->disabled = false;
            if (b->shown || (GetWindowLongA(hwnd, GWL_STYLE) & WS_VSCROLL)) b->shown = needed;
        }
    }
    if (b->shown != wasShown || (redraw && b->shown)) NonClientChanged(hwnd);
    return b->pos;
}

BOOL WINAPI GetScrollInfo(HWND hwnd, int nBar, LPSCROLLINFO lpsi) {
    using namespace win32;
    if (nBar != SB_VERT || !lpsi) return FALSE;
    Bar *b = Get(hwnd);
    if (!b) return FALSE;
    if (lpsi->fMask & SIF_RANGE) {
        lpsi->nMin = b->min;
        lpsi->nMax = b->max;
    }
    if (lpsi->fMask & SIF_PAGE) lpsi->nPage = b->page;
    if (lpsi->fMask & SIF_POS) lpsi->nPos = b->pos;
    if (lpsi->fMask & SIF_TRACKPOS) lpsi->nTrackPos = b->pressed == Part::Thumb ? b->trackPos : b->pos;
    return TRUE;
}

BOOL WINAPI ShowScrollBar(HWND hWnd, int wBar, BOOL bShow) {
    using namespace win32;
    if (wBar != SB_VERT && wBar != SB_BOTH) return wBar == SB_HORZ && IsWindow(hWnd);
    Bar *b = Get(hWnd);
    if (!b) return FALSE;
    SetShown(hWnd, *b, bShow != FALSE);
    return TRUE;
}
