// One-bit pixmaps made without XCreatePixmap: for every pixmap of depth 1
// Xlib offers the bitmap to its cursor hook, which loads libXcursor (and
// libXrender, libXfixes), asks the server for RENDER and reads the user's
// resource files again for each cursor setting; a one-bit XPutImage does
// the same. The back-end makes no cursors, so its bitmaps (icon masks) are
// made with a plain request and drawn with rectangles.
// Only the X headers here, after the standard ones: Xlibint.h's macros
// (min, max) stay out of the layer.
#include <vector>

#include <X11/Xlibint.h>
#include <X11/Xutil.h>

namespace win32::display::x11 {

Pixmap CreateBitmap(Display *dpy, Drawable drawable, const char *bits, unsigned width, unsigned height) {
    xCreatePixmapReq *req;
    LockDisplay(dpy);
    GetReq(CreatePixmap, req);
    Pixmap pixmap = XAllocID(dpy);
    req->pid = static_cast<CARD32>(pixmap);
    req->drawable = static_cast<CARD32>(drawable);
    req->width = static_cast<CARD16>(width);
    req->height = static_cast<CARD16>(height);
    req->depth = 1;
    UnlockDisplay(dpy);
    SyncHandle();

    // Rows of whole bytes, the first pixel in each byte's lowest bit, as
    // XCreateBitmapFromData takes them. Drawn as runs of set bits: a
    // one-bit XPutImage would call the cursor hook too.
    std::vector<XRectangle> runs;
    const unsigned stride = (width + 7) / 8;
    for (unsigned y = 0; y < height; ++y) {
        for (unsigned x = 0; x < width;) {
            auto set = [&](unsigned at) { return (bits[y * stride + at / 8] >> (at % 8)) & 1; };
            if (!set(x)) {
                ++x;
                continue;
            }
            unsigned end = x;
            while (end < width && set(end)) ++end;
            runs.push_back(
                {static_cast<short>(x), static_cast<short>(y), static_cast<unsigned short>(end - x), 1});
            x = end;
        }
    }
    GC gc = XCreateGC(dpy, pixmap, 0, nullptr);
    XSetForeground(dpy, gc, 0);
    XFillRectangle(dpy, pixmap, gc, 0, 0, width, height);
    XSetForeground(dpy, gc, 1);
    if (!runs.empty()) XFillRectangles(dpy, pixmap, gc, runs.data(), static_cast<int>(runs.size()));
    XFreeGC(dpy, gc);
    return pixmap;
}

}  // namespace win32::display::x11
