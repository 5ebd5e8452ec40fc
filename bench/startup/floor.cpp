// morvalen-bench-startup-floor [FACE_FILE]: the least a program that starts
// as Morvalen does can map, as a floor for its peak memory in startup.py.
// It links what Morvalen must (libX11, libXext, libXrandr, FreeType and the
// C++ runtime), opens the display, asks for the two extensions, maps one
// window and draws one string into it with FreeType, one-bit glyphs into a
// 32-bit image, then waits for events until it is ended.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/shape.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "floor_text.h"

namespace {

constexpr int kWidth = 360, kHeight = 120;

}  // namespace

int main(int argc, char **argv) {
    std::string facePath = argc > 1 ? argv[1] : "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "cannot open display\n");
        return 1;
    }
    int event, error;
    bool shape = XShapeQueryExtension(dpy, &event, &error);
    bool randr = XRRQueryExtension(dpy, &event, &error);
    FT_Library lib;
    FT_Face face;
    if (FT_Init_FreeType(&lib) != 0 || FT_New_Face(lib, facePath.c_str(), 0, &face) != 0) {
        std::fprintf(stderr, "cannot load %s\n", facePath.c_str());
        return 1;
    }
    FT_Set_Pixel_Sizes(face, 0, 13);

    int screen = DefaultScreen(dpy);
    Window w = XCreateSimpleWindow(dpy, RootWindow(dpy, screen), 0, 0, kWidth, kHeight, 0, 0, 0xC0C0C0);
    XStoreName(dpy, w, "floor");
    XSelectInput(dpy, w, ExposureMask);
    XMapWindow(dpy, w);
    GC gc = XCreateGC(dpy, w, 0, nullptr);

    std::vector<uint32_t> pixels(kWidth * kHeight, 0xC0C0C0);
    DrawFloorText(face, std::string("Free space on all drives") + (shape && randr ? "" : "."), 10, 30,
                  pixels.data(), kWidth, kHeight, 0);
    XImage *image = XCreateImage(dpy, DefaultVisual(dpy, screen), 24, ZPixmap, 0,
                                 reinterpret_cast<char *>(pixels.data()), kWidth, kHeight, 32, 0);
    for (;;) {
        XEvent ev;
        XNextEvent(dpy, &ev);
        if (ev.type == Expose && ev.xexpose.count == 0)
            XPutImage(dpy, w, gc, image, 0, 0, 0, 0, kWidth, kHeight);
    }
}
