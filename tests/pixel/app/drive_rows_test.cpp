// The drive rows as pixels: each edge case of the used share, the labels and
// their colours, the size texts, the totals row, the shared frame lines, the
// icons, and what the row drawing leaves in the device context.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/mainwnd.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/testing.h"
#include "survey/drive_table.h"
#include "tools/rowsample/sample_list.h"

using namespace win32;

namespace {

constexpr int kWidth = 541;
constexpr COLORREF kBeige = RGB(245, 245, 220);
constexpr COLORREF kGrey = RGB(192, 192, 192);
constexpr COLORREF kCyan = RGB(0, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kNavy = RGB(0, 0, 128);

COLORREF At(const gdi::Surface &s, int x, int y) {
    return gdi::ColorrefFromPixel(s.Row(y)[x]);
}

// Pixels of `a` and `b` that differ inside [left, right) x [top, bottom), as
// "x,y" strings (first few only), so a failure says where.
std::string Differences(const gdi::Surface &a, const gdi::Surface &b, int left, int top, int right,
                        int bottom) {
    std::string out;
    int n = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            if (a.Row(y)[x] != b.Row(y)[x]) {
                if (n < 8) out += std::to_string(x) + "," + std::to_string(y) + " ";
                ++n;
            }
    if (n > 8) out += "... (" + std::to_string(n) + " in all)";
    return out;
}

// One case of the used-share table, in the order the sample table holds them.
struct RowCase {
    const char *name;
    int fillRight;      // exclusive right edge of the cyan fill; 0 = no fill
    const char *label;  // nullptr = no label
    int labelLeft;      // where the centred label starts
    const char *sizes;  // the two size texts as they must read
};

constexpr RowCase kRows[] = {
    {"1000_0_full", 319, "FULL", 174, "     1,000 MB         0 MB"},
    {"1000_4_full", 319, "FULL", 174, "     1,000 MB         4 MB"},
    {"1000_5_almost", 316, "Almost full", 146, "     1,000 MB         5 MB"},
    {"1000_100_almost", 293, "Almost full", 146, "     1,000 MB       100 MB"},
    {"1000_105_nolabel", 290, nullptr, 0, "     1,000 MB       105 MB"},
    {"1000_500_half", 189, nullptr, 0, "     1,000 MB       500 MB"},
    {"1000_994_onecolumn", 62, nullptr, 0, "     1,000 MB       994 MB"},
    {"1000_995_empty", 0, nullptr, 0, "     1,000 MB       995 MB"},
    {"1000_1000_empty", 0, nullptr, 0, "     1,000 MB     1,000 MB"},
    {"3_1", 233, nullptr, 0, "         3 MB         1 MB"},
    {"zero_size", 0, nullptr, 0, "         0 MB         7 MB"},
    {"removable", 163, nullptr, 0, "    15,000 MB     9,000 MB"},   // 40% used: 60 + 103
    {"wide_size", 189, nullptr, 0, "123,456,789 MB61,728,394 MB"},  // the columns slip
    {"more_free_than_total", 0, nullptr, 0, "     1,000 MB     1,200 MB"},
};
constexpr int kRowCount = sizeof(kRows) / sizeof(kRows[0]);

class DriveRows : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(rowsample::FillEdgeCaseTable(), kRowCount);
        rowsample::PrepareMainWindowState();
        ASSERT_NE(FixedDriveIcon, nullptr);
        ASSERT_NE(RemovableDriveIcon, nullptr);
        itemHeight = rowsample::ItemHeight();
        ASSERT_EQ(itemHeight, 16);
        listTop = HeaderHeight;
        screen.Resize(kWidth, HeaderHeight + ListItemCount * itemHeight + 32, 0x123456);
        rowsample::PaintList(&screen);
    }

    // A surface like `screen`'s background with a context whose origin is the
    // list's top-left corner, for drawing what a row must look like.
    HDC Reference(gdi::Surface *ref) {
        ref->Resize(kWidth, screen.height, gdi::PixelFromColorref(kBeige));
        RECT all = {0, 0, kWidth, screen.height};
        HDC dc = gdi::CreateSurfaceDC(ref, POINT{0, listTop}, gdi::Region(all), NULL);
        SelectObject(dc, GetStockObject(SYSTEM_FIXED_FONT));
        SetBkColor(dc, kBeige);
        SetTextColor(dc, kBlack);
        return dc;
    }

    int RowTop(int row) const { return listTop + row * itemHeight; }

    gdi::Surface screen;
    int itemHeight = 0;
    int listTop = 0;
};

