// Keyboard focus, activation and mouse capture.
#include "platform/user/focus.h"

#include "platform/common/a11y_hooks.h"
#include "platform/user/session.h"
#include "platform/user/wm.h"
#include "platform/user/zorder.h"

namespace win32::wm {

namespace {

struct FocusState {
    HWND focus = nullptr;
    HWND active = nullptr;
    HWND capture = nullptr;
};

FocusState &Focus() {
    static auto *state = new FocusState();
    return *state;
}

bool InTree(HWND root, HWND h) {
    return h && (h == root || IsChild(root, h));
}

void ChangeFocus(HWND to) {
    FocusState &s = Focus();
    HWND old = s.focus;
    if (old == to) return;
    s.focus = to;
    a11y::FocusChanged(old, to);
    if (old && WindowOf(old)) Send(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(to), 0);
    // The new window may have been destroyed or focus moved again meanwhile.
    if (to && s.focus == to && WindowOf(to)) Send(to, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
}

}  // namespace

void ResetFocus() {
    Focus() = FocusState{};
}

void ForgetFocusOf(HWND h) {
    FocusState &s = Focus();
    if (s.focus == h) s.focus = nullptr;
    if (s.active == h) s.active = nullptr;
    if (s.capture == h) s.capture = nullptr;
}

void ClearFocusIfIn(HWND root) {
    if (InTree(root, Focus().focus)) ChangeFocus(nullptr);
}

void ReleaseCaptureIfIn(HWND root) {
    FocusState &s = Focus();
    if (InTree(root, s.capture)) {
        HWND old = s.capture;
        s.capture = nullptr;
        Send(old, WM_CAPTURECHANGED, 0, 0);
    }
}

void Activate(HWND h, WORD how, bool fromBackend) {
    FocusState &s = Focus();
    Window *w = WindowOf(h);
    if (h && (!w || !IsTopLevel(*w))) return;
    HWND old = s.active;
    if (old == h) return;
    s.active = h;
    if (old && WindowOf(old)) {
        Send(old, WM_NCACTIVATE, FALSE, 0);
        Send(old, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), reinterpret_cast<LPARAM>(h));
    }
    if (s.active != h) return;
    if (h) {
        BringToTop(h);
        if (!fromBackend && (w = WindowOf(h)) && w->native) display::Current().SetInputFocus(w->native);
        Send(h, WM_NCACTIVATE, TRUE, 0);
        w = WindowOf(h);
        Send(h, WM_ACTIVATE, MAKEWPARAM(how, w && w->minimized ? 1 : 0), reinterpret_cast<LPARAM>(old));
        // Focus stays only inside the active window.
        if (s.active == h && s.focus && !InTree(h, s.focus)) ChangeFocus(nullptr);
    } else if (s.focus) {
        ChangeFocus(nullptr);
    }
}

}  // namespace win32::wm

using namespace win32;
using namespace win32::wm;

HWND WINAPI SetFocus(HWND h) {
    FocusState &s = Focus();
    HWND old = s.focus;
    if (!h) {
        ChangeFocus(nullptr);
        return old;
    }
    Window *w = WindowOf(h);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    Window *top = TopLevelOf(w);
    if (top && s.active != top->hwnd) {
        Activate(top->hwnd, WA_ACTIVE, false);
        if (!WindowOf(h)) return nullptr;
    }
    old = s.focus;
    ChangeFocus(h);
    return old;
}

HWND WINAPI GetFocus(void) {
    return Focus().focus;
}

HWND WINAPI GetActiveWindow(void) {
    return Focus().active;
}

HWND WINAPI SetCapture(HWND h) {
    FocusState &s = Focus();
    HWND old = s.capture;
    if (!WindowOf(h)) return old;
    if (old == h) return old;
    s.capture = h;
    if (old && WindowOf(old)) Send(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(h));
    return old;
}

BOOL WINAPI ReleaseCapture(void) {
    FocusState &s = Focus();
    HWND old = s.capture;
    if (old) {
        s.capture = nullptr;
        Send(old, WM_CAPTURECHANGED, 0, 0);
    }
    return TRUE;
}

HWND WINAPI GetCapture(void) {
    return Focus().capture;
}
