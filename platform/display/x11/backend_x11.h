// The X11 back-end's class and what the files of this folder share: one X
// window per top-level window (its client area), surfaces presented with
// XPutImage, X events translated for the window manager of the layer.
//
//   backend_x11.cpp  the connection: opening, closing, waiting, errors
//   toplevel.cpp     native windows: creation, hints, title, shape, icon
//   events.cpp       X events to the seam's events, keys and buttons
//   present.cpp      surface pixels to the screen
//   screen.cpp       monitors, work area, resolution, root properties
//   bitmap.cpp       one-bit pixmaps without Xlib's cursor hook
#pragma once

#include <windows.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/display/backend.h"
#include "platform/display/wake_pipe.h"
#include "platform/display/x11/x11.h"

// Xlib defines macros named like some of our event types (Expose, FocusIn,
// ...), so the event types get local names before the X headers come in.
namespace win32::display::x11 {
using display::Event;
inline constexpr Event::Type kEvButtonDown = Event::ButtonDown;
inline constexpr Event::Type kEvButtonUp = Event::ButtonUp;
inline constexpr Event::Type kEvMotion = Event::Motion;
inline constexpr Event::Type kEvWheel = Event::Wheel;
inline constexpr Event::Type kEvCloseRequest = Event::CloseRequest;
inline constexpr Event::Type kEvExpose = Event::Expose;
inline constexpr Event::Type kEvConfigure = Event::Configure;
inline constexpr Event::Type kEvFocusIn = Event::FocusIn;
inline constexpr Event::Type kEvFocusOut = Event::FocusOut;
inline constexpr Event::Type kEvUnmap = Event::Unmap;
inline constexpr Event::Type kEvMap = Event::Map;
inline constexpr Event::Type kEvKeyState = Event::KeyState;
inline constexpr Event::Type kEvDestroyed = Event::Destroyed;
}  // namespace win32::display::x11

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/XKBlib.h>

namespace win32::display::x11 {

DWORD MonotonicMs();

// XCreateBitmapFromData without loading the cursor library (bitmap.cpp).
Pixmap CreateBitmap(Display *dpy, Drawable drawable, const char *bits, unsigned width, unsigned height);

// Windows someone else destroyed, as BadWindow errors named them. Other
// connections of the process (tests) share the error handler, so each id
// keeps its connection.
struct DeadWindow {
    Display *dpy;
    XID id;
};
std::vector<DeadWindow> &BadWindows();

struct TopLevel {
    Window xid = 0;
    RECT client{};      // last known client rectangle, screen coordinates
    Window parent = 0;  // the root, or a window manager's frame
    // Without a frame: a ConfigureNotify came after the last map, so
    // `client` is exact. In a frame nothing is exact for long: some window
    // managers move the frame without a word after telling the client where
    // it is.
    bool positionKnown = true;
    // Our own move was asked for and no ConfigureNotify answered yet: the
    // server may not show it yet, and the layer's rectangle holds.
    bool movePending = false;
    // A 32-bit visual whose alpha the back-end sets: 0 outside `alpha`
    // (the shape at device resolution), 255 inside.
    bool argb = false;
    std::optional<gdi::Region> alpha;
    bool mapped = false;
    bool focusWhenMapped = false;
    // Unmapped by the back-end itself to be mapped again on top: neither
    // half is a minimize and restore the layer should hear of.
    bool remapping = false;
    bool shown = false;  // asked to be mapped: the window manager may own its state
    Window owner = 0;    // its owner's window, or 0: kept off the taskbar
    // Until then (MonotonicMs) an owned window without a frame that was
    // activated is kept above its owner: a window manager may restack the
    // owner after the click that activated it.
    DWORD keepAboveOwnerUntil = 0;
    Pixmap iconPixmap = 0;
    Pixmap iconMask = 0;
};

class X11Backend final : public display::Backend {
public:
    X11Backend(Display *dpy, const XVisualInfo &vi);
    ~X11Backend() override;

