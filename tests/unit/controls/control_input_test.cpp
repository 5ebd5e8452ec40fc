// The controls driven through the window manager's input path: pointer and
// keys injected into the headless screen, not sent to the control directly.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/testing.h"
#include "tests/support/parent_window.h"

using namespace testsupport;

namespace {

constexpr int kListId = 2000;

class ControlInput : public ::testing::Test {
protected:
    void SetUp() override {
        win32::testing::UseHeadless(640, 480);
        parent_ = CreateParent();  // client area at (10, 10) on the screen
        ASSERT_NE(parent_, nullptr);
        win32::testing::RunUntilIdle();
        Rec().Clear();
    }

    HWND parent_ = nullptr;
};

TEST_F(ControlInput, DoubleClickOnTheListReachesTheParent) {
    HWND list = CreateWindowExA(0, "listbox", "", 0x50202111, 0, 0, 200, 160, parent_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListId)), nullptr, nullptr);
    SendMessageA(list, LB_SETCOUNT, 30, 0);
    win32::testing::RunUntilIdle();
    Rec().Clear();
    win32::testing::DoubleClick(10 + 20, 10 + 3 * 16 + 4);
    win32::testing::RunUntilIdle();
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 3);
    EXPECT_EQ(GetFocus(), list);
    ASSERT_EQ(Rec().CountCommands(LBN_DBLCLK), 1);
    EXPECT_EQ(Rec().CountCommands(LBN_SELCHANGE), 1);
    EXPECT_EQ(Rec().commands.back().code, LBN_DBLCLK);

    // The bar's down arrow and the wheel scroll the list.
    RECT client;
    GetClientRect(list, &client);
    win32::testing::Click(10 + client.right + 8, 10 + 160 - 4);
    win32::testing::RunUntilIdle();
    EXPECT_EQ(SendMessageA(list, LB_GETTOPINDEX, 0, 0), 1);
    win32::testing::Wheel(10 + 50, 10 + 50, -WHEEL_DELTA);
    win32::testing::RunUntilIdle();
    EXPECT_EQ(SendMessageA(list, LB_GETTOPINDEX, 0, 0), 4);

    // Keys go to the focused list.
    win32::testing::KeyPress(VK_END);
    win32::testing::RunUntilIdle();
    EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 29);
    EXPECT_EQ(SendMessageA(list, LB_GETTOPINDEX, 0, 0), 20);
}

TEST_F(ControlInput, ButtonClicksOnlyWhenReleasedOverIt) {
    CreateWindowExA(0, "BUTTON", "&Go", WS_CHILD | WS_VISIBLE, 100, 100, 80, 26, parent_,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(7)), nullptr, nullptr);
    win32::testing::RunUntilIdle();
    Rec().Clear();
    win32::testing::Click(10 + 120, 10 + 110);
    win32::testing::RunUntilIdle();
    EXPECT_EQ(Rec().CountCommands(BN_CLICKED), 1);

    win32::testing::MouseDown(10 + 120, 10 + 110);
    win32::testing::MouseMove(10 + 300, 10 + 110);
    win32::testing::MouseUp(10 + 300, 10 + 110);
    win32::testing::RunUntilIdle();
    EXPECT_EQ(Rec().CountCommands(BN_CLICKED), 1);

    win32::testing::KeyPress(VK_SPACE);
    win32::testing::RunUntilIdle();
    EXPECT_EQ(Rec().CountCommands(BN_CLICKED), 2);
}

TEST_F(ControlInput, MessageBoxEndsOnAnInjectedKey) {
    win32::testing::KeyPress(VK_RETURN);
    EXPECT_EQ(MessageBoxA(parent_, "text", "caption", MB_OKCANCEL), IDOK);
    win32::testing::KeyPress(VK_ESCAPE);
    EXPECT_EQ(MessageBoxA(parent_, "text", "caption", MB_OKCANCEL), IDCANCEL);
    win32::testing::KeyPress(VK_F4, win32::testing::kAlt);
    EXPECT_EQ(MessageBoxA(parent_, "text", "caption", MB_YESNOCANCEL), IDCANCEL);
    EXPECT_TRUE(IsWindowEnabled(parent_));
    EXPECT_EQ(win32::testing::LiveWindowCount(), 1u);  // only the parent is left
}

}  // namespace
