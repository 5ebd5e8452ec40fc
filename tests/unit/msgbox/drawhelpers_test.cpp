// CTextFont and CEtchedFrame against memory device contexts.
#include <gtest/gtest.h>

#include <windows.h>

#include "msgbox/drawhelpers.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/gdi/testing.h"

namespace {

const COLORREF kPaper = RGB(10, 200, 30);

// A memory context on a bitmap filled with kPaper.
class MemoryDc {
public:
    MemoryDc(int w, int h) {
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateCompatibleBitmap(dc, w, h);
        previous = SelectObject(dc, bitmap);
        HBRUSH brush = CreateSolidBrush(kPaper);
        RECT all = {0, 0, w, h};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
    }
    ~MemoryDc() {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previous;
};

TEST(TextFont, ConstructedEmpty) {
    CTextFont f;
    EXPECT_EQ(nullptr, f.font);
    EXPECT_EQ(0u, f.textColor);
    EXPECT_EQ(0, f.logFont.lfHeight);
    EXPECT_EQ(0, f.logFont.lfWeight);
    EXPECT_EQ(0, f.logFont.lfUnderline);
    EXPECT_STREQ("", f.logFont.lfFaceName);
}

TEST(TextFont, HeightFollowsTheContextsResolution) {
    struct Case {
        int dpi;
        int height;
    } cases[] = {{96, -16}, {120, -20}, {144, -24}};
    MemoryDc mem(4, 4);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.dpi);
        win32::gdi::SetLogicalDpi(c.dpi);
        CTextFont f;
        f.SetFaceAndSize(mem.dc, "MS Sans Serif", 12);
        EXPECT_EQ(c.height, f.logFont.lfHeight);
        EXPECT_STREQ("MS Sans Serif", f.logFont.lfFaceName);
        EXPECT_NE(nullptr, f.font);
    }
    win32::gdi::SetLogicalDpi(96);
}

TEST(TextFont, AnEmptyFaceKeepsTheFaceBefore) {
    MemoryDc mem(4, 4);
    CTextFont f;
    f.SetFaceAndSize(mem.dc, "", 8);
    EXPECT_STREQ("", f.logFont.lfFaceName);
    EXPECT_EQ(-11, f.logFont.lfHeight);
    f.SetFaceAndSize(mem.dc, "MS Sans Serif", 10);
    f.SetFaceAndSize(mem.dc, "", 12);
    EXPECT_STREQ("MS Sans Serif", f.logFont.lfFaceName);
    EXPECT_EQ(-16, f.logFont.lfHeight);
}

TEST(TextFont, MeasuresTheFontTheContextHasSelected) {
    MemoryDc mem(4, 4);
    TEXTMETRICA system;
    ASSERT_TRUE(GetTextMetricsA(mem.dc, &system));
    CTextFont f;
    f.logFont.lfHeight = -40;  // far from the system font
    f.CreateAndMeasure(mem.dc);
    EXPECT_EQ(system.tmAveCharWidth, f.charWidth);
    EXPECT_EQ(system.tmHeight + system.tmExternalLeading, f.lineHeight);
}

TEST(TextFont, MakingAFontAgainDeletesTheOneHeld) {
    MemoryDc mem(4, 4);
    size_t before = win32::testing::LiveGdiObjects();
    {
        CTextFont f;
        f.SetFaceAndSize(mem.dc, "MS Sans Serif", 12);
        EXPECT_EQ(before + 1, win32::testing::LiveGdiObjects());
        HFONT first = f.font;
        f.SetFaceAndSize(mem.dc, "MS Sans Serif", 14);
        f.CreateAndMeasure(mem.dc);
        EXPECT_EQ(before + 1, win32::testing::LiveGdiObjects());
        EXPECT_EQ(0u, GetObjectType(first));  // the first handle is gone
    }
    // Destruction releases the last one.
    EXPECT_EQ(before, win32::testing::LiveGdiObjects());
}

TEST(TextFont, ApplySelectsTheFontAndColourAndReturnsThePreviousFont) {
    MemoryDc mem(4, 4);
    HGDIOBJ original = GetCurrentObject(mem.dc, OBJ_FONT);
    CTextFont f;
    f.textColor = RGB(0, 0, 128);
    f.SetFaceAndSize(mem.dc, "MS Sans Serif", 12);
    EXPECT_EQ(original, f.Apply(mem.dc));
    EXPECT_EQ(f.font, GetCurrentObject(mem.dc, OBJ_FONT));
    EXPECT_EQ(RGB(0, 0, 128), GetTextColor(mem.dc));
    EXPECT_EQ(f.font, f.Apply(mem.dc));
    SelectObject(mem.dc, original);
}

TEST(TextFont, ReleaseDeletesOnce) {
    MemoryDc mem(4, 4);
    CTextFont f;
    EXPECT_EQ(0, f.Release());  // nothing held
    f.SetFaceAndSize(mem.dc, "MS Sans Serif", 12);
    size_t held = win32::testing::LiveGdiObjects();
    EXPECT_NE(0, f.Release());
    EXPECT_EQ(nullptr, f.font);
    EXPECT_EQ(held - 1, win32::testing::LiveGdiObjects());
    EXPECT_EQ(0, f.Release());
    EXPECT_EQ(held - 1, win32::testing::LiveGdiObjects());
}

TEST(EtchedFrame, StartsWithSystemColoursAndNoRectangle) {
    CEtchedFrame frame;
    EXPECT_EQ(GetSysColor(COLOR_BTNHIGHLIGHT), frame.highlightColor);
    EXPECT_EQ(GetSysColor(COLOR_BTNSHADOW), frame.shadowColor);
    EXPECT_EQ(-1, frame.width);
    MemoryDc mem(20, 20);
    frame.height = 5;
    EXPECT_EQ(-1, frame.DrawEtchedFrame(mem.dc));
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) ASSERT_EQ(kPaper, GetPixel(mem.dc, x, y)) << x << "," << y;
}

TEST(EtchedFrame, DrawsShadowLeftAndTopHighlightRightAndBottom) {
    const COLORREF shadow = RGB(128, 128, 128), light = RGB(255, 255, 255);
    MemoryDc mem(130, 80);
    CEtchedFrame frame;
    frame.shadowColor = shadow;
    frame.highlightColor = light;
    RECT r = {10, 20, 110, 60};
    frame.SetFrameRect(r);
    EXPECT_EQ(10, frame.left);
    EXPECT_EQ(20, frame.top);
    EXPECT_EQ(101, frame.width);
    EXPECT_EQ(41, frame.height);

    HGDIOBJ pen = GetCurrentObject(mem.dc, OBJ_PEN);
    size_t objects = win32::testing::LiveGdiObjects();
    EXPECT_NE(-1, frame.DrawEtchedFrame(mem.dc));
    EXPECT_EQ(pen, GetCurrentObject(mem.dc, OBJ_PEN));
    EXPECT_EQ(objects, win32::testing::LiveGdiObjects());
    POINT at;
    GetCurrentPositionEx(mem.dc, &at);
    EXPECT_EQ(10, at.x);
    EXPECT_EQ(60, at.y);

    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 130; ++x) {
            COLORREF want = kPaper;
            bool onOutline =
                (x == 10 || x == 110) ? (y >= 20 && y <= 60) : (y == 20 || y == 60) && x > 10 && x < 110;
            if (onOutline) {
                if (x == 10 || (y == 20 && x < 110)) {
                    want = shadow;
                } else {
                    want = light;
                }
            }
            ASSERT_EQ(want, GetPixel(mem.dc, x, y)) << "at " << x << "," << y;
        }
    }
}

}  // namespace
