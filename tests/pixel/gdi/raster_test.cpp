// Pixel rules of the raster primitives, as small masks written from the
// rules: '.' background, '#' black, 'g' light grey brush, 'r' red pen.
#include <cmath>
#include <memory>
#include <random>

#include "tests/pixel/gdi/canvas.h"

using namespace win32;

using testsupport::Canvas;
using testsupport::MatchesMask;

namespace {

const std::map<char, COLORREF> kLegend = {
    {'.', RGB(255, 255, 255)}, {'#', RGB(0, 0, 0)},       {'g', RGB(192, 192, 192)},
    {'r', RGB(255, 0, 0)},     {'s', RGB(128, 128, 128)}, {'h', RGB(0, 0, 255)},
};

// A mask of w x h device pixels: '.' with the rectangles painted over it in
// order, each in its character.
std::vector<std::string> MaskOf(int w, int h, const std::vector<std::pair<RECT, char>> &paint) {
    std::vector<std::string> rows(static_cast<size_t>(h), std::string(static_cast<size_t>(w), '.'));
    for (const auto &[r, ch] : paint)
        for (LONG y = std::max<LONG>(0, r.top); y < std::min<LONG>(h, r.bottom); ++y)
            for (LONG x = std::max<LONG>(0, r.left); x < std::min<LONG>(w, r.right); ++x)
                rows[static_cast<size_t>(y)][static_cast<size_t>(x)] = ch;
    return rows;
}

constexpr int kFractionalScales[] = {150, 180, 210};  // 1.25x, 1.5x, 1.75x

TEST(FillRect, CoversLeftTopButNotRightBottom) {
    Canvas c(7, 6);
    RECT r{1, 1, 5, 4};
    EXPECT_EQ(1, FillRect(c.dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))));
    EXPECT_TRUE(MatchesMask(c.surface,
                            {
                                ".......",
                                ".####..",
                                ".####..",
                                ".####..",
                                ".......",
                                ".......",
                            },
                            kLegend));
}

