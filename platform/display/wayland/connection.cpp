// The Wayland back-end's connection: the plugin's entry, connecting (with
// a deadline), the globals and outputs, waiting for events and being
// woken, and a connection that breaks.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/display/wayland/backend_wayland.h"
#include "platform/display/wayland/protocols.h"

namespace win32::display::wayland {

namespace {

// How long the compositor may take to answer at the start.
constexpr int kStartDeadlineMs = 5000;

template <class T>
T *Bind(wl_registry *registry, uint32_t name, const wl_interface *interface, uint32_t offered,
        uint32_t most) {
    uint32_t version = std::min({offered, most, static_cast<uint32_t>(interface->version)});
    return static_cast<T *>(wl_registry_bind(registry, name, interface, version));
}

WaylandBackend *Self(void *data) {
    return static_cast<WaylandBackend *>(data);
}

const wl_registry_listener kRegistry = [] {
    wl_registry_listener l{};
    l.global = [](void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t version) {
        Self(data)->OnGlobal(registry, name, interface, version);
    };
    l.global_remove = [](void *data, wl_registry *, uint32_t name) { Self(data)->OnGlobalRemove(name); };
    return l;
}();

const xdg_wm_base_listener kWmBase = [] {
    xdg_wm_base_listener l{};
    l.ping = [](void *, xdg_wm_base *base, uint32_t serial) { xdg_wm_base_pong(base, serial); };
    return l;
}();

Output *OutputOf(void *data) {
    return static_cast<Output *>(data);
}

const wl_output_listener kOutput = [] {
    wl_output_listener l{};
    l.geometry = [](void *, wl_output *, int32_t, int32_t, int32_t, int32_t, int32_t, const char *,
                    const char *, int32_t) {};
    l.mode = [](void *data, wl_output *, uint32_t flags, int32_t width, int32_t height, int32_t) {
        if (flags & WL_OUTPUT_MODE_CURRENT) OutputOf(data)->mode = {width, height};
    };
    l.done = [](void *data, wl_output *) {
        Output &o = *OutputOf(data);
        o.backend->OnOutputDone(o);
    };
    l.scale = [](void *data, wl_output *, int32_t factor) {
        OutputOf(data)->scale = std::clamp(factor, 1, gdi::kScaleMax / gdi::kScaleOne);
    };
    l.name = [](void *, wl_output *, const char *) {};
    l.description = [](void *, wl_output *, const char *) {};
    return l;
}();

const zxdg_output_v1_listener kXdgOutput = [] {
    zxdg_output_v1_listener l{};
    l.logical_position = [](void *, zxdg_output_v1 *, int32_t, int32_t) {};
    l.logical_size = [](void *data, zxdg_output_v1 *, int32_t width, int32_t height) {
        OutputOf(data)->logical = {width, height};
    };
    l.done = [](void *, zxdg_output_v1 *) {};
    l.name = [](void *, zxdg_output_v1 *, const char *) {};
    l.description = [](void *, zxdg_output_v1 *, const char *) {};
    return l;
}();

const wl_seat_listener kSeat = [] {
    wl_seat_listener l{};
    l.capabilities = [](void *data, wl_seat *, uint32_t caps) { Self(data)->OnSeatCapabilities(caps); };
    l.name = [](void *, wl_seat *, const char *) {};
    return l;
}();

// What libwayland has to say: kept while connecting, to go into the one
// line that says why the connection failed; afterwards on stderr.
std::string *g_connectLog = nullptr;

void OnLibraryLog(const char *format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == ' ' || line.back() == '.'))
        line.pop_back();
    if (line.rfind("error: ", 0) == 0) line.erase(0, 7);
    if (g_connectLog) {
        *g_connectLog = line;
        return;
    }
    std::fprintf(stderr, "morvalen: %s\n", line.c_str());
}

const wl_callback_listener kSyncDone = [] {
    wl_callback_listener l{};
    l.done = [](void *data, wl_callback *, uint32_t) { *static_cast<bool *>(data) = true; };
    return l;
}();

}  // namespace

DWORD MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<DWORD>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                              static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

WaylandBackend::WaylandBackend(PluginHost *host, wl_display *dpy) : host_(host), dpy_(dpy) {}

