// The Wayland back-end, a plugin the program loads only when it runs on a
// Wayland display: libwayland-client with the protocols generated from the
// system's XML, xkbcommon for the keymap, libwayland-cursor for the arrow.
//
// A top-level window with a caption is an xdg_toplevel, framed by the
// compositor where it offers server-side decorations and by the back-end
// (the classic frame, frame.h) elsewhere. A captionless pop-up owned by
// another window (the about box) is a subsurface of its owner: placed
// exactly where the program puts it, above its owner, its clicks and keys
// routed by the layer; any other window is a top-level of its own.
//
// No client learns where the compositor puts its windows: the program's
// screen coordinates keep the places the layer gave them, and input comes
// in window coordinates.
//
//   connection.cpp  connecting, the globals, waiting, dispatching, outputs
//   toplevel.cpp    windows: surfaces, roles, configure, title, shape
//   present.cpp     shm buffers, frame callbacks, the client-side frame
//   input.cpp       the seat: pointer, cursor, keyboard with its repeat
#pragma once

#include <windows.h>

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/display/backend.h"
#include "platform/display/frame.h"
#include "platform/display/plugin.h"
#include "platform/display/wake_pipe.h"

struct wl_buffer;
struct wl_callback;
struct wl_compositor;
struct wl_display;
struct wl_keyboard;
struct wl_output;
struct wl_pointer;
struct wl_registry;
struct wl_seat;
struct wl_shm;
struct wl_subcompositor;
struct wl_subsurface;
struct wl_surface;
struct wl_cursor_theme;
struct xdg_wm_base;
struct xdg_surface;
struct xdg_toplevel;
struct zxdg_decoration_manager_v1;
struct zxdg_toplevel_decoration_v1;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;
struct xdg_activation_v1;
struct wp_viewporter;
struct wp_viewport;
struct wp_fractional_scale_manager_v1;
struct wp_fractional_scale_v1;
struct wp_cursor_shape_manager_v1;
struct wp_cursor_shape_device_v1;
struct xdg_wm_dialog_v1;
struct xdg_dialog_v1;
struct xkb_context;
struct xkb_keymap;
struct xkb_state;

namespace win32::display::wayland {

DWORD MonotonicMs();

class WaylandBackend;

struct Output {
    WaylandBackend *backend = nullptr;
    uint32_t name = 0;  // the registry's
    wl_output *output = nullptr;
    zxdg_output_v1 *xdgOutput = nullptr;
    int scale = 1;
    SIZE mode{};     // device pixels
    SIZE logical{};  // the layout's pixels, from xdg-output
};

// One wl_shm buffer of a window's surface, in its own memory file.
struct Buffer {
    wl_buffer *buffer = nullptr;
    uint32_t *pixels = nullptr;
    size_t bytes = 0;
    int width = 0, height = 0;   // device pixels
    int scale = gdi::kScaleOne;  // 120ths
    SIZE logical{};              // the surface's logical size it shows
    bool argb = false;
    bool busy = false;  // the compositor holds it until it releases it
    // What changed since this buffer was last brought up to date, in its
    // own pixels; empty when it shows the latest picture.
    RECT stale{};
    bool doomed = false;  // of an old size: destroyed once released
};

struct Window {
    NativeId id = 0;
    WaylandBackend *backend = nullptr;
    wl_surface *surface = nullptr;
    // A top-level.
    xdg_surface *xdgSurface = nullptr;
    xdg_toplevel *toplevel = nullptr;
    zxdg_toplevel_decoration_v1 *decoration = nullptr;
    xdg_dialog_v1 *dialog = nullptr;
    // A pop-up kept over its owner.
    wl_subsurface *subsurface = nullptr;
    NativeId owner = 0;
    // Where the compositor has the pop-up now, in the owner's surface
    // coordinates, and where it was last asked to go. Each move is followed
    // by a round trip: input that comes after its answer comes at the new
    // place.
    POINT applied{};
    POINT asked{-1 << 30, 0};
    struct PositionSync {
        wl_callback *callback;
        POINT at;
    };
    std::vector<PositionSync> positionSyncs;