TEST(FillRect, SystemColourIndexAndSelectedObjectsUntouched) {
    Canvas c(4, 4);
    HGDIOBJ brush = GetCurrentObject(c.dc, OBJ_BRUSH);
    RECT r{0, 0, 2, 2};
    FillRect(c.dc, &r, reinterpret_cast<HBRUSH>(COLOR_BTNSHADOW + 1));
    EXPECT_EQ(GetSysColor(COLOR_BTNSHADOW), c.At(0, 0));
    EXPECT_EQ(RGB(255, 255, 255), c.At(2, 2));
    EXPECT_EQ(brush, GetCurrentObject(c.dc, OBJ_BRUSH));
    // An empty or inverted rectangle paints nothing.
    RECT inverted{3, 3, 1, 1};
    FillRect(c.dc, &inverted, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(RGB(255, 255, 255), c.At(2, 2));
}

TEST(Rectangle, OnePixelPenOutlinesInsideTheBox) {
    Canvas c(9, 8);
    SelectObject(c.dc, GetStockObject(LTGRAY_BRUSH));
    EXPECT_TRUE(Rectangle(c.dc, 1, 1, 7, 6));
    EXPECT_TRUE(MatchesMask(c.surface,
                            {
                                ".........",
                                ".######..",
                                ".#gggg#..",
                                ".#gggg#..",
                                ".#gggg#..",
                                ".######..",
                                ".........",
                            },
                            kLegend));
}

TEST(Rectangle, NullPenFillsOnePixelLess) {
    Canvas c(9, 8);
    SelectObject(c.dc, GetStockObject(LTGRAY_BRUSH));
    SelectObject(c.dc, GetStockObject(NULL_PEN));
    Rectangle(c.dc, 1, 1, 7, 6);
    EXPECT_TRUE(MatchesMask(c.surface,
                            {
                                ".........",
                                ".ggggg...",
                                ".ggggg...",
                                ".ggggg...",
                                ".ggggg...",
                                ".........",
                            },
                            kLegend));
}

TEST(Rectangle, ThreePixelPenIsCentredOnTheOutline) {
    Canvas c(12, 12);
    HPEN pen = CreatePen(PS_SOLID, 3, RGB(255, 0, 0));
    HGDIOBJ oldPen = SelectObject(c.dc, pen);
    SelectObject(c.dc, GetStockObject(LTGRAY_BRUSH));
    Rectangle(c.dc, 2, 2, 9, 9);
    EXPECT_TRUE(MatchesMask(c.surface,
                            {
                                "............",
                                ".rrrrrrrrr..",
                                ".rrrrrrrrr..",
                                ".rrrrrrrrr..",
                                ".rrrgggrrr..",
                                ".rrrgggrrr..",
                                ".rrrgggrrr..",
                                ".rrrrrrrrr..",
                                ".rrrrrrrrr..",
                                ".rrrrrrrrr..",
                                "............",
                            },
                            kLegend));
    SelectObject(c.dc, oldPen);
    EXPECT_TRUE(DeleteObject(pen));
}

TEST(Rectangle, InsideFramePenStaysInTheBox) {
    Canvas c(12, 12);
    HPEN pen = CreatePen(PS_INSIDEFRAME, 3, RGB(255, 0, 0));
    SelectObject(c.dc, pen);
    SelectObject(c.dc, GetStockObject(LTGRAY_BRUSH));
    Rectangle(c.dc, 1, 1, 9, 9);
    EXPECT_TRUE(MatchesMask(c.surface,
                            {
                                "............",
                                ".rrrrrrrr...",
                                ".rrrrrrrr...",
                                ".rrrrrrrr...",
                                ".rrrggrrr...",
                                ".rrrggrrr...",
                                ".rrrrrrrr...",
                                ".rrrrrrrr...",
                                ".rrrrrrrr...",
                                "............",
                            },
                            kLegend));
    SelectObject(c.dc, GetStockObject(BLACK_PEN));
    DeleteObject(pen);
}

TEST(Rectangle, NullBrushLeavesTheInside) {
    Canvas c(6, 6, RGB(0, 0, 255));
    SelectObject(c.dc, GetStockObject(NULL_BRUSH));
    Rectangle(c.dc, 0, 0, 5, 5);
    EXPECT_EQ(RGB(0, 0, 0), c.At(0, 0));
    EXPECT_EQ(RGB(0, 0, 0), c.At(4, 4));
    EXPECT_EQ(RGB(0, 0, 255), c.At(2, 2));
    EXPECT_EQ(RGB(0, 0, 255), c.At(5, 5));
}

TEST(Ellipse, CentreBrushSidesPenCornersUntouched) {
    Canvas c(14, 12);
    SelectObject(c.dc, GetStockObject(LTGRAY_BRUSH));
    // Box (2, 2)-(11, 9): 9 x 7 pixels.
    Ellipse(c.dc, 2, 2, 11, 9);
    EXPECT_EQ(RGB(192, 192, 192), c.At(6, 5));
    EXPECT_EQ(RGB(0, 0, 0), c.At(6, 2));   // top
    EXPECT_EQ(RGB(0, 0, 0), c.At(6, 8));   // bottom
    EXPECT_EQ(RGB(0, 0, 0), c.At(2, 5));   // left
    EXPECT_EQ(RGB(0, 0, 0), c.At(10, 5));  // right
    for (POINT p : {POINT{2, 2}, POINT{10, 2}, POINT{2, 8}, POINT{10, 8}})
        EXPECT_EQ(RGB(255, 255, 255), c.At(p.x, p.y));
    // Nothing outside the box.
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 14; ++x) {
            if (x < 2 || x >= 11 || y < 2 || y >= 9) {
                EXPECT_EQ(RGB(255, 255, 255), c.At(x, y)) << x << "," << y;
            }
        }
    }
}

