// Windows of the Wayland back-end: a surface each, given the role of an
// xdg_toplevel (framed by the compositor or by the back-end) or, for a
// captionless pop-up with an owner, of a subsurface of that owner; then
// the compositor's configure, place, visibility, title, modality and shape.
#include <algorithm>
#include <cstring>

#include "platform/display/wayland/backend_wayland.h"
#include "platform/display/wayland/protocols.h"

namespace win32::display::wayland {

namespace {

// The app id the desktop file is named by, so that desktops show its icon.
constexpr const char *kAppId = "morvalen";

// Each listener gets the window, which knows its back-end.
Window *WindowOfData(void *data) {
    return static_cast<Window *>(data);
}

WaylandBackend &BackendOf(void *data) {
    return *WindowOfData(data)->backend;
}

const xdg_surface_listener kXdgSurface = [] {
    xdg_surface_listener l{};
    l.configure = [](void *data, xdg_surface *, uint32_t serial) {
        BackendOf(data).OnSurfaceConfigure(*WindowOfData(data), serial);
    };
    return l;
}();

const xdg_toplevel_listener kToplevel = [] {
    xdg_toplevel_listener l{};
    l.configure = [](void *data, xdg_toplevel *, int32_t width, int32_t height, wl_array *states) {
        bool activated = false, maximized = false, fullscreen = false, tiled = false, resizing = false;
        const uint32_t *state = static_cast<const uint32_t *>(states->data);
        for (size_t i = 0; i < states->size / sizeof(uint32_t); ++i) {
            switch (state[i]) {
                case XDG_TOPLEVEL_STATE_ACTIVATED:
                    activated = true;
                    break;
                case XDG_TOPLEVEL_STATE_MAXIMIZED:
                    maximized = true;
                    break;
                case XDG_TOPLEVEL_STATE_FULLSCREEN:
                    fullscreen = true;
                    break;
                case XDG_TOPLEVEL_STATE_RESIZING:
                    resizing = true;
                    break;
                case XDG_TOPLEVEL_STATE_TILED_LEFT:
                case XDG_TOPLEVEL_STATE_TILED_RIGHT:
                case XDG_TOPLEVEL_STATE_TILED_TOP:
                case XDG_TOPLEVEL_STATE_TILED_BOTTOM:
                    tiled = true;
                    break;
                default:
                    break;
            }
        }
        BackendOf(data).OnConfigure(*WindowOfData(data), width, height, activated, maximized, fullscreen,
                                    tiled, resizing);
    };
    l.close = [](void *data, xdg_toplevel *) { BackendOf(data).OnClose(*WindowOfData(data)); };
    l.configure_bounds = [](void *, xdg_toplevel *, int32_t, int32_t) {};
    l.wm_capabilities = [](void *, xdg_toplevel *, wl_array *) {};
    return l;
}();

const zxdg_toplevel_decoration_v1_listener kDecoration = [] {
    zxdg_toplevel_decoration_v1_listener l{};
    l.configure = [](void *data, zxdg_toplevel_decoration_v1 *, uint32_t mode) {
        BackendOf(data).OnDecorationMode(*WindowOfData(data),
                                         mode == ZXDG_TOPLEVEL_DECORATION_V1_MODE_SERVER_SIDE);
    };
    return l;
}();

const wl_surface_listener kSurface = [] {
    wl_surface_listener l{};
    l.enter = [](void *data, wl_surface *, wl_output *o) {
        BackendOf(data).OnSurfaceEnter(*WindowOfData(data), o);
    };
    l.leave = [](void *data, wl_surface *, wl_output *o) {
        BackendOf(data).OnSurfaceLeave(*WindowOfData(data), o);
    };
    return l;
}();

const wp_fractional_scale_v1_listener kFractionalScale = [] {
    wp_fractional_scale_v1_listener l{};
    l.preferred_scale = [](void *data, wp_fractional_scale_v1 *, uint32_t scale) {
        BackendOf(data).OnPreferredScale(*WindowOfData(data), scale);
    };
    return l;
}();

const wl_callback_listener kPositionApplied = [] {
    wl_callback_listener l{};
    l.done = [](void *data, wl_callback *callback, uint32_t) {
        Window &w = *WindowOfData(data);
        w.backend->OnPositionApplied(w, callback);
    };
    return l;
}();

}  // namespace

NativeId WaylandBackend::CreateTopLevel(const TopLevelParams &p) {
    auto owned = std::make_unique<Window>();
    Window &w = *owned;
    w.id = nextId_++;
    w.backend = this;
    w.client = p.client;
    w.title = p.title;
    w.decorated = p.decorated;
    w.scale = initialScale_;
    w.surface = wl_compositor_create_surface(compositor_);
    wl_surface_add_listener(w.surface, &kSurface, &w);
    if (viewporter_) w.viewport = wp_viewporter_get_viewport(viewporter_, w.surface);
    w.look.title = p.title;
    // A pop-up keeps its size: tiling compositors float such windows.
    w.fixedSize = p.popup;
    Window *owner = p.owner ? Find(p.owner) : nullptr;
    if (owner) w.owner = owner->id;
    if (owner && p.popup && PopupAsSubsurface(p.client, *owner)) {
        MakePopup(w, *owner);
        w.scale = owner->scale;  // a part of its owner's picture
    } else {
        MakeToplevel(w);
        if (Window *top = TopLevelOf(owner)) w.scale = top->scale;  // where its owner is, most likely
    }
    // Fractional scales need the viewport to map a buffer onto the surface.
    if (fractionalScales_ && w.viewport && !w.Popup()) {
        w.fractional = wp_fractional_scale_manager_v1_get_fractional_scale(fractionalScales_, w.surface);
        wp_fractional_scale_v1_add_listener(w.fractional, &kFractionalScale, &w);
    }
    windows_[w.id] = std::move(owned);
    return w.id;
}

// An xdg_toplevel: titled, named for the desktop file, a child of its
// owner's top-level, framed by the compositor where it offers that.
void WaylandBackend::MakeToplevel(Window &w) {
    w.xdgSurface = xdg_wm_base_get_xdg_surface(wmBase_, w.surface);
    xdg_surface_add_listener(w.xdgSurface, &kXdgSurface, &w);
    w.toplevel = xdg_surface_get_toplevel(w.xdgSurface);
    xdg_toplevel_add_listener(w.toplevel, &kToplevel, &w);
    xdg_toplevel_set_app_id(w.toplevel, kAppId);
    xdg_toplevel_set_title(w.toplevel, host_->Utf8FromWindows1252(w.title.c_str()).c_str());
    if (Window *top = TopLevelOf(Find(w.owner)); top && top != &w)
        xdg_toplevel_set_parent(w.toplevel, top->toplevel);
    if (decorations_) {
        w.decoration = zxdg_decoration_manager_v1_get_toplevel_decoration(decorations_, w.toplevel);
        zxdg_toplevel_decoration_v1_add_listener(w.decoration, &kDecoration, &w);
        zxdg_toplevel_decoration_v1_set_mode(w.decoration,
                                             w.decorated ? ZXDG_TOPLEVEL_DECORATION_V1_MODE_SERVER_SIDE
                                                         : ZXDG_TOPLEVEL_DECORATION_V1_MODE_CLIENT_SIDE);
    }
    // Until the compositor says otherwise, a compositor that can frame
    // windows will.
    w.framed = w.decorated && !decorations_;
    FixSize(w);
    if (w.modal) SetModal(w.id, true);
}

// The top-level's roles given up and taken anew: to the compositor a new
// window, which it maps on top with the focus.
void WaylandBackend::RemakeToplevel(Window &w) {
    Unmap(w);
#ifdef MORVALEN_HAVE_XDG_DIALOG
    if (w.dialog) xdg_dialog_v1_destroy(w.dialog);
    w.dialog = nullptr;
#endif
    if (w.decoration) zxdg_toplevel_decoration_v1_destroy(w.decoration);
    w.decoration = nullptr;
    xdg_toplevel_destroy(w.toplevel);
    xdg_surface_destroy(w.xdgSurface);
    MakeToplevel(w);
    MapToplevel(w);
    if (w.picture) Damage(w, RECT{0, 0, DeviceSize(w).cx, DeviceSize(w).cy});
}

void WaylandBackend::FixSize(Window &w) {
    if (!w.toplevel || !w.fixedSize) return;
    const int width = w.client.right - w.client.left, height = w.client.bottom - w.client.top;
    xdg_toplevel_set_min_size(w.toplevel, width, height);
    xdg_toplevel_set_max_size(w.toplevel, width, height);
}

// How an owned pop-up (the about box) is kept over its owner, by what the
// compositors do with each way:
//   - a subsurface of the owner is placed exactly where the program puts it
//     and stays above its owner; weston and mutter 43 show it, and give it
//     input, beyond the owner's edges too;
//   - a child top-level is placed by the compositor: KWin, and compositors
//     that take the modal hint (xdg_dialog_v1), centre it on its owner and
//     keep it above, with focus and moves of their own; weston 10 puts it
//     anywhere, mutter 43 cascades it;
//   - sway 1.7 draws a subsurface reaching past its owner's window
//     unreliably (its border over it, the owner's redraws too) and gives
//     it input only within the owner; it centres a child top-level on the
//     output and raises the owner over it at a click on the owner.
// So: a child top-level where the compositor centres it on its owner; a
// subsurface elsewhere, but on wlroots compositors only while it lies
// within its owner (else a child top-level, made anew to come back on top).
bool WaylandBackend::PopupAsSubsurface(const RECT &client, const Window &owner) const {
    if (kwin_ || dialogs_) return false;
    if (!wlroots_) return true;
    const POINT frame = owner.ClientOffset();
    const RECT outer{owner.client.left - frame.x, owner.client.top - frame.y, owner.client.right + frame.x,
                     owner.client.bottom + frame.x};
    return client.left >= outer.left && client.top >= outer.top && client.right <= outer.right &&
           client.bottom <= outer.bottom;
}

// A subsurface of its owner, above it, placed where the layer puts it; it
// draws and commits on its own.
void WaylandBackend::MakePopup(Window &w, Window &owner) {
    w.subsurface = wl_subcompositor_get_subsurface(subcompositor_, w.surface, owner.surface);
    wl_subsurface_set_desync(w.subsurface);
    wl_subsurface_place_above(w.subsurface, owner.surface);
    PlacePopup(w);
}

// The top-level a window belongs to: itself, or its owner's for a pop-up.
Window *WaylandBackend::TopLevelOf(Window *w) {
    for (int depth = 0; w && depth < 8; ++depth) {
        if (w->toplevel) return w;
        w = Find(w->owner);
    }
    return nullptr;
}

// A pop-up's place in its owner's surface: where the layer has it
// relative to the owner's client area, and the owner's frame.
void WaylandBackend::PlacePopup(Window &w) {
    Window *owner = Find(w.owner);
    if (!w.subsurface || !owner) return;
    POINT frame = owner->ClientOffset();
    POINT at{w.client.left - owner->client.left + frame.x, w.client.top - owner->client.top + frame.y};
    if (at.x == w.asked.x && at.y == w.asked.y) return;
    w.asked = at;
    wl_subsurface_set_position(w.subsurface, at.x, at.y);
    // Applied with the owner's next commit; the round trip after it says
    // when input comes at the new place.
    wl_surface_commit(owner->surface);
    wl_callback *sync = wl_display_sync(dpy_);
    wl_callback_add_listener(sync, &kPositionApplied, &w);
    w.positionSyncs.push_back({sync, at});
}

void WaylandBackend::OnPositionApplied(Window &w, wl_callback *sync) {
    auto it = std::find_if(w.positionSyncs.begin(), w.positionSyncs.end(),
                           [sync](const Window::PositionSync &p) { return p.callback == sync; });
    if (it == w.positionSyncs.end()) return;
    w.applied = it->at;
    w.positionSyncs.erase(it);
    wl_callback_destroy(sync);
}

void WaylandBackend::DestroyTopLevel(NativeId id) {
    Window *w = Find(id);
    if (!w) return;
    // Its pop-ups lose their place with it.
    for (auto &entry : windows_) {
        Window &o = *entry.second;
        if (o.owner != id || !o.subsurface) continue;
        wl_subsurface_destroy(o.subsurface);
        o.subsurface = nullptr;
        o.owner = 0;
        o.shown = false;
    }
    ForgetWindow(*w);
    if (w->Popup() && w->mapped) UncoverOwner(*w);
    if (w->frameCallback) wl_callback_destroy(w->frameCallback);
#ifdef MORVALEN_HAVE_XDG_DIALOG
    if (w->dialog) xdg_dialog_v1_destroy(w->dialog);
#endif
    if (w->decoration) zxdg_toplevel_decoration_v1_destroy(w->decoration);
    if (w->toplevel) xdg_toplevel_destroy(w->toplevel);
    if (w->xdgSurface) xdg_surface_destroy(w->xdgSurface);
    if (w->subsurface) wl_subsurface_destroy(w->subsurface);
    if (w->fractional) wp_fractional_scale_v1_destroy(w->fractional);
    if (w->viewport) wp_viewport_destroy(w->viewport);
    for (const Window::PositionSync &sync : w->positionSyncs) wl_callback_destroy(sync.callback);
    wl_surface_destroy(w->surface);
    DestroyBuffers(*w);
    windows_.erase(id);
    wl_display_flush(dpy_);
}

// What the seat and the queue still say about a window going away.
void WaylandBackend::ForgetWindow(Window &w) {
    if (pointerWindow_ == w.id) pointerWindow_ = 0;
    if (grabWindow_ == w.id) grabWindow_ = 0;
    if (keyboardWindow_ == w.id) {
        keyboardWindow_ = 0;
        StopRepeat();
    }
    std::erase_if(pending_, [&w](const Event &e) { return e.window == w.id; });
}

void WaylandBackend::MoveTopLevel(NativeId id, const RECT &client) {
    Window *w = Find(id);
    if (!w) return;
    const bool sized = client.right - client.left != w->client.right - w->client.left ||
                       client.bottom - client.top != w->client.bottom - w->client.top;
    w->client = client;
    if (w->Popup()) {
        PlacePopup(*w);
        return;
    }
    if (sized) FixSize(*w);
    // Pop-ups stay where the layer has them relative to their owner.
    for (auto &entry : windows_) {
        if (entry.second->owner == id && entry.second->Popup()) PlacePopup(*entry.second);
    }
    // Tiled, maximized or full-screen, the compositor's size holds: the
    // layer hears of it again.
    const bool constrained = w->tiled || w->maximized || w->fullscreen;
    if (sized && constrained && w->askedSize.cx > 0 && w->askedSize.cy > 0) {
        POINT o = w->ClientOffset();
        Event e = Make(Event::Configure, id);
        e.rect = {client.left, client.top, client.left + std::max<LONG>(1, w->askedSize.cx - 2 * o.x),
                  client.top + std::max<LONG>(1, w->askedSize.cy - o.y - o.x)};
        e.time = MonotonicMs();
        w->client = e.rect;
        Push(e);
    }
}

void WaylandBackend::ShowTopLevel(NativeId id, bool show) {
    Window *w = Find(id);
    if (!w || w->shown == show) return;
    w->shown = show;
    if (show) {
        if (w->Popup()) {
            PlacePopup(*w);
            TryCommit(*w);
        } else {
            MapToplevel(*w);
        }
        return;
    }
    Unmap(*w);
    if (keyboardWindow_ == id) StopRepeat();
    wl_display_flush(dpy_);
}

// Off the screen: a top-level starts over with a new first configure.
void WaylandBackend::Unmap(Window &w) {
    if (w.frameCallback) wl_callback_destroy(w.frameCallback);
    w.frameCallback = nullptr;
    w.prepared = nullptr;
    w.damage = {};
    w.configured = false;
    w.ackPending = false;
    if (w.Popup() && w.mapped) UncoverOwner(w);
    w.mapped = false;
    w.shownSize = {};
    wl_surface_attach(w.surface, nullptr, 0, 0);
    wl_surface_commit(w.surface);
}

// A pop-up leaves the screen: its owner draws again what it covered, as
// sway, for one, shows the last picture there until the owner's next
// commit says otherwise.
void WaylandBackend::UncoverOwner(Window &popup) {
    Window *owner = Find(popup.owner);
    if (!owner || popup.buffers.empty()) return;
    const Buffer &b = *popup.buffers.front();
    const POINT at{gdi::DeviceEdge(popup.applied.x, owner->scale),
                   gdi::DeviceEdge(popup.applied.y, owner->scale)};
    Damage(*owner, {at.x, at.y, at.x + b.width, at.y + b.height});
}

// The first commit, without a buffer: the compositor answers with the
// size and states to map the window with.
void WaylandBackend::MapToplevel(Window &w) {
    CommitShape(w);
    wl_surface_commit(w.surface);
    // Started for the user's click in another program: the first window
    // comes forward with the token that came with it.
    if (activation_ && !startToken_.empty()) {
        xdg_activation_v1_activate(activation_, startToken_.c_str(), w.surface);
        startToken_.clear();
    }
    wl_display_flush(dpy_);
}

void WaylandBackend::OnConfigure(Window &w, int width, int height, bool activated, bool maximized,
                                 bool fullscreen, bool tiled, bool resizing) {
    // Maximized, full-screen or tiled the compositor gives the size; let
    // go, a window gets its own back (compositors leave that to it).
    const bool constrained = maximized || fullscreen || tiled;
    const bool wasConstrained = w.maximized || w.fullscreen || w.tiled;
    if (constrained && !wasConstrained) {
        w.ownSize = {w.client.right - w.client.left, w.client.bottom - w.client.top};
    } else if (!constrained && wasConstrained && (width <= 0 || height <= 0) && w.ownSize.cx > 0) {
        const POINT o = w.ClientOffset();
        width = w.ownSize.cx + 2 * o.x;
        height = w.ownSize.cy + o.y + o.x;
    }
    w.askedSize = {width, height};
    w.activated = activated;
    w.maximized = maximized;
    w.fullscreen = fullscreen;
    w.tiled = tiled;
    w.resizing = resizing;
}

void WaylandBackend::OnDecorationMode(Window &w, bool serverSide) {
    const bool framed = w.decorated && !serverSide;
    if (framed == w.framed) return;
    w.framed = framed;
    // Another picture size: every buffer is of the old one.
    for (auto &b : w.buffers) b->doomed = true;
    w.prepared = nullptr;
}

void WaylandBackend::OnSurfaceConfigure(Window &w, uint32_t serial) {
    w.ackSerial = serial;
    w.ackPending = true;
    const bool first = !w.configured;
    w.configured = true;
    bool sized = false;
    if (w.askedSize.cx > 0 && w.askedSize.cy > 0) {
        POINT o = w.ClientOffset();
        const LONG cw = std::max<LONG>(1, w.askedSize.cx - 2 * o.x);
        const LONG ch = std::max<LONG>(1, w.askedSize.cy - o.y - o.x);
        if (cw != w.client.right - w.client.left || ch != w.client.bottom - w.client.top) {
            w.client.right = w.client.left + cw;
            w.client.bottom = w.client.top + ch;
            Event e = Make(Event::Configure, w.id);
            e.rect = w.client;
            e.time = MonotonicMs();
            Push(e);
            sized = true;
        }
    }
    const bool look = w.look.active != w.activated || w.look.maximized != w.maximized;
    w.look.active = w.activated;
    w.look.maximized = w.maximized;
    if (w.framed && (look || first || sized)) RepaintFrame(w);
    // The layer draws the new size; anything else is answered now.
    if (!sized) TryCommit(w);
    if (w.ackPending && !sized && !w.prepared && w.mapped) {
        xdg_surface_ack_configure(w.xdgSurface, w.ackSerial);
        w.ackPending = false;
        wl_surface_commit(w.surface);
    }
}

void WaylandBackend::OnSurfaceEnter(Window &w, wl_output *o) {
    if (std::find(w.outputs.begin(), w.outputs.end(), o) == w.outputs.end()) w.outputs.push_back(o);
    UpdateScale(w);
}

void WaylandBackend::OnSurfaceLeave(Window &w, wl_output *o) {
    std::erase(w.outputs, o);
    UpdateScale(w);
}

void WaylandBackend::OnPreferredScale(Window &w, uint32_t scale) {
    w.preferredScale = static_cast<int>(std::min<uint32_t>(scale, gdi::kScaleMax));
    UpdateScale(w);
}

int WaylandBackend::WindowScale(NativeId id) {
    const Window *w = Find(id);
    return w ? w->scale : initialScale_;
}

// Window coordinates, as no client learns where its windows are: the
// client area's place in the window's surface, in device pixels.
POINT WaylandBackend::ClientToDevice(NativeId id, POINT client) {
    const Window *w = Find(id);
    if (!w) return Backend::ClientToDevice(id, client);
    const POINT o = w->DeviceClientOffset();
    return {o.x + gdi::DeviceEdge(client.x, w->scale), o.y + gdi::DeviceEdge(client.y, w->scale)};
}

// The scale a window is drawn at: the compositor's preferred one where it
// tells it, else the largest whole scale of the outputs the window is on
// (kept while it is on none); a pop-up drawn into its owner's surface has
// its owner's. A change is the layer's to draw: the window's buffers and
// the shape's device pixels are of the old scale.
void WaylandBackend::UpdateScale(Window &w) {
    int n = w.scale;
    if (Window *owner = w.Popup() ? Find(w.owner) : nullptr) {
        n = owner->scale;
    } else if (w.preferredScale > 0) {
        n = w.preferredScale;
    } else if (!w.outputs.empty()) {
        int most = 1;
        for (wl_output *o : w.outputs) {
            if (const Output *out = FindOutput(o)) most = std::max(most, out->scale);
        }
        n = most * gdi::kScaleOne;
    }
    n = std::clamp(n, gdi::kScaleOne, gdi::kScaleMax);
    if (!w.viewport) n = n / gdi::kScaleOne * gdi::kScaleOne;  // whole scales only
    if (n == w.scale) return;
    w.scale = n;
    if (w.shape) w.alpha = host_->DeviceRects(*w.shape, n);
    for (auto &b : w.buffers) b->doomed = true;
    w.prepared = nullptr;
    w.damage = {};
    Push(Make(Event::ScaleChanged, w.id));
    for (auto &entry : windows_) {
        if (entry.second->owner == w.id && entry.second->Popup()) UpdateScale(*entry.second);
    }
}

void WaylandBackend::SetTitle(NativeId id, const char *title) {
    Window *w = Find(id);
    if (!w) return;
    w->title = title ? title : "";
    if (!w->toplevel) return;
    xdg_toplevel_set_title(w->toplevel, host_->Utf8FromWindows1252(w->title.c_str()).c_str());
    if (w->framed && w->look.title != w->title) {
        w->look.title = w->title;
        RepaintFrame(*w);
    }
    wl_display_flush(dpy_);
}

// A top-level owned by a disabled window is modal where the compositor
// takes the hint; a pop-up is kept over its owner anyway.
void WaylandBackend::SetModal(NativeId id, bool modal) {
    Window *w = Find(id);
    if (!w) return;
    w->modal = modal;
    if (!w->toplevel || !dialogs_) return;
#ifdef MORVALEN_HAVE_XDG_DIALOG
    if (!w->dialog) w->dialog = xdg_wm_dialog_v1_get_xdg_dialog(dialogs_, w->toplevel);
    if (modal) {
        xdg_dialog_v1_set_modal(w->dialog);
    } else {
        xdg_dialog_v1_unset_modal(w->dialog);
    }
#else
    (void)modal;
#endif
}

// A shaped window: an ARGB picture clear outside the shape, and input only
// inside it.
void WaylandBackend::SetShape(NativeId id, const gdi::Region *shape) {
    Window *w = Find(id);
    if (!w) return;
    if (shape) {
        w->shape = *shape;
        w->alpha = host_->DeviceRects(*shape, w->scale);
    } else {
        w->shape.reset();
        w->alpha.clear();
    }
    for (auto &b : w->buffers) b->doomed = true;
    w->prepared = nullptr;
    CommitShape(*w);
    if (w->picture) Damage(*w, RECT{0, 0, DeviceSize(*w).cx, DeviceSize(*w).cy});
}

// The input region of the shape, for the next commit.
void WaylandBackend::CommitShape(Window &w) {
    if (!w.shape) {
        wl_surface_set_input_region(w.surface, nullptr);
        return;
    }
    wl_region *region = wl_compositor_create_region(compositor_);
    POINT o = w.ClientOffset();
    for (const RECT &r : w.shape->Rects())
        wl_region_add(region, r.left + o.x, r.top + o.y, r.right - r.left, r.bottom - r.top);
    wl_surface_set_input_region(w.surface, region);
    wl_region_destroy(region);
}

bool WaylandBackend::BeginMoveDrag(NativeId id, int, int) {
    Window *w = Find(id);
    if (!w || !w->toplevel || !seat_ || !pressSerial_) return false;
    xdg_toplevel_move(w->toplevel, seat_, pressSerial_);
    // The compositor has the pointer until the move ends.
    buttonsDown_ = 0;
    grabWindow_ = 0;
    wl_display_flush(dpy_);
    return true;
}

// Brings a top-level forward with the input focus: with a token for the
// user's latest input where the compositor hands them out.
void WaylandBackend::ActivateTopLevel(NativeId id) {
    Window *w = TopLevelOf(Find(id));
    if (!w || w->id == keyboardWindow_) return;
    if (wlroots_ && w->fixedSize && w->owner && w->mapped) {
        RemakeToplevel(*w);
    } else if (activation_) {
        std::string token = ActivationToken();
        if (!token.empty()) xdg_activation_v1_activate(activation_, token.c_str(), w->surface);
    }
    wl_display_flush(dpy_);
}

namespace {

const xdg_activation_token_v1_listener kToken = [] {
    xdg_activation_token_v1_listener l{};
    l.done = [](void *data, xdg_activation_token_v1 *, const char *token) {
        *static_cast<std::string *>(data) = token ? token : "";
    };
    return l;
}();

}  // namespace

// A token for the user's latest key or button in the focused window,
// asked for with a round trip; empty where the compositor gives none.
std::string WaylandBackend::ActivationToken() {
    Window *focused = Find(keyboardWindow_);
    if (!activation_ || !seat_ || fatal_) return "";
    std::string token;
    xdg_activation_token_v1 *request = xdg_activation_v1_get_activation_token(activation_);
    xdg_activation_token_v1_add_listener(request, &kToken, &token);
    if (lastInputSerial_) xdg_activation_token_v1_set_serial(request, lastInputSerial_, seat_);
    if (focused) xdg_activation_token_v1_set_surface(request, focused->surface);
    xdg_activation_token_v1_commit(request);
    constexpr int kTokenDeadlineMs = 1000;
    const DWORD end = MonotonicMs() + kTokenDeadlineMs;
    while (token.empty()) {
        int left = static_cast<int>(end - MonotonicMs());
        bool timedOut = false;
        if (left <= 0 || !ReadAndDispatch(left, &timedOut) || timedOut) break;
    }
    xdg_activation_token_v1_destroy(request);
    return token;
}

}  // namespace win32::display::wayland
