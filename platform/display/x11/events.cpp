// X events to the seam's events: one handler for each kind the back-end
// selects, keys with their virtual keys and characters for any layout,
// buttons and the wheel, modifiers, event times, and windows another
// client destroyed.
#include <cstring>
#include <utility>

#include "platform/display/x11/backend_x11.h"

namespace win32::display::x11 {

namespace {

Event Make(Event::Type type, Window w) {
    Event e;
    e.type = type;
    e.window = w;
    return e;
}

// The modifiers a key or button event's state says were held.
int ModifiersOf(unsigned state) {
    int m = 0;
    if (state & ShiftMask) m |= display::kModShift;
    if (state & ControlMask) m |= display::kModCtrl;
    if (state & (Mod1Mask | Mod5Mask)) m |= display::kModAlt;  // Alt, and AltGr as the keymap has it
    return m;
}

// The character a key typed: control characters as Xlib makes them (Ctrl+C
// is 3), anything else from the keysym in Windows-1252; -1 for none.
int CharacterOf(const XKeyEvent &key, const char *text, int length, KeySym looked) {
    int ch = -1;
    if (length == 1 && static_cast<unsigned char>(text[0]) < 0x80) {
        ch = static_cast<unsigned char>(text[0]);
    } else if (!(key.state & ControlMask)) {
        ch = KeysymToWindows1252(looked);
    }
    return ch == 0x7F ? -1 : ch;
}

}  // namespace

bool X11Backend::NextEvent(Event *ev) {
    ForgetDestroyedWindows();
    while (pending_.empty()) {
        if (!XPending(dpy_)) {
            screenStale_ = true;  // the burst of work ends here
            return false;
        }
        XEvent xe;
        XNextEvent(dpy_, &xe);
        Translate(xe);
    }
    *ev = pending_.front();
    pending_.pop_front();
    return true;
}

// Windows of this connection that protocol errors named destroyed.
void X11Backend::ForgetDestroyedWindows() {
    if (BadWindows().empty()) return;
    std::vector<DeadWindow> bad;
    std::erase_if(BadWindows(), [&](const DeadWindow &b) {
        if (b.dpy == dpy_) bad.push_back(b);
        return b.dpy == dpy_;
    });
    for (const DeadWindow &b : bad) Forget(b.id);
}

void X11Backend::Translate(XEvent &xe) {
    if (TakeScreenChange(xe)) return;
    if (xe.type == MappingNotify) return OnMappingNotify(xe.xmapping);
    if (xe.type == KeymapNotify) return OnKeymapNotify(xe.xkeymap);
    TopLevel *t = Find(xe.xany.window);
    if (!t) return;
    switch (xe.type) {
        case Expose:
            return OnExpose(*t, xe.xexpose);
        case ConfigureNotify:
            return OnConfigureNotify(*t, xe.xconfigure);
        case ReparentNotify:
            return OnReparentNotify(*t, xe.xreparent);
        case MapNotify:
            return OnMapNotify(*t);
        case DestroyNotify:
            if (xe.xdestroywindow.window == t->xid) Forget(t->xid);
            return;
        case UnmapNotify:
            return OnUnmapNotify(*t);
        case FocusIn:
        case FocusOut:
            return OnFocusChange(*t, xe.xfocus);
        case KeyPress:
        case KeyRelease:
            return TranslateKey(*t, xe.xkey);
        case ButtonPress:
        case ButtonRelease:
            return TranslateButton(*t, xe.xbutton);
        case MotionNotify:
            return OnMotion(*t, xe);
        case ClientMessage:
            return OnClientMessage(*t, xe.xclient);
        default:
            return;
    }
}

void X11Backend::OnMappingNotify(XMappingEvent &mapping) {
    XRefreshKeyboardMapping(&mapping);
    if (mapping.request == MappingKeyboard) ForgetKeyboard();
}

// Follows every FocusIn: which keys are down now, whatever happened to
// them while another window had the focus.
void X11Backend::OnKeymapNotify(const XKeymapEvent &keymap) {
    Event e = Make(kEvKeyState, 0);
    e.modifiers = HeldModifiers(keymap.key_vector);
    Push(e);
}

// The logical pixels that cover the exposed device pixels.
void X11Backend::OnExpose(const TopLevel &t, const XExposeEvent &expose) {
    Event e = Make(kEvExpose, t.xid);
    e.rect = {Logical(expose.x), Logical(expose.y), Logical(expose.x + expose.width - 1) + 1,
              Logical(expose.y + expose.height - 1) + 1};
    Push(e);
}

void X11Backend::OnMapNotify(TopLevel &t) {
    t.mapped = true;
    t.positionKnown = false;  // a window manager places what it maps
    if (!std::exchange(t.remapping, false)) Push(Make(kEvMap, t.xid));
    if (t.focusWhenMapped) {
        t.focusWhenMapped = false;
        XSetInputFocus(dpy_, t.xid, RevertToParent, CurrentTime);
    }
}

void X11Backend::OnUnmapNotify(TopLevel &t) {
    t.mapped = false;
    if (!t.remapping) Push(Make(kEvUnmap, t.xid));
}

void X11Backend::OnFocusChange(const TopLevel &t, const XFocusChangeEvent &focus) {
    // Grabs (a window manager moving the window) and pointer focus do not
    // change which window is active.
    if (focus.mode == NotifyGrab || focus.mode == NotifyUngrab) return;
    if (focus.detail == NotifyPointer || focus.detail == NotifyInferior) return;
    // Keys released while another window had the focus never reach us; a
    // new press of them is not a repeat.
    if (focus.type == FocusOut) downKeys_.clear();
    Push(Make(focus.type == FocusIn ? kEvFocusIn : kEvFocusOut, t.xid));
}

void X11Backend::OnMotion(const TopLevel &t, XEvent &xe) {
    // Only the latest of consecutive moves matters; a move after a click
    // must stay after it.
    while (XEventsQueued(dpy_, QueuedAlready)) {
        XEvent next;
        XPeekEvent(dpy_, &next);
        if (next.type != MotionNotify || next.xmotion.window != t.xid) break;
        XNextEvent(dpy_, &xe);
    }
    Event e = Make(kEvMotion, t.xid);
    PointerAt(e, xe.xmotion.x, xe.xmotion.y, xe.xmotion.x_root, xe.xmotion.y_root);
    e.time = EventTime(xe.xmotion.time);
    Push(e);
}

// WM_PROTOCOLS: the close button becomes a close request; a ping is
// answered at once.
void X11Backend::OnClientMessage(const TopLevel &t, const XClientMessageEvent &message) {
    if (message.message_type != atoms_[kWmProtocols] || message.format != 32) return;
    Atom what = static_cast<Atom>(message.data.l[0]);
    if (what == atoms_[kWmDeleteWindow]) {
        Push(Make(kEvCloseRequest, t.xid));
    } else if (what == atoms_[kNetWmPing]) {
        XEvent reply{};
        reply.xclient = message;
        reply.xclient.window = root_;
        XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &reply);
    }
}

