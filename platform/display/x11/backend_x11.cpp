// The X11 back-end's connection: opening it (with a deadline), the
// back-end's life on it, waiting for events and being woken, and what
// Xlib reports as errors.
#include "platform/display/x11/backend_x11.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <X11/extensions/Xrandr.h>
#include <X11/extensions/shape.h>

namespace win32::display::x11 {

namespace {

// A lost connection cannot be recovered: say so and end at once. Xlib calls
// this from whatever call noticed; returning would make Xlib exit anyway.
int OnIoError(Display *) {
    static const char kMessage[] = "morvalen: lost the connection to the X display\n";
    ssize_t ignored = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
    (void)ignored;
    _exit(1);
}

// Protocol errors (a window the window manager already destroyed, focus on
// a window not yet viewable) are harmless here; Xlib's default would exit.
// A BadWindow names a window someone else destroyed; the back-end looks
// for its own windows among them.
int OnProtocolError(Display *dpy, XErrorEvent *e) {
    if (e->error_code == BadWindow && BadWindows().size() < 64) BadWindows().push_back({dpy, e->resourceid});
    return 0;
}

int g_openDeadlineMs = 5000;
char g_silentMessage[512];

void OnOpenDeadline(int) {
    ssize_t ignored = write(STDERR_FILENO, g_silentMessage, std::strlen(g_silentMessage));
    (void)ignored;
    _exit(1);
}

}  // namespace

std::vector<DeadWindow> &BadWindows() {
    static std::vector<DeadWindow> ids;
    return ids;
}

DWORD MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<DWORD>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                              static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

X11Backend::X11Backend(Display *dpy, const XVisualInfo &vi) : dpy_(dpy), visual_(vi) {
    screen_ = DefaultScreen(dpy_);
    root_ = RootWindow(dpy_, screen_);
    if (visual_.visual == DefaultVisual(dpy_, screen_)) {
        colormap_ = DefaultColormap(dpy_, screen_);
    } else {
        colormap_ = XCreateColormap(dpy_, root_, visual_.visual, AllocNone);
        ownColormap_ = true;
    }
    const std::string cmSelection = "_NET_WM_CM_S" + std::to_string(screen_);
    const char *names[] = {"WM_PROTOCOLS",       "WM_DELETE_WINDOW",    "_NET_WM_PING",
                           "_NET_WM_NAME",       "_NET_WM_ICON_NAME",   "UTF8_STRING",
                           "_NET_WM_ICON",       "_MOTIF_WM_HINTS",     "_NET_SUPPORTED",
                           "_NET_WM_MOVERESIZE", "_NET_WORKAREA",       "_NET_CURRENT_DESKTOP",
                           "_NET_WM_PID",        "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DIALOG",
                           "_NET_WM_STATE",      "_NET_WM_STATE_MODAL", "_NET_WM_STATE_SKIP_TASKBAR",
                           "_NET_ACTIVE_WINDOW", cmSelection.c_str()};
    static_assert(sizeof names / sizeof names[0] == kAtomCount);
    XInternAtoms(dpy_, const_cast<char **>(names), kAtomCount, False, atoms_);
    int eventBase = 0, errorBase = 0;
    hasShape_ = XShapeQueryExtension(dpy_, &eventBase, &errorBase);
    int major = 0, minor = 0;
    if (XRRQueryExtension(dpy_, &randrEventBase_, &errorBase) && XRRQueryVersion(dpy_, &major, &minor) &&
        (major > 1 || (major == 1 && minor >= 5))) {
        hasMonitors_ = true;
        XRRSelectInput(dpy_, root_, RRScreenChangeNotifyMask);
    }
    // A 32-bit TrueColor visual holds alpha in the bits the colours leave.
    XVisualInfo argb{};
    if (XMatchVisualInfo(dpy_, screen_, 32, TrueColor, &argb) && argb.red_mask == 0xFF0000 &&
        argb.green_mask == 0xFF00 && argb.blue_mask == 0xFF) {
        argbVisual_ = argb;
        argbColormap_ = XCreateColormap(dpy_, root_, argb.visual, AllocNone);
    }
    // The scale is bounded by the primary monitor's size; the answer holds
    // for the rest of this burst of work (no window yet to move).
    RefreshScreen();
    scale_ = display::ScaleFromEnvironment(Dpi(),
                                           {monitor_.right - monitor_.left, monitor_.bottom - monitor_.top});
    Bool supported = False;
    XkbSetDetectableAutoRepeat(dpy_, True, &supported);
    gc_ = nullptr;
    // Fast image path: the surface's 0x00RRGGBB words are the visual's pixels.
    directPixels_ = visual_.red_mask == 0xFF0000 && visual_.green_mask == 0xFF00 &&
                    visual_.blue_mask == 0xFF && BitsPerPixel(visual_.depth) == 32;
}

X11Backend::~X11Backend() {
    for (auto &entry : windows_) FreeWindow(entry.second, true);
    if (gc_) XFreeGC(dpy_, gc_);
    ForgetKeyboard();
    if (argbGc_) XFreeGC(dpy_, argbGc_);
    if (argbColormap_) XFreeColormap(dpy_, argbColormap_);
    if (ownColormap_) XFreeColormap(dpy_, colormap_);
    XSync(dpy_, False);
    std::erase_if(BadWindows(), [this](const DeadWindow &b) { return b.dpy == dpy_; });
    XCloseDisplay(dpy_);
}

bool X11Backend::Wait(int timeoutMs) {
    XFlush(dpy_);
    screenStale_ = true;
    display::WaitSource *source = display::CurrentWaitSource();
    if (!pending_.empty() || XPending(dpy_)) {
        if (source) source->Dispatch();
        return true;
    }
    pollfd fds[2 + kWaitSourceFds] = {{ConnectionNumber(dpy_), POLLIN, 0},
                                      {wakePipe_.Descriptor(), POLLIN, 0}};
    const int n = PollWithSource(source, fds, 2, timeoutMs);
    if (n > 0 && (fds[1].revents & POLLIN)) wakePipe_.Drain();
    if (n > 0 && (fds[0].revents & (POLLHUP | POLLERR))) {
        // Let Xlib notice: reading a closed connection ends the process.
        XPending(dpy_);
        return false;
    }
    if (source) source->Dispatch();
    return true;
}

void X11Backend::Wake() {
    wakePipe_.Wake();
}

std::unique_ptr<display::Backend> Open(const char *displayName, bool *noTrueColor) {
    XSetIOErrorHandler(OnIoError);
    XSetErrorHandler(OnProtocolError);
    if (noTrueColor) *noTrueColor = false;
    Display *dpy = XOpenDisplay(displayName);
    if (!dpy) return nullptr;
    int screen = DefaultScreen(dpy);
    XVisualInfo vi{};
    if (!XMatchVisualInfo(dpy, screen, 24, TrueColor, &vi) &&
        !XMatchVisualInfo(dpy, screen, 32, TrueColor, &vi)) {
        XCloseDisplay(dpy);
        if (noTrueColor) *noTrueColor = true;
        return nullptr;
    }
    // Prefer the default visual when it is one of these.
    Visual *def = DefaultVisual(dpy, screen);
    if (def->c_class == TrueColor && (DefaultDepth(dpy, screen) == 24 || DefaultDepth(dpy, screen) == 32)) {
        XVisualInfo templ{};
        templ.visualid = XVisualIDFromVisual(def);
        int n = 0;
        if (XVisualInfo *found = XGetVisualInfo(dpy, VisualIDMask, &templ, &n)) {
            if (n > 0) vi = found[0];
            XFree(found);
        }
    }
    return std::make_unique<X11Backend>(dpy, vi);
}

void Sync(display::Backend &backend) {
    if (auto *x = dynamic_cast<X11Backend *>(&backend)) x->Sync();
}

void SetOpenDeadline(int ms) {
    g_openDeadlineMs = ms;
}

std::unique_ptr<display::Backend> OpenOrExit() {
    const char *name = std::getenv("DISPLAY");
    if (!name || !*name) {
        std::fprintf(
            stderr,
            "morvalen: cannot open an X display: DISPLAY is not set (start morvalen from a graphical "
            "session, or set DISPLAY, for example DISPLAY=:0)\n");
        std::exit(1);
    }
    // A server that takes the connection and never answers would keep
    // Xlib waiting for ever: past the deadline a timer signal ends the
    // process (a timer, not a watchdog thread: no thread to start at
    // every start).
    std::snprintf(g_silentMessage, sizeof g_silentMessage, "morvalen: the X display \"%s\" does not answer\n",
                  name);
    struct sigaction onDeadline = {};
    struct sigaction previous = {};
    onDeadline.sa_handler = OnOpenDeadline;
    sigemptyset(&onDeadline.sa_mask);
    sigaction(SIGALRM, &onDeadline, &previous);
    itimerval deadline{};
    deadline.it_value.tv_sec = g_openDeadlineMs / 1000;
    deadline.it_value.tv_usec = (g_openDeadlineMs % 1000) * 1000;
    setitimer(ITIMER_REAL, &deadline, nullptr);
    bool noTrueColor = false;
    std::unique_ptr<display::Backend> backend = Open(name, &noTrueColor);
    itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
    if (!backend && noTrueColor) {
        std::fprintf(stderr,
                     "morvalen: X display \"%s\" has no 24- or 32-bit TrueColor visual, which morvalen "
                     "draws with (start the X server with a depth of 24)\n",
                     name);
        std::exit(1);
    }
    if (!backend) {
        std::fprintf(
            stderr,
            "morvalen: cannot open X display \"%s\" (is an X server running there, and may this user "
            "connect to it?)\n",
            name);
        std::exit(1);
    }
    return backend;
}

}  // namespace win32::display::x11
