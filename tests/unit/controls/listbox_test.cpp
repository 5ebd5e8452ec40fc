#include <gtest/gtest.h>
#include <windows.h>

#include <functional>

#include "platform/common/nonclient.h"
#include "platform/testing.h"
#include "tests/support/parent_window.h"
#include "tests/support/rect.h"

using namespace testsupport;

namespace {

constexpr int kListId = 2000;
constexpr DWORD kListStyle =
    WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NODATA | LBS_NOINTEGRALHEIGHT | LBS_OWNERDRAWFIXED | LBS_NOTIFY;

class ListBoxTest : public ::testing::Test {
protected:
    void SetUp() override { parent_ = CreateParent(); }
    void TearDown() override {
        if (IsWindow(parent_)) DestroyWindow(parent_);
        Rec().paintItems = false;
    }

    // A 200 x 160 list (ten whole items of 16) with `count` items.
    HWND MakeList(int count, DWORD style = kListStyle, int height = 160) {
        HWND list = CreateWindowExA(0, "listbox", "", style, 0, 0, 200, height, parent_,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListId)), nullptr, nullptr);
        if (list && count) SendMessageA(list, LB_SETCOUNT, count, 0);
        UpdateWindow(list);
        Rec().Clear();
        return list;
    }

    static int Top(HWND list) { return static_cast<int>(SendMessageA(list, LB_GETTOPINDEX, 0, 0)); }
    static int Sel(HWND list) { return static_cast<int>(SendMessageA(list, LB_GETCURSEL, 0, 0)); }
    static void Key(HWND list, UINT vk) { SendMessageA(list, WM_KEYDOWN, vk, 1); }

    HWND parent_ = nullptr;
};

TEST_F(ListBoxTest, ItemHeightComesFromOneMeasureItemPrefilledWithTheSystemFontHeight) {
    Rec().Clear();
    HWND list = CreateWindowExA(0, "listbox", "", kListStyle, 0, 0, 200, 160, parent_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListId)), nullptr, nullptr);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Rec().measureCalls, 1);
    EXPECT_EQ(Rec().measuredHeightIn, 16u);
    EXPECT_EQ(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0), 16);

    // An owner that answers sets the height; LB_SETITEMHEIGHT changes it later.
    Rec().measureAnswer = 24;
    HWND other =
        CreateWindowExA(0, "LISTBOX", "", kListStyle, 0, 0, 200, 160, parent_, nullptr, nullptr, nullptr);
    Rec().measureAnswer = 0;
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(SendMessageA(other, LB_GETITEMHEIGHT, 0, 0), 24);
    EXPECT_EQ(SendMessageA(other, LB_SETITEMHEIGHT, 0, MAKELPARAM(20, 0)), LB_OKAY);
    EXPECT_EQ(SendMessageA(other, LB_GETITEMHEIGHT, 0, 0), 20);
    EXPECT_EQ(SendMessageA(other, LB_SETITEMHEIGHT, 0, MAKELPARAM(256, 0)), LB_ERR);
    EXPECT_EQ(SendMessageA(other, LB_SETITEMHEIGHT, 0, 0), LB_ERR);
}

TEST_F(ListBoxTest, SetCountOnlyWithNoDataAndWithoutStrings) {
    HWND nodata = MakeList(0);
    EXPECT_EQ(SendMessageA(nodata, LB_SETCOUNT, 7, 0), LB_OKAY);
    EXPECT_EQ(SendMessageA(nodata, LB_GETCOUNT, 0, 0), 7);

    HWND plain = MakeList(0, WS_CHILD | WS_VISIBLE | LBS_OWNERDRAWFIXED);
    EXPECT_EQ(SendMessageA(plain, LB_SETCOUNT, 7, 0), LB_ERR);
    EXPECT_EQ(SendMessageA(plain, LB_GETCOUNT, 0, 0), 0);

    HWND strings = MakeList(0, WS_CHILD | WS_VISIBLE | LBS_OWNERDRAWFIXED | LBS_NODATA | LBS_HASSTRINGS);
    EXPECT_EQ(SendMessageA(strings, LB_SETCOUNT, 7, 0), LB_ERR);
    EXPECT_EQ(SendMessageA(strings, LB_GETCOUNT, 0, 0), 0);

    // Shrinking the count drops a selection beyond the new end.
    SendMessageA(nodata, LB_SETCURSEL, 6, 0);
    SendMessageA(nodata, LB_SETCOUNT, 3, 0);
    EXPECT_EQ(Sel(nodata), LB_ERR);
}

