#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "platform/common/nonclient.h"
#include "tests/support/parent_window.h"

using namespace testsupport;

namespace {

constexpr int kW = 100;
constexpr int kH = 200;
constexpr int kBarLeft = kW - 16;

class ScrollBars : public ::testing::Test {
protected:
    void SetUp() override {
        parent_ = CreateParent();
        // A child of the recording class: its WM_VSCROLL codes are kept.
        win_ = CreateWindowExA(0, "ControlsTestParent", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL, 0, 0, kW, kH,
                               parent_, nullptr, nullptr, nullptr);
        ASSERT_NE(win_, nullptr);
        Rec().Clear();
    }
    void TearDown() override {
        if (IsWindow(parent_)) DestroyWindow(parent_);
    }

    void Set(int min, int max, UINT page, int pos, UINT extra = 0) {
        SCROLLINFO si{};
        si.cbSize = sizeof(si);
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | extra;
        si.nMin = min;
        si.nMax = max;
        si.nPage = page;
        si.nPos = pos;
        SetScrollInfo(win_, SB_VERT, &si, TRUE);
    }
    SCROLLINFO Get() {
        SCROLLINFO si{};
        si.cbSize = sizeof(si);
        si.fMask = SIF_ALL;
        GetScrollInfo(win_, SB_VERT, &si);
        return si;
    }
    void Click(int y) {
        POINT pt{kBarLeft + 8, y};
        win32::VScrollBarMouse(win_, WM_LBUTTONDOWN, pt);
        win32::VScrollBarMouse(win_, WM_LBUTTONUP, pt);
    }

