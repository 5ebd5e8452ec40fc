// The X11 back-end against a real X server (MORVALEN_TEST_DISPLAY): windows
// and their properties, presenting and reading back, shapes, input through
// XTest, and what happens when the server goes away.
#include <windows.h>

#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/display/backend.h"
#include "platform/display/x11/x11.h"

// Xlib's macros shadow some event type names; name them before it comes in.
namespace {
using win32::display::Event;
constexpr Event::Type kKeyDown = Event::KeyDown, kKeyUp = Event::KeyUp, kChar = Event::Char,
                      kButtonDown = Event::ButtonDown, kButtonUp = Event::ButtonUp, kMotion = Event::Motion,
                      kWheel = Event::Wheel, kClose = Event::CloseRequest, kExpose = Event::Expose,
                      kConfigure = Event::Configure, kFocusIn = Event::FocusIn, kMap = Event::Map,
                      kUnmap = Event::Unmap;
}  // namespace

#include <X11/Xatom.h>
#include <X11/extensions/Xrandr.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>
#include "tests/support/environment.h"
#include "tests/support/rect.h"

using namespace win32;

namespace {

const char *TestDisplay() {
    return std::getenv("MORVALEN_TEST_DISPLAY");
}

class X11Backend : public ::testing::Test {
protected:
    void SetUp() override {
        const char *name = TestDisplay();
        if (!name || !*name) GTEST_SKIP() << "MORVALEN_TEST_DISPLAY is not set: no X server to test against";
        backend_ = display::x11::Open(name);
        ASSERT_TRUE(backend_) << "cannot open " << name;
        peer_ = XOpenDisplay(name);
        ASSERT_TRUE(peer_);
    }
    void TearDown() override {
        backend_.reset();
        if (peer_ && primaryMonitor_) {
            XRRDeleteMonitor(peer_, DefaultRootWindow(peer_), primaryMonitor_);
            XSync(peer_, False);
        }
        if (peer_) XCloseDisplay(peer_);
    }

    // A primary RandR monitor of cx x cy at the screen's corner, which bounds
    // the display scale; replaces the one set before and goes at TearDown.
    void SetPrimaryMonitor(int cx, int cy) {
        Window root = DefaultRootWindow(peer_);
        if (primaryMonitor_) XRRDeleteMonitor(peer_, root, primaryMonitor_);
        primaryMonitor_ = XInternAtom(peer_, "morvalen-test-primary", False);
        XRRMonitorInfo *m = XRRAllocateMonitor(peer_, 0);
        m->name = primaryMonitor_;
        m->primary = True;
        m->width = cx, m->height = cy, m->mwidth = cx / 4, m->mheight = cy / 4;
        XRRSetMonitor(peer_, root, m);
        XRRFreeMonitors(m);
        XSync(peer_, False);
    }
    Atom primaryMonitor_ = None;

    display::NativeId Create(RECT client, const char *title = "Test", bool decorated = true,
                             bool popup = false, display::NativeId owner = 0) {
        display::TopLevelParams p;
        p.client = client;
        p.title = title;
        p.decorated = decorated;
        p.popup = popup;
        p.owner = owner;
        return backend_->CreateTopLevel(p);
    }

    // Collects events until one of `type` for `w` arrives (or 3 s pass).
    bool WaitFor(Event::Type type, display::NativeId w, Event *out = nullptr) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (std::chrono::steady_clock::now() < end) {
            Event e;
            while (backend_->NextEvent(&e)) {
                seen_.push_back(e);
                if (e.type == type && e.window == w) {
                    if (out) *out = e;
                    return true;
                }
            }
            backend_->Wait(50);
        }
        return false;
    }

    // Drains everything that arrives within `ms`.
    std::vector<Event> Drain(int ms = 200) {
        std::vector<Event> out;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            Event e;
            while (backend_->NextEvent(&e)) out.push_back(e);
            backend_->Wait(20);
        }
        return out;
    }

    display::NativeId ShowAndFocus(RECT client, display::NativeId owner = 0) {
        display::NativeId w = Create(client, "Test", true, false, owner);
        backend_->ShowTopLevel(w, true);
        EXPECT_TRUE(WaitFor(kMap, w));
        backend_->SetInputFocus(w);
        EXPECT_TRUE(WaitFor(kFocusIn, w));
        Drain(50);
        return w;
    }

    std::string StringProperty(Window w, const char *atom) {
        Atom type;
        int format;
        unsigned long n, after;
        unsigned char *data = nullptr;
        std::string out;
        if (XGetWindowProperty(peer_, w, XInternAtom(peer_, atom, False), 0, 4096, False, AnyPropertyType,
                               &type, &format, &n, &after, &data) == Success &&
            data) {
            out.assign(reinterpret_cast<char *>(data), n * static_cast<unsigned long>(format / 8));
            XFree(data);
        }
        return out;
    }

    std::vector<long> LongProperty(Window w, const char *atom) {
        Atom type;
        int format;
        unsigned long n, after;
        unsigned char *data = nullptr;
        std::vector<long> out;
        if (XGetWindowProperty(peer_, w, XInternAtom(peer_, atom, False), 0, 1 << 16, False, AnyPropertyType,
                               &type, &format, &n, &after, &data) == Success &&
            data) {
            if (format == 32) out.assign(reinterpret_cast<long *>(data), reinterpret_cast<long *>(data) + n);
            XFree(data);
        }
        return out;
    }

    // The back-end's requests reach the server before the peer looks.
    void Settle() {
        if (backend_) display::x11::Sync(*backend_);
        XSync(peer_, False);
    }

    uint32_t PixelAt(Window w, int x, int y) {
        XImage *img = XGetImage(peer_, w, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!img) return 0xDEADBEEF;
        uint32_t p = static_cast<uint32_t>(XGetPixel(img, 0, 0)) & 0xFFFFFF;
        XDestroyImage(img);
        return p;
    }

    void Key(KeySym sym, bool press) {
        XTestFakeKeyEvent(peer_, XKeysymToKeycode(peer_, sym), press, CurrentTime);
        Settle();
    }

    std::unique_ptr<display::Backend> backend_;
    Display *peer_ = nullptr;
    std::vector<Event> seen_;
};