TEST_F(ListBoxTest, ItemRectanglesFollowTheTopIndex) {
    HWND list = MakeList(30);
    RECT rc{};
    ASSERT_NE(SendMessageA(list, LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&rc)), LB_ERR);
    RECT client;
    GetClientRect(list, &client);
    EXPECT_EQ(rc, (RECT{0, 0, client.right, 16}));

    EXPECT_EQ(SendMessageA(list, LB_SETTOPINDEX, 5, 0), LB_OKAY);
    EXPECT_EQ(Top(list), 5);
    SendMessageA(list, LB_GETITEMRECT, 7, reinterpret_cast<LPARAM>(&rc));
    EXPECT_EQ(rc.top, 32);
    EXPECT_EQ(rc.bottom, 48);
    SendMessageA(list, LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&rc));
    EXPECT_EQ(rc.top, -48);

    EXPECT_EQ(SendMessageA(list, LB_GETITEMRECT, 30, reinterpret_cast<LPARAM>(&rc)), LB_ERR);
    EXPECT_EQ(SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&rc)),
              LB_ERR);

    // The top index stops where the last page is full.
    SendMessageA(list, LB_SETTOPINDEX, 29, 0);
    EXPECT_EQ(Top(list), 20);
    EXPECT_EQ(SendMessageA(list, LB_SETTOPINDEX, 30, 0), LB_ERR);

    // Hit testing agrees with the rectangles.
    LRESULT hit = SendMessageA(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(10, 40));
    EXPECT_EQ(LOWORD(hit), 22);
    EXPECT_EQ(HIWORD(hit), 0);
}

TEST_F(ListBoxTest, ProgramSelectionSendsNoNotification) {
    HWND list = MakeList(5);
    EXPECT_EQ(SendMessageA(list, LB_SETCURSEL, 3, 0), 3);
    EXPECT_EQ(Sel(list), 3);
    EXPECT_EQ(SendMessageA(list, LB_GETCARETINDEX, 0, 0), 3);
    EXPECT_EQ(SendMessageA(list, LB_SETCURSEL, 9, 0), LB_ERR);
    EXPECT_EQ(Sel(list), 3);
    EXPECT_EQ(SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0), LB_ERR);
    EXPECT_EQ(Sel(list), LB_ERR);
    EXPECT_EQ(Rec().CountCommands(LBN_SELCHANGE), 0);
}

TEST_F(ListBoxTest, ClickSelectsAndNotifiesDoubleClickSendsDblClk) {
    HWND list = MakeList(5);
    Mouse(list, WM_LBUTTONDOWN, 10, 40);  // item 2
    EXPECT_EQ(GetFocus(), list);
    EXPECT_EQ(GetCapture(), list);
    Mouse(list, WM_LBUTTONUP, 10, 40);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(Sel(list), 2);
    // Taking the focus notifies too.
    ASSERT_EQ(Rec().commands.size(), 2u);
    EXPECT_EQ(Rec().commands[0].code, LBN_SETFOCUS);
    EXPECT_EQ(Rec().commands[1].id, kListId);
    EXPECT_EQ(Rec().commands[1].code, LBN_SELCHANGE);
    EXPECT_EQ(Rec().commands[1].from, list);

    // Clicking the selected item again changes nothing.
    Rec().Clear();
    Mouse(list, WM_LBUTTONDOWN, 10, 40);
    Mouse(list, WM_LBUTTONUP, 10, 40);
    EXPECT_TRUE(Rec().commands.empty());

    // A double-click on another item: selection change first, then the double-click.
    Rec().Clear();
    Mouse(list, WM_LBUTTONDOWN, 10, 70);
    Mouse(list, WM_LBUTTONUP, 10, 70);
    Mouse(list, WM_LBUTTONDBLCLK, 10, 70);
    Mouse(list, WM_LBUTTONUP, 10, 70);
    ASSERT_EQ(Rec().commands.size(), 2u);
    EXPECT_EQ(Rec().commands[0].code, LBN_SELCHANGE);
    EXPECT_EQ(Rec().commands[1].code, LBN_DBLCLK);
    EXPECT_EQ(Rec().commands[1].capture, nullptr);  // free for a modal box the owner opens
    EXPECT_EQ(Sel(list), 4);

    // Below the last item is on the last item: a click selects it and a
    // double-click there is a double-click on it.
    SendMessageA(list, LB_SETCURSEL, 0, 0);
    Rec().Clear();
    Mouse(list, WM_LBUTTONDOWN, 10, 150);
    Mouse(list, WM_LBUTTONUP, 10, 150);
    Mouse(list, WM_LBUTTONDBLCLK, 10, 150);
    Mouse(list, WM_LBUTTONUP, 10, 150);
    EXPECT_EQ(Sel(list), 4);
    EXPECT_EQ(Rec().CountCommands(LBN_SELCHANGE), 1);
    EXPECT_EQ(Rec().CountCommands(LBN_DBLCLK), 1);
}

