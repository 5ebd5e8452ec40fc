// Update regions, WM_PAINT, BeginPaint/EndPaint and window DCs.
//
// Each top-level window has one surface (its client area). Child windows
// paint into it through DCs whose origin is the child's corner and whose
// clip is the child's visible part; a parent never paints over its visible
// children. Finished paints are presented to the back-end.
#include "platform/user/paint.h"

#include <algorithm>
#include <map>

#include "platform/common/classic.h"
#include "platform/common/nonclient.h"
#include "platform/user/frame.h"
#include "platform/user/geometry.h"
#include "platform/user/queue.h"
#include "platform/user/wm.h"

namespace win32::wm {

namespace {

struct DcInfo {
    HWND hwnd;
    HWND top;
    RECT bounds;  // surface coordinates to present on release
};

std::map<HDC, DcInfo> &Dcs() {
    static auto *m = new std::map<HDC, DcInfo>();
    return *m;
}

gdi::Surface &ScratchSurface() {
    static auto *s = new gdi::Surface();
    return *s;
}

RECT ClientBounds(const Window &w) {
    RECT cr = ClientRectInParent(w);
    return {0, 0, cr.right - cr.left, cr.bottom - cr.top};
}

}  // namespace

void PresentSurfaceRect(Window &top, RECT r) {
    if (!top.surface || !top.native || !top.nativeShown) return;
    r.left = std::max<LONG>(r.left, 0);
    r.top = std::max<LONG>(r.top, 0);
    r.right = std::min<LONG>(r.right, top.surface->LogicalWidth());
    r.bottom = std::min<LONG>(r.bottom, top.surface->LogicalHeight());
    if (r.left >= r.right || r.top >= r.bottom) return;
    EnsureSurfacePixels(top);
    display::Current().Present(top.native, *top.surface, r);
}

void InvalidateClient(Window &w, const gdi::Region &r, bool erase) {
    gdi::Region add = r;
    add.Intersect(gdi::Region(ClientBounds(w)));
    if (add.Empty()) return;
    w.update.Union(add);
    if (erase) w.erase = true;
    NoteArrival();
}

void InvalidateTree(HWND h, bool erase, bool frame) {
    Window *w = WindowOf(h);
    if (!w) return;
    InvalidateClient(*w, gdi::Region(ClientBounds(*w)), erase);
    if (frame) {
        Insets in = NonClientInsets(*w);
        if (in.left || in.top || in.right || in.bottom) w->ncPaint = true;
    }
    std::vector<HWND> kids = w->children;
    for (HWND c : kids) InvalidateTree(c, erase, frame);
}

bool PaintPending(const Window &w) {
    return !w.update.Empty() || w.ncPaint;
}

namespace {

HWND FindPaint(HWND h, HWND filter, bool inFilter) {
    Window *w = WindowOf(h);
    if (!w || !(w->style & WS_VISIBLE) || w->minimized) return nullptr;
    bool ok = inFilter || !filter || h == filter;
    if (ok && PaintPending(*w)) return h;
    for (HWND c : w->children)
        if (HWND f = FindPaint(c, filter, ok)) return f;
    return nullptr;
}

}  // namespace

HWND NextWindowToPaint(HWND filter) {
    // Bottom windows first so that windows above are composed last.
    const std::vector<HWND> &tops = TopLevels();
    for (auto it = tops.rbegin(); it != tops.rend(); ++it)
        if (HWND f = FindPaint(*it, filter, false)) return f;
    return nullptr;
}

namespace {

HBRUSH BrushFromClassValue(HBRUSH b) {
    uintptr_t v = reinterpret_cast<uintptr_t>(b);
    if (v > 0 && v <= static_cast<uintptr_t>(classic::kSysColorCount))
        return GetSysColorBrush(static_cast<int>(v - 1));
    return b;
}

}  // namespace

HBRUSH ClassBrush(const Window &w) {
    return BrushFromClassValue(w.cls->background);
}

// Draws the border and scroll bar of a child window (DefWindowProc's WM_NCPAINT).
void DrawNonClient(HWND h) {
    Window *w = WindowOf(h);
    // Top-level frames belong to the window system.
    if (!w || IsTopLevel(*w)) return;
    HDC dc = GetWindowDC(h);
    if (!dc) return;
    w = WindowOf(h);
    int wd = w->rect.right - w->rect.left, ht = w->rect.bottom - w->rect.top;
    RECT r{0, 0, wd, ht};
    if (w->exStyle & WS_EX_CLIENTEDGE) {
        // Sunken edge: shadow/dark shadow on top-left, highlight/light on bottom-right.
        HBRUSH shadow = GetSysColorBrush(COLOR_BTNSHADOW), hilite = GetSysColorBrush(COLOR_BTNHIGHLIGHT);
        HBRUSH dark = GetSysColorBrush(COLOR_3DDKSHADOW), light = GetSysColorBrush(COLOR_3DLIGHT);
        RECT t;
        t = {r.left, r.top, r.right - 1, r.top + 1}, FillRect(dc, &t, shadow);
        t = {r.left, r.top, r.left + 1, r.bottom - 1}, FillRect(dc, &t, shadow);
        t = {r.left, r.bottom - 1, r.right, r.bottom}, FillRect(dc, &t, hilite);
        t = {r.right - 1, r.top, r.right, r.bottom}, FillRect(dc, &t, hilite);
        t = {r.left + 1, r.top + 1, r.right - 2, r.top + 2}, FillRect(dc, &t, dark);
        t = {r.left + 1, r.top + 1, r.left + 2, r.bottom - 2}, FillRect(dc, &t, dark);
        t = {r.left + 1, r.bottom - 2, r.right - 1, r.bottom - 1}, FillRect(dc, &t, light);
        t = {r.right - 2, r.top + 1, r.right - 1, r.bottom - 1}, FillRect(dc, &t, light);
        r.left += classic::kEdge, r.top += classic::kEdge, r.right -= classic::kEdge,
            r.bottom -= classic::kEdge;
    }
    if (w->style & WS_BORDER) {
        FrameRect(dc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
        InflateRect(&r, -1, -1);
    }
    if (w->style & WS_VSCROLL) {
        int sb = win32::VScrollBarWidth(h);
        if (sb > 0) {
            RECT bar{r.right - sb, r.top, r.right, r.bottom};
            win32::PaintVScrollBar(h, dc, bar);
        }
    }
    ReleaseDC(h, dc);
}

namespace {

void SendNcPaint(HWND h) {
    Window *w = WindowOf(h);
    if (!w || !w->ncPaint) return;
    w->ncPaint = false;
    Send(h, WM_NCPAINT, 1, 0);
}

HDC MakeDC(Window &w, bool client, bool clipChildren, const gdi::Region *limit) {
    Window *top = TopLevelOf(&w);
    if (!top || !top->surface) return nullptr;
    gdi::Region clip = VisibleRegion(w, client, clipChildren);
    if (!IsVisibleChain(w) || w.minimized) clip = gdi::Region();
    if (limit) clip.Intersect(*limit);
    POINT origin = client ? ClientOriginOnSurface(w) : WindowOriginOnSurface(w);
    // A DC that can draw nothing (on a window still hidden while it is
    // created, say) measures as well on the scratch surface, and the
    // window's pixels wait for a paint that shows them.
    gdi::Surface *target = top->surface.get();
    if (clip.Empty() && target->pixels.empty())
        target = &ScratchSurface();
    else
        EnsureSurfacePixels(*top);
    HDC dc = gdi::CreateSurfaceDC(target, origin, clip, w.hwnd);
    if (dc) Dcs()[dc] = DcInfo{w.hwnd, top->hwnd, clip.Bounds()};
    return dc;
}

void ReleaseAndPresent(HDC dc) {
    auto it = Dcs().find(dc);
    if (it == Dcs().end()) return;
    DcInfo info = it->second;
    Dcs().erase(it);
    gdi::DeleteSurfaceDC(dc);
    if (Window *top = WindowOf(info.top)) PresentSurfaceRect(*top, info.bounds);
}

}  // namespace

}  // namespace win32::wm

using namespace win32;
using namespace win32::wm;

void win32::NonClientChanged(HWND h) {
    Window *w = WindowOf(h);
    if (!w) return;
    RECT cr = ClientBounds(*w);
    SIZE now{cr.right, cr.bottom};
    w->ncPaint = true;
    NoteArrival();
    // Only the bar's look changed: the client keeps its pixels.
    if (now.cx == w->lastSize.cx && now.cy == w->lastSize.cy) return;
    // The bar came or went: the client area changed size.
    InvalidateClient(*w, gdi::Region(cr), true);
    if (!w->needSizeMove) {
        w->lastSize = now;
        Send(h, WM_SIZE, SIZE_RESTORED, MAKELPARAM(now.cx, now.cy));
    }
}

BOOL WINAPI InvalidateRect(HWND h, const RECT *r, BOOL erase) {
    if (!h) {
        for (HWND t : TopLevels()) InvalidateTree(t, erase, true);
        return TRUE;
    }
    Window *w = WindowOf(h);
    if (!w) return FALSE;
    if (r) {
        InvalidateClient(*w, gdi::Region(*r), erase);
    } else {
        InvalidateClient(*w, gdi::Region(ClientBounds(*w)), erase);
    }
    return TRUE;
}

BOOL WINAPI ValidateRect(HWND h, const RECT *r) {
    Window *w = WindowOf(h);
    if (!w) return FALSE;
    if (r) {
        w->update.Subtract(gdi::Region(*r));
    } else {
        w->update = gdi::Region();
        w->erase = false;
    }
    if (w->update.Empty()) w->erase = false;
    return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND h, LPRECT r, BOOL erase) {
    Window *w = WindowOf(h);
    if (!w) return FALSE;
    bool any = !w->update.Empty();
    if (r) *r = any ? w->update.Bounds() : RECT{0, 0, 0, 0};
    if (any && erase && w->erase) {
        HDC dc = GetDC(h);
        if (dc) {
            if (Send(h, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0)) {
                if (Window *ww = WindowOf(h)) ww->erase = false;
            }
            ReleaseDC(h, dc);
        }
    }
    return any ? TRUE : FALSE;
}

BOOL WINAPI UpdateWindow(HWND h) {
    Window *w = WindowOf(h);
    if (!w) return FALSE;
    if (IsVisibleChain(*w) && !w->minimized && PaintPending(*w)) {
        if (w->update.Empty()) {
            SendNcPaint(h);
        } else {
            Send(h, WM_PAINT, 0, 0);
        }
    }
    w = WindowOf(h);
    if (!w) return TRUE;
    std::vector<HWND> kids = w->children;
    for (HWND c : kids) UpdateWindow(c);
    return TRUE;
}

HDC WINAPI BeginPaint(HWND h, LPPAINTSTRUCT ps) {
    Window *w = WindowOf(h);
    if (!w || !ps) return nullptr;
    SendNcPaint(h);
    w = WindowOf(h);
    if (!w) return nullptr;
    gdi::Region area = w->update;
    area.Intersect(gdi::Region(ClientBounds(*w)));
    bool erase = w->erase;
    w->update = gdi::Region();
    w->erase = false;
    POINT o = ClientOriginOnSurface(*w);
    gdi::Region limit = area;
    limit.Offset(o.x, o.y);
    HDC dc = MakeDC(*w, true, true, &limit);
    if (!dc) return nullptr;
    *ps = PAINTSTRUCT{};
    ps->hdc = dc;
    ps->rcPaint = area.Bounds();
    ps->fErase = FALSE;
    if (erase) ps->fErase = Send(h, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? FALSE : TRUE;
    return dc;
}

BOOL WINAPI EndPaint(HWND h, const PAINTSTRUCT *ps) {
    (void)h;
    if (!ps || !ps->hdc) return FALSE;
    ReleaseAndPresent(ps->hdc);
    return TRUE;
}

HDC WINAPI GetDC(HWND h) {
    if (!h) {
        // A screen DC: measuring works, drawing lands nowhere.
        HDC dc = gdi::CreateSurfaceDC(&ScratchSurface(), POINT{0, 0}, gdi::Region(), nullptr);
        if (dc) Dcs()[dc] = DcInfo{nullptr, nullptr, RECT{0, 0, 0, 0}};
        return dc;
    }
    Window *w = WindowOf(h);
    if (!w) return nullptr;
    return MakeDC(*w, true, true, nullptr);
}

HDC WINAPI GetWindowDC(HWND h) {
    if (!h) return GetDC(nullptr);
    Window *w = WindowOf(h);
    if (!w) return nullptr;
    return MakeDC(*w, false, false, nullptr);
}

int WINAPI ReleaseDC(HWND h, HDC dc) {
    (void)h;
    if (Dcs().find(dc) == Dcs().end()) return 0;
    ReleaseAndPresent(dc);
    return 1;
}