TEST_F(X11Backend, WindowPropertiesTitleClassTransientAndDecorations) {
    display::NativeId main = Create({100, 100, 641, 300}, "Morvalen");
    ASSERT_NE(main, 0u);
    Window w = static_cast<Window>(main);
    Settle();
    char *name = nullptr;
    ASSERT_TRUE(XFetchName(peer_, w, &name));
    EXPECT_STREQ(name, "Morvalen");
    XFree(name);
    EXPECT_EQ(StringProperty(w, "_NET_WM_NAME"), "Morvalen");

    XClassHint hint{};
    ASSERT_TRUE(XGetClassHint(peer_, w, &hint));
    EXPECT_STREQ(hint.res_name, "morvalen");
    EXPECT_STREQ(hint.res_class, "Morvalen");
    XFree(hint.res_name);
    XFree(hint.res_class);

    // A captioned window lets the window manager decorate it.
    EXPECT_TRUE(LongProperty(w, "_MOTIF_WM_HINTS").empty());
    // WM_DELETE_WINDOW is offered, so the close button sends a message.
    Atom *protocols = nullptr;
    int count = 0;
    ASSERT_TRUE(XGetWMProtocols(peer_, w, &protocols, &count));
    std::vector<Atom> list(protocols, protocols + count);
    XFree(protocols);
    EXPECT_NE(std::find(list.begin(), list.end(), XInternAtom(peer_, "WM_DELETE_WINDOW", False)), list.end());

    // A captionless popup owned by the main window: transient, undecorated.
    display::NativeId popup = Create({200, 150, 300, 230}, "", false, true, main);
    Settle();
    Window owner = 0;
    ASSERT_TRUE(XGetTransientForHint(peer_, static_cast<Window>(popup), &owner));
    EXPECT_EQ(owner, w);
    std::vector<long> motif = LongProperty(static_cast<Window>(popup), "_MOTIF_WM_HINTS");
    ASSERT_EQ(motif.size(), 5u);
    EXPECT_EQ(motif[0] & 2, 2);  // decorations field valid
    EXPECT_EQ(motif[2], 0);      // and empty

    // Every top-level names its machine beside its pid.
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    EXPECT_EQ(StringProperty(static_cast<Window>(popup), "WM_CLIENT_MACHINE"), host);
    EXPECT_EQ(StringProperty(w, "WM_CLIENT_MACHINE"), host);

    // An owned window stays off the taskbar; while its owner is disabled it
    // is also a modal dialog: set on the window before it is mapped, asked
    // of the window manager after.
    Atom modal = XInternAtom(peer_, "_NET_WM_STATE_MODAL", False);
    const long skip = static_cast<long>(XInternAtom(peer_, "_NET_WM_STATE_SKIP_TASKBAR", False));
    EXPECT_TRUE(LongProperty(w, "_NET_WM_STATE").empty());
    EXPECT_EQ(LongProperty(static_cast<Window>(popup), "_NET_WM_STATE"), std::vector<long>{skip});
    backend_->SetModal(popup, true);
    Settle();
    EXPECT_EQ(LongProperty(static_cast<Window>(popup), "_NET_WM_WINDOW_TYPE"),
              std::vector<long>{static_cast<long>(XInternAtom(peer_, "_NET_WM_WINDOW_TYPE_DIALOG", False))});
    EXPECT_EQ(LongProperty(static_cast<Window>(popup), "_NET_WM_STATE"),
              (std::vector<long>{static_cast<long>(modal), skip}));
    backend_->SetModal(popup, false);
    Settle();
    EXPECT_EQ(LongProperty(static_cast<Window>(popup), "_NET_WM_STATE"), std::vector<long>{skip});
    XSelectInput(peer_, DefaultRootWindow(peer_), SubstructureNotifyMask);
    XSync(peer_, False);
    backend_->ShowTopLevel(popup, true);
    backend_->SetModal(popup, true);
    Settle();
    bool asked = false;
    while (XPending(peer_)) {
        XEvent ev;
        XNextEvent(peer_, &ev);
        if (ev.type == ClientMessage && ev.xclient.message_type == XInternAtom(peer_, "_NET_WM_STATE", False))
            asked = ev.xclient.window == static_cast<Window>(popup) && ev.xclient.data.l[0] == 1 &&
                    ev.xclient.data.l[1] == static_cast<long>(modal) && ev.xclient.data.l[2] == skip;
    }
    XSelectInput(peer_, DefaultRootWindow(peer_), NoEventMask);
    EXPECT_TRUE(asked);

    // Titles in Windows-1252 become UTF-8 in _NET_WM_NAME, its euro sign
    // and dashes (0x80 to 0x9F) too.
    backend_->SetTitle(main,
                       "Gr\xf6\xdf"
                       "e \x80\x96");
    Settle();
    EXPECT_EQ(StringProperty(w, "_NET_WM_NAME"),
              "Gr\xc3\xb6\xc3\x9f"
              "e \xe2\x82\xac\xe2\x80\x93");

    backend_->DestroyTopLevel(popup);
    backend_->DestroyTopLevel(main);
    Settle();
    XWindowAttributes attrs;
    EXPECT_FALSE(XGetWindowAttributes(peer_, w, &attrs));  // gone from the server
}

TEST_F(X11Backend, PresentCopiesOnlyTheDirtyRectangle) {
    RECT client{30, 40, 30 + 64, 40 + 48};
    display::NativeId w = Create(client);
    backend_->ShowTopLevel(w, true);
    ASSERT_TRUE(WaitFor(kMap, w));
    Event expose;
    ASSERT_TRUE(WaitFor(kExpose, w, &expose));
    EXPECT_GE(expose.rect.right, expose.rect.left);

    gdi::Surface s;
    s.width = 64;
    s.height = 48;
    s.pixels.assign(64 * 48, 0x000080);  // navy
    for (int x = 0; x < 64; ++x) s.pixels[static_cast<size_t>(10 * 64 + x)] = 0xFFFF00;
    backend_->Present(w, s, {0, 0, 64, 48});
    Settle();
    Window xw = static_cast<Window>(w);
    EXPECT_EQ(PixelAt(xw, 0, 0), 0x000080u);
    EXPECT_EQ(PixelAt(xw, 63, 47), 0x000080u);
    EXPECT_EQ(PixelAt(xw, 17, 10), 0xFFFF00u);
    EXPECT_EQ(PixelAt(xw, 17, 11), 0x000080u);

    // Change everything, present a small part: only that part changes.
    std::fill(s.pixels.begin(), s.pixels.end(), 0x12C034u);
    backend_->Present(w, s, {5, 6, 9, 8});
    Settle();
    EXPECT_EQ(PixelAt(xw, 5, 6), 0x12C034u);
    EXPECT_EQ(PixelAt(xw, 8, 7), 0x12C034u);
    EXPECT_EQ(PixelAt(xw, 9, 7), 0x000080u);
    EXPECT_EQ(PixelAt(xw, 5, 8), 0x000080u);
    EXPECT_EQ(PixelAt(xw, 4, 6), 0x000080u);

    // Rectangles reaching outside the surface are clipped, not overrun.
    backend_->Present(w, s, {-20, -20, 500, 500});
    Settle();
    EXPECT_EQ(PixelAt(xw, 63, 47), 0x12C034u);
    gdi::Surface tooSmall;
    tooSmall.width = 64;
    tooSmall.height = 48;  // but no pixels
    backend_->Present(w, tooSmall, {0, 0, 64, 48});
    Settle();
    EXPECT_EQ(PixelAt(xw, 0, 0), 0x12C034u);

    // At display scale 1.5 an expose at device pixels (3, 5)-(7, 8) names
    // every logical pixel whose device pixels hold some of them, (2, 3)-(5,
    // 5) (logical x 2 is device 3-4, x 4 device 6-7; y 3 is device 5, y 4
    // device 6-7): presenting it repaints all of them.
    SetPrimaryMonitor(2048, 1536);  // room for scale 1.5
    setenv("MORVALEN_SCALE", "1.5", 1);
    backend_ = display::x11::Open(TestDisplay());
    unsetenv("MORVALEN_SCALE");
    ASSERT_EQ(backend_->InitialScale(), 180);
    w = Create({20, 20, 52, 44});
    xw = static_cast<Window>(w);
    backend_->ShowTopLevel(w, true);
    ASSERT_TRUE(WaitFor(kMap, w));
    gdi::Surface twice;
    twice.width = 48;
    twice.height = 36;
    twice.scale = 180;
    twice.pixels.assign(48 * 36, 0x12C034u);
    backend_->Present(w, twice, {0, 0, 32, 24});
    Drain(50);
    GC red = XCreateGC(peer_, xw, 0, nullptr);
    XSetForeground(peer_, red, 0xFF0000);
    XFillRectangle(peer_, xw, red, 3, 5, 4, 3);  // device (3,5)-(7,8): logical (1,2)-(4,4)
    XFreeGC(peer_, red);
    XClearArea(peer_, xw, 3, 5, 4, 3, True);
    Settle();
    RECT repainted{};
    while (WaitFor(kExpose, w, &expose)) {
        backend_->Present(w, twice, expose.rect);
        UnionRect(&repainted, &repainted, &expose.rect);
        if (repainted.right >= 5 && repainted.bottom >= 5) break;
    }
    EXPECT_EQ(repainted, (RECT{2, 3, 5, 5}));
    Settle();
    for (int y = 5; y < 8; ++y)
        for (int x = 3; x < 7; ++x) EXPECT_EQ(PixelAt(xw, x, y), 0x12C034u) << x << "," << y;
}

