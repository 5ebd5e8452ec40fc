// Presenting: the layer's picture of a window (and the frame the back-end
// draws around it) copied into wl_shm buffers. A buffer is drawn into
// only while the compositor does not hold it; a commit waits for the frame
// callback of the one before, so a window is never drawn faster than its
// output shows it.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/display/wayland/backend_wayland.h"
#include "platform/display/wayland/protocols.h"

namespace win32::display::wayland {

namespace {

// Buffers of the right size kept for reuse besides those the compositor holds.
constexpr size_t kSpareBuffers = 2;

bool IsEmpty(const RECT &r) {
    return r.left >= r.right || r.top >= r.bottom;
}

RECT Union(const RECT &a, const RECT &b) {
    if (IsEmpty(a)) return b;
    if (IsEmpty(b)) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

RECT Intersect(const RECT &a, const RECT &b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    return IsEmpty(r) ? RECT{} : r;
}

const wl_buffer_listener kBuffer = [] {
    wl_buffer_listener l{};
    l.release = [](void *data, wl_buffer *buffer) {
        static_cast<WaylandBackend *>(data)->OnBufferRelease(buffer);
    };
    return l;
}();

const wl_callback_listener kFrame = [] {
    wl_callback_listener l{};
    l.done = [](void *data, wl_callback *, uint32_t) {
        Window &w = *static_cast<Window *>(data);
        w.backend->OnFrameDone(w);
    };
    return l;
}();

void FreeBufferMemory(Buffer &b) {
    if (b.buffer) wl_buffer_destroy(b.buffer);
    if (b.pixels) munmap(b.pixels, b.bytes);
    b.buffer = nullptr;
    b.pixels = nullptr;
}

}  // namespace

SIZE Window::LogicalSize() const {
    const SIZE client =
        picture ? SIZE{picture->LogicalWidth(), picture->LogicalHeight()}
                : SIZE{this->client.right - this->client.left, this->client.bottom - this->client.top};
    const POINT o = ClientOffset();
    return {client.cx + 2 * o.x, client.cy + o.y + o.x};
}

// The device size of a window's surface: the client area and the frame
// around it, whose logical edges fall on device edges by the one rule.
SIZE WaylandBackend::DeviceSize(const Window &w) const {
    const SIZE size = w.LogicalSize();
    return {gdi::DeviceEdge(size.cx, w.scale), gdi::DeviceEdge(size.cy, w.scale)};
}

// Where the client area lies in a buffer of the window: from the device
// edge of the frame's inner edge to that of the client area's far edge
// (which may be a device pixel more or less than the picture).
RECT WaylandBackend::ClientHole(const Window &w) const {
    const POINT o = w.ClientOffset();
    const SIZE size = w.LogicalSize();
    return {gdi::DeviceEdge(o.x, w.scale), gdi::DeviceEdge(o.y, w.scale),
            gdi::DeviceEdge(size.cx - o.x, w.scale), gdi::DeviceEdge(size.cy - o.x, w.scale)};
}

// The layer's picture is there to copy: drawn at the window's scale.
bool WaylandBackend::PictureReady(const Window &w) const {
    const gdi::Surface *p = w.picture;
    return p && p->scale == w.scale && p->width > 0 && p->height > 0 &&
           p->pixels.size() >= static_cast<size_t>(p->width) * static_cast<size_t>(p->height);
}

void WaylandBackend::Present(NativeId id, const gdi::Surface &surface, const RECT &dirty) {
    Window *w = Find(id);
    if (!w || surface.width <= 0 || surface.height <= 0 || fatal_) return;
    if (surface.pixels.size() < static_cast<size_t>(surface.width) * static_cast<size_t>(surface.height))
        return;
    // The picture is the layer's, resized in place: its geometry at the
    // last Present says whether the frame around it is still right.
    const Window::PictureGeometry geometry{surface.width, surface.height, surface.scale};
    const bool resized = w->picture != &surface || !(w->presented == geometry);
    w->picture = &surface;
    w->presented = geometry;
    if (!PictureReady(*w)) return;  // of a scale the window has left: a new one follows
    if (resized && w->framed) RepaintFrame(*w);
    const int n = surface.scale;
    RECT r = Intersect({gdi::DeviceEdge(dirty.left, n), gdi::DeviceEdge(dirty.top, n),
                        gdi::DeviceEdge(dirty.right, n), gdi::DeviceEdge(dirty.bottom, n)},
                       {0, 0, surface.width, surface.height});
    if (IsEmpty(r)) return;
    const RECT hole = ClientHole(*w);
    r = {r.left + hole.left, r.top + hole.top, r.right + hole.left, r.bottom + hole.top};
    // The hole's last device column or row, where it is wider than the
    // picture, repeats the picture's.
    if (r.right == hole.left + surface.width) r.right = std::max(r.right, hole.right);
    if (r.bottom == hole.top + surface.height) r.bottom = std::max(r.bottom, hole.bottom);
    Damage(*w, r);
}

// `r` (device pixels of the surface) shows something new: drawn into the
// buffer to be committed next, which is committed when it may be.
void WaylandBackend::Damage(Window &w, RECT r) {
    if (!PictureReady(w)) return;
    const SIZE size = DeviceSize(w);
    r = Intersect(r, {0, 0, size.cx, size.cy});
    if (IsEmpty(r)) return;
    if (w.prepared && (w.prepared->width != size.cx || w.prepared->height != size.cy)) {
        w.prepared->doomed = true;  // drawn at the old size: never to be shown
        w.prepared = nullptr;
    }
    if (!w.prepared) {
        w.prepared = FreeBuffer(w, size.cx, size.cy);
        if (!w.prepared) return;
        Update(w, *w.prepared, w.prepared->stale);
        // A new size is new everywhere.
        if (size.cx != w.shownSize.cx || size.cy != w.shownSize.cy) w.damage = {0, 0, size.cx, size.cy};
    }
    Update(w, *w.prepared, r);
    w.damage = Union(w.damage, r);
    for (auto &b : w.buffers) {
        if (b.get() != w.prepared) b->stale = Union(b->stale, r);
    }
    w.prepared->stale = {};
    TryCommit(w);
}

// A buffer of the size the compositor does not hold: a spare one, or a new
// one whose every pixel is to be drawn. Null when no memory is left.
Buffer *WaylandBackend::FreeBuffer(Window &w, int width, int height) {
    const bool argb = w.shape.has_value();
    std::erase_if(w.buffers, [&](std::unique_ptr<Buffer> &b) {
        bool old =
            b->doomed || b->width != width || b->height != height || b->argb != argb || b->scale != w.scale;
        if (old && !b->busy) FreeBufferMemory(*b);
        if (old) b->doomed = true;
        return old && !b->busy;
    });
    for (auto &b : w.buffers) {
        if (!b->busy && !b->doomed) return b.get();
    }
    const size_t stride = static_cast<size_t>(width) * 4;
    const size_t bytes = stride * static_cast<size_t>(height);
    int fd = memfd_create("morvalen-surface", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) return nullptr;
    void *pixels = MAP_FAILED;
    if (ftruncate(fd, static_cast<off_t>(bytes)) == 0)
        pixels = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    // The compositor may rely on the size: it cannot shrink under it.
    fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_SEAL);
    wl_shm_pool *pool = wl_shm_create_pool(shm_, fd, static_cast<int32_t>(bytes));
    auto b = std::make_unique<Buffer>();
    b->buffer = wl_shm_pool_create_buffer(pool, 0, width, height, static_cast<int32_t>(stride),
                                          argb ? WL_SHM_FORMAT_ARGB8888 : WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_buffer_add_listener(b->buffer, &kBuffer, this);
    b->pixels = static_cast<uint32_t *>(pixels);
    b->bytes = bytes;
    b->width = width;
    b->height = height;
    b->argb = argb;
    b->scale = w.scale;
    b->logical = w.LogicalSize();
    b->stale = {0, 0, width, height};
    w.buffers.push_back(std::move(b));
    return w.buffers.back().get();
}

// Draws `r` of the window into `b`: the client area from the layer's
// picture, the rest from the frame's.
void WaylandBackend::Update(Window &w, Buffer &b, RECT r) {
    r = Intersect(r, {0, 0, b.width, b.height});
    if (IsEmpty(r)) return;
    const RECT client = ClientHole(w);
    if (w.framed && w.framePicture.width == b.width && w.framePicture.height == b.height) {
        for (int y = r.top; y < r.bottom; ++y) {
            const uint32_t *src = w.framePicture.Row(y);
            uint32_t *dst = b.pixels + static_cast<size_t>(y) * static_cast<size_t>(b.width);
            const bool beside = y >= client.top && y < client.bottom;
            for (int x = r.left; x < r.right; ++x) {
                if (beside && x >= client.left && x < client.right) {
                    x = client.right - 1;
                    continue;
                }
                dst[x] = 0xFF000000u | src[x];
            }
        }
    }
    CopyClient(w, b, Intersect(r, client));
}

// The client area's part `r` (buffer pixels) from the layer's picture;
// into an ARGB buffer opaque inside the shape and clear outside it. The
// unused byte of an XRGB pixel is set too: weston's software renderer
// reads it as alpha. Where the hole is a device pixel wider or taller than
// the picture, the picture's last column or row fills it.
void WaylandBackend::CopyClient(Window &w, Buffer &b, RECT r) {
    if (IsEmpty(r)) return;
    const RECT hole = ClientHole(w);
    const gdi::Surface &pic = *w.picture;
    auto row = [&](int y) { return b.pixels + static_cast<size_t>(y) * static_cast<size_t>(b.width); };
    auto copy = [&](const RECT &in) {
        for (int y = in.top; y < in.bottom; ++y) {
            const uint32_t *src = pic.Row(std::min(y - hole.top, pic.height - 1));
            uint32_t *dst = row(y);
            for (int x = in.left; x < in.right; ++x)
                dst[x] = 0xFF000000u | src[std::min(x - hole.left, pic.width - 1)];
        }
    };
    if (!b.argb) {
        copy(r);
        return;
    }
    for (int y = r.top; y < r.bottom; ++y) std::fill(row(y) + r.left, row(y) + r.right, 0u);
    for (const RECT &a : w.alpha)
        copy(Intersect(r, {a.left + hole.left, a.top + hole.top, a.right + hole.left, a.bottom + hole.top}));
}

// Commits the prepared buffer once the compositor may show it: a
// top-level after its first configure, and never before the frame
// callback of the commit before.
void WaylandBackend::TryCommit(Window &w) {
    if (!w.prepared || !w.shown || w.frameCallback || fatal_) return;
    if (w.toplevel && !w.configured) return;
    if (w.Popup()) {
        Window *owner = Find(w.owner);
        if (!owner || !owner->mapped) return;
    }
    Buffer &b = *w.prepared;
    if (w.toplevel) {
        // A configure is answered by the commit that has its size: some
        // compositors (weston, maximizing) end a client that acks a size it
        // does not draw.
        const SIZE size = b.logical;
        // The first buffer needs an acked configure, whatever its size.
        const bool fits = !w.mapped || w.askedSize.cx <= 0 || w.askedSize.cy <= 0 ||
                          (w.askedSize.cx == size.cx && w.askedSize.cy == size.cy);
        if (w.ackPending && fits) {
            xdg_surface_ack_configure(w.xdgSurface, w.ackSerial);
            w.ackPending = false;
        }
        xdg_surface_set_window_geometry(w.xdgSurface, 0, 0, size.cx, size.cy);
    }
    CommitShape(w);
    // A whole scale is the buffer's; any other the viewport's, which shows
    // the buffer at the surface's logical size.
    const bool whole = b.scale % gdi::kScaleOne == 0;
    wl_surface_set_buffer_scale(w.surface, whole ? b.scale / gdi::kScaleOne : 1);
    if (w.viewport) {
        if (whole) {
            wp_viewport_set_destination(w.viewport, -1, -1);
        } else {
            wp_viewport_set_destination(w.viewport, b.logical.cx, b.logical.cy);
        }
    }
    wl_surface_attach(w.surface, b.buffer, 0, 0);
    wl_surface_damage_buffer(w.surface, w.damage.left, w.damage.top, w.damage.right - w.damage.left,
                             w.damage.bottom - w.damage.top);
    w.frameCallback = wl_surface_frame(w.surface);
    wl_callback_add_listener(w.frameCallback, &kFrame, &w);
    wl_surface_commit(w.surface);
    b.busy = true;
    w.prepared = nullptr;
    w.damage = {};
    w.shownSize = {b.width, b.height};
    const bool first = !w.mapped;
    w.mapped = true;
    // A pop-up shows with its owner's next commit too: weston 10 may leave
    // a new subsurface off the screen until its parent commits after it.
    if (first && w.Popup()) {
        if (Window *owner = Find(w.owner)) wl_surface_commit(owner->surface);
    }
    // Pop-ups drawn before their owner was on the screen follow it now.
    if (first) {
        for (auto &entry : windows_) {
            if (entry.second->owner == w.id) TryCommit(*entry.second);
        }
    }
}

void WaylandBackend::OnFrameDone(Window &w) {
    if (w.frameCallback) wl_callback_destroy(w.frameCallback);
    w.frameCallback = nullptr;
    TryCommit(w);
}

void WaylandBackend::OnBufferRelease(wl_buffer *released) {
    for (auto &entry : windows_) {
        Window &w = *entry.second;
        size_t spare = 0;
        for (auto &b : w.buffers) {
            if (b->buffer != released) continue;
            b->busy = false;
        }
        std::erase_if(w.buffers, [&](std::unique_ptr<Buffer> &b) {
            if (b->busy || b.get() == w.prepared) return false;
            bool drop = b->doomed || ++spare > kSpareBuffers;
            if (drop) FreeBufferMemory(*b);
            return drop;
        });
    }
}

void WaylandBackend::DestroyBuffers(Window &w) {
    for (auto &b : w.buffers) FreeBufferMemory(*b);
    w.buffers.clear();
    w.prepared = nullptr;
}

// The client-side frame drawn again (its size, title or state changed),
// and shown with the next commit.
void WaylandBackend::RepaintFrame(Window &w) {
    if (!w.framed) return;
    const SIZE size = DeviceSize(w);
    gdi::Surface &f = w.framePicture;
    if (f.width != size.cx || f.height != size.cy || f.scale != w.scale) {
        f.width = size.cx;
        f.height = size.cy;
        f.scale = w.scale;
        f.pixels.assign(static_cast<size_t>(size.cx) * static_cast<size_t>(size.cy), 0);
    }
    w.look.pressed = w.pressed;
    host_->PaintFrame(f, w.look);
    Damage(w, {0, 0, size.cx, size.cy});
}

}  // namespace win32::display::wayland