    RECT client{};  // the layer's client rectangle (the program's screen)
    std::string title;
    bool decorated = false;  // has a caption
    bool fixedSize = false;  // a pop-up top-level: the user cannot size it
    bool modal = false;
    bool framed = false;  // the back-end draws its frame
    bool shown = false;
    // Top-levels: the compositor's first configure came (and was acked);
    // a buffer was committed after it.
    bool configured = false;
    bool mapped = false;
    bool activated = false, maximized = false, fullscreen = false, tiled = false, resizing = false;
    // The size the compositor asked for at its last configure (window
    // geometry, logical); 0 x 0 lets the client choose.
    SIZE askedSize{};
    SIZE ownSize{};  // the client size it had before it was last maximized or tiled
    uint32_t ackSerial = 0;
    bool ackPending = false;

    // The window's scale in 120ths (backend.h): the compositor's preferred
    // fractional scale where it says one, else the largest whole scale of
    // the outputs the surface is on.
    int scale = gdi::kScaleOne;
    int preferredScale = 0;  // 120ths; 0 until the compositor says
    wp_fractional_scale_v1 *fractional = nullptr;
    // Maps the buffer's device pixels onto the surface's logical size
    // where the scale is not a whole one.
    wp_viewport *viewport = nullptr;
    std::optional<gdi::Region> shape;  // client coordinates, logical
    std::vector<RECT> alpha;           // the shape in device pixels, for ARGB buffers

    std::vector<std::unique_ptr<Buffer>> buffers;
    Buffer *prepared = nullptr;  // drawn, waiting for the commit
    RECT damage{};               // of `prepared`, in its pixels
    SIZE shownSize{};            // of the buffer last committed
    wl_callback *frameCallback = nullptr;
    // The layer's picture of the client area, kept by the layer for the
    // window's life: read again to bring a buffer up to date.
    const gdi::Surface *picture = nullptr;
    struct PictureGeometry {
        int width = 0, height = 0, scale = 0;
        bool operator==(const PictureGeometry &) const = default;
    };
    PictureGeometry presented;  // the picture's at its last Present

    // The client-side frame.
    frame::Look look;
    gdi::Surface framePicture;
    frame::Part pressed = frame::Part::Client;
    DWORD lastCaptionPress = 0;

    std::vector<wl_output *> outputs;  // entered

    bool Popup() const { return subsurface != nullptr; }
    // Where the client area lies in the surface (the frame's insets),
    // logical, and in the buffer's device pixels.
    POINT ClientOffset() const { return framed ? POINT{frame::kBorder, frame::kTop} : POINT{0, 0}; }
    POINT DeviceClientOffset() const {
        const POINT o = ClientOffset();
        return {gdi::DeviceEdge(o.x, scale), gdi::DeviceEdge(o.y, scale)};
    }
    // The surface's size in logical pixels: the client area and the frame.
    SIZE LogicalSize() const;
};

class WaylandBackend final : public display::Backend {
public:
    WaylandBackend(PluginHost *host, wl_display *dpy);
    ~WaylandBackend() override;
    // The globals and the outputs; false with the reason when the
    // compositor lacks what the back-end needs or does not answer.
    bool Start(std::string *why);

    NativeId CreateTopLevel(const TopLevelParams &p) override;
    void DestroyTopLevel(NativeId w) override;
    void MoveTopLevel(NativeId w, const RECT &client) override;
    void ShowTopLevel(NativeId w, bool show) override;
    void SetTitle(NativeId w, const char *title) override;
    void SetModal(NativeId w, bool modal) override;
    void SetShape(NativeId w, const gdi::Region *shape) override;
    void SetIcon(NativeId, int, int, const uint32_t *, const uint8_t *) override {}
    void Present(NativeId w, const gdi::Surface &surface, const RECT &dirty) override;
    bool BeginMoveDrag(NativeId w, int screenX, int screenY) override;
    void SetInputFocus(NativeId) override {}
    void ActivateTopLevel(NativeId w) override;

    bool NextEvent(Event *ev) override;
    bool Wait(int timeoutMs) override;
    void Wake() override;