TEST_F(X11Backend, ShapeSetsBoundingAndInputFromTheRegion) {
    display::NativeId w = Create({50, 50, 150, 110}, "", false, true);
    gdi::Region shape(RECT{0, 0, 100, 60});
    shape.Subtract(gdi::Region(RECT{0, 0, 10, 10}));
    shape.Subtract(gdi::Region(RECT{90, 50, 100, 60}));
    backend_->SetShape(w, &shape);
    Settle();
    for (int kind : {ShapeBounding, ShapeInput}) {
        int count = 0, ordering = 0;
        XRectangle *rects = XShapeGetRectangles(peer_, static_cast<Window>(w), kind, &count, &ordering);
        std::vector<RECT> got;
        for (int i = 0; i < count; ++i) {
            got.push_back(
                {rects[i].x, rects[i].y, rects[i].x + rects[i].width, rects[i].y + rects[i].height});
        }
        if (rects) XFree(rects);
        ASSERT_EQ(got.size(), shape.Rects().size()) << "shape kind " << kind;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i], (RECT{shape.Rects()[i].left, shape.Rects()[i].top, shape.Rects()[i].right,
                                    shape.Rects()[i].bottom}));
        }
    }
    backend_->SetShape(w, nullptr);
    Settle();
    Bool bShaped = True, cShaped = True;
    int xb, yb, xc, yc;
    unsigned wb, hb, wc, hc;
    XShapeQueryExtents(peer_, static_cast<Window>(w), &bShaped, &xb, &yb, &wb, &hb, &cShaped, &xc, &yc, &wc,
                       &hc);
    EXPECT_FALSE(bShaped);
}

