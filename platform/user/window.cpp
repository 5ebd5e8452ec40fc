// The window tree: creation, destruction, relations.
#include <algorithm>
#include <cstring>

#include "platform/common/a11y_hooks.h"
#include "platform/common/classic.h"
#include "platform/common/handles.h"
#include "platform/user/class.h"
#include "platform/user/focus.h"
#include "platform/user/geometry.h"
#include "platform/user/input.h"
#include "platform/user/paint.h"
#include "platform/user/session.h"
#include "platform/user/wm.h"
#include "platform/user/zorder.h"

namespace win32::wm {

namespace {

// The table outlives the sessions the test seam starts over, and static
// destructors (windows may outlive them); the list of top-levels and the
// cascade belong to one session.
struct WindowList {
    std::vector<HWND> topLevels;  // z-order, top first
    int cascade = 0;              // CW_USEDEFAULT cascade step
};

HandleTable<Window> &Table() {
    static auto *table = new HandleTable<Window>(HandleKind::Window);
    return *table;
}

WindowList &Windows() {
    static auto *list = new WindowList();
    return *list;
}

void Unlink(Window &w) {
    std::vector<HWND> *list = &Windows().topLevels;
    if (!IsTopLevel(w)) {
        Window *p = WindowOf(w.parent);
        if (!p) return;
        list = &p->children;
    }
    list->erase(std::remove(list->begin(), list->end(), w.hwnd), list->end());
}

void FreeWindow(HWND h) {
    Window *w = WindowOf(h);
    if (!w) return;
    a11y::WindowDestroying(h);
    Unlink(*w);
    if (w->native && display::IsOpen()) display::Current().DestroyTopLevel(w->native);
    w->cls->windows--;
    ForgetFocusOf(h);
    ForgetPointerOf(h);
    Table().Remove(HandleValue(h));
}

void SendDestroyTree(HWND h) {
    Window *w = WindowOf(h);
    if (!w || w->destroyedSent) return;
    w->destroyedSent = true;
    Send(h, WM_DESTROY, 0, 0);
    w = WindowOf(h);
    if (!w) return;
    std::vector<HWND> kids = w->children;
    for (HWND c : kids) {
        if (Window *cw = WindowOf(c)) cw->destroying = true;
        SendDestroyTree(c);
    }
}

void NcDestroyTree(HWND h) {
    Window *w = WindowOf(h);
    if (!w) return;
    std::vector<HWND> kids = w->children;
    for (HWND c : kids) NcDestroyTree(c);
    Send(h, WM_NCDESTROY, 0, 0);
    if (WindowOf(h)) {
        // Posted messages for it are dropped as they come up (stale handle).
        FreeWindow(h);
    }
}

// Picks the window that becomes active when `gone` goes away.
HWND NextActive(HWND gone) {
    Window *g = WindowOf(gone);
    if (g && g->owner) {
        Window *o = WindowOf(g->owner);
        if (o && (o->style & WS_VISIBLE) && !(o->style & WS_DISABLED)) return g->owner;
    }
    for (HWND t : Windows().topLevels) {
        if (t == gone) continue;
        Window *o = WindowOf(t);
        if (o && !o->destroying && (o->style & WS_VISIBLE) && !(o->style & WS_DISABLED)) return t;
    }
    return nullptr;
}

void HideForDestroy(HWND h) {
    Window *w = WindowOf(h);
    if (!w || !(w->style & WS_VISIBLE)) return;
    SetWindowPos(h, nullptr, 0, 0, 0, 0,
                 SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool DestroyImpl(HWND h) {
    Window *w = WindowOf(h);
    if (!w) return false;
    if (w->destroying) return true;
    w->destroying = true;

    // Owned windows go first, each completely.
    if (IsTopLevel(*w)) {
        std::vector<HWND> owned;
        for (HWND t : Windows().topLevels)
            if (Window *o = WindowOf(t); o && o->owner == h) owned.push_back(t);
        for (HWND o : owned) DestroyImpl(o);
    }

    w = WindowOf(h);
    if (!w) return true;
    if (!IsTopLevel(*w) && !(w->exStyle & WS_EX_NOPARENTNOTIFY)) {
        Send(w->parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_DESTROY, static_cast<WORD>(w->id)),
             reinterpret_cast<LPARAM>(h));
    }
    HideForDestroy(h);
    // Focus and capture leave the tree; activation moves on.
    ReleaseCaptureIfIn(h);
    ClearFocusIfIn(h);
    if (GetActiveWindow() == h) {
        HWND next = NextActive(h);
        if (next) {
            Activate(next, WA_ACTIVE, false);
        } else {
            Activate(nullptr, WA_INACTIVE, false);
        }
    }
    SendDestroyTree(h);
    NcDestroyTree(h);
    return true;
}

int DefaultCascade(int step) {
    return (step % 10) * (classic::kCaptionHeight + classic::kFrameWidth);
}

}  // namespace

Window *WindowOf(HWND h) {
    return Table().Get(HandleValue(h));
}

Window *WindowOfNative(display::NativeId id) {
    Window *found = nullptr;
    if (!id) return nullptr;
    Table().ForEach([&](uintptr_t, Window &w) {
        if (w.native == id) found = &w;
    });
    return found;
}

size_t WindowCount() {
    return Table().LiveCount();
}

const std::vector<HWND> &TopLevels() {
    return Windows().topLevels;
}

void ResetWindowList() {
    Windows() = WindowList{};
}

LRESULT Send(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    Window *w = WindowOf(h);
    if (!w || !w->proc) return 0;
    return CallWindowProcA(w->proc, h, msg, wp, lp);
}

Window *TopLevelOf(Window *w) {
    while (w && !IsTopLevel(*w)) w = WindowOf(w->parent);
    return w;
}

// Puts a top-level window on top of the others, its owned windows above it.
void BringToTop(HWND h) {
    Window *w = WindowOf(h);
    if (!w || !IsTopLevel(*w)) return;
    auto &l = Windows().topLevels;
    l.erase(std::remove(l.begin(), l.end(), h), l.end());
    l.insert(l.begin(), h);
    std::vector<HWND> owned;
    for (HWND t : l)
        if (Window *o = WindowOf(t); o && o->owner == h) owned.push_back(t);
    for (auto it = owned.rbegin(); it != owned.rend(); ++it) BringToTop(*it);
}

bool CoversPoint(const Window &w, POINT pt) {
    if (!(w.style & WS_VISIBLE) || w.minimized) return false;
    if (pt.x < w.rect.left || pt.x >= w.rect.right || pt.y < w.rect.top || pt.y >= w.rect.bottom)
        return false;
    POINT o = WindowOriginScreen(w);
    return !w.shape || w.shape->Contains(pt.x - o.x, pt.y - o.y);
}

HWND DeepestWindowAt(Window &top, POINT pt) {
    Window *cur = &top;
    for (;;) {
        Window *next = nullptr;
        POINT co = ClientOriginScreen(*cur);
        RECT cr = ClientRectInParent(*cur);
        int cw = cr.right - cr.left, ch = cr.bottom - cr.top;
        int cx = pt.x - co.x, cy = pt.y - co.y;
        if (cx < 0 || cy < 0 || cx >= cw || cy >= ch) break;
        for (HWND c : cur->children) {
            Window *k = WindowOf(c);
            if (!k || !(k->style & WS_VISIBLE) || (k->style & WS_DISABLED)) continue;
            if (cx < k->rect.left || cx >= k->rect.right || cy < k->rect.top || cy >= k->rect.bottom)
                continue;
            if (k->shape && !k->shape->Contains(cx - k->rect.left, cy - k->rect.top)) continue;
            next = k;
            break;
        }
        if (!next) break;
        cur = next;
    }
    return cur->hwnd;
}

}  // namespace win32::wm

using namespace win32;
using namespace win32::wm;

namespace {

// A child's parent must be a window; a top-level's "parent" names its owner,
// which is the top-level window it belongs to.
bool ResolveParentAndOwner(DWORD style, HWND parentArg, HWND *parent, HWND *owner) {
    *parent = *owner = nullptr;
    if (style & WS_CHILD) {
        if (!WindowOf(parentArg)) return false;
        *parent = parentArg;
    } else if (parentArg) {
        Window *o = TopLevelOf(WindowOf(parentArg));
        if (!o) return false;
        *owner = o->hwnd;
    }
    return true;
}

// CW_USEDEFAULT: overlapped windows cascade over the work area at three
// quarters of its size (and a default y is the show command); others get 0.
void DefaultPlacement(bool overlapped, int *x, int *y, int *width, int *height, int *showCmd) {
    const int useDefault = static_cast<int>(CW_USEDEFAULT);
    if (*x == useDefault) {
        if (overlapped) {
            if (*y != useDefault) *showCmd = *y;
            int d = DefaultCascade(Windows().cascade++);
            RECT wa = display::Current().WorkArea();
            *x = wa.left + d;
            *y = wa.top + d;
        } else {
            *x = *y = 0;
        }
    }
    if (*width == useDefault) {
        if (overlapped) {
            RECT wa = display::Current().WorkArea();
            *width = (wa.right - wa.left) * 3 / 4;
            *height = (wa.bottom - wa.top) * 3 / 4;
        } else {
            *width = *height = 0;
        }
    }
    if (*width < 0) *width = 0;
    if (*height < 0) *height = 0;
}

HWND NewWindowRecord(const std::shared_ptr<WindowClass> &cls, DWORD exStyle, DWORD style, HWND parent,
                     HWND owner, HMENU menu, HINSTANCE instance) {
    auto owned = std::make_unique<Window>();
    Window *w = owned.get();
    HWND h = MakeHandle<HWND>(Table().Add(std::move(owned)));
    if (!h) return nullptr;
    w->hwnd = h;
    w->cls = cls;
    cls->windows++;
    w->proc = cls->proc;
    w->style = style & ~WS_VISIBLE;
    w->exStyle = exStyle;
    w->instance = instance;
    w->parent = parent;
    w->owner = owner;
    w->id = (style & WS_CHILD) ? reinterpret_cast<LONG_PTR>(menu) : 0;
    w->extra.assign(static_cast<size_t>(cls->wndExtra), 0);
    if (parent) {
        WindowOf(parent)->children.push_back(h);
    } else {
        Windows().topLevels.insert(Windows().topLevels.begin(), h);
    }
    return h;
}

// WM_GETMINMAXINFO for framed windows; a sizing frame keeps the size within
// the track limits.
void ApplyMinMax(HWND h, DWORD style, int *width, int *height) {
    if (!(style & (WS_CAPTION | WS_THICKFRAME))) return;
    MINMAXINFO mmi{};
    SIZE scr = ScreenSize();
    Insets in = NonClientInsets(*WindowOf(h));
    mmi.ptMaxSize = {scr.cx + in.left + in.right - 2 * classic::kFrameWidth,
                     scr.cy + in.top + in.bottom - 2 * classic::kFrameWidth};
    mmi.ptMaxPosition = {-in.left, -in.top};
    mmi.ptMinTrackSize = {classic::kMinTrackWidth, classic::kMinTrackHeight};
    mmi.ptMaxTrackSize = {scr.cx + 2 * classic::kFrameWidth + 12, scr.cy + 2 * classic::kFrameWidth + 12};
    Send(h, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
    if (style & WS_THICKFRAME) {
        *width = std::clamp<int>(*width, mmi.ptMinTrackSize.x,
                                 std::max(mmi.ptMinTrackSize.x, mmi.ptMaxTrackSize.x));
        *height = std::clamp<int>(*height, mmi.ptMinTrackSize.y,
                                  std::max(mmi.ptMinTrackSize.y, mmi.ptMaxTrackSize.y));
    }
}

// WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE and the parent's WM_PARENTNOTIFY;
// false when the window refused or went away on the way.
bool CreationSequence(HWND h, HWND parent, DWORD exStyle, CREATESTRUCTA &cs) {
    if (!Send(h, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
        if (Window *ww = WindowOf(h)) ww->destroying = true;
        NcDestroyTree(h);
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (!WindowOf(h)) return false;
    RECT nc = WindowOf(h)->rect;
    Send(h, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&nc));
    if (!WindowOf(h)) return false;
    if (Send(h, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        if (WindowOf(h)) DestroyImpl(h);
        return false;
    }
    if (!WindowOf(h)) return false;
    if (parent && !(exStyle & WS_EX_NOPARENTNOTIFY)) {
        Send(parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, static_cast<WORD>(WindowOf(h)->id)),
             reinterpret_cast<LPARAM>(h));
        if (!WindowOf(h)) return false;
    }
    return true;
}

}  // namespace

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND parentArg, HMENU menu, HINSTANCE instance,
                            LPVOID param) {
    auto cls = FindClass(className, instance);
    if (!cls) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    HWND parent, owner;
    if (!ResolveParentAndOwner(style, parentArg, &parent, &owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    bool overlapped = (style & (WS_CHILD | WS_POPUP)) == 0;
    if (overlapped) style |= WS_CAPTION | WS_CLIPSIBLINGS;
    int showCmd = SW_SHOW;
    DefaultPlacement(overlapped, &x, &y, &width, &height, &showCmd);

    HWND h = NewWindowRecord(cls, exStyle, style, parent, owner, menu, instance);
    if (!h) return nullptr;
    ApplyMinMax(h, style, &width, &height);
    if (!WindowOf(h)) return nullptr;
    WindowOf(h)->rect = {x, y, x + width, y + height};
    if (IsTopLevel(*WindowOf(h))) {
        WindowOf(h)->surface = std::make_unique<gdi::Surface>();
        ResizeSurface(*WindowOf(h));
    }

    CREATESTRUCTA cs{};
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hMenu = menu;
    cs.hwndParent = parent ? parent : owner;
    cs.cx = width;
    cs.cy = height;
    cs.x = x;
    cs.y = y;
    cs.style = static_cast<LONG>(style);
    cs.lpszName = windowName;
    cs.lpszClass = className;
    cs.dwExStyle = exStyle;
    if (!CreationSequence(h, parent, exStyle, cs)) return nullptr;
    a11y::WindowCreated(h);
    if (style & WS_VISIBLE) {
        if (showCmd == SW_SHOWDEFAULT) showCmd = SW_SHOW;
        ShowWindow(h, showCmd);
    }
    return WindowOf(h) ? h : nullptr;
}

BOOL WINAPI DestroyWindow(HWND h) {
    if (!WindowOf(h)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    DestroyImpl(h);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND h) {
    return WindowOf(h) != nullptr;
}

BOOL WINAPI IsWindowVisible(HWND h) {
    Window *w = WindowOf(h);
    return w && IsVisibleChain(*w);
}

BOOL WINAPI IsWindowEnabled(HWND h) {
    Window *w = WindowOf(h);
    return w && !(w->style & WS_DISABLED);
}

BOOL WINAPI IsChild(HWND parent, HWND h) {
    Window *w = WindowOf(h);
    while (w && !IsTopLevel(*w)) {
        if (w->parent == parent) return TRUE;
        w = WindowOf(w->parent);
    }
    return FALSE;
}

HWND WINAPI GetWindow(HWND h, UINT cmd) {
    Window *w = WindowOf(h);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    const std::vector<HWND> *siblings = &Windows().topLevels;
    if (!IsTopLevel(*w)) siblings = &WindowOf(w->parent)->children;
    auto it = std::find(siblings->begin(), siblings->end(), h);
    switch (cmd) {
        case GW_OWNER:
            return IsTopLevel(*w) ? w->owner : nullptr;
        case GW_CHILD:
            return w->children.empty() ? nullptr : w->children.front();
        case GW_HWNDFIRST:
            return siblings->empty() ? nullptr : siblings->front();
        case GW_HWNDLAST:
            return siblings->empty() ? nullptr : siblings->back();
        case GW_HWNDNEXT:
            if (it == siblings->end() || it + 1 == siblings->end()) return nullptr;
            return *(it + 1);
        case GW_HWNDPREV:
            if (it == siblings->end() || it == siblings->begin()) return nullptr;
            return *(it - 1);
        default:
            return nullptr;
    }
}

HWND WINAPI GetParent(HWND h) {
    Window *w = WindowOf(h);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (!IsTopLevel(*w)) return w->parent;
    if (!(w->style & WS_POPUP)) return nullptr;
    Window *o = WindowOf(w->owner);
    if (!o || (o->style & WS_POPUP)) return nullptr;
    return w->owner;
}

HWND WINAPI GetDlgItem(HWND dlg, int id) {
    Window *w = WindowOf(dlg);
    if (!w) return nullptr;
    for (HWND c : w->children)
        if (Window *cw = WindowOf(c); cw && static_cast<int>(cw->id) == id) return c;
    return nullptr;
}

int WINAPI GetDlgCtrlID(HWND h) {
    Window *w = WindowOf(h);
    if (!w || IsTopLevel(*w)) return 0;
    return static_cast<int>(w->id);
}

BOOL WINAPI EnableWindow(HWND h, BOOL enable) {
    Window *w = WindowOf(h);
    if (!w) return FALSE;
    bool wasDisabled = (w->style & WS_DISABLED) != 0;
    if (!enable) {
        Send(h, WM_CANCELMODE, 0, 0);
        w = WindowOf(h);
        if (!w) return wasDisabled;
        if (!wasDisabled) {
            w->style |= WS_DISABLED;
            ClearFocusIfIn(h);
            ReleaseCaptureIfIn(h);
            Send(h, WM_ENABLE, FALSE, 0);
        }
    } else if (wasDisabled) {
        w->style &= ~WS_DISABLED;
        Send(h, WM_ENABLE, TRUE, 0);
    }
    if (wasDisabled != !enable && IsTopLevel(*w) && display::IsOpen()) {
        for (HWND t : Windows().topLevels) {
            Window *o = WindowOf(t);
            if (o && o->owner == h && o->native) display::Current().SetModal(o->native, !enable);
        }
    }
    return wasDisabled;
}

BOOL WINAPI SetWindowTextA(HWND h, LPCSTR text) {
    if (!WindowOf(h)) return FALSE;
    return Send(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int WINAPI GetWindowTextA(HWND h, LPSTR buf, int max) {
    if (!WindowOf(h) || !buf || max <= 0) return 0;
    return static_cast<int>(Send(h, WM_GETTEXT, static_cast<WPARAM>(max), reinterpret_cast<LPARAM>(buf)));
}

int WINAPI GetWindowTextLengthA(HWND h) {
    if (!WindowOf(h)) return 0;
    return static_cast<int>(Send(h, WM_GETTEXTLENGTH, 0, 0));
}

int WINAPI SetWindowRgn(HWND h, HRGN rgn, BOOL redraw) {
    Window *w = WindowOf(h);
    if (!w) return 0;
    std::optional<gdi::Region> shape;
    if (rgn) {
        gdi::Region *r = gdi::RegionFromHandle(rgn);
        if (!r) return 0;
        shape = *r;
        DeleteObject(rgn);  // the window owns the region from now on
    }
    // What the old shape covered is repainted by the parent.
    if (!IsTopLevel(*w)) {
        if (Window *p = WindowOf(w->parent)) InvalidateClient(*p, gdi::Region(w->rect), true);
    }
    w->shape = std::move(shape);
    if (IsTopLevel(*w) && w->native) {
        if (w->shape) {
            gdi::Region client = *w->shape;
            Insets in = NonClientInsets(*w);
            client.Offset(-in.left, -in.top);
            display::Current().SetShape(w->native, &client);
        } else {
            display::Current().SetShape(w->native, nullptr);
        }
    }
    if (redraw) InvalidateTree(h, true, true);
    return 1;
}

HWND WINAPI WindowFromPoint(POINT pt) {
    for (HWND t : Windows().topLevels) {
        Window *w = WindowOf(t);
        if (w && CoversPoint(*w, pt)) return DeepestWindowAt(*w, pt);
    }
    return nullptr;
}
