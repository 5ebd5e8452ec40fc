// The narrow seam between the window manager and a window system.
//
// Only top-level windows are native windows; each has one surface (its
// client area) that the window manager paints and the back-end presents.
// Child windows never reach the back-end. Coordinates crossing the seam are
// the program's logical pixels; surfaces hold device pixels.
//
// Display scale. Each top-level window has a scale n/120, n from 120 (1x)
// to 480 (4x): the device pixels for each logical pixel (X11 has one scale
// for all windows; on Wayland wp_fractional_scale_v1's preferred_scale is n
// itself and an output's whole wl_output scale k is n = 120 k). Between a
// window's logical client coordinates and its surface's device pixels lies
// one rule (gdi_internal.h): logical edge v is device edge DeviceEdge(v, n),
// so a client area of w x h is a surface of DeviceEdge(w, n) x
// DeviceEdge(h, n) device pixels, round(s * w) x round(s * h); a device
// point p of the surface (relative to its top-left) is in logical pixel
// LogicalPixel(p, n), which is how the back-end reports pointer positions
// and exposed areas (a position the window system gives in logical units
// with a fraction, as Wayland's wl_fixed, is its device pixel
// floor(x * n / 120) first). A back-end may change a window's scale while the
// program runs: it answers the new scale from WindowScale and reports a
// ScaleChanged event for the window, after which the layer makes the
// window's surface anew at the new device size and repaints all of it. The
// program's logical coordinates never change with the scale, and the
// program never sees it (GetDeviceCaps says 96 pixels per inch).
#pragma once

#include <poll.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/gdi/gdi_internal.h"

namespace win32::display {

using NativeId = uint64_t;  // 0 = none

struct TopLevelParams {
    RECT client;             // client area in screen coordinates
    bool decorated = false;  // has a caption: the window manager frames it
    bool popup = false;      // captionless popup (override no decorations)
    NativeId owner = 0;      // transient-for
    std::string title;
};

enum : int { kModShift = 1, kModCtrl = 2, kModAlt = 4 };

// Input and window-system events, translated for the window manager.
struct Event {
    enum Type {
        None,
        KeyDown,       // vk, scanCode, extended, repeat
        KeyUp,         // vk, scanCode, extended
        Char,          // ch: the character the key produced (for WM_CHAR), sent after KeyDown
        ButtonDown,    // button (1 left, 2 middle, 3 right), x, y, rootX, rootY
        ButtonUp,      // button, x, y, rootX, rootY
        Motion,        // x, y, rootX, rootY
        Wheel,         // delta (+120 away from the user), x, y, rootX, rootY
        CloseRequest,  // the window manager's close button
        Expose,        // rect (client coordinates) needs presenting again
        Configure,     // the window manager moved/resized: rect = new client rect (screen)
        FocusIn,
        FocusOut,
        Unmap,  // minimised/hidden by the window manager
        Map,
        Destroyed,     // another client destroyed the native window; the back-end forgot it
        KeyState,      // modifiers: the modifier keys held now (sent when focus comes back)
        ScaleChanged,  // WindowScale(window) has changed: its surface is made anew and repainted
    } type = None;
    NativeId window = 0;
    // Pointer events: x, y in the client area of `window` (screen
    // coordinates when `window` is 0), the window system's own measure,
    // right even when the window was moved without the layer being told,
    // the logical pixel holding the device point (LogicalPixel at the
    // window's scale); rootX, rootY on the screen, only for measuring how
    // far the pointer moved.
    int x = 0, y = 0;
    int rootX = 0, rootY = 0;
    int button = 0;
    int delta = 0;
    UINT vk = 0;
    UINT scanCode = 0;
    bool extended = false;
    bool repeat = false;
    char ch = 0;
    // The modifier keys the window system reports held (kModShift, ...):
    // now for KeyState, just before the event for keys and buttons; -1 when
    // the back-end does not know.
    int modifiers = -1;
    RECT rect{};
    DWORD time = 0;  // milliseconds, monotonic
};

class Backend {
public:
    virtual ~Backend() = default;

    virtual NativeId CreateTopLevel(const TopLevelParams &p) = 0;
    virtual void DestroyTopLevel(NativeId w) = 0;
    // New client rectangle in screen coordinates.
    virtual void MoveTopLevel(NativeId w, const RECT &client) = 0;
    virtual void ShowTopLevel(NativeId w, bool show) = 0;
    virtual void SetTitle(NativeId w, const char *title) = 0;
    // An owned window whose owner is disabled is a modal dialog; the
    // window system may mark it so.
    virtual void SetModal(NativeId, bool) {}
    // Shape in logical client coordinates; null removes the shape. The
    // back-end cuts the window at device resolution (Region::Scaled at the
    // window's scale), anew when the scale changes.
    virtual void SetShape(NativeId w, const gdi::Region *shape) = 0;
    // Icon pixels 0x00RRGGBB with mask (non-zero = transparent).
    virtual void SetIcon(NativeId w, int width, int height, const uint32_t *pixels, const uint8_t *mask) = 0;
    // Copies `dirty` (logical client coordinates, whose device pixels follow
    // from surface.scale) of the window's surface to the screen. The surface
    // is the window's own until DestroyTopLevel: a back-end may read it
    // again later.
    virtual void Present(NativeId w, const gdi::Surface &surface, const RECT &dirty) = 0;
    // Asks the window manager to move the window with the pointer (drag by
    // body). Returns false when the back-end cannot, and the window manager
    // of the layer then moves the window itself on pointer motion.
    virtual bool BeginMoveDrag(NativeId w, int screenX, int screenY) = 0;
    virtual void SetInputFocus(NativeId w) = 0;
    // Brings a window forward with the input focus as the user's doing (a
    // click elsewhere activated it): raises it, focuses it and asks the
    // window manager to make it the active window.
    virtual void ActivateTopLevel(NativeId w) { SetInputFocus(w); }
    // The client rectangle the window system has now, when it differs from
    // the last one reported and the back-end cannot trust what it heard (a
    // window manager may move a window, or its frame, without a word).
    // False when the last reported rectangle holds.
    virtual bool QueryClientRect(NativeId, RECT *) { return false; }