// Under a compositing manager (here a stand-in that only owns its
// selection) SHAPE does not cut a window's pixels: a captionless pop-up
// gets a 32-bit visual and its pixels are clear outside the region, opaque
// inside; a captioned window, and any window without a compositing manager,
// keeps the screen's visual.
TEST_F(X11Backend, ShapedPopupsAreClearOutsideTheRegionUnderACompositingManager) {
    auto depth = [&](display::NativeId w) {
        XWindowAttributes a{};
        XGetWindowAttributes(peer_, static_cast<Window>(w), &a);
        return a.depth;
    };
    display::NativeId before = Create({50, 50, 150, 110}, "", false, true);
    Atom cm = XInternAtom(peer_, ("_NET_WM_CM_S" + std::to_string(DefaultScreen(peer_))).c_str(), False);
    Window owner = XCreateSimpleWindow(peer_, DefaultRootWindow(peer_), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(peer_, cm, owner, CurrentTime);
    Settle();
    display::NativeId framed = Create({50, 50, 150, 110}, "Framed");
    Settle();
    EXPECT_EQ(depth(before), DefaultDepth(peer_, DefaultScreen(peer_)));
    EXPECT_EQ(depth(framed), DefaultDepth(peer_, DefaultScreen(peer_)));

    // At display scale 1.5 the clear part follows the region at device
    // resolution: 15 x 15 device pixels for the 10 x 10 corner.
    SetPrimaryMonitor(2048, 1536);  // room for scale 1.5
    for (int scale : {120, 180}) {
        setenv("MORVALEN_SCALE", scale == 120 ? "1" : "1.5", 1);
        backend_ = display::x11::Open(TestDisplay());
        unsetenv("MORVALEN_SCALE");
        ASSERT_EQ(backend_->InitialScale(), scale);
        display::NativeId popup = Create({50, 50, 150, 110}, "", false, true);
        Settle();
        ASSERT_EQ(depth(popup), 32) << "the server offers no 32-bit TrueColor visual";
        gdi::Region shape(RECT{0, 0, 100, 60});
        shape.Subtract(gdi::Region(RECT{0, 0, 10, 10}));
        backend_->SetShape(popup, &shape);
        backend_->ShowTopLevel(popup, true);
        ASSERT_TRUE(WaitFor(kMap, popup));
        gdi::Surface s;
        s.width = gdi::DeviceEdge(100, scale);
        s.height = gdi::DeviceEdge(60, scale);
        s.scale = scale;
        s.pixels.assign(static_cast<size_t>(s.width * s.height), 0x12C034);
        backend_->Present(popup, s, {0, 0, 100, 60});
        Settle();
        auto argb = [&](int x, int y) {
            XImage *img = XGetImage(peer_, static_cast<Window>(popup), x, y, 1, 1, AllPlanes, ZPixmap);
            if (!img) return 0xDEADBEEFu;
            uint32_t p = static_cast<uint32_t>(XGetPixel(img, 0, 0));
            XDestroyImage(img);
            return p;
        };
        int edge = gdi::DeviceEdge(10, scale);
        EXPECT_EQ(argb(edge, 0), 0xFF12C034u) << scale;
        EXPECT_EQ(argb(0, edge), 0xFF12C034u) << scale;
        EXPECT_EQ(argb(s.width - 1, s.height - 1), 0xFF12C034u) << scale;
        EXPECT_EQ(argb(edge - 1, edge - 1), 0u) << scale;  // cut away: clear, not black
        // SHAPE still takes the clicks away from the cut-away part; the
        // pixels stay whole for the compositing manager to blend.
        for (int kind : {ShapeInput, ShapeBounding}) {
            int count = 0, ordering = 0;
            XRectangle *rects =
                XShapeGetRectangles(peer_, static_cast<Window>(popup), kind, &count, &ordering);
            EXPECT_EQ(count, kind == ShapeInput ? static_cast<int>(shape.Rects().size()) : 1) << kind;
            if (rects) XFree(rects);
        }
    }
    XDestroyWindow(peer_, owner);
    Settle();
}

TEST_F(X11Backend, IconPropertyCarriesAlphaFromTheMask) {
    display::NativeId w = Create({0, 0, 20, 20});
    const uint32_t pixels[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0x123456};
    const uint8_t mask[4] = {0, 1, 0, 0};
    backend_->SetIcon(w, 2, 2, pixels, mask);
    Settle();
    std::vector<long> icon = LongProperty(static_cast<Window>(w), "_NET_WM_ICON");
    ASSERT_EQ(icon.size(), 6u);
    EXPECT_EQ(icon[0], 2);
    EXPECT_EQ(icon[1], 2);
    EXPECT_EQ(static_cast<uint32_t>(icon[2]), 0xFFFF0000u);  // Xlib sign-extends 32-bit items
    EXPECT_EQ(icon[3], 0);                                   // transparent
    EXPECT_EQ(static_cast<uint32_t>(icon[5]), 0xFF123456u);
    XWMHints *hints = XGetWMHints(peer_, static_cast<Window>(w));
    ASSERT_TRUE(hints);
    EXPECT_TRUE(hints->flags & IconPixmapHint);
    EXPECT_TRUE(hints->flags & IconMaskHint);
    EXPECT_TRUE(hints->flags & InputHint);  // kept from creation
    // The mask bitmap: set where the icon is opaque.
    XImage *bits = XGetImage(peer_, hints->icon_mask, 0, 0, 2, 2, 1, XYPixmap);
    XFree(hints);
    ASSERT_TRUE(bits);
    EXPECT_EQ(bits->depth, 1);
    EXPECT_EQ(XGetPixel(bits, 0, 0), 1u);
    EXPECT_EQ(XGetPixel(bits, 1, 0), 0u);
    EXPECT_EQ(XGetPixel(bits, 0, 1), 1u);
    EXPECT_EQ(XGetPixel(bits, 1, 1), 1u);
    XDestroyImage(bits);
}

TEST_F(X11Backend, KeysFromXTestBecomeVirtualKeysCharactersAndRepeats) {
    display::NativeId w = ShowAndFocus({10, 10, 110, 110});
    Key(XK_a, true);
    Key(XK_a, false);
    Key(XK_Escape, true);
    Key(XK_Escape, false);
    Key(XK_Shift_L, true);
    Key(XK_b, true);
    Key(XK_b, false);
    Key(XK_Shift_L, false);
    Key(XK_Up, true);
    Key(XK_Up, false);
    std::vector<Event> ev = Drain(300);
    std::vector<Event> keys;
    for (const Event &e : ev) {
        if (e.type == kKeyDown || e.type == kKeyUp || e.type == kChar) {
            EXPECT_EQ(e.window, w);
            keys.push_back(e);
        }
    }
    std::string dump;
    for (const Event &e : keys) dump += std::to_string(e.type) + ":" + std::to_string(e.vk) + " ";
    ASSERT_EQ(keys.size(), 13u) << dump;
    keys.insert(keys.begin() + 2, 2, Event{});  // keeps the indices below
    EXPECT_EQ(keys[0].type, kKeyDown);
    EXPECT_EQ(keys[0].vk, static_cast<UINT>('A'));
    EXPECT_EQ(keys[0].scanCode, 0x1Eu);
    EXPECT_FALSE(keys[0].repeat);
    EXPECT_EQ(keys[1].type, kChar);
    EXPECT_EQ(keys[1].ch, 'a');
    EXPECT_EQ(keys[4].type, kKeyUp);
    EXPECT_EQ(keys[4].vk, static_cast<UINT>('A'));
    EXPECT_EQ(keys[5].vk, static_cast<UINT>(VK_ESCAPE));
    EXPECT_EQ(keys[6].type, kChar);
    EXPECT_EQ(keys[6].ch, '\x1b');
    EXPECT_EQ(keys[7].type, kKeyUp);
    EXPECT_EQ(keys[8].vk, static_cast<UINT>(VK_SHIFT));
    EXPECT_FALSE(keys[8].repeat);
    EXPECT_EQ(keys[9].vk, static_cast<UINT>('B'));
    EXPECT_EQ(keys[10].ch, 'B');  // shifted character, unshifted virtual key
    EXPECT_EQ(keys[11].vk, static_cast<UINT>('B'));
    EXPECT_EQ(keys[12].vk, static_cast<UINT>(VK_SHIFT));
    EXPECT_EQ(keys[13].vk, static_cast<UINT>(VK_UP));
    EXPECT_TRUE(keys[13].extended);
    EXPECT_EQ(keys[14].type, kKeyUp);
    EXPECT_TRUE(keys[14].extended);
    // Event times come from the server's clock moved onto ours: they are
    // ordered and close to now.
    DWORD now = backend_->Now();
    EXPECT_LE(keys[0].time, keys[14].time);
    EXPECT_LT(now - keys[14].time, 5000u);
}

TEST_F(X11Backend, HeldModifiersAreReportedWithKeysAndWhenFocusComesBack) {
    display::NativeId w = ShowAndFocus({10, 10, 110, 110});
    Key(XK_Alt_L, true);
    Key(XK_x, true);
    Key(XK_x, false);
    Event down;
    ASSERT_TRUE(WaitFor(kKeyDown, w, &down));  // Alt
    ASSERT_TRUE(WaitFor(kKeyDown, w, &down));  // X, with Alt held
    EXPECT_EQ(down.vk, static_cast<UINT>('X'));
    EXPECT_EQ(down.modifiers, display::kModAlt);
    Drain(50);

    // Another client takes the focus and Alt is released there.
    Window other = XCreateSimpleWindow(peer_, DefaultRootWindow(peer_), 200, 10, 40, 40, 0, 0, 0);
    XMapWindow(peer_, other);
    Settle();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    XSetInputFocus(peer_, other, RevertToParent, CurrentTime);
    Settle();
    Key(XK_Alt_L, false);
    Drain(100);
    backend_->SetInputFocus(w);
    Event state;
    EXPECT_TRUE(WaitFor(Event::KeyState, 0, &state));
    EXPECT_EQ(state.modifiers, 0);
    XDestroyWindow(peer_, other);
    Settle();
}

TEST_F(X11Backend, AHeldKeyRepeatsAsPressesWithOneRelease) {
    display::NativeId w = ShowAndFocus({10, 10, 110, 110});
    Key(XK_x, true);
    std::this_thread::sleep_for(std::chrono::milliseconds(900));  // past the server's repeat delay
    Key(XK_x, false);
    std::vector<Event> downs, ups, chars;
    for (const Event &e : Drain(300)) {
        if (e.window != w) continue;
        if (e.type == kKeyDown) downs.push_back(e);
        if (e.type == kKeyUp) ups.push_back(e);
        if (e.type == kChar) chars.push_back(e);
    }
    if (downs.size() < 2) GTEST_SKIP() << "the test server does not auto-repeat keys";
    EXPECT_FALSE(downs[0].repeat);
    for (size_t i = 1; i < downs.size(); ++i) EXPECT_TRUE(downs[i].repeat) << i;
    EXPECT_EQ(ups.size(), 1u);  // no release between the repeats
    EXPECT_EQ(chars.size(), downs.size());
}

// Pointer events carry the point in the window's client area, as the server
// measured it, and on the screen.
TEST_F(X11Backend, ButtonsWheelAndMotionInClientAndScreenCoordinates) {
    display::NativeId w = ShowAndFocus({200, 100, 300, 200});
    XTestFakeMotionEvent(peer_, DefaultScreen(peer_), 230, 140, CurrentTime);
    XTestFakeButtonEvent(peer_, 1, True, CurrentTime);
    XTestFakeButtonEvent(peer_, 1, False, CurrentTime);
    XTestFakeButtonEvent(peer_, 3, True, CurrentTime);
    XTestFakeButtonEvent(peer_, 3, False, CurrentTime);
    XTestFakeButtonEvent(peer_, 4, True, CurrentTime);
    XTestFakeButtonEvent(peer_, 4, False, CurrentTime);
    XTestFakeButtonEvent(peer_, 5, True, CurrentTime);
    XTestFakeButtonEvent(peer_, 5, False, CurrentTime);
    XTestFakeMotionEvent(peer_, DefaultScreen(peer_), 250, 150, CurrentTime);
    Settle();
    std::vector<Event> input;
    for (const Event &e : Drain(300)) {
        if (e.type == kButtonDown || e.type == kButtonUp || e.type == kWheel || e.type == kMotion)
            input.push_back(e);
    }
    std::string dump;
    for (const Event &e : input) dump += std::to_string(e.type) + ":" + std::to_string(e.button) + " ";
    ASSERT_GE(input.size(), 7u) << dump;
    size_t i = 0;
    if (input[i].type == kMotion) ++i;  // the pointer entering
    ASSERT_EQ(input.size() - i, 7u) << dump;
    EXPECT_EQ(input[i].type, kButtonDown);
    EXPECT_EQ(input[i].button, 1);
    EXPECT_EQ(input[i].x, 30);
    EXPECT_EQ(input[i].y, 40);
    EXPECT_EQ(input[i].rootX, 230);
    EXPECT_EQ(input[i].rootY, 140);
    EXPECT_EQ(input[i + 1].type, kButtonUp);
    EXPECT_EQ(input[i + 2].button, 3);
    EXPECT_EQ(input[i + 4].type, kWheel);
    EXPECT_EQ(input[i + 4].delta, 120);
    EXPECT_EQ(input[i + 5].type, kWheel);
    EXPECT_EQ(input[i + 5].delta, -120);
    EXPECT_EQ(input[i + 6].type, kMotion);
    EXPECT_EQ(input[i + 6].x, 50);
    EXPECT_EQ(input[i + 6].y, 50);
    EXPECT_EQ(input[i + 6].rootX, 250);
    (void)w;
}

// A click on a window under a modal box brings the box forward: raised,
// focused, and the window manager asked to activate it for the user's click
// (source 1, the click's time).
TEST_F(X11Backend, ActivatingAWindowRaisesFocusesAndAsksTheWindowManager) {
    display::NativeId main = ShowAndFocus({250, 250, 500, 450});
    display::NativeId box = ShowAndFocus({300, 300, 400, 360}, main);
    XRaiseWindow(peer_, static_cast<Window>(main));  // clicked, the owner came to the top
    XTestFakeMotionEvent(peer_, DefaultScreen(peer_), 260, 260, CurrentTime);
    XTestFakeButtonEvent(peer_, 1, True, CurrentTime);
    XTestFakeButtonEvent(peer_, 1, False, CurrentTime);
    Settle();
    ASSERT_TRUE(WaitFor(kButtonDown, main));
    Window root = DefaultRootWindow(peer_);
    XSelectInput(peer_, root, SubstructureNotifyMask);
    Settle();
    backend_->ActivateTopLevel(box);
    Settle();
    XEvent ev{};
    bool got = false, unmapped = false;
    while (XPending(peer_)) {
        XEvent next;
        XNextEvent(peer_, &next);
        unmapped |= next.type == UnmapNotify && next.xunmap.window == static_cast<Window>(box);
        if (!got && next.type == ClientMessage) {
            ev = next;
            got = true;
        }
    }
    XSelectInput(peer_, root, NoEventMask);
    ASSERT_TRUE(got);
    EXPECT_FALSE(unmapped);  // the raise was enough
    EXPECT_EQ(ev.xclient.message_type, XInternAtom(peer_, "_NET_ACTIVE_WINDOW", False));
    EXPECT_EQ(ev.xclient.window, static_cast<Window>(box));
    EXPECT_EQ(ev.xclient.data.l[0], 1);
    EXPECT_NE(ev.xclient.data.l[1], 0);
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(peer_, &focus, &revert);
    EXPECT_EQ(focus, static_cast<Window>(box));
    Window rootReturn, parent, *children = nullptr;
    unsigned n = 0;
    ASSERT_TRUE(XQueryTree(peer_, root, &rootReturn, &parent, &children, &n));
    std::vector<Window> stack(children, children + n);  // bottom first
    XFree(children);
    auto at = [&](display::NativeId w) {
        return std::find(stack.begin(), stack.end(), static_cast<Window>(w));
    };
    EXPECT_GT(at(box), at(main));

    // A window manager without frames that keeps the stacking to itself
    // takes no raise: the owned window is mapped anew, which it stacks on
    // top, and gets the focus back once mapped. Unmapped and mapped by us,
    // it was never minimized: the layer hears of neither.
    auto mappedAnew = [&] {
        bool mapRequest = false;
        while (XPending(peer_)) {
            XNextEvent(peer_, &ev);
            if (ev.type == MapRequest && ev.xmaprequest.window == static_cast<Window>(box)) mapRequest = true;
        }
        if (mapRequest) XMapRaised(peer_, static_cast<Window>(box));
        return mapRequest;
    };
    XSelectInput(peer_, root, SubstructureRedirectMask);
    XRaiseWindow(peer_, static_cast<Window>(main));
    Settle();
    backend_->ActivateTopLevel(box);
    Settle();
    auto focusedAgainQuietly = [&] {
        seen_.clear();
        bool focused = WaitFor(kFocusIn, box);
        for (const Event &e : seen_) {
            if (e.window != box) continue;
            EXPECT_NE(e.type, kUnmap);
            EXPECT_NE(e.type, kMap);
        }
        return focused;
    };
    ASSERT_TRUE(mappedAnew());
    Settle();
    ASSERT_TRUE(focusedAgainQuietly());
    Settle();
    XGetInputFocus(peer_, &focus, &revert);
    EXPECT_EQ(focus, static_cast<Window>(box));
    // It may raise the owner a moment after the click instead: the pop-up
    // activated just before goes back on top the same way.
    backend_->ActivateTopLevel(box);
    Settle();
    EXPECT_FALSE(mappedAnew());  // still on top
    XRaiseWindow(peer_, static_cast<Window>(main));
    Settle();
    Drain(100);
    EXPECT_TRUE(mappedAnew());
    XSelectInput(peer_, root, NoEventMask);
    Settle();
    EXPECT_TRUE(focusedAgainQuietly());
}

TEST_F(X11Backend, CloseRequestAndUnmapFromTheWindowManager) {
    display::NativeId w = ShowAndFocus({0, 0, 50, 50});
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = static_cast<Window>(w);
    ev.xclient.message_type = XInternAtom(peer_, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(peer_, "WM_DELETE_WINDOW", False));
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(peer_, static_cast<Window>(w), False, NoEventMask, &ev);
    Settle();
    EXPECT_TRUE(WaitFor(kClose, w));
    XUnmapWindow(peer_, static_cast<Window>(w));
    Settle();
    EXPECT_TRUE(WaitFor(kUnmap, w));

    // Another client destroys it: reported once, and the back-end, having
    // forgotten it, leaves the dead window alone.
    XDestroyWindow(peer_, static_cast<Window>(w));
    Settle();
    EXPECT_TRUE(WaitFor(Event::Destroyed, w));
    backend_->MoveTopLevel(w, {5, 5, 40, 40});
    backend_->ShowTopLevel(w, true);
    backend_->DestroyTopLevel(w);
    for (const Event &e : Drain(100)) EXPECT_NE(e.window, w) << e.type;
}

TEST_F(X11Backend, ConfigureReportsRootPositionsEvenWhenReparented) {
    display::NativeId w = Create({100, 100, 200, 150});
    backend_->ShowTopLevel(w, true);
    ASSERT_TRUE(WaitFor(kMap, w));
    Drain(50);
    // Our own moves are not echoed back.
    backend_->MoveTopLevel(w, {120, 110, 220, 170});
    for (const Event &e : Drain(150)) EXPECT_NE(e.type, kConfigure);

    // Someone else (a window manager) moves it.
    XMoveWindow(peer_, static_cast<Window>(w), 300, 200);
    Settle();
    Event c;
    ASSERT_TRUE(WaitFor(kConfigure, w, &c));
    EXPECT_EQ(c.rect, (RECT{300, 200, 400, 260}));

    // Framed the way reparenting window managers do it: the client sits at
    // (4, 23) in a frame at (50, 60), so its screen position is (54, 83).
    Window frame = XCreateSimpleWindow(peer_, DefaultRootWindow(peer_), 50, 60, 108, 87, 0, 0, 0);
    XMapWindow(peer_, frame);
    XReparentWindow(peer_, static_cast<Window>(w), frame, 4, 23);
    Settle();
    bool found = false;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!found && std::chrono::steady_clock::now() < end) {
        if (WaitFor(kConfigure, w, &c) && c.rect.left == 54 && c.rect.top == 83) found = true;
    }
    EXPECT_TRUE(found) << "last configure at " << c.rect.left << "," << c.rect.top;
    // Some window managers (weston's) move the frame and say nothing: the
    // back-end asks where the client is, and input is measured in the
    // client area wherever the window went.
    XMoveWindow(peer_, frame, 250, 300);
    Settle();
    Drain(50);
    RECT now{};
    ASSERT_TRUE(backend_->QueryClientRect(w, &now));
    EXPECT_EQ(now, (RECT{254, 323, 354, 383}));
    EXPECT_FALSE(backend_->QueryClientRect(w, &now));  // nothing new
    XTestFakeMotionEvent(peer_, DefaultScreen(peer_), 260, 330, CurrentTime);
    XTestFakeButtonEvent(peer_, 1, True, CurrentTime);
    XTestFakeButtonEvent(peer_, 1, False, CurrentTime);
    Settle();
    Event press;
    ASSERT_TRUE(WaitFor(kButtonDown, w, &press));
    EXPECT_EQ(press.x, 6);
    EXPECT_EQ(press.y, 7);
    // Moving the frame does not move the client inside it; the window
    // manager tells the client with a synthetic ConfigureNotify.
    XMoveWindow(peer_, frame, 70, 90);
    XEvent note{};
    note.xconfigure.type = ConfigureNotify;
    note.xconfigure.event = note.xconfigure.window = static_cast<Window>(w);
    note.xconfigure.x = 74;
    note.xconfigure.y = 113;
    note.xconfigure.width = 100;
    note.xconfigure.height = 60;
    XSendEvent(peer_, static_cast<Window>(w), False, StructureNotifyMask, &note);
    Settle();
    ASSERT_TRUE(WaitFor(kConfigure, w, &c));
    EXPECT_EQ(c.rect.left, 74);
    EXPECT_EQ(c.rect.top, 113);
    // What it said no longer holds once it moves the frame silently again
    // (weston does, right after mapping).
    XMoveWindow(peer_, frame, 10, 10);
    Settle();
    ASSERT_TRUE(backend_->QueryClientRect(w, &now));
    EXPECT_EQ(now, (RECT{14, 33, 114, 93}));
    // Our own move stands until the window manager answers it.
    backend_->MoveTopLevel(w, {200, 200, 300, 260});
    EXPECT_FALSE(backend_->QueryClientRect(w, &now));
    backend_->DestroyTopLevel(w);
    XDestroyWindow(peer_, frame);
    Settle();
}

