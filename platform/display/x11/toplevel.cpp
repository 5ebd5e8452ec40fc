// Native windows of the X11 back-end: creating one for a top-level window
// with the hints window managers read (class, protocols, owner, process,
// decorations), then its place, visibility, modality, title, shape, icon,
// input focus and a move the window manager drives.
#include <unistd.h>

#include <string>

#include "platform/display/x11/backend_x11.h"

#include <X11/Xatom.h>
#include <X11/extensions/shape.h>

namespace win32::display::x11 {

namespace {

// _MOTIF_WM_HINTS: flags, functions, decorations, input mode, status.
constexpr unsigned long kMwmHintsDecorations = 1ul << 1;
// _NET_WM_MOVERESIZE direction for a keyboard-less move.
constexpr long kNetMoveResizeMove = 8;

// A client message for the root window that asks the window manager to
// act on `w`; data.l[] is for the caller to fill.
XEvent RequestToWindowManager(Window w, Atom messageType) {
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.message_type = messageType;
    ev.xclient.format = 32;
    return ev;
}

// WM_HINTS as the back-end sets them: the window takes the focus when the
// window manager gives it, and starts in its normal state.
XWMHints ClientWmHints() {
    XWMHints hints{};
    hints.flags = InputHint | StateHint;
    hints.input = True;
    hints.initial_state = NormalState;
    return hints;
}

}  // namespace

display::NativeId X11Backend::CreateTopLevel(const display::TopLevelParams &p) {
    // A compositing manager ignores SHAPE when it draws: a captionless
    // pop-up, the window that may get a region, is drawn through alpha
    // there.
    bool argb = p.popup && argbVisual_.visual && CompositingManagerRuns();
    Window xid = CreateClientWindow(p.client, argb);
    if (!xid) return 0;
    IdentifyClient(xid);
    SetSizeHints(xid, p.client);
    if (!p.decorated) {
        unsigned long motif[5] = {kMwmHintsDecorations, 0, 0, 0, 0};
        XChangeProperty(dpy_, xid, atoms_[kMotifWmHints], atoms_[kMotifWmHints], 32, PropModeReplace,
                        reinterpret_cast<unsigned char *>(motif), 5);
    }
    bool owned = p.owner && windows_.count(p.owner);
    if (owned) XSetTransientForHint(dpy_, xid, static_cast<Window>(p.owner));

    TopLevel &t = windows_[xid];
    t.xid = xid;
    t.owner = owned ? static_cast<Window>(p.owner) : 0;
    if (owned) WriteWmState(t, false);
    t.client = p.client;
    t.parent = root_;
    t.argb = argb;
    SetTitle(xid, p.title.c_str());
    XFlush(dpy_);
    return xid;
}

bool X11Backend::CompositingManagerRuns() {
    return XGetSelectionOwner(dpy_, atoms_[kNetWmCmScreen]) != None;
}

// The X window for a client area, not yet mapped, with the events the
// back-end translates selected; `argb` gives it the 32-bit visual.
Window X11Backend::CreateClientWindow(const RECT &client, bool argb) {
    const XVisualInfo &vi = argb ? argbVisual_ : visual_;
    XSetWindowAttributes attrs{};
    attrs.background_pixmap = None;  // we present every exposed pixel ourselves
    attrs.border_pixel = 0;
    attrs.colormap = argb ? argbColormap_ : colormap_;
    attrs.bit_gravity = NorthWestGravity;
    attrs.event_mask = ExposureMask | StructureNotifyMask | KeyPressMask | KeyReleaseMask | ButtonPressMask |
                       ButtonReleaseMask | PointerMotionMask | FocusChangeMask | KeymapStateMask;
    int w = Dev(Width(client)), h = Dev(Height(client));
    POINT at = ToRoot({client.left, client.top});
    Window xid = XCreateWindow(
        dpy_, root_, at.x, at.y, static_cast<unsigned>(w), static_cast<unsigned>(h), 0, vi.depth, InputOutput,
        vi.visual, CWBackPixmap | CWBorderPixel | CWColormap | CWBitGravity | CWEventMask, &attrs);
    if (xid && !argb && !gc_) gc_ = XCreateGC(dpy_, xid, 0, nullptr);
    if (xid && argb && !argbGc_) argbGc_ = XCreateGC(dpy_, xid, 0, nullptr);
    return xid;
}

// What tells the window manager whose window it is and how to talk to it:
// class, input model, protocols (close, ping), process and machine.
void X11Backend::IdentifyClient(Window xid) {
    XClassHint classHint{const_cast<char *>("morvalen"), const_cast<char *>("Morvalen")};
    XSetClassHint(dpy_, xid, &classHint);
    XWMHints wmHints = ClientWmHints();
    XSetWMHints(dpy_, xid, &wmHints);
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
}

void X11Backend::DestroyTopLevel(display::NativeId w) {
    auto it = windows_.find(w);
    if (it == windows_.end()) return;
    FreeWindow(it->second, true);
    windows_.erase(it);
    std::erase_if(pending_, [w](const Event &e) { return e.window == w; });
    XFlush(dpy_);
}

void X11Backend::MoveTopLevel(display::NativeId w, const RECT &client) {
    TopLevel *t = Find(w);
    if (!t) return;
    t->client = client;
    t->movePending = true;
    SetSizeHints(t->xid, client);
    POINT at = ToRoot({client.left, client.top});
    XMoveResizeWindow(dpy_, t->xid, at.x, at.y, static_cast<unsigned>(Dev(Width(client))),
                      static_cast<unsigned>(Dev(Height(client))));
    XFlush(dpy_);
}

void X11Backend::ShowTopLevel(display::NativeId w, bool show) {
    TopLevel *t = Find(w);
    if (!t) return;
    t->shown = show;
    if (show) {
        XMapRaised(dpy_, t->xid);
    } else {
        XWithdrawWindow(dpy_, t->xid, screen_);
        t->focusWhenMapped = false;
        t->remapping = false;
    }
    XFlush(dpy_);
}

void X11Backend::SetModal(display::NativeId w, bool modal) {
    TopLevel *t = Find(w);
    if (!t) return;
    if (modal) {
        Atom dialog = atoms_[kNetWmWindowTypeDialog];
        XChangeProperty(dpy_, t->xid, atoms_[kNetWmWindowType], XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char *>(&dialog), 1);
    }
    if (t->shown) {
        // The window manager keeps the state of a mapped window: ask it.
        // Leaving modality keeps an owned window off the taskbar.
        XEvent ev = RequestToWindowManager(t->xid, atoms_[kNetWmState]);
        ev.xclient.data.l[0] = modal ? 1 : 0;  // add, remove
        ev.xclient.data.l[1] = static_cast<long>(atoms_[kNetWmStateModal]);
        if (modal && t->owner) ev.xclient.data.l[2] = static_cast<long>(atoms_[kNetWmStateSkipTaskbar]);
        ev.xclient.data.l[3] = 1;  // a normal application asks
        XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
    } else {
        WriteWmState(*t, modal);
    }
    XFlush(dpy_);
}

// _NET_WM_STATE of a window not yet mapped, which window managers read when
// they take it: modal while its owner is disabled, off the taskbar when
// owned.
void X11Backend::WriteWmState(const TopLevel &t, bool modal) {
    Atom states[2];
    int count = 0;
    if (modal) states[count++] = atoms_[kNetWmStateModal];
    if (t.owner) states[count++] = atoms_[kNetWmStateSkipTaskbar];
    if (count == 0) {
        XDeleteProperty(dpy_, t.xid, atoms_[kNetWmState]);
        return;
    }
    XChangeProperty(dpy_, t.xid, atoms_[kNetWmState], XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char *>(states), count);
}

void X11Backend::SetTitle(display::NativeId w, const char *title) {
    TopLevel *t = Find(w);
    if (!t) return;
    if (!title) title = "";
    XStoreName(dpy_, t->xid, title);
    XSetIconName(dpy_, t->xid, title);
    std::string utf8 = Utf8FromWindows1252(title);
    for (int atom : {kNetWmName, kNetWmIconName}) {
        XChangeProperty(dpy_, t->xid, atoms_[atom], atoms_[kUtf8String], 8, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(utf8.data()), static_cast<int>(utf8.size()));
    }
    XFlush(dpy_);
}

void X11Backend::SetShape(display::NativeId w, const gdi::Region *shape) {
    TopLevel *t = Find(w);
    if (!t) return;
    if (t->argb) {
        t->alpha.reset();
        if (shape) t->alpha = shape->Scaled(scale_);
    }
    if (!hasShape_) return;
    // A window drawn through alpha keeps all its pixels for the compositing
    // manager to blend; SHAPE only takes the clicks away from its clear parts.
    for (int kind : {ShapeBounding, ShapeInput}) {
        if (kind == ShapeBounding && t->argb) continue;
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

void X11Backend::SetIcon(display::NativeId w, int width, int height, const uint32_t *pixels,
                         const uint8_t *mask) {
    TopLevel *t = Find(w);
    if (!t || width <= 0 || height <= 0 || !pixels) return;
    SetNetIcon(t->xid, width, height, pixels, mask);
    SetHintsIcon(*t, width, height, pixels, mask);
    XFlush(dpy_);
}

// _NET_WM_ICON: width, height, then ARGB pixels, each in a long.
void X11Backend::SetNetIcon(Window xid, int width, int height, const uint32_t *pixels, const uint8_t *mask) {
    size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::vector<unsigned long> net(2 + count);
    net[0] = static_cast<unsigned long>(width);
    net[1] = static_cast<unsigned long>(height);
    for (size_t i = 0; i < count; ++i) {
        bool clear = mask && mask[i];
        net[2 + i] = clear ? 0ul : (0xFF000000ul | (pixels[i] & 0xFFFFFFul));
    }
    XChangeProperty(dpy_, xid, atoms_[kNetWmIcon], XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char *>(net.data()), static_cast<int>(net.size()));
}

// The WM_HINTS icon, a pixmap and a bitmap mask, for window managers that
// do not read _NET_WM_ICON.
void X11Backend::SetHintsIcon(TopLevel &t, int width, int height, const uint32_t *pixels,
                              const uint8_t *mask) {
    FreeIcon(t);
    t.iconPixmap = XCreatePixmap(dpy_, t.xid, static_cast<unsigned>(width), static_cast<unsigned>(height),
                                 static_cast<unsigned>(visual_.depth));
    PutPixels(t.iconPixmap, pixels, width, 0, 0, width, height);
    int stride = (width + 7) / 8;
    std::vector<char> bits(static_cast<size_t>(stride) * static_cast<size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            size_t i = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
            if (!(mask && mask[i]))
                bits[static_cast<size_t>(y * stride + x / 8)] |= static_cast<char>(1 << (x % 8));
        }
    }
    t.iconMask =
        CreateBitmap(dpy_, t.xid, bits.data(), static_cast<unsigned>(width), static_cast<unsigned>(height));
    XWMHints hints = ClientWmHints();  // known: no need to read them back
    hints.flags |= IconPixmapHint | IconMaskHint;
    hints.icon_pixmap = t.iconPixmap;
    hints.icon_mask = t.iconMask;
    XSetWMHints(dpy_, t.xid, &hints);
}

bool X11Backend::BeginMoveDrag(display::NativeId w, int screenX, int screenY) {
    TopLevel *t = Find(w);
    if (!t || !WindowManagerSupports(atoms_[kNetWmMoveResize])) return false;
    // The window manager needs the pointer, which our button press holds.
    XUngrabPointer(dpy_, CurrentTime);
    XEvent ev = RequestToWindowManager(t->xid, atoms_[kNetWmMoveResize]);
    // Where the press really was: the layer's idea of the screen may lag.
    POINT at = pressSeen_ ? lastPressRoot_ : ToRoot({screenX, screenY});
    ev.xclient.data.l[0] = at.x;
    ev.xclient.data.l[1] = at.y;
    ev.xclient.data.l[2] = kNetMoveResizeMove;
    ev.xclient.data.l[3] = Button1;
    ev.xclient.data.l[4] = 1;  // a normal application asks
    XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
    XFlush(dpy_);
    return true;
}

void X11Backend::SetInputFocus(display::NativeId w) {
    TopLevel *t = Find(w);
    if (!t) return;
    if (t->mapped) {
        XSetInputFocus(dpy_, t->xid, RevertToParent, CurrentTime);
        XFlush(dpy_);
    } else {
        t->focusWhenMapped = true;  // X refuses focus on a window not yet viewable
    }
}

void X11Backend::ActivateTopLevel(display::NativeId w) {
    TopLevel *t = Find(w);
    if (!t) return;
    XRaiseWindow(dpy_, t->xid);
    SetInputFocus(w);
    // Window managers restack and focus their frames only when asked;
    // source 1: an application asks, for the user's click.
    XEvent ev = RequestToWindowManager(t->xid, atoms_[kNetActiveWindow]);
    ev.xclient.data.l[0] = 1;
    ev.xclient.data.l[1] = static_cast<long>(lastPressTime_);
    XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
    if (t->owner && t->parent == root_) {
        constexpr DWORD kRestackWatchMs = 1000;
        t->keepAboveOwnerUntil = MonotonicMs() + kRestackWatchMs;
        KeepAboveOwner(*t);
    }
    XFlush(dpy_);
}

// A window manager without frames that leaves the stacking of its windows
// to itself may take neither the raise nor the activation; it stacks a
// window mapped anew on top, where it was.
void X11Backend::KeepAboveOwner(TopLevel &t) {
    if (!t.mapped || t.focusWhenMapped || !BelowItsOwner(t)) return;
    XUnmapWindow(dpy_, t.xid);
    XMapRaised(dpy_, t.xid);
    t.remapping = true;
    t.focusWhenMapped = true;
    t.keepAboveOwnerUntil = 0;
}

// Whether an owned window's owner is stacked above it, as the server has it
// once the requests sent so far are done.
bool X11Backend::BelowItsOwner(const TopLevel &t) {
    if (!t.owner) return false;
    Window rootReturn = 0, parentReturn = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(dpy_, root_, &rootReturn, &parentReturn, &children, &count)) return false;
    // The owner, or the frame a window manager put it in, is a child of
    // the root; children come bottom first.
    Window ownerTop = t.owner;
    if (const TopLevel *o = Find(t.owner); o && o->parent != root_) ownerTop = o->parent;
    int self = -1, owner = -1;
    for (unsigned i = 0; i < count; ++i) {
        if (children[i] == t.xid) self = static_cast<int>(i);
        if (children[i] == ownerTop) owner = static_cast<int>(i);
    }
    if (children) XFree(children);
    return self >= 0 && owner > self;
}

POINT X11Backend::ClientToDevice(display::NativeId w, POINT client) {
    const TopLevel *t = Find(w);
    const POINT origin = t ? ToRoot({t->client.left, t->client.top}) : POINT{0, 0};
    return {origin.x + Dev(client.x), origin.y + Dev(client.y)};
}

bool X11Backend::QueryClientRect(display::NativeId w, RECT *client) {
    TopLevel *t = Find(w);
    if (!t || !t->mapped || t->movePending || (t->parent == root_ && t->positionKnown)) return false;
    POINT root{};
    if (!RootPosition(*t, &root)) return false;
    POINT at = FromRoot(root);
    RECT r{at.x, at.y, at.x + (t->client.right - t->client.left), at.y + (t->client.bottom - t->client.top)};
    if (r.left == t->client.left && r.top == t->client.top) return false;
    t->client = r;
    *client = r;
    return true;
}

// Asks the window manager to keep the client where the layer puts it.
void X11Backend::SetSizeHints(Window xid, const RECT &client) {
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

void X11Backend::FreeIcon(TopLevel &t) {
    if (t.iconPixmap) XFreePixmap(dpy_, t.iconPixmap);
    if (t.iconMask) XFreePixmap(dpy_, t.iconMask);
    t.iconPixmap = t.iconMask = 0;
}

void X11Backend::FreeWindow(TopLevel &t, bool destroy) {
    FreeIcon(t);
    if (destroy) XDestroyWindow(dpy_, t.xid);
}

}  // namespace win32::display::x11
