// Regions: y-x banded, half-open rectangles in canonical form (adjacent
// bands with equal spans are merged), so equal sets compare equal. The
// set operations walk the bands of both operands together.
#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/gdi/gdi_private.h"

using namespace win32;

namespace win32::gdi {

namespace {

struct Span {
    LONG left, right;
    bool operator==(const Span &o) const { return left == o.left && right == o.right; }
};

// Appends a band to a rectangle list, merging it into the band above when
// that band ends where this one starts and has the same spans.
class BandWriter {
public:
    explicit BandWriter(std::vector<RECT> *out) : out_(out) {}

    void Add(LONG top, LONG bottom, const std::vector<Span> &spans) {
        if (spans.empty() || top >= bottom) return;
        if (prevBottom_ == top && prevSpans_ == spans) {
            for (size_t i = out_->size() - spans.size(); i < out_->size(); ++i) (*out_)[i].bottom = bottom;
        } else {
            for (const Span &s : spans) out_->push_back(RECT{s.left, top, s.right, bottom});
            prevSpans_ = spans;
        }
        prevBottom_ = bottom;
    }

private:
    std::vector<RECT> *out_;
    std::vector<Span> prevSpans_;
    LONG prevBottom_ = 0;
};

// Spans of a banded list in the band that covers y (the list's bands are
// walked forwards only; `pos` remembers where).
void SpansAt(const std::vector<RECT> &rects, size_t *pos, LONG y, std::vector<Span> *spans) {
    spans->clear();
    while (*pos < rects.size() && rects[*pos].bottom <= y) ++*pos;
    size_t i = *pos;
    if (i >= rects.size() || rects[i].top > y) return;
    const LONG top = rects[i].top;
    for (; i < rects.size() && rects[i].top == top; ++i)
        spans->push_back(Span{rects[i].left, rects[i].right});
}

enum class Op { Union, Intersect, Subtract, Xor };

bool Inside(Op op, bool a, bool b) {
    switch (op) {
        case Op::Union:
            return a || b;
        case Op::Intersect:
            return a && b;
        case Op::Subtract:
            return a && !b;
        case Op::Xor:
            return a != b;
    }
    return false;
}

void CombineSpans(Op op, const std::vector<Span> &a, const std::vector<Span> &b, std::vector<Span> *out) {
    out->clear();
    size_t ia = 0, ib = 0;
    LONG x = std::min(a.empty() ? 0 : a[0].left, b.empty() ? 0 : b[0].left);
    if (a.empty() && !b.empty()) x = b[0].left;
    if (b.empty() && !a.empty()) x = a[0].left;
    while (ia < a.size() || ib < b.size()) {
        const bool inA = ia < a.size() && a[ia].left <= x;
        const bool inB = ib < b.size() && b[ib].left <= x;
        // The next x where membership changes.
        LONG next = std::numeric_limits<LONG>::max();
        if (ia < a.size()) next = std::min(next, inA ? a[ia].right : a[ia].left);
        if (ib < b.size()) next = std::min(next, inB ? b[ib].right : b[ib].left);
        if (Inside(op, inA, inB) && next > x) {
            if (!out->empty() && out->back().right == x)
                out->back().right = next;
            else
                out->push_back(Span{x, next});
        }
        x = next;
        if (ia < a.size() && a[ia].right <= x) ++ia;
        if (ib < b.size() && b[ib].right <= x) ++ib;
    }
}

std::vector<RECT> Combine(Op op, const std::vector<RECT> &a, const std::vector<RECT> &b) {
    std::vector<LONG> ys;
    ys.reserve(2 * (a.size() + b.size()));
    for (const RECT &r : a) ys.push_back(r.top), ys.push_back(r.bottom);
    for (const RECT &r : b) ys.push_back(r.top), ys.push_back(r.bottom);
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());

