// A small X client for the end-to-end scripts: reads windows back and asks
// windows to close the way a window manager does.
//
//   xprobe geometry WIN          client area in root coordinates: "x y w h"
//   xprobe parent WIN            the window's parent ("root" when unframed)
//   xprobe snap WIN OUT.ppm      the window's pixels as a binary PPM
//   xprobe rootsnap OUT.ppm      the whole screen as a binary PPM
//   xprobe close WIN             sends WM_DELETE_WINDOW (the close button)
//   xprobe netclose WIN          asks the window manager to close it
//   xprobe longs WIN PROPERTY    how many 32-bit items the property holds
//   xprobe wmready               exits 0 when a window manager announces itself
//   xprobe destroy WIN           destroys the window, as any other client may
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

Window ParseWindow(const char *s) {
    return static_cast<Window>(std::strtoul(s, nullptr, 0));
}

bool WritePpm(Display *dpy, Drawable d, int x, int y, unsigned w, unsigned h, const char *path) {
    XImage *img = XGetImage(dpy, d, x, y, w, h, AllPlanes, ZPixmap);
    if (!img) return false;
    FILE *f = std::fopen(path, "wb");
    if (!f) {
        XDestroyImage(img);
        return false;
    }
    std::fprintf(f, "P6\n%u %u\n255\n", w, h);
    for (unsigned row = 0; row < h; ++row) {
        for (unsigned col = 0; col < w; ++col) {
            unsigned long p = XGetPixel(img, static_cast<int>(col), static_cast<int>(row));
            unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16), static_cast<unsigned char>(p >> 8),
                                    static_cast<unsigned char>(p)};
            std::fwrite(rgb, 1, 3, f);
        }
    }
    XDestroyImage(img);
    return std::fclose(f) == 0;
}

void SendClient(Display *dpy, Window target, Window about, const char *type, long l0, long eventMask) {
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = about;
    ev.xclient.message_type = XInternAtom(dpy, type, False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = l0;
    ev.xclient.data.l[1] = CurrentTime;
    ev.xclient.data.l[2] = 1;  // a pager-like source for _NET_CLOSE_WINDOW
    XSendEvent(dpy, target, False, eventMask, &ev);
    XSync(dpy, False);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: xprobe COMMAND ...\n");
        return 2;
    }
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "xprobe: cannot open display\n");
        return 2;
    }
    Window root = DefaultRootWindow(dpy);
    std::string cmd = argv[1];
    int rc = 0;
    if (cmd == "geometry" && argc == 3) {
        Window w = ParseWindow(argv[2]), child;
        XWindowAttributes a;
        int x = 0, y = 0;
        if (!XGetWindowAttributes(dpy, w, &a) || !XTranslateCoordinates(dpy, w, root, 0, 0, &x, &y, &child)) {
            rc = 1;
        } else {
            std::printf("%d %d %d %d\n", x, y, a.width, a.height);
        }
    } else if (cmd == "parent" && argc == 3) {
        Window r, parent, *children = nullptr;
        unsigned n = 0;
        if (!XQueryTree(dpy, ParseWindow(argv[2]), &r, &parent, &children, &n)) {
            rc = 1;
        } else {
            if (parent == root) {
                std::printf("root\n");
            } else {
                std::printf("0x%lx\n", parent);
            }
            if (children) XFree(children);
        }
    } else if (cmd == "snap" && argc == 4) {
        XWindowAttributes a;
        Window w = ParseWindow(argv[2]);
        rc = XGetWindowAttributes(dpy, w, &a) && WritePpm(dpy, w, 0, 0, static_cast<unsigned>(a.width),
                                                          static_cast<unsigned>(a.height), argv[3])
                 ? 0
                 : 1;
    } else if (cmd == "rootsnap" && argc == 3) {
        int s = DefaultScreen(dpy);
        rc = WritePpm(dpy, root, 0, 0, static_cast<unsigned>(DisplayWidth(dpy, s)),
                      static_cast<unsigned>(DisplayHeight(dpy, s)), argv[2])
                 ? 0
                 : 1;
    } else if (cmd == "close" && argc == 3) {
        Window w = ParseWindow(argv[2]);
        SendClient(dpy, w, w, "WM_PROTOCOLS", static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False)),
                   NoEventMask);
    } else if (cmd == "netclose" && argc == 3) {
        SendClient(dpy, root, ParseWindow(argv[2]), "_NET_CLOSE_WINDOW", CurrentTime,
                   SubstructureRedirectMask | SubstructureNotifyMask);
    } else if (cmd == "longs" && argc == 4) {
        Atom type;
        int format;
        unsigned long n = 0, after;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(dpy, ParseWindow(argv[2]), XInternAtom(dpy, argv[3], False), 0, 1 << 20, False,
                               AnyPropertyType, &type, &format, &n, &after, &data) != Success) {
            rc = 1;
        }
        std::printf("%lu\n", format == 32 ? n : 0ul);
        if (data) XFree(data);
    } else if (cmd == "destroy" && argc == 3) {
        XDestroyWindow(dpy, ParseWindow(argv[2]));
        XSync(dpy, False);
    } else if (cmd == "wmready" && argc == 2) {
        Atom type;
        int format;
        unsigned long n = 0, after;
        unsigned char *data = nullptr;
        XGetWindowProperty(dpy, root, XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", False), 0, 1, False,
                           XA_WINDOW, &type, &format, &n, &after, &data);
        rc = n == 1 ? 0 : 1;
        if (data) XFree(data);
    } else {
        std::fprintf(stderr, "xprobe: bad command\n");
        rc = 2;
    }
    XCloseDisplay(dpy);
    return rc;
}