    SIZE ScreenSize() override;
    RECT WorkArea() override;
    int Dpi() override { return 96; }
    int InitialScale() override { return initialScale_; }
    int WindowScale(NativeId w) override;
    POINT ClientToDevice(NativeId w, POINT client) override;
    std::string ActivationToken() override;
    DWORD Now() override { return MonotonicMs(); }

    // The listeners' side (the protocol callbacks reach these).
    void OnGlobal(wl_registry *registry, uint32_t name, const char *interface, uint32_t version);
    void OnGlobalRemove(uint32_t name);
    Output *FindOutput(wl_output *o);
    void OnOutputDone(Output &o);
    Window *FindSurface(wl_surface *s);
    void OnConfigure(Window &w, int width, int height, bool activated, bool maximized, bool fullscreen,
                     bool tiled, bool resizing);
    void OnSurfaceConfigure(Window &w, uint32_t serial);
    void OnDecorationMode(Window &w, bool serverSide);
    void OnClose(Window &w) { Push(Make(Event::CloseRequest, w.id)); }
    void OnFrameDone(Window &w);
    void OnBufferRelease(wl_buffer *b);
    void OnPositionApplied(Window &w, wl_callback *sync);
    void OnSurfaceEnter(Window &w, wl_output *o);
    void OnSurfaceLeave(Window &w, wl_output *o);
    void OnPreferredScale(Window &w, uint32_t scale);
    void OnSeatCapabilities(uint32_t caps);
    void OnPointerEnter(uint32_t serial, wl_surface *s, double x, double y);
    void OnPointerLeave(wl_surface *s);
    void OnPointerMotion(uint32_t time, double x, double y);
    void OnPointerButton(uint32_t serial, uint32_t time, uint32_t button, bool down);
    void OnPointerAxis(uint32_t time, int value120, double value);
    void OnKeymap(int fd, uint32_t size);
    void OnKeyboardEnter(wl_surface *s, const uint32_t *keys, size_t count);
    void OnKeyboardLeave(wl_surface *s);
    void OnKey(uint32_t serial, uint32_t time, uint32_t key, bool down);
    void OnModifiers(uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group);
    void OnRepeatInfo(int32_t rate, int32_t delay);
    void NoteFatal();

private:
    static Event Make(Event::Type type, NativeId w) {
        Event e;
        e.type = type;
        e.window = w;
        return e;
    }
    void Push(const Event &e) { pending_.push_back(e); }
    Window *Find(NativeId w) {
        auto it = windows_.find(w);
        return it == windows_.end() ? nullptr : it->second.get();
    }

    // connection.cpp
    bool Roundtrip(int timeoutMs);
    bool ReadAndDispatch(int timeoutMs, bool *timedOut = nullptr);
    DWORD EventTime(uint32_t time);
    void RefreshScale();
    void UpdateScale(Window &w);

    // toplevel.cpp
    void MakeToplevel(Window &w);
    void RemakeToplevel(Window &w);
    bool PopupAsSubsurface(const RECT &client, const Window &owner) const;
    void MakePopup(Window &w, Window &owner);
    void FixSize(Window &w);
    void MapToplevel(Window &w);
    void Unmap(Window &w);
    void PlacePopup(Window &w);
    void UncoverOwner(Window &popup);
    void CommitShape(Window &w);
    void ForgetWindow(Window &w);
    Window *TopLevelOf(Window *w);

    // present.cpp
    Buffer *FreeBuffer(Window &w, int width, int height);
    void Update(Window &w, Buffer &b, RECT r);
    void CopyClient(Window &w, Buffer &b, RECT r);
    void Damage(Window &w, RECT r);
    void TryCommit(Window &w);
    void RepaintFrame(Window &w);
    SIZE DeviceSize(const Window &w) const;
    RECT ClientHole(const Window &w) const;
    bool PictureReady(const Window &w) const;
    void DestroyBuffers(Window &w);

