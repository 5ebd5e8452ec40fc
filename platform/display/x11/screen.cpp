// The screen as the X11 back-end reports it: the primary monitor (RandR),
// the desktop's work area, the resource resolution, and the root window's
// properties the window manager publishes.
#include <cstdlib>

#include "platform/display/x11/backend_x11.h"

#include <X11/Xresource.h>
#include <X11/extensions/Xrandr.h>

namespace win32::display::x11 {

SIZE X11Backend::ScreenSize() {
    RefreshMonitors();
    return {(monitor_.right - monitor_.left) / scale_, (monitor_.bottom - monitor_.top) / scale_};
}

RECT X11Backend::WorkArea() {
    RefreshMonitors();
    RECT area = monitor_;
    std::vector<long> desktop = CardinalProperty(root_, atoms_[kNetCurrentDesktop]);
    std::vector<long> areas = CardinalProperty(root_, atoms_[kNetWorkArea]);
    size_t index = desktop.empty() ? 0 : static_cast<size_t>(desktop[0]);
    if (areas.size() >= 4 * (index + 1)) {
        const long *a = &areas[4 * index];
        if (a[2] > 0 && a[3] > 0) {
            RECT desk{static_cast<LONG>(a[0]), static_cast<LONG>(a[1]), static_cast<LONG>(a[0] + a[2]),
                      static_cast<LONG>(a[1] + a[3])};
            RECT clipped{std::max(desk.left, monitor_.left), std::max(desk.top, monitor_.top),
                         std::min(desk.right, monitor_.right), std::min(desk.bottom, monitor_.bottom)};
            if (clipped.left < clipped.right && clipped.top < clipped.bottom) area = clipped;
        }
    }
    POINT topLeft = FromRoot({area.left, area.top});
    POINT bottomRight = FromRoot({area.right, area.bottom});
    return {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
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
                if (d >= 24 && d <= 960) dpi_ = static_cast<int>(d + 0.5);
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
    RefreshMonitors();
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
