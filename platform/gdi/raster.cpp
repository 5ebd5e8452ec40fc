// Filled and outlined primitives. Every primitive reaches the surface
// through FillLogical / FillDevice / FillRegionDevice, i.e. through
// ForEachClipped.
//
// The Win32 pixel rules below are in logical pixels; on a surface at scale
// n/120 one rule maps them to device pixels:
//  - every logical edge v, left or right, top or bottom, lies on device edge
//    DeviceEdge(v) = round(v * n / 120), so fills that tile in logical pixels
//    tile in device pixels (no gap, no overlap);
//  - a device pixel belongs to the logical pixel whose device edges hold it
//    (LogicalPixel), which is how input and GetPixel find their pixel;
//  - a pen of w logical pixels is PenDeviceWidth(w) = max(1, floor(w * n /
//    120)) device pixels across wherever it runs, so an outline has one width
//    all round: a figure's outline lies on the inner side of its logical
//    pixels, against the figure's interior, which is exactly the device
//    rectangle of the logical interior; a line has no inside and lies at the
//    top and left of its logical pixels, running along them from device edge
//    to device edge;
//  - ellipses and regions are worked out at device resolution, on the
//    device edges of their boxes.
// At whole scales every logical pixel is S x S device pixels and a pen w * S
// across: the rules above then are exactly the 1x rules enlarged.
#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/gdi/gdi_private.h"

using namespace win32;

