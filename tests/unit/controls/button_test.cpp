#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/parent_window.h"
#include "tests/support/rect.h"

using namespace testsupport;

namespace {

constexpr int kId = 901;
constexpr int kW = 80;
constexpr int kH = 26;

class Buttons : public ::testing::Test {
protected:
    void SetUp() override { parent_ = CreateParent(); }
    void TearDown() override {
        if (IsWindow(parent_)) DestroyWindow(parent_);
    }

    HWND MakeButton(DWORD type = BS_PUSHBUTTON, const char *label = "&Ok") {
        HWND b = CreateWindowExA(0, "BUTTON", label, WS_CHILD | WS_VISIBLE | type, 20, 20, kW, kH, parent_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(kId)), nullptr, nullptr);
        UpdateWindow(b);
        Rec().Clear();
        return b;
    }

    static int Clicks() { return Rec().CountCommands(BN_CLICKED); }
    static LRESULT State(HWND b) { return SendMessageA(b, BM_GETSTATE, 0, 0); }

    HWND parent_ = nullptr;
};

TEST_F(Buttons, ReleaseInsideClicksOnceAfterTheVisualRelease) {
    HWND b = MakeButton();
    Mouse(b, WM_LBUTTONDOWN, 10, 10);
    EXPECT_EQ(GetCapture(), b);
    EXPECT_EQ(GetFocus(), b);
    EXPECT_NE(State(b) & BST_PUSHED, 0);
    EXPECT_EQ(Clicks(), 0);
    Mouse(b, WM_LBUTTONUP, 10, 10);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(State(b) & BST_PUSHED, 0);
    ASSERT_EQ(Rec().commands.size(), 1u);
    EXPECT_EQ(Rec().commands[0].id, kId);
    EXPECT_EQ(Rec().commands[0].code, BN_CLICKED);
    EXPECT_EQ(Rec().commands[0].from, b);
    EXPECT_EQ(Rec().commands[0].capture, nullptr);
}

TEST_F(Buttons, DraggingOutAndBackFollowsThePointer) {
    HWND b = MakeButton();
    Mouse(b, WM_LBUTTONDOWN, 10, 10);
    Mouse(b, WM_MOUSEMOVE, 200, 10);
    EXPECT_EQ(State(b) & BST_PUSHED, 0);
    Mouse(b, WM_MOUSEMOVE, -3, 10);
    EXPECT_EQ(State(b) & BST_PUSHED, 0);
    Mouse(b, WM_LBUTTONUP, -3, 10);
    EXPECT_EQ(Clicks(), 0);
    EXPECT_EQ(GetCapture(), nullptr);

    Mouse(b, WM_LBUTTONDOWN, 10, 10);
    Mouse(b, WM_MOUSEMOVE, 10, 100);
    Mouse(b, WM_MOUSEMOVE, 10, 12);
    EXPECT_NE(State(b) & BST_PUSHED, 0);
    Mouse(b, WM_LBUTTONUP, 10, 12);
    EXPECT_EQ(Clicks(), 1);
}

TEST_F(Buttons, DoubleClickCountsAsASecondPress) {
    HWND b = MakeButton();
    Mouse(b, WM_LBUTTONDOWN, 10, 10);
    Mouse(b, WM_LBUTTONUP, 10, 10);
    Mouse(b, WM_LBUTTONDBLCLK, 10, 10);
    Mouse(b, WM_LBUTTONUP, 10, 10);
    EXPECT_EQ(Clicks(), 2);
}

TEST_F(Buttons, SpaceBarPushesOnDownAndClicksOnUp) {
    HWND b = MakeButton();
    SetFocus(b);
    SendMessageA(b, WM_KEYDOWN, VK_SPACE, 1);
    EXPECT_NE(State(b) & BST_PUSHED, 0);
    SendMessageA(b, WM_KEYDOWN, VK_SPACE, 1 | (1L << 30));  // auto-repeat
    EXPECT_EQ(Clicks(), 0);
    SendMessageA(b, WM_KEYUP, VK_SPACE, 1);
    EXPECT_EQ(State(b) & BST_PUSHED, 0);
    EXPECT_EQ(Clicks(), 1);

    // Another key released while the space bar is down cancels the press.
    SendMessageA(b, WM_KEYDOWN, VK_SPACE, 1);
    SendMessageA(b, WM_KEYUP, 'A', 1);
    SendMessageA(b, WM_KEYUP, VK_SPACE, 1);
    EXPECT_EQ(Clicks(), 1);

    // Enter is left to the dialog code.
    SendMessageA(b, WM_KEYDOWN, VK_RETURN, 1);
    SendMessageA(b, WM_KEYUP, VK_RETURN, 1);
    EXPECT_EQ(Clicks(), 1);
}

