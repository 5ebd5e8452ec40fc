// Text: extents against drawn pixels, the fixed font's columns, the opaque
// cell, DrawTextA placement, prefixes and clipping.
#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>

#include "platform/gdi/testing.h"
#include "tests/pixel/gdi/canvas.h"
#include "tests/support/rect.h"

using testsupport::Canvas;

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBeige = RGB(245, 245, 220);

// Pixels of the canvas that are not the fill colour, as a bounding box.
RECT ChangedBox(const Canvas &c, COLORREF fill) {
    RECT box{1 << 20, 1 << 20, -1, -1};
    for (int y = 0; y < c.surface.height; ++y)
        for (int x = 0; x < c.surface.width; ++x)
            if (c.At(x, y) != fill) {
                box.left = std::min<LONG>(box.left, x);
                box.top = std::min<LONG>(box.top, y);
                box.right = std::max<LONG>(box.right, x + 1);
                box.bottom = std::max<LONG>(box.bottom, y + 1);
            }
    return box;
}

int CountColor(const Canvas &c, COLORREF color) {
    int n = 0;
    for (uint32_t p : c.surface.pixels) n += p == win32::gdi::PixelFromColorref(color);
    return n;
}

// A font (the system font, the fixed font, a named one) at a display scale.
class FontCase : public ::testing::TestWithParam<std::tuple<int, int>> {
protected:
    int Scale() const { return std::get<1>(GetParam()); }
    int D(int v) const { return win32::gdi::DeviceEdge(v, Scale()); }
};

HFONT MakeCaseFont(int which) {
    switch (which) {
        case 0:
            return static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
        case 1:
            return static_cast<HFONT>(GetStockObject(SYSTEM_FIXED_FONT));
        default:
            return CreateFontA(-16, 0, 0, 0, FW_NORMAL, 0, 1, 0, 0, 0, 0, 0, 0, "MS Sans Serif");
    }
}

// With an opaque background the pixels TextOutA changes are exactly the
// cells [x, x + cx) x [y, y + cy) that GetTextExtentPoint32A reports, at any
// display scale their device pixels: the extent is the same logical size at
// every scale, and the glyphs are rasterized at the scaled size (their ink
// about as much taller as the scale says, so not drawn at 1x), inside
// the cells even where the scaled face's ascent and descent round up.
TEST_P(FontCase, OpaqueCellsAreTheMeasuredExtent) {
    const int which = std::get<0>(GetParam());
    const char *text = "Hello, World! gjpqy 1,234 MB";
    const int len = static_cast<int>(std::strlen(text));
    auto inkHeight = [&](int n, SIZE *size) {
        Canvas c(400, 40, kWhite, n);
        HFONT font = MakeCaseFont(which);
        HGDIOBJ old = SelectObject(c.dc, font);
        SetBkColor(c.dc, RGB(0, 0, 255));
        EXPECT_TRUE(GetTextExtentPoint32A(c.dc, text, len, size));
        TEXTMETRICA tm;
        GetTextMetricsA(c.dc, &tm);
        EXPECT_EQ(tm.tmHeight, size->cy);
        EXPECT_TRUE(TextOutA(c.dc, 7, 5, text, len));
        if (n == Scale()) {
            const RECT box = ChangedBox(c, kWhite);
            EXPECT_EQ((RECT{D(7), D(5), D(7 + size->cx), D(5 + size->cy)}), box);
            // Every pixel of the box is background or ink, none left white.
            for (int y = box.top; y < box.bottom; ++y)
                for (int x = box.left; x < box.right; ++x) EXPECT_NE(kWhite, c.At(x, y)) << x << "," << y;
            EXPECT_GT(CountColor(c, RGB(0, 0, 0)), 50);
        }
        int top = c.surface.height, bottom = 0;
        for (int y = 0; y < c.surface.height; ++y)
            for (int x = 0; x < c.surface.width; ++x)
                if (c.At(x, y) == RGB(0, 0, 0)) top = std::min(top, y), bottom = std::max(bottom, y + 1);
        SelectObject(c.dc, old);
        DeleteObject(font);
        return bottom - top;
    };
    SIZE one{}, scaled{};
    const int inkOne = inkHeight(win32::gdi::kScaleOne, &one);
    const int ink = inkHeight(Scale(), &scaled);
    EXPECT_EQ(one.cx, scaled.cx);
    EXPECT_EQ(one.cy, scaled.cy);
    // Hinting at each size rounds the glyphs its own way: within a few pixels.
    const double expected = inkOne * Scale() / 120.0;
    EXPECT_NEAR(ink, expected, std::max(2.0, 0.15 * expected));
}

