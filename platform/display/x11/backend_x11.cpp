// The X11 back-end: one X window per top-level window (its client area),
// surfaces presented with XPutImage, X events translated for the window
// manager of the layer.
#include "platform/display/x11/x11.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/display/backend.h"

// Xlib defines macros named like some of our event types (Expose, FocusIn,
// ...), so the event types get local names before the X headers come in.
namespace {
using win32::display::Event;
constexpr Event::Type kEvKeyDown = Event::KeyDown;
constexpr Event::Type kEvKeyUp = Event::KeyUp;
constexpr Event::Type kEvChar = Event::Char;
constexpr Event::Type kEvButtonDown = Event::ButtonDown;
constexpr Event::Type kEvButtonUp = Event::ButtonUp;
constexpr Event::Type kEvMotion = Event::Motion;
constexpr Event::Type kEvWheel = Event::Wheel;
constexpr Event::Type kEvCloseRequest = Event::CloseRequest;
constexpr Event::Type kEvExpose = Event::Expose;
constexpr Event::Type kEvConfigure = Event::Configure;
constexpr Event::Type kEvFocusIn = Event::FocusIn;
constexpr Event::Type kEvFocusOut = Event::FocusOut;
constexpr Event::Type kEvUnmap = Event::Unmap;
constexpr Event::Type kEvMap = Event::Map;
constexpr Event::Type kEvKeyState = Event::KeyState;
constexpr Event::Type kEvDestroyed = Event::Destroyed;
}  // namespace

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/XKBlib.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/shape.h>

