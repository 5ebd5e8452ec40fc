// Private to gdi/: the objects behind GDI handles, the device context, the
// one clipping step and the font machinery.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/common/handles.h"
#include "platform/gdi/gdi_internal.h"

namespace win32::gdi {

// ---- objects -------------------------------------------------------------

struct Font;  // a realized face at one size, below

struct GdiObject {
    UINT type = 0;       // OBJ_PEN, OBJ_BRUSH, OBJ_FONT, OBJ_REGION, OBJ_BITMAP
    bool stock = false;  // never freed, not counted
    int selected = 0;    // how many contexts hold it selected

    // Brushes and pens.
    COLORREF color = 0;
    bool null = false;  // NULL_BRUSH, PS_NULL
    int penWidth = 1;
    bool insideFrame = false;  // PS_INSIDEFRAME: wide pens stay inside the box

    // Fonts.
    LOGFONTA logFont{};
    int stockFont = -1;  // SYSTEM_FONT / SYSTEM_FIXED_FONT realize specially
    Font *realized = nullptr;

    // Regions.
    Region region;

    // Bitmaps.
    Surface bitmap;
};

using ObjectTable = win32::HandleTable<GdiObject>;
ObjectTable &Objects();
GdiObject *ObjectFromHandle(HGDIOBJ h);
GdiObject *ObjectOfType(HGDIOBJ h, UINT type);
HGDIOBJ AddObject(std::unique_ptr<GdiObject> obj);
int RegionComplexity(const Region &r);
size_t StockObjectCount();
// The 1 x 1 bitmap a new memory context holds (stock: never freed).
HGDIOBJ DefaultBitmap();

// ---- device contexts -----------------------------------------------------

struct DcState {
    HGDIOBJ pen = nullptr;
    HGDIOBJ brush = nullptr;
    HGDIOBJ font = nullptr;
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    int rop2 = R2_COPYPEN;
    UINT textAlign = TA_LEFT | TA_TOP | TA_NOUPDATECP;
    POINT cp{0, 0};
    bool hasClip = false;
    Region clip;  // device coordinates relative to the origin
};

struct Dc {
    enum Kind { SurfaceDc, MemoryDc, InfoDc } kind = InfoDc;
    Surface *target = nullptr;  // null for an information context
    POINT origin{0, 0};         // where logical (0, 0) lies on the target
    Region visible;             // target coordinates
    HWND hwnd = nullptr;
    HGDIOBJ bitmap = nullptr;  // memory contexts
    DcState state;
    std::vector<DcState> saved;

    // The clip of every primitive, rebuilt lazily: in the target's logical
    // pixels, and in its device pixels.
    Region effectiveLogical;
    Region effective;
    bool effectiveValid = false;
    // A further rectangle (target coordinates) for the primitive being
    // drawn, e.g. DrawTextA's rectangle.
    std::optional<RECT> extraClip;

    // The target's scale in 120ths (DeviceEdge, LogicalPixel).
    int Scale() const { return target ? target->scale : kScaleOne; }
    void Invalidate() { effectiveValid = false; }
    // In device coordinates of the target (what ForEachClipped uses).
    const Region &Clip();
    // In logical coordinates of the target.
    const Region &LogicalClip();
};

Dc *DcFromHandle(HDC h);
// A context that can be drawn on (not an information context), else null.
Dc *DrawableDc(HDC h);
void InitDcState(DcState *s);
// Changes the selection count when a context takes or drops an object.
void Retain(HGDIOBJ h);
void Release(HGDIOBJ h);

// ---- raster core ---------------------------------------------------------

// The one clipping step: calls fn(piece) for each part of `r` (device
// coordinates of the target, half-open) that lies inside the context's clip.
template <class F>
void ForEachClipped(Dc &dc, RECT r, F &&fn) {
    if (!dc.target) return;
    if (dc.extraClip) {
        const RECT &e = *dc.extraClip;
        if (r.left < e.left) r.left = e.left;
        if (r.top < e.top) r.top = e.top;
        if (r.right > e.right) r.right = e.right;
        if (r.bottom > e.bottom) r.bottom = e.bottom;
    }
    if (r.left >= r.right || r.top >= r.bottom) return;
    for (const RECT &c : dc.Clip().Rects()) {
        if (c.top >= r.bottom) break;
        if (c.bottom <= r.top || c.right <= r.left || c.left >= r.right) continue;
        RECT p{c.left > r.left ? c.left : r.left, c.top > r.top ? c.top : r.top,
               c.right < r.right ? c.right : r.right, c.bottom < r.bottom ? c.bottom : r.bottom};
        fn(p);
    }
}

// Binary raster operation (R2_*) of a pen or brush colour onto a pixel.
inline uint32_t Rop2(int rop, uint32_t pen, uint32_t dst) {
    const uint32_t v = static_cast<uint32_t>(rop - 1) & 15;
    uint32_t out = 0;
    if (v & 1) out |= ~pen & ~dst;
    if (v & 2) out |= ~pen & dst;
    if (v & 4) out |= pen & ~dst;
    if (v & 8) out |= pen & dst;
    return out & 0xFFFFFF;
}

// `src` over `dst` by alpha / 256 (0..256), channel by channel.
inline uint32_t BlendPixel(uint32_t dst, uint32_t src, unsigned alpha) {
    if (alpha >= 256) return src;
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int d = (dst >> shift) & 0xFF, s = (src >> shift) & 0xFF;
        out |= static_cast<uint32_t>(d + (((s - d) * static_cast<int>(alpha) + 128) >> 8)) << shift;
    }
    return out;
}