// Transparent text touches only ink pixels, and draws the same ink.
TEST_P(FontCase, TransparentTextDrawsTheSameInk) {
    Canvas opaque(300, 30, kWhite, Scale()), clear(300, 30, kWhite, Scale());
    HFONT font = MakeCaseFont(std::get<0>(GetParam()));
    SelectObject(opaque.dc, font);
    SelectObject(clear.dc, font);
    SetBkColor(opaque.dc, kWhite);
    SetBkMode(clear.dc, TRANSPARENT);
    TextOutA(opaque.dc, 2, 2, "Transparent 0123", 16);
    TextOutA(clear.dc, 2, 2, "Transparent 0123", 16);
    EXPECT_EQ(opaque.surface.pixels, clear.surface.pixels);
    SelectObject(opaque.dc, GetStockObject(SYSTEM_FONT));
    SelectObject(clear.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
}

INSTANTIATE_TEST_SUITE_P(Fonts, FontCase,
                         ::testing::Combine(::testing::Values(0, 1, 2),
                                            ::testing::Values(120, 150, 180, 210, 240)));

TEST(FixedFont, EveryCharacterAdvancesEight) {
    Canvas c(8, 8);
    SelectObject(c.dc, GetStockObject(SYSTEM_FIXED_FONT));
    std::string all;
    for (int ch = 0x20; ch <= 0xFF; ++ch) {
        const char s = static_cast<char>(ch);
        SIZE size;
        GetTextExtentPoint32A(c.dc, &s, 1, &size);
        EXPECT_EQ(8, size.cx) << "character " << ch;
        all += s;
    }
    SIZE size;
    GetTextExtentPoint32A(c.dc, all.data(), static_cast<int>(all.size()), &size);
    EXPECT_EQ(8 * static_cast<int>(all.size()), size.cx);
    TEXTMETRICA tm;
    GetTextMetricsA(c.dc, &tm);
    EXPECT_EQ(8, tm.tmAveCharWidth);
    EXPECT_EQ(8, tm.tmMaxCharWidth);
    EXPECT_TRUE(tm.tmHeight == 15 || tm.tmHeight == 16) << tm.tmHeight;
    EXPECT_EQ(0, tm.tmPitchAndFamily & TMPF_FIXED_PITCH);  // the bit means variable pitch
}

// The header's words land on the columns the rows are drawn at.
TEST(FixedFont, HeaderWordsStartOnTheirColumns) {
    const char *header = "Drive  0%             50%             100%    Size         Free";
    Canvas whole(541, 16, kBeige), words(541, 16, kBeige);
    for (HDC dc : {whole.dc, words.dc}) {
        SelectObject(dc, GetStockObject(SYSTEM_FIXED_FONT));
        SetBkMode(dc, TRANSPARENT);
    }
    RECT r{0, 0, 541, 16};
    DrawTextA(whole.dc, header, -1, &r, DT_SINGLELINE);
    const struct {
        int x;
        const char *word;
    } expected[] = {{0, "Drive"}, {56, "0%"}, {176, "50%"}, {304, "100%"}, {368, "Size"}, {472, "Free"}};
    for (const auto &e : expected) {
        TextOutA(words.dc, e.x, 0, e.word, static_cast<int>(std::strlen(e.word)));
        SIZE prefix;
        GetTextExtentPoint32A(whole.dc, header, static_cast<int>(std::strstr(header, e.word) - header),
                              &prefix);
        EXPECT_EQ(e.x, prefix.cx) << e.word;
    }
    EXPECT_GT(CountColor(whole, RGB(0, 0, 0)), 100);
    if (whole.surface.pixels != words.surface.pixels) {
        testsupport::SaveFailure(whole.surface, &words.surface);
        FAIL() << "header drawn whole differs from its words drawn at their columns";
    }
}

TEST(SystemFont, MetricsAndDefaultSelection) {
    Canvas c(4, 4);
    EXPECT_EQ(GetStockObject(SYSTEM_FONT), GetCurrentObject(c.dc, OBJ_FONT));
    TEXTMETRICA tm;
    ASSERT_TRUE(GetTextMetricsA(c.dc, &tm));
    EXPECT_EQ(16, tm.tmHeight);
    EXPECT_EQ(tm.tmAscent + tm.tmDescent, tm.tmHeight);
    EXPECT_EQ(0, tm.tmExternalLeading);
    EXPECT_EQ(TMPF_FIXED_PITCH, tm.tmPitchAndFamily & TMPF_FIXED_PITCH);
    EXPECT_GE(tm.tmWeight, FW_BOLD);
    TEXTMETRICA stock;
    ASSERT_TRUE(win32::gdi::StockFontMetrics(SYSTEM_FONT, &stock));
    EXPECT_EQ(0, std::memcmp(&tm, &stock, sizeof tm));
    char face[LF_FACESIZE];
    EXPECT_GT(GetTextFaceA(c.dc, sizeof face, face), 1);
    // The widest character of the 8-bit range is the maximum width.
    LONG widest = 0;
    for (int ch = 0x20; ch <= 0xFF; ++ch) {
        const char s = static_cast<char>(ch);
        SIZE size;
        GetTextExtentPoint32A(c.dc, &s, 1, &size);
        widest = std::max(widest, size.cx);
    }
    EXPECT_EQ(widest, tm.tmMaxCharWidth);
}

TEST(NamedFont, HeightRules) {
    Canvas c(4, 4);
    TEXTMETRICA tm;
    // Negative: character height; positive: cell height.
    HFONT em = CreateFontA(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "MS Sans Serif");
    SelectObject(c.dc, em);
    GetTextMetricsA(c.dc, &tm);
    EXPECT_EQ(16, tm.tmHeight - tm.tmInternalLeading);
    HFONT cell = CreateFontA(20, 0, 0, 0, FW_BOLD, 1, 0, 0, 0, 0, 0, 0, 0, "Courier New");
    SelectObject(c.dc, cell);
    GetTextMetricsA(c.dc, &tm);
    EXPECT_LE(tm.tmHeight, 20);
    EXPECT_GE(tm.tmHeight, 17);
    EXPECT_EQ(1, tm.tmItalic);
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    EXPECT_TRUE(DeleteObject(em));
    EXPECT_TRUE(DeleteObject(cell));
}

TEST(NamedFont, UnderlineRunsUnderTheWholeText) {
    Canvas c(100, 30);
    HFONT font = CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 1, 0, 0, 0, 0, 0, 0, "MS Sans Serif");
    SelectObject(c.dc, font);
    SetBkMode(c.dc, TRANSPARENT);
    SetTextColor(c.dc, RGB(0, 0, 128));
    SIZE size;
    GetTextExtentPoint32A(c.dc, "ii  ii", 6, &size);
    TextOutA(c.dc, 3, 2, "ii  ii", 6);
    TEXTMETRICA tm;
    GetTextMetricsA(c.dc, &tm);
    int fullRows = 0;
    for (int y = 2 + tm.tmAscent; y < 2 + tm.tmHeight; ++y) {
        bool full = true;
        for (int x = 3; x < 3 + size.cx; ++x) full = full && c.At(x, y) == RGB(0, 0, 128);
        fullRows += full;
        EXPECT_EQ(kWhite, c.At(2, y));
        EXPECT_EQ(kWhite, c.At(3 + size.cx, y));
    }
    EXPECT_GE(fullRows, 1);
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
}