namespace win32::display::x11 {
namespace {

// A lost connection cannot be recovered: say so and end at once. Xlib calls
// this from whatever call noticed; returning would make Xlib exit anyway.
int OnIoError(Display *) {
    static const char kMessage[] = "morvalen: lost the connection to the X display\n";
    ssize_t ignored = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
    (void)ignored;
    _exit(1);
}

// Protocol errors (a window the window manager already destroyed, focus on
// a window not yet viewable) are harmless here; Xlib's default would exit.
// A BadWindow names a window someone else destroyed; the back-end looks
// for its own windows among them.
// Other connections of the process (tests) share the handler, so each id
// keeps its connection.
struct DeadWindow {
    Display *dpy;
    XID id;
};
std::vector<DeadWindow> &BadWindows() {
    static std::vector<DeadWindow> ids;
    return ids;
}

int OnProtocolError(Display *dpy, XErrorEvent *e) {
    if (e->error_code == BadWindow && BadWindows().size() < 64) BadWindows().push_back({dpy, e->resourceid});
    return 0;
}

DWORD MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<DWORD>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                              static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

std::string Latin1ToUtf8(const char *s) {
    std::string out;
    for (; *s; ++s) {
        unsigned char c = static_cast<unsigned char>(*s);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// _MOTIF_WM_HINTS: flags, functions, decorations, input mode, status.
constexpr unsigned long kMwmHintsDecorations = 1ul << 1;
// _NET_WM_MOVERESIZE direction for a keyboard-less move.
constexpr long kNetMoveResizeMove = 8;

struct TopLevel {
    Window xid = 0;
    RECT client{};  // last known client rectangle, screen coordinates
    bool mapped = false;
    bool focusWhenMapped = false;
    bool shown = false;  // asked to be mapped: the window manager may own its state
    Pixmap iconPixmap = 0;
    Pixmap iconMask = 0;
};

class X11Backend final : public display::Backend {
public:
    X11Backend(Display *dpy, const XVisualInfo &vi) : dpy_(dpy), visual_(vi) {
        screen_ = DefaultScreen(dpy_);
        root_ = RootWindow(dpy_, screen_);
        if (visual_.visual == DefaultVisual(dpy_, screen_)) {
            colormap_ = DefaultColormap(dpy_, screen_);
        } else {
            colormap_ = XCreateColormap(dpy_, root_, visual_.visual, AllocNone);
            ownColormap_ = true;
        }
        const char *names[] = {"WM_PROTOCOLS",       "WM_DELETE_WINDOW",    "_NET_WM_PING",
                               "_NET_WM_NAME",       "_NET_WM_ICON_NAME",   "UTF8_STRING",
                               "_NET_WM_ICON",       "_MOTIF_WM_HINTS",     "_NET_SUPPORTED",
                               "_NET_WM_MOVERESIZE", "_NET_WORKAREA",       "_NET_CURRENT_DESKTOP",
                               "_NET_WM_PID",        "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DIALOG",
                               "_NET_WM_STATE",      "_NET_WM_STATE_MODAL"};
        static_assert(sizeof names / sizeof names[0] == kAtomCount);
        XInternAtoms(dpy_, const_cast<char **>(names), kAtomCount, False, atoms_);
        int eventBase = 0, errorBase = 0;
        hasShape_ = XShapeQueryExtension(dpy_, &eventBase, &errorBase);
        int major = 0, minor = 0;
        if (XRRQueryExtension(dpy_, &randrEventBase_, &errorBase) && XRRQueryVersion(dpy_, &major, &minor) &&
            (major > 1 || (major == 1 && minor >= 5))) {
            hasMonitors_ = true;
            XRRSelectInput(dpy_, root_, RRScreenChangeNotifyMask);
        }
        scale_ = display::ScaleFromEnvironment(Dpi());
        RefreshMonitors();
        Bool supported = False;
        XkbSetDetectableAutoRepeat(dpy_, True, &supported);
        LoadKeyboard();
        gc_ = nullptr;
        if (pipe2(wakePipe_, O_NONBLOCK | O_CLOEXEC) != 0) wakePipe_[0] = wakePipe_[1] = -1;
        // Fast image path: the surface's 0x00RRGGBB words are the visual's pixels.
        directPixels_ = visual_.red_mask == 0xFF0000 && visual_.green_mask == 0xFF00 &&
                        visual_.blue_mask == 0xFF && BitsPerPixel(visual_.depth) == 32;
    }

    ~X11Backend() override {
        for (auto &entry : windows_) FreeWindow(entry.second, true);
        if (gc_) XFreeGC(dpy_, gc_);
        if (xkb_) XkbFreeKeyboard(xkb_, 0, True);
        if (ownColormap_) XFreeColormap(dpy_, colormap_);
        XSync(dpy_, False);
        std::erase_if(BadWindows(), [this](const DeadWindow &b) { return b.dpy == dpy_; });
        XCloseDisplay(dpy_);
        if (wakePipe_[0] >= 0) close(wakePipe_[0]);
        if (wakePipe_[1] >= 0) close(wakePipe_[1]);
    }

    display::NativeId CreateTopLevel(const display::TopLevelParams &p) override {
        XSetWindowAttributes attrs{};
        attrs.background_pixmap = None;  // we present every exposed pixel ourselves
        attrs.border_pixel = 0;
        attrs.colormap = colormap_;
        attrs.bit_gravity = NorthWestGravity;
        attrs.event_mask = ExposureMask | StructureNotifyMask | KeyPressMask | KeyReleaseMask |
                           ButtonPressMask | ButtonReleaseMask | PointerMotionMask | FocusChangeMask |
                           KeymapStateMask;
        int w = Dev(Width(p.client)), h = Dev(Height(p.client));
        POINT at = ToRoot({p.client.left, p.client.top});
        Window xid =
            XCreateWindow(dpy_, root_, at.x, at.y, static_cast<unsigned>(w), static_cast<unsigned>(h), 0,
                          visual_.depth, InputOutput, visual_.visual,
                          CWBackPixmap | CWBorderPixel | CWColormap | CWBitGravity | CWEventMask, &attrs);
        if (!xid) return 0;
        if (!gc_) gc_ = XCreateGC(dpy_, xid, 0, nullptr);

        XClassHint classHint{const_cast<char *>("morvalen"), const_cast<char *>("Morvalen")};
        XSetClassHint(dpy_, xid, &classHint);
        XWMHints wmHints{};
        wmHints.flags = InputHint | StateHint;
        wmHints.input = True;
        wmHints.initial_state = NormalState;
        XSetWMHints(dpy_, xid, &wmHints);
        SetSizeHints(xid, p.client);
        Atom protocols[] = {atoms_[kWmDeleteWindow], atoms_[kNetWmPing]};
        XSetWMProtocols(dpy_, xid, protocols, 2);
        long pid = static_cast<long>(getpid());
        XChangeProperty(dpy_, xid, atoms_[kNetWmPid], XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<unsigned char *>(&pid), 1);
        char host[256] = {};
        if (gethostname(host, sizeof host - 1) == 0 && host[0]) {
            char *list[] = {host};
            XTextProperty machine{};
            if (XStringListToTextProperty(list, 1, &machine)) {
                XSetWMClientMachine(dpy_, xid, &machine);
                XFree(machine.value);
            }
        }
        if (!p.decorated) {
            unsigned long motif[5] = {kMwmHintsDecorations, 0, 0, 0, 0};
            XChangeProperty(dpy_, xid, atoms_[kMotifWmHints], atoms_[kMotifWmHints], 32, PropModeReplace,
                            reinterpret_cast<unsigned char *>(motif), 5);
        }
        if (p.owner && windows_.count(p.owner)) XSetTransientForHint(dpy_, xid, static_cast<Window>(p.owner));

        TopLevel &t = windows_[xid];
        t.xid = xid;
        t.client = p.client;
        SetTitle(xid, p.title.c_str());
        XFlush(dpy_);
        return xid;
    }

    void DestroyTopLevel(display::NativeId w) override {
        auto it = windows_.find(w);
        if (it == windows_.end()) return;
        FreeWindow(it->second, true);
        windows_.erase(it);
        std::erase_if(pending_, [w](const Event &e) { return e.window == w; });
        XFlush(dpy_);
    }

    void MoveTopLevel(display::NativeId w, const RECT &client) override {
        TopLevel *t = Find(w);
        if (!t) return;
        t->client = client;
        SetSizeHints(t->xid, client);
        POINT at = ToRoot({client.left, client.top});
        XMoveResizeWindow(dpy_, t->xid, at.x, at.y, static_cast<unsigned>(Dev(Width(client))),
                          static_cast<unsigned>(Dev(Height(client))));
        XFlush(dpy_);
    }

    void ShowTopLevel(display::NativeId w, bool show) override {
        TopLevel *t = Find(w);
        if (!t) return;
        t->shown = show;
        if (show) {
            XMapRaised(dpy_, t->xid);
        } else {
            XWithdrawWindow(dpy_, t->xid, screen_);
            t->focusWhenMapped = false;
        }
        XFlush(dpy_);
    }

    void SetModal(display::NativeId w, bool modal) override {
        TopLevel *t = Find(w);
        if (!t) return;
        if (modal) {
            Atom dialog = atoms_[kNetWmWindowTypeDialog];
            XChangeProperty(dpy_, t->xid, atoms_[kNetWmWindowType], XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<unsigned char *>(&dialog), 1);
        }
        if (t->shown) {
            // The window manager keeps the state of a mapped window: ask it.
            XEvent ev{};
            ev.xclient.type = ClientMessage;
            ev.xclient.window = t->xid;
            ev.xclient.message_type = atoms_[kNetWmState];
            ev.xclient.format = 32;
            ev.xclient.data.l[0] = modal ? 1 : 0;  // add, remove
            ev.xclient.data.l[1] = static_cast<long>(atoms_[kNetWmStateModal]);
            ev.xclient.data.l[3] = 1;  // a normal application asks
            XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
        } else if (modal) {
            Atom state = atoms_[kNetWmStateModal];
            XChangeProperty(dpy_, t->xid, atoms_[kNetWmState], XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<unsigned char *>(&state), 1);
        } else {
            XDeleteProperty(dpy_, t->xid, atoms_[kNetWmState]);
        }
        XFlush(dpy_);
    }

    void SetTitle(display::NativeId w, const char *title) override {
        TopLevel *t = Find(w);
        if (!t) return;
        if (!title) title = "";
        XStoreName(dpy_, t->xid, title);
        XSetIconName(dpy_, t->xid, title);
        std::string utf8 = Latin1ToUtf8(title);
        for (int atom : {kNetWmName, kNetWmIconName}) {
            XChangeProperty(dpy_, t->xid, atoms_[atom], atoms_[kUtf8String], 8, PropModeReplace,
                            reinterpret_cast<const unsigned char *>(utf8.data()),
                            static_cast<int>(utf8.size()));
        }
        XFlush(dpy_);
    }

    void SetShape(display::NativeId w, const gdi::Region *shape) override {
        TopLevel *t = Find(w);
        if (!t || !hasShape_) return;
        for (int kind : {ShapeBounding, ShapeInput}) {
            if (!shape) {
                XShapeCombineMask(dpy_, t->xid, kind, 0, 0, None, ShapeSet);
                continue;
            }
            const gdi::Region device = shape->Scaled(scale_);
            std::vector<XRectangle> rects;
            rects.reserve(device.Rects().size());
            for (const RECT &r : device.Rects()) {
                rects.push_back({static_cast<short>(r.left), static_cast<short>(r.top),
                                 static_cast<unsigned short>(r.right - r.left),
                                 static_cast<unsigned short>(r.bottom - r.top)});
            }
            XShapeCombineRectangles(dpy_, t->xid, kind, 0, 0, rects.data(), static_cast<int>(rects.size()),
                                    ShapeSet, YXBanded);
        }
        XFlush(dpy_);
    }

    void SetIcon(display::NativeId w, int width, int height, const uint32_t *pixels,
                 const uint8_t *mask) override {
        TopLevel *t = Find(w);
        if (!t || width <= 0 || height <= 0 || !pixels) return;
        size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
        // _NET_WM_ICON: width, height, then ARGB pixels, each in a long.
        std::vector<unsigned long> net(2 + count);
        net[0] = static_cast<unsigned long>(width);
        net[1] = static_cast<unsigned long>(height);
        for (size_t i = 0; i < count; ++i) {
            bool clear = mask && mask[i];
            net[2 + i] = clear ? 0ul : (0xFF000000ul | (pixels[i] & 0xFFFFFFul));
        }
        XChangeProperty(dpy_, t->xid, atoms_[kNetWmIcon], XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<unsigned char *>(net.data()), static_cast<int>(net.size()));

        // WM_HINTS icon for window managers that do not read _NET_WM_ICON.
        FreeIcon(*t);
        t->iconPixmap = XCreatePixmap(dpy_, t->xid, static_cast<unsigned>(width),
                                      static_cast<unsigned>(height), static_cast<unsigned>(visual_.depth));
        PutPixels(t->iconPixmap, pixels, width, 0, 0, width, height);
        int stride = (width + 7) / 8;
        std::vector<char> bits(static_cast<size_t>(stride) * static_cast<size_t>(height), 0);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                size_t i = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
                if (!(mask && mask[i]))
                    bits[static_cast<size_t>(y * stride + x / 8)] |= static_cast<char>(1 << (x % 8));
            }
        }
        t->iconMask = XCreateBitmapFromData(dpy_, t->xid, bits.data(), static_cast<unsigned>(width),
                                            static_cast<unsigned>(height));
        XWMHints *hints = XGetWMHints(dpy_, t->xid);
        XWMHints fresh{};
        XWMHints *h = hints ? hints : &fresh;
        h->flags |= IconPixmapHint | IconMaskHint;
        h->icon_pixmap = t->iconPixmap;
        h->icon_mask = t->iconMask;
        XSetWMHints(dpy_, t->xid, h);
        if (hints) XFree(hints);
        XFlush(dpy_);
    }

    void Present(display::NativeId w, const gdi::Surface &surface, const RECT &dirty) override {
        TopLevel *t = Find(w);
        if (!t || surface.width <= 0 || surface.height <= 0) return;
        if (surface.pixels.size() < static_cast<size_t>(surface.width) * static_cast<size_t>(surface.height))
            return;
        int left = std::max<int>(0, Dev(dirty.left)), top = std::max<int>(0, Dev(dirty.top));
        int right = std::min<int>(surface.width, Dev(dirty.right)),
            bottom = std::min<int>(surface.height, Dev(dirty.bottom));
        if (left >= right || top >= bottom) return;
        PutPixels(t->xid, surface.pixels.data(), surface.width, left, top, right - left, bottom - top);
        XFlush(dpy_);
    }

    bool BeginMoveDrag(display::NativeId w, int screenX, int screenY) override {
        TopLevel *t = Find(w);
        if (!t || !WindowManagerSupports(atoms_[kNetWmMoveResize])) return false;
        // The window manager needs the pointer, which our button press holds.
        XUngrabPointer(dpy_, CurrentTime);
        XEvent ev{};
        ev.xclient.type = ClientMessage;
        ev.xclient.window = t->xid;
        ev.xclient.message_type = atoms_[kNetWmMoveResize];
        ev.xclient.format = 32;
        POINT at = ToRoot({screenX, screenY});
        ev.xclient.data.l[0] = at.x;
        ev.xclient.data.l[1] = at.y;
        ev.xclient.data.l[2] = kNetMoveResizeMove;
        ev.xclient.data.l[3] = Button1;
        ev.xclient.data.l[4] = 1;  // a normal application asks
        XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
        XFlush(dpy_);
        return true;
    }

    void SetInputFocus(display::NativeId w) override {
        TopLevel *t = Find(w);
        if (!t) return;
        if (t->mapped) {
            XSetInputFocus(dpy_, t->xid, RevertToParent, CurrentTime);
            XFlush(dpy_);
        } else {
            t->focusWhenMapped = true;  // X refuses focus on a window not yet viewable
        }
    }

    bool NextEvent(Event *ev) override {
        if (!BadWindows().empty()) {
            std::vector<DeadWindow> bad;
            std::erase_if(BadWindows(), [&](const DeadWindow &b) {
                if (b.dpy == dpy_) bad.push_back(b);
                return b.dpy == dpy_;
            });
            for (const DeadWindow &b : bad) Forget(b.id);
        }
        while (pending_.empty()) {
            if (!XPending(dpy_)) return false;
            XEvent xe;
            XNextEvent(dpy_, &xe);
            Translate(xe);
        }
        *ev = pending_.front();
        pending_.pop_front();
        return true;
    }

    bool Wait(int timeoutMs) override {
        XFlush(dpy_);
        if (!pending_.empty() || XPending(dpy_)) return true;
        pollfd fds[2] = {{ConnectionNumber(dpy_), POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        int n = poll(fds, wakePipe_[0] >= 0 ? 2 : 1, timeoutMs < 0 ? -1 : timeoutMs);
        if (n > 0 && wakePipe_[0] >= 0 && (fds[1].revents & POLLIN)) {
            char buf[64];
            while (read(wakePipe_[0], buf, sizeof buf) > 0) {
            }
        }
        if (n > 0 && (fds[0].revents & (POLLHUP | POLLERR))) {
            // Let Xlib notice: reading a closed connection ends the process.
            XPending(dpy_);
            return false;
        }
        return true;
    }

    void Wake() override {
        if (wakePipe_[1] < 0) return;
        char c = 1;
        ssize_t ignored = write(wakePipe_[1], &c, 1);
        (void)ignored;
    }

    SIZE ScreenSize() override {
        RefreshMonitors();
        return {(monitor_.right - monitor_.left) / scale_, (monitor_.bottom - monitor_.top) / scale_};
    }

    // The desktop's work area on the primary monitor, in the program's coordinates.
    RECT WorkArea() override {
        RefreshMonitors();
        RECT area = monitor_;
        std::vector<long> desktop = CardinalProperty(root_, atoms_[kNetCurrentDesktop]);
        std::vector<long> areas = CardinalProperty(root_, atoms_[kNetWorkArea]);
        size_t index = desktop.empty() ? 0 : static_cast<size_t>(desktop[0]);
        if (areas.size() >= 4 * (index + 1)) {
            const long *a = &areas[4 * index];
            if (a[2] > 0 && a[3] > 0) {
                RECT desk{static_cast<LONG>(a[0]), static_cast<LONG>(a[1]), static_cast<LONG>(a[0] + a[2]),
                          static_cast<LONG>(a[1] + a[3])};
                RECT clipped{std::max(desk.left, monitor_.left), std::max(desk.top, monitor_.top),
                             std::min(desk.right, monitor_.right), std::min(desk.bottom, monitor_.bottom)};
                if (clipped.left < clipped.right && clipped.top < clipped.bottom) area = clipped;
            }
        }
        POINT topLeft = FromRoot({area.left, area.top});
        POINT bottomRight = FromRoot({area.right, area.bottom});
        return {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
    }

    int Dpi() override {
        if (dpi_) return dpi_;
        dpi_ = 96;
        if (const char *resources = XResourceManagerString(dpy_)) {
            XrmInitialize();
            if (XrmDatabase db = XrmGetStringDatabase(resources)) {
                char *type = nullptr;
                XrmValue value{};
                if (XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) {
                    double d = std::atof(value.addr);
                    if (d >= 24 && d <= 960) dpi_ = static_cast<int>(d + 0.5);
                }
                XrmDestroyDatabase(db);
            }
        }
        return dpi_;
    }

    int Scale() override { return scale_; }

    DWORD Now() override { return MonotonicMs(); }

    void Sync() { XSync(dpy_, False); }

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
        kAtomCount
    };

    // Root-window coordinates and the program's screen coordinates: the
    // primary monitor's top-left corner is the program's (0, 0), and each
    // logical pixel of the program is scale_ x scale_ root pixels (a root
    // pixel belongs to the logical pixel that covers it). Every position
    // crossing the seam goes through these two, every size through Dev.
    POINT ToRoot(POINT p) const { return {Dev(p.x) + monitor_.left, Dev(p.y) + monitor_.top}; }
    POINT FromRoot(POINT p) const { return {Logical(p.x - monitor_.left), Logical(p.y - monitor_.top)}; }
    int Dev(int v) const { return v * scale_; }
    int Logical(int v) const { return v >= 0 ? v / scale_ : -((-v + scale_ - 1) / scale_); }

    // The primary monitor (RandR 1.5 monitors: the primary, else the
    // first; without them the whole screen). When its corner moves, every
    // window's place in the program's coordinates moves with it.
    void RefreshMonitors() {
        RECT m{0, 0, DisplayWidth(dpy_, screen_), DisplayHeight(dpy_, screen_)};
        if (hasMonitors_) {
            int n = 0;
            if (XRRMonitorInfo *list = XRRGetMonitors(dpy_, root_, True, &n)) {
                const XRRMonitorInfo *pick = nullptr;
                for (int i = 0; i < n; ++i) {
                    if (list[i].width <= 0 || list[i].height <= 0) continue;
                    if (!pick || (list[i].primary && !pick->primary)) pick = &list[i];
                }
                if (pick) m = {pick->x, pick->y, pick->x + pick->width, pick->y + pick->height};
                XRRFreeMonitors(list);
            }
        }
        bool moved = m.left != monitor_.left || m.top != monitor_.top;
        monitor_ = m;
        if (!moved) return;
        for (auto &entry : windows_) {
            TopLevel &t = entry.second;
            UpdatePosition(t, Dev(Width(t.client)), Dev(Height(t.client)));
        }
    }

    static int Width(const RECT &r) { return std::max<int>(1, r.right - r.left); }
    static int Height(const RECT &r) { return std::max<int>(1, r.bottom - r.top); }

    int BitsPerPixel(int depth) const {
        int count = 0;
        XPixmapFormatValues *formats = XListPixmapFormats(dpy_, &count);
        int bpp = 0;
        for (int i = 0; i < count; ++i) {
            if (formats[i].depth == depth) bpp = formats[i].bits_per_pixel;
        }
        if (formats) XFree(formats);
        return bpp;
    }

    TopLevel *Find(display::NativeId w) {
        auto it = windows_.find(w);
        return it == windows_.end() ? nullptr : &it->second;
    }

    // Asks the window manager to keep the client where the layer puts it.
    void SetSizeHints(Window xid, const RECT &client) {
        XSizeHints hints{};
        hints.flags = USPosition | PPosition | USSize | PSize | PWinGravity;
        POINT at = ToRoot({client.left, client.top});
        hints.x = at.x;
        hints.y = at.y;
        hints.width = Dev(Width(client));
        hints.height = Dev(Height(client));
        hints.win_gravity = StaticGravity;
        XSetWMNormalHints(dpy_, xid, &hints);
    }

    void FreeIcon(TopLevel &t) {
        if (t.iconPixmap) XFreePixmap(dpy_, t.iconPixmap);
        if (t.iconMask) XFreePixmap(dpy_, t.iconMask);
        t.iconPixmap = t.iconMask = 0;
    }

    void FreeWindow(TopLevel &t, bool destroy) {
        FreeIcon(t);
        if (destroy) XDestroyWindow(dpy_, t.xid);
    }

    // Copies a w x h block at (x, y) of a 0x00RRGGBB buffer `stride` pixels
    // wide to the same place of a drawable.
    void PutPixels(Drawable target, const uint32_t *pixels, int stride, int x, int y, int w, int h) {
        if (!gc_) gc_ = XCreateGC(dpy_, target, 0, nullptr);
        if (directPixels_) {
            XImage *img =
                XCreateImage(dpy_, visual_.visual, static_cast<unsigned>(visual_.depth), ZPixmap, 0,
                             reinterpret_cast<char *>(const_cast<uint32_t *>(pixels)),
                             static_cast<unsigned>(stride), static_cast<unsigned>(y + h), 32, stride * 4);
            if (!img) return;
            img->byte_order = NativeByteOrder();
            XInitImage(img);
            XPutImage(dpy_, target, gc_, img, x, y, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h));
            img->data = nullptr;  // the pixels belong to the caller
            XDestroyImage(img);
            return;
        }
        // Any other TrueColor layout: convert pixel by pixel.
        XImage *img = XCreateImage(dpy_, visual_.visual, static_cast<unsigned>(visual_.depth), ZPixmap, 0,
                                   nullptr, static_cast<unsigned>(w), static_cast<unsigned>(h), 32, 0);
        if (!img) return;
        img->data = static_cast<char *>(
            std::malloc(static_cast<size_t>(img->bytes_per_line) * static_cast<size_t>(h)));
        if (!img->data) {
            XDestroyImage(img);
            return;
        }
        for (int row = 0; row < h; ++row) {
            const uint32_t *src = pixels + static_cast<size_t>(y + row) * static_cast<size_t>(stride) + x;
            for (int col = 0; col < w; ++col) {
                uint32_t p = src[col];
                unsigned long v = Scale((p >> 16) & 0xFF, visual_.red_mask) |
                                  Scale((p >> 8) & 0xFF, visual_.green_mask) |
                                  Scale(p & 0xFF, visual_.blue_mask);
                XPutPixel(img, col, row, v);
            }
        }
        XPutImage(dpy_, target, gc_, img, 0, 0, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h));
        XDestroyImage(img);  // frees the buffer we allocated
    }

    static unsigned long Scale(uint32_t value8, unsigned long mask) {
        if (!mask) return 0;
        int shift = __builtin_ctzl(mask);
        unsigned long max = mask >> shift;
        return ((value8 * max + 127) / 255) << shift;
    }

    static int NativeByteOrder() {
        const uint16_t probe = 1;
        return *reinterpret_cast<const uint8_t *>(&probe) ? LSBFirst : MSBFirst;
    }

    std::vector<long> CardinalProperty(Window w, Atom property) {
        std::vector<long> out;
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(dpy_, w, property, 0, 1024, False, AnyPropertyType, &type, &format, &count,
                               &after, &data) == Success &&
            data) {
            if (format == 32) {
                const long *values = reinterpret_cast<const long *>(data);
                out.assign(values, values + count);
            }
            XFree(data);
        }
        return out;
    }