    display::NativeId CreateTopLevel(const display::TopLevelParams &p) override;
    void DestroyTopLevel(display::NativeId w) override;
    void MoveTopLevel(display::NativeId w, const RECT &client) override;
    void ShowTopLevel(display::NativeId w, bool show) override;
    void SetModal(display::NativeId w, bool modal) override;
    void SetTitle(display::NativeId w, const char *title) override;
    void SetShape(display::NativeId w, const gdi::Region *shape) override;
    void SetIcon(display::NativeId w, int width, int height, const uint32_t *pixels,
                 const uint8_t *mask) override;
    void Present(display::NativeId w, const gdi::Surface &surface, const RECT &dirty) override;
    bool BeginMoveDrag(display::NativeId w, int screenX, int screenY) override;
    void SetInputFocus(display::NativeId w) override;
    void ActivateTopLevel(display::NativeId w) override;
    bool QueryClientRect(display::NativeId w, RECT *client) override;

    bool NextEvent(Event *ev) override;
    bool Wait(int timeoutMs) override;
    void Wake() override;

    SIZE ScreenSize() override;
    // The desktop's work area on the primary monitor, in the program's coordinates.
    RECT WorkArea() override;
    int Dpi() override;
    // One scale for every window, from the environment and Xft.dpi.
    int InitialScale() override { return scale_; }
    int WindowScale(display::NativeId) override { return scale_; }
    POINT ClientToDevice(display::NativeId w, POINT client) override;
    DWORD Now() override { return MonotonicMs(); }

    void Sync() {
        XSync(dpy_, False);
        screenStale_ = true;
    }

private:
    enum {
        kWmProtocols,
        kWmDeleteWindow,
        kNetWmPing,
        kNetWmName,
        kNetWmIconName,
        kUtf8String,
        kNetWmIcon,
        kMotifWmHints,
        kNetSupported,
        kNetWmMoveResize,
        kNetWorkArea,
        kNetCurrentDesktop,
        kNetWmPid,
        kNetWmWindowType,
        kNetWmWindowTypeDialog,
        kNetWmState,
        kNetWmStateModal,
        kNetWmStateSkipTaskbar,
        kNetActiveWindow,
        kNetWmCmScreen,  // _NET_WM_CM_S<screen>: owned while a compositing manager runs
        kAtomCount
    };

    // Root-window coordinates and the program's screen coordinates: the
    // primary monitor's top-left corner is the program's (0, 0), and a
    // logical edge of the program lies on the root's device edge Dev (the
    // display's one rule at scale_ / 120; a root pixel belongs to the
    // logical pixel whose device edges hold it). Every position crossing the
    // seam goes through these two, every size, and every point within a
    // window (relative to its client area), through Dev and Logical.
    POINT ToRoot(POINT p) const { return {Dev(p.x) + monitor_.left, Dev(p.y) + monitor_.top}; }
    POINT FromRoot(POINT p) const { return {Logical(p.x - monitor_.left), Logical(p.y - monitor_.top)}; }
    int Dev(int v) const { return gdi::DeviceEdge(v, scale_); }
    int Logical(int v) const { return gdi::LogicalPixel(v, scale_); }

    static int Width(const RECT &r) { return std::max<int>(1, r.right - r.left); }
    static int Height(const RECT &r) { return std::max<int>(1, r.bottom - r.top); }

    TopLevel *Find(display::NativeId w) {
        auto it = windows_.find(w);
        return it == windows_.end() ? nullptr : &it->second;
    }

    // toplevel.cpp
    Window CreateClientWindow(const RECT &client, bool argb);
    bool CompositingManagerRuns();
    void WriteWmState(const TopLevel &t, bool modal);
    bool BelowItsOwner(const TopLevel &t);
    void KeepAboveOwner(TopLevel &t);
    void IdentifyClient(Window xid);
    void SetSizeHints(Window xid, const RECT &client);
    void SetNetIcon(Window xid, int width, int height, const uint32_t *pixels, const uint8_t *mask);
    void SetHintsIcon(TopLevel &t, int width, int height, const uint32_t *pixels, const uint8_t *mask);
    void FreeIcon(TopLevel &t);
    void FreeWindow(TopLevel &t, bool destroy);