TEST(DrawText, CentredPlacementAndResult) {
    Canvas c(120, 60);
    SetBkColor(c.dc, RGB(0, 0, 255));
    SIZE size;
    GetTextExtentPoint32A(c.dc, "Ok", 2, &size);
    RECT r{10, 10, 110, 50};
    const int h = DrawTextA(c.dc, "Ok", -1, &r, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    const int x = 10 + (100 - size.cx) / 2, y = 10 + (40 - size.cy) / 2;
    EXPECT_EQ(y - 10 + size.cy, h);
    const RECT box = ChangedBox(c, kWhite);
    EXPECT_EQ((RECT{x, y, x + size.cx, y + size.cy}), box);

    // DT_RIGHT and DT_BOTTOM.
    Canvas d(120, 60);
    SetBkColor(d.dc, RGB(0, 0, 255));
    DrawTextA(d.dc, "Ok", 2, &r, DT_SINGLELINE | DT_RIGHT | DT_BOTTOM);
    const RECT box2 = ChangedBox(d, kWhite);
    EXPECT_EQ(110, box2.right);
    EXPECT_EQ(50, box2.bottom);
}

TEST(DrawText, CalcRectMeasuresWithoutDrawing) {
    Canvas c(50, 50);
    const win32::gdi::Surface before = c.surface;
    RECT r{5, 5, 6, 6};
    const int h = DrawTextA(c.dc, "Two\nlines", -1, &r, DT_CALCRECT);
    TEXTMETRICA tm;
    GetTextMetricsA(c.dc, &tm);
    SIZE size;
    GetTextExtentPoint32A(c.dc, "lines", 5, &size);
    EXPECT_EQ(2 * tm.tmHeight, h);
    EXPECT_EQ(5 + size.cx, r.right);
    EXPECT_EQ(5 + 2 * tm.tmHeight, r.bottom);
    EXPECT_EQ(before.pixels, c.surface.pixels);
    // The information context measures but does not draw.
    HDC ic = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, ic);
    RECT r2{0, 0, 0, 0};
    EXPECT_EQ(tm.tmHeight, DrawTextA(ic, "Ok", -1, &r2, DT_CALCRECT | DT_SINGLELINE));
    EXPECT_FALSE(TextOutA(ic, 0, 0, "Ok", 2));
    EXPECT_EQ(0, DrawTextA(ic, "Ok", -1, &r2, DT_SINGLELINE));
    EXPECT_TRUE(DeleteDC(ic));
}