TEST_F(ListBoxTest, NoNotificationsWithoutNotifyStyle) {
    HWND list = MakeList(5, kListStyle & ~LBS_NOTIFY);
    Mouse(list, WM_LBUTTONDOWN, 10, 40);
    Mouse(list, WM_LBUTTONUP, 10, 40);
    Mouse(list, WM_LBUTTONDBLCLK, 10, 40);
    Mouse(list, WM_LBUTTONUP, 10, 40);
    EXPECT_EQ(Sel(list), 2);
    EXPECT_TRUE(Rec().commands.empty());
}

TEST_F(ListBoxTest, PaintDrawsEveryVisibleItemAfterAskingForColours) {
    HWND list = MakeList(30);
    SendMessageA(list, LB_SETCURSEL, 1, 0);
    Rec().Clear();
    InvalidateRect(list, nullptr, TRUE);
    UpdateWindow(list);
    EXPECT_GE(Rec().ctlColorListBox, 1);
    EXPECT_EQ(Rec().lastCtlColorList, list);
    ASSERT_EQ(Rec().draws.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        const DrawItem &d = Rec().draws[static_cast<size_t>(i)];
        EXPECT_EQ(d.ctlType, static_cast<UINT>(ODT_LISTBOX));
        EXPECT_EQ(d.ctlId, static_cast<UINT>(kListId));
        EXPECT_EQ(d.itemId, i);
        EXPECT_EQ(d.action, static_cast<UINT>(ODA_DRAWENTIRE));
        EXPECT_EQ(d.item, list);
        EXPECT_TRUE(d.hasDc);
        EXPECT_EQ(d.rc.top, i * 16);
        EXPECT_EQ(d.state & ODS_SELECTED, i == 1 ? static_cast<UINT>(ODS_SELECTED) : 0u);
    }
    // The colour question comes before the first item.
    size_t color = 0, draw = 0;
    for (size_t i = 0; i < Rec().messages.size(); ++i) {
        if (Rec().messages[i] == WM_CTLCOLORLISTBOX && !color) color = i + 1;
        if (Rec().messages[i] == WM_DRAWITEM && !draw) draw = i + 1;
    }
    EXPECT_LT(color, draw);

    // Every paint asks again.
    Rec().Clear();
    InvalidateRect(list, nullptr, TRUE);
    UpdateWindow(list);
    EXPECT_GE(Rec().ctlColorListBox, 1);
}

TEST_F(ListBoxTest, BackgroundUsesTheParentsBrush) {
    HBRUSH beige = CreateSolidBrush(RGB(245, 245, 220));
    Rec().listBrush = beige;
    HWND list = MakeList(3);
    InvalidateRect(list, nullptr, TRUE);
    UpdateWindow(list);
    // Items are left to the owner (who draws nothing here); below them, and
    // in the items' cells, the brush shows.
    EXPECT_EQ(ClientPixel(list, 5, 100), RGB(245, 245, 220));
    EXPECT_EQ(ClientPixel(list, 150, 150), RGB(245, 245, 220));
    Rec().listBrush = nullptr;
    InvalidateRect(list, nullptr, TRUE);
    UpdateWindow(list);
    EXPECT_EQ(ClientPixel(list, 5, 100), GetSysColor(COLOR_WINDOW));
    DestroyWindow(list);
    DeleteObject(beige);
}

