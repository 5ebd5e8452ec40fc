// Window and client rectangles, coordinates, moving, sizing and showing.
#include <algorithm>

#include "platform/user/geometry.h"

#include "platform/common/classic.h"
#include "platform/common/nonclient.h"
#include "platform/user/focus.h"
#include "platform/user/input.h"
#include "platform/user/paint.h"
#include "platform/user/session.h"
#include "platform/user/wm.h"
#include "platform/user/zorder.h"

namespace win32::wm {

namespace {

// What the window system is to hear of next, or just told the layer.
struct PendingNative {
    // The top-level the window system moved: the layer follows without
    // moving its native window again.
    HWND configuring = nullptr;
    // Top-levels shown whose native windows are mapped at the next read of
    // the queue.
    std::vector<HWND> maps;
};

PendingNative &Pending() {
    static auto *pending = new PendingNative();
    return *pending;
}

}  // namespace

Insets NonClientInsets(const Window &w) {
    Insets in;
    if (IsTopLevel(w)) {
        if ((w.style & WS_CAPTION) == WS_CAPTION) {
            in.left = in.right = in.bottom = classic::kFrameWidth;
            in.top = classic::kFrameWidth + classic::kCaptionHeight;
        }
    } else {
        int b = 0;
        if (w.exStyle & WS_EX_CLIENTEDGE) b += classic::kEdge;
        if (w.style & WS_BORDER) b += classic::kBorderWidth;
        in.left = in.top = in.right = in.bottom = b;
    }
    if (w.style & WS_VSCROLL) in.right += win32::VScrollBarWidth(w.hwnd);
    // Never larger than the window itself.
    int wd = w.rect.right - w.rect.left, ht = w.rect.bottom - w.rect.top;
    if (in.left + in.right > wd) in.right = std::max(0, wd - in.left);
    if (in.left > wd) in.left = wd;
    if (in.top + in.bottom > ht) in.bottom = std::max(0, ht - in.top);
    if (in.top > ht) in.top = ht;
    return in;
}

RECT ClientRectInParent(const Window &w) {
    Insets in = NonClientInsets(w);
    return {w.rect.left + in.left, w.rect.top + in.top, w.rect.right - in.right, w.rect.bottom - in.bottom};
}

POINT WindowOriginScreen(const Window &w) {
    if (IsTopLevel(w)) return {w.rect.left, w.rect.top};
    Window *p = WindowOf(w.parent);
    POINT o = p ? ClientOriginScreen(*p) : POINT{0, 0};
    return {o.x + w.rect.left, o.y + w.rect.top};
}

POINT ClientOriginScreen(const Window &w) {
    POINT o = WindowOriginScreen(w);
    Insets in = NonClientInsets(w);
    return {o.x + in.left, o.y + in.top};
}

POINT WindowOriginOnSurface(const Window &w) {
    if (IsTopLevel(w)) {
        Insets in = NonClientInsets(w);
        return {-in.left, -in.top};
    }
    Window *p = WindowOf(w.parent);
    POINT o = p ? ClientOriginOnSurface(*p) : POINT{0, 0};
    return {o.x + w.rect.left, o.y + w.rect.top};
}

POINT ClientOriginOnSurface(const Window &w) {
    if (IsTopLevel(w)) return {0, 0};
    POINT o = WindowOriginOnSurface(w);
    Insets in = NonClientInsets(w);
    return {o.x + in.left, o.y + in.top};
}

bool IsVisibleChain(const Window &w) {
    const Window *c = &w;
    while (c) {
        if (!(c->style & WS_VISIBLE)) return false;
        if (IsTopLevel(*c)) return true;
        c = WindowOf(c->parent);
    }
    return false;
}

bool IsEnabledChain(const Window &w) {
    const Window *c = &w;
    while (c) {
        if (c->style & WS_DISABLED) return false;
        if (IsTopLevel(*c)) return true;
        c = WindowOf(c->parent);
    }
    return false;
}

namespace {

gdi::Region ShapeOnSurface(const Window &w) {
    gdi::Region r = *w.shape;
    POINT o = WindowOriginOnSurface(w);
    r.Offset(o.x, o.y);
    return r;
}

}  // namespace

gdi::Region VisibleRegion(const Window &w, bool client, bool clipChildren) {
    RECT r;
    if (client) {
        POINT o = ClientOriginOnSurface(w);
        RECT cr = ClientRectInParent(w);
        r = {o.x, o.y, o.x + (cr.right - cr.left), o.y + (cr.bottom - cr.top)};
    } else {
        POINT o = WindowOriginOnSurface(w);
        r = {o.x, o.y, o.x + (w.rect.right - w.rect.left), o.y + (w.rect.bottom - w.rect.top)};
    }
    gdi::Region region(r);
    if (w.shape) region.Intersect(ShapeOnSurface(w));
    const Window *a = &w;
    while (!IsTopLevel(*a)) {
        a = WindowOf(a->parent);
        if (!a) return gdi::Region();
        POINT o = ClientOriginOnSurface(*a);
        RECT cr = ClientRectInParent(*a);
        region.Intersect(gdi::Region(RECT{o.x, o.y, o.x + (cr.right - cr.left), o.y + (cr.bottom - cr.top)}));
        if (a->shape) region.Intersect(ShapeOnSurface(*a));
    }
    // The top-level's surface bounds.
    if (a->surface)
        region.Intersect(gdi::Region(RECT{0, 0, a->surface->LogicalWidth(), a->surface->LogicalHeight()}));
    if (client && clipChildren) {
        for (HWND c : w.children) {
            Window *k = WindowOf(c);
            if (!k || !(k->style & WS_VISIBLE)) continue;
            gdi::Region kr(VisibleRegion(*k, false, false));
            region.Subtract(kr);
        }
    }
    return region;
}

void EnsureSurfacePixels(Window &top) {
    gdi::Surface &s = *top.surface;
    size_t size = static_cast<size_t>(s.width) * static_cast<size_t>(s.height);
    if (s.pixels.size() != size) s.pixels.assign(size, 0);
}

void ResizeSurface(Window &top) {
    if (!top.surface) return;
    RECT cr = ClientRectInParent(top);
    // The surface holds the client area at the window's scale.
    display::Backend &b = display::Current();
    const int scale = top.native ? b.WindowScale(top.native) : b.InitialScale();
    int w = gdi::DeviceEdge(std::max<int>(0, cr.right - cr.left), scale),
        h = gdi::DeviceEdge(std::max<int>(0, cr.bottom - cr.top), scale);
    gdi::Surface &s = *top.surface;
    if (s.width == w && s.height == h && s.scale == scale) return;
    if (s.pixels.empty()) {
        // Nothing drawn yet: the pixels come with the first paint, at the
        // size the window has by then.
        s.width = w;
        s.height = h;
        s.scale = scale;
        return;
    }
    // Keep what was drawn where it still fits; the rest is repainted.
    std::vector<uint32_t> old = std::move(s.pixels);
    int ow = s.scale == scale ? s.width : 0, oh = s.scale == scale ? s.height : 0;
    s.width = w;
    s.height = h;
    s.scale = scale;
    s.pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    for (int y = 0; y < std::min(h, oh); ++y)
        std::copy_n(old.begin() + static_cast<long>(y) * ow, std::min(w, ow),
                    s.pixels.begin() + static_cast<long>(y) * w);
}

namespace {

display::TopLevelParams ParamsOf(const Window &w) {
    display::TopLevelParams p;
    POINT o = ClientOriginScreen(w);
    RECT cr = ClientRectInParent(w);
    p.client = {o.x, o.y, o.x + (cr.right - cr.left), o.y + (cr.bottom - cr.top)};
    p.decorated = (w.style & WS_CAPTION) == WS_CAPTION;
    p.popup = !p.decorated;
    if (Window *o2 = WindowOf(w.owner)) p.owner = o2->native;
    p.title = w.text;
    return p;
}

void EnsureNative(Window &top) {
    if (top.native) return;
    display::Backend &b = display::Current();
    ScreenSize();  // the display is open now: GDI learns the screen's size
    top.native = b.CreateTopLevel(ParamsOf(top));
    ResizeSurface(top);  // at the native window's own scale
    if (Window *owner = WindowOf(top.owner); owner && (owner->style & WS_DISABLED))
        b.SetModal(top.native, true);
    if (top.shape) {
        gdi::Region client = *top.shape;
        Insets in = NonClientInsets(top);
        client.Offset(-in.left, -in.top);
        b.SetShape(top.native, &client);
    }
    if (top.cls->icon) {
        int iw = 0, ih = 0;
        std::vector<uint32_t> px;
        std::vector<uint8_t> mask;
        if (gdi::IconPixels(top.cls->icon, &iw, &ih, &px, &mask))
            b.SetIcon(top.native, iw, ih, px.data(), mask.data());
    }
}

void SyncNative(Window &w) {
    if (!IsTopLevel(w) || !w.native || Pending().configuring == w.hwnd) return;
    display::TopLevelParams p = ParamsOf(w);
    display::Current().MoveTopLevel(w.native, p.client);
}

// The WINDOWPOS the change asks for, with what SWP_NOMOVE/SWP_NOSIZE keep,
// after the window had its say in WM_WINDOWPOSCHANGING. False when the
// window went away.
bool AskedPos(HWND h, WINDOWPOS *wp) {
    Window *w = WindowOf(h);
    if (wp->flags & SWP_NOMOVE) {
        wp->x = w->rect.left;
        wp->y = w->rect.top;
    }
    if (wp->flags & SWP_NOSIZE) {
        wp->cx = w->rect.right - w->rect.left;
        wp->cy = w->rect.bottom - w->rect.top;
    }
    Send(h, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(wp));
    if (!WindowOf(h)) return false;
    if (wp->cx < 0) wp->cx = 0;
    if (wp->cy < 0) wp->cy = 0;
    return true;
}

// A resized window repaints all of itself (CS_HREDRAW/CS_VREDRAW, or a
// child), else only what was not part of its old client area.
void InvalidateResized(Window &w, const RECT &oldClient) {
    bool full = (w.cls->style & (CS_HREDRAW | CS_VREDRAW)) != 0 || !IsTopLevel(w);
    if (full) {
        InvalidateTree(w.hwnd, true, true);
        return;
    }
    RECT nc = ClientRectInParent(w);
    gdi::Region fresh(RECT{0, 0, nc.right - nc.left, nc.bottom - nc.top});
    fresh.Subtract(
        gdi::Region(RECT{0, 0, oldClient.right - oldClient.left, oldClient.bottom - oldClient.top}));
    InvalidateClient(w, fresh, true);
    w.ncPaint = true;
}

// A top-level shown is mapped when the queue is next read: by then the
// program has placed it, shaped it and disabled its owner, and the window
// manager sees it once, whole (some place a window only when it maps, and
// read its state only then).
void ShowOrHideNative(Window &w, bool show) {
    std::vector<HWND> &pending = Pending().maps;
    if (show) {
        if (IsTopLevel(w)) {
            EnsureNative(w);
            w.nativeShown = true;
            if (std::find(pending.begin(), pending.end(), w.hwnd) == pending.end()) pending.push_back(w.hwnd);
        }
        InvalidateTree(w.hwnd, true, true);
        return;
    }
    std::erase(pending, w.hwnd);
    if (IsTopLevel(w) && w.native) {
        display::Current().ShowTopLevel(w.native, false);
        w.nativeShown = false;
    }
    ClearFocusIfIn(w.hwnd);
}

// Applies a position/size/visibility change with the messages Win32 sends.
bool SetPos(HWND h, int x, int y, int cx, int cy, UINT flags) {
    Window *w = WindowOf(h);
    if (!w) return false;
    WINDOWPOS wp{h, nullptr, x, y, std::max(cx, 0), std::max(cy, 0), flags};
    if (!AskedPos(h, &wp)) return false;
    w = WindowOf(h);

    RECT old = w->rect;
    RECT oldClient = ClientRectInParent(*w);
    bool wasVisible = (w->style & WS_VISIBLE) != 0;
    RECT nr = {wp.x, wp.y, wp.x + wp.cx, wp.y + wp.cy};
    bool moved = nr.left != old.left || nr.top != old.top;
    bool sized =
        (nr.right - nr.left) != (old.right - old.left) || (nr.bottom - nr.top) != (old.bottom - old.top);
    UINT outFlags = wp.flags | (moved ? 0 : SWP_NOMOVE) | (sized ? 0 : SWP_NOSIZE);
    bool show = (wp.flags & SWP_SHOWWINDOW) && !wasVisible;
    bool hide = (wp.flags & SWP_HIDEWINDOW) && wasVisible;
    bool redraw = !(wp.flags & SWP_NOREDRAW);

    Window *parent = IsTopLevel(*w) ? nullptr : WindowOf(w->parent);
    // The parent repaints what the window leaves uncovered.
    if (parent && wasVisible && redraw && (moved || sized || hide)) {
        InvalidateClient(*parent, gdi::Region(old), true);
    }
    w->rect = nr;
    if (show) w->style |= WS_VISIBLE;
    if (hide) w->style &= ~WS_VISIBLE;

    if (IsTopLevel(*w) && (moved || sized)) {
        ResizeSurface(*w);
        SyncNative(*w);
    }
    if (sized && redraw) {
        InvalidateResized(*w, oldClient);
    } else if (moved && redraw && parent) {
        InvalidateTree(h, true, true);
    }
    if (show || hide) ShowOrHideNative(*w, show);
    if (!(wp.flags & SWP_NOZORDER) && IsTopLevel(*w)) BringToTop(h);
    if (show && IsTopLevel(*w) && !(wp.flags & SWP_NOACTIVATE)) Activate(h, WA_ACTIVE, false);
    w = WindowOf(h);
    if (!w) return true;
    wp.flags = outFlags;
    wp.x = w->rect.left;
    wp.y = w->rect.top;
    wp.cx = w->rect.right - w->rect.left;
    wp.cy = w->rect.bottom - w->rect.top;
    Send(h, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
    return true;
}

}  // namespace

void FollowNative(HWND h, const RECT &r) {
    PendingNative &p = Pending();
    HWND outer = p.configuring;
    p.configuring = h;
    SetPos(h, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
    p.configuring = outer;
}

void MapPendingWindows() {
    std::vector<HWND> pending;
    pending.swap(Pending().maps);
    for (HWND h : pending) {
        Window *w = WindowOf(h);
        if (w && w->nativeShown && w->native) display::Current().ShowTopLevel(w->native, true);
    }
}

void ResetPlacement() {
    Pending() = PendingNative{};
}

}  // namespace win32::wm

using namespace win32;
using namespace win32::wm;

BOOL WINAPI GetWindowRect(HWND h, LPRECT r) {
    Window *w = WindowOf(h);
    if (!w || !r) return FALSE;
    if (IsTopLevel(*w) && w->nativeShown) {
        // A window manager may have moved it without a word.
        RefreshNativePosition(*w);
        if ((w = WindowOf(h)) == nullptr) return FALSE;
    }
    POINT o = WindowOriginScreen(*w);
    *r = {o.x, o.y, o.x + (w->rect.right - w->rect.left), o.y + (w->rect.bottom - w->rect.top)};
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND h, LPRECT r) {
    Window *w = WindowOf(h);
    if (!w || !r) return FALSE;
    RECT cr = ClientRectInParent(*w);
    *r = {0, 0, cr.right - cr.left, cr.bottom - cr.top};
    if (w->minimized) *r = {0, 0, 0, 0};
    return TRUE;
}

BOOL WINAPI ClientToScreen(HWND h, LPPOINT p) {
    Window *w = WindowOf(h);
    if (!w || !p) return FALSE;
    POINT o = ClientOriginScreen(*w);
    p->x += o.x;
    p->y += o.y;
    return TRUE;
}

BOOL WINAPI ScreenToClient(HWND h, LPPOINT p) {
    Window *w = WindowOf(h);
    if (!w || !p) return FALSE;
    POINT o = ClientOriginScreen(*w);
    p->x -= o.x;
    p->y -= o.y;
    return TRUE;
}

BOOL WINAPI SetWindowPos(HWND h, HWND after, int x, int y, int cx, int cy, UINT flags) {
    Window *w = WindowOf(h);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    // Z-order among siblings; top-level windows come to the top in SetPos.
    if (!(flags & SWP_NOZORDER) && !IsTopLevel(*w)) {
        auto &sib = WindowOf(w->parent)->children;
        sib.erase(std::remove(sib.begin(), sib.end(), h), sib.end());
        auto at = sib.begin();
        if (after == HWND_BOTTOM) {
            at = sib.end();
        } else if (after != HWND_TOP && after != HWND_TOPMOST && after != HWND_NOTOPMOST) {
            auto it = std::find(sib.begin(), sib.end(), after);
            if (it != sib.end()) at = it + 1;
        }
        sib.insert(at, h);
        InvalidateTree(h, true, true);
        flags |= SWP_NOZORDER;
    }
    return SetPos(h, x, y, cx, cy, flags) ? TRUE : FALSE;
}

BOOL WINAPI MoveWindow(HWND h, int x, int y, int cx, int cy, BOOL repaint) {
    return SetWindowPos(h, nullptr, x, y, cx, cy,
                        SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL WINAPI ShowWindow(HWND h, int cmd) {
    Window *w = WindowOf(h);
    if (!w) return FALSE;
    bool wasVisible = (w->style & WS_VISIBLE) != 0;
    switch (cmd) {
        case SW_HIDE:
            if (!wasVisible) return FALSE;
            Send(h, WM_SHOWWINDOW, FALSE, 0);
            SetPos(h, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            return TRUE;
        case SW_MINIMIZE:
        case SW_SHOWMINIMIZED:
        case SW_SHOWMINNOACTIVE:
            if (!wasVisible) {
                Send(h, WM_SHOWWINDOW, TRUE, 0);
                SetPos(h, 0, 0, 0, 0,
                       SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
            if ((w = WindowOf(h)) && !w->minimized) {
                w->minimized = true;
                w->needSizeMove = false;
                Send(h, WM_SIZE, SIZE_MINIMIZED, 0);
            }
            return wasVisible;
        default:
            break;
    }
    bool activate = cmd != SW_SHOWNA && cmd != SW_SHOWNOACTIVATE;
    if (w->minimized &&
        (cmd == SW_RESTORE || cmd == SW_SHOWNORMAL || cmd == SW_SHOW || cmd == SW_SHOWDEFAULT)) {
        w->minimized = false;
        RECT cr = ClientRectInParent(*w);
        InvalidateTree(h, true, true);
        Send(h, WM_SIZE, SIZE_RESTORED, MAKELPARAM(cr.right - cr.left, cr.bottom - cr.top));
        if (!WindowOf(h)) return wasVisible;
    }
    if (!wasVisible) {
        Send(h, WM_SHOWWINDOW, TRUE, 0);
        if (!WindowOf(h)) return FALSE;
        SetPos(h, 0, 0, 0, 0, SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE | (activate ? 0 : SWP_NOACTIVATE));
    } else if (activate && IsTopLevel(*w) && GetActiveWindow() != h) {
        Activate(h, WA_ACTIVE, false);
    }
    return wasVisible;
}
