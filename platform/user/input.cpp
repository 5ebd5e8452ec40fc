// Input: back-end events become keyboard and mouse messages.
//
// Mouse messages go to the capture window or to the deepest visible,
// enabled window under the pointer. A disabled top-level window takes no
// input at all. Keys are turned into messages in keyboard.cpp.
#include "platform/user/input.h"

#include <chrono>
#include <cstdlib>

#include "platform/common/a11y_hooks.h"
#include "platform/common/classic.h"
#include "platform/common/nonclient.h"
#include "platform/user/focus.h"
#include "platform/user/geometry.h"
#include "platform/user/keyboard.h"
#include "platform/user/paint.h"
#include "platform/user/queue.h"
#include "platform/user/session.h"
#include "platform/user/wm.h"
#include "platform/user/zorder.h"

namespace win32::wm {

namespace {

struct PointerState {
    POINT cursor{0, 0};
    // The pointer on the screen as the window system last told it.
    POINT pointerRoot{0, 0};

    // Double-click tracking.
    HWND lastClickWnd = nullptr;
    UINT lastClickMsg = 0;
    DWORD lastClickTime = 0;
    POINT lastClickPt{0, 0};

    // Moving a window with the pointer ourselves (back-end could not).
    HWND moving = nullptr;
    POINT moveOffset{0, 0};