    // Removes and returns the next pending event; false when none is pending.
    virtual bool NextEvent(Event *ev) = 0;
    // Blocks until an event may be pending or timeoutMs passes (-1 = forever).
    // Returns false when the connection to the window system is lost.
    virtual bool Wait(int timeoutMs) = 0;
    // Something else (a posted message from another source) wakes Wait.
    virtual void Wake() = 0;

    virtual SIZE ScreenSize() = 0;
    virtual RECT WorkArea() = 0;
    virtual int Dpi() = 0;
    // The scale (120ths, 120 to 480) a window takes until the back-end
    // knows its own: the surface of a top-level not yet made is sized at it.
    virtual int InitialScale() { return gdi::kScaleOne; }
    // A top-level window's scale now, 120ths (120 to 480); see above.
    virtual int WindowScale(NativeId) { return InitialScale(); }
    // Where a point of a top-level's client area (logical, relative to its
    // top-left) lies on the window system's screen, in device pixels, for
    // those who measure the screen in them (a screen reader): the client
    // area's device position plus the point's device edges.
    virtual POINT ClientToDevice(NativeId w, POINT client) {
        const int n = WindowScale(w);
        return {gdi::DeviceEdge(client.x, n), gdi::DeviceEdge(client.y, n)};
    }
    virtual DWORD Now() = 0;  // milliseconds, monotonic
    // A token that lets a program started for the user's latest input
    // bring its window forward (XDG_ACTIVATION_TOKEN); empty for none.
    virtual std::string ActivationToken() { return ""; }
};

// Work besides the window system's that the back-end's Wait also watches
// (the accessibility provider's connections): descriptors to poll and a
// time limit, and work done on this thread after every wait.
class WaitSource {
public:
    virtual ~WaitSource() = default;
    virtual int Descriptors(pollfd *fds, int max) = 0;
    virtual int TimeoutMs() = 0;  // -1: none
    virtual void Dispatch() = 0;
};
void SetWaitSource(WaitSource *source);
WaitSource *CurrentWaitSource();

// Room a back-end leaves for the wait source's descriptors after its own.
constexpr int kWaitSourceFds = 4;
// Polls a back-end's `count` descriptors and after them the wait source's
// (`fds` has room for kWaitSourceFds more) until the earlier of timeoutMs
// (-1: none) and the source's time limit; poll's result.
inline int PollWithSource(WaitSource *source, pollfd *fds, int count, int timeoutMs) {
    if (source) {
        count += source->Descriptors(fds + count, kWaitSourceFds);
        const int limit = source->TimeoutMs();
        if (limit >= 0 && (timeoutMs < 0 || limit < timeoutMs)) timeoutMs = limit;
    }
    return poll(fds, static_cast<nfds_t>(count), timeoutMs < 0 ? -1 : timeoutMs);
}

// The display scale a desktop asks for, in 120ths: MORVALEN_SCALE if set
// (a decimal such as 1.5, or a whole number), else GDK_SCALE (a whole
// number), else the resource DPI (Xft.dpi) * 120 / 96 rounded (120 gives
// 150, 1.25x; 144 gives 180, 1.5x); clamped to 120..480 and to the largest
// scale that leaves `primary` (the primary monitor's size in device pixels;
// 0 x 0 when not known) at least 640 x 480 logical pixels. `resourceDpi` 0
// means none.
int ScaleFromEnvironment(int resourceDpi, SIZE primary);
// A scale written as a decimal ("1.5", "2", " 1.25 ") in 120ths, rounded,
// not clamped (a negative number is 0); -1 for text that is not one, or
// null. Without `decimals` only whole numbers count.
int ParseScale(const char *text, bool decimals);

// The back-end in use; opened on first use with the factory below. Fatal
// (message on stderr, exit 1) when no back-end can be opened.
Backend &Current();
// True once a back-end has been opened.
bool IsOpen();
// The factory Current() uses; the program's start-up sets the X11 one,
// tests and the snapshot tool the headless one. Without a factory the
// headless back-end is used.
void SetFactory(std::function<std::unique_ptr<Backend>()> factory);
// Replaces the back-end in use (tests); closes the old one.
void Reset(std::unique_ptr<Backend> backend);

}  // namespace win32::display
