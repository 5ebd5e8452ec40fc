// Creation and destruction: message order, failure paths, relations, longs.
#include <gtest/gtest.h>

#include "platform/testing.h"
#include "tests/support/recorder.h"

using namespace testsupport;

namespace {

const std::vector<UINT> kLifecycle = {WM_GETMINMAXINFO, WM_NCCREATE,    WM_NCCALCSIZE, WM_CREATE,
                                      WM_SHOWWINDOW,    WM_SIZE,        WM_MOVE,       WM_DESTROY,
                                      WM_NCDESTROY,     WM_PARENTNOTIFY};

TEST(Creation, InvisibleOverlappedGetsTheFourCreationMessagesOnly) {
    Fresh();
    HWND h = MakeTop("t", WS_OVERLAPPEDWINDOW);
    ASSERT_TRUE(h);
    EXPECT_EQ(MessagesOf(h, kLifecycle),
              (std::vector<UINT>{WM_GETMINMAXINFO, WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE}));
    char buf[8];
    EXPECT_EQ(GetWindowTextA(h, buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "t");
    EXPECT_FALSE(IsWindowVisible(h));
}

TEST(Creation, VisibleWindowIsShownAfterCreateWithSizeAndMove) {
    Fresh();
    HWND h = MakeTop("t", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    ASSERT_TRUE(h);
    EXPECT_EQ(MessagesOf(h, kLifecycle), (std::vector<UINT>{WM_GETMINMAXINFO, WM_NCCREATE, WM_NCCALCSIZE,
                                                            WM_CREATE, WM_SHOWWINDOW, WM_SIZE, WM_MOVE}));
    EXPECT_TRUE(IsWindowVisible(h));
    EXPECT_EQ(GetActiveWindow(), h);
    EXPECT_EQ(GetFocus(), h);
}

TEST(Creation, ChildGetsNoMinMaxAndParentIsNotified) {
    Fresh();
    HWND p = MakeTop();
    Log().clear();
    HWND c = MakeChild(p, 7, 5, 5, 50, 20, 0);
    ASSERT_TRUE(c);
    EXPECT_EQ(MessagesOf(c, kLifecycle), (std::vector<UINT>{WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE}));
    ASSERT_EQ(MessagesOf(p, kLifecycle), std::vector<UINT>{WM_PARENTNOTIFY});
    const Received &r = Log().back();
    EXPECT_EQ(LOWORD(r.wParam), WM_CREATE);
    EXPECT_EQ(HIWORD(r.wParam), 7);
    EXPECT_EQ(reinterpret_cast<HWND>(r.lParam), c);
    EXPECT_EQ(GetDlgItem(p, 7), c);
    EXPECT_EQ(GetDlgCtrlID(c), 7);
    EXPECT_EQ(GetParent(c), p);
}

TEST(Creation, CreateParamsComeFirstInCreateStruct) {
    Fresh();
    int marker = 0;
    void *seenNc = nullptr, *seenCreate = nullptr;
    SetHook([&](HWND, UINT m, WPARAM, LPARAM lp, LRESULT *) {
        if (m == WM_NCCREATE) seenNc = *reinterpret_cast<void **>(lp);
        if (m == WM_CREATE) seenCreate = reinterpret_cast<CREATESTRUCTA *>(lp)->lpCreateParams;
        return false;
    });
    HWND h =
        CreateWindowExA(0, RecorderClass(), "x", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, &marker);
    ASSERT_TRUE(h);
    EXPECT_EQ(seenNc, &marker);
    EXPECT_EQ(seenCreate, &marker);
}

TEST(Creation, MinusOneFromCreateDestroysAndReturnsNull) {
    Fresh();
    SetHook([](HWND, UINT m, WPARAM, LPARAM, LRESULT *r) {
        if (m != WM_CREATE) return false;
        *r = -1;
        return true;
    });
    size_t before = win32::testing::LiveWindowCount();
    HWND h = MakeTop("t", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(MessagesOf(nullptr, kLifecycle),
              (std::vector<UINT>{WM_GETMINMAXINFO, WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_DESTROY,
                                 WM_NCDESTROY}));
    EXPECT_FALSE(IsWindow(Log().front().hwnd));
    EXPECT_EQ(win32::testing::LiveWindowCount(), before);
}

TEST(Creation, FalseFromNcCreateGivesOnlyNcDestroy) {
    Fresh();
    SetHook([](HWND, UINT m, WPARAM, LPARAM, LRESULT *r) {
        if (m != WM_NCCREATE) return false;
        *r = FALSE;
        return true;
    });
    HWND h = MakeTop("t", WS_POPUP | WS_VISIBLE);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(MessagesOf(nullptr, kLifecycle), (std::vector<UINT>{WM_NCCREATE, WM_NCDESTROY}));
    EXPECT_EQ(win32::testing::LiveWindowCount(), 0u);
}

TEST(Creation, FailsForUnknownClassAndChildWithoutParent) {
    Fresh();
    EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    EXPECT_EQ(
        CreateWindowExA(0, RecorderClass(), "", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
        nullptr);
}

TEST(Destruction, ParentBeforeChildForDestroyAndReverseForNcDestroy) {
    Fresh();
    HWND p = MakeTop();
    HWND c = MakeChild(p, 1, 0, 0, 10, 10);
    HWND g = MakeChild(c, 2, 0, 0, 5, 5);
    Log().clear();
    ASSERT_TRUE(DestroyWindow(p));
    std::vector<std::pair<HWND, UINT>> got;
    for (const Received &r : Log())
        if (r.msg == WM_DESTROY || r.msg == WM_NCDESTROY) got.push_back({r.hwnd, r.msg});
    std::vector<std::pair<HWND, UINT>> want = {{p, WM_DESTROY},   {c, WM_DESTROY},   {g, WM_DESTROY},
                                               {g, WM_NCDESTROY}, {c, WM_NCDESTROY}, {p, WM_NCDESTROY}};
    EXPECT_EQ(got, want);
    EXPECT_FALSE(IsWindow(p));
    EXPECT_FALSE(IsWindow(c));
    EXPECT_FALSE(IsWindow(g));
    EXPECT_EQ(win32::testing::LiveWindowCount(), 0u);
    // A stale handle fails quietly.
    EXPECT_FALSE(DestroyWindow(p));
    EXPECT_EQ(GetWindowLongPtrA(c, GWLP_USERDATA), 0);
    EXPECT_EQ(SendMessageA(c, WM_USER, 0, 0), 0);
}

TEST(Destruction, OwnedWindowsAreDestroyedCompletelyFirst) {
    Fresh();
    HWND owner = MakeTop("owner");
    HWND popup = MakeTop("popup", WS_POPUP | WS_VISIBLE, 10, 10, 50, 50, owner);
    ASSERT_TRUE(popup);
    EXPECT_EQ(GetWindow(popup, GW_OWNER), owner);
    EXPECT_EQ(GetParent(popup), owner);  // a popup's "parent" is its owner
    Log().clear();
    DestroyWindow(owner);
    std::vector<std::pair<HWND, UINT>> got;
    for (const Received &r : Log())
        if (r.msg == WM_DESTROY || r.msg == WM_NCDESTROY) got.push_back({r.hwnd, r.msg});
    std::vector<std::pair<HWND, UINT>> want = {
        {popup, WM_DESTROY}, {popup, WM_NCDESTROY}, {owner, WM_DESTROY}, {owner, WM_NCDESTROY}};
    EXPECT_EQ(got, want);
}

TEST(Destruction, ChildNotifiesParentAndFocusAndCaptureAreCleared) {
    Fresh();
    HWND p = MakeTop();
    HWND c = MakeChild(p, 3, 0, 0, 10, 10);
    SetFocus(c);
    SetCapture(c);
    Log().clear();
    DestroyWindow(c);
    EXPECT_EQ(GetFocus(), nullptr);
    EXPECT_EQ(GetCapture(), nullptr);
    auto pm = MessagesOf(p, {WM_PARENTNOTIFY});
    ASSERT_EQ(pm.size(), 1u);
    auto cm = MessagesOf(c, {WM_CAPTURECHANGED, WM_KILLFOCUS, WM_DESTROY});
    ASSERT_EQ(cm.size(), 3u);  // both before WM_DESTROY, in either order
    EXPECT_EQ(cm[2], static_cast<UINT>(WM_DESTROY));
    EXPECT_NE(std::find(cm.begin(), cm.end(), static_cast<UINT>(WM_KILLFOCUS)), cm.end());
    EXPECT_NE(std::find(cm.begin(), cm.end(), static_cast<UINT>(WM_CAPTURECHANGED)), cm.end());
    EXPECT_EQ(GetWindow(p, GW_CHILD), nullptr);
}

TEST(Relations, GetParentFollowsOwnerRulesForTopLevels) {
    Fresh();
    HWND owner = MakeTop("owner");
    HWND overlappedOwned = MakeTop("o", WS_OVERLAPPED, 0, 0, 200, 100, owner);
    HWND popupOwner = MakeTop("p", WS_POPUP, 0, 0, 50, 50, owner);
    HWND popupOfPopup = MakeTop("pp", WS_POPUP, 0, 0, 50, 50, popupOwner);
    HWND child = MakeChild(owner, 1, 0, 0, 10, 10);
    HWND ownedViaChild = MakeTop("c", WS_POPUP, 0, 0, 50, 50, child);
    EXPECT_EQ(GetParent(owner), nullptr);
    EXPECT_EQ(GetParent(overlappedOwned), nullptr);
    EXPECT_EQ(GetWindow(overlappedOwned, GW_OWNER), owner);
    EXPECT_EQ(GetParent(popupOwner), owner);
    EXPECT_EQ(GetParent(popupOfPopup), nullptr);  // the owner itself is a popup
    EXPECT_EQ(GetWindow(child, GW_OWNER), nullptr);
    EXPECT_EQ(GetWindow(ownedViaChild, GW_OWNER), owner);  // ownership goes to the top-level
    EXPECT_TRUE(IsChild(owner, child));
    EXPECT_FALSE(IsChild(owner, popupOwner));
}

TEST(Relations, ChildrenAreInCreationOrderUnderGetWindow) {
    Fresh();
    HWND p = MakeTop();
    HWND a = MakeChild(p, 1, 0, 0, 1, 1), b = MakeChild(p, 2, 0, 0, 1, 1);
    MoveWindow(p, 0, 0, 50, 50, TRUE);
    EXPECT_EQ(GetWindow(p, GW_CHILD), a);
    EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), b);
    EXPECT_EQ(GetWindow(b, GW_HWNDNEXT), nullptr);
    EXPECT_EQ(GetWindow(b, GW_HWNDPREV), a);
    // Reordering: a goes below b, then back on top.
    SetWindowPos(a, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindow(p, GW_CHILD), b);
    SetWindowPos(a, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindow(p, GW_CHILD), a);
    // The top sibling wins where children overlap.
    SetWindowPos(b, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    POINT corner{0, 0};
    ClientToScreen(p, &corner);
    EXPECT_EQ(WindowFromPoint(corner), b);
}

LRESULT CALLBACK Subclass(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_USER + 1) return 42;
    WNDPROC prev = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(h, 0));
    return CallWindowProcA(prev, h, m, wp, lp);
}

TEST(Longs, UserDataProcIdStylesAndExtraBytes) {
    Fresh();
    HWND h = MakeTop("t", WS_POPUP);
    EXPECT_EQ(SetWindowLongPtrA(h, GWLP_USERDATA, 1234), 0);
    EXPECT_EQ(GetWindowLongPtrA(h, GWLP_USERDATA), 1234);
    EXPECT_EQ(SetWindowLongPtrA(h, GWLP_USERDATA, 5), 1234);

    LONG_PTR old = SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Subclass));
    ASSERT_NE(old, 0);
    SetWindowLongPtrA(h, 0, old);
    EXPECT_EQ(SendMessageA(h, WM_USER + 1, 0, 0), 42);
    Log().clear();
    SendMessageA(h, WM_USER + 2, 0, 0);  // falls through to the recorder
    EXPECT_EQ(MessagesOf(h), std::vector<UINT>{WM_USER + 2});

