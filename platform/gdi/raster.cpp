// Filled and outlined primitives. Every primitive reaches the surface
// through FillLogical / FillRegionDevice, i.e. through ForEachClipped.
#include <algorithm>
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
int WINAPI FrameRect(HDC hdc, const RECT *rc, HBRUSH hbr) {
    Dc *dc = gdi::DrawableDc(hdc);
    if (!dc || !rc) return 0;
    uint32_t pixel;
    bool valid;
    if (!gdi::BrushPixel(hbr, &pixel, &valid)) return valid;
    const RECT r = *rc;
    if (r.left >= r.right || r.top >= r.bottom) return 1;
    gdi::FillLogical(*dc, RECT{r.left, r.top, r.right, r.top + 1}, pixel, R2_COPYPEN);
    if (r.bottom - r.top > 1)
        gdi::FillLogical(*dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, pixel, R2_COPYPEN);
    gdi::FillLogical(*dc, RECT{r.left, r.top + 1, r.left + 1, r.bottom - 1}, pixel, R2_COPYPEN);
    if (r.right - r.left > 1)
        gdi::FillLogical(*dc, RECT{r.right - 1, r.top + 1, r.right, r.bottom - 1}, pixel, R2_COPYPEN);
    return 1;
}

// DrawFocusRect: every other pixel of the one-pixel border inverted, so a
// second call with the same rectangle restores the pixels.
BOOL WINAPI DrawFocusRect(HDC hdc, const RECT *rc) {
    Dc *dc = gdi::DrawableDc(hdc);
    if (!dc || !rc) return FALSE;
    const RECT r = *rc;
    if (r.left >= r.right || r.top >= r.bottom) return TRUE;
    auto dot = [&](int x, int y) {
        if (((x + y) & 1) == 0) gdi::FillLogical(*dc, RECT{x, y, x + 1, y + 1}, 0xFFFFFF, R2_XORPEN);
    };
    for (int x = r.left; x < r.right; ++x) {
        dot(x, r.top);
        if (r.bottom - 1 > r.top) dot(x, r.bottom - 1);
    }
    for (int y = r.top + 1; y < r.bottom - 1; ++y) {
        dot(r.left, y);
        if (r.right - 1 > r.left) dot(r.right - 1, y);
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
    const RECT outer{l - k, t - k, r + k, b + k};
    RECT inner{l + k + 1, t + k + 1, r - k - 1, b - k - 1};
    if (inner.left >= inner.right || inner.top >= inner.bottom) {
        gdi::FillLogical(*dc, outer, pen.pixel, rop);
        return TRUE;
    }
    gdi::FillLogical(*dc, RECT{outer.left, outer.top, outer.right, inner.top}, pen.pixel, rop);
    gdi::FillLogical(*dc, RECT{outer.left, inner.bottom, outer.right, outer.bottom}, pen.pixel, rop);
    gdi::FillLogical(*dc, RECT{outer.left, inner.top, inner.left, inner.bottom}, pen.pixel, rop);
    gdi::FillLogical(*dc, RECT{inner.right, inner.top, outer.right, inner.bottom}, pen.pixel, rop);
    if (hasBrush) gdi::FillLogical(*dc, inner, brush, rop);
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
// On a surface of S device pixels a logical pixel, all of this is worked
// out on the device pixels of the box scaled by S: the one-pixel outline is
// the figure's boundary S pixels deep, and a pen of width w covers w * S.
BOOL WINAPI Ellipse(HDC hdc, int l, int t, int r, int b) {
    Dc *dc = gdi::DrawableDc(hdc);
    if (!dc) return FALSE;
    const auto [pen, hasBrush, brush, rop] = gdi::PrepareFigure(*dc, &l, &t, &r, &b);
    const int k = dc->Scale();
    const RECT box = gdi::ToDeviceRect(*dc, RECT{l, t, r, b});
    if (!pen.visible) {
        if (hasBrush)
            gdi::FillRegionDevice(*dc, Region::Ellipse(box.left, box.top, box.right - k, box.bottom - k),
                                  brush, rop);
        return TRUE;
    }
    if (pen.width <= 1) {
        const Region figure = Region::Ellipse(box.left, box.top, box.right, box.bottom);
        Region inner = figure;
        for (int i = 0; i < k; ++i) inner = gdi::Interior(inner);
        Region outline = figure;
        outline.Subtract(inner);
        gdi::FillRegionDevice(*dc, outline, pen.pixel, rop);
        if (hasBrush) gdi::FillRegionDevice(*dc, inner, brush, rop);
        return TRUE;
    }
    const double cx = (box.left + box.right) / 2.0, cy = (box.top + box.bottom) / 2.0;
    const double a = (r - l - 1) * k / 2.0, bb = (b - t - 1) * k / 2.0;
    const Region stroke = Region::EllipseStroke(cx, cy, a, bb, pen.width * k / 2.0);
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
    int cx = from.x, cy = from.y;
    const int dx = std::abs(x - cx), dy = -std::abs(y - cy);
    const int sx = cx < x ? 1 : -1, sy = cy < y ? 1 : -1;
    int err = dx + dy;
    while (cx != x || cy != y) {
        gdi::FillLogical(*dc, RECT{cx - k, cy - k, cx + k + 1, cy + k + 1}, pen.pixel, rop);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            cx += sx;
        }
        if (e2 <= dx) {
            err += dx;
            cy += sy;
        }
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
