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
#include "platform/a11y/keysym.h"
#include "platform/a11y/provider.h"
#include "platform/a11y/record.h"
#include "platform/a11y/status.h"
#include "platform/a11y/tree.h"
#include "platform/display/backend.h"
#include "platform/kernel/plugin.h"
#include "platform/user/paint.h"
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

void TellActiveWindow();

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
        if (provider) {
            // The loop has nothing left to do: the window made active is drawn.
            TellActiveWindow();
            return provider->Descriptors(fds, max);
        }
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

// Which top-level is active is told when the loop has nothing left to do
// and the window made active is drawn (its text is what names it): the
// old one's window:deactivate, the new one's window:activate, then the
// focus it holds. A change undone meanwhile (a window manager's focus
// flickering) is not told at all. Focus changes inside a window not told
// active wait for that.
struct Announcements {
    bool registered = false;   // the registry knows the application
    HWND told = nullptr;       // the active top-level as last told
    HWND caretList = nullptr;  // the list and caret item last told
    int caret = -1;
};

Announcements &Told() {
    static auto *told = new Announcements();
    return *told;
}

void TellFocus(Provider *p, HWND now) {
    Node n = FocusNode(now);
    if (n.item >= 0) {
        Told().caretList = now;
        Told().caret = n.item;
    }
    p->StateChanged(n, "focused", true);
    p->Focused(n);
}

void TellDeactivated(Provider *p) {
    HWND old = Told().told;
    Told().told = nullptr;
    if (!old || !IsWindow(old)) return;
    p->WindowEvent(WindowNode(old), "Deactivate");
    p->StateChanged(WindowNode(old), "active", false);
}

void TellActiveWindow() {
    Announcements &t = Told();
    Provider *p = Listening();
    HWND now = GetActiveWindow();
    if (!p || !t.registered || now == t.told) return;
    if (now && wm::NextWindowToPaint(now)) return;  // not drawn yet
    TellDeactivated(p);
    if (!now) return;
    t.told = now;
    // window:activate first: screen readers take a dialog's state change
    // alone as activation without presenting it.
    p->WindowEvent(WindowNode(now), "Activate");
    p->StateChanged(WindowNode(now), "active", true);
    HWND focus = GetFocus();
    TellFocus(p, focus && (focus == now || IsChild(now, focus)) ? focus : now);
}

void TellAdded(HWND h) {
    if (Provider *p = Listening()) {
        Node n = WindowNode(h);
        Host &host = SharedHost();
        p->ChildrenChanged(host.Parent(n), n, host.IndexInParent(n), true);
    }
}

// A top-level is in the tree before anything about what it holds: a
// child made while its top-level is being created (a dialog's buttons)
// puts the top-level in first.
void OnWindowCreated(HWND h) {
    wm::Window *w = wm::WindowOf(h);
    wm::Window *top = w ? wm::TopLevelOf(w) : nullptr;
    if (!top) return;
    if (NoteTopLevel(top->hwnd, true)) TellAdded(top->hwnd);
    if (top != w) TellAdded(h);
}

void OnWindowDestroying(HWND h) {
    if (Provider *p = Listening()) {
        if (Told().told == h) TellDeactivated(p);
        Node n = WindowNode(h);
        Host &host = SharedHost();
        p->ChildrenChanged(host.Parent(n), n, host.IndexInParent(n), false);
    }
    if (Told().told == h) Told().told = nullptr;
    if (Told().caretList == h) Told().caretList = nullptr;
    NoteTopLevel(h, false);
    ForgetWindow(h);
}

void OnFocusChanged(HWND old, HWND now) {
    Provider *p = Listening();
    if (!p) return;
    // Inside a window still to be announced the focus is told with it.
    if (old && IsWindow(old) && !StillToTell(old)) p->StateChanged(FocusNode(old), "focused", false);
    if (now && IsWindow(now) && !StillToTell(now)) TellFocus(p, now);
}

void OnCaretMoved(HWND list) {
    Announcements &t = Told();
    Provider *p = Listening();
    if (!p) return;
    Node now = FocusNode(list);
    if (now.item < 0) return;
    const bool sameList = t.caretList == list;
    if (sameList && t.caret == now.item) return;
    const bool focused = GetFocus() == list && !StillToTell(list);
    if (sameList && t.caret >= 0) {
        Node old{now.window, t.caret, -1};
        if (focused) p->StateChanged(old, "focused", false);
        p->StateChanged(old, "selected", false);
    }
    t.caretList = list;
    t.caret = now.item;
    p->StateChanged(now, "selected", true);
    if (focused) p->StateChanged(now, "focused", true);
    p->ActiveDescendant(WindowNode(list), now);
    if (focused) p->Focused(now);
}

KeyFate OnKey(const KeyStroke &key, uint64_t serial) {
    Provider *p = Listening();
    if (!p) return KeyFate::Deliver;
    switch (p->Key(ReportOf(key), serial)) {
        case KeyAnswer::Kept:
            return KeyFate::Drop;
        case KeyAnswer::Awaited:
            return KeyFate::Hold;
        case KeyAnswer::Pass:
            break;
    }
    return KeyFate::Deliver;
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
    void FocusChanged(HWND old, HWND now) override { OnFocusChanged(old, now); }
    void CaretMoved(HWND list) override { OnCaretMoved(list); }
    KeyFate Key(const KeyStroke &key, uint64_t serial) override { return OnKey(key, serial); }
};

}  // namespace

HWND ToldActive() {
    return Listening() ? Told().told : GetActiveWindow();
}

bool StillToTell(HWND h) {
    HWND told = ToldActive();
    return !h || !told || (h != told && !IsChild(told, h));
}

void NoteRegistered(bool registered) {
    // Whatever is active is told anew.
    Told() = Announcements{};
    Told().registered = registered;
}

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