TEST_F(X11Backend, ScreenWorkAreaDpiAndMoveDragFollowTheRootProperties) {
    SIZE screen = backend_->ScreenSize();
    EXPECT_EQ(screen.cx, DisplayWidth(peer_, DefaultScreen(peer_)));
    EXPECT_EQ(screen.cy, DisplayHeight(peer_, DefaultScreen(peer_)));
    Window root = DefaultRootWindow(peer_);
    bool hasWm = !LongProperty(root, "_NET_SUPPORTED").empty();
    if (hasWm) GTEST_SKIP() << "a window manager runs on the test display";

    RECT area = backend_->WorkArea();
    EXPECT_EQ(area.left, 0);
    EXPECT_EQ(area.right, screen.cx);
    EXPECT_EQ(area.bottom, screen.cy);
    display::NativeId w = Create({0, 0, 40, 40});
    EXPECT_FALSE(backend_->BeginMoveDrag(w, 10, 10));  // nobody to ask

    // Pretend to be a window manager with a panel at the top.
    Atom cardinal = XA_CARDINAL;
    long work[8] = {0, 0, 1, 1, 0, 24, screen.cx, screen.cy - 24};
    long current = 1;
    XChangeProperty(peer_, root, XInternAtom(peer_, "_NET_WORKAREA", False), cardinal, 32, PropModeReplace,
                    reinterpret_cast<unsigned char *>(work), 8);
    XChangeProperty(peer_, root, XInternAtom(peer_, "_NET_CURRENT_DESKTOP", False), cardinal, 32,
                    PropModeReplace, reinterpret_cast<unsigned char *>(&current), 1);
    long supported = static_cast<long>(XInternAtom(peer_, "_NET_WM_MOVERESIZE", False));
    XChangeProperty(peer_, root, XInternAtom(peer_, "_NET_SUPPORTED", False), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char *>(&supported), 1);
    XSelectInput(peer_, root, SubstructureRedirectMask);
    Settle();

    area = backend_->WorkArea();
    EXPECT_EQ(area.top, 24);
    EXPECT_EQ(area.bottom, screen.cy);
    EXPECT_TRUE(backend_->BeginMoveDrag(w, 17, 23));
    XEvent ev{};
    bool got = false;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!got && std::chrono::steady_clock::now() < end) {
        while (XPending(peer_)) {
            XNextEvent(peer_, &ev);
            if (ev.type == ClientMessage) got = true;
        }
        if (!got) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    for (const char *p : {"_NET_WORKAREA", "_NET_CURRENT_DESKTOP", "_NET_SUPPORTED"}) {
        XDeleteProperty(peer_, root, XInternAtom(peer_, p, False));
    }
    XSelectInput(peer_, root, NoEventMask);
    Settle();
    ASSERT_TRUE(got);
    EXPECT_EQ(ev.xclient.message_type, XInternAtom(peer_, "_NET_WM_MOVERESIZE", False));
    EXPECT_EQ(ev.xclient.window, static_cast<Window>(w));
    EXPECT_EQ(ev.xclient.data.l[0], 17);
    EXPECT_EQ(ev.xclient.data.l[1], 23);
    EXPECT_EQ(ev.xclient.data.l[2], 8);  // move

    // DPI: 96 by default, Xft.dpi when the resource database has it.
    EXPECT_EQ(backend_->Dpi(), 96);
    testsupport::ScopedEnvironment env{"MORVALEN_SCALE", "GDK_SCALE"};
    // A back-end opened while the root's resources are `db`.
    auto openWithResources = [&](const std::string &db) {
        XChangeProperty(peer_, root, XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(db.data()), static_cast<int>(db.size()));
        Settle();
        std::unique_ptr<display::Backend> b = display::x11::Open(TestDisplay());
        XDeleteProperty(peer_, root, XA_RESOURCE_MANAGER);
        Settle();
        return b;
    };
    std::unique_ptr<display::Backend> other = openWithResources("Xft.dpi:\t120\n");
    ASSERT_TRUE(other);
    EXPECT_EQ(other->Dpi(), 120);
    // The program still lives at 96 DPI: the display scales, not the fonts.
    HDC ic = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
    EXPECT_EQ(96, GetDeviceCaps(ic, LOGPIXELSY));
    EXPECT_EQ(96, GetDeviceCaps(ic, LOGPIXELSX));
    DeleteDC(ic);

    // With no scale in the environment it comes from the resource DPI.
    EXPECT_EQ(other->InitialScale(), 150);  // 120 DPI: 1.25x
    // Any positive Xft.dpi counts (the scale made from it is clamped).
    std::unique_ptr<display::Backend> high = openWithResources("Xft.dpi: 961\n");
    ASSERT_TRUE(high);
    EXPECT_EQ(high->Dpi(), 961);
    high.reset();

    // At Xft.dpi 192 on a 2048 x 1536 primary monitor the program's pixels
    // are 2 x 2 root pixels: the screen is half the monitor's size, and a
    // window's place and size are doubled; at 144, 1.5x, they are the
    // device edges of the logical ones (a client area of 50 x 40 at (10, 20)
    // is 75 x 60 at (15, 30)). On a 1024 x 768 one the setting of 192 (or
    // MORVALEN_SCALE=4) would leave less than 640 x 480: 1.6x.
    const char hidpi[] = "Xft.dpi:\t192\n";
    SetPrimaryMonitor(1024, 768);
    std::unique_ptr<display::Backend> small = openWithResources(hidpi);
    env.Set("MORVALEN_SCALE", "4");
    std::unique_ptr<display::Backend> forced = openWithResources("");
    env.Set("MORVALEN_SCALE", nullptr);
    SetPrimaryMonitor(2048, 1536);
    std::unique_ptr<display::Backend> scaled = openWithResources(hidpi);
    std::unique_ptr<display::Backend> half = openWithResources("Xft.dpi: 144\n");
    ASSERT_TRUE(small && forced && scaled && half);
    EXPECT_EQ(small->InitialScale(), 192);
    EXPECT_EQ(forced->InitialScale(), 192);
    EXPECT_EQ(scaled->InitialScale(), 240);
    EXPECT_EQ(half->InitialScale(), 180);
    EXPECT_EQ(scaled->ScreenSize().cx, 1024);
    EXPECT_EQ(scaled->ScreenSize().cy, 768);
    EXPECT_EQ(half->ScreenSize().cx, 1365);
    EXPECT_EQ(half->ScreenSize().cy, 1024);
    struct {
        display::Backend *backend;
        RECT device;  // x, y, width, height
    } cases[] = {{scaled.get(), {20, 40, 100, 80}}, {half.get(), {15, 30, 75, 60}}};
    for (const auto &c : cases) {
        display::TopLevelParams p;
        p.client = {10, 20, 60, 60};
        display::NativeId big = c.backend->CreateTopLevel(p);
        display::x11::Sync(*c.backend);
        XWindowAttributes a{};
        ASSERT_TRUE(XGetWindowAttributes(peer_, static_cast<Window>(big), &a));
        EXPECT_EQ((RECT{a.x, a.y, a.width, a.height}), c.device) << c.backend->InitialScale();
        EXPECT_EQ(c.backend->WindowScale(big), c.backend->InitialScale());
        c.backend->DestroyTopLevel(big);
    }
}