void X11Backend::TranslateKey(TopLevel &t, XKeyEvent &key) {
    bool press = key.type == KeyPress;
    if (!press && IsAutoRepeatRelease(key)) return;  // the press that follows is reported as a repeat
    char text[8] = {};
    KeySym looked = NoSymbol;
    int length = XLookupString(&key, text, sizeof text, &looked, nullptr);
    KeyInfo code;
    bool known = KeyCodesOf(key, looked, &code);
    int ch = CharacterOf(key, text, length, looked);
    bool repeat = false;
    if (press) {
        repeat = !downKeys_.insert(key.keycode).second;
    } else {
        downKeys_.erase(key.keycode);
    }
    Event events[2];
    const int n = KeyEvents(t.xid, press, known ? &code : nullptr, ch, repeat, EventTime(key.time),
                            ModifiersOf(key.state), events);
    for (int i = 0; i < n; ++i) Push(events[i]);
}

// Auto-repeat without detectable repeat: a release followed at once by a
// press of the same key with the same time.
bool X11Backend::IsAutoRepeatRelease(const XKeyEvent &key) {
    if (!XEventsQueued(dpy_, QueuedAfterReading)) return false;
    XEvent next;
    XPeekEvent(dpy_, &next);
    return next.type == KeyPress && next.xkey.window == key.window && next.xkey.keycode == key.keycode &&
           next.xkey.time == key.time;
}

// The key's virtual key and scan code: its level-1 keysym in the active
// group decides them. False for keys with no virtual key.
bool X11Backend::KeyCodesOf(const XKeyEvent &key, KeySym looked, KeyInfo *code) {
    KeyCodeSyms syms = SymsOf(key.keycode);
    int group = XkbGroupForCoreState(key.state);
    if (syms.groups > 0 && group >= syms.groups) group %= syms.groups;
    KeySym sym = IsKeypadKeysym(looked) || syms.groups == 0 ? looked : syms.syms[group][0];
    if (sym == NoSymbol) sym = looked;
    return TranslateKeyCode(syms, sym, code);
}