    std::vector<RECT> out;
    BandWriter writer(&out);
    std::vector<Span> sa, sb, sc;
    size_t pa = 0, pb = 0;
    for (size_t i = 0; i + 1 < ys.size(); ++i) {
        SpansAt(a, &pa, ys[i], &sa);
        SpansAt(b, &pb, ys[i], &sb);
        CombineSpans(op, sa, sb, &sc);
        writer.Add(ys[i], ys[i + 1], sc);
    }
    return out;
}

LONG FloorDiv2(int64_t v) {
    return static_cast<LONG>(v >= 0 ? v / 2 : -((-v + 1) / 2));
}

// Distance from (u, v) to the ellipse x^2/a^2 + y^2/b^2 = 1 centred at the
// origin. The nearest point (x, y) satisfies x = a^2 u / (t + a^2),
// y = b^2 v / (t + b^2) for the one root t > -min(a^2, b^2) of
// (a u / (t + a^2))^2 + (b v / (t + b^2))^2 = 1, found by bisection.
double EllipseDistance(double a, double b, double u, double v) {
    u = std::fabs(u);
    v = std::fabs(v);
    if (a < b) {
        std::swap(a, b);
        std::swap(u, v);
    }
    // Now a >= b.
    if (v == 0) {
        // On the major axis: inside near the centre the nearest point is
        // off the axis.
        const double denom = a * a - b * b;
        if (a * u < denom) {
            const double xa = a * u / denom;
            const double x = a * xa, y = b * std::sqrt(std::max(0.0, 1 - xa * xa));
            return std::hypot(x - u, y);
        }
        return std::fabs(u - a);
    }
    if (u == 0) return std::fabs(v - b);
    const double z0 = u / a, z1 = v / b;
    const double g = z0 * z0 + z1 * z1 - 1;
    if (g == 0) return 0;
    // In units of b^2: s = t / b^2, r0 = (a / b)^2.
    const double r0 = (a / b) * (a / b), n0 = r0 * z0;
    double s0 = z1 - 1, s1 = g < 0 ? 0 : std::hypot(n0, z1) - 1, s = 0;
    for (int i = 0; i < 200; ++i) {
        s = (s0 + s1) / 2;
        if (s == s0 || s == s1) break;
        const double q0 = n0 / (s + r0), q1 = z1 / (s + 1);
        const double gs = q0 * q0 + q1 * q1 - 1;
        if (gs > 0)
            s0 = s;
        else if (gs < 0)
            s1 = s;
        else
            break;
    }
    const double x = r0 * u / (s + r0), y = v / (s + 1);
    return std::hypot(x - u, y - v);
}

// Half the chord of the ellipse scaled by `rho` at height dy from the
// centre, or -1 where the row misses it.
double HalfChord(double a, double b, double rho, double dy) {
    const double q = rho * rho - (dy * dy) / (b * b);
    return q < 0 ? -1 : a * std::sqrt(q);
}

}  // namespace

Region::Region(const RECT &r) {
    if (r.left < r.right && r.top < r.bottom) rects_.push_back(r);
}

// The pixels of the box [left, right) x [top, bottom) whose centres lie in
// the ellipse inscribed in the box. Ellipse() fills this set for its box;
// CreateEllipticRgn takes its right and bottom edges as exclusive and so
// covers one column and one row less.
Region Region::Ellipse(int left, int top, int right, int bottom) {
    Region out;
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    const int64_t w = right - left, h = bottom - top;
    if (w <= 0 || h <= 0) return out;
    BandWriter writer(&out.rects_);
    std::vector<Span> spans(1);
    const int64_t w2 = w * w, h2 = h * h;
    for (int y = top; y < bottom; ++y) {
        // In doubled coordinates around the centre: pixel centre
        // (X, Y) = (2x + 1 - (l + r), 2y + 1 - (t + b)) lies inside when
        // X^2 h^2 + Y^2 w^2 <= w^2 h^2.
        const int64_t Y = 2 * int64_t{y} + 1 - (int64_t{top} + bottom);
        const int64_t limit = w2 * (h2 - Y * Y);  // compared with X^2 h^2
        if (limit < 0) continue;
        int64_t s = static_cast<int64_t>(std::sqrt(static_cast<double>(limit) / static_cast<double>(h2)));
        while ((s + 1) * (s + 1) * h2 <= limit) ++s;
        while (s > 0 && s * s * h2 > limit) --s;
        // x range with |2x + 1 - (l + r)| <= s.
        const int64_t sum = int64_t{left} + right - 1;
        LONG x0 = -FloorDiv2(s - sum);  // ceil((sum - s) / 2)
        LONG x1 = FloorDiv2(s + sum);
        if (x0 < left) x0 = left;
        if (x1 > right - 1) x1 = right - 1;
        if (x0 > x1) continue;
        spans[0] = Span{x0, x1 + 1};
        writer.Add(y, y + 1, spans);
    }
    out.ellipse_ = RECT{left, top, right, bottom};
    return out;
}

