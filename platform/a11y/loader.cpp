// Loading the provider and passing the layer's changes on to it.
//
// The provider lives in a plugin beside the program, loaded only once the
// session bus says an assistive technology runs. Until then, and without
// it, every hook returns at once.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/a11y/a11y.h"
#include "platform/common/a11y_hooks.h"
#include "platform/a11y/provider.h"
#include "platform/a11y/record.h"
#include "platform/a11y/status.h"
#include "platform/a11y/tree.h"
#include "platform/display/backend.h"
#include "platform/kernel/plugin.h"
#include "platform/user/wm.h"

namespace win32::a11y {

namespace {

Provider *provider = nullptr;

// The session bus to ask, unless the user turned accessibility off.
std::string BusToAsk() {
    const char *opt = std::getenv("NO_AT_BRIDGE");
    if (opt && std::string(opt) == "1") return "";
    return SessionBusAddress();
}

// Beside the program in the build tree, under lib/morvalen once installed.
Provider *LoadProvider() {
    auto open = reinterpret_cast<OpenProviderFn>(PluginEntry("morvalen-a11y.so", kOpenProviderSymbol));
    return open ? open(&SharedHost()) : nullptr;
}

// Stands in the message loop's wait: at the first wait (the first frame is
// on the screen) asks the session bus whether an assistive technology runs,
// and loads the provider only when one does; the provider then follows the
// status itself.
class Loader : public display::WaitSource {
public:
    int Descriptors(pollfd *fds, int max) override {
        if (!started_) {
            started_ = true;
            std::string bus = BusToAsk();
            if (!bus.empty()) probe_ = StatusProbe::Start(bus, kStatusLimitMs);
        }
        if (provider) return provider->Descriptors(fds, max);
        if (probe_ && max > 0) {
            fds[0] = probe_->Descriptor();
            return 1;
        }
        return 0;
    }
    int TimeoutMs() override {
        if (provider) return provider->TimeoutMs();
        return probe_ ? probe_->TimeoutMs() : -1;
    }
    void Dispatch() override {
        if (dispatching_) return;
        dispatching_ = true;
        if (provider) {
            provider->Dispatch();
        } else if (probe_) {
            StatusProbe::Answer a = probe_->Step();
            if (a == StatusProbe::On) {
                probe_.reset();
                provider = LoadProvider();
            } else if (a == StatusProbe::Gone) {
                probe_.reset();
            }
        }
        dispatching_ = false;
    }

private:
    static constexpr int kStatusLimitMs = 100;
    bool started_ = false;
    bool dispatching_ = false;
    std::unique_ptr<StatusProbe> probe_;
};

// Only while the provider is connected: windows are recorded then.
Provider *Listening() {
    return provider && Recording() ? provider : nullptr;
}

}  // namespace

namespace {

void OnWindowCreated(HWND h) {
    wm::Window *w = wm::WindowOf(h);
    if (!w) return;
    if (wm::IsTopLevel(*w)) NoteTopLevel(h, true);
    if (Provider *p = Listening()) {
        Node n = WindowNode(h);
        Host &host = SharedHost();
        p->ChildrenChanged(host.Parent(n), n, host.IndexInParent(n), true);
    }
}

void OnWindowDestroying(HWND h) {
    if (Provider *p = Listening()) {
        Node n = WindowNode(h);
        Host &host = SharedHost();
        p->ChildrenChanged(host.Parent(n), n, host.IndexInParent(n), false);
    }
    NoteTopLevel(h, false);
    ForgetWindow(h);
}

void OnActivated(HWND old, HWND now) {
    Provider *p = Listening();
    if (!p) return;
    if (old && IsWindow(old)) {
        p->StateChanged(WindowNode(old), "active", false);
        p->WindowEvent(WindowNode(old), "Deactivate");
    }
    if (now) {
        p->StateChanged(WindowNode(now), "active", true);
        p->WindowEvent(WindowNode(now), "Activate");
    }
}

HWND &LastCaretList() {
    static HWND h = nullptr;
    return h;
}
int &LastCaret() {
    static int i = -1;
    return i;
}

void OnFocusChanged(HWND old, HWND now) {
    Provider *p = Listening();
    if (!p) return;
    if (old && IsWindow(old)) p->StateChanged(FocusNode(old), "focused", false);
    if (now && IsWindow(now)) {
        Node n = FocusNode(now);
        if (n.item >= 0) {
            LastCaretList() = now;
            LastCaret() = n.item;
        }
        p->StateChanged(n, "focused", true);
        p->Focused(n);
    }
}

void OnCaretMoved(HWND list) {
    Provider *p = Listening();
    if (!p) return;
    Node now = FocusNode(list);
    if (now.item < 0) return;
    const bool sameList = LastCaretList() == list;
    if (sameList && LastCaret() == now.item) return;
    const bool focused = GetFocus() == list;
    if (sameList && LastCaret() >= 0) {
        Node old{now.window, LastCaret(), -1};
        if (focused) p->StateChanged(old, "focused", false);
        p->StateChanged(old, "selected", false);
    }
    LastCaretList() = list;
    LastCaret() = now.item;
    p->StateChanged(now, "selected", true);
    if (focused) p->StateChanged(now, "focused", true);
    p->ActiveDescendant(WindowNode(list), now);
    if (focused) p->Focused(now);
}

class LayerHooks : public Hooks {
public:
    void Text(HWND hwnd, const RECT &cell, const char *s, int n, bool underlined) override {
        RecordText(hwnd, cell, s, n, underlined);
    }
    void BeginItem(HWND list, int index, UINT action) override { a11y::BeginItem(list, index, action); }
    void EndItem() override { a11y::EndItem(); }
    void WindowCreated(HWND h) override { OnWindowCreated(h); }
    void WindowDestroying(HWND h) override { OnWindowDestroying(h); }
    void Activated(HWND old, HWND now) override { OnActivated(old, now); }
    void FocusChanged(HWND old, HWND now) override { OnFocusChanged(old, now); }
    void CaretMoved(HWND list) override { OnCaretMoved(list); }
};

}  // namespace

void InstallHooks() {
    static LayerHooks hooks;
    SetHooks(&hooks);
}

void AllowProvider() {
    static Loader loader;
    InstallHooks();
    display::SetWaitSource(&loader);
}

}  // namespace win32::a11y