TEST(Ellipse, ThreePixelPenStraddlesTheCurve) {
    Canvas c(24, 20);
    HPEN pen = CreatePen(PS_SOLID, 3, RGB(255, 0, 0));
    SelectObject(c.dc, pen);
    SelectObject(c.dc, GetStockObject(LTGRAY_BRUSH));
    Ellipse(c.dc, 3, 3, 20, 16);  // middle row y = 9
    EXPECT_EQ(RGB(255, 255, 255), c.At(1, 9));
    for (int x : {2, 3, 4}) EXPECT_EQ(RGB(255, 0, 0), c.At(x, 9)) << x;
    EXPECT_EQ(RGB(192, 192, 192), c.At(5, 9));
    EXPECT_EQ(RGB(192, 192, 192), c.At(17, 9));
    for (int x : {18, 19, 20}) EXPECT_EQ(RGB(255, 0, 0), c.At(x, 9)) << x;
    EXPECT_EQ(RGB(255, 255, 255), c.At(21, 9));
    EXPECT_EQ(RGB(255, 255, 255), c.At(3, 3));
    SelectObject(c.dc, GetStockObject(BLACK_PEN));
    DeleteObject(pen);
}

TEST(Ellipse, WidePenCoversTheCurveToHalfItsWidthAllRound) {
    // The reference sweeps a disc of the pen's diameter along the curve
    // through the one-pixel outline's extreme pixel centres; only pixels
    // whose distance ties with half the width may differ.
    struct Case {
        RECT box;
        int width;
    };
    for (const Case &k : {Case{{1, 1, 359, 191}, 3}, Case{{2, 2, 40, 20}, 3}, Case{{4, 4, 40, 24}, 5},
                          Case{{3, 3, 6, 30}, 3}}) {
        const int W = k.box.right + 4, H = k.box.bottom + 4;
        Canvas c(W, H);
        HPEN pen = CreatePen(PS_SOLID, k.width, RGB(255, 0, 0));
        SelectObject(c.dc, pen);
        SelectObject(c.dc, GetStockObject(LTGRAY_BRUSH));
        Ellipse(c.dc, k.box.left, k.box.top, k.box.right, k.box.bottom);
        SelectObject(c.dc, GetStockObject(BLACK_PEN));
        DeleteObject(pen);

        // Pixel centres at integers here.
        const double cx = (k.box.left + k.box.right - 1) / 2.0, cy = (k.box.top + k.box.bottom - 1) / 2.0;
        const double a = (k.box.right - k.box.left - 1) / 2.0, b = (k.box.bottom - k.box.top - 1) / 2.0;
        const double half = k.width / 2.0;
        std::vector<char> ref(static_cast<size_t>(W) * H, 0);
        const int steps = 40000;
        for (int i = 0; i < steps; ++i) {
            const double th = 2 * M_PI * i / steps;
            const double px = cx + a * std::cos(th), py = cy + b * std::sin(th);
            for (int y = static_cast<int>(py - half) - 1; y <= static_cast<int>(py + half) + 1; ++y)
                for (int x = static_cast<int>(px - half) - 1; x <= static_cast<int>(px + half) + 1; ++x)
                    if (x >= 0 && y >= 0 && x < W && y < H &&
                        (x - px) * (x - px) + (y - py) * (y - py) <= half * half)
                        ref[static_cast<size_t>(y) * W + x] = 1;
        }
        int expected = 0, red = 0, differ = 0, inside = 0, grey = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const bool isRed = c.At(x, y) == RGB(255, 0, 0), want = ref[static_cast<size_t>(y) * W + x];
                expected += want;
                red += isRed;
                differ += isRed != want;
                // Inside the curve and off the pen: the brush.
                const double u = (x - cx) / a, v = (y - cy) / b;
                if (!want && u * u + v * v < 1) {
                    ++inside;
                    grey += c.At(x, y) == RGB(192, 192, 192);
                }
            }
        SCOPED_TRACE(testing::Message()
                     << "box " << k.box.right << "x" << k.box.bottom << " pen " << k.width);
        EXPECT_LE(differ, 1 + expected / 500) << red << " red against " << expected;
        EXPECT_NEAR(expected, red, 1 + expected / 500);
        EXPECT_NEAR(inside, grey, 1 + inside / 500);
    }
}

