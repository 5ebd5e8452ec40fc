// Focus, activation, enabling and capture.
#include <gtest/gtest.h>

#include "platform/testing.h"
#include "tests/support/recorder.h"

using namespace testsupport;

namespace {

std::vector<Received> Only(const std::vector<UINT> &msgs) {
    std::vector<Received> out;
    for (const Received &r : Log())
        if (std::find(msgs.begin(), msgs.end(), r.msg) != msgs.end()) out.push_back(r);
    return out;
}

TEST(Focus, KillFocusThenSetFocusWithTheOtherWindowInWParam) {
    Fresh();
    HWND p = MakeTop();
    HWND a = MakeChild(p, 1, 0, 0, 10, 10), b = MakeChild(p, 2, 20, 0, 10, 10);
    EXPECT_EQ(SetFocus(a), p);
    Log().clear();
    EXPECT_EQ(SetFocus(b), a);
    auto got = Only({WM_KILLFOCUS, WM_SETFOCUS});
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].hwnd, a);
    EXPECT_EQ(got[0].msg, static_cast<UINT>(WM_KILLFOCUS));
    EXPECT_EQ(reinterpret_cast<HWND>(got[0].wParam), b);
    EXPECT_EQ(got[1].hwnd, b);
    EXPECT_EQ(got[1].msg, static_cast<UINT>(WM_SETFOCUS));
    EXPECT_EQ(reinterpret_cast<HWND>(got[1].wParam), a);

    Log().clear();
    EXPECT_EQ(SetFocus(b), b);  // already there: nothing sent
    EXPECT_TRUE(Only({WM_KILLFOCUS, WM_SETFOCUS}).empty());

    EXPECT_EQ(SetFocus(nullptr), b);
    EXPECT_EQ(GetFocus(), nullptr);
    auto kill = Only({WM_KILLFOCUS});
    ASSERT_EQ(kill.size(), 1u);
    EXPECT_EQ(kill[0].wParam, 0u);
}

TEST(Focus, SetFocusActivatesTheTopLevelFirst) {
    Fresh();
    HWND one = MakeTop("one");
    HWND two = MakeTop("two");
    HWND c = MakeChild(one, 1, 0, 0, 10, 10);
    ASSERT_EQ(GetActiveWindow(), two);
    Log().clear();
    SetFocus(c);
    EXPECT_EQ(GetActiveWindow(), one);
    EXPECT_EQ(GetFocus(), c);
    auto got = Only({WM_ACTIVATE, WM_SETFOCUS, WM_KILLFOCUS});
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(got[0].hwnd, two);
    EXPECT_EQ(got[0].msg, static_cast<UINT>(WM_ACTIVATE));
    EXPECT_EQ(LOWORD(got[0].wParam), WA_INACTIVE);
    EXPECT_EQ(got[1].hwnd, one);
    EXPECT_EQ(LOWORD(got[1].wParam), WA_ACTIVE);
    EXPECT_EQ(got.back().hwnd, c);
    EXPECT_EQ(got.back().msg, static_cast<UINT>(WM_SETFOCUS));
    EXPECT_EQ(SetFocus(reinterpret_cast<HWND>(0x12345)), nullptr);  // invalid: refused
    EXPECT_EQ(GetFocus(), c);
}

TEST(Enable, ReturnsThePreviousStateAndSendsEnableOnChange) {
    Fresh();
    HWND p = MakeTop();
    HWND c = MakeChild(p, 1, 0, 0, 10, 10);
    SetFocus(c);
    Log().clear();
    EXPECT_EQ(EnableWindow(c, FALSE), FALSE);  // was enabled
    EXPECT_FALSE(IsWindowEnabled(c));
    EXPECT_EQ(GetFocus(), nullptr);  // disabling the focus window clears focus
    EXPECT_EQ(MessagesOf(c, {WM_CANCELMODE, WM_KILLFOCUS, WM_ENABLE}),
              (std::vector<UINT>{WM_CANCELMODE, WM_KILLFOCUS, WM_ENABLE}));
    Log().clear();
    EXPECT_NE(EnableWindow(c, FALSE), FALSE);  // already disabled: no WM_ENABLE
    EXPECT_TRUE(MessagesOf(c, {WM_ENABLE}).empty());
    EXPECT_NE(EnableWindow(c, TRUE), FALSE);
    auto en = Only({WM_ENABLE});
    ASSERT_EQ(en.size(), 1u);
    EXPECT_EQ(en[0].wParam, static_cast<WPARAM>(TRUE));
    EXPECT_EQ(EnableWindow(c, TRUE), FALSE);
}

TEST(Enable, DisablingAnAncestorClearsFocusInside) {
    Fresh();
    HWND p = MakeTop();
    HWND c = MakeChild(p, 1, 0, 0, 10, 10);
    HWND g = MakeChild(c, 2, 0, 0, 5, 5);
    SetFocus(g);
    EnableWindow(c, FALSE);
    EXPECT_EQ(GetFocus(), nullptr);
    EXPECT_TRUE(IsWindowEnabled(g));  // implicitly disabled, its own bit unchanged
}

TEST(Activation, DestroyingAnOwnedPopupReactivatesItsEnabledOwner) {
    Fresh();
    HWND other = MakeTop("other");
    HWND owner = MakeTop("owner");
    HWND dlg = MakeTop("dlg", WS_POPUP | WS_CAPTION | WS_VISIBLE, 10, 10, 100, 100, owner);
    ASSERT_EQ(GetActiveWindow(), dlg);
    DestroyWindow(dlg);
    EXPECT_EQ(GetActiveWindow(), owner);
    EXPECT_EQ(GetFocus(), owner);

    // A disabled owner cannot take activation back.
    dlg = MakeTop("dlg", WS_POPUP | WS_CAPTION | WS_VISIBLE, 10, 10, 100, 100, owner);
    EnableWindow(owner, FALSE);
    DestroyWindow(dlg);
    EXPECT_EQ(GetActiveWindow(), other);
}

TEST(Capture, SetAndReleaseNotifyTheLoser) {
    Fresh();
    HWND p = MakeTop();
    HWND a = MakeChild(p, 1, 0, 0, 10, 10), b = MakeChild(p, 2, 20, 0, 10, 10);
    EXPECT_EQ(SetCapture(a), nullptr);
    Log().clear();
    EXPECT_EQ(SetCapture(b), a);
    auto got = Only({WM_CAPTURECHANGED});
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].hwnd, a);
    EXPECT_EQ(reinterpret_cast<HWND>(got[0].lParam), b);
    EXPECT_TRUE(ReleaseCapture());
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(MessagesOf(b, {WM_CAPTURECHANGED}).size(), 1u);
}

}  // namespace
