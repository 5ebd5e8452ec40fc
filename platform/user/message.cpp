// The message queue: posting, retrieving, translating and dispatching.
//
// Retrieval order: posted messages (FIFO), then WM_QUIT once nothing posted
// remains, then input converted from back-end events one at a time, then
// WM_PAINT for the first window (parents before children) with something to
// paint. Waiting happens only in the back-end's Wait, never in a spin.
#include "platform/user/queue.h"

#include <cstdio>
#include <cstdlib>
#include <deque>

#include "platform/user/geometry.h"
#include "platform/user/input.h"
#include "platform/user/keyboard.h"
#include "platform/user/paint.h"
#include "platform/user/session.h"
#include "platform/user/wm.h"

namespace win32::wm {

namespace {

struct MessageQueue {
    std::deque<MSG> posted;
    std::deque<display::Event> raw;  // from the back-end, not yet converted
    std::deque<MSG> input;
    bool quitPending = false;
    int quitCode = 0;
    bool newArrivals = false;  // something came since WaitMessage last looked
    bool keyHeld = false;      // the oldest raw event is a key a screen reader has not answered for
};

// Raw events taken so far, over resets too: the front's serial.
uint64_t rawTaken = 0;

MessageQueue &Queue() {
    static auto *queue = new MessageQueue();
    return *queue;
}

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

void PumpBackend() {
    if (!display::IsOpen()) return;
    MapPendingWindows();
    display::Backend &b = display::Current();
    display::Event ev;
    while (b.NextEvent(&ev)) {
        Queue().raw.push_back(ev);
        Queue().newArrivals = true;
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
    if (m->time == 0) m->time = Now();
    if (m->pt.x == 0 && m->pt.y == 0) m->pt = CursorPos();
}

bool Fetch(MSG *out, HWND filter, UINT lo, UINT hi, bool remove) {
    MessageQueue &s = Queue();
    PumpBackend();
    s.newArrivals = false;
    if (TakeFrom(s.posted, out, filter, lo, hi, remove)) return true;
    if (s.quitPending && s.posted.empty()) {
        *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(s.quitCode), 0, Now(), CursorPos()};
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
            *out = MSG{f, WM_PAINT, 0, 0, Now(), CursorPos()};
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

void ResetQueue() {
    Queue() = MessageQueue{};
}

void QueueInput(HWND h, UINT msg, WPARAM wp, LPARAM lp, DWORD time) {
    Queue().input.push_back(MSG{h, msg, wp, lp, time, CursorPos()});
    Queue().newArrivals = true;
}

void AppendPosted(const MSG &m) {
    Queue().posted.push_back(m);
    Queue().newArrivals = true;
}

void NoteArrival() {
    Queue().newArrivals = true;
}

bool TakeRawEvent(display::Event *ev) {
    std::deque<display::Event> &raw = Queue().raw;
    if (raw.empty()) return false;
    *ev = raw.front();
    raw.pop_front();
    ++rawTaken;
    return true;
}

bool TakeRawChar(char *ch) {
    std::deque<display::Event> &raw = Queue().raw;
    if (raw.empty() || raw.front().type != display::Event::Char) return false;
    *ch = raw.front().ch;
    raw.pop_front();
    ++rawTaken;
    return true;
}

bool PeekRawEvent(display::Event *ev, uint64_t *serial, int *ch) {
    const std::deque<display::Event> &raw = Queue().raw;
    if (raw.empty()) return false;
    *ev = raw.front();
    *serial = rawTaken;
    *ch = raw.size() > 1 && raw[1].type == display::Event::Char ? static_cast<unsigned char>(raw[1].ch) : -1;
    return true;
}

void NoteKeyHeld(bool held) {
    Queue().keyHeld = held;
}

bool QuitPending(int *code) {
    if (Queue().quitPending && code) *code = Queue().quitCode;
    return Queue().quitPending;
}

}  // namespace win32::wm

using namespace win32;
using namespace win32::wm;

BOOL WINAPI PostMessageA(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (h && !WindowOf(h)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    AppendPosted(MSG{h, msg, wp, lp, Now(), CursorPos()});
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
    MessageQueue &s = Queue();
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
    return TRUE;
}

BOOL WINAPI WaitMessage(void) {
    MessageQueue &s = Queue();
    for (;;) {
        PumpBackend();
        if (s.newArrivals) {
            s.newArrivals = false;
            return TRUE;
        }
        if (!display::Current().Wait(-1)) DisplayLost();
        // The answer for a waiting key may have come with the wait.
        if (s.keyHeld) return TRUE;
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