    // present.cpp
    int BitsPerPixel(int depth) const;
    void PutPixels(Drawable target, const uint32_t *pixels, int stride, int x, int y, int w, int h);
    void PutConvertedPixels(Drawable target, const uint32_t *pixels, int stride, int x, int y, int w, int h);
    void PutAlphaPixels(const TopLevel &t, const gdi::Surface &surface, const RECT &device);

    // screen.cpp
    void RefreshScreen();
    void RefreshMonitors();
    bool TakeScreenChange(XEvent &xe);
    std::vector<long> CardinalProperty(Window w, Atom property);
    bool WindowManagerSupports(Atom feature);

    // events.cpp
    void ForgetDestroyedWindows();
    void Translate(XEvent &xe);
    void OnMappingNotify(XMappingEvent &mapping);
    void OnKeymapNotify(const XKeymapEvent &keymap);
    void OnExpose(const TopLevel &t, const XExposeEvent &expose);
    void OnMapNotify(TopLevel &t);
    void OnUnmapNotify(TopLevel &t);
    void OnFocusChange(const TopLevel &t, const XFocusChangeEvent &focus);
    void OnMotion(const TopLevel &t, XEvent &xe);
    void OnClientMessage(const TopLevel &t, const XClientMessageEvent &message);
    void TranslateKey(TopLevel &t, XKeyEvent &key);
    bool IsAutoRepeatRelease(const XKeyEvent &key);
    bool KeyCodesOf(const XKeyEvent &key, KeySym looked, KeyInfo *code);
    void TranslateButton(TopLevel &t, const XButtonEvent &b);
    DWORD EventTime(Time xtime);
    void Push(const Event &e) { pending_.push_back(e); }
    void Forget(Window xid);
    void OnConfigureNotify(TopLevel &t, const XConfigureEvent &c);
    void OnReparentNotify(TopLevel &t, const XReparentEvent &r);
    bool RootPosition(const TopLevel &t, POINT *root);
    void MovedTo(TopLevel &t, POINT root, int width, int height);
    void PointerAt(Event &e, int x, int y, int xRoot, int yRoot) const;
    int HeldModifiers(const char keys[32]);
    void LoadKeyboard();
    void ForgetKeyboard();
    KeyCodeSyms SymsOf(unsigned keycode);

    Display *dpy_;
    XVisualInfo visual_;
    int screen_ = 0;
    Window root_ = 0;
    Colormap colormap_ = 0;
    bool ownColormap_ = false;
    bool hasShape_ = false;
    bool directPixels_ = false;
    GC gc_ = nullptr;
    // The 32-bit visual with alpha for shaped windows under a compositing
    // manager; its visual id is 0 when the server has none.
    XVisualInfo argbVisual_{};
    Colormap argbColormap_ = 0;
    GC argbGc_ = nullptr;
    // The latest button press: the server's time and the root position,
    // for requests the window manager checks against the user's input.
    Time lastPressTime_ = CurrentTime;
    bool pressSeen_ = false;
    POINT lastPressRoot_{};
    Atom atoms_[kAtomCount] = {};
    WakePipe wakePipe_;
    int dpi_ = 0;
    int scale_ = gdi::kScaleOne;  // 120ths
    XkbDescPtr xkb_ = nullptr;
    bool hasMonitors_ = false;
    int randrEventBase_ = 0;
    RECT monitor_{};           // the primary monitor in root coordinates
    RECT workArea_{};          // the desktop's work area on it, root coordinates
    bool screenStale_ = true;  // both are asked for again when next needed
    bool timeOffsetSet_ = false;
    DWORD timeOffset_ = 0;
    std::unordered_map<display::NativeId, TopLevel> windows_;
    std::unordered_set<unsigned> downKeys_;
    std::deque<Event> pending_;
};

}  // namespace win32::display::x11