TEST_F(Buttons, LosingFocusCancelsAPress) {
    HWND b = MakeButton();
    Mouse(b, WM_LBUTTONDOWN, 10, 10);
    SetFocus(parent_);
    EXPECT_EQ(State(b) & BST_PUSHED, 0);
    EXPECT_NE(GetCapture(), b);
    Mouse(b, WM_LBUTTONUP, 10, 10);
    EXPECT_EQ(Clicks(), 0);

    SetFocus(b);
    SendMessageA(b, WM_KEYDOWN, VK_SPACE, 1);
    SetFocus(parent_);
    SendMessageA(b, WM_KEYUP, VK_SPACE, 1);
    EXPECT_EQ(Clicks(), 0);
}

TEST_F(Buttons, DisabledButtonNeverClicks) {
    HWND b = MakeButton();
    EnableWindow(b, FALSE);
    SendMessageA(b, BM_CLICK, 0, 0);
    Mouse(b, WM_LBUTTONDOWN, 10, 10);
    Mouse(b, WM_LBUTTONUP, 10, 10);
    SendMessageA(b, WM_KEYDOWN, VK_SPACE, 1);
    SendMessageA(b, WM_KEYUP, VK_SPACE, 1);
    EXPECT_EQ(Clicks(), 0);
    EnableWindow(b, TRUE);
    SendMessageA(b, BM_CLICK, 0, 0);
    EXPECT_EQ(Clicks(), 1);
}

TEST_F(Buttons, StateAndDialogCodes) {
    HWND b = MakeButton();
    EXPECT_EQ(State(b), 0);
    SendMessageA(b, BM_SETSTATE, TRUE, 0);
    EXPECT_EQ(State(b), BST_PUSHED);
    SendMessageA(b, BM_SETSTATE, FALSE, 0);
    SetFocus(b);
    EXPECT_EQ(State(b), BST_FOCUS);
    EXPECT_EQ(SendMessageA(b, WM_GETDLGCODE, 0, 0), DLGC_UNDEFPUSHBUTTON | DLGC_BUTTON);
    HWND def = MakeButton(BS_DEFPUSHBUTTON);
    EXPECT_EQ(SendMessageA(def, WM_GETDLGCODE, 0, 0), DLGC_DEFPUSHBUTTON | DLGC_BUTTON);
}

TEST_F(Buttons, OwnerDrawActionsAndStates) {
    HWND b = MakeButton(BS_OWNERDRAW, "link");
    InvalidateRect(b, nullptr, TRUE);
    UpdateWindow(b);
    ASSERT_EQ(Rec().draws.size(), 1u);
    DrawItem d = Rec().draws[0];
    EXPECT_EQ(d.ctlType, static_cast<UINT>(ODT_BUTTON));
    EXPECT_EQ(d.ctlId, static_cast<UINT>(kId));
    EXPECT_EQ(d.itemId, 0);
    EXPECT_EQ(d.action, static_cast<UINT>(ODA_DRAWENTIRE));
    EXPECT_EQ(d.state, 0u);
    EXPECT_EQ(d.item, b);
    EXPECT_EQ(d.rc, (RECT{0, 0, kW, kH}));

    Rec().Clear();
    SetFocus(b);
    ASSERT_EQ(Rec().draws.size(), 1u);
    EXPECT_EQ(Rec().draws[0].action, static_cast<UINT>(ODA_FOCUS));
    EXPECT_EQ(Rec().draws[0].state, static_cast<UINT>(ODS_FOCUS));

    Rec().Clear();
    Mouse(b, WM_LBUTTONDOWN, 5, 5);
    ASSERT_EQ(Rec().draws.size(), 1u);
    EXPECT_EQ(Rec().draws[0].action, static_cast<UINT>(ODA_SELECT));
    EXPECT_EQ(Rec().draws[0].state, static_cast<UINT>(ODS_SELECTED | ODS_FOCUS));
    Mouse(b, WM_LBUTTONUP, 5, 5);
    ASSERT_EQ(Rec().draws.size(), 2u);
    EXPECT_EQ(Rec().draws[1].action, static_cast<UINT>(ODA_SELECT));
    EXPECT_EQ(Rec().draws[1].state, static_cast<UINT>(ODS_FOCUS));
    EXPECT_EQ(Clicks(), 1);

    // Setting the same state again draws nothing.
    Rec().Clear();
    SendMessageA(b, BM_SETSTATE, FALSE, 0);
    EXPECT_TRUE(Rec().draws.empty());

    Rec().Clear();
    SetFocus(parent_);
    EnableWindow(b, FALSE);
    InvalidateRect(b, nullptr, TRUE);
    UpdateWindow(b);
    ASSERT_FALSE(Rec().draws.empty());
    EXPECT_EQ(Rec().draws.back().state, static_cast<UINT>(ODS_DISABLED));
}

WNDPROC g_original = nullptr;
int g_seenDown = 0;
int g_seenUp = 0;

LRESULT CALLBACK Subclass(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_LBUTTONDOWN) ++g_seenDown;
    if (msg == WM_LBUTTONUP) ++g_seenUp;
    if (msg == WM_KEYDOWN && wParam == 'X') return 0;  // swallowed by the subclass
    return CallWindowProcA(g_original, hwnd, msg, wParam, lParam);
}