TEST(DrawText, PrefixUnderlinesOneCharacter) {
    Canvas plain(80, 20), prefixed(80, 20), doubled(80, 20);
    RECT r{2, 2, 80, 20};
    DrawTextA(plain.dc, "Ok", -1, &r, DT_SINGLELINE | DT_NOPREFIX);
    DrawTextA(prefixed.dc, "&Ok", -1, &r, DT_SINGLELINE);
    SIZE o;
    GetTextExtentPoint32A(plain.dc, "O", 1, &o);
    int differing = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 80; ++x)
            if (plain.At(x, y) != prefixed.At(x, y)) {
                ++differing;
                EXPECT_GE(x, 2);
                EXPECT_LT(x, 2 + o.cx);
                EXPECT_EQ(RGB(0, 0, 0), prefixed.At(x, y));
            }
    EXPECT_GE(differing, o.cx / 2);
    // "&&" is one ampersand and underlines nothing.
    Canvas literal(80, 20);
    DrawTextA(doubled.dc, "A&&B", -1, &r, DT_SINGLELINE);
    DrawTextA(literal.dc, "A&B", -1, &r, DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_EQ(literal.surface.pixels, doubled.surface.pixels);
}

TEST(DrawText, ClipsToTheRectangleUnlessNoClip) {
    Canvas clipped(100, 30), unclipped(100, 30);
    RECT r{10, 5, 30, 12};
    for (Canvas *c : {&clipped, &unclipped}) SetBkColor(c->dc, RGB(0, 0, 255));
    DrawTextA(clipped.dc, "Wide text here", -1, &r, DT_SINGLELINE);
    DrawTextA(unclipped.dc, "Wide text here", -1, &r, DT_SINGLELINE | DT_NOCLIP);
    const RECT box = ChangedBox(clipped, kWhite);
    EXPECT_EQ((RECT{10, 5, 30, 12}), box);
    EXPECT_GT(ChangedBox(unclipped, kWhite).right, 30);
    EXPECT_GT(ChangedBox(unclipped, kWhite).bottom, 12);
}

