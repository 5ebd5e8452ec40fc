// Presenting surfaces: 0x00RRGGBB pixels to an X drawable, straight when
// they are the visual's own pixels, else converted for its colour masks.
#include <cstdlib>
#include <vector>

#include "platform/display/x11/backend_x11.h"

namespace win32::display::x11 {

namespace {

// An 8-bit colour channel as the bits of a TrueColor mask.
unsigned long ToMask(uint32_t value8, unsigned long mask) {
    if (!mask) return 0;
    int shift = __builtin_ctzl(mask);
    unsigned long max = mask >> shift;
    return ((value8 * max + 127) / 255) << shift;
}

int NativeByteOrder() {
    const uint16_t probe = 1;
    return *reinterpret_cast<const uint8_t *>(&probe) ? LSBFirst : MSBFirst;
}

}  // namespace

void X11Backend::Present(display::NativeId w, const gdi::Surface &surface, const RECT &dirty) {
    TopLevel *t = Find(w);
    if (!t || surface.width <= 0 || surface.height <= 0) return;
    if (surface.pixels.size() < static_cast<size_t>(surface.width) * static_cast<size_t>(surface.height))
        return;
    const int n = surface.scale;
    int left = std::max(0, gdi::DeviceEdge(dirty.left, n)), top = std::max(0, gdi::DeviceEdge(dirty.top, n));
    int right = std::min(surface.width, gdi::DeviceEdge(dirty.right, n)),
        bottom = std::min(surface.height, gdi::DeviceEdge(dirty.bottom, n));
    if (left >= right || top >= bottom) return;
    if (t->argb) {
        PutAlphaPixels(*t, surface, RECT{left, top, right, bottom});
        XFlush(dpy_);
        return;
    }
    PutPixels(t->xid, surface.pixels.data(), surface.width, left, top, right - left, bottom - top);
    XFlush(dpy_);
}

int X11Backend::BitsPerPixel(int depth) const {
    int count = 0;
    XPixmapFormatValues *formats = XListPixmapFormats(dpy_, &count);
    int bpp = 0;
    for (int i = 0; i < count; ++i) {
        if (formats[i].depth == depth) bpp = formats[i].bits_per_pixel;
    }
    if (formats) XFree(formats);
    return bpp;
}

// Copies a w x h block at (x, y) of a 0x00RRGGBB buffer `stride` pixels
// wide to the same place of a drawable.
void X11Backend::PutPixels(Drawable target, const uint32_t *pixels, int stride, int x, int y, int w, int h) {
    if (!gc_) gc_ = XCreateGC(dpy_, target, 0, nullptr);
    if (!directPixels_) {
        PutConvertedPixels(target, pixels, stride, x, y, w, h);
        return;
    }
    XImage *img = XCreateImage(dpy_, visual_.visual, static_cast<unsigned>(visual_.depth), ZPixmap, 0,
                               reinterpret_cast<char *>(const_cast<uint32_t *>(pixels)),
                               static_cast<unsigned>(stride), static_cast<unsigned>(y + h), 32, stride * 4);
    if (!img) return;
    img->byte_order = NativeByteOrder();
    XInitImage(img);
    XPutImage(dpy_, target, gc_, img, x, y, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h));
    img->data = nullptr;  // the pixels belong to the caller
    XDestroyImage(img);
}

// PutPixels for any other TrueColor layout: converts pixel by pixel.
void X11Backend::PutConvertedPixels(Drawable target, const uint32_t *pixels, int stride, int x, int y, int w,
                                    int h) {
    XImage *img = XCreateImage(dpy_, visual_.visual, static_cast<unsigned>(visual_.depth), ZPixmap, 0,
                               nullptr, static_cast<unsigned>(w), static_cast<unsigned>(h), 32, 0);
    if (!img) return;
    img->data =
        static_cast<char *>(std::malloc(static_cast<size_t>(img->bytes_per_line) * static_cast<size_t>(h)));
    if (!img->data) {
        XDestroyImage(img);
        return;
    }
    for (int row = 0; row < h; ++row) {
        const uint32_t *src = pixels + static_cast<size_t>(y + row) * static_cast<size_t>(stride) + x;
        for (int col = 0; col < w; ++col) {
            uint32_t p = src[col];
            unsigned long v = ToMask((p >> 16) & 0xFF, visual_.red_mask) |
                              ToMask((p >> 8) & 0xFF, visual_.green_mask) |
                              ToMask(p & 0xFF, visual_.blue_mask);
            XPutPixel(img, col, row, v);
        }
    }
    XPutImage(dpy_, target, gc_, img, 0, 0, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h));
    XDestroyImage(img);  // frees the buffer we allocated
}

// A block of a window with the 32-bit visual: premultiplied ARGB, opaque
// inside the window's shape and clear (all bits 0) outside it, so that a
// compositing manager shows what lies behind the cut-away parts.
void X11Backend::PutAlphaPixels(const TopLevel &t, const gdi::Surface &surface, const RECT &device) {
    int w = device.right - device.left, h = device.bottom - device.top;
    std::vector<uint32_t> block(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    auto opaque = [&](const RECT &r) {
        int x0 = std::max<int>(r.left, device.left), x1 = std::min<int>(r.right, device.right);
        int y0 = std::max<int>(r.top, device.top), y1 = std::min<int>(r.bottom, device.bottom);
        for (int y = y0; y < y1; ++y) {
            const uint32_t *src = surface.Row(y);
            uint32_t *dst = block.data() + static_cast<size_t>(y - device.top) * static_cast<size_t>(w);
            for (int x = x0; x < x1; ++x) dst[x - device.left] = 0xFF000000u | (src[x] & 0xFFFFFFu);
        }
    };
    if (t.alpha) {
        for (const RECT &r : t.alpha->Rects()) opaque(r);
    } else {
        opaque(device);
    }
    XImage *img =
        XCreateImage(dpy_, argbVisual_.visual, 32, ZPixmap, 0, reinterpret_cast<char *>(block.data()),
                     static_cast<unsigned>(w), static_cast<unsigned>(h), 32, w * 4);
    if (!img) return;
    img->byte_order = NativeByteOrder();
    XInitImage(img);
    XPutImage(dpy_, t.xid, argbGc_, img, 0, 0, device.left, device.top, static_cast<unsigned>(w),
              static_cast<unsigned>(h));
    img->data = nullptr;  // the block frees its pixels
    XDestroyImage(img);
}

}  // namespace win32::display::x11