// Two monitors side by side on the test screen, set the way xrandr does it.
class X11Monitors : public X11Backend {
protected:
    void SetUp() override {
        X11Backend::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        if (system("command -v xrandr >/dev/null 2>&1") != 0) GTEST_SKIP() << "xrandr is not installed";
        screen_ = {DisplayWidth(peer_, DefaultScreen(peer_)), DisplayHeight(peer_, DefaultScreen(peer_))};
    }
    void TearDown() override {
        // Skipped before a server was reached: no monitors to take back.
        if (peer_) {
            Xrandr("--delmonitor left");
            Xrandr("--delmonitor right");
        }
        X11Backend::TearDown();
    }
    // Left and right halves of the screen; `primary` is "left" or "right".
    void Layout(const char *primary) {
        Xrandr("--delmonitor left");
        Xrandr("--delmonitor right");
        int half = screen_.cx / 2;
        for (const char *name : {"left", "right"}) {
            std::string geometry = std::to_string(half) + "/100x" + std::to_string(screen_.cy) + "/100+" +
                                   std::to_string(std::strcmp(name, "left") == 0 ? 0 : half) + "+0";
            std::string mark = std::strcmp(name, primary) == 0 ? "'*" : "'";
            ASSERT_EQ(Xrandr("--setmonitor " + mark + name + "' " + geometry + " none"), 0);
        }
        Settle();
    }
    int Xrandr(const std::string &args) {
        std::string cmd = "xrandr -display '" + std::string(TestDisplay()) + "' " + args + " >/dev/null 2>&1";
        return system(cmd.c_str());
    }
    SIZE screen_{};
};