    bool WindowManagerSupports(Atom feature) {
        for (long a : CardinalProperty(root_, atoms_[kNetSupported])) {
            if (static_cast<Atom>(a) == feature) return true;
        }
        return false;
    }

    // X server time to our monotonic milliseconds: the offset is fixed at
    // the first timestamp seen, so intervals between events stay exact.
    DWORD EventTime(Time xtime) {
        if (!timeOffsetSet_) {
            timeOffset_ = MonotonicMs() - static_cast<DWORD>(xtime);
            timeOffsetSet_ = true;
        }
        return static_cast<DWORD>(xtime) + timeOffset_;
    }

    Event Make(Event::Type type, Window w) {
        Event e;
        e.type = type;
        e.window = w;
        return e;
    }

    void Push(const Event &e) { pending_.push_back(e); }

    // A window of ours that another client destroyed: nothing is left to
    // free on the server, and the layer hears of it as a close.
    void Forget(Window xid) {
        auto it = windows_.find(xid);
        if (it == windows_.end()) return;
        FreeIcon(it->second);
        windows_.erase(it);
        std::erase_if(pending_, [xid](const Event &e) { return e.window == xid; });
        Push(Make(kEvDestroyed, xid));
    }

    // The client area's top-left in root coordinates; window managers that
    // reparent report positions relative to their frame. The size is in
    // device pixels.
    void UpdatePosition(TopLevel &t, int width, int height) {
        int x = 0, y = 0;
        Window child = 0;
        if (!XTranslateCoordinates(dpy_, t.xid, root_, 0, 0, &x, &y, &child)) return;
        POINT at = FromRoot({x, y});
        RECT r{at.x, at.y, at.x + width / scale_, at.y + height / scale_};
        if (r.left == t.client.left && r.top == t.client.top && r.right == t.client.right &&
            r.bottom == t.client.bottom) {
            return;
        }
        t.client = r;
        Event e = Make(kEvConfigure, t.xid);
        e.rect = r;
        e.time = MonotonicMs();
        Push(e);
    }