WaylandBackend::~WaylandBackend() {
    while (!windows_.empty()) DestroyTopLevel(windows_.rbegin()->first);
    ReleaseSeat();
    for (auto &o : outputs_) {
        if (o->xdgOutput) zxdg_output_v1_destroy(o->xdgOutput);
        wl_output_release(o->output);
    }
#ifdef MORVALEN_HAVE_XDG_DIALOG
    if (dialogs_) xdg_wm_dialog_v1_destroy(dialogs_);
#endif
#ifdef MORVALEN_HAVE_CURSOR_SHAPE
    if (cursorShapes_) wp_cursor_shape_manager_v1_destroy(cursorShapes_);
#endif
    if (fractionalScales_) wp_fractional_scale_manager_v1_destroy(fractionalScales_);
    if (viewporter_) wp_viewporter_destroy(viewporter_);
    if (activation_) xdg_activation_v1_destroy(activation_);
    if (outputManager_) zxdg_output_manager_v1_destroy(outputManager_);
    if (decorations_) zxdg_decoration_manager_v1_destroy(decorations_);
    if (wmBase_) xdg_wm_base_destroy(wmBase_);
    if (shm_) wl_shm_destroy(shm_);
    if (subcompositor_) wl_subcompositor_destroy(subcompositor_);
    if (compositor_) wl_compositor_destroy(compositor_);
    if (registry_) wl_registry_destroy(registry_);
    wl_display_flush(dpy_);
    wl_display_disconnect(dpy_);
}

bool WaylandBackend::Start(std::string *why) {
    registry_ = wl_display_get_registry(dpy_);
    wl_registry_add_listener(registry_, &kRegistry, this);
    // The globals, then what the bound ones tell at once (outputs, seat).
    if (!Roundtrip(kStartDeadlineMs) || !Roundtrip(kStartDeadlineMs)) {
        *why = fatal_ ? "the connection broke" : "the compositor does not answer";
        return false;
    }
    std::string missing;
    if (!compositor_ || compositorVersion_ < 4) missing += " wl_compositor (version 4)";
    if (!subcompositor_) missing += " wl_subcompositor";
    if (!shm_) missing += " wl_shm";
    if (!wmBase_) missing += " xdg_wm_base";
    if (!missing.empty()) {
        *why = "the compositor lacks" + missing;
        return false;
    }
    RefreshScale();
    // Started for the user's click elsewhere: the token is this process's
    // to use, not its children's.
    if (const char *token = std::getenv("XDG_ACTIVATION_TOKEN")) {
        startToken_ = token;
        unsetenv("XDG_ACTIVATION_TOKEN");
    }
    unsetenv("DESKTOP_STARTUP_ID");
    return true;
}

void WaylandBackend::OnGlobal(wl_registry *registry, uint32_t name, const char *interface, uint32_t version) {
    auto is = [interface](const wl_interface &i) { return std::strcmp(interface, i.name) == 0; };
    if (std::strcmp(interface, "org_kde_kwin_shadow_manager") == 0) kwin_ = true;
    if (std::strcmp(interface, "zwlr_screencopy_manager_v1") == 0) wlroots_ = true;
    if (is(wl_compositor_interface)) {
        compositorVersion_ = std::min(version, 4u);
        compositor_ = Bind<wl_compositor>(registry, name, &wl_compositor_interface, version, 4);
    } else if (is(wl_subcompositor_interface)) {
        subcompositor_ = Bind<wl_subcompositor>(registry, name, &wl_subcompositor_interface, version, 1);
    } else if (is(wl_shm_interface)) {
        shm_ = Bind<wl_shm>(registry, name, &wl_shm_interface, version, 1);
    } else if (is(xdg_wm_base_interface)) {
        wmBase_ = Bind<xdg_wm_base>(registry, name, &xdg_wm_base_interface, version, 5);
        xdg_wm_base_add_listener(wmBase_, &kWmBase, this);
    } else if (is(zxdg_decoration_manager_v1_interface)) {
        decorations_ = Bind<zxdg_decoration_manager_v1>(registry, name, &zxdg_decoration_manager_v1_interface,
                                                        version, 1);
    } else if (is(zxdg_output_manager_v1_interface)) {
        outputManager_ =
            Bind<zxdg_output_manager_v1>(registry, name, &zxdg_output_manager_v1_interface, version, 3);
        for (auto &o : outputs_) {
            if (o->xdgOutput) continue;
            o->xdgOutput = zxdg_output_manager_v1_get_xdg_output(outputManager_, o->output);
            zxdg_output_v1_add_listener(o->xdgOutput, &kXdgOutput, o.get());
        }
    } else if (is(xdg_activation_v1_interface)) {
        activation_ = Bind<xdg_activation_v1>(registry, name, &xdg_activation_v1_interface, version, 1);
    } else if (is(wp_viewporter_interface)) {
        viewporter_ = Bind<wp_viewporter>(registry, name, &wp_viewporter_interface, version, 1);
    } else if (is(wp_fractional_scale_manager_v1_interface)) {
        fractionalScales_ = Bind<wp_fractional_scale_manager_v1>(
            registry, name, &wp_fractional_scale_manager_v1_interface, version, 1);
#ifdef MORVALEN_HAVE_CURSOR_SHAPE
    } else if (is(wp_cursor_shape_manager_v1_interface)) {
        cursorShapes_ = Bind<wp_cursor_shape_manager_v1>(registry, name,
                                                         &wp_cursor_shape_manager_v1_interface, version, 1);
#endif
#ifdef MORVALEN_HAVE_XDG_DIALOG
    } else if (is(xdg_wm_dialog_v1_interface)) {
        dialogs_ = Bind<xdg_wm_dialog_v1>(registry, name, &xdg_wm_dialog_v1_interface, version, 1);
#endif
    } else if (is(wl_seat_interface) && !seat_) {
        seatVersion_ = std::min(version, 8u);
        seat_ = Bind<wl_seat>(registry, name, &wl_seat_interface, version, 8);
        wl_seat_add_listener(seat_, &kSeat, this);
    } else if (is(wl_output_interface)) {
        auto o = std::make_unique<Output>();
        o->backend = this;
        o->name = name;
        o->output = Bind<wl_output>(registry, name, &wl_output_interface, version, 4);
        wl_output_add_listener(o->output, &kOutput, o.get());
        if (outputManager_) {
            o->xdgOutput = zxdg_output_manager_v1_get_xdg_output(outputManager_, o->output);
            zxdg_output_v1_add_listener(o->xdgOutput, &kXdgOutput, o.get());
        }
        outputs_.push_back(std::move(o));
    }
}