Region Region::EllipseStroke(double cx, double cy, double a, double b, double half) {
    Region out;
    if (half <= 0) return out;
    // A curve that degenerates to a segment or a point still has a stroke.
    a = std::max(a, 1e-3);
    b = std::max(b, 1e-3);
    // Every point within `half` of the curve lies between the ellipses
    // scaled by 1 -+ half / min(a, b): only pixels there are measured.
    const double spread = half / std::min(a, b);
    const double outer = 1 + spread, inner = 1 - spread;
    BandWriter writer(&out.rects_);
    std::vector<Span> spans;
    const int y0 = static_cast<int>(std::floor(cy - b - half - 1));
    const int y1 = static_cast<int>(std::ceil(cy + b + half + 1));
    for (int y = y0; y <= y1; ++y) {
        const double dy = y + 0.5 - cy;
        const double ho = HalfChord(a, b, outer, dy);
        if (ho < 0) continue;
        const double hi = inner > 0 ? HalfChord(a, b, inner, dy) : -1;
        spans.clear();
        auto scan = [&](double from, double to) {
            const int x0 = static_cast<int>(std::floor(from - 0.5)),
                      x1 = static_cast<int>(std::ceil(to - 0.5));
            for (int x = x0; x <= x1; ++x) {
                if (EllipseDistance(a, b, x + 0.5 - cx, dy) > half) continue;
                if (!spans.empty() && spans.back().right == x)
                    spans.back().right = x + 1;
                else if (spans.empty() || spans.back().right < x)
                    spans.push_back(Span{x, x + 1});
            }
        };
        if (hi < 0) {
            scan(cx - ho, cx + ho);
        } else {
            scan(cx - ho, cx - hi);
            scan(cx + hi, cx + ho);
        }
        writer.Add(y, y + 1, spans);
    }
    return out;
}

Region Region::EllipseInside(double cx, double cy, double a, double b) {
    Region out;
    if (a <= 0 || b <= 0) return out;
    BandWriter writer(&out.rects_);
    std::vector<Span> spans(1);
    const int y0 = static_cast<int>(std::floor(cy - b)), y1 = static_cast<int>(std::ceil(cy + b));
    for (int y = y0; y <= y1; ++y) {
        const double h = HalfChord(a, b, 1, y + 0.5 - cy);
        if (h < 0) continue;
        // Centres x + 0.5 strictly inside: |x + 0.5 - cx| < h.
        const LONG x0 = static_cast<LONG>(std::floor(cx - h - 0.5)) + 1;
        const LONG x1 = static_cast<LONG>(std::ceil(cx + h - 0.5));
        if (x0 >= x1) continue;
        spans[0] = Span{x0, x1};
        writer.Add(y, y + 1, spans);
    }
    return out;
}

RECT Region::Bounds() const {
    if (rects_.empty()) return RECT{0, 0, 0, 0};
    RECT b = rects_.front();
    for (const RECT &r : rects_) {
        b.left = std::min(b.left, r.left);
        b.right = std::max(b.right, r.right);
    }
    b.bottom = rects_.back().bottom;
    return b;
}

bool Region::Contains(int x, int y) const {
    for (const RECT &r : rects_) {
        if (r.top > y) break;
        if (y < r.bottom && x >= r.left && x < r.right) return true;
    }
    return false;
}

void Region::Union(const Region &other) {
    if (other.rects_.empty()) return;
    ellipse_.reset();
    if (rects_.empty()) {
        rects_ = other.rects_;
        return;
    }
    rects_ = Combine(Op::Union, rects_, other.rects_);
}

void Region::Intersect(const Region &other) {
    if (rects_.empty()) return;
    ellipse_.reset();
    if (other.rects_.empty()) {
        rects_.clear();
        return;
    }
    rects_ = Combine(Op::Intersect, rects_, other.rects_);
}

void Region::Subtract(const Region &other) {
    if (rects_.empty() || other.rects_.empty()) return;
    ellipse_.reset();
    rects_ = Combine(Op::Subtract, rects_, other.rects_);
}

void Region::Offset(int dx, int dy) {
    for (RECT &r : rects_) {
        r.left += dx;
        r.right += dx;
        r.top += dy;
        r.bottom += dy;
    }
    if (ellipse_) {
        ellipse_->left += dx;
        ellipse_->right += dx;
        ellipse_->top += dy;
        ellipse_->bottom += dy;
    }
}

Region Region::Scaled(int n) const {
    if (n == kScaleOne) return *this;
    // DeviceEdge is strictly increasing, so the bands stay sorted, apart and
    // merged as they were: the result is canonical without combining.
    Region out;
    out.rects_.reserve(rects_.size());
    for (const RECT &r : rects_)
        out.rects_.push_back(RECT{DeviceEdge(r.left, n), DeviceEdge(r.top, n), DeviceEdge(r.right, n),
                                  DeviceEdge(r.bottom, n)});
    if (ellipse_) {
        const RECT &e = *ellipse_;
        out.Intersect(Ellipse(DeviceEdge(e.left, n), DeviceEdge(e.top, n), DeviceEdge(e.right, n),
                              DeviceEdge(e.bottom, n)));
    }
    return out;
}