    // The modifiers a key or button event's state says were held.
    static int ModifiersOf(unsigned state) {
        int m = 0;
        if (state & ShiftMask) m |= display::kModShift;
        if (state & ControlMask) m |= display::kModCtrl;
        if (state & (Mod1Mask | Mod5Mask)) m |= display::kModAlt;  // Alt, and AltGr as the keymap has it
        return m;
    }

    // The modifiers held according to a KeymapNotify's key vector.
    int ModifiersOf(const char keys[32]) {
        int m = 0;
        for (int kc = 8; kc < 256; ++kc) {
            if (!(keys[kc / 8] & (1 << (kc % 8)))) continue;
            KeySym sym = XkbKeycodeToKeysym(dpy_, static_cast<KeyCode>(kc), 0, 0);
            KeyInfo k;
            if (!TranslateKeysym(sym, &k)) continue;
            if (k.vk == VK_SHIFT) m |= display::kModShift;
            if (k.vk == VK_CONTROL) m |= display::kModCtrl;
            if (k.vk == VK_MENU) m |= display::kModAlt;
        }
        return m;
    }

    // The keyboard's layouts, for key events; again whenever they change.
    void LoadKeyboard() {
        if (xkb_) XkbFreeKeyboard(xkb_, 0, True);
        xkb_ = XkbGetMap(dpy_, XkbKeySymsMask | XkbKeyTypesMask, XkbUseCoreKbd);
        if (xkb_) XkbGetNames(dpy_, XkbKeyNamesMask, xkb_);
    }

