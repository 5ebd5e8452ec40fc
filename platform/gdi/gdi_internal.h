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

// Display scales: a window is drawn at n/120 device pixels for each logical
// pixel, n from 120 (1x) to 480 (4x), in steps of 1/120 (Wayland's
// fractional scales are in 120ths).
constexpr int kScaleOne = 120;
constexpr int kScaleMax = 480;

// The one rule between logical and device pixels at scale n. Logical edge v
// (a rectangle's left or right, top or bottom alike) lies on device edge
// round(v * n / 120), halves rounded up, so rectangles that tile in logical
// pixels tile in device pixels and a surface of w logical pixels is
// round(w * n / 120) device pixels wide. Logical pixel v covers the device
// pixels [DeviceEdge(v), DeviceEdge(v + 1)), at least one.
constexpr int DeviceEdge(int v, int n) {
    if (n == kScaleOne) return v;
    const int64_t t = int64_t{v} * n + kScaleOne / 2;
    return static_cast<int>(t >= 0 ? t / kScaleOne : -((-t + kScaleOne - 1) / kScaleOne));
}
// The logical pixel whose device pixels hold device pixel p: the v with
// DeviceEdge(v) <= p < DeviceEdge(v + 1). For a device size, the logical
// size that DeviceEdge maps to it (or the largest that fits).
constexpr int LogicalPixel(int p, int n) {
    if (n == kScaleOne) return p;
    const int64_t t = int64_t{p} * kScaleOne + kScaleOne / 2 - 1;
    return static_cast<int>(t >= 0 ? t / n : -((-t + n - 1) / n));
}
// Device pixels across a pen of `width` logical pixels: the whole device
// pixels it fills, at least one, so a pen has one width all around a figure
// (a border rounded down, as browsers snap borders).
constexpr int PenDeviceWidth(int width, int n) {
    const int64_t w = int64_t{width} * n / kScaleOne;
    return w < 1 ? 1 : static_cast<int>(w);
}

// 32-bit XRGB pixels, 0x00RRGGBB, rows top to bottom, no padding.
// `width` and `height` count device pixels; a window's surface at display
// scale n (120ths) holds DeviceEdge(w, n) x DeviceEdge(h, n) device pixels
// for a client area of w x h logical pixels, a memory bitmap one device
// pixel for each logical one.
struct Surface {
    int width = 0;
    int height = 0;
    int scale = kScaleOne;
    std::vector<uint32_t> pixels;

    int LogicalWidth() const { return LogicalPixel(width, scale); }
    int LogicalHeight() const { return LogicalPixel(height, scale); }

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

    // The region in device pixels at scale n (120ths): every edge mapped by
    // DeviceEdge, except that a region still exactly an Ellipse() (perhaps
    // moved) follows the ellipse computed at device resolution where that
    // stays within the mapped pixels.
    Region Scaled(int n) const;

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