// The bar interior of every edge case: grey, the cyan fill up to its right
// edge, and the label centred in red on cyan; nothing red without a label.
TEST_F(DriveRows, BarInteriorOfEveryEdgeCase) {
    for (int i = 0; i < kRowCount; ++i) {
        SCOPED_TRACE(kRows[i].name);
        const RowCase &c = kRows[i];
        gdi::Surface ref;
        HDC dc = Reference(&ref);
        int top = i * itemHeight, bottom = top + itemHeight;
        RECT interior = {61, top, 319, bottom - 1};
        HBRUSH grey = CreateSolidBrush(kGrey);
        FillRect(dc, &interior, grey);
        DeleteObject(grey);
        if (c.fillRight) {
            RECT fill = {61, top, c.fillRight, bottom - 1};
            HBRUSH cyan = CreateSolidBrush(kCyan);
            FillRect(dc, &fill, cyan);
            DeleteObject(cyan);
        }
        if (c.label) {
            SetTextColor(dc, kRed);
            SetBkColor(dc, kCyan);
            TextOutA(dc, c.labelLeft, top, c.label, static_cast<int>(std::strlen(c.label)));
        }
        gdi::DeleteSurfaceDC(dc);
        EXPECT_EQ("", Differences(screen, ref, 61, RowTop(i), 319, RowTop(i) + itemHeight - 1));

        // The last filled column and the first unfilled one, spelled out.
        if (c.fillRight) {
            EXPECT_EQ(At(screen, c.fillRight - 1, RowTop(i) + 1), kCyan);
            EXPECT_EQ(At(screen, c.fillRight, RowTop(i) + 1), c.fillRight == 319 ? kBlack : kGrey);
        } else {
            EXPECT_EQ(At(screen, 61, RowTop(i) + 1), kGrey);
        }
    }
}

// The letter at x = 24 and the two size texts from x = 320, in the colours
// the list set up (black on beige), also on the rows after a warning label.
TEST_F(DriveRows, LetterAndSizeTexts) {
    for (int i = 0; i < kRowCount; ++i) {
        SCOPED_TRACE(kRows[i].name);
        gdi::Surface ref;
        HDC dc = Reference(&ref);
        int top = i * itemHeight;
        char letter[3] = {static_cast<char>('C' + i), ':', 0};
        TextOutA(dc, 24, top, letter, 2);
        TextOutA(dc, 320, top, kRows[i].sizes, static_cast<int>(std::strlen(kRows[i].sizes)));
        gdi::DeleteSurfaceDC(dc);
        EXPECT_EQ("", Differences(screen, ref, 18, RowTop(i), 60, RowTop(i) + itemHeight - 1));
        EXPECT_EQ("", Differences(screen, ref, 320, RowTop(i), kWidth, RowTop(i) + itemHeight));
    }
}

// The totals row sums the fixed drives only (the removable one is left out).
TEST_F(DriveRows, TotalsRow) {
    int row = kRowCount;
    gdi::Surface ref;
    HDC dc = Reference(&ref);
    int top = row * itemHeight;
    const char *caption = "Totals for hard drives:";
    TextOutA(dc, 60, top, caption, static_cast<int>(std::strlen(caption)));
    // 9 x 1,000 + 3 + 0 + 123,456,789 and 0+4+5+100+105+500+994+995+1000 + 1 + 7 + 61,728,394, each plus the
    // last row.
    const char *sums = "123,466,792 MB61,733,305 MB";
    TextOutA(dc, 320, top, sums, static_cast<int>(std::strlen(sums)));
    gdi::DeleteSurfaceDC(dc);
    EXPECT_EQ("", Differences(screen, ref, 0, RowTop(row), kWidth, RowTop(row) + itemHeight));
}

// With no drives the list holds the totals row alone, reading zero twice.
TEST_F(DriveRows, TotalsRowWithoutDrives) {
    DriveTable = DriveTableData{};
    rowsample::PrepareMainWindowState();
    ASSERT_EQ(ListItemCount, 1);
    gdi::Surface s;
    s.Resize(kWidth, HeaderHeight + itemHeight, 0);
    rowsample::PaintList(&s);
    gdi::Surface ref;
    HDC dc = Reference(&ref);
    TextOutA(dc, 60, 0, "Totals for hard drives:", 23);
    TextOutA(dc, 320, 0, "         0 MB         0 MB", 26);
    gdi::DeleteSurfaceDC(dc);
    EXPECT_EQ("", Differences(s, ref, 0, listTop, kWidth, s.height));
}