    KeyCodeSyms SymsOf(unsigned keycode) {
        KeyCodeSyms k;
        if (!xkb_ || keycode < xkb_->min_key_code || keycode > xkb_->max_key_code) return k;
        if (xkb_->names && xkb_->names->keys) std::memcpy(k.name, xkb_->names->keys[keycode].name, 4);
        k.groups = std::min(4, static_cast<int>(XkbKeyNumGroups(xkb_, keycode)));
        for (int g = 0; g < k.groups; ++g) {
            int width = XkbKeyGroupWidth(xkb_, keycode, g);
            for (int level = 0; level < 2 && level < width; ++level)
                k.syms[g][level] = XkbKeySymEntry(xkb_, keycode, level, g);
        }
        return k;
    }

    void Translate(XEvent &xe) {
        if (hasMonitors_ && xe.type == randrEventBase_ + RRScreenChangeNotify) {
            XRRUpdateConfiguration(&xe);
            RefreshMonitors();
            return;
        }
        if (xe.type == MappingNotify) {
            XRefreshKeyboardMapping(&xe.xmapping);
            if (xe.xmapping.request == MappingKeyboard) LoadKeyboard();
            return;
        }
        if (xe.type == KeymapNotify) {
            // Follows every FocusIn: which keys are down now, whatever
            // happened to them while another window had the focus.
            Event e = Make(kEvKeyState, 0);
            e.modifiers = ModifiersOf(xe.xkeymap.key_vector);
            Push(e);
            return;
        }
        TopLevel *t = Find(xe.xany.window);
        if (!t) return;
        switch (xe.type) {
            case Expose: {
                // The logical pixels that cover the exposed device pixels.
                Event e = Make(kEvExpose, t->xid);
                e.rect = {Logical(xe.xexpose.x), Logical(xe.xexpose.y),
                          Logical(xe.xexpose.x + xe.xexpose.width + scale_ - 1),
                          Logical(xe.xexpose.y + xe.xexpose.height + scale_ - 1)};
                Push(e);
                break;
            }
            case ConfigureNotify:
                UpdatePosition(*t, xe.xconfigure.width, xe.xconfigure.height);
                break;
            case ReparentNotify:
                UpdatePosition(*t, Dev(t->client.right - t->client.left),
                               Dev(t->client.bottom - t->client.top));
                break;
            case MapNotify:
                t->mapped = true;
                Push(Make(kEvMap, t->xid));
                if (t->focusWhenMapped) {
                    t->focusWhenMapped = false;
                    XSetInputFocus(dpy_, t->xid, RevertToParent, CurrentTime);
                }
                break;
            case DestroyNotify:
                if (xe.xdestroywindow.window == t->xid) Forget(t->xid);
                break;
            case UnmapNotify:
                t->mapped = false;
                Push(Make(kEvUnmap, t->xid));
                break;
            case FocusIn:
            case FocusOut: {
                // Grabs (a window manager moving the window) and pointer
                // focus do not change which window is active.
                if (xe.xfocus.mode == NotifyGrab || xe.xfocus.mode == NotifyUngrab) break;
                if (xe.xfocus.detail == NotifyPointer || xe.xfocus.detail == NotifyInferior) break;
                // Keys released while another window had the focus never
                // reach us; a new press of them is not a repeat.
                if (xe.type == FocusOut) downKeys_.clear();
                Push(Make(xe.type == FocusIn ? kEvFocusIn : kEvFocusOut, t->xid));
                break;
            }
            case KeyPress:
            case KeyRelease:
                TranslateKey(*t, xe.xkey);
                break;
            case ButtonPress:
            case ButtonRelease:
                TranslateButton(*t, xe.xbutton);
                break;
            case MotionNotify: {
                // Only the latest of consecutive moves matters; a move after
                // a click must stay after it.
                while (XEventsQueued(dpy_, QueuedAlready)) {
                    XEvent next;
                    XPeekEvent(dpy_, &next);
                    if (next.type != MotionNotify || next.xmotion.window != t->xid) break;
                    XNextEvent(dpy_, &xe);
                }
                Event e = Make(kEvMotion, t->xid);
                POINT at = FromRoot({xe.xmotion.x_root, xe.xmotion.y_root});
                e.x = at.x;
                e.y = at.y;
                e.time = EventTime(xe.xmotion.time);
                Push(e);
                break;
            }
            case ClientMessage:
                if (xe.xclient.message_type == atoms_[kWmProtocols] && xe.xclient.format == 32) {
                    Atom what = static_cast<Atom>(xe.xclient.data.l[0]);
                    if (what == atoms_[kWmDeleteWindow]) {
                        Push(Make(kEvCloseRequest, t->xid));
                    } else if (what == atoms_[kNetWmPing]) {
                        XEvent reply = xe;
                        reply.xclient.window = root_;
                        XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask,
                                   &reply);
                    }
                }
                break;
            default:
                break;
        }
    }