TEST_F(X11Monitors, ThePrimaryMonitorIsTheProgramsScreenWithItsCornerAtTheOrigin) {
    int half = screen_.cx / 2;
    // A panel across the top of the whole desktop.
    Window root = DefaultRootWindow(peer_);
    long work[4] = {0, 24, screen_.cx, screen_.cy - 24};
    XChangeProperty(peer_, root, XInternAtom(peer_, "_NET_WORKAREA", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char *>(work), 4);
    struct Case {
        const char *primary;
        int originX;
    } cases[] = {{"left", 0}, {"right", half}};
    for (const Case &c : cases) {
        Layout(c.primary);
        SIZE size = backend_->ScreenSize();
        EXPECT_EQ(size.cx, half) << c.primary;
        EXPECT_EQ(size.cy, screen_.cy) << c.primary;
        RECT area = backend_->WorkArea();
        EXPECT_EQ(area, (RECT{0, 24, half, screen_.cy})) << c.primary;

        // The program's (100, 50) is 100 pixels into the primary monitor.
        display::NativeId w = Create({100, 50, 200, 110});
        backend_->ShowTopLevel(w, true);
        ASSERT_TRUE(WaitFor(kMap, w));
        Settle();
        int x = 0, y = 0;
        Window child;
        XTranslateCoordinates(peer_, static_cast<Window>(w), root, 0, 0, &x, &y, &child);
        EXPECT_EQ(x, c.originX + 100) << c.primary;
        EXPECT_EQ(y, 50) << c.primary;
        backend_->MoveTopLevel(w, {120, 60, 220, 120});
        Settle();
        XTranslateCoordinates(peer_, static_cast<Window>(w), root, 0, 0, &x, &y, &child);
        EXPECT_EQ(x, c.originX + 120) << c.primary;
        // Pointer positions come back in the program's coordinates.
        XTestFakeMotionEvent(peer_, DefaultScreen(peer_), c.originX + 130, 70, CurrentTime);
        XTestFakeButtonEvent(peer_, 1, True, CurrentTime);
        XTestFakeButtonEvent(peer_, 1, False, CurrentTime);
        Settle();
        Event press;
        ASSERT_TRUE(WaitFor(kButtonDown, w, &press)) << c.primary;
        EXPECT_EQ(press.rootX, 130) << c.primary;
        EXPECT_EQ(press.rootY, 70) << c.primary;
        EXPECT_EQ(press.x, 10) << c.primary;
        backend_->DestroyTopLevel(w);
        Drain(50);
    }
    // The primary monitor goes away: the metrics follow at the next call.
    Xrandr("--delmonitor right");
    Xrandr("--delmonitor left");
    Settle();
    EXPECT_EQ(backend_->ScreenSize().cx, screen_.cx);
    EXPECT_EQ(backend_->WorkArea().right, screen_.cx);
    XDeleteProperty(peer_, root, XInternAtom(peer_, "_NET_WORKAREA", False));
    Settle();
}

TEST_F(X11Backend, WakeEndsAWaitAndWaitSleepsWithoutEvents) {
    Drain(50);
    auto start = std::chrono::steady_clock::now();
    std::thread waker([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        backend_->Wake();
    });
    EXPECT_TRUE(backend_->Wait(20000));
    waker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));  // not the full timeout
    // With nothing to do, a bounded wait returns and reports nothing pending.
    EXPECT_TRUE(backend_->Wait(10));
    Event e;
    EXPECT_FALSE(backend_->NextEvent(&e));
}