// Adjacent bars share one outline: the frame's top line of each row lies on
// the bottom line of the row above; row 0's top line falls outside the list.
TEST_F(DriveRows, FramesShareTheirLines) {
    int lastBottom = RowTop(kRowCount) - 1;
    for (int y = listTop; y <= lastBottom; ++y) {
        ASSERT_EQ(At(screen, 60, y), kBlack) << "left outline at y " << y;
        ASSERT_EQ(At(screen, 319, y), kBlack) << "right outline at y " << y;
    }
    for (int i = 0; i < kRowCount; ++i) {
        int line = RowTop(i) + itemHeight - 1;
        for (int x = 60; x < 320; ++x) ASSERT_EQ(At(screen, x, line), kBlack) << "row " << i << " x " << x;
        // Just inside the next row the interior starts again (grey or cyan).
        COLORREF below = At(screen, 61, line + 1);
        if (i + 1 < kRowCount) {
            EXPECT_TRUE(below == kGrey || below == kCyan) << "row " << i + 1;
        }
    }
    // Nothing of the frames beyond the outline columns, nor on the header band.
    EXPECT_EQ(At(screen, 59, RowTop(1)), kBeige);
    EXPECT_EQ(At(screen, 320, RowTop(1) + itemHeight - 1), kBeige);
    EXPECT_EQ(At(screen, 100, listTop - 1), kNavy);
    // The totals row has no frame.
    EXPECT_EQ(At(screen, 60, RowTop(kRowCount) + itemHeight - 1), kBeige);
}

// At 1.25x, 1.5x and 1.75x the list follows the one rule from logical to
// device pixels (every logical edge v on device edge round(v * s), a pen
// one device width against the interior it outlines):
//  - the band covers exactly the device rows above the list's top edge,
//    navy and yellow only, and not one navy pixel lies below it;
//  - each bar's interior is exactly the device rectangle of its logical
//    interior, cyan up to the device edge of its fill and grey after it;
//  - the frame's lines, one device width, touch the interior on every side,
//    and between two rows the lines of both fill all the device rows of the
//    shared logical row: the rows tile, with no gap and no overlap;
//  - outside the frame nothing of it shows.
TEST_F(DriveRows, AtFractionalScalesTheRowsTileAndTheFramesKeepOneWidth) {
    for (int n : {150, 180, 210}) {
        SCOPED_TRACE(n);
        auto d = [n](int v) { return gdi::DeviceEdge(v, n); };
        const int w = gdi::PenDeviceWidth(1, n);
        gdi::Surface s;
        s.scale = n;
        s.Resize(d(kWidth), d(HeaderHeight + ListItemCount * itemHeight + 32), 0x123456);
        rowsample::PaintList(&s);

        for (int y = 0; y < d(HeaderHeight); ++y)
            for (int x = 0; x < s.width; ++x) {
                const COLORREF c = At(s, x, y);
                ASSERT_TRUE(c == kNavy || c == RGB(255, 255, 0)) << x << "," << y;
            }
        for (int x = 0; x < s.width; ++x) ASSERT_NE(At(s, x, d(HeaderHeight)), kNavy) << x;

        for (int i = 0; i < kRowCount; ++i) {
            SCOPED_TRACE(kRows[i].name);
            const int top = RowTop(i), bottom = top + itemHeight;
            const int fillEnd = kRows[i].fillRight ? d(kRows[i].fillRight) : d(61);
            for (int y = d(top); y < d(bottom - 1); ++y) {
                for (int x = d(61); x < d(319); ++x) {
                    const COLORREF c = At(s, x, y);
                    if (x < fillEnd)
                        ASSERT_TRUE(c == kCyan || c == kRed) << x << "," << y;
                    else
                        ASSERT_EQ(c, kGrey) << x << "," << y;
                }
                for (int x = d(61) - w; x < d(61); ++x) ASSERT_EQ(At(s, x, y), kBlack) << x << "," << y;
                for (int x = d(319); x < d(319) + w; ++x) ASSERT_EQ(At(s, x, y), kBlack) << x << "," << y;
                for (int x = d(60); x < d(61) - w; ++x) ASSERT_EQ(At(s, x, y), kBeige) << x << "," << y;
                for (int x = d(319) + w; x < d(320); ++x) ASSERT_EQ(At(s, x, y), kBeige) << x << "," << y;
            }
            // The bottom line, and below it the next row's top line; under the
            // last frame, the totals row.
            const bool last = i + 1 == kRowCount;
            for (int y = d(bottom - 1); y < d(bottom); ++y) {
                const bool line = !last || y < d(bottom - 1) + w;
                for (int x = d(61) - w; x < d(319) + w; ++x)
                    ASSERT_EQ(At(s, x, y), line ? kBlack : kBeige) << x << "," << y;
            }
        }
    }
}