    // input.cpp
    void PointerEvent(Event::Type type, uint32_t time, int button, int delta = 0);
    frame::Part PartAtPointer(const Window &w);
    void FramePointer(Window &w, Event::Type type, int button, frame::Part part);
    void ToggleMaximized(Window &w);
    void SetCursorFor(frame::Part part);
    bool LoadKeymap();
    void KeyEvent(Window &w, uint32_t key, bool down, bool repeat, DWORD time);
    int HeldModifiers();
    void ArmRepeat(uint32_t key);
    void StopRepeat();
    void OnRepeatTimer();
    void ReleaseHeldButtons();
    void ReleasePointer();
    void ReleaseSeat();

    PluginHost *host_;
    wl_display *dpy_;
    wl_registry *registry_ = nullptr;
    wl_compositor *compositor_ = nullptr;
    wl_subcompositor *subcompositor_ = nullptr;
    wl_shm *shm_ = nullptr;
    xdg_wm_base *wmBase_ = nullptr;
    zxdg_decoration_manager_v1 *decorations_ = nullptr;
    zxdg_output_manager_v1 *outputManager_ = nullptr;
    xdg_activation_v1 *activation_ = nullptr;
    wp_viewporter *viewporter_ = nullptr;
    wp_fractional_scale_manager_v1 *fractionalScales_ = nullptr;
    wp_cursor_shape_manager_v1 *cursorShapes_ = nullptr;
    xdg_wm_dialog_v1 *dialogs_ = nullptr;
    uint32_t compositorVersion_ = 0;
    // KWin (it offers org_kde_kwin_shadow_manager), whose way with pop-ups
    // differs (PopupAsSubsurface).
    bool kwin_ = false;
    // A wlroots compositor (it offers zwlr_screencopy_manager_v1): while a
    // button is held, pointer positions stay relative to where the surface
    // was when the button went down, however it moved since.
    bool wlroots_ = false;
    std::vector<std::unique_ptr<Output>> outputs_;
    int initialScale_ = gdi::kScaleOne;
    bool fatal_ = false;

    wl_seat *seat_ = nullptr;
    uint32_t seatVersion_ = 0;
    wl_pointer *pointer_ = nullptr;
    wl_keyboard *keyboard_ = nullptr;

    // The pointer.
    NativeId pointerWindow_ = 0;
    double pointerX_ = 0, pointerY_ = 0;  // surface coordinates
    uint32_t enterSerial_ = 0;
    uint32_t pressSerial_ = 0;  // the latest press, for moves and menus
    int buttonsDown_ = 0;       // a bit per button (1 << button)
    NativeId grabWindow_ = 0;   // where the buttons went down
    POINT grabApplied_{};       // where that pop-up was then
    bool grabInFrame_ = false;  // ... on the client-side frame
    int wheel_ = 0;             // 120ths of a notch not yet reported
    double wheelUnits_ = 0;     // continuous scrolling not yet a notch
    bool wheelNotched_ = false;
    uint32_t wheelTime_ = 0;
    uint32_t lastInputSerial_ = 0;  // of the latest key or button
    wl_surface *cursorSurface_ = nullptr;
    wl_cursor_theme *cursorTheme_ = nullptr;
    wp_cursor_shape_device_v1 *cursorShape_ = nullptr;
    int cursorThemeScale_ = 0;
    int cursorPart_ = -1;

    // The keyboard.
    NativeId keyboardWindow_ = 0;
    int keymapFd_ = -1;
    uint32_t keymapSize_ = 0;
    xkb_context *xkb_ = nullptr;
    xkb_keymap *keymap_ = nullptr;
    xkb_state *xkbState_ = nullptr;
    uint32_t mods_[4] = {};         // depressed, latched, locked, group, until the keymap is read
    bool keyStatePending_ = false;  // focus came: the modifiers follow
    std::vector<uint32_t> downKeys_;
    int repeatRate_ = 25, repeatDelay_ = 600;
    int repeatFd_ = -1;
    uint32_t repeatKey_ = 0;
    bool repeating_ = false;

    std::string startToken_;  // the one this process was started with
    WakePipe wakePipe_;
    bool timeOffsetSet_ = false;
    DWORD timeOffset_ = 0;
    NativeId nextId_ = 1;
    std::map<NativeId, std::unique_ptr<Window>> windows_;
    std::deque<Event> pending_;
};

}  // namespace win32::display::wayland
