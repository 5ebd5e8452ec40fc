// The headless back-end.
#include "platform/display/headless/headless.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "platform/common/classic.h"

namespace win32::display {

HeadlessBackend::HeadlessBackend(int width, int height, int scale)
    : width_(width), height_(height), scale_(std::clamp(scale, gdi::kScaleOne, gdi::kScaleMax)) {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

HeadlessBackend::~HeadlessBackend() {
    if (wakeFd_ >= 0) close(wakeFd_);
}

RECT HeadlessBackend::Device(const Native &n) const {
    const int left = gdi::DeviceEdge(n.client.left, scale_), top = gdi::DeviceEdge(n.client.top, scale_);
    return RECT{left, top, left + gdi::DeviceEdge(std::max<int>(0, n.client.right - n.client.left), n.scale),
                top + gdi::DeviceEdge(std::max<int>(0, n.client.bottom - n.client.top), n.scale)};
}

void HeadlessBackend::SizePixels(Native &n) {
    const RECT d = Device(n);
    const int nw = d.right - d.left, nh = d.bottom - d.top;
    if (nw == n.pixels.width && nh == n.pixels.height && !n.pixels.pixels.empty()) return;
    gdi::Surface fresh;
    fresh.width = nw;
    fresh.height = nh;
    fresh.pixels.assign(static_cast<size_t>(nw) * static_cast<size_t>(nh), 0);
    for (int y = 0; y < std::min(nh, n.pixels.height); ++y)
        std::copy_n(n.pixels.Row(y), std::min(nw, n.pixels.width), fresh.Row(y));
    n.pixels = std::move(fresh);
}

NativeId HeadlessBackend::CreateTopLevel(const TopLevelParams &p) {
    NativeId id = next_++;
    Native &n = windows_[id];
    n.client = p.client;
    n.scale = scale_;
    n.title = p.title;
    n.owner = p.owner;
    SizePixels(n);
    return id;
}

void HeadlessBackend::DestroyTopLevel(NativeId w) {
    windows_.erase(w);
    stack_.erase(std::remove(stack_.begin(), stack_.end(), w), stack_.end());
    if (focused_ == w) focused_ = 0;
}

void HeadlessBackend::MoveTopLevel(NativeId w, const RECT &client) {
    auto it = windows_.find(w);
    if (it == windows_.end()) return;
    it->second.client = client;
    SizePixels(it->second);
}

int HeadlessBackend::WindowScale(NativeId w) {
    auto it = windows_.find(w);
    return it == windows_.end() ? scale_ : it->second.scale;
}

POINT HeadlessBackend::ClientToDevice(NativeId w, POINT client) {
    auto it = windows_.find(w);
    if (it == windows_.end()) return Backend::ClientToDevice(w, client);
    const RECT d = Device(it->second);
    return {d.left + gdi::DeviceEdge(client.x, it->second.scale),
            d.top + gdi::DeviceEdge(client.y, it->second.scale)};
}

void HeadlessBackend::SetWindowScale(NativeId w, int scale) {
    auto it = windows_.find(w);
    if (it == windows_.end()) return;
    Native &n = it->second;
    n.scale = std::clamp(scale, gdi::kScaleOne, gdi::kScaleMax);
    n.pixels = gdi::Surface();
    SizePixels(n);
    if (n.logicalShape) n.shape = n.logicalShape->Scaled(n.scale);
    Event e;
    e.type = Event::ScaleChanged;
    e.window = w;
    Inject(e);
}

void HeadlessBackend::Raise(NativeId w) {
    stack_.erase(std::remove(stack_.begin(), stack_.end(), w), stack_.end());
    stack_.insert(stack_.begin(), w);
    // Transient windows stay above their owner.
    std::vector<NativeId> owned;
    for (NativeId o : stack_)
        if (windows_[o].owner == w) owned.push_back(o);
    for (auto it = owned.rbegin(); it != owned.rend(); ++it) Raise(*it);
}

void HeadlessBackend::ShowTopLevel(NativeId w, bool show) {
    auto it = windows_.find(w);
    if (it == windows_.end()) return;
    it->second.shown = show;
    if (show) {
        it->second.modalWhenShown = it->second.modal;
        Raise(w);
    } else {
        stack_.erase(std::remove(stack_.begin(), stack_.end(), w), stack_.end());
        if (focused_ == w) focused_ = 0;
    }
}

void HeadlessBackend::SetTitle(NativeId w, const char *title) {
    auto it = windows_.find(w);
    if (it != windows_.end()) it->second.title = title ? title : "";
}

void HeadlessBackend::SetShape(NativeId w, const gdi::Region *shape) {
    auto it = windows_.find(w);
    if (it == windows_.end()) return;
    if (shape) {
        it->second.logicalShape = *shape;
        it->second.shape = shape->Scaled(it->second.scale);
    } else {
        it->second.logicalShape.reset();
        it->second.shape.reset();
    }
}

void HeadlessBackend::SetIcon(NativeId, int, int, const uint32_t *, const uint8_t *) {}

void HeadlessBackend::Present(NativeId w, const gdi::Surface &surface, const RECT &dirty) {
    auto it = windows_.find(w);
    if (it == windows_.end()) return;
    gdi::Surface &dst = it->second.pixels;
    const int n = surface.scale;
    const RECT d{gdi::DeviceEdge(dirty.left, n), gdi::DeviceEdge(dirty.top, n),
                 gdi::DeviceEdge(dirty.right, n), gdi::DeviceEdge(dirty.bottom, n)};
    int x0 = std::max<int>(0, d.left), y0 = std::max<int>(0, d.top);
    int x1 = std::min({static_cast<int>(d.right), dst.width, surface.width});
    int y1 = std::min({static_cast<int>(d.bottom), dst.height, surface.height});
    for (int y = y0; y < y1; ++y)
        std::copy(surface.Row(y) + x0, surface.Row(y) + std::max(x0, x1), dst.Row(y) + x0);
}

bool HeadlessBackend::BeginMoveDrag(NativeId, int, int) {
    return false;
}

void HeadlessBackend::SetInputFocus(NativeId w) {
    if (windows_.count(w)) {
        focused_ = w;
        if (windows_[w].shown) Raise(w);
    }
}

void HeadlessBackend::SetModal(NativeId w, bool modal) {
    if (auto it = windows_.find(w); it != windows_.end()) it->second.modal = modal;
}

void HeadlessBackend::ActivateTopLevel(NativeId w) {
    activated_.push_back(w);
    SetInputFocus(w);
}

bool HeadlessBackend::QueryClientRect(NativeId w, RECT *client) {
    auto it = windows_.find(w);
    if (it == windows_.end() || !it->second.movedSilently) return false;
    it->second.movedSilently = false;
    *client = it->second.client;
    return true;
}

void HeadlessBackend::Configure(NativeId w, const RECT &client) {
    auto it = windows_.find(w);
    if (it == windows_.end()) return;
    it->second.client = client;
    Event e;
    e.type = Event::Configure;
    e.window = w;
    e.rect = client;
    Inject(e);
}

void HeadlessBackend::MoveSilently(NativeId w, int dx, int dy) {
    auto it = windows_.find(w);
    if (it == windows_.end()) return;
    RECT &c = it->second.client;
    c = {c.left + dx, c.top + dy, c.right + dx, c.bottom + dy};
    it->second.movedSilently = true;
}

void HeadlessBackend::GiveFocus(NativeId w) {
    Event e;
    if (focused_) {
        e.type = Event::FocusOut;
        e.window = focused_;
        Inject(e);
    }
    e.type = Event::FocusIn;
    e.window = w;
    Inject(e);
    SetInputFocus(w);
}

bool HeadlessBackend::NextEvent(Event *ev) {
    if (events_.empty()) return false;
    *ev = events_.front();
    events_.pop_front();
    if (ev->type == Event::ButtonDown || ev->type == Event::ButtonUp || ev->type == Event::Motion ||
        ev->type == Event::Wheel) {
        // Injected at device screen pixels; the event tells the logical
        // pixel of the window's client area that holds the point, and the
        // screen's logical pixel for measuring moves.
        ev->rootX = gdi::LogicalPixel(ev->x, scale_);
        ev->rootY = gdi::LogicalPixel(ev->y, scale_);
        auto it = windows_.find(ev->window);
        if (it == windows_.end()) {
            ev->x = ev->rootX;
            ev->y = ev->rootY;
        } else {
            const RECT d = Device(it->second);
            ev->x = gdi::LogicalPixel(ev->x - d.left, it->second.scale);
            ev->y = gdi::LogicalPixel(ev->y - d.top, it->second.scale);
        }
    }
    return true;
}

bool HeadlessBackend::Wait(int timeoutMs) {
    if (!events_.empty() || woken_) {
        woken_ = false;
        return true;
    }
    if (fakeClock_ && timeoutMs >= 0) {
        now_ += static_cast<DWORD>(timeoutMs);
        return true;
    }
    if (timeoutMs < 0 && idle_) {
        idle_();
        return true;
    }
    pollfd p{wakeFd_, POLLIN, 0};
    poll(&p, 1, timeoutMs);
    uint64_t v;
    if (read(wakeFd_, &v, sizeof v) < 0) {
        // Nothing was signalled: the timeout passed.
    }
    return true;
}

void HeadlessBackend::Wake() {
    woken_ = true;
    uint64_t one = 1;
    if (write(wakeFd_, &one, sizeof one) < 0) {
        // The counter is saturated; Wait wakes anyway.
    }
}

SIZE HeadlessBackend::ScreenSize() {
    return SIZE{width_, height_};
}

RECT HeadlessBackend::WorkArea() {
    return RECT{0, 0, width_, height_};
}

DWORD HeadlessBackend::Now() {
    if (fakeClock_) return now_;
    using namespace std::chrono;
    return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void HeadlessBackend::Inject(const Event &ev) {
    events_.push_back(ev);
    if (events_.back().window == 0) {
        bool mouse = ev.type == Event::ButtonDown || ev.type == Event::ButtonUp || ev.type == Event::Motion ||
                     ev.type == Event::Wheel;
        events_.back().window = mouse ? WindowAt(ev.x, ev.y) : focused_;
    }
    if (events_.back().time == 0) events_.back().time = Now();
}

void HeadlessBackend::SetClock(DWORD now) {
    fakeClock_ = true;
    now_ = now;
}

void HeadlessBackend::AdvanceClock(DWORD ms) {
    if (!fakeClock_) SetClock(Now());
    now_ += ms;
}

NativeId HeadlessBackend::WindowAt(int x, int y) const {
    for (NativeId id : stack_) {
        const Native &n = windows_.at(id);
        if (!n.shown) continue;
        const RECT c = Device(n);
        if (x < c.left || y < c.top || x >= c.right || y >= c.bottom) continue;
        if (n.shape && !n.shape->Contains(x - c.left, y - c.top)) continue;
        return id;
    }
    return 0;
}

std::string HeadlessBackend::Title(NativeId w) const {
    auto it = windows_.find(w);
    return it == windows_.end() ? std::string() : it->second.title;
}

const gdi::Surface &HeadlessBackend::Screen() {
    const int width = gdi::DeviceEdge(width_, scale_), height = gdi::DeviceEdge(height_, scale_);
    screen_.width = width;
    screen_.height = height;
    uint32_t desktop = gdi::PixelFromColorref(win32::classic::kSysColors[COLOR_BACKGROUND]);
    screen_.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), desktop);
    for (auto it = stack_.rbegin(); it != stack_.rend(); ++it) {
        const Native &n = windows_.at(*it);
        if (!n.shown) continue;
        const RECT c = Device(n);
        for (int y = 0; y < n.pixels.height; ++y) {
            int sy = c.top + y;
            if (sy < 0 || sy >= height) continue;
            for (int x = 0; x < n.pixels.width; ++x) {
                int sx = c.left + x;
                if (sx < 0 || sx >= width) continue;
                if (n.shape && !n.shape->Contains(x, y)) continue;
                screen_.Row(sy)[sx] = n.pixels.Row(y)[x];
            }
        }
    }
    return screen_;
}

}  // namespace win32::display
