// The queue: order of posted, input, quit and paint messages; filters.
#include <gtest/gtest.h>

#include "platform/display/headless/headless.h"
#include "platform/testing.h"
#include "tests/support/recorder.h"

using namespace testsupport;

namespace {

std::vector<UINT> Drain(std::vector<WPARAM> *params = nullptr) {
    std::vector<UINT> got;
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        got.push_back(m.message);
        if (params) params->push_back(m.wParam);
        if (m.message == WM_QUIT) break;
        DispatchMessageA(&m);
    }
    return got;
}

TEST(Queue, PostedMessagesComeBeforePaint) {
    Fresh();
    HWND h = MakeTop();
    PostMessageA(h, WM_USER + 1, 0, 0);
    PostMessageA(h, WM_USER + 2, 0, 0);
    auto got = Drain();
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(got[0], static_cast<UINT>(WM_USER + 1));
    EXPECT_EQ(got[1], static_cast<UINT>(WM_USER + 2));
    EXPECT_EQ(got[2], static_cast<UINT>(WM_PAINT));
}

TEST(Queue, QuitComesAfterWhatWasPostedBeforeAndAfterIt) {
    Fresh();
    HWND h = MakeTop("t", WS_POPUP);
    PostMessageA(h, WM_USER + 1, 0, 0);
    PostQuitMessage(3);
    PostMessageA(h, WM_USER + 2, 0, 0);
    PostQuitMessage(4);  // repeated calls coalesce, the last code wins
    std::vector<WPARAM> params;
    auto got = Drain(&params);
    EXPECT_EQ(got, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_QUIT}));
    EXPECT_EQ(params.back(), 4u);
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));  // only once
}

TEST(Queue, PeekNoRemoveKeepsQuitAndGetMessageReturnsZeroForIt) {
    Fresh();
    PostQuitMessage(7);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_USER, WM_USER, PM_NOREMOVE));  // quit ignores filters
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 0);
    EXPECT_EQ(m.wParam, 7u);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
}

TEST(Queue, PaintStaysUntilValidated) {
    Fresh();
    HWND h = MakeTop("t", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50);
    win32::testing::RunUntilIdle();
    InvalidateRect(h, nullptr, TRUE);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_PAINT));
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));  // still there
    EXPECT_EQ(m.message, static_cast<UINT>(WM_PAINT));
    ValidateRect(h, nullptr);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST(Queue, ParentsPaintBeforeChildrenAndInvalidationsCoalesce) {
    Fresh();
    HWND p = MakeTop("t", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
    HWND c = MakeChild(p, 1, 10, 10, 20, 20);
    win32::testing::RunUntilIdle();
    Log().clear();
    RECT a{0, 0, 5, 5}, b{50, 50, 60, 60};
    InvalidateRect(c, nullptr, TRUE);
    InvalidateRect(p, &a, TRUE);
    InvalidateRect(p, &b, TRUE);
    win32::testing::RunUntilIdle();
    std::vector<std::pair<HWND, UINT>> got;
    for (const Received &r : Log())
        if (r.msg == WM_PAINT) got.push_back({r.hwnd, r.msg});
    EXPECT_EQ(got, (std::vector<std::pair<HWND, UINT>>{{p, WM_PAINT}, {c, WM_PAINT}}));
}

TEST(Queue, GetMessageWithADestroyedWindowFilterFails) {
    Fresh();
    HWND h = MakeTop("t", WS_POPUP);
    DestroyWindow(h);
    MSG m;
    EXPECT_EQ(GetMessageA(&m, h, 0, 0), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(PostMessageA(h, WM_USER, 0, 0));
}

TEST(Queue, FiltersByWindowTreeAndRange) {
    Fresh();
    HWND a = MakeTop("a", WS_POPUP), b = MakeTop("b", WS_POPUP);
    HWND ac = MakeChild(a, 1, 0, 0, 5, 5);
    PostMessageA(b, WM_USER + 1, 0, 0);
    PostMessageA(ac, WM_USER + 2, 0, 0);
    PostMessageA(nullptr, WM_USER + 3, 0, 0);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, a, 0, 0, PM_REMOVE));  // a's child matches a's filter
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 2));
    ASSERT_TRUE(PeekMessageA(&m, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));  // thread messages only
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 3));
    EXPECT_EQ(m.hwnd, nullptr);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_USER + 2, WM_USER + 3, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_USER + 1, WM_USER + 1, PM_REMOVE));
    EXPECT_EQ(m.hwnd, b);
}