// Fixed drives show icon 126, the removable one icon 127, drawn at the row's
// top-left corner; outside its 18 x 14 picture the icon leaves the background.
TEST_F(DriveRows, IconsByDriveType) {
    const int removableRow = 11;
    ASSERT_EQ(DriveTable.records[removableRow].driveType, static_cast<DWORD>(DRIVE_REMOVABLE));
    for (int i = 0; i < kRowCount; ++i) {
        SCOPED_TRACE(kRows[i].name);
        gdi::Surface ref;
        HDC dc = Reference(&ref);
        int top = i * itemHeight;
        DrawIcon(dc, 0, top, i == removableRow ? RemovableDriveIcon : FixedDriveIcon);
        gdi::DeleteSurfaceDC(dc);
        EXPECT_EQ("", Differences(screen, ref, 0, RowTop(i), 18, RowTop(i) + 14));
        for (int y = RowTop(i) + 14; y < RowTop(i) + itemHeight; ++y)
            for (int x = 0; x < 18; ++x) ASSERT_EQ(At(screen, x, y), kBeige) << x << "," << y;
    }
    // The two pictures differ, so the check above can tell them apart.
    gdi::Surface a, b;
    HDC da = Reference(&a), db = Reference(&b);
    DrawIcon(da, 0, 0, FixedDriveIcon);
    DrawIcon(db, 0, 0, RemovableDriveIcon);
    gdi::DeleteSurfaceDC(da);
    gdi::DeleteSurfaceDC(db);
    EXPECT_NE("", Differences(a, b, 0, listTop, 18, listTop + 14));
}

// A context with one row drawn into it, for checking what stays behind.
class RowContext : public ::testing::Test {
protected:
    void SetUp() override {
        rowsample::FillEdgeCaseTable();
        rowsample::PrepareMainWindowState();
        surface.Resize(kWidth, 64, gdi::PixelFromColorref(kBeige));
        RECT all = {0, 0, kWidth, 64};
        dc = gdi::CreateSurfaceDC(&surface, POINT{0, 0}, gdi::Region(all), NULL);
        SetTextColor(dc, RGB(1, 2, 3));
        SetBkColor(dc, RGB(4, 5, 6));
    }
    void TearDown() override { gdi::DeleteSurfaceDC(dc); }

    int Draw(UINT row, UINT action) {
        DRAWITEMSTRUCT dis{};
        dis.CtlType = ODT_LISTBOX;
        dis.itemID = row;
        dis.itemAction = action;
        dis.hDC = dc;
        dis.rcItem = RECT{0, 16, kWidth, 32};
        return DrawDriveRow(&dis);
    }

    gdi::Surface surface;
    HDC dc = NULL;
};

TEST_F(RowContext, LabelLeavesWindowTextOnBeige) {
    EXPECT_EQ(Draw(2, ODA_DRAWENTIRE), 1);  // 99% used
    EXPECT_EQ(GetTextColor(dc), GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(GetBkColor(dc), kBeige);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), GetStockObject(SYSTEM_FIXED_FONT));
}

TEST_F(RowContext, RowsWithoutLabelKeepTheColours) {
    for (UINT row : {4u, 5u, 9u, 10u, 13u, 14u}) {  // 89%, 50%, 67%, zero size, more free, totals
        EXPECT_EQ(Draw(row, ODA_DRAWENTIRE), 1) << row;
        EXPECT_EQ(GetTextColor(dc), RGB(1, 2, 3)) << row;
        EXPECT_EQ(GetBkColor(dc), RGB(4, 5, 6)) << row;
    }
    // Pen and brush are back where they were.
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), GetStockObject(BLACK_PEN));
}

TEST_F(RowContext, SelectionAndFocusDrawNothing) {
    std::vector<uint32_t> before = surface.pixels;
    for (UINT row : {0u, 2u, 14u}) {
        EXPECT_EQ(Draw(row, ODA_SELECT), 0);
        EXPECT_EQ(Draw(row, ODA_FOCUS), 0);
        EXPECT_EQ(Draw(row, ODA_SELECT | ODA_FOCUS), 0);
        EXPECT_EQ(Draw(row, ODA_DRAWENTIRE | ODA_SELECT), 0);  // only the whole-row request draws
    }
    EXPECT_TRUE(surface.pixels == before);
    EXPECT_EQ(GetTextColor(dc), RGB(1, 2, 3));
}

// An index past the table (the list never sends one) is refused, not read.
TEST_F(RowContext, IndexBeyondTheTableDrawsNothing) {
    std::vector<uint32_t> before = surface.pixels;
    EXPECT_EQ(Draw(MAX_DRIVE_RECORDS, ODA_DRAWENTIRE), 0);
    EXPECT_EQ(Draw(0xFFFFFFFFu, ODA_DRAWENTIRE), 0);
    EXPECT_TRUE(surface.pixels == before);
}

// Drawing every row a thousand times creates and keeps no GDI object.
TEST_F(RowContext, NoObjectsLeftBehind) {
    size_t before = win32::testing::LiveGdiObjects();
    for (int pass = 0; pass < 1000; ++pass)
        for (int row = 0; row < ListItemCount; ++row) Draw(static_cast<UINT>(row), ODA_DRAWENTIRE);
    EXPECT_EQ(win32::testing::LiveGdiObjects(), before);
}

}  // namespace