// Glyphs are rasterized once, when first drawn; measuring rasterizes none.
TEST(Text, GlyphsAreRasterizedOnce) {
    Canvas c(300, 20);
    const char *text = "Repaint 12,345 MB";
    TextOutA(c.dc, 0, 0, text, 17);
    const size_t after = win32::testing::GlyphsRasterized();
    for (int i = 0; i < 5; ++i) TextOutA(c.dc, 0, 0, text, 17);
    EXPECT_EQ(after, win32::testing::GlyphsRasterized());

    HFONT font = CreateFontA(-17, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "DejaVu Serif");
    HGDIOBJ old = SelectObject(c.dc, font);
    SIZE size{};
    EXPECT_TRUE(GetTextExtentPoint32A(c.dc, "Quartz jumps", 12, &size));
    RECT rc{0, 0, 0, 0};
    DrawTextA(c.dc, "Quartz jumps", 12, &rc, DT_CALCRECT | DT_SINGLELINE);
    TEXTMETRICA tm{};
    GetTextMetricsA(c.dc, &tm);
    EXPECT_GT(size.cx, 0);
    EXPECT_EQ(rc.right, size.cx);
    EXPECT_EQ(after, win32::testing::GlyphsRasterized());
    SelectObject(c.dc, old);
    DeleteObject(font);
}

TEST(Text, UpperHalfIsWindows1252) {
    Canvas euro(20, 20), blank(20, 20);
    SetBkMode(euro.dc, TRANSPARENT);
    TextOutA(euro.dc, 0, 0, "\x80", 1);  // the euro sign
    EXPECT_GT(CountColor(euro, RGB(0, 0, 0)), 5);
    Canvas pound(20, 20);
    SetBkMode(pound.dc, TRANSPARENT);
    TextOutA(pound.dc, 0, 0, "\xA3", 1);
    EXPECT_NE(euro.surface.pixels, pound.surface.pixels);
}

TEST(Text, AlignmentAndCurrentPosition) {
    Canvas c(100, 40);
    SetBkColor(c.dc, RGB(0, 0, 255));
    SIZE size;
    GetTextExtentPoint32A(c.dc, "ab", 2, &size);
    SetTextAlign(c.dc, TA_RIGHT | TA_BOTTOM);
    TextOutA(c.dc, 50, 30, "ab", 2);
    RECT box = ChangedBox(c, kWhite);
    EXPECT_EQ(50, box.right);
    EXPECT_EQ(30, box.bottom);
    EXPECT_EQ(50 - size.cx, box.left);

    Canvas d(100, 40);
    SetTextAlign(d.dc, TA_UPDATECP);
    MoveToEx(d.dc, 4, 3, nullptr);
    TextOutA(d.dc, 90, 90, "ab", 2);
    POINT cp;
    GetCurrentPositionEx(d.dc, &cp);
    EXPECT_EQ(4 + size.cx, cp.x);
    EXPECT_EQ(3, cp.y);
}

TEST(Text, ExtTextOutOpaqueRectangleAndClip) {
    Canvas c(60, 30);
    SetBkColor(c.dc, RGB(0, 0, 255));
    RECT r{5, 5, 25, 25};
    ExtTextOutA(c.dc, 5, 5, ETO_OPAQUE | ETO_CLIPPED, &r, "Wide text", 9, nullptr);
    const RECT box = ChangedBox(c, kWhite);
    EXPECT_EQ(5, box.left);
    EXPECT_EQ(25, box.right);
    EXPECT_EQ(25, box.bottom);
    EXPECT_EQ(RGB(0, 0, 255), c.At(24, 24));
}

}  // namespace
