// Loading the provider and passing the layer's changes on to it.
//
// The provider lives in a plugin beside the program, loaded the first time
// the message loop waits (after the first frame is on the screen) and only
// when a session bus may be there to ask whether an assistive technology
// runs. Until then, and without it, every hook returns at once.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/a11y/a11y.h"
#include "platform/a11y/provider.h"
#include "platform/a11y/record.h"
#include "platform/a11y/tree.h"
#include "platform/display/backend.h"
#include "platform/user/wm_private.h"

namespace win32::a11y {

namespace {

Provider *provider = nullptr;

bool SessionBusPossible() {
    const char *opt = std::getenv("NO_AT_BRIDGE");
    if (opt && std::string(opt) == "1") return false;
    const char *address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address) return true;
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) return false;
    struct stat st {};
    return stat((std::string(runtime) + "/bus").c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

std::string ProgramDirectory() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "";
    std::string p(path, static_cast<size_t>(n));
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? "" : p.substr(0, slash);
}

// Beside the program in the build tree, under lib/morvalen once installed.
Provider *LoadProvider() {
    const std::string dir = ProgramDirectory();
    if (dir.empty()) return nullptr;
    for (const char *place : {"/morvalen-a11y.so", "/../lib/morvalen/morvalen-a11y.so"}) {
        void *lib = dlopen((dir + place).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!lib) continue;
        auto open = reinterpret_cast<OpenProviderFn>(dlsym(lib, kOpenProviderSymbol));
        Provider *p = open ? open(&TheHost()) : nullptr;
        if (p) return p;
        dlclose(lib);
    }
    return nullptr;
}

// Stands in the message loop's wait: loads the provider at the first wait,
// then hands the wait over to it.
class Loader : public display::WaitSource {
public:
    int Descriptors(pollfd *fds, int max) override {
        if (!tried_) {
            tried_ = true;
            if (SessionBusPossible()) provider = LoadProvider();
        }
        return provider ? provider->Descriptors(fds, max) : 0;
    }
    int TimeoutMs() override { return provider ? provider->TimeoutMs() : -1; }
    void Dispatch() override {
        if (!provider || dispatching_) return;
        dispatching_ = true;
        provider->Dispatch();
        dispatching_ = false;
    }

private:
    bool tried_ = false;
    bool dispatching_ = false;
};

// Only while the provider is connected: windows are recorded then.
Provider *Listening() {
    return provider && Recording() ? provider : nullptr;
}

}  // namespace

void AllowProvider() {
    static Loader loader;
    display::SetWaitSource(&loader);
}

void WindowCreated(HWND h) {
    wm::Window *w = wm::WindowOf(h);
    if (!w) return;
    if (wm::IsTopLevel(*w)) NoteTopLevel(h, true);
    if (Provider *p = Listening()) {
        Node n = WindowNode(h);
        Host &host = TheHost();
        p->ChildrenChanged(host.Parent(n), n, IndexInParent(host, n), true);
    }
}

void WindowDestroying(HWND h) {
    if (Provider *p = Listening()) {
        Node n = WindowNode(h);
        Host &host = TheHost();
        p->ChildrenChanged(host.Parent(n), n, IndexInParent(host, n), false);
    }
    NoteTopLevel(h, false);
    ForgetWindow(h);
}

void Activated(HWND old, HWND now) {
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

namespace {
HWND &LastCaretList() {
    static HWND h = nullptr;
    return h;
}
int &LastCaret() {
    static int i = -1;
    return i;
}
}  // namespace

void FocusChanged(HWND old, HWND now) {
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

void CaretMoved(HWND list) {
    Provider *p = Listening();
    if (!p) return;
    Node now = FocusNode(list);
    if (now.item < 0) return;
    const bool sameList = LastCaretList() == list;
    if (sameList && LastCaret() == now.item) return;
    const bool focused = wm::WmState().focus == list;
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

}  // namespace win32::a11y
