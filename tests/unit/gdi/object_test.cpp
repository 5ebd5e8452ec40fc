// Object rules: selection, deletion, stale handles, the live counts, device
// contexts and their saved states.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/common/classic.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/gdi/testing.h"

namespace {

class Memory {
public:
    Memory(int w, int h) {
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateCompatibleBitmap(dc, w, h);
        old = SelectObject(dc, bitmap);
    }
    ~Memory() {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
};

TEST(Objects, SelectObjectReturnsThePreviousOfItsKind) {
    Memory m(4, 4);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
    HBRUSH brush = CreateSolidBrush(RGB(4, 5, 6));
    HFONT font = CreateFontA(-12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "MS Sans Serif");
    EXPECT_EQ(GetStockObject(BLACK_PEN), SelectObject(m.dc, pen));
    EXPECT_EQ(GetStockObject(WHITE_BRUSH), SelectObject(m.dc, brush));
    EXPECT_EQ(GetStockObject(SYSTEM_FONT), SelectObject(m.dc, font));
    EXPECT_EQ(pen, GetCurrentObject(m.dc, OBJ_PEN));
    EXPECT_EQ(pen, SelectObject(m.dc, GetStockObject(NULL_PEN)));
    EXPECT_EQ(brush, SelectObject(m.dc, GetStockObject(NULL_BRUSH)));
    EXPECT_EQ(font, SelectObject(m.dc, GetStockObject(SYSTEM_FIXED_FONT)));
    // Regions select as a copy of the clip and answer its complexity.
    HRGN rgn = CreateRectRgn(0, 0, 2, 2);
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SIMPLEREGION), SelectObject(m.dc, rgn));
    EXPECT_EQ(static_cast<DWORD>(OBJ_PEN), GetObjectType(pen));
    EXPECT_EQ(static_cast<DWORD>(OBJ_BRUSH), GetObjectType(brush));
    EXPECT_EQ(static_cast<DWORD>(OBJ_FONT), GetObjectType(font));
    EXPECT_EQ(static_cast<DWORD>(OBJ_REGION), GetObjectType(rgn));
    EXPECT_EQ(static_cast<DWORD>(OBJ_BITMAP), GetObjectType(m.bitmap));
    EXPECT_EQ(static_cast<DWORD>(OBJ_MEMDC), GetObjectType(m.dc));
    for (HGDIOBJ h : {static_cast<HGDIOBJ>(pen), static_cast<HGDIOBJ>(brush), static_cast<HGDIOBJ>(font),
                      static_cast<HGDIOBJ>(rgn)})
        EXPECT_TRUE(DeleteObject(h));
}

TEST(Objects, DeleteObjectRefusesASelectedObject) {
    Memory m(4, 4);
    HBRUSH brush = CreateSolidBrush(RGB(0, 255, 255));
    HGDIOBJ old = SelectObject(m.dc, brush);
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_EQ(static_cast<DWORD>(OBJ_BRUSH), GetObjectType(brush));  // still there
    // Selected in two contexts: free only when both let go.
    Memory n(2, 2);
    SelectObject(n.dc, brush);
    SelectObject(m.dc, old);
    EXPECT_FALSE(DeleteObject(brush));
    SelectObject(n.dc, GetStockObject(WHITE_BRUSH));
    EXPECT_TRUE(DeleteObject(brush));
    // Deleting a context releases what it held.
    HPEN pen = CreatePen(PS_SOLID, 3, RGB(255, 0, 0));
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, pen);
    EXPECT_FALSE(DeleteObject(pen));
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_TRUE(DeleteObject(pen));
    // A bitmap goes into one memory context at a time.
    HDC other = CreateCompatibleDC(nullptr);
    EXPECT_EQ(nullptr, SelectObject(other, m.bitmap));
    DeleteDC(other);
}

TEST(Objects, StaleAndForeignHandlesFailQuietly) {
    Memory m(4, 4);
    HBRUSH brush = CreateSolidBrush(RGB(1, 1, 1));
    ASSERT_TRUE(DeleteObject(brush));
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_EQ(nullptr, SelectObject(m.dc, brush));
    EXPECT_EQ(0u, GetObjectType(brush));
    RECT r{0, 0, 2, 2};
    EXPECT_EQ(0, FillRect(m.dc, &r, brush));
    // A new object may reuse the slot; the old handle still fails.
    HBRUSH reused = CreateSolidBrush(RGB(2, 2, 2));
    EXPECT_NE(brush, reused);
    EXPECT_EQ(0u, GetObjectType(brush));
    EXPECT_TRUE(DeleteObject(reused));
    // Null and made-up handles, and a brush passed where a DC is expected.
    EXPECT_EQ(nullptr, SelectObject(nullptr, GetStockObject(BLACK_PEN)));
    EXPECT_FALSE(DeleteObject(nullptr));
    EXPECT_FALSE(Rectangle(reinterpret_cast<HDC>(GetStockObject(BLACK_BRUSH)), 0, 0, 1, 1));
    EXPECT_EQ(CLR_INVALID, SetTextColor(reinterpret_cast<HDC>(0x12345), 0));
    EXPECT_FALSE(DeleteDC(reinterpret_cast<HDC>(GetStockObject(BLACK_BRUSH))));
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_FALSE(TextOutA(dc, 0, 0, "x", 1));
    EXPECT_EQ(0, GetDeviceCaps(dc, LOGPIXELSY));
    EXPECT_EQ(nullptr, CreateCompatibleDC(dc));
}