// Runs `child` in a fork; returns its exit status and what it wrote to stderr.
int RunChild(const std::function<void()> &child, std::string *err, int killAfterMs = -1, pid_t xserver = 0,
             double *exitSeconds = nullptr) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDERR_FILENO);
        close(fds[0]);
        child();
        _exit(0);
    }
    close(fds[1]);
    if (killAfterMs >= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(killAfterMs));
        kill(xserver, SIGKILL);
        waitpid(xserver, nullptr, 0);
    }
    auto start = std::chrono::steady_clock::now();
    int status = 0;
    waitpid(pid, &status, 0);
    if (exitSeconds)
        *exitSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    char buf[512];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) err->append(buf, static_cast<size_t>(n));
    close(fds[0]);
    return status;
}

TEST(X11Start, NoDisplayIsAClearMessageAndExitCodeOne) {
    EXPECT_FALSE(display::x11::Open(":987"));
    std::string err;
    int status = RunChild(
        [] {
            setenv("DISPLAY", ":987", 1);
            display::x11::OpenOrExit();
        },
        &err);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(err.find("morvalen: cannot open X display \":987\""), std::string::npos) << err;

    // No DISPLAY at all (or an empty one) says so.
    for (bool empty : {false, true}) {
        err.clear();
        status = RunChild(
            [empty] {
                if (empty) {
                    setenv("DISPLAY", "", 1);
                } else {
                    unsetenv("DISPLAY");
                }
                display::x11::OpenOrExit();
            },
            &err);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_NE(err.find("DISPLAY is not set"), std::string::npos) << err;
    }
}

TEST(X11Start, AServerThatNeverAnswersIsGivenUpWithAMessage) {
    // A TCP "X server" that takes connections and never says a word.
    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int number = -1;
    for (int n = 300; n < 400 && number < 0; ++n) {
        addr.sin_port = htons(static_cast<uint16_t>(6000 + n));
        if (bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) number = n;
    }
    ASSERT_GE(number, 0) << "no free port";
    ASSERT_EQ(listen(listener, 4), 0);
    std::string name = "127.0.0.1:" + std::to_string(number);
    std::string err;
    int status = RunChild(
        [&name] {
            setenv("DISPLAY", name.c_str(), 1);
            display::x11::SetOpenDeadline(200);
            display::x11::OpenOrExit();
            _exit(90);  // opened: not what a silent server allows
        },
        &err);
    close(listener);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(err.find("morvalen: the X display \"" + name + "\" does not answer"), std::string::npos) << err;
}

TEST(X11Start, LosingTheServerEndsTheProcessPromptly) {
    if (system("command -v Xvfb >/dev/null 2>&1") != 0) GTEST_SKIP() << "Xvfb is not installed";
    // A server of our own, so killing it disturbs nobody; it picks a free
    // display itself and writes its number to the pipe.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t server = fork();
    if (server == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "320x240x24", "-nolisten", "tcp",
               "-noreset", static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    // The server writes its number and the newline in two writes: read up
    // to the newline before closing, or the second write breaks the pipe
    // and the server aborts.
    std::string number;
    char c;
    while (number.size() < 16 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    ASSERT_FALSE(number.empty()) << "private Xvfb did not start";
    std::string name = ":" + number;
    ASSERT_GT(server, 0);
    std::unique_ptr<display::Backend> probe;
    for (int i = 0; i < 100 && !probe; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        probe = display::x11::Open(name.c_str());
    }
    ASSERT_TRUE(probe) << "private Xvfb did not start on " << name;
    probe.reset();

    std::string err;
    double seconds = 0;
    int status = RunChild(
        [&name] {
            std::unique_ptr<display::Backend> b = display::x11::Open(name.c_str());
            if (!b) _exit(90);
            display::TopLevelParams p;
            p.client = {0, 0, 50, 50};
            b->ShowTopLevel(b->CreateTopLevel(p), true);
            // A message loop that sleeps in Wait.
            for (;;) {
                display::Event e;
                while (b->NextEvent(&e)) {
                }
                if (!b->Wait(-1)) _exit(91);
            }
        },
        &err, 300, server, &seconds);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_NE(WEXITSTATUS(status), 0);
    EXPECT_NE(WEXITSTATUS(status), 90);
    // At once, not after some timeout: the bound leaves room for a machine
    // busy with other tests, and a process that hangs never meets it.
    EXPECT_LT(seconds, 3.0);
    EXPECT_NE(err.find("lost the connection to the X display"), std::string::npos) << err;
}

}  // namespace
