// A display back-end for the main window's tests: a screen of a chosen
// size that keeps what windows present, takes scripted input, and runs the
// test's next step whenever the program waits for input (its queue is idle).
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/display/backend.h"

namespace testsupport {

class FakeScreen : public win32::display::Backend {
public:
    struct Native {
        RECT client{};
        bool shown = false;
        bool decorated = false;
        bool modal = false;
        bool modalWhenShown = false;  // marked modal before it was first shown
        win32::display::NativeId owner = 0;
        std::string title;
        win32::gdi::Surface pixels;  // the last presented client area
    };

    FakeScreen(int width, int height, int scale = 1) : width_(width), height_(height), scale_(scale) {}

    // Steps run one per idle wait, in order. When they have all run and the
    // program waits again, the run is stopped with a quit code of 99.
    std::deque<std::function<void()>> steps;
    bool ranOutOfSteps = false;

    std::map<win32::display::NativeId, Native> natives;

    // Input, delivered the next time the layer reads events.
    void Key(UINT vk, bool down) {
        win32::display::Event e;
        e.type = down ? win32::display::Event::KeyDown : win32::display::Event::KeyUp;
        e.vk = vk;
        e.scanCode = MapScan(vk);
        e.window = focusNative_;
        Push(e);
    }
    void Press(UINT vk) {
        Key(vk, true);
        Key(vk, false);
    }
    void Button(win32::display::NativeId w, int x, int y, bool down) {
        win32::display::Event e;
        e.type = down ? win32::display::Event::ButtonDown : win32::display::Event::ButtonUp;
        e.button = 1;
        e.window = w;
        // At (x, y) of the screen where the window really is.
        e.rootX = x;
        e.rootY = y;
        e.x = x - natives[w].client.left;
        e.y = y - natives[w].client.top;
        Push(e);
    }
    void Click(win32::display::NativeId w, int x, int y) {
        Button(w, x, y, true);
        Button(w, x, y, false);
    }
    // What window managers do on their own. Configure: moves or resizes a
    // window and says so (a tiling window manager). MoveSilently: moves it
    // without a word (weston's frame); the layer learns of it only by
    // asking. Focus: gives a window the input focus (a click-to-focus
    // window manager, before the click reaches the program).
    void Configure(win32::display::NativeId w, RECT client) {
        natives[w].client = client;
        win32::display::Event e;
        e.type = win32::display::Event::Configure;
        e.window = w;
        e.rect = client;
        Push(e);
    }
    void MoveSilently(win32::display::NativeId w, int dx, int dy) {
        OffsetRect(&natives[w].client, dx, dy);
        moved_[w] = true;
    }
    void Focus(win32::display::NativeId w) {
        win32::display::Event e;
        e.type = win32::display::Event::FocusOut;
        e.window = focusNative_;
        if (focusNative_) Push(e);
        e.type = win32::display::Event::FocusIn;
        e.window = focusNative_ = w;
        Push(e);
    }
    win32::display::NativeId FocusedNative() const { return focusNative_; }
    // The windows the layer brought forward as the user's doing, in order.
    std::vector<win32::display::NativeId> activated;

    // Lets time pass, so that clicks in different steps do not pair up.
    void Advance(DWORD ms) { clock_ += ms; }
    void CloseRequest(win32::display::NativeId w) {
        win32::display::Event e;
        e.type = win32::display::Event::CloseRequest;
        e.window = w;
        Push(e);
    }

    // The native window behind a top-level HWND's position: the one whose
    // client area has this screen origin.
    win32::display::NativeId NativeAt(int screenX, int screenY) const {
        for (auto &[id, n] : natives)
            if (n.client.left == screenX && n.client.top == screenY) return id;
        return 0;
    }
    win32::display::NativeId FirstNative() const { return natives.empty() ? 0 : natives.begin()->first; }

    // win32::display::Backend
    win32::display::NativeId CreateTopLevel(const win32::display::TopLevelParams &p) override {
        win32::display::NativeId id = next_++;
        Native &n = natives[id];
        n.client = p.client;
        n.decorated = p.decorated;
        n.owner = p.owner;
        n.title = p.title;
        if (focusNative_ == 0) focusNative_ = id;
        return id;
    }
    void DestroyTopLevel(win32::display::NativeId w) override { natives.erase(w); }
    void MoveTopLevel(win32::display::NativeId w, const RECT &client) override { natives[w].client = client; }
    void ShowTopLevel(win32::display::NativeId w, bool show) override {
        natives[w].shown = show;
        if (show) natives[w].modalWhenShown = natives[w].modal;
    }
    void SetModal(win32::display::NativeId w, bool modal) override { natives[w].modal = modal; }
    void SetTitle(win32::display::NativeId w, const char *title) override { natives[w].title = title; }
    void SetShape(win32::display::NativeId, const win32::gdi::Region *) override {}
    void SetIcon(win32::display::NativeId, int, int, const uint32_t *, const uint8_t *) override {}
    void Present(win32::display::NativeId w, const win32::gdi::Surface &surface, const RECT &) override {
        natives[w].pixels = surface;
    }
    bool BeginMoveDrag(win32::display::NativeId, int, int) override { return false; }
    void SetInputFocus(win32::display::NativeId w) override { focusNative_ = w; }
    void ActivateTopLevel(win32::display::NativeId w) override {
        activated.push_back(w);
        focusNative_ = w;
    }
    bool QueryClientRect(win32::display::NativeId w, RECT *client) override {
        if (!moved_[w]) return false;
        moved_[w] = false;
        *client = natives[w].client;
        return true;
    }

    bool NextEvent(win32::display::Event *ev) override {
        if (events_.empty()) return false;
        *ev = events_.front();
        events_.pop_front();
        return true;
    }
    bool Wait(int timeoutMs) override {
        if (!events_.empty() || timeoutMs == 0) return true;
        if (!steps.empty()) {
            auto step = std::move(steps.front());
            steps.pop_front();
            step();
        } else {
            ranOutOfSteps = true;
            PostQuitMessage(99);
        }
        return true;
    }
    void Wake() override {}

    SIZE ScreenSize() override { return SIZE{width_, height_}; }
    RECT WorkArea() override { return RECT{0, 0, width_, height_}; }
    int Dpi() override { return 96; }
    int Scale() override { return scale_; }
    DWORD Now() override { return clock_; }

private:
    static UINT MapScan(UINT vk) {
        switch (vk) {
            case VK_ESCAPE:
                return 0x01;
            case VK_MENU:
                return 0x38;
            case 'X':
                return 0x2D;
            case 'O':
                return 0x18;
            case VK_RETURN:
                return 0x1C;
            default:
                return 0;
        }
    }
    void Push(win32::display::Event e) {
        clock_ += 10;
        e.time = clock_;
        events_.push_back(e);
    }

    int width_, height_, scale_;
    win32::display::NativeId next_ = 1;
    win32::display::NativeId focusNative_ = 0;
    DWORD clock_ = 1000;
    std::deque<win32::display::Event> events_;
    std::map<win32::display::NativeId, bool> moved_;
};

// Installs a fresh FakeScreen as the back-end in use and returns it.
inline FakeScreen *InstallFakeScreen(int width, int height, int scale = 1) {
    auto screen = std::make_unique<FakeScreen>(width, height, scale);
    FakeScreen *raw = screen.get();
    win32::display::Reset(std::move(screen));
    return raw;
}

}  // namespace testsupport