TEST_F(Buttons, SubclassingThroughTheWindowProcedure) {
    HWND b = MakeButton();
    g_original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(b, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(static_cast<WNDPROC>(Subclass))));
    ASSERT_NE(g_original, nullptr);
    g_seenDown = g_seenUp = 0;

    SendMessageA(b, BM_CLICK, 0, 0);
    EXPECT_EQ(g_seenDown, 1);  // BM_CLICK goes through the procedure in place
    EXPECT_EQ(g_seenUp, 1);
    EXPECT_EQ(Clicks(), 1);

    Mouse(b, WM_LBUTTONDOWN, 10, 10);
    Mouse(b, WM_LBUTTONUP, 10, 10);
    EXPECT_EQ(Clicks(), 2);
    SetFocus(b);
    SendMessageA(b, WM_KEYDOWN, VK_SPACE, 1);
    SendMessageA(b, WM_KEYUP, VK_SPACE, 1);
    EXPECT_EQ(Clicks(), 3);

    // The user data slot stays the program's.
    SetWindowLongPtrA(b, GWLP_USERDATA, 0x1234);
    SendMessageA(b, BM_CLICK, 0, 0);
    EXPECT_EQ(Clicks(), 4);
    EXPECT_EQ(GetWindowLongPtrA(b, GWLP_USERDATA), 0x1234);
}

TEST_F(Buttons, ClassicLookPixels) {
    HWND b = MakeButton(BS_PUSHBUTTON, "");
    InvalidateRect(b, nullptr, TRUE);
    UpdateWindow(b);
    const COLORREF white = RGB(255, 255, 255), black = RGB(0, 0, 0), light = RGB(192, 192, 192),
                   shadow = RGB(128, 128, 128);
    EXPECT_EQ(ClientPixel(b, 0, 0), white);
    EXPECT_EQ(ClientPixel(b, kW / 2, 0), white);
    EXPECT_EQ(ClientPixel(b, 0, kH / 2), white);
    EXPECT_EQ(ClientPixel(b, kW - 1, kH / 2), black);
    EXPECT_EQ(ClientPixel(b, kW / 2, kH - 1), black);
    EXPECT_EQ(ClientPixel(b, kW - 1, kH - 1), black);
    EXPECT_EQ(ClientPixel(b, 1, 1), light);
    EXPECT_EQ(ClientPixel(b, kW - 2, kH / 2), shadow);
    EXPECT_EQ(ClientPixel(b, kW / 2, kH - 2), shadow);
    EXPECT_EQ(ClientPixel(b, kW / 2, kH / 2), GetSysColor(COLOR_BTNFACE));

    // Pushed: a flat shadow frame.
    SendMessageA(b, BM_SETSTATE, TRUE, 0);
    EXPECT_EQ(ClientPixel(b, 0, 0), shadow);
    EXPECT_EQ(ClientPixel(b, kW - 1, kH - 1), shadow);
    EXPECT_EQ(ClientPixel(b, 1, 1), light);
    SendMessageA(b, BM_SETSTATE, FALSE, 0);

    // Default button: a black line outside the edge.
    HWND def = MakeButton(BS_DEFPUSHBUTTON, "");
    InvalidateRect(def, nullptr, TRUE);
    UpdateWindow(def);
    EXPECT_EQ(ClientPixel(def, 0, 0), black);
    EXPECT_EQ(ClientPixel(def, 1, 1), white);
    EXPECT_EQ(ClientPixel(def, kW - 2, kH - 2), black);

    // Focus: a dotted rectangle three pixels in.
    SetFocus(b);
    InvalidateRect(b, nullptr, TRUE);
    UpdateWindow(b);
    int changed = 0;
    for (int x = 3; x < kW - 3; ++x) changed += ClientPixel(b, x, 3) != light;
    EXPECT_GT(changed, (kW - 6) / 3);
    EXPECT_LT(changed, kW - 6);
}

// Counts the pixels of the label area by colour.
void CountLabel(HWND b, int *black, int *grey, int *white) {
    *black = *grey = *white = 0;
    for (int y = 4; y < kH - 4; ++y)
        for (int x = 4; x < kW - 4; ++x) {
            COLORREF c = ClientPixel(b, x, y);
            *black += c == RGB(0, 0, 0);
            *grey += c == RGB(128, 128, 128);
            *white += c == RGB(255, 255, 255);
        }
}

TEST_F(Buttons, LabelIsBlackWhenEnabledEmbossedWhenDisabled) {
    HWND b = MakeButton(BS_PUSHBUTTON, "&Ok");
    InvalidateRect(b, nullptr, TRUE);
    UpdateWindow(b);
    int black, grey, white;
    CountLabel(b, &black, &grey, &white);
    EXPECT_GT(black, 10);
    EXPECT_EQ(grey, 0);
    EnableWindow(b, FALSE);
    UpdateWindow(b);
    CountLabel(b, &black, &grey, &white);
    EXPECT_EQ(black, 0);
    EXPECT_GT(grey, 10);
    EXPECT_GT(white, 5);
}

}  // namespace