TEST(Objects, StockObjectsAreNeverFreed) {
    const int stock[] = {WHITE_BRUSH,       LTGRAY_BRUSH,     GRAY_BRUSH,     DKGRAY_BRUSH,    BLACK_BRUSH,
                         NULL_BRUSH,        WHITE_PEN,        BLACK_PEN,      NULL_PEN,        SYSTEM_FONT,
                         SYSTEM_FIXED_FONT, DEFAULT_GUI_FONT, OEM_FIXED_FONT, ANSI_FIXED_FONT, ANSI_VAR_FONT};
    for (int i : stock) {
        HGDIOBJ h = GetStockObject(i);
        ASSERT_NE(nullptr, h) << i;
        EXPECT_TRUE(DeleteObject(h)) << i;
        EXPECT_EQ(h, GetStockObject(i));
        EXPECT_NE(0u, GetObjectType(h));
    }
    EXPECT_EQ(nullptr, GetStockObject(DEFAULT_PALETTE));
    EXPECT_EQ(nullptr, GetStockObject(99));
    HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
    EXPECT_TRUE(DeleteObject(face));
    EXPECT_EQ(face, GetSysColorBrush(COLOR_BTNFACE));
    EXPECT_EQ(RGB(192, 192, 192), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(RGB(0, 0, 0), GetSysColor(COLOR_WINDOWTEXT));
}

// What a drive row does on every paint: brushes and pens made and deleted,
// the fixed font selected, colours changed.
TEST(Objects, LiveCountReturnsToItsStartAfterManyPaints) {
    Memory m(541, 32);
    const size_t objects = win32::testing::LiveGdiObjects(), dcs = win32::testing::LiveDcs();
    for (int i = 0; i < 1000; ++i) {
        SelectObject(m.dc, GetStockObject(SYSTEM_FIXED_FONT));
        HGDIOBJ oldBrush = SelectObject(m.dc, GetStockObject(LTGRAY_BRUSH));
        Rectangle(m.dc, 60, -1, 320, 16);
        SelectObject(m.dc, oldBrush);
        HBRUSH fill = CreateSolidBrush(RGB(0, 255, 255));
        RECT r{61, 0, 60 + i % 259, 15};
        FillRect(m.dc, &r, fill);
        DeleteObject(fill);
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(128, 128, 128));
        HGDIOBJ oldPen = SelectObject(m.dc, pen);
        LineTo(m.dc, 10, 10);
        SelectObject(m.dc, oldPen);
        DeleteObject(pen);
        HRGN rgn = CreateEllipticRgn(0, 0, 40, 20);
        DeleteObject(rgn);
        HDC ic = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
        DeleteDC(ic);
    }
    EXPECT_EQ(objects, win32::testing::LiveGdiObjects());
    EXPECT_EQ(dcs, win32::testing::LiveDcs());
    // And the count sees what is not deleted.
    HBRUSH kept = CreateSolidBrush(0);
    HFONT font = CreateFontA(-12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "");
    EXPECT_EQ(objects + 2, win32::testing::LiveGdiObjects());
    DeleteObject(kept);
    DeleteObject(font);
    EXPECT_EQ(objects, win32::testing::LiveGdiObjects());
}

// Stock objects, system-colour brushes, the memory context's own bitmap
// and realized fonts are not objects the program could leak.
TEST(Objects, NothingCountsUntilTheProgramCreatesSomething) {
    const size_t start = win32::testing::LiveGdiObjects();
    HDC mem = CreateCompatibleDC(nullptr);
    HDC ic = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
    GetSysColorBrush(COLOR_3DFACE);
    TEXTMETRICA tm;
    GetTextMetricsA(mem, &tm);
    SelectObject(ic, GetStockObject(DEFAULT_GUI_FONT));
    GetTextMetricsA(ic, &tm);
    EXPECT_EQ(start, win32::testing::LiveGdiObjects());
    DeleteDC(mem);
    DeleteDC(ic);
    EXPECT_EQ(start, win32::testing::LiveGdiObjects());
}