TEST(Queue, MessagesForDestroyedWindowsAreDropped) {
    Fresh();
    HWND a = MakeTop("a", WS_POPUP), b = MakeTop("b", WS_POPUP);
    PostMessageA(a, WM_USER + 1, 0, 0);
    PostMessageA(b, WM_USER + 2, 0, 0);
    DestroyWindow(a);
    EXPECT_EQ(Drain(), std::vector<UINT>{WM_USER + 2});
}

TEST(Queue, SendIsADirectCallAndDispatchIgnoresThreadMessages) {
    Fresh();
    HWND h = MakeTop("t", WS_POPUP);
    SetHook([](HWND, UINT m, WPARAM wp, LPARAM, LRESULT *r) {
        if (m != WM_USER) return false;
        *r = static_cast<LRESULT>(wp * 2);
        return true;
    });
    EXPECT_EQ(SendMessageA(h, WM_USER, 21, 0), 42);
    MSG m{nullptr, WM_USER, 1, 0, 0, {0, 0}};
    Log().clear();
    EXPECT_EQ(DispatchMessageA(&m), 0);
    EXPECT_TRUE(Log().empty());
}

TEST(Queue, WaitMessageReturnsForNewMessagesOnly) {
    Fresh();
    HWND h = MakeTop("t", WS_POPUP);
    PostMessageA(h, WM_USER, 0, 0);
    EXPECT_TRUE(WaitMessage());  // unseen: returns at once
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    // Seen but left in the queue: WaitMessage would block; a new input event wakes it.
    win32::testing::KeyDown('A');
    EXPECT_TRUE(WaitMessage());
}

TEST(Queue, TranslateMessagePostsCharactersWithTheKeysLParam) {
    Fresh();
    HWND h = MakeTop("t", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    win32::testing::RunUntilIdle();
    Log().clear();
    win32::testing::KeyPress('A');
    win32::testing::KeyPress('A', win32::testing::kShift);
    win32::testing::KeyPress(VK_LEFT);  // no character
    win32::testing::RunUntilIdle();
    std::vector<WPARAM> chars;
    LPARAM keyDownParam = 0, charParam = 0;
    for (const Received &r : Log()) {
        if (r.hwnd != h) continue;
        if (r.msg == WM_CHAR) {
            chars.push_back(r.wParam);
            if (!charParam) charParam = r.lParam;
        }
        if (r.msg == WM_KEYDOWN && !keyDownParam) keyDownParam = r.lParam;
    }
    EXPECT_EQ(chars, (std::vector<WPARAM>{'a', 'A'}));
    EXPECT_EQ(charParam, keyDownParam);
}

}  // namespace

namespace {

TEST(Headless, WaitNeverBlocksWithEventsQueuedAndTimeoutsAdvanceTheFakeClock) {
    Fresh(640, 480);
    win32::display::HeadlessBackend &hb = win32::testing::Headless();
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 640);
    EXPECT_EQ(GetSystemMetrics(SM_CYFULLSCREEN), 480 - GetSystemMetrics(SM_CYCAPTION));
    win32::testing::SetClock(1000);
    EXPECT_TRUE(hb.Wait(250));
    EXPECT_EQ(hb.Now(), 1250u);
    win32::testing::MouseMove(1, 1);
    EXPECT_TRUE(hb.Wait(-1));  // an event is queued: returns at once
    // GetMessage blocks in Wait; the idle hook feeds it a message.
    int idleCalls = 0;
    hb.SetIdleHandler([&] {
        ++idleCalls;
        PostQuitMessage(5);
    });
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0)) DispatchMessageA(&m);
    EXPECT_EQ(m.wParam, 5u);
    EXPECT_EQ(idleCalls, 1);
    hb.SetIdleHandler(nullptr);
}

}  // namespace