// An output unplugged: the windows on it forget it.
void WaylandBackend::OnGlobalRemove(uint32_t name) {
    auto it =
        std::find_if(outputs_.begin(), outputs_.end(), [name](const auto &o) { return o->name == name; });
    if (it == outputs_.end()) return;
    Output &o = **it;
    std::vector<Window *> on;
    for (auto &entry : windows_) {
        if (std::erase(entry.second->outputs, o.output)) on.push_back(entry.second.get());
    }
    if (o.xdgOutput) zxdg_output_v1_destroy(o.xdgOutput);
    wl_output_release(o.output);
    outputs_.erase(it);
    RefreshScale();
    for (Window *w : on) UpdateScale(*w);
}

// An output's properties told anew (its scale among them): the windows on
// it follow.
void WaylandBackend::OnOutputDone(Output &o) {
    RefreshScale();
    for (auto &entry : windows_) {
        Window &w = *entry.second;
        if (std::find(w.outputs.begin(), w.outputs.end(), o.output) != w.outputs.end()) UpdateScale(w);
    }
}

Output *WaylandBackend::FindOutput(wl_output *o) {
    for (auto &out : outputs_) {
        if (out->output == o) return out.get();
    }
    return nullptr;
}

// The scale a new window is drawn at until the compositor says where it
// is: the largest of the outputs' whole scales.
void WaylandBackend::RefreshScale() {
    int most = 1;
    for (auto &o : outputs_) most = std::max(most, o->scale);
    initialScale_ = most * gdi::kScaleOne;
}

// The first output's size in the layout's pixels.
SIZE WaylandBackend::ScreenSize() {
    for (auto &o : outputs_) {
        if (o->logical.cx > 0 && o->logical.cy > 0) return o->logical;
        if (o->mode.cx > 0 && o->mode.cy > 0) return {o->mode.cx / o->scale, o->mode.cy / o->scale};
    }
    return {1024, 768};
}

// No client learns where panels are: the whole screen.
RECT WaylandBackend::WorkArea() {
    SIZE s = ScreenSize();
    return {0, 0, s.cx, s.cy};
}

// One sync answered, dispatching everything before it; false when the
// connection breaks or the compositor does not answer within the time.
bool WaylandBackend::Roundtrip(int timeoutMs) {
    bool done = false;
    wl_callback *callback = wl_display_sync(dpy_);
    wl_callback_add_listener(callback, &kSyncDone, &done);
    const DWORD end = MonotonicMs() + static_cast<DWORD>(timeoutMs);
    while (!done) {
        int left = static_cast<int>(end - MonotonicMs());
        bool timedOut = false;
        if (left <= 0 || !ReadAndDispatch(left, &timedOut) || timedOut) break;
    }
    wl_callback_destroy(callback);
    return done;
}