bool Region::SelfCheck() const {
    size_t i = 0;
    LONG prevBottom = std::numeric_limits<LONG>::min();
    std::vector<Span> prev, cur;
    while (i < rects_.size()) {
        const LONG top = rects_[i].top, bottom = rects_[i].bottom;
        if (top >= bottom || top < prevBottom) return false;
        cur.clear();
        for (; i < rects_.size() && rects_[i].top == top; ++i) {
            const RECT &r = rects_[i];
            if (r.bottom != bottom || r.left >= r.right) return false;
            if (!cur.empty() && r.left <= cur.back().right) return false;
            cur.push_back(Span{r.left, r.right});
        }
        if (top == prevBottom && cur == prev) return false;  // should have been merged
        prev.swap(cur);
        prevBottom = bottom;
    }
    return true;
}

bool Region::operator==(const Region &other) const {
    if (rects_.size() != other.rects_.size()) return false;
    for (size_t i = 0; i < rects_.size(); ++i) {
        const RECT &a = rects_[i], &b = other.rects_[i];
        if (a.left != b.left || a.top != b.top || a.right != b.right || a.bottom != b.bottom) return false;
    }
    return true;
}

// ---- HRGN ------------------------------------------------------------------

Region *RegionFromHandle(HRGN h) {
    GdiObject *o = ObjectOfType(h, OBJ_REGION);
    return o ? &o->region : nullptr;
}

HRGN CreateRegionHandle(const Region &r) {
    auto o = std::make_unique<GdiObject>();
    o->type = OBJ_REGION;
    o->region = r;
    return static_cast<HRGN>(AddObject(std::move(o)));
}

namespace {
int Complexity(const Region &r) {
    if (r.Empty()) return NULLREGION;
    return r.Rects().size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}
}  // namespace

int RegionComplexity(const Region &r) {
    return Complexity(r);
}

}  // namespace win32::gdi

using gdi::Region;

HRGN WINAPI CreateRectRgn(int x1, int y1, int x2, int y2) {
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    return gdi::CreateRegionHandle(Region(RECT{x1, y1, x2, y2}));
}

// CreateEllipticRgn: the ellipse inscribed in [x1, x2 - 1) x [y1, y2 - 1),
// so (0, 0, 361, 193) ends at column 359 and row 191, inside the outline
// that a three-pixel pen draws for Ellipse(1, 1, 359, 191).
HRGN WINAPI CreateEllipticRgn(int x1, int y1, int x2, int y2) {
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    return gdi::CreateRegionHandle(Region::Ellipse(x1, y1, x2 - 1, y2 - 1));
}

int WINAPI CombineRgn(HRGN dst, HRGN src1, HRGN src2, int mode) {
    Region *d = gdi::RegionFromHandle(dst);
    Region *a = gdi::RegionFromHandle(src1);
    if (!d || !a) return ERROR;
    if (mode == RGN_COPY) {
        *d = *a;
        return gdi::RegionComplexity(*d);
    }
    Region *b = gdi::RegionFromHandle(src2);
    if (!b) return ERROR;
    Region result = *a;
    switch (mode) {
        case RGN_AND:
            result.Intersect(*b);
            break;
        case RGN_OR:
            result.Union(*b);
            break;
        case RGN_DIFF:
            result.Subtract(*b);
            break;
        case RGN_XOR: {
            Region other = *b;
            other.Subtract(*a);
            result.Subtract(*b);
            result.Union(other);
            break;
        }
        default:
            return ERROR;
    }
    *d = std::move(result);
    return gdi::RegionComplexity(*d);
}

BOOL WINAPI PtInRegion(HRGN h, int x, int y) {
    Region *r = gdi::RegionFromHandle(h);
    return r && r->Contains(x, y);
}

int WINAPI GetRgnBox(HRGN h, LPRECT rc) {
    Region *r = gdi::RegionFromHandle(h);
    if (!r || !rc) return ERROR;
    *rc = r->Bounds();
    return gdi::RegionComplexity(*r);
}

int WINAPI OffsetRgn(HRGN h, int x, int y) {
    Region *r = gdi::RegionFromHandle(h);
    if (!r) return ERROR;
    r->Offset(x, y);
    return gdi::RegionComplexity(*r);
}