    EXPECT_TRUE(GetWindowLongA(h, GWL_STYLE) & WS_POPUP);
    SetWindowLongA(h, 8, 77);
    EXPECT_EQ(GetWindowLongA(h, 8), 77);
    EXPECT_EQ(GetWindowLongA(h, 8), 77);
    // Out of the extra bytes: fails.
    EXPECT_EQ(SetWindowLongPtrA(h, 16, 1), 0);
    EXPECT_EQ(GetLastError(), 1413u);
    EXPECT_EQ(GetWindowLongPtrA(h, GWLP_HINSTANCE), reinterpret_cast<LONG_PTR>(GetModuleHandleA(nullptr)));
}

TEST(Classes, NamesAreCaseInsensitiveAndDuplicatesRefused) {
    Fresh();
    RecorderClass();
    WNDCLASSA wc{};
    ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), "rEcOrDeR", &wc));
    EXPECT_EQ(wc.cbWndExtra, 16);
    WNDCLASSA again = wc;
    again.lpszClassName = "RECORDER";
    EXPECT_EQ(RegisterClassA(&again), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    // System classes are found under any case, with or without an instance.
    EXPECT_TRUE(GetClassInfoA(nullptr, "LISTBOX", &wc));
    EXPECT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), "button", &wc));
}

TEST(Classes, CannotUnregisterWhileWindowsExist) {
    Fresh();
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "Temporary";
    ASSERT_TRUE(RegisterClassA(&wc));
    HWND h =
        CreateWindowExA(0, "temporary", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(h);
    EXPECT_FALSE(UnregisterClassA("Temporary", wc.hInstance));
    DestroyWindow(h);
    EXPECT_TRUE(UnregisterClassA("Temporary", wc.hInstance));
    EXPECT_FALSE(GetClassInfoA(wc.hInstance, "Temporary", &wc));
}

TEST(Geometry, UseDefaultAndFrameArithmetic) {
    Fresh();
    HWND a = CreateWindowExA(0, RecorderClass(), "a", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                             nullptr, nullptr, nullptr, nullptr);
    HWND b = CreateWindowExA(0, RecorderClass(), "b", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                             nullptr, nullptr, nullptr, nullptr);
    RECT ra, rb, rc;
    GetWindowRect(a, &ra);
    GetWindowRect(b, &rb);
    EXPECT_GT(ra.right - ra.left, 0);
    EXPECT_GT(rb.left, ra.left);  // cascaded
    HWND c = MakeChild(a, 1, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0);
    GetWindowRect(c, &rc);
    EXPECT_EQ(rc.right - rc.left, 0);

    HWND t = MakeTop("t", WS_OVERLAPPEDWINDOW, 100, 50, 541, 300);
    RECT wr, cr;
    GetWindowRect(t, &wr);
    GetClientRect(t, &cr);
    EXPECT_EQ(cr.right, 541 - 2 * GetSystemMetrics(SM_CXFRAME));
    EXPECT_EQ(cr.bottom, 300 - 2 * GetSystemMetrics(SM_CYFRAME) - GetSystemMetrics(SM_CYCAPTION));
    POINT p{0, 0};
    ClientToScreen(t, &p);
    EXPECT_EQ(p.x, 104);
    EXPECT_EQ(p.y, 50 + 4 + 19);
    ScreenToClient(t, &p);
    EXPECT_EQ(p.x, 0);
}

TEST(Geometry, MoveWindowSendsSizeOnlyWhenTheSizeChangesAndClampsNegatives) {
    Fresh();
    HWND p = MakeTop();
    HWND c = MakeChild(p, 1, 0, 0, 40, 30);
    std::vector<LPARAM> sizes;
    SetHook([&](HWND h, UINT m, WPARAM, LPARAM lp, LRESULT *) {
        if (h == c && m == WM_SIZE) sizes.push_back(lp);
        return false;
    });
    Log().clear();
    MoveWindow(c, 5, 5, 40, 30, TRUE);
    EXPECT_TRUE(sizes.empty());
    EXPECT_EQ(MessagesOf(c, {WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_MOVE}),
              (std::vector<UINT>{WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_MOVE}));
    MoveWindow(c, 5, 5, 60, 35, TRUE);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0], MAKELPARAM(60, 35));
    MoveWindow(c, 5, 5, -10, -3, TRUE);
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[1], 0);
    RECT r;
    GetWindowRect(c, &r);
    EXPECT_EQ(r.right - r.left, 0);
    EXPECT_EQ(r.bottom - r.top, 0);
}

}  // namespace