TEST_F(ListBoxTest, SelectionAndFocusChangesDrawOnlyWhatChanged) {
    HWND list = MakeList(5);
    SendMessageA(list, LB_SETCURSEL, 1, 0);
    SetFocus(list);
    ASSERT_FALSE(Rec().draws.empty());
    const DrawItem &gain = Rec().draws.back();
    EXPECT_EQ(gain.action, static_cast<UINT>(ODA_FOCUS));
    EXPECT_EQ(gain.itemId, 1);
    EXPECT_EQ(gain.state, static_cast<UINT>(ODS_FOCUS | ODS_SELECTED));

    Rec().Clear();
    Key(list, VK_DOWN);
    // Old caret loses focus, old item loses selection, new gains it, new caret gets focus.
    ASSERT_EQ(Rec().draws.size(), 4u);
    EXPECT_EQ(Rec().draws[0].action, static_cast<UINT>(ODA_FOCUS));
    EXPECT_EQ(Rec().draws[0].itemId, 1);
    EXPECT_EQ(Rec().draws[0].state & ODS_FOCUS, 0u);
    EXPECT_EQ(Rec().draws[1].action, static_cast<UINT>(ODA_SELECT));
    EXPECT_EQ(Rec().draws[1].itemId, 1);
    EXPECT_EQ(Rec().draws[1].state & ODS_SELECTED, 0u);
    EXPECT_EQ(Rec().draws[2].action, static_cast<UINT>(ODA_SELECT));
    EXPECT_EQ(Rec().draws[2].itemId, 2);
    EXPECT_NE(Rec().draws[2].state & ODS_SELECTED, 0u);
    EXPECT_EQ(Rec().draws[3].action, static_cast<UINT>(ODA_FOCUS));
    EXPECT_EQ(Rec().draws[3].itemId, 2);
    EXPECT_NE(Rec().draws[3].state & ODS_FOCUS, 0u);
    EXPECT_EQ(Rec().CountCommands(LBN_SELCHANGE), 1);

    Rec().Clear();
    SetFocus(parent_);
    ASSERT_EQ(Rec().draws.size(), 1u);
    EXPECT_EQ(Rec().draws[0].action, static_cast<UINT>(ODA_FOCUS));
    EXPECT_EQ(Rec().draws[0].state & ODS_FOCUS, 0u);

    // An empty box with the focus draws a focus cell for item -1.
    HWND empty = MakeList(0);
    SetFocus(empty);
    ASSERT_FALSE(Rec().draws.empty());
    EXPECT_EQ(Rec().draws.back().itemId, -1);
    EXPECT_EQ(Rec().draws.back().action, static_cast<UINT>(ODA_FOCUS));
    Rec().Clear();
    InvalidateRect(empty, nullptr, TRUE);
    UpdateWindow(empty);
    ASSERT_EQ(Rec().draws.size(), 1u);
    EXPECT_EQ(Rec().draws[0].itemId, -1);
    EXPECT_NE(Rec().draws[0].state & ODS_FOCUS, 0u);
}

TEST_F(ListBoxTest, KeyboardMovesTheSelectionAndKeepsItVisible) {
    HWND list = MakeList(30);
    SetFocus(list);
    SendMessageA(list, LB_SETCURSEL, 0, 0);
    Key(list, VK_DOWN);
    EXPECT_EQ(Sel(list), 1);
    Key(list, VK_UP);
    Key(list, VK_UP);  // stays on the first item
    EXPECT_EQ(Sel(list), 0);
    Key(list, VK_NEXT);  // a page is the visible items less one
    EXPECT_EQ(Sel(list), 9);
    EXPECT_EQ(Top(list), 0);
    Key(list, VK_NEXT);
    EXPECT_EQ(Sel(list), 18);
    EXPECT_EQ(Top(list), 9);
    Key(list, VK_END);
    EXPECT_EQ(Sel(list), 29);
    EXPECT_EQ(Top(list), 20);
    Key(list, VK_PRIOR);
    EXPECT_EQ(Sel(list), 20);
    Key(list, VK_HOME);
    EXPECT_EQ(Sel(list), 0);
    EXPECT_EQ(Top(list), 0);
    EXPECT_EQ(Rec().CountCommands(LBN_SELCHANGE), 7);
    EXPECT_EQ(SendMessageA(list, WM_GETDLGCODE, 0, 0), DLGC_WANTARROWS | DLGC_WANTCHARS);
}