    void TranslateKey(TopLevel &t, XKeyEvent &key) {
        bool press = key.type == KeyPress;
        if (!press && XEventsQueued(dpy_, QueuedAfterReading)) {
            // Auto-repeat without detectable repeat: a release followed at
            // once by a press of the same key with the same time.
            XEvent next;
            XPeekEvent(dpy_, &next);
            if (next.type == KeyPress && next.xkey.window == key.window && next.xkey.keycode == key.keycode &&
                next.xkey.time == key.time) {
                return;  // the press that follows is reported as a repeat
            }
        }
        char text[8] = {};
        KeySym looked = NoSymbol;
        int length = XLookupString(&key, text, sizeof text, &looked, nullptr);
        // The key's level-1 keysym in the active group decides its virtual key.
        KeyCodeSyms syms = SymsOf(key.keycode);
        int group = XkbGroupForCoreState(key.state);
        if (syms.groups > 0 && group >= syms.groups) group %= syms.groups;
        KeySym sym = IsKeypadKey(looked) || syms.groups == 0 ? looked : syms.syms[group][0];
        if (sym == NoSymbol) sym = looked;
        KeyInfo code;
        bool known = TranslateKeyCode(syms, sym, &code);
        // The character typed: control characters as Xlib makes them (Ctrl+C
        // is 3), anything else from the keysym in Windows-1252, or none.
        int ch = -1;
        if (length == 1 && static_cast<unsigned char>(text[0]) < 0x80) {
            ch = static_cast<unsigned char>(text[0]);
        } else if (!(key.state & ControlMask)) {
            ch = KeysymToWindows1252(looked);
        }
        if (ch == 0x7F) ch = -1;
        DWORD time = EventTime(key.time);
        // Every key event carries the key's codes, its time and whether it repeats.
        auto keyEvent = [&](Event::Type type, bool repeat) {
            Event e = Make(type, t.xid);
            e.vk = code.vk;
            e.scanCode = code.scanCode;
            e.extended = code.extended;
            e.repeat = repeat;
            e.time = time;
            e.modifiers = ModifiersOf(key.state);
            return e;
        };
        if (press) {
            bool repeat = !downKeys_.insert(key.keycode).second;
            if (known) Push(keyEvent(kEvKeyDown, repeat));
            if (ch >= 0) {
                Event e = keyEvent(kEvChar, repeat);
                e.ch = static_cast<char>(ch);
                Push(e);
            }
        } else {
            downKeys_.erase(key.keycode);
            if (known) Push(keyEvent(kEvKeyUp, false));
        }
    }