    // The scroll bar that tracks the mouse.
    HWND scrollTracking = nullptr;
};

PointerState &Pointer() {
    static auto *state = new PointerState();
    return *state;
}

WPARAM MouseKeys() {
    WPARAM k = 0;
    if (GetAsyncKeyState(VK_LBUTTON) & 0x8000) k |= MK_LBUTTON;
    if (GetAsyncKeyState(VK_RBUTTON) & 0x8000) k |= MK_RBUTTON;
    if (GetAsyncKeyState(VK_MBUTTON) & 0x8000) k |= MK_MBUTTON;
    if (GetAsyncKeyState(VK_SHIFT) & 0x8000) k |= MK_SHIFT;
    if (GetAsyncKeyState(VK_CONTROL) & 0x8000) k |= MK_CONTROL;
    return k;
}

// Where a pointer event happened on the layer's screen, from its position
// in the client area of the window it came for and where the layer has that
// window: a window manager may move a window without telling it, and the
// point still lands on the same pixel of the window.
POINT EventPoint(const display::Event &ev, Window *native) {
    if (!native) return {ev.x, ev.y};
    POINT o = ClientOriginScreen(*native);
    return {o.x + ev.x, o.y + ev.y};
}

// The top-level window under a pointer event, disabled or not: the event's
// own window when the point lies on it (an event during a grab may lie
// outside), and for an event for no window the top-most one the layer has
// at the point.
Window *TopLevelUnder(const display::Event &ev, Window *native, POINT pt) {
    if (native) return CoversPoint(*native, pt) ? native : nullptr;
    if (ev.window) return nullptr;
    for (HWND t : TopLevels()) {
        Window *w = WindowOf(t);
        if (w && CoversPoint(*w, pt)) return w;
    }
    return nullptr;
}

LPARAM PointParam(int x, int y) {
    return static_cast<LPARAM>(static_cast<uint32_t>(MAKELONG(static_cast<WORD>(x), static_cast<WORD>(y))));
}

// Our own move loop: the pointer drags the window until the button is up,
// by as much as the pointer moved on the screen.
bool OwnMove(POINT pt, bool up) {
    PointerState &s = Pointer();
    if (!s.moving) return false;
    Window *m = WindowOf(s.moving);
    if (m && !up) {
        int wd = m->rect.right - m->rect.left, ht = m->rect.bottom - m->rect.top;
        MoveWindow(s.moving, pt.x - s.moveOffset.x, pt.y - s.moveOffset.y, wd, ht, TRUE);
        return true;
    }
    HWND moved = s.moving;
    s.moving = nullptr;
    if (WindowOf(moved)) Send(moved, WM_EXITSIZEMOVE, 0, 0);
    return true;
}

// A scroll bar tracking the mouse gets everything until it lets go.
bool TrackingBar(POINT pt, bool down, bool up) {
    PointerState &s = Pointer();
    if (!s.scrollTracking) return false;
    HWND sb = s.scrollTracking;
    Window *w = WindowOf(sb);
    if (w) {
        POINT o = WindowOriginScreen(*w);
        UINT m = up ? WM_LBUTTONUP : down ? WM_LBUTTONDOWN : WM_MOUSEMOVE;
        if (!win32::VScrollBarMouse(sb, m, POINT{pt.x - o.x, pt.y - o.y})) s.scrollTracking = nullptr;
    } else {
        s.scrollTracking = nullptr;
    }
    return true;
}

// Activates the enabled, shown pop-up a disabled window owns (its modal
// box); false when it has none.
bool ActivateEnabledPopup(HWND disabled, WORD how) {
    for (HWND t : std::vector<HWND>(TopLevels())) {
        Window *o = WindowOf(t);
        if (!o || o->owner != disabled || !(o->style & WS_VISIBLE) || (o->style & WS_DISABLED)) continue;
        Activate(t, how, true);
        // The window system has to hear of it even when the layer already
        // had the pop-up active: the window manager may have raised and
        // focused the disabled window over it.
        if ((o = WindowOf(t)) != nullptr && o->native) display::Current().ActivateTopLevel(o->native);
        return true;
    }
    return false;
}

// A disabled window takes no input; a click on it beeps and its enabled
// popup (a modal box) comes forward instead.
void ClickOnDisabled(HWND disabled, int button) {
    Send(disabled, WM_SETCURSOR, reinterpret_cast<WPARAM>(disabled),
         MAKELPARAM(static_cast<WORD>(HTERROR), button == 1 ? WM_LBUTTONDOWN : WM_RBUTTONDOWN));
    ActivateEnabledPopup(disabled, WA_CLICKACTIVE);
}

// The window the mouse event goes to and where on it the pointer is: the
// capture window, else the window under the pointer. Null when none takes
// it.
HWND MouseTarget(Window *top, POINT pt, bool down, int button, LRESULT *hit) {
    *hit = HTCLIENT;
    if (HWND capture = GetCapture()) return capture;
    if (!top) return nullptr;
    if (!IsEnabledChain(*top)) {
        if (down) ClickOnDisabled(top->hwnd, button);
        return nullptr;
    }
    HWND target = DeepestWindowAt(*top, pt);
    if (!target) return nullptr;
    *hit = Send(target, WM_NCHITTEST, 0, PointParam(pt.x, pt.y));
    return WindowOf(target) ? target : nullptr;
}

UINT ButtonMessage(const display::Event &ev) {
    bool down = ev.type == display::Event::ButtonDown;
    if (ev.type == display::Event::Motion) return WM_MOUSEMOVE;
    if (ev.button == 1) return down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    if (ev.button == 3) return down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
    return down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
}

// A press on an inactive top-level asks it whether to activate; false when
// the press is eaten or the target went away.
bool ActivateOnPress(HWND target, LRESULT hit, UINT base) {
    Window *top = TopLevelOf(WindowOf(target));
    if (!top || GetActiveWindow() == top->hwnd) return true;
    HWND topHwnd = top->hwnd;
    LRESULT ma = Send(target, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(topHwnd),
                      MAKELPARAM(static_cast<WORD>(hit), static_cast<WORD>(base)));
    if (ma == MA_ACTIVATE || ma == MA_ACTIVATEANDEAT) {
        if (WindowOf(topHwnd) && !(WindowOf(topHwnd)->style & WS_DISABLED))
            Activate(topHwnd, WA_CLICKACTIVE, false);
    }
    if (ma == MA_ACTIVATEANDEAT || ma == MA_NOACTIVATEANDEAT) return false;
    return WindowOf(target) != nullptr;
}

// A second press close enough in time and place becomes a double-click for
// classes that ask for them.
UINT DoubleClick(Window &tw, UINT base, POINT pt, DWORD time) {
    PointerState &s = Pointer();
    HWND target = tw.hwnd;
    bool dbl = false;
    if (tw.cls->style & CS_DBLCLKS) {
        int dx = std::abs(pt.x - s.lastClickPt.x), dy = std::abs(pt.y - s.lastClickPt.y);
        dbl = s.lastClickWnd == target && s.lastClickMsg == base &&
              time - s.lastClickTime < classic::kDoubleClickTime && dx * 2 <= classic::kDoubleClickWidth &&
              dy * 2 <= classic::kDoubleClickHeight;
    }
    if (dbl) {
        s.lastClickWnd = nullptr;
        return base + WM_LBUTTONDBLCLK - WM_LBUTTONDOWN;
    }
    s.lastClickWnd = target;
    s.lastClickMsg = base;
    s.lastClickTime = time;
    s.lastClickPt = pt;
    return base;
}

void Mouse(const display::Event &ev) {
    PointerState &s = Pointer();
    Window *native = WindowOfNative(ev.window);
    POINT pt = EventPoint(ev, native);
    s.cursor = pt;
    s.pointerRoot = {ev.rootX, ev.rootY};
    DWORD time = ev.time ? ev.time : Now();
    bool down = ev.type == display::Event::ButtonDown;
    bool up = ev.type == display::Event::ButtonUp;
    UINT vkButton = ev.button == 1 ? VK_LBUTTON : ev.button == 3 ? VK_RBUTTON : VK_MBUTTON;
    if (down || up) SetAsyncKey(vkButton, down);
    if (OwnMove(s.pointerRoot, up) || TrackingBar(pt, down, up)) return;

    LRESULT hit;
    HWND target = MouseTarget(TopLevelUnder(ev, native, pt), pt, down, ev.button, &hit);
    if (!target) return;
    UINT base = ButtonMessage(ev);
    if (down && !ActivateOnPress(target, hit, base)) return;
    if (!GetCapture()) {
        Send(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target),
             MAKELPARAM(static_cast<WORD>(hit), static_cast<WORD>(base)));
        if (!WindowOf(target)) return;
    }
    Window *tw = WindowOf(target);
    if (down) base = DoubleClick(*tw, base, pt, time);
    if (hit == HTCLIENT || GetCapture()) {
        POINT o = ClientOriginScreen(*tw);
        QueueInput(target, base, MouseKeys(), PointParam(pt.x - o.x, pt.y - o.y), time);
    } else {
        UINT nc = base - WM_MOUSEMOVE + WM_NCMOUSEMOVE;
        QueueInput(target, nc, static_cast<WPARAM>(hit), PointParam(pt.x, pt.y), time);
    }
}

// The wheel turns what is under the pointer when that is enabled (the
// capture window while one holds the mouse), else the focus.
void Wheel(const display::Event &ev) {
    PointerState &s = Pointer();
    Window *native = WindowOfNative(ev.window);
    POINT pt = EventPoint(ev, native);
    s.cursor = pt;
    HWND target = GetCapture();
    Window *top = target ? nullptr : TopLevelUnder(ev, native, pt);
    if (top && IsEnabledChain(*top)) target = DeepestWindowAt(*top, pt);
    if (!target) target = GetFocus() ? GetFocus() : GetActiveWindow();
    if (!target) return;
    Window *w = WindowOf(target);
    if (!w || !IsEnabledChain(*w)) return;
    WPARAM wp = MAKEWPARAM(static_cast<WORD>(MouseKeys()), static_cast<WORD>(static_cast<short>(ev.delta)));
    QueueInput(target, WM_MOUSEWHEEL, wp, PointParam(pt.x, pt.y), ev.time ? ev.time : Now());
}

// The window system placed a top-level's client area at `c` (screen
// coordinates): the layer follows.
void NativeClientMoved(Window &top, const RECT &c) {
    Window *w = &top;
    Insets in = NonClientInsets(*w);
    RECT nr{c.left - in.left, c.top - in.top, c.right + in.right, c.bottom + in.bottom};
    if (EqualRect(&nr, &w->rect)) return;
    // The window manager already placed the native window: do not echo it.
    FollowNative(w->hwnd, nr);
}

void Configure(const display::Event &ev) {
    if (Window *w = WindowOfNative(ev.window)) NativeClientMoved(*w, ev.rect);
}

// What the window system did to a native window: closed, exposed, moved,
// focused, minimized, restored, rescaled or destroyed it.
void WindowEvent(const display::Event &ev) {
    switch (ev.type) {
        case display::Event::CloseRequest:
            if (Window *w = WindowOfNative(ev.window)) PostMessageA(w->hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        case display::Event::Expose:
            if (Window *w = WindowOfNative(ev.window)) PresentSurfaceRect(*w, ev.rect);
            break;
        case display::Event::Configure:
            Configure(ev);
            break;
        case display::Event::FocusIn:
            if (Window *w = WindowOfNative(ev.window)) {
                // The window system focused a window under a modal box: the
                // box takes the focus back, as a click there gives it.
                if (!(w->style & WS_DISABLED))
                    Activate(w->hwnd, WA_ACTIVE, true);
                else
                    ActivateEnabledPopup(w->hwnd, WA_ACTIVE);
            }
            break;
        case display::Event::FocusOut:
            if (Window *w = WindowOfNative(ev.window); w && GetActiveWindow() == w->hwnd)
                Activate(nullptr, WA_INACTIVE, true);
            break;
        case display::Event::Unmap:
            if (Window *w = WindowOfNative(ev.window); w && (w->style & WS_VISIBLE) && !w->minimized) {
                w->minimized = true;
                Send(w->hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
            }
            break;
        case display::Event::Map:
            if (Window *w = WindowOfNative(ev.window); w && w->minimized) {
                HWND h = w->hwnd;
                w->minimized = false;
                RECT cr = ClientRectInParent(*w);
                InvalidateTree(h, true, true);
                Send(h, WM_SIZE, SIZE_RESTORED, MAKELPARAM(cr.right - cr.left, cr.bottom - cr.top));
                // Activated while minimized it took no focus; restored, it
                // takes the keys.
                if (WindowOf(h) && GetActiveWindow() == h && !GetFocus()) SetFocus(h);
            }
            break;
        case display::Event::ScaleChanged:
            // The same logical window at another device size: all of it is
            // drawn anew.
            if (Window *w = WindowOfNative(ev.window)) {
                ResizeSurface(*w);
                InvalidateTree(w->hwnd, true, true);
            }
            break;
        case display::Event::Destroyed:
            // Gone without the layer asking (another client destroyed it):
            // as the window manager's close, and nothing is made again.
            if (Window *w = WindowOfNative(ev.window)) PostMessageA(w->hwnd, WM_CLOSE, 0, 0);
            break;
        default:
            break;
    }
}

// The window system gives a key to the top-level that has its keyboard. A
// disabled one hands it to the pop-up it owns (its modal box), as a click on
// it does. An enabled one is made active when the layer counts none active:
// the key shows it has the keyboard, though no FocusIn said so (focus that
// follows the pointer, or a focus change the layer did not hear of).
void KeyboardOn(const display::Event &ev) {
    Window *w = WindowOfNative(ev.window);
    if (!w) return;
    if (w->style & WS_DISABLED)
        ActivateEnabledPopup(w->hwnd, WA_ACTIVE);
    else if (!GetActiveWindow())
        Activate(w->hwnd, WA_ACTIVE, true);
}

}  // namespace

void ResetPointer() {
    Pointer() = PointerState{};
}

POINT CursorPos() {
    return Pointer().cursor;
}

HWND MovingWindow() {
    return Pointer().moving;
}

void TrackScrollBar(HWND h) {
    Pointer().scrollTracking = h;
}

void ForgetPointerOf(HWND h) {
    PointerState &s = Pointer();
    if (s.moving == h) s.moving = nullptr;
    if (s.scrollTracking == h) s.scrollTracking = nullptr;
    if (s.lastClickWnd == h) s.lastClickWnd = nullptr;
}

DWORD Now() {
    if (display::IsOpen()) return display::Current().Now();
    using namespace std::chrono;
    return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void StartMoveDrag(HWND h, POINT screen) {
    PointerState &s = Pointer();
    Window *w = WindowOf(h);
    if (!w) return;
    Window *top = TopLevelOf(w);
    if (top && top->native && display::Current().BeginMoveDrag(top->native, screen.x, screen.y)) return;
    if (!(GetAsyncKeyState(VK_LBUTTON) & 0x8000)) return;
    s.moving = top ? top->hwnd : h;
    Window *m = WindowOf(s.moving);
    s.moveOffset = {s.pointerRoot.x - m->rect.left, s.pointerRoot.y - m->rect.top};
}

void RefreshNativePosition(Window &top) {
    RECT client;
    if (top.native && display::IsOpen() && display::Current().QueryClientRect(top.native, &client))
        NativeClientMoved(top, client);
}

// A screen reader hears each key before the program does and may keep it;
// false while its answer is awaited: the key, and everything after it, stay
// queued.
bool HeardFirst(const display::Event &ev, uint64_t serial, int ch, bool *dropped) {
    a11y::KeyStroke key;
    key.down = ev.type == display::Event::KeyDown;
    key.vk = ev.vk;
    key.scanCode = ev.scanCode;
    key.extended = ev.extended;
    key.ch = key.down ? ch : -1;
    key.modifiers = ev.modifiers;
    key.time = ev.time;
    const a11y::KeyFate fate = a11y::Key(key, serial);
    NoteKeyHeld(fate == a11y::KeyFate::Hold);
    *dropped = fate == a11y::KeyFate::Drop;
    return fate != a11y::KeyFate::Hold;
}

bool ConvertOneRawEvent() {
    display::Event ev;
    uint64_t serial = 0;
    int ch = -1;
    if (!PeekRawEvent(&ev, &serial, &ch)) return false;
    bool dropped = false;
    if ((ev.type == display::Event::KeyDown || ev.type == display::Event::KeyUp) &&
        !HeardFirst(ev, serial, ch, &dropped))
        return false;
    TakeRawEvent(&ev);
    SyncModifiers(ev);
    if (dropped) {
        // Kept by the screen reader: no message, and no character either.
        if (char c; ev.type == display::Event::KeyDown) TakeRawChar(&c);
        return true;
    }
    switch (ev.type) {
        case display::Event::KeyDown:
            KeyboardOn(ev);
            Key(ev);
            // The character the key produced comes right after it.
            if (char ch; TakeRawChar(&ch)) NoteKeyChar(ev.vk, ch);
            break;
        case display::Event::KeyUp:
            Key(ev);
            break;
        case display::Event::Char: {
            HWND target = GetFocus() ? GetFocus() : GetActiveWindow();
            if (target)
                QueueInput(target, WM_CHAR, static_cast<unsigned char>(ev.ch), 1, ev.time ? ev.time : Now());
            break;
        }
        case display::Event::ButtonDown:
        case display::Event::ButtonUp:
        case display::Event::Motion:
            Mouse(ev);
            break;
        case display::Event::Wheel:
            Wheel(ev);
            break;
        default:
            WindowEvent(ev);
            break;
    }
    return true;
}

}  // namespace win32::wm

BOOL WINAPI MessageBeep(UINT) {
    return TRUE;
}