TEST_F(ListBoxTest, ScrollBarOnlyWhenItemsDoNotFit) {
    HWND list = MakeList(10);  // exactly ten fit
    EXPECT_EQ(win32::VScrollBarWidth(list), 0);
    RECT rc;
    GetClientRect(list, &rc);
    EXPECT_EQ(rc.right, 200);

    SendMessageA(list, LB_SETCOUNT, 11, 0);
    EXPECT_EQ(win32::VScrollBarWidth(list), GetSystemMetrics(SM_CXVSCROLL));
    GetClientRect(list, &rc);
    EXPECT_EQ(rc.right, 200 - GetSystemMetrics(SM_CXVSCROLL));
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(list, SB_VERT, &si));
    EXPECT_EQ(si.nMin, 0);
    EXPECT_EQ(si.nMax, 10);
    EXPECT_EQ(si.nPage, 10u);

    // Growing the list so everything fits hides the bar again.
    MoveWindow(list, 0, 0, 200, 240, TRUE);
    EXPECT_EQ(win32::VScrollBarWidth(list), 0);
}

TEST_F(ListBoxTest, WheelArrowsAndThumbScroll) {
    HWND list = MakeList(40);
    SendMessageA(list, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), MAKELPARAM(50, 50));
    EXPECT_EQ(Top(list), 3);
    SendMessageA(list, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(50, 50));
    EXPECT_EQ(Top(list), 0);
    // Half notches add up.
    SendMessageA(list, WM_MOUSEWHEEL, MAKEWPARAM(0, -60), 0);
    EXPECT_EQ(Top(list), 0);
    SendMessageA(list, WM_MOUSEWHEEL, MAKEWPARAM(0, -60), 0);
    EXPECT_EQ(Top(list), 3);
    SendMessageA(list, LB_SETTOPINDEX, 0, 0);

    // The bar sits right of the client area, in window coordinates.
    RECT rc;
    GetClientRect(list, &rc);
    const int barX = rc.right + 8;
    POINT down{barX, 160 - 8};
    EXPECT_TRUE(win32::VScrollBarMouse(list, WM_LBUTTONDOWN, down));
    EXPECT_FALSE(win32::VScrollBarMouse(list, WM_LBUTTONUP, down));
    EXPECT_EQ(Top(list), 1);
    POINT up{barX, 8};
    win32::VScrollBarMouse(list, WM_LBUTTONDOWN, up);
    win32::VScrollBarMouse(list, WM_LBUTTONUP, up);
    EXPECT_EQ(Top(list), 0);

    // Page down: the track below the thumb.
    POINT track{barX, 120};
    win32::VScrollBarMouse(list, WM_LBUTTONDOWN, track);
    win32::VScrollBarMouse(list, WM_LBUTTONUP, track);
    EXPECT_EQ(Top(list), 10);

    // Dragging the thumb to the bottom of the track shows the last page.
    SendMessageA(list, WM_VSCROLL, MAKEWPARAM(SB_TOP, 0), 0);
    EXPECT_EQ(Top(list), 0);
    POINT thumb{barX, 16 + 4};
    EXPECT_TRUE(win32::VScrollBarMouse(list, WM_LBUTTONDOWN, thumb));
    POINT far{barX, 400};
    EXPECT_TRUE(win32::VScrollBarMouse(list, WM_MOUSEMOVE, far));
    EXPECT_EQ(Top(list), 30);
    EXPECT_FALSE(win32::VScrollBarMouse(list, WM_LBUTTONUP, far));
    EXPECT_EQ(Top(list), 30);
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_POS;
    GetScrollInfo(list, SB_VERT, &si);
    EXPECT_EQ(si.nPos, 30);
}