    void TranslateButton(TopLevel &t, const XButtonEvent &b) {
        bool press = b.type == ButtonPress;
        Event e = Make(press ? kEvButtonDown : kEvButtonUp, t.xid);
        POINT at = FromRoot({b.x_root, b.y_root});
        e.x = at.x;
        e.y = at.y;
        e.time = EventTime(b.time);
        e.modifiers = ModifiersOf(b.state);
        if (b.button >= Button1 && b.button <= Button3) {
            e.button = static_cast<int>(b.button);
            Push(e);
        } else if ((b.button == Button4 || b.button == Button5) && press) {
            e.type = kEvWheel;
            e.delta = b.button == Button4 ? WHEEL_DELTA : -WHEEL_DELTA;
            Push(e);
        }
    }

    Display *dpy_;
    XVisualInfo visual_;
    int screen_ = 0;
    Window root_ = 0;
    Colormap colormap_ = 0;
    bool ownColormap_ = false;
    bool hasShape_ = false;
    bool directPixels_ = false;
    GC gc_ = nullptr;
    Atom atoms_[kAtomCount] = {};
    int wakePipe_[2] = {-1, -1};
    int dpi_ = 0;
    int scale_ = 1;
    XkbDescPtr xkb_ = nullptr;
    bool hasMonitors_ = false;
    int randrEventBase_ = 0;
    RECT monitor_{};  // the primary monitor in root coordinates
    bool timeOffsetSet_ = false;
    DWORD timeOffset_ = 0;
    std::unordered_map<display::NativeId, TopLevel> windows_;
    std::unordered_set<unsigned> downKeys_;
    std::deque<Event> pending_;
};

}  // namespace

