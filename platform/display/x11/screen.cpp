// The screen as the X11 back-end reports it: the primary monitor (RandR),
// the desktop's work area, the resource resolution, and the root window's
// properties the window manager publishes.
#include <algorithm>
#include <cstdlib>

#include "platform/display/x11/backend_x11.h"

#include <X11/Xresource.h>
#include <X11/extensions/Xrandr.h>

namespace win32::display::x11 {

SIZE X11Backend::ScreenSize() {
    RefreshScreen();
    return {Logical(monitor_.right - monitor_.left), Logical(monitor_.bottom - monitor_.top)};
}

RECT X11Backend::WorkArea() {
    RefreshScreen();
    POINT topLeft = FromRoot({workArea_.left, workArea_.top});
    POINT bottomRight = FromRoot({workArea_.right, workArea_.bottom});
    return {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

// The monitors and the work area, asked for at most once between two looks
// at the server (a wait for events, a drained queue, a sync): the burst of
// work that placing a window is sees one answer, at one round trip each.
void X11Backend::RefreshScreen() {
    if (!screenStale_) return;
    screenStale_ = false;
    RefreshMonitors();
    workArea_ = monitor_;
    // The current desktop only picks among the areas the window manager set.
    std::vector<long> areas = CardinalProperty(root_, atoms_[kNetWorkArea]);
    if (areas.size() < 4) return;
    std::vector<long> desktop = CardinalProperty(root_, atoms_[kNetCurrentDesktop]);
    size_t index = desktop.empty() ? 0 : static_cast<size_t>(desktop[0]);
    if (areas.size() < 4 * (index + 1)) return;
    const long *a = &areas[4 * index];
    if (a[2] <= 0 || a[3] <= 0) return;
    RECT desk{static_cast<LONG>(a[0]), static_cast<LONG>(a[1]), static_cast<LONG>(a[0] + a[2]),
              static_cast<LONG>(a[1] + a[3])};
    RECT clipped{std::max(desk.left, monitor_.left), std::max(desk.top, monitor_.top),
                 std::min(desk.right, monitor_.right), std::min(desk.bottom, monitor_.bottom)};
    if (clipped.left < clipped.right && clipped.top < clipped.bottom) workArea_ = clipped;
}

int X11Backend::Dpi() {
    if (dpi_) return dpi_;
    dpi_ = 96;
    if (const char *resources = XResourceManagerString(dpy_)) {
        XrmInitialize();
        if (XrmDatabase db = XrmGetStringDatabase(resources)) {
            char *type = nullptr;
            XrmValue value{};
            if (XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) {
                double d = std::atof(value.addr);
                // Any positive value: the scale made from it is clamped.
                if (d > 0) dpi_ = static_cast<int>(std::min(d, 96.0 * 64) + 0.5);
            }
            XrmDestroyDatabase(db);
        }
    }
    return dpi_;
}

// The primary monitor (RandR 1.5 monitors: the primary, else the first;
// without them the whole screen). When its corner moves, every window's
// place in the program's coordinates moves with it.
void X11Backend::RefreshMonitors() {
    RECT m{0, 0, DisplayWidth(dpy_, screen_), DisplayHeight(dpy_, screen_)};
    if (hasMonitors_) {
        int n = 0;
        if (XRRMonitorInfo *list = XRRGetMonitors(dpy_, root_, True, &n)) {
            const XRRMonitorInfo *pick = nullptr;
            for (int i = 0; i < n; ++i) {
                if (list[i].width <= 0 || list[i].height <= 0) continue;
                if (!pick || (list[i].primary && !pick->primary)) pick = &list[i];
            }
            if (pick) m = {pick->x, pick->y, pick->x + pick->width, pick->y + pick->height};
            XRRFreeMonitors(list);
        }
    }
    bool moved = m.left != monitor_.left || m.top != monitor_.top;
    monitor_ = m;
    if (!moved) return;
    for (auto &entry : windows_) {
        TopLevel &t = entry.second;
        POINT root{};
        if (RootPosition(t, &root)) MovedTo(t, root, Dev(Width(t.client)), Dev(Height(t.client)));
    }
}

// A RandR screen change: Xlib's idea of the screen and the monitors follow.
// False for any other event.
bool X11Backend::TakeScreenChange(XEvent &xe) {
    if (!hasMonitors_ || xe.type != randrEventBase_ + RRScreenChangeNotify) return false;
    XRRUpdateConfiguration(&xe);
    screenStale_ = true;
    RefreshScreen();
    return true;
}

std::vector<long> X11Backend::CardinalProperty(Window w, Atom property) {
    std::vector<long> out;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(dpy_, w, property, 0, 1024, False, AnyPropertyType, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
        if (format == 32) {
            const long *values = reinterpret_cast<const long *>(data);
            out.assign(values, values + count);
        }
        XFree(data);
    }
    return out;
}

bool X11Backend::WindowManagerSupports(Atom feature) {
    for (long a : CardinalProperty(root_, atoms_[kNetSupported])) {
        if (static_cast<Atom>(a) == feature) return true;
    }
    return false;
}

}  // namespace win32::display::x11