// Scrolling by the wheel, the scroll bar and the keyboard, as a user does
// it: what reaches the screen is the rows from the new top index, and Down
// on the last visible row, or on the last item scrolled away, brings the
// caret's row into view.
TEST_F(ListBoxTest, ScrollingShowsTheRowsFromTheNewTop) {
    Rec().paintItems = true;
    HWND list = MakeList(40);
    SetFocus(list);
    win32::testing::RunUntilIdle();
    RECT win;
    GetWindowRect(list, &win);
    auto screenRowsFrom = [&](int top, const char *how) {
        ASSERT_EQ(Top(list), top) << how;
        for (int row = 0; row < 10; ++row) {
            POINT p{100, row * 16 + 8};
            ClientToScreen(list, &p);
            COLORREF c = ItemColour(top + row);
            uint32_t rgb = (uint32_t{GetRValue(c)} << 16) | (uint32_t{GetGValue(c)} << 8) | GetBValue(c);
            EXPECT_EQ(win32::testing::ScreenPixel(p.x, p.y), rgb) << how << ", row " << row;
        }
    };
    struct Step {
        const char *how;
        std::function<void()> act;
        int top;
    } steps[] = {
        {"wheel", [&] { win32::testing::Wheel(win.left + 50, win.top + 50, -WHEEL_DELTA); }, 3},
        {"scroll-bar arrow", [&] { win32::testing::Click(win.right - 8, win.bottom - 8); }, 4},
        {"Down past the last row",
         [&] {
             SendMessageA(list, LB_SETCURSEL, 13, 0);  // the last visible row
             win32::testing::KeyPress(VK_DOWN);
         },
         5},
        {"Down on the last item scrolled out of view",
         [&] {
             SendMessageA(list, LB_SETCURSEL, 39, 0);
             win32::testing::Wheel(win.left + 50, win.top + 50, 3 * WHEEL_DELTA);
             win32::testing::KeyPress(VK_DOWN);
         },
         30},
    };
    for (const Step &step : steps) {
        step.act();
        win32::testing::RunUntilIdle();
        screenRowsFrom(step.top, step.how);
    }
    EXPECT_EQ(Sel(list), 39);
}

TEST_F(ListBoxTest, IntegralHeightDropsThePartialItem) {
    HWND list = MakeList(3, WS_CHILD | WS_VISIBLE | LBS_NODATA | LBS_OWNERDRAWFIXED, 70);
    RECT rc;
    GetClientRect(list, &rc);
    EXPECT_EQ(rc.bottom, 64);
    HWND loose = MakeList(3, kListStyle, 70);
    GetClientRect(loose, &rc);
    EXPECT_EQ(rc.bottom, 70);
}

TEST_F(ListBoxTest, PlainStringListsKeepSortAndDrawTheirItems) {
    HWND list = MakeList(0, WS_CHILD | WS_VISIBLE | LBS_SORT | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS);
    EXPECT_EQ(SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("pear")), 0);
    EXPECT_EQ(SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Apple")), 0);
    EXPECT_EQ(SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("fig")), 1);
    EXPECT_EQ(SendMessageA(list, LB_INSERTSTRING, 3, reinterpret_cast<LPARAM>("zz")), 3);
    EXPECT_EQ(SendMessageA(list, LB_INSERTSTRING, 9, reinterpret_cast<LPARAM>("no")), LB_ERR);
    char text[16] = {};
    EXPECT_EQ(SendMessageA(list, LB_GETTEXTLEN, 2, 0), 4);
    EXPECT_EQ(SendMessageA(list, LB_GETTEXT, 2, reinterpret_cast<LPARAM>(text)), 4);
    EXPECT_STREQ(text, "pear");
    EXPECT_EQ(SendMessageA(list, LB_SETCOUNT, 9, 0), LB_ERR);

    // Deleting above the selection moves it with its item.
    SendMessageA(list, LB_SETCURSEL, 2, 0);
    EXPECT_EQ(SendMessageA(list, LB_DELETESTRING, 0, 0), 3);
    EXPECT_EQ(Sel(list), 1);
    SendMessageA(list, WM_CHAR, 'Z', 1);  // typing jumps to the next match
    EXPECT_EQ(Sel(list), 2);
    SendMessageA(list, WM_CHAR, 'p', 1);
    EXPECT_EQ(Sel(list), 1);
    SendMessageA(list, LB_SETITEMDATA, 1, 77);
    EXPECT_EQ(SendMessageA(list, LB_GETITEMDATA, 1, 0), 77);

    // The box draws its items itself: the selection in the highlight colour.
    InvalidateRect(list, nullptr, TRUE);
    UpdateWindow(list);
    EXPECT_TRUE(Rec().draws.empty());
    EXPECT_EQ(ClientPixel(list, 190, 16 + 8), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(ClientPixel(list, 190, 8), GetSysColor(COLOR_WINDOW));
    int dark = 0;
    for (int x = 0; x < 60; ++x)
        for (int y = 0; y < 16; ++y) dark += ClientPixel(list, x, y) == RGB(0, 0, 0);
    EXPECT_GT(dark, 5);  // the text of the first item
}

}  // namespace