// Logical coordinates of the context to device coordinates of its target:
// each edge by DeviceEdge, after the context's origin.
inline int DeviceX(const Dc &dc, int x) {
    return DeviceEdge(x + dc.origin.x, dc.Scale());
}
inline int DeviceY(const Dc &dc, int y) {
    return DeviceEdge(y + dc.origin.y, dc.Scale());
}
RECT ToDeviceRect(const Dc &dc, RECT r);
// Fills a rectangle (logical coordinates, half-open) with a colour through
// the clip, combining by `rop` (R2_*): the device pixels between its edges'
// device edges.
void FillLogical(Dc &dc, RECT r, uint32_t pixel, int rop);
// Fills a rectangle or a region given in device coordinates of the target.
void FillDevice(Dc &dc, const RECT &r, uint32_t pixel, int rop);
void FillRegionDevice(Dc &dc, const Region &rgn, uint32_t pixel, int rop);

// The brush colour of a handle, or (HBRUSH)(COLOR_x + 1). False for a null
// brush or a bad handle.
bool BrushPixel(HBRUSH hbr, uint32_t *pixel, bool *valid);

// ---- fonts ---------------------------------------------------------------

// A glyph rasterized at one device size.
struct Glyph {
    int left = 0;  // bitmap offset from the pen position, device pixels
    int top = 0;   // rows above the baseline
    int width = 0;
    int height = 0;
    std::vector<uint8_t> coverage;  // width*height, 0..255
};

struct Font {
    std::string family;
    TEXTMETRICA tm{};
    int underlinePos = 0;  // rows below the baseline of the underline's top
    int underlineThickness = 1;
    int strikePos = 0;  // rows above the baseline
    bool underline = false;
    bool strikeOut = false;
    // The advance of an ANSI byte in logical pixels: from the face's
    // hinted outline at the font's size, never rasterized. Cached.
    int Advance(unsigned char c);
    // The glyph rasterized for drawing at display scale n (120ths), at the
    // font's size in pixels per em mapped by DeviceEdge; made on first use.
    const Glyph &GlyphAt(unsigned char c, int n);
    // The face's ascent and descent at the size GlyphAt draws for scale n,
    // device pixels: every glyph of that size lies within them.
    void DeviceMetrics(int n, int *ascent, int *descent);

    struct Impl;
    std::unique_ptr<Impl> impl;
    ~Font();
};

// The realized font behind a font object (null for a bad handle).
Font *FontOf(HGDIOBJ hfont);
Font *StockFont(int which);
// Advance widths of a string: the routine both measuring and drawing use.
int TextWidth(Font &f, const char *s, int n);
// Draws one line of text with its cell's top-left at logical (x, y).
// Fills the cell background when `opaque`. Returns the advance width.
int DrawTextLine(Dc &dc, Font &f, int x, int y, const char *s, int n, bool opaque);

}  // namespace win32::gdi