TEST(Ellipse, FigureIsTheEllipticRegionOfTheBox) {
    std::mt19937 rng(1234);
    for (int i = 0; i < 40; ++i) {
        const int l = static_cast<int>(rng() % 10), t = static_cast<int>(rng() % 10);
        const int r = l + 1 + static_cast<int>(rng() % 30), b = t + 1 + static_cast<int>(rng() % 30);
        Canvas c(48, 48);
        SelectObject(c.dc, GetStockObject(BLACK_BRUSH));
        Ellipse(c.dc, l, t, r, b);
        const gdi::Region rgn = gdi::Region::Ellipse(l, t, r, b);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 48; ++x)
                ASSERT_EQ(rgn.Contains(x, y), c.At(x, y) == RGB(0, 0, 0))
                    << "box " << l << "," << t << "," << r << "," << b << " at " << x << "," << y;
    }
}

TEST(Ellipse, RegionLeavesTheRightAndBottomEdgesOut) {
    // The region of a box is the figure of the box one pixel smaller.
    struct Case {
        RECT box;
        std::vector<std::string> mask;
    };
    const Case cases[] = {
        {{0, 0, 6, 6}, {".###...", "#####..", "#####..", "#####..", ".###...", "......."}},
        {{0, 0, 5, 4}, {".##...", "####..", ".##...", "......"}},
        {{1, 1, 3, 3}, {"....", ".#..", "...."}},
    };
    for (const Case &k : cases) {
        Canvas c(8, 8);
        HRGN rgn = CreateEllipticRgn(k.box.left, k.box.top, k.box.right, k.box.bottom);
        FillRgn(c.dc, rgn, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        EXPECT_TRUE(MatchesMask(c.surface, k.mask, kLegend)) << k.box.left << "," << k.box.right;
        DeleteObject(rgn);
    }
    // The about box's shape ends at column 359 and row 191.
    HRGN rgn = CreateEllipticRgn(0, 0, 361, 193);
    RECT box;
    EXPECT_EQ(COMPLEXREGION, GetRgnBox(rgn, &box));
    EXPECT_EQ(360, box.right);
    EXPECT_EQ(192, box.bottom);
    EXPECT_TRUE(PtInRegion(rgn, 180, 191));
    EXPECT_FALSE(PtInRegion(rgn, 180, 192));
    DeleteObject(rgn);
}

TEST(LineTo, LeavesItsEndPointAndMovesThePosition) {
    Canvas c(7, 7);
    POINT old{-1, -1};
    MoveToEx(c.dc, 1, 1, &old);
    EXPECT_EQ(0, old.x);
    EXPECT_EQ(0, old.y);
    LineTo(c.dc, 5, 1);  // horizontal
    LineTo(c.dc, 5, 5);  // vertical, starts on the end point left out above
    MoveToEx(c.dc, 1, 3, nullptr);
    LineTo(c.dc, 3, 5);  // diagonal
    LineTo(c.dc, 3, 5);  // zero length: nothing
    POINT cp;
    GetCurrentPositionEx(c.dc, &cp);
    EXPECT_EQ(3, cp.x);
    EXPECT_EQ(5, cp.y);
    EXPECT_TRUE(MatchesMask(c.surface,
                            {
                                ".......",
                                ".#####.",
                                ".....#.",
                                ".#...#.",
                                "..#..#.",
                                ".......",
                                ".......",
                            },
                            kLegend));
}

// Shadow up the left and along the top, highlight down the right and back
// along the bottom: the corners go to the colour that reaches them first.
// Between whole scales each line is one device width (PenDeviceWidth)
// across and runs along its logical pixels from device edge to device edge,
// up to where the next line's square begins: the colours meet at the
// corners as at 1x, and every device pixel of the border is painted once.
TEST(LineTo, EtchedFramePaintsEveryBorderPixelOnce) {
    const std::map<char, COLORREF> legend = {
        {'.', RGB(255, 255, 255)}, {'s', RGB(128, 128, 128)}, {'h', RGB(0, 0, 255)}};
    auto etched = [](int n) {
        auto c = std::make_unique<Canvas>(7, 6, RGB(255, 255, 255), n);
        HPEN shadow = CreatePen(PS_SOLID, 1, RGB(128, 128, 128));
        HGDIOBJ old = SelectObject(c->dc, shadow);
        MoveToEx(c->dc, 1, 4, nullptr);
        LineTo(c->dc, 1, 1);
        LineTo(c->dc, 5, 1);
        HPEN highlight = CreatePen(PS_SOLID, 1, RGB(0, 0, 255));
        SelectObject(c->dc, highlight);
        EXPECT_TRUE(DeleteObject(shadow));
        LineTo(c->dc, 5, 4);
        LineTo(c->dc, 1, 4);
        SelectObject(c->dc, old);
        EXPECT_TRUE(DeleteObject(highlight));
        return c;
    };
    EXPECT_TRUE(MatchesMask(etched(120)->surface,
                            {
                                ".......",
                                ".ssssh.",
                                ".s...h.",
                                ".s...h.",
                                ".shhhh.",
                                ".......",
                            },
                            legend));
    for (int n : kFractionalScales) {
        SCOPED_TRACE(n);
        auto d = [n](int v) { return gdi::DeviceEdge(v, n); };
        const int w = gdi::PenDeviceWidth(1, n);
        const auto c = etched(n);
        EXPECT_TRUE(MatchesMask(c->surface,
                                MaskOf(c->surface.width, c->surface.height,
                                       {{{d(1), d(1) + w, d(1) + w, d(4) + w}, 's'},
                                        {{d(1), d(1), d(5), d(1) + w}, 's'},
                                        {{d(5), d(1), d(5) + w, d(4)}, 'h'},
                                        {{d(1) + w, d(4), d(5) + w, d(4) + w}, 'h'}}),
                                legend));
    }
}

// Between whole scales a rectangle's outline is one device width all
// round, against the device rectangle of its logical interior, so a fill
// inside meets it with no gap on any side (the bar and its frame); its
// outer edge may then fall short of the box's device edges, never beyond.
TEST(Rectangle, OutlineOfOneWidthAroundTheInteriorAtFractionalScales) {
    for (int n : kFractionalScales) {
        SCOPED_TRACE(n);
        Canvas c(9, 7, RGB(255, 255, 255), n);
        HGDIOBJ oldBrush = SelectObject(c.dc, GetStockObject(LTGRAY_BRUSH));
        Rectangle(c.dc, 1, 1, 8, 6);
        SelectObject(c.dc, oldBrush);
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        const RECT fill{2, 2, 4, 5};  // against the left, top and bottom lines
        FillRect(c.dc, &fill, red);
        DeleteObject(red);
        auto d = [n](int v) { return gdi::DeviceEdge(v, n); };
        const int w = gdi::PenDeviceWidth(1, n);
        EXPECT_TRUE(MatchesMask(c.surface,
                                MaskOf(c.surface.width, c.surface.height,
                                       {{{d(2) - w, d(2) - w, d(7) + w, d(5) + w}, '#'},
                                        {{d(2), d(2), d(7), d(5)}, 'g'},
                                        {{d(2), d(2), d(4), d(5)}, 'r'}}),
                                kLegend));
    }
}

TEST(Clipping, EllipticRegionClipsEveryPrimitive) {
    Canvas c(20, 16);
    HRGN rgn = CreateEllipticRgn(2, 1, 18, 15);
    EXPECT_EQ(COMPLEXREGION, SelectClipRgn(c.dc, rgn));
    RECT all{0, 0, 20, 16};
    FillRect(c.dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(PtInRegion(rgn, x, y), c.At(x, y) == RGB(0, 0, 0)) << x << "," << y;
    // The context keeps a copy: deleting the region leaves the clip.
    EXPECT_TRUE(DeleteObject(rgn));
    HPEN red = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    SelectObject(c.dc, red);
    MoveToEx(c.dc, 0, 0, nullptr);
    LineTo(c.dc, 20, 0);
    EXPECT_EQ(RGB(255, 255, 255), c.At(10, 0));
    RECT box;
    EXPECT_EQ(COMPLEXREGION, GetClipBox(c.dc, &box));
    EXPECT_EQ(2, box.left);
    EXPECT_EQ(14, box.bottom);
    SelectObject(c.dc, GetStockObject(BLACK_PEN));
    DeleteObject(red);
}

TEST(Clipping, SurfaceContextOriginAndVisibleRegion) {
    gdi::Surface s;
    s.Resize(10, 10, 0xFFFFFF);
    // A child at (3, 2) of which only (3, 2)-(8, 6) is visible.
    HDC dc = gdi::CreateSurfaceDC(&s, POINT{3, 2}, gdi::Region(RECT{3, 2, 8, 6}), nullptr);
    RECT r{-1, -1, 20, 20};
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(x >= 3 && x < 8 && y >= 2 && y < 6, s.Row(y)[x] == 0) << x << "," << y;
    EXPECT_EQ(RGB(0, 0, 0), GetPixel(dc, 0, 0));
    EXPECT_EQ(CLR_INVALID, GetPixel(dc, 5, 0));  // clipped away
    RECT box;
    GetClipBox(dc, &box);
    EXPECT_EQ(0, box.left);
    EXPECT_EQ(5, box.right);
    // Moving the window keeps drawing relative to its origin.
    gdi::SetSurfaceDCClip(dc, POINT{0, 0}, gdi::Region(RECT{0, 0, 10, 10}));
    SetPixel(dc, 9, 9, RGB(255, 0, 0));
    EXPECT_EQ(0xFF0000u, s.Row(9)[9]);
    EXPECT_TRUE(gdi::DeleteSurfaceDC(dc));
}

TEST(Clipping, IntersectAndExcludeClipRect) {
    Canvas c(10, 4);
    EXPECT_EQ(SIMPLEREGION, IntersectClipRect(c.dc, 1, 0, 9, 4));
    EXPECT_EQ(COMPLEXREGION, ExcludeClipRect(c.dc, 4, 0, 6, 4));
    const int saved = SaveDC(c.dc);
    SelectClipRgn(c.dc, nullptr);
    RestoreDC(c.dc, saved);
    RECT all{0, 0, 10, 4};
    FillRect(c.dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EXPECT_TRUE(MatchesMask(c.surface, {".###..###.", ".###..###."}, kLegend));
}

TEST(Raster, XorDrawingUndoesItself) {
    Canvas c(12, 8, RGB(0, 255, 255));
    const gdi::Surface before = c.surface;
    RECT focus{1, 1, 11, 7};
    DrawFocusRect(c.dc, &focus);
    EXPECT_NE(before.pixels, c.surface.pixels);
    EXPECT_EQ(RGB(255, 0, 0), c.At(1, 1));  // cyan inverted
    EXPECT_EQ(RGB(0, 255, 255), c.At(2, 1));
    DrawFocusRect(c.dc, &focus);
    EXPECT_EQ(before.pixels, c.surface.pixels);
    // Between whole scales the dots are device squares of one width, on
    // the rectangle's device edges, and a second call still restores.
    for (int n : kFractionalScales) {
        SCOPED_TRACE(n);
        Canvas f(12, 8, RGB(0, 255, 255), n);
        const gdi::Surface clean = f.surface;
        DrawFocusRect(f.dc, &focus);
        const int w = gdi::PenDeviceWidth(1, n), left = gdi::DeviceEdge(1, n), right = gdi::DeviceEdge(11, n);
        for (int x = left; x < right; ++x)
            EXPECT_EQ(f.At(x, left), ((x - left) / w) % 2 == 0 ? RGB(255, 0, 0) : RGB(0, 255, 255)) << x;
        EXPECT_EQ(f.At(left, left + w), RGB(0, 255, 255));  // one width across
        DrawFocusRect(f.dc, &focus);
        EXPECT_EQ(clean.pixels, f.surface.pixels);
    }

    SetROP2(c.dc, R2_XORPEN);
    SelectObject(c.dc, GetStockObject(WHITE_PEN));
    MoveToEx(c.dc, 0, 0, nullptr);
    LineTo(c.dc, 11, 7);
    EXPECT_NE(before.pixels, c.surface.pixels);
    MoveToEx(c.dc, 0, 0, nullptr);
    LineTo(c.dc, 11, 7);
    EXPECT_EQ(before.pixels, c.surface.pixels);
    SetROP2(c.dc, R2_NOT);
    SelectObject(c.dc, GetStockObject(NULL_BRUSH));
    Rectangle(c.dc, 0, 0, 3, 3);
    EXPECT_EQ(RGB(255, 0, 0), c.At(0, 0));
    EXPECT_EQ(RGB(0, 255, 255), c.At(1, 1));
}

TEST(Raster, FrameRectAndBlockTransfers) {
    Canvas c(8, 6);
    RECT r{1, 1, 6, 5};
    FrameRect(c.dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EXPECT_TRUE(MatchesMask(
        c.surface, {"........", ".#####..", ".#...#..", ".#...#..", ".#####..", "........"}, kLegend));
    // Copy the left half over the right, then invert one column.
    EXPECT_TRUE(BitBlt(c.dc, 4, 0, 4, 6, c.dc, 0, 0, SRCCOPY));
    EXPECT_TRUE(PatBlt(c.dc, 0, 0, 1, 6, DSTINVERT));
    EXPECT_TRUE(MatchesMask(
        c.surface, {"#.......", "####.###", "##...#..", "##...#..", "####.###", "#......."}, kLegend));
    // A memory context with a bitmap as source.
    HDC mem = CreateCompatibleDC(c.dc);
    HBITMAP bm = CreateCompatibleBitmap(c.dc, 2, 2);
    HGDIOBJ oldBm = SelectObject(mem, bm);
    SetPixel(mem, 1, 1, RGB(255, 0, 0));
    BitBlt(c.dc, 0, 0, 2, 2, mem, 0, 0, SRCCOPY);
    EXPECT_EQ(RGB(0, 0, 0), c.At(0, 0));
    EXPECT_EQ(RGB(255, 0, 0), c.At(1, 1));
    EXPECT_FALSE(DeleteObject(bm));  // still selected
    SelectObject(mem, oldBm);
    EXPECT_TRUE(DeleteObject(bm));
    DeleteDC(mem);
}

TEST(DrawIcon, MaskThenColourClippedAtTheEdge) {
    // 3 x 3: transparent corners, a black centre, red elsewhere.
    const uint32_t colors[9] = {0, 0xFF0000, 0, 0xFF0000, 0, 0xFF0000, 0, 0xFF0000, 0};
    const uint8_t mask[9] = {1, 0, 1, 0, 0, 0, 1, 0, 1};
    HICON icon = gdi::CreateIconFromPixels(3, 3, colors, mask);
    ASSERT_NE(nullptr, icon);
    Canvas c(5, 4, RGB(0, 0, 255));
    EXPECT_TRUE(DrawIcon(c.dc, 1, 0, icon));
    EXPECT_TRUE(DrawIcon(c.dc, 3, 2, icon));  // half outside the surface
    EXPECT_TRUE(MatchesMask(c.surface, {"hhrhh", "hr#rh", "hhrhr", "hhhr#"},
                            {{'h', RGB(0, 0, 255)}, {'r', RGB(255, 0, 0)}, {'#', RGB(0, 0, 0)}}));
    int w, h;
    std::vector<uint32_t> px;
    std::vector<uint8_t> m;
    ASSERT_TRUE(gdi::IconPixels(icon, &w, &h, &px, &m));
    EXPECT_EQ(3, w);
    EXPECT_EQ(std::vector<uint8_t>(mask, mask + 9), m);

    // At 1.5x a 2 x 2 icon is 3 x 3 device pixels, every icon pixel as
    // wide as the others: its own colour in the corners, shared by area on
    // the middle row and column, and a transparent pixel lets the
    // destination through in proportion.
    const uint32_t four[4] = {0xC80000, 0x00C800, 0x0000C8, 0};
    const uint8_t clear[4] = {0, 0, 0, 1};
    HICON even = gdi::CreateIconFromPixels(2, 2, four, clear);
    Canvas big(2, 2, RGB(0, 0, 0), 180);
    EXPECT_TRUE(DrawIcon(big.dc, 0, 0, even));
    EXPECT_EQ(big.At(0, 0), RGB(200, 0, 0));
    EXPECT_EQ(big.At(2, 0), RGB(0, 200, 0));
    EXPECT_EQ(big.At(0, 2), RGB(0, 0, 200));
    EXPECT_EQ(big.At(2, 2), RGB(0, 0, 0));      // transparent
    EXPECT_EQ(big.At(1, 0), RGB(100, 100, 0));  // half and half
    EXPECT_EQ(big.At(0, 1), RGB(100, 0, 100));
    EXPECT_EQ(big.At(2, 1), RGB(0, 100, 0));   // half green over half black
    EXPECT_EQ(big.At(1, 1), RGB(50, 50, 50));  // three quarters, a third each, over black
    EXPECT_TRUE(DestroyIcon(even));

    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_FALSE(DestroyIcon(icon));
    EXPECT_FALSE(DrawIcon(c.dc, 0, 0, icon));
    EXPECT_FALSE(gdi::IconPixels(icon, &w, &h, &px, &m));
}

// FillRect through random clip regions and window origins, against a
// per-pixel reference.
TEST(Clipping, RandomFillsMatchAPerPixelReference) {
    std::mt19937 rng(20261208);
    auto rnd = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (int round = 0; round < 60; ++round) {
        const int W = 40, H = 30;
        gdi::Surface s;
        s.Resize(W, H, 0);
        std::vector<uint32_t> ref(W * H, 0);
        // Visible part of the window: a union of random rectangles minus one.
        gdi::Region vis;
        for (int i = 0; i < 3; ++i) {
            const int x = rnd(W), y = rnd(H);
            vis.Union(gdi::Region(RECT{x, y, x + 1 + rnd(W), y + 1 + rnd(H)}));
        }
        const int ex = rnd(W), ey = rnd(H);
        vis.Subtract(gdi::Region(RECT{ex, ey, ex + rnd(10), ey + rnd(10)}));
        const POINT origin{rnd(10) - 5, rnd(10) - 5};
        HDC dc = gdi::CreateSurfaceDC(&s, origin, vis, nullptr);
        // The program's own clip, in window coordinates.
        HRGN clip = CreateEllipticRgn(rnd(20) - 5, rnd(20) - 5, 10 + rnd(40), 10 + rnd(30));
        const bool useClip = rnd(2);
        if (useClip) SelectClipRgn(dc, clip);
        for (int i = 0; i < 8; ++i) {
            const RECT r{rnd(W + 10) - 10, rnd(H + 10) - 10, rnd(W + 10), rnd(H + 10)};
            const COLORREF color = RGB(rnd(256), rnd(256), i + 1);
            HBRUSH b = CreateSolidBrush(color);
            FillRect(dc, &r, b);
            DeleteObject(b);
            for (int y = r.top; y < r.bottom; ++y)
                for (int x = r.left; x < r.right; ++x) {
                    const int sx = x + origin.x, sy = y + origin.y;
                    if (sx < 0 || sy < 0 || sx >= W || sy >= H || !vis.Contains(sx, sy)) continue;
                    if (useClip && !PtInRegion(clip, x, y)) continue;
                    ref[sy * W + sx] = gdi::PixelFromColorref(color);
                }
        }
        DeleteObject(clip);
        gdi::DeleteSurfaceDC(dc);
        if (s.pixels != ref) {
            gdi::Surface want = s;
            want.pixels = ref;
            testsupport::SaveFailure(s, &want);
            FAIL() << "round " << round;
        }
    }
}

}  // namespace