    HWND parent_ = nullptr;
    HWND win_ = nullptr;
};

TEST_F(ScrollBars, ValuesAreKeptInsideTheRangeAndDecideVisibility) {
    EXPECT_EQ(win32::VScrollBarWidth(win_), 16);  // WS_VSCROLL shows it at first
    Set(0, 100, 10, 500);
    SCROLLINFO si = Get();
    EXPECT_EQ(si.nMin, 0);
    EXPECT_EQ(si.nMax, 100);
    EXPECT_EQ(si.nPage, 10u);
    EXPECT_EQ(si.nPos, 91);  // the last full page
    EXPECT_EQ(win32::VScrollBarWidth(win_), 16);

    Set(0, 5, 10, 0);
    EXPECT_EQ(win32::VScrollBarWidth(win_), 0);
    RECT rc;
    GetClientRect(win_, &rc);
    EXPECT_EQ(rc.right, kW);

    // SIF_DISABLENOSCROLL keeps an unneeded bar on show.
    Set(0, 100, 10, 0);
    Set(0, 5, 10, 0, SIF_DISABLENOSCROLL);
    EXPECT_EQ(win32::VScrollBarWidth(win_), 16);

    EXPECT_TRUE(ShowScrollBar(win_, SB_VERT, FALSE));
    EXPECT_EQ(win32::VScrollBarWidth(win_), 0);
    EXPECT_TRUE(ShowScrollBar(win_, SB_VERT, TRUE));
    EXPECT_EQ(win32::VScrollBarWidth(win_), 16);
    GetClientRect(win_, &rc);
    EXPECT_EQ(rc.right, kW - 16);

    // A window that is gone has no bar.
    HWND gone = win_;
    DestroyWindow(win_);
    EXPECT_FALSE(GetScrollInfo(gone, SB_VERT, &si));
    EXPECT_EQ(win32::VScrollBarWidth(gone), 0);
    EXPECT_FALSE(ShowScrollBar(gone, SB_VERT, TRUE));
}

TEST_F(ScrollBars, MouseSendsScrollCodesToTheWindow) {
    Set(0, 100, 10, 40);
    Click(4);       // up arrow
    Click(kH - 4);  // down arrow
    // Thumb: 168 px of track, 16 px thumb, position 40 of 91.
    Click(20);       // above the thumb
    Click(kH - 20);  // below the thumb
    std::vector<int> expected = {SB_LINEUP, SB_ENDSCROLL, SB_LINEDOWN, SB_ENDSCROLL,
                                 SB_PAGEUP, SB_ENDSCROLL, SB_PAGEDOWN, SB_ENDSCROLL};
    EXPECT_EQ(Rec().vscrollCodes, expected);
    // The window decides: nothing moved by itself.
    EXPECT_EQ(Get().nPos, 40);

    Rec().Clear();
    int thumbTop = 16 + (168 - 16) * 40 / 91;
    POINT down{kBarLeft + 8, thumbTop + 2};
    EXPECT_TRUE(win32::VScrollBarMouse(win_, WM_LBUTTONDOWN, down));
    POINT move{kBarLeft + 8, thumbTop + 2 + 30};
    EXPECT_TRUE(win32::VScrollBarMouse(win_, WM_MOUSEMOVE, move));
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_TRACKPOS | SIF_POS;
    GetScrollInfo(win_, SB_VERT, &si);
    EXPECT_EQ(si.nPos, 40);
    EXPECT_NEAR(si.nTrackPos, 40 + 30 * 91 / 152, 1);  // 30 px of 152 free ones
    EXPECT_FALSE(win32::VScrollBarMouse(win_, WM_LBUTTONUP, move));
    expected = {SB_THUMBTRACK, SB_THUMBPOSITION, SB_ENDSCROLL};
    EXPECT_EQ(Rec().vscrollCodes, expected);

    // Presses outside the bar, or on a bar without a range, are not taken.
    POINT outside{10, 10};
    EXPECT_FALSE(win32::VScrollBarMouse(win_, WM_LBUTTONDOWN, outside));
    Set(0, 100, 10, 0, 0);
    Set(0, 5, 10, 0, SIF_DISABLENOSCROLL);
    Rec().Clear();
    POINT arrow{kBarLeft + 8, 4};
    EXPECT_FALSE(win32::VScrollBarMouse(win_, WM_LBUTTONDOWN, arrow));
    EXPECT_TRUE(Rec().vscrollCodes.empty());
}

TEST_F(ScrollBars, ClassicLookPixels) {
    Set(0, 100, 10, 0);
    HDC dc = GetWindowDC(win_);
    ASSERT_NE(dc, nullptr);
    RECT bar{kBarLeft, 0, kW, kH};
    win32::PaintVScrollBar(win_, dc, bar);
    const COLORREF white = RGB(255, 255, 255), black = RGB(0, 0, 0), light = RGB(192, 192, 192),
                   shadow = RGB(128, 128, 128);
    // Up arrow button: raised edge, black glyph pointing up.
    EXPECT_EQ(GetPixel(dc, kBarLeft, 0), light);
    EXPECT_EQ(GetPixel(dc, kBarLeft + 1, 1), white);
    EXPECT_EQ(GetPixel(dc, kBarLeft + 15, 15), black);
    EXPECT_EQ(GetPixel(dc, kBarLeft + 14, 14), shadow);
    EXPECT_EQ(GetPixel(dc, kBarLeft + 7, 5), black);   // tip
    EXPECT_EQ(GetPixel(dc, kBarLeft + 6, 5), light);   // beside the tip
    EXPECT_EQ(GetPixel(dc, kBarLeft + 4, 8), black);   // base, left end
    EXPECT_EQ(GetPixel(dc, kBarLeft + 10, 8), black);  // base, right end
    EXPECT_EQ(GetPixel(dc, kBarLeft + 3, 8), light);
    // Down arrow: tip at the bottom.
    EXPECT_EQ(GetPixel(dc, kBarLeft + 7, kH - 16 + 8), black);
    EXPECT_EQ(GetPixel(dc, kBarLeft + 4, kH - 16 + 5), black);
    EXPECT_EQ(GetPixel(dc, kBarLeft + 4, kH - 16 + 8), light);
    // Thumb at the top of the track, 16 px (10 of 101 of 168 px).
    EXPECT_EQ(GetPixel(dc, kBarLeft, 16), light);
    EXPECT_EQ(GetPixel(dc, kBarLeft + 1, 17), white);
    EXPECT_EQ(GetPixel(dc, kBarLeft + 15, 31), black);
    EXPECT_EQ(GetPixel(dc, kBarLeft + 8, 24), light);
    // The track below: a checkerboard of white and the scroll-bar grey.
    for (int y = 40; y < 44; ++y)
        for (int x = kBarLeft; x < kW; ++x)
            EXPECT_EQ(GetPixel(dc, x, y), ((x + y) % 2 == 0) ? white : light) << x << "," << y;
    ReleaseDC(win_, dc);
}

}  // namespace