std::unique_ptr<display::Backend> Open(const char *displayName) {
    XSetIOErrorHandler(OnIoError);
    XSetErrorHandler(OnProtocolError);
    Display *dpy = XOpenDisplay(displayName);
    if (!dpy) return nullptr;
    int screen = DefaultScreen(dpy);
    XVisualInfo vi{};
    if (!XMatchVisualInfo(dpy, screen, 24, TrueColor, &vi) &&
        !XMatchVisualInfo(dpy, screen, 32, TrueColor, &vi)) {
        XCloseDisplay(dpy);
        return nullptr;
    }
    // Prefer the default visual when it is one of these.
    Visual *def = DefaultVisual(dpy, screen);
    if (def->c_class == TrueColor && (DefaultDepth(dpy, screen) == 24 || DefaultDepth(dpy, screen) == 32)) {
        XVisualInfo templ{};
        templ.visualid = XVisualIDFromVisual(def);
        int n = 0;
        if (XVisualInfo *found = XGetVisualInfo(dpy, VisualIDMask, &templ, &n)) {
            if (n > 0) vi = found[0];
            XFree(found);
        }
    }
    return std::make_unique<X11Backend>(dpy, vi);
}

void Sync(display::Backend &backend) {
    if (auto *x = dynamic_cast<X11Backend *>(&backend)) x->Sync();
}

namespace {
int g_openDeadlineMs = 5000;
}  // namespace

void SetOpenDeadline(int ms) {
    g_openDeadlineMs = ms;
}

std::unique_ptr<display::Backend> OpenOrExit() {
    const char *name = std::getenv("DISPLAY");
    if (!name || !*name) {
        std::fprintf(
            stderr,
            "morvalen: cannot open an X display: DISPLAY is not set (start morvalen from a graphical "
            "session, or set DISPLAY, for example DISPLAY=:0)\n");
        std::exit(1);
    }
    // A server that takes the connection and never answers would keep
    // Xlib waiting for ever: past the deadline a watchdog ends the process.
    std::string message = std::string("morvalen: the X display \"") + name + "\" does not answer\n";
    std::mutex mutex;
    std::condition_variable cv;
    bool opened = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(mutex);
        if (cv.wait_for(lock, std::chrono::milliseconds(g_openDeadlineMs), [&] { return opened; })) return;
        ssize_t ignored = write(STDERR_FILENO, message.data(), message.size());
        (void)ignored;
        _exit(1);
    });
    std::unique_ptr<display::Backend> backend = Open(name);
    {
        std::lock_guard<std::mutex> lock(mutex);
        opened = true;
    }
    cv.notify_one();
    watchdog.join();
    if (!backend) {
        std::fprintf(
            stderr,
            "morvalen: cannot open X display \"%s\" (is an X server running there, and may this user "
            "connect to it?)\n",
            name);
        std::exit(1);
    }
    return backend;
}

}  // namespace win32::display::x11
