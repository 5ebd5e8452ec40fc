// Internal to the layer: what the rest of it needs from GDI, beyond the
// public Win32 calls.
//
// The window manager (user/) owns one Surface per top-level window and asks
// GDI for device contexts that draw into it with a window's origin and
// visible region. The resource reader turns icon images into HICONs. The
// display back-ends present surfaces and read regions.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace win32::gdi {

// 32-bit XRGB pixels, 0x00RRGGBB, rows top to bottom, no padding.
// `width` and `height` count device pixels; a window's surface at display
// scale S holds S x S device pixels for each logical pixel the program
// draws, a memory bitmap always one.
struct Surface {
    int width = 0;
    int height = 0;
    int scale = 1;
    std::vector<uint32_t> pixels;

    int LogicalWidth() const { return width / scale; }
    int LogicalHeight() const { return height / scale; }

    void Resize(int w, int h, uint32_t fill = 0);
    uint32_t *Row(int y) { return pixels.data() + static_cast<size_t>(y) * width; }
    const uint32_t *Row(int y) const { return pixels.data() + static_cast<size_t>(y) * width; }
};

// COLORREF (0x00BBGGRR) <-> surface pixel (0x00RRGGBB).
inline uint32_t PixelFromColorref(COLORREF c) {
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
inline COLORREF ColorrefFromPixel(uint32_t p) {
    return ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16);
}

// A set of pixels as y-x banded, half-open rectangles: bands sorted by top,
// non-overlapping; rectangles within a band sorted by left, non-touching;
// every band as tall as its rectangles.
class Region {
public:
    Region() = default;
    explicit Region(const RECT &r);
    static Region Ellipse(int left, int top, int right, int bottom);
    // For the ellipse centred at (cx, cy) with semi-axes a and b, in
    // continuous coordinates where pixel (x, y) has its centre at
    // (x + 0.5, y + 0.5): the pixels whose centres lie within `half` of the
    // curve (a pen of width 2 * half centred on it, its width measured
    // perpendicular to the curve), and those whose centres lie inside it.
    static Region EllipseStroke(double cx, double cy, double a, double b, double half);
    static Region EllipseInside(double cx, double cy, double a, double b);

    // The region at `scale` device pixels per logical pixel: every
    // rectangle scaled, except that a region still exactly an Ellipse()
    // (perhaps moved) follows the ellipse computed at device resolution
    // where that stays within the scaled pixels.
    Region Scaled(int scale) const;

    bool Empty() const { return rects_.empty(); }
    RECT Bounds() const;
    bool Contains(int x, int y) const;
    const std::vector<RECT> &Rects() const { return rects_; }

    void Union(const Region &other);
    void Intersect(const Region &other);
    void Subtract(const Region &other);
    void Offset(int dx, int dy);

    // True when the invariants above hold; for tests.
    bool SelfCheck() const;

    bool operator==(const Region &other) const;

private:
    std::vector<RECT> rects_;
    std::optional<RECT> ellipse_;  // the Ellipse() box while the region is exactly that
    friend class RegionBuilder;
};

// The Region behind an HRGN, or null for a stale or non-region handle.
Region *RegionFromHandle(HRGN h);
// A new HRGN holding a copy of the region.
HRGN CreateRegionHandle(const Region &r);

// Device contexts that draw into a surface (window and paint contexts).
// `origin` is where the window's (0, 0) lies on the surface; `clip` is in
// surface coordinates and limits every primitive. The context starts with
// the default state (black pen, white brush, system font, white background,
// black text, opaque). `hwnd` is what WindowFromDC would answer.
HDC CreateSurfaceDC(Surface *target, POINT origin, const Region &clip, HWND hwnd);
void SetSurfaceDCClip(HDC hdc, POINT origin, const Region &clip);
BOOL DeleteSurfaceDC(HDC hdc);
// Surface and window of a context, for the window manager.
Surface *SurfaceOfDC(HDC hdc);

// An icon from colour pixels (0x00RRGGBB) and a mask (one byte per pixel,
// non-zero = transparent), both w*h, rows top to bottom. DrawIcon draws it
// at its own size. Icons are GDI-independent objects (HandleKind::Icon).
HICON CreateIconFromPixels(int w, int h, const uint32_t *colors, const uint8_t *mask);
// Reads an icon back (for PNG export and back-ends). False for a bad handle.
bool IconPixels(HICON icon, int *w, int *h, std::vector<uint32_t> *colors, std::vector<uint8_t> *mask);

// Whether the system font and the system fixed font found a face that
// gives readable text (else they draw nothing); the start-up asks.
bool StockFontsReadable();

// Metrics of the stock fonts without a DC (for list box defaults etc.).
bool StockFontMetrics(int stockFont, TEXTMETRICA *tm);

// Logical pixels per inch reported by GetDeviceCaps(LOGPIXELSX/Y). The
// program always sees win32::classic::kDefaultDpi, whatever the desktop's
// resolution (the display scales instead); tests may change it.
void SetLogicalDpi(int dpi);
int LogicalDpi();

// The screen's size in logical pixels, for GetDeviceCaps(HORZRES/VERTRES):
// the window manager tells it whenever it learns it from the display. Until
// then (or with no display at all) the classic default.
void SetScreenSize(SIZE size);

// Writes a surface as an 8-bit RGB PNG. False on failure.
bool WritePng(const Surface &s, const char *path);

}  // namespace win32::gdi
