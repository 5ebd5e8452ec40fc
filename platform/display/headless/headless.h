// The headless back-end: a virtual screen in memory for tests and snapshots.
//
// Top-level windows are rectangles on the screen, stacked in the order they
// were shown or focused; the screen is composed from what was presented to
// them, clipped to their shapes, over the desktop colour. Input is injected.
// At a scale n (120ths) the screen is DeviceEdge(size, n) device pixels each
// way and the pointer positions injected are device pixels; a window lies at
// the device edges of its client area's top-left corner, at its own scale
// (the screen's unless a test changes it).
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "platform/display/backend.h"

namespace win32::display {

class HeadlessBackend : public Backend {
public:
    // A screen of width x height logical pixels at scale n/120 (n from 120
    // to 480).
    HeadlessBackend(int width, int height, int scale = gdi::kScaleOne);
    ~HeadlessBackend() override;

    NativeId CreateTopLevel(const TopLevelParams &p) override;
    void DestroyTopLevel(NativeId w) override;
    void MoveTopLevel(NativeId w, const RECT &client) override;
    void ShowTopLevel(NativeId w, bool show) override;
    void SetTitle(NativeId w, const char *title) override;
    void SetShape(NativeId w, const gdi::Region *shape) override;
    void SetIcon(NativeId w, int width, int height, const uint32_t *pixels, const uint8_t *mask) override;
    void Present(NativeId w, const gdi::Surface &surface, const RECT &dirty) override;
    bool BeginMoveDrag(NativeId w, int screenX, int screenY) override;
    void SetInputFocus(NativeId w) override;
    void SetModal(NativeId w, bool modal) override;
    void ActivateTopLevel(NativeId w) override;
    bool QueryClientRect(NativeId w, RECT *client) override;
    bool NextEvent(Event *ev) override;
    bool Wait(int timeoutMs) override;
    void Wake() override;
    SIZE ScreenSize() override;
    RECT WorkArea() override;
    int Dpi() override { return 96; }
    int InitialScale() override { return scale_; }
    int WindowScale(NativeId w) override;
    POINT ClientToDevice(NativeId w, POINT client) override;
    DWORD Now() override;

    // Test side.
    void Inject(const Event &ev);
    // The composed screen, in device pixels.
    const gdi::Surface &Screen();
    // A fake clock: Now() answers it and Wait with a timeout advances it.
    void SetClock(DWORD now);
    void AdvanceClock(DWORD ms);
    // Called when Wait would block forever with nothing queued (the snapshot
    // tool ends the program there). Without it Wait really blocks.
    void SetIdleHandler(std::function<void()> fn) { idle_ = std::move(fn); }
    // The native window on top at a device point of the screen, 0 for the desktop.
    NativeId WindowAt(int x, int y) const;
    std::string Title(NativeId w) const;
    size_t WindowCount() const { return windows_.size(); }
    // What window managers do on their own. Configure: moves or resizes a
    // window and says so (a tiling window manager). MoveSilently: moves it
    // without a word (a compositor's frame); the layer learns of it only by
    // asking. GiveFocus: focuses a window (click-to-focus, Alt+Tab).
    void Configure(NativeId w, const RECT &client);
    void MoveSilently(NativeId w, int dx, int dy);
    void GiveFocus(NativeId w);
    // Draws a window at another scale from now on (a compositor moving it
    // to an output of another scale) and says so.
    void SetWindowScale(NativeId w, int n);
    NativeId Focused() const { return focused_; }
    // The windows the layer brought forward as the user's doing, in order.
    const std::vector<NativeId> &Activated() const { return activated_; }

    struct Native {
        RECT client{};
        int scale = gdi::kScaleOne;
        bool shown = false;
        std::optional<gdi::Region> logicalShape;  // client coordinates
        std::optional<gdi::Region> shape;         // the same in device pixels
        gdi::Surface pixels;                      // what was last presented, device pixels
        std::string title;
        NativeId owner = 0;
        bool modal = false;
        bool modalWhenShown = false;  // marked modal before it was last shown
        bool movedSilently = false;   // since the layer last asked where it is
    };
    // Every native window, by id.
    const std::map<NativeId, Native> &Windows() const { return windows_; }

private:
    void Raise(NativeId w);

    // Where a window's pixels lie on the screen, in device pixels.
    RECT Device(const Native &n) const;
    // Makes a window's pixels the device size of its client area at its
    // scale, keeping what still fits.
    void SizePixels(Native &n);

    int width_, height_;
    int scale_;
    std::map<NativeId, Native> windows_;
    std::vector<NativeId> stack_;  // top first
    NativeId next_ = 1;
    NativeId focused_ = 0;
    std::deque<Event> events_;
    bool woken_ = false;
    int wakeFd_ = -1;
    bool fakeClock_ = false;
    DWORD now_ = 0;
    gdi::Surface screen_;
    std::function<void()> idle_;
    std::vector<NativeId> activated_;
};

}  // namespace win32::display