namespace win32::gdi {
namespace {

struct Pen {
    bool visible = false;
    uint32_t pixel = 0;
    int width = 1;
    bool insideFrame = false;
};

Pen CurrentPen(Dc &dc) {
    Pen p;
    GdiObject *o = ObjectOfType(dc.state.pen, OBJ_PEN);
    if (!o || o->null) return p;
    p.visible = true;
    p.pixel = PixelFromColorref(o->color);
    p.width = o->penWidth;
    p.insideFrame = o->insideFrame;
    return p;
}

bool CurrentBrush(Dc &dc, uint32_t *pixel) {
    bool valid;
    return BrushPixel(static_cast<HBRUSH>(dc.state.brush), pixel, &valid);
}

void Normalize(int *l, int *t, int *r, int *b) {
    if (*l > *r) std::swap(*l, *r);
    if (*t > *b) std::swap(*t, *b);
}

// A PS_INSIDEFRAME pen wider than one pixel shrinks the figure so that
// the whole stroke lies inside the box.
void InsideFrame(const Pen &pen, int *l, int *t, int *r, int *b) {
    if (!pen.insideFrame || pen.width <= 1) return;
    const int k = (pen.width - 1) / 2;
    *l += k;
    *t += k;
    *r -= k;
    *b -= k;
}

// What a closed figure (Rectangle, Ellipse) is drawn with. Its box is
// normalised and, for an inside-frame pen, shrunk first.
struct Figure {
    Pen pen;
    bool hasBrush = false;
    uint32_t brush = 0;
    int rop = R2_COPYPEN;
};

Figure PrepareFigure(Dc &dc, int *l, int *t, int *r, int *b) {
    Normalize(l, t, r, b);
    Figure f;
    f.pen = CurrentPen(dc);
    InsideFrame(f.pen, l, t, r, b);
    f.hasBrush = CurrentBrush(dc, &f.brush);
    f.rop = dc.state.rop2;
    return f;
}

// The pixels of `s` whose four neighbours are all in `s`.
Region Interior(const Region &s) {
    Region in = s;
    const int d[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    for (const auto &o : d) {
        Region shifted = s;
        shifted.Offset(o[0], o[1]);
        in.Intersect(shifted);
    }
    return in;
}

// A region in the context's logical coordinates, in device pixels.
Region ToDevice(Region r, const Dc &dc) {
    r.Offset(dc.origin.x, dc.origin.y);
    return r.Scaled(dc.Scale());
}

// Where the square of a pen reaching k logical pixels either side of logical
// pixel v (surface coordinates) starts: the device edge of the first
// logical pixel it covers.
int PenStart(int v, int k, int n) {
    return DeviceEdge(v - k, n);
}

// One ring of one-pixel lines just inside a rectangle whose device box is
// `box`, as a border is drawn at 1x: the top and left lines in `topLeft`,
// then the bottom and right lines in `bottomRight`, which take the
// bottom-left and top-right corners. In device pixels every line of the ring
// is PenDeviceWidth(1) across, the ring `inset` rings in from the box: the
// outermost ring lies on the box's device edges and rings one inside the
// other touch. Only the sides in `sides` (BF_LEFT, ...) are drawn.
void DrawRing(Dc &dc, const RECT &box, int inset, uint32_t topLeft, uint32_t bottomRight, UINT sides) {
    const int w = PenDeviceWidth(1, dc.Scale());
    const RECT b{box.left + inset * w, box.top + inset * w, box.right - inset * w, box.bottom - inset * w};
    if (b.left >= b.right || b.top >= b.bottom) return;
    const int wx = std::min<int>(w, b.right - b.left), wy = std::min<int>(w, b.bottom - b.top);
    if (sides & BF_TOP) FillDevice(dc, RECT{b.left, b.top, b.right - wx, b.top + wy}, topLeft, R2_COPYPEN);
    if (sides & BF_LEFT) FillDevice(dc, RECT{b.left, b.top, b.left + wx, b.bottom - wy}, topLeft, R2_COPYPEN);
    if (sides & BF_BOTTOM)
        FillDevice(dc, RECT{b.left, b.bottom - wy, b.right, b.bottom}, bottomRight, R2_COPYPEN);
    if (sides & BF_RIGHT)
        FillDevice(dc, RECT{b.right - wx, b.top, b.right, b.bottom}, bottomRight, R2_COPYPEN);
}

uint32_t SysPixel(int index) {
    return PixelFromColorref(GetSysColor(index));
}

}  // namespace
}  // namespace win32::gdi

using gdi::Dc;
using gdi::Region;

// FillRect: [left, right) x [top, bottom) in the brush; the context's pen,
// brush and raster operation are neither used nor changed.
int WINAPI FillRect(HDC hdc, const RECT *rc, HBRUSH hbr) {
    Dc *dc = gdi::DrawableDc(hdc);
    if (!dc || !rc) return 0;
    uint32_t pixel;
    bool valid;
    if (!gdi::BrushPixel(hbr, &pixel, &valid)) return valid;
    gdi::FillLogical(*dc, *rc, pixel, R2_COPYPEN);
    return 1;
}

// FrameRect: a one-pixel border just inside [left, right) x [top, bottom).
// On a scaled surface it lies on the rectangle's device edges, one device
// width all round (DrawRing).
int WINAPI FrameRect(HDC hdc, const RECT *rc, HBRUSH hbr) {
    Dc *dc = gdi::DrawableDc(hdc);
    if (!dc || !rc) return 0;
    uint32_t pixel;
    bool valid;
    if (!gdi::BrushPixel(hbr, &pixel, &valid)) return valid;
    if (rc->left >= rc->right || rc->top >= rc->bottom) return 1;
    gdi::DrawRing(*dc, gdi::ToDeviceRect(*dc, *rc), 0, pixel, pixel, BF_RECT);
    return 1;
}

// DrawFocusRect: every other pixel of the one-pixel border inverted, so a
// second call with the same rectangle restores the pixels. On a scaled
// surface the border lies on the rectangle's device edges, one device width
// across, dotted in squares of that width counted from the context's
// origin (so at whole scales the dots are the 1x dots enlarged).
BOOL WINAPI DrawFocusRect(HDC hdc, const RECT *rc) {
    Dc *dc = gdi::DrawableDc(hdc);
    if (!dc || !rc) return FALSE;
    if (rc->left >= rc->right || rc->top >= rc->bottom) return TRUE;
    const RECT b = gdi::ToDeviceRect(*dc, *rc);
    const int w = gdi::PenDeviceWidth(1, dc->Scale());
    const int ox = gdi::DeviceX(*dc, 0), oy = gdi::DeviceY(*dc, 0);
    auto floorDiv = [w](int v) { return v >= 0 ? v / w : -((-v + w - 1) / w); };
    auto dots = [&](const RECT &strip) {
        gdi::ForEachClipped(*dc, strip, [&](const RECT &p) {
            for (LONG y = p.top; y < p.bottom; ++y) {
                uint32_t *row = dc->target->Row(y);
                for (LONG x = p.left; x < p.right; ++x)
                    if (((floorDiv(x - ox) + floorDiv(y - oy)) & 1) == 0) row[x] ^= 0xFFFFFF;
            }
        });
    };
    // A logical pixel is at least w device pixels: the four sides never
    // overlap (one row or column has only its first side).
    const bool tall = rc->bottom - rc->top > 1, wide = rc->right - rc->left > 1;
    dots(RECT{b.left, b.top, b.right, b.top + w});
    if (tall) dots(RECT{b.left, b.bottom - w, b.right, b.bottom});
    dots(RECT{b.left, b.top + w, b.left + w, b.bottom - (tall ? w : 0)});
    if (wide) dots(RECT{b.right - w, b.top + w, b.right, b.bottom - (tall ? w : 0)});
    return TRUE;
}

// DrawEdge: the outer ring (BDR_RAISEDOUTER / BDR_SUNKENOUTER) on the
// rectangle's edges, then the inner ring (BDR_RAISEDINNER /
// BDR_SUNKENINNER) just inside it, each with its top-left and bottom-right
// colours as DrawRing draws them; BF_SOFT trades the top-left colours of the
// two rings, BF_MIDDLE fills what the rings enclose with the button face and
// BF_ADJUST shrinks the rectangle by the rings drawn.
BOOL WINAPI DrawEdge(HDC hdc, LPRECT rc, UINT edge, UINT flags) {
    Dc *dc = gdi::DrawableDc(hdc);
    if (!dc || !rc) return FALSE;
    const bool soft = flags & BF_SOFT;
    struct Ring {
        int topLeft, bottomRight;
    };
    Ring rings[2];
    int count = 0;
    if (edge & BDR_RAISEDOUTER)
        rings[count++] = {soft ? COLOR_BTNHIGHLIGHT : COLOR_3DLIGHT, COLOR_3DDKSHADOW};
    else if (edge & BDR_SUNKENOUTER)
        rings[count++] = {soft ? COLOR_3DDKSHADOW : COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT};
    if (edge & BDR_RAISEDINNER)
        rings[count++] = {soft ? COLOR_3DLIGHT : COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW};
    else if (edge & BDR_SUNKENINNER)
        rings[count++] = {soft ? COLOR_BTNSHADOW : COLOR_3DDKSHADOW, COLOR_3DLIGHT};
    if (rc->left >= rc->right || rc->top >= rc->bottom) return TRUE;
    const RECT box = gdi::ToDeviceRect(*dc, *rc);
    for (int i = 0; i < count; ++i)
        gdi::DrawRing(*dc, box, i, gdi::SysPixel(rings[i].topLeft), gdi::SysPixel(rings[i].bottomRight),
                      flags);
    if (flags & BF_MIDDLE) {
        const int in = count * gdi::PenDeviceWidth(1, dc->Scale());
        const RECT middle{box.left + ((flags & BF_LEFT) ? in : 0), box.top + ((flags & BF_TOP) ? in : 0),
                          box.right - ((flags & BF_RIGHT) ? in : 0),
                          box.bottom - ((flags & BF_BOTTOM) ? in : 0)};
        gdi::FillDevice(*dc, middle, gdi::SysPixel(COLOR_BTNFACE), R2_COPYPEN);
    }
    if (flags & BF_ADJUST) {
        if (flags & BF_LEFT) rc->left += count;
        if (flags & BF_TOP) rc->top += count;
        if (flags & BF_RIGHT) rc->right -= count;
        if (flags & BF_BOTTOM) rc->bottom -= count;
    }
    return TRUE;
}

BOOL WINAPI FillRgn(HDC hdc, HRGN hrgn, HBRUSH hbr) {
    Dc *dc = gdi::DrawableDc(hdc);
    Region *rgn = gdi::RegionFromHandle(hrgn);
    if (!dc || !rgn) return FALSE;
    uint32_t pixel;
    bool valid;
    if (!gdi::BrushPixel(hbr, &pixel, &valid)) return valid;
    gdi::FillRegionDevice(*dc, gdi::ToDevice(*rgn, *dc), pixel, R2_COPYPEN);
    return TRUE;
}

// Rectangle: with a one-pixel pen the outline is columns left and right-1
// and rows top and bottom-1, the brush inside. A pen of odd width w is
// centred on that outline, reaching (w-1)/2 beyond it on each side. With
// the null pen the brush fills [left, right-1) x [top, bottom-1).
//
// In device pixels the brush fills the device rectangle of the logical
// interior and the outline is PenDeviceWidth(w) wide around it, so a fill
// inside the figure meets the outline on all four sides.
BOOL WINAPI Rectangle(HDC hdc, int l, int t, int r, int b) {
    Dc *dc = gdi::DrawableDc(hdc);
    if (!dc) return FALSE;
    const auto [pen, hasBrush, brush, rop] = gdi::PrepareFigure(*dc, &l, &t, &r, &b);
    if (!pen.visible) {
        if (hasBrush) gdi::FillLogical(*dc, RECT{l, t, r - 1, b - 1}, brush, rop);
        return TRUE;
    }
    if (r - l < 1 || b - t < 1) return TRUE;
    const int k = (pen.width - 1) / 2;
    const RECT logicalInner{l + k + 1, t + k + 1, r - k - 1, b - k - 1};
    if (logicalInner.left >= logicalInner.right || logicalInner.top >= logicalInner.bottom) {
        gdi::FillLogical(*dc, RECT{l - k, t - k, r + k, b + k}, pen.pixel, rop);
        return TRUE;
    }
    const int w = gdi::PenDeviceWidth(pen.width, dc->Scale());
    const RECT inner = gdi::ToDeviceRect(*dc, logicalInner);
    const RECT outer{inner.left - w, inner.top - w, inner.right + w, inner.bottom + w};
    gdi::FillDevice(*dc, RECT{outer.left, outer.top, outer.right, inner.top}, pen.pixel, rop);
    gdi::FillDevice(*dc, RECT{outer.left, inner.bottom, outer.right, outer.bottom}, pen.pixel, rop);
    gdi::FillDevice(*dc, RECT{outer.left, inner.top, inner.left, inner.bottom}, pen.pixel, rop);
    gdi::FillDevice(*dc, RECT{inner.right, inner.top, outer.right, inner.bottom}, pen.pixel, rop);
    if (hasBrush) gdi::FillDevice(*dc, inner, brush, rop);
    return TRUE;
}

// Ellipse: the figure is the set of Region::Ellipse for the box. With a
// one-pixel pen its boundary pixels (those with a 4-neighbour outside) take
// the pen and the rest the brush. A wider pen is centred on the curve
// through the centres of the one-pixel outline's extreme pixels (columns
// left and right-1, rows top and bottom-1): it covers the pixels whose
// centres lie within half its width of that curve, measured perpendicular
// to it, and the brush fills the pixels inside the curve that the pen
// leaves. With the null pen the brush fills the figure of
// [left, right-1) x [top, bottom-1), as Rectangle.
//
// On a scaled surface all of this is worked out on the device pixels of the
// box's device edges: the one-pixel outline is the figure's boundary
// PenDeviceWidth(1) pixels deep; a wider pen is w * n / 120 device pixels
// across and its outer edge lies on the device edges of the outline's
// outermost pixels.
BOOL WINAPI Ellipse(HDC hdc, int l, int t, int r, int b) {
    Dc *dc = gdi::DrawableDc(hdc);
    if (!dc) return FALSE;
    const auto [pen, hasBrush, brush, rop] = gdi::PrepareFigure(*dc, &l, &t, &r, &b);
    const int n = dc->Scale();
    const RECT box = gdi::ToDeviceRect(*dc, RECT{l, t, r, b});
    if (!pen.visible) {
        if (hasBrush)
            gdi::FillRegionDevice(
                *dc, Region::Ellipse(box.left, box.top, gdi::DeviceX(*dc, r - 1), gdi::DeviceY(*dc, b - 1)),
                brush, rop);
        return TRUE;
    }
    if (pen.width <= 1) {
        const Region figure = Region::Ellipse(box.left, box.top, box.right, box.bottom);
        Region inner = figure;
        for (int i = gdi::PenDeviceWidth(1, n); i > 0; --i) inner = gdi::Interior(inner);
        Region outline = figure;
        outline.Subtract(inner);
        gdi::FillRegionDevice(*dc, outline, pen.pixel, rop);
        if (hasBrush) gdi::FillRegionDevice(*dc, inner, brush, rop);
        return TRUE;
    }
    // The stroke's outer edge lies half the pen's width beyond the centres
    // of the extreme columns and rows: in device pixels where the device
    // edges put that (for an odd width, on the device edges of the
    // outline's outermost pixels), with the curve half the pen's device
    // width inside it. So the stroke reaches all of the elliptic region of
    // that outer box, as it does at 1x.
    auto device = [&](double v, bool horizontal) {
        const int f = static_cast<int>(std::floor(v));
        const int d0 = horizontal ? gdi::DeviceX(*dc, f) : gdi::DeviceY(*dc, f);
        const int d1 = horizontal ? gdi::DeviceX(*dc, f + 1) : gdi::DeviceY(*dc, f + 1);
        return d0 + (v - f) * (d1 - d0);
    };
    const double reach = pen.width / 2.0 - 0.5, half = pen.width * n / (2.0 * gdi::kScaleOne);
    const double left = device(l - reach, true), right = device(r + reach, true);
    const double top = device(t - reach, false), bottom = device(b + reach, false);
    const double cx = (left + right) / 2, cy = (top + bottom) / 2;
    const double a = (right - left) / 2 - half, bb = (bottom - top) / 2 - half;
    const Region stroke = Region::EllipseStroke(cx, cy, a, bb, half);
    gdi::FillRegionDevice(*dc, stroke, pen.pixel, rop);
    if (hasBrush) {
        Region inner = Region::EllipseInside(cx, cy, a, bb);
        inner.Subtract(stroke);
        gdi::FillRegionDevice(*dc, inner, brush, rop);
    }
    return TRUE;
}

// LineTo: Bresenham from the current position towards (x, y); the end point
// itself is not painted. The current position moves to (x, y). Wider pens
// paint a w x w square centred on each point.
//
// In device pixels each point's square is PenDeviceWidth(w) across, from
// the device edge of its first logical pixel, and a step from one point to
// the next paints the device pixels from the square on towards the next
// point's square, up to where that begins: a line covers its logical pixels
// along its length from device edge to device edge, has one width across,
// and leaves its end point's square to the line that starts there (so an
// etched frame's colours meet at its corners as they do at 1x).
BOOL WINAPI LineTo(HDC hdc, int x, int y) {
    Dc *dc = gdi::DcFromHandle(hdc);
    if (!dc) return FALSE;
    const POINT from = dc->state.cp;
    dc->state.cp = POINT{x, y};
    if (!dc->target) return FALSE;
    const gdi::Pen pen = gdi::CurrentPen(*dc);
    if (!pen.visible) return TRUE;
    const int rop = dc->state.rop2;
    const int k = (pen.width - 1) / 2;
    const int n = dc->Scale();
    const int w = gdi::PenDeviceWidth(pen.width, n);
    // The device span a step paints along one axis: from the square at
    // logical p towards the square at logical q.
    auto along = [&](int p, int q, int origin, LONG *lo, LONG *hi) {
        const int ps = gdi::PenStart(p + origin, k, n), qs = gdi::PenStart(q + origin, k, n);
        *lo = q < p ? std::min(ps, qs + w) : ps;
        *hi = q > p ? std::max(ps + w, qs) : ps + w;
    };
    int cx = from.x, cy = from.y;
    const int dx = std::abs(x - cx), dy = -std::abs(y - cy);
    const int sx = cx < x ? 1 : -1, sy = cy < y ? 1 : -1;
    int err = dx + dy;
    while (cx != x || cy != y) {
        int nx = cx, ny = cy;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            nx += sx;
        }
        if (e2 <= dx) {
            err += dx;
            ny += sy;
        }
        RECT d;
        along(cx, nx, dc->origin.x, &d.left, &d.right);
        along(cy, ny, dc->origin.y, &d.top, &d.bottom);
        gdi::FillDevice(*dc, d, pen.pixel, rop);
        cx = nx;
        cy = ny;
    }
    return TRUE;
}