void X11Backend::TranslateButton(TopLevel &t, const XButtonEvent &b) {
    bool press = b.type == ButtonPress;
    Event e = Make(press ? kEvButtonDown : kEvButtonUp, t.xid);
    PointerAt(e, b.x, b.y, b.x_root, b.y_root);
    if (press) {
        lastPressTime_ = b.time;
        lastPressRoot_ = {b.x_root, b.y_root};
        pressSeen_ = true;
    }
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

// X server time to our monotonic milliseconds: the offset is fixed at the
// first timestamp seen, so intervals between events stay exact.
DWORD X11Backend::EventTime(Time xtime) {
    if (!timeOffsetSet_) {
        timeOffset_ = MonotonicMs() - static_cast<DWORD>(xtime);
        timeOffsetSet_ = true;
    }
    return static_cast<DWORD>(xtime) + timeOffset_;
}

// A window of ours that another client destroyed: nothing is left to free
// on the server, and the layer hears of it as a close.
void X11Backend::Forget(Window xid) {
    auto it = windows_.find(xid);
    if (it == windows_.end()) return;
    FreeIcon(it->second);
    windows_.erase(it);
    std::erase_if(pending_, [xid](const Event &e) { return e.window == xid; });
    Push(Make(kEvDestroyed, xid));
}

// Where the window manager put the client. A synthetic ConfigureNotify is
// its word in root coordinates; a real one is relative to the parent, the
// root or a frame (which the window manager may move later without a word).
void X11Backend::OnConfigureNotify(TopLevel &t, const XConfigureEvent &c) {
    t.movePending = false;
    if (t.parent == root_) {
        // Restacked: an owned window activated a moment ago stays above.
        const DWORD now = MonotonicMs();
        for (auto &entry : windows_) {
            TopLevel &owned = entry.second;
            if (owned.owner == t.xid && static_cast<int32_t>(owned.keepAboveOwnerUntil - now) > 0)
                KeepAboveOwner(owned);
        }
    }
    POINT root{};
    if (c.send_event) {
        root = {c.x, c.y};
        t.positionKnown = true;
    } else if (t.parent == root_) {
        root = {c.x + c.border_width, c.y + c.border_width};
        t.positionKnown = true;
    } else if (!RootPosition(t, &root)) {
        return;
    }
    MovedTo(t, root, c.width, c.height);
}

void X11Backend::OnReparentNotify(TopLevel &t, const XReparentEvent &r) {
    t.parent = r.parent;
    t.positionKnown = false;
    POINT root{};
    if (RootPosition(t, &root))
        MovedTo(t, root, Dev(t.client.right - t.client.left), Dev(t.client.bottom - t.client.top));
}

// The client area's top-left in root coordinates, asked of the server.
bool X11Backend::RootPosition(const TopLevel &t, POINT *root) {
    int x = 0, y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(dpy_, t.xid, root_, 0, 0, &x, &y, &child)) return false;
    *root = {x, y};
    return true;
}

// The client area is at `root` (root coordinates), width x height device
// pixels: the layer hears of it when that is news.
void X11Backend::MovedTo(TopLevel &t, POINT root, int width, int height) {
    POINT at = FromRoot(root);
    RECT r{at.x, at.y, at.x + Logical(width), at.y + Logical(height)};
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

// A pointer event's place: in the window's client area as the server
// measured it, and on the screen.
void X11Backend::PointerAt(Event &e, int x, int y, int xRoot, int yRoot) const {
    e.x = Logical(x);
    e.y = Logical(y);
    POINT root = FromRoot({xRoot, yRoot});
    e.rootX = root.x;
    e.rootY = root.y;
}

// The modifiers held according to a KeymapNotify's key vector.
int X11Backend::HeldModifiers(const char keys[32]) {
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

// The keyboard's layouts, asked for at the first key event and again at
// the first after they change: a start never waits for them.
void X11Backend::LoadKeyboard() {
    if (xkb_) return;
    xkb_ = XkbGetMap(dpy_, XkbKeySymsMask | XkbKeyTypesMask, XkbUseCoreKbd);
    if (xkb_) XkbGetNames(dpy_, XkbKeyNamesMask, xkb_);
}

void X11Backend::ForgetKeyboard() {
    if (xkb_) XkbFreeKeyboard(xkb_, 0, True);
    xkb_ = nullptr;
}

KeyCodeSyms X11Backend::SymsOf(unsigned keycode) {
    KeyCodeSyms k;
    LoadKeyboard();
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

}  // namespace win32::display::x11
