#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/parent_window.h"

using namespace testsupport;

namespace {

// The owner script: once the box has disabled the owner, the owner posts
// itself WM_APP; when the box's loop dispatches it, the owner sends the
// keys of the script to whatever window has the focus then (a button of
// the box), or posts a quit.
constexpr UINT kAct = WM_USER + 0x100;

struct Step {
    UINT message;  // WM_KEYDOWN, WM_SYSKEYDOWN, WM_QUIT (post a quit)
    WPARAM key;
};

struct Script {
    std::vector<Step> steps;
    bool ownerEnabledDuringBox = true;
    HWND focusDuringBox = nullptr;
    RECT boxClient{};
    bool sawBox = false;
};

Script g_script;

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_ENABLE && !wParam) PostMessageA(hwnd, kAct, 0, 0);
    if (msg == kAct) {
        g_script.sawBox = true;
        g_script.ownerEnabledDuringBox = IsWindowEnabled(hwnd) != FALSE;
        g_script.focusDuringBox = GetFocus();
        GetClientRect(GetParent(GetFocus()), &g_script.boxClient);
        for (const Step &s : g_script.steps) {
            if (s.message == WM_QUIT)
                PostQuitMessage(3);
            else
                PostMessageA(GetFocus(), s.message, s.key, s.message == WM_SYSKEYDOWN ? (1L << 29) : 1);
        }
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

class MessageBoxes : public ::testing::Test {
protected:
    void SetUp() override {
        static bool registered = false;
        if (!registered) {
            WNDCLASSA wc{};
            wc.lpfnWndProc = OwnerProc;
            wc.lpszClassName = "ControlsTestOwner";
            registered = RegisterClassA(&wc) != 0;
        }
        owner_ = CreateWindowExA(0, "ControlsTestOwner", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50,
                                 400, 300, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(owner_, nullptr);
        g_script = Script{};
    }
    void TearDown() override {
        if (IsWindow(owner_)) DestroyWindow(owner_);
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    int Run(UINT type, std::vector<Step> steps) {
        g_script.steps = std::move(steps);
        return MessageBoxA(owner_, "First line\nSecond line", "Caption", type);
    }

    HWND owner_ = nullptr;
};

TEST_F(MessageBoxes, EnterAnswersOkAndTheOwnerComesBack) {
    EXPECT_EQ(Run(MB_OK, {{WM_KEYDOWN, VK_RETURN}}), IDOK);
    EXPECT_TRUE(g_script.sawBox);
    EXPECT_FALSE(g_script.ownerEnabledDuringBox);
    EXPECT_TRUE(IsWindowEnabled(owner_));
    // The focus was on a button of the box, not on the owner.
    ASSERT_NE(g_script.focusDuringBox, nullptr);
    EXPECT_NE(g_script.focusDuringBox, owner_);
    EXPECT_FALSE(IsWindow(g_script.focusDuringBox));  // the box is gone
}

TEST_F(MessageBoxes, KeysPickTheResult) {
    EXPECT_EQ(Run(MB_OKCANCEL, {{WM_KEYDOWN, VK_ESCAPE}}), IDCANCEL);
    EXPECT_EQ(Run(MB_OK, {{WM_KEYDOWN, VK_ESCAPE}}), IDOK);
    EXPECT_EQ(Run(MB_OKCANCEL, {{WM_KEYDOWN, VK_TAB}, {WM_KEYDOWN, VK_RETURN}}), IDCANCEL);
    EXPECT_EQ(Run(MB_YESNO, {{WM_KEYDOWN, VK_RETURN}}), IDYES);
    EXPECT_EQ(Run(MB_YESNO | MB_DEFBUTTON2, {{WM_KEYDOWN, VK_RETURN}}), IDNO);
    EXPECT_EQ(Run(MB_YESNOCANCEL | MB_ICONQUESTION, {{WM_KEYDOWN, 'N'}}), IDNO);
    EXPECT_EQ(Run(MB_YESNOCANCEL, {{WM_KEYDOWN, VK_LEFT}, {WM_KEYDOWN, VK_RETURN}}), IDCANCEL);
    EXPECT_EQ(Run(MB_OKCANCEL | MB_ICONHAND, {{WM_SYSKEYDOWN, VK_F4}}), IDCANCEL);
    // The space bar works through the button itself.
    EXPECT_EQ(Run(MB_OKCANCEL | MB_DEFBUTTON2, {{WM_KEYDOWN, VK_SPACE}, {WM_KEYUP, VK_SPACE}}), IDCANCEL);
    EXPECT_TRUE(IsWindowEnabled(owner_));
}

TEST_F(MessageBoxes, QuitEndsTheBoxAndStaysQueued) {
    EXPECT_EQ(Run(MB_OK, {{WM_QUIT, 0}}), 0);
    EXPECT_TRUE(IsWindowEnabled(owner_));
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(m.wParam, 3u);
}

TEST_F(MessageBoxes, OwnerThatWasDisabledStaysDisabled) {
    EnableWindow(owner_, FALSE);
    // No WM_ENABLE then: drive the box from a posted message instead.
    PostMessageA(owner_, kAct, 0, 0);
    g_script.steps = {{WM_KEYDOWN, VK_RETURN}};
    EXPECT_EQ(MessageBoxA(owner_, "text", "caption", MB_OK), IDOK);
    EXPECT_FALSE(IsWindowEnabled(owner_));
}

TEST_F(MessageBoxes, LongLinesWrapWithinFiveEighthsOfTheScreen) {
    g_script.steps = {{WM_KEYDOWN, VK_RETURN}};
    ASSERT_EQ(MessageBoxA(owner_, "short", "c", MB_OK), IDOK);
    RECT small = g_script.boxClient;
    std::string text;
    for (int i = 0; i < 60; ++i) text += "word ";
    ASSERT_EQ(MessageBoxA(owner_, text.c_str(), "c", MB_OK), IDOK);
    RECT big = g_script.boxClient;
    EXPECT_LE(big.right, GetSystemMetrics(SM_CXSCREEN) * 5 / 8);
    EXPECT_GT(big.right, GetSystemMetrics(SM_CXSCREEN) / 2);
    EXPECT_GE(big.bottom - small.bottom, 2 * 16);  // at least three lines instead of one
}

}  // namespace