// ---- rectangle helpers ---------------------------------------------------

BOOL WINAPI SetRect(LPRECT rc, int l, int t, int r, int b) {
    if (!rc) return FALSE;
    *rc = RECT{l, t, r, b};
    return TRUE;
}

BOOL WINAPI SetRectEmpty(LPRECT rc) {
    return SetRect(rc, 0, 0, 0, 0);
}

BOOL WINAPI CopyRect(LPRECT dst, const RECT *src) {
    if (!dst || !src) return FALSE;
    *dst = *src;
    return TRUE;
}

BOOL WINAPI InflateRect(LPRECT rc, int dx, int dy) {
    if (!rc) return FALSE;
    rc->left -= dx;
    rc->right += dx;
    rc->top -= dy;
    rc->bottom += dy;
    return TRUE;
}

BOOL WINAPI OffsetRect(LPRECT rc, int dx, int dy) {
    if (!rc) return FALSE;
    rc->left += dx;
    rc->right += dx;
    rc->top += dy;
    rc->bottom += dy;
    return TRUE;
}

BOOL WINAPI IsRectEmpty(const RECT *rc) {
    return !rc || rc->left >= rc->right || rc->top >= rc->bottom;
}

BOOL WINAPI PtInRect(const RECT *rc, POINT pt) {
    return rc && pt.x >= rc->left && pt.x < rc->right && pt.y >= rc->top && pt.y < rc->bottom;
}

BOOL WINAPI IntersectRect(LPRECT dst, const RECT *a, const RECT *b) {
    if (!dst || !a || !b) return FALSE;
    RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
           std::min(a->bottom, b->bottom)};
    if (IsRectEmpty(&r)) {
        SetRectEmpty(dst);
        return FALSE;
    }
    *dst = r;
    return TRUE;
}

BOOL WINAPI UnionRect(LPRECT dst, const RECT *a, const RECT *b) {
    if (!dst || !a || !b) return FALSE;
    if (IsRectEmpty(a)) {
        *dst = *b;
    } else if (IsRectEmpty(b)) {
        *dst = *a;
    } else {
        *dst = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                    std::max(a->bottom, b->bottom)};
    }
    if (IsRectEmpty(dst)) {
        SetRectEmpty(dst);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI EqualRect(const RECT *a, const RECT *b) {
    return a && b && a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}
