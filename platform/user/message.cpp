// The message queue: posting, retrieving, translating and dispatching.
//
// Retrieval order: posted messages (FIFO), then WM_QUIT once nothing posted
// remains, then input converted from back-end events one at a time, then
// WM_PAINT for the first window (parents before children) with something to
// paint. Waiting happens only in the back-end's Wait, never in a spin.
#include <cstdio>
#include <cstdlib>

#include "platform/user/wm_private.h"

namespace win32::wm {

namespace {

const HWND kThreadOnly = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));

bool HwndMatches(HWND filter, HWND h) {
    if (!filter) return true;
    if (filter == kThreadOnly) return h == nullptr;
    return h == filter || IsChild(filter, h);
}

bool RangeMatches(UINT lo, UINT hi, UINT m) {
    if (lo == 0 && hi == 0) return true;
    return m >= lo && m <= hi;
}

// The top-levels shown since the queue was last read get their native
// windows mapped.
void MapPendingWindows() {
    std::vector<HWND> pending;
    pending.swap(WmState().pendingMaps);
    for (HWND h : pending) {
        Window *w = WindowOf(h);
        if (w && w->nativeShown && w->native) display::Current().ShowTopLevel(w->native, true);
    }
}

void PumpBackend() {
    if (!display::IsOpen()) return;
    MapPendingWindows();
    display::Backend &b = display::Current();
    display::Event ev;
    while (b.NextEvent(&ev)) {
        WmState().raw.push_back(ev);
        WmState().newArrivals = true;
    }
}

// Takes the first message of `q` that matches; drops those for dead windows.
bool TakeFrom(std::deque<MSG> &q, MSG *out, HWND filter, UINT lo, UINT hi, bool remove) {
    for (auto it = q.begin(); it != q.end();) {
        if (it->hwnd && !WindowOf(it->hwnd)) {
            it = q.erase(it);
            continue;
        }
        if (HwndMatches(filter, it->hwnd) && RangeMatches(lo, hi, it->message)) {
            *out = *it;
            if (remove) q.erase(it);
            return true;
        }
        ++it;
    }
    return false;
}

void Stamp(MSG *m) {
    State &s = WmState();
    if (m->time == 0) m->time = Now();
    if (m->pt.x == 0 && m->pt.y == 0) m->pt = s.cursor;
}

bool Fetch(MSG *out, HWND filter, UINT lo, UINT hi, bool remove) {
    State &s = WmState();
    PumpBackend();
    s.newArrivals = false;
    if (TakeFrom(s.posted, out, filter, lo, hi, remove)) return true;
    if (s.quitPending && s.posted.empty()) {
        *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(s.quitCode), 0, Now(), s.cursor};
        if (remove) s.quitPending = false;
        return true;
    }
    for (;;) {
        if (TakeFrom(s.input, out, filter, lo, hi, remove)) {
            if (remove) NoteRetrieved(*out);
            return true;
        }
        if (!ConvertOneRawEvent()) break;
        // Converting may have posted or sent something.
        if (TakeFrom(s.posted, out, filter, lo, hi, remove)) return true;
    }
    s.newArrivals = false;
    if (RangeMatches(lo, hi, WM_PAINT)) {
        HWND f = (filter == kThreadOnly) ? nullptr : NextWindowToPaint(filter);
        if (f) {
            *out = MSG{f, WM_PAINT, 0, 0, Now(), s.cursor};
            return true;
        }
    }
    return false;
}

[[noreturn]] void DisplayLost() {
    std::fprintf(stderr, "morvalen: the connection to the display was lost\n");
    std::fflush(stderr);
    std::_Exit(1);
}

}  // namespace

}  // namespace win32::wm

using namespace win32;
using namespace win32::wm;

BOOL WINAPI PostMessageA(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (h && !WindowOf(h)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    State &s = WmState();
    s.posted.push_back(MSG{h, msg, wp, lp, Now(), s.cursor});
    s.newArrivals = true;
    if (display::IsOpen()) display::Current().Wake();
    return TRUE;
}

LRESULT WINAPI SendMessageA(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (!WindowOf(h)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return Send(h, msg, wp, lp);
}

void WINAPI PostQuitMessage(int code) {
    State &s = WmState();
    s.quitPending = true;
    s.quitCode = code;
    s.newArrivals = true;
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND h, UINT lo, UINT hi) {
    if (!msg || (h && h != reinterpret_cast<HWND>(static_cast<intptr_t>(-1)) && !WindowOf(h))) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    for (;;) {
        if (Fetch(msg, h, lo, hi, true)) {
            Stamp(msg);
            WmState().lastMessageTime = static_cast<LONG>(msg->time);
            WmState().lastMessagePos = MAKELONG(static_cast<WORD>(msg->pt.x), static_cast<WORD>(msg->pt.y));
            return msg->message == WM_QUIT ? 0 : 1;
        }
        if (h && h != reinterpret_cast<HWND>(static_cast<intptr_t>(-1)) && !WindowOf(h)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return -1;
        }
        if (!display::Current().Wait(-1)) DisplayLost();
    }
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND h, UINT lo, UINT hi, UINT flags) {
    if (!msg) return FALSE;
    if (h && h != reinterpret_cast<HWND>(static_cast<intptr_t>(-1)) && !WindowOf(h)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!Fetch(msg, h, lo, hi, (flags & PM_REMOVE) != 0)) return FALSE;
    Stamp(msg);
    if (flags & PM_REMOVE) {
        WmState().lastMessageTime = static_cast<LONG>(msg->time);
        WmState().lastMessagePos = MAKELONG(static_cast<WORD>(msg->pt.x), static_cast<WORD>(msg->pt.y));
    }
    return TRUE;
}

BOOL WINAPI WaitMessage(void) {
    State &s = WmState();
    for (;;) {
        PumpBackend();
        if (s.newArrivals) {
            s.newArrivals = false;
            return TRUE;
        }
        if (!display::Current().Wait(-1)) DisplayLost();
    }
}

LRESULT WINAPI DispatchMessageA(const MSG *m) {
    if (!m || !m->hwnd) return 0;
    if (m->message == WM_TIMER && m->lParam) {
        auto proc = reinterpret_cast<void(CALLBACK *)(HWND, UINT, UINT_PTR, DWORD)>(m->lParam);
        proc(m->hwnd, WM_TIMER, m->wParam, m->time);
        return 0;
    }
    Window *w = WindowOf(m->hwnd);
    if (!w) return 0;
    if (m->message == WM_PAINT) {
        LRESULT r = Send(m->hwnd, WM_PAINT, m->wParam, m->lParam);
        // A window that does not validate would get WM_PAINT forever.
        if ((w = WindowOf(m->hwnd)) && PaintPending(*w)) {
            w->ncPaint = false;
            w->update = gdi::Region();
            w->erase = false;
        }
        return r;
    }
    return Send(m->hwnd, m->message, m->wParam, m->lParam);
}

LONG WINAPI GetMessageTime(void) {
    return WmState().lastMessageTime;
}

DWORD WINAPI GetMessagePos(void) {
    return WmState().lastMessagePos;
}
