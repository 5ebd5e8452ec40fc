// Region algebra against per-pixel sets, with the banding self-check.
#include <gtest/gtest.h>
#include <windows.h>

#include <random>
#include <set>
#include <utility>

#include "platform/gdi/gdi_internal.h"
#include "tests/support/rect.h"

using namespace win32;

namespace {

using Pixels = std::set<std::pair<int, int>>;
constexpr int kSpan = 24;

Pixels PixelsOf(const gdi::Region &r) {
    Pixels p;
    for (int y = -4; y < kSpan + 4; ++y)
        for (int x = -4; x < kSpan + 4; ++x)
            if (r.Contains(x, y)) p.insert({x, y});
    return p;
}

// A random region: a few rectangles and ellipses combined at random, with
// the same operations applied to a per-pixel copy.
std::pair<gdi::Region, Pixels> RandomRegion(std::mt19937 &rng) {
    auto rnd = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    gdi::Region r;
    Pixels p;
    for (int i = 0; i < 4; ++i) {
        const int l = rnd(kSpan), t = rnd(kSpan);
        const int rr = l + rnd(kSpan - l + 1), b = t + rnd(kSpan - t + 1);
        gdi::Region piece = rnd(3) == 0 ? gdi::Region::Ellipse(l, t, rr, b) : gdi::Region(RECT{l, t, rr, b});
        Pixels pp;
        for (int y = t; y < b; ++y)
            for (int x = l; x < rr; ++x)
                if (piece.Contains(x, y)) pp.insert({x, y});
        if (i == 0 || rnd(3) != 0) {
            r.Union(piece);
            p.insert(pp.begin(), pp.end());
        } else {
            r.Subtract(piece);
            for (const auto &q : pp) p.erase(q);
        }
    }
    return {r, p};
}

TEST(Region, RandomAlgebraMatchesPixelSets) {
    std::mt19937 rng(42);
    for (int round = 0; round < 300; ++round) {
        auto [a, pa] = RandomRegion(rng);
        auto [b, pb] = RandomRegion(rng);
        ASSERT_TRUE(a.SelfCheck());
        ASSERT_EQ(pa, PixelsOf(a)) << "round " << round;

        gdi::Region u = a, i = a, d = a;
        u.Union(b);
        i.Intersect(b);
        d.Subtract(b);
        Pixels pu = pa, pi, pd;
        pu.insert(pb.begin(), pb.end());
        for (const auto &q : pa) (pb.count(q) ? pi : pd).insert(q);
        ASSERT_TRUE(u.SelfCheck() && i.SelfCheck() && d.SelfCheck()) << "round " << round;
        ASSERT_EQ(pu, PixelsOf(u)) << "union, round " << round;
        ASSERT_EQ(pi, PixelsOf(i)) << "intersection, round " << round;
        ASSERT_EQ(pd, PixelsOf(d)) << "difference, round " << round;
        // Canonical form: the same set built another way compares equal.
        gdi::Region back = d;
        back.Union(i);
        ASSERT_TRUE(back == a) << "round " << round;
    }
}

TEST(Region, HandlesCombineLikeTheClassOperations) {
    std::mt19937 rng(7);
    for (int round = 0; round < 100; ++round) {
        auto [a, pa] = RandomRegion(rng);
        auto [b, pb] = RandomRegion(rng);
        HRGN ha = gdi::CreateRegionHandle(a), hb = gdi::CreateRegionHandle(b), hd = CreateRectRgn(0, 0, 0, 0);
        ASSERT_NE(ERROR, CombineRgn(hd, ha, hb, RGN_XOR));
        Pixels px;
        for (const auto &q : pa)
            if (!pb.count(q)) px.insert(q);
        for (const auto &q : pb)
            if (!pa.count(q)) px.insert(q);
        const gdi::Region *d = gdi::RegionFromHandle(hd);
        ASSERT_TRUE(d->SelfCheck());
        ASSERT_EQ(px, PixelsOf(*d)) << "round " << round;
        for (const auto &[x, y] : px) ASSERT_TRUE(PtInRegion(hd, x, y));
        const int kind = CombineRgn(hd, ha, nullptr, RGN_COPY);
        EXPECT_EQ(a.Empty() ? NULLREGION : a.Rects().size() == 1 ? SIMPLEREGION : COMPLEXREGION, kind);
        DeleteObject(ha);
        DeleteObject(hb);
        DeleteObject(hd);
    }
}

TEST(Region, EllipseIsSymmetricInsideItsBoxAndBanded) {
    for (int w = 1; w < 30; w += 3) {
        for (int h = 1; h < 30; h += 4) {
            const gdi::Region e = gdi::Region::Ellipse(5, 7, 5 + w, 7 + h);
            ASSERT_TRUE(e.SelfCheck()) << w << "x" << h;
            ASSERT_FALSE(e.Empty()) << w << "x" << h;
            const RECT b = e.Bounds();
            EXPECT_GE(b.left, 5);
            EXPECT_GE(b.top, 7);
            EXPECT_EQ(5 + w, b.right) << w << "x" << h;  // reaches, never passes, the right edge
            EXPECT_EQ(7 + h, b.bottom);
            for (int y = 7; y < 7 + h; ++y)
                for (int x = 5; x < 5 + w; ++x) {
                    const int mx = 2 * 5 + w - 1 - x, my = 2 * 7 + h - 1 - y;
                    ASSERT_EQ(e.Contains(x, y), e.Contains(mx, y)) << w << "x" << h;
                    ASSERT_EQ(e.Contains(x, y), e.Contains(x, my)) << w << "x" << h;
                }
        }
    }
    EXPECT_TRUE(gdi::Region::Ellipse(3, 3, 3, 9).Empty());
}

TEST(Region, HandleCallsAndBadHandles) {
    HRGN r = CreateRectRgn(10, 20, 0, 5);  // corners in any order
    RECT box;
    EXPECT_EQ(SIMPLEREGION, GetRgnBox(r, &box));
    EXPECT_EQ((RECT{0, 5, 10, 20}), box);
    EXPECT_TRUE(PtInRegion(r, 0, 5));
    EXPECT_FALSE(PtInRegion(r, 10, 5));
    EXPECT_FALSE(PtInRegion(r, 0, 20));
    EXPECT_EQ(SIMPLEREGION, OffsetRgn(r, 3, -5));
    EXPECT_TRUE(PtInRegion(r, 3, 0));
    HRGN empty = CreateRectRgn(4, 4, 4, 9);
    EXPECT_EQ(NULLREGION, GetRgnBox(empty, &box));
    EXPECT_EQ(NULLREGION, CombineRgn(empty, r, empty, RGN_AND));
    EXPECT_TRUE(DeleteObject(r));
    // A deleted region answers the failure values.
    EXPECT_EQ(ERROR, GetRgnBox(r, &box));
    EXPECT_EQ(ERROR, OffsetRgn(r, 1, 1));
    EXPECT_FALSE(PtInRegion(r, 3, 0));
    EXPECT_EQ(ERROR, CombineRgn(empty, r, empty, RGN_OR));
    EXPECT_EQ(ERROR, CombineRgn(empty, empty, empty, 99));
    EXPECT_FALSE(DeleteObject(r));
    EXPECT_EQ(nullptr, gdi::RegionFromHandle(reinterpret_cast<HRGN>(GetStockObject(WHITE_BRUSH))));
    DeleteObject(empty);
}

}  // namespace