// Waits up to timeoutMs (-1: for ever) for the compositor, reads what it
// sent and dispatches it; false when the connection broke.
bool WaylandBackend::ReadAndDispatch(int timeoutMs, bool *timedOut) {
    if (fatal_) return false;
    while (wl_display_prepare_read(dpy_) != 0) {
        if (wl_display_dispatch_pending(dpy_) < 0) return false;
    }
    short events = POLLIN;
    if (wl_display_flush(dpy_) < 0) {
        if (errno != EAGAIN) {
            wl_display_cancel_read(dpy_);
            return false;
        }
        events |= POLLOUT;
    }
    pollfd fd{wl_display_get_fd(dpy_), events, 0};
    int n = poll(&fd, 1, timeoutMs);
    if (n > 0 && (fd.revents & POLLIN)) {
        if (wl_display_read_events(dpy_) < 0) return false;
    } else {
        wl_display_cancel_read(dpy_);
        if (n > 0 && (fd.revents & (POLLERR | POLLHUP))) return false;
    }
    if (timedOut) *timedOut = n == 0;
    return wl_display_dispatch_pending(dpy_) >= 0;
}

bool WaylandBackend::NextEvent(Event *ev) {
    if (pending_.empty() && !fatal_ && !ReadAndDispatch(0)) NoteFatal();
    if (pending_.empty()) return false;
    *ev = pending_.front();
    pending_.pop_front();
    return true;
}

bool WaylandBackend::Wait(int timeoutMs) {
    display::WaitSource *source = host_->CurrentWaitSource();
    if (fatal_) return false;
    if (!pending_.empty()) {
        if (source) source->Dispatch();
        return true;
    }
    while (wl_display_prepare_read(dpy_) != 0) {
        if (wl_display_dispatch_pending(dpy_) < 0) {
            NoteFatal();
            return false;
        }
    }
    if (!pending_.empty()) {
        wl_display_cancel_read(dpy_);
        if (source) source->Dispatch();
        return true;
    }
    short events = POLLIN;
    if (wl_display_flush(dpy_) < 0) {
        if (errno != EAGAIN) {
            wl_display_cancel_read(dpy_);
            NoteFatal();
            return false;
        }
        events |= POLLOUT;
    }
    pollfd fds[3 + kWaitSourceFds] = {
        {wl_display_get_fd(dpy_), events, 0}, {wakePipe_.Descriptor(), POLLIN, 0}, {repeatFd_, POLLIN, 0}};
    const int n = PollWithSource(source, fds, 3, timeoutMs);
    if (n > 0 && (fds[0].revents & POLLIN)) {
        if (wl_display_read_events(dpy_) < 0) {
            NoteFatal();
            return false;
        }
    } else {
        wl_display_cancel_read(dpy_);
        if (n > 0 && (fds[0].revents & (POLLERR | POLLHUP))) {
            NoteFatal();
            return false;
        }
    }
    if (n > 0 && (fds[1].revents & POLLIN)) wakePipe_.Drain();
    if (n > 0 && (fds[2].revents & POLLIN)) OnRepeatTimer();
    if (wl_display_dispatch_pending(dpy_) < 0) {
        NoteFatal();
        return false;
    }
    if (source) source->Dispatch();
    return true;
}

void WaylandBackend::Wake() {
    wakePipe_.Wake();
}

// The connection is gone, or the compositor refused a request: nothing
// more can be drawn. A protocol error is a fault of ours, worth naming.
void WaylandBackend::NoteFatal() {
    if (fatal_) return;
    fatal_ = true;
    const wl_interface *interface = nullptr;
    uint32_t id = 0;
    uint32_t code = wl_display_get_protocol_error(dpy_, &interface, &id);
    if (wl_display_get_error(dpy_) == EPROTO && interface)
        std::fprintf(stderr, "morvalen: the compositor refused a request: %s@%u, error %u\n", interface->name,
                     id, code);
}

// Compositor time (milliseconds of its own clock) to our monotonic
// milliseconds: the offset is fixed at the first time seen, so intervals
// between events stay exact.
DWORD WaylandBackend::EventTime(uint32_t time) {
    if (!timeOffsetSet_) {
        timeOffset_ = MonotonicMs() - time;
        timeOffsetSet_ = true;
    }
    return time + timeOffset_;
}

}  // namespace win32::display::wayland

using namespace win32;

// The plugin's entry: connects to $WAYLAND_DISPLAY (or the socket handed
// over in $WAYLAND_SOCKET).
extern "C" [[gnu::visibility("default")]] display::Backend *MorvalenOpenBackend(display::PluginHost *host,
                                                                                std::string *why) {
    std::string log;
    display::wayland::g_connectLog = &log;
    wl_log_set_handler_client(display::wayland::OnLibraryLog);
    wl_display *dpy = wl_display_connect(nullptr);
    const int error = errno;
    display::wayland::g_connectLog = nullptr;
    if (!dpy) {
        *why = log.empty() ? std::strerror(error) : log;
        return nullptr;
    }
    auto backend = std::make_unique<display::wayland::WaylandBackend>(host, dpy);
    if (!backend->Start(why)) return nullptr;
    return backend.release();
}