TEST(DeviceContext, DefaultStateAndSaveRestore) {
    Memory m(4, 4);
    EXPECT_EQ(RGB(0, 0, 0), GetTextColor(m.dc));
    EXPECT_EQ(RGB(255, 255, 255), GetBkColor(m.dc));
    EXPECT_EQ(OPAQUE, GetBkMode(m.dc));
    EXPECT_EQ(GetStockObject(BLACK_PEN), GetCurrentObject(m.dc, OBJ_PEN));
    EXPECT_EQ(GetStockObject(WHITE_BRUSH), GetCurrentObject(m.dc, OBJ_BRUSH));

    HBRUSH brush = CreateSolidBrush(RGB(9, 9, 9));
    const int level = SaveDC(m.dc);
    EXPECT_EQ(1, level);
    SelectObject(m.dc, brush);
    SetTextColor(m.dc, RGB(255, 0, 0));
    SetBkMode(m.dc, TRANSPARENT);
    EXPECT_EQ(2, SaveDC(m.dc));
    SetTextColor(m.dc, RGB(0, 255, 0));
    EXPECT_TRUE(RestoreDC(m.dc, -1));
    EXPECT_EQ(RGB(255, 0, 0), GetTextColor(m.dc));
    EXPECT_TRUE(RestoreDC(m.dc, level));
    EXPECT_EQ(RGB(0, 0, 0), GetTextColor(m.dc));
    EXPECT_EQ(OPAQUE, GetBkMode(m.dc));
    EXPECT_EQ(GetStockObject(WHITE_BRUSH), GetCurrentObject(m.dc, OBJ_BRUSH));
    EXPECT_FALSE(RestoreDC(m.dc, 1));  // nothing saved any more
    EXPECT_TRUE(DeleteObject(brush));  // no saved state holds it
    EXPECT_EQ(0, SetBkMode(m.dc, 7));
}

TEST(DeviceContext, CapabilitiesAndInformationContext) {
    HDC ic = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, ic);
    EXPECT_EQ(nullptr, CreateICA("PRINTER", nullptr, nullptr, nullptr));
    EXPECT_EQ(win32::classic::kDefaultDpi, GetDeviceCaps(ic, LOGPIXELSY));
    win32::gdi::SetLogicalDpi(120);
    EXPECT_EQ(120, GetDeviceCaps(ic, LOGPIXELSX));
    EXPECT_EQ(120, GetDeviceCaps(ic, LOGPIXELSY));
    win32::gdi::SetLogicalDpi(0);  // back to the default
    EXPECT_EQ(win32::classic::kDefaultDpi, GetDeviceCaps(ic, LOGPIXELSY));
    EXPECT_EQ(32, GetDeviceCaps(ic, BITSPIXEL));
    EXPECT_GT(GetDeviceCaps(ic, HORZRES), 0);
    EXPECT_GT(GetDeviceCaps(ic, VERTRES), 0);
    TEXTMETRICA tm;
    EXPECT_TRUE(GetTextMetricsA(ic, &tm));
    EXPECT_EQ(win32::classic::kSystemFontHeight, tm.tmHeight);
    SIZE size;
    EXPECT_TRUE(GetTextExtentPoint32A(ic, "abc", 3, &size));
    EXPECT_GT(size.cx, 0);
    RECT r{0, 0, 4, 4};
    EXPECT_EQ(0, FillRect(ic, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))));
    EXPECT_FALSE(Rectangle(ic, 0, 0, 4, 4));
    EXPECT_FALSE(Ellipse(ic, 0, 0, 4, 4));
    EXPECT_EQ(CLR_INVALID, GetPixel(ic, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(OBJ_DC), GetObjectType(ic));
    EXPECT_TRUE(DeleteDC(ic));
}

TEST(Rects, HelpersFollowHalfOpenRules) {
    RECT a, b, c;
    SetRect(&a, 0, 0, 10, 10);
    SetRect(&b, 5, 5, 15, 15);
    EXPECT_TRUE(IntersectRect(&c, &a, &b));
    const RECT overlap{5, 5, 10, 10};
    EXPECT_TRUE(EqualRect(&c, &overlap));
    SetRect(&b, 10, 0, 20, 10);  // touching only
    EXPECT_FALSE(IntersectRect(&c, &a, &b));
    EXPECT_TRUE(IsRectEmpty(&c));
    EXPECT_TRUE(UnionRect(&c, &a, &b));
    EXPECT_EQ(20, c.right);
    SetRectEmpty(&b);
    EXPECT_TRUE(UnionRect(&c, &b, &a));  // empty rectangles do not count
    EXPECT_TRUE(EqualRect(&c, &a));
    EXPECT_TRUE(PtInRect(&a, POINT{0, 0}));
    EXPECT_FALSE(PtInRect(&a, POINT{10, 5}));
    EXPECT_FALSE(PtInRect(&a, POINT{5, 10}));
    InflateRect(&a, 2, -1);
    OffsetRect(&a, 1, 1);
    const RECT moved{-1, 2, 13, 10};
    EXPECT_TRUE(EqualRect(&a, &moved));
    CopyRect(&b, &a);
    EXPECT_TRUE(EqualRect(&a, &b));
}

}  // namespace
