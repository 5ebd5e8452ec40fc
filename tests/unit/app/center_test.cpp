// CenterWindow against screens of chosen sizes and owners in chosen places.
#include <gtest/gtest.h>

#include "app/mainwnd.h"
#include "platform/kernel/module.h"
#include "platform/testing.h"

namespace {

const char kClass[] = "CenterTestWindow";

class Centring : public ::testing::Test {
protected:
    void SetUp() override {
        // A work area 738 high leaves a full-screen client area of 1024 x 719.
        win32::testing::UseHeadless(1024, 738);
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = win32::MainModule();
        wc.lpszClassName = kClass;
        ASSERT_NE(RegisterClassA(&wc), 0);
    }
    void TearDown() override {
        for (HWND w : made) DestroyWindow(w);
        UnregisterClassA(kClass, win32::MainModule());
        MSG m;
        while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) {
        }
    }

    HWND Make(int x, int y, int w, int h, HWND owner = NULL) {
        HWND hwnd =
            CreateWindowExA(0, kClass, "", WS_POPUP, x, y, w, h, owner, NULL, win32::MainModule(), NULL);
        EXPECT_NE(hwnd, nullptr);
        made.insert(made.begin(), hwnd);
        return hwnd;
    }
    static RECT Rect(HWND hwnd) {
        RECT r{};
        GetWindowRect(hwnd, &r);
        return r;
    }

    std::vector<HWND> made;
};

void ExpectRect(const RECT &r, int x, int y, int w, int h) {
    EXPECT_EQ(r.left, x);
    EXPECT_EQ(r.top, y);
    EXPECT_EQ(r.right - r.left, w);
    EXPECT_EQ(r.bottom - r.top, h);
}

TEST_F(Centring, FullScreenAreaIsWhatTheLayerReports) {
    ASSERT_EQ(GetSystemMetrics(SM_CXFULLSCREEN), 1024);
    ASSERT_EQ(GetSystemMetrics(SM_CYFULLSCREEN), 719);
}

// The main window at start-up: 540 x 300 becomes 541 x 301 at (242, 210).
TEST_F(Centring, StartUpExample) {
    HWND w = Make(0, 0, 540, 300);
    CenterWindow(w);
    ExpectRect(Rect(w), 242, 210, 541, 301);
}

// Each call measures afresh: one pixel larger every time, moved by at most one.
TEST_F(Centring, TwoCallsGrowTwice) {
    HWND w = Make(0, 0, 540, 300);
    CenterWindow(w);
    CenterWindow(w);
    ExpectRect(Rect(w), 241, 209, 542, 302);
}

// Taller than the area: the bottom bound is negative and the top wins.
TEST_F(Centring, TallWindowGoesToTheTop) {
    HWND w = Make(10, 10, 540, 768);
    CenterWindow(w);
    ExpectRect(Rect(w), 242, 0, 541, 769);
    // Exactly as tall as the area less one: y0 and ymax meet at 0.
    HWND v = Make(0, 0, 100, 718);
    CenterWindow(v);
    EXPECT_EQ(Rect(v).top, 0);
}

TEST_F(Centring, WideWindowGoesToTheLeft) {
    HWND w = Make(0, 0, 1100, 100);
    CenterWindow(w);
    ExpectRect(Rect(w), 0, 310, 1101, 101);
}

// Odd sizes round each half toward zero: half(1025) = 512, half(301) = 150,
// half(101) = 50.
TEST_F(Centring, OddSizes) {
    HWND w = Make(0, 0, 100, 100);
    CenterWindow(w);
    ExpectRect(Rect(w), 512 - 50, 360 - 50, 101, 101);
    HWND v = Make(0, 0, 99, 99);
    CenterWindow(v);
    ExpectRect(Rect(v), 512 - 50, 360 - 50, 100, 100);
}

// Over an owner: its window rectangle is the area.
TEST_F(Centring, OverTheOwner) {
    HWND owner = Make(100, 100, 300, 200);  // (100,100)-(400,300)
    HWND w = Make(0, 0, 100, 50, owner);
    ASSERT_EQ(GetWindow(w, GW_OWNER), owner);
    CenterWindow(w);
    ExpectRect(Rect(w), 200, 175, 101, 51);
}

// At least as wide (or tall) as the owner: the right (bottom) edge after the
// enlargement is put on the owner's right (bottom) edge.
TEST_F(Centring, AsLargeAsTheOwner) {
    HWND owner = Make(100, 100, 300, 200);
    HWND wide = Make(0, 0, 350, 20, owner);
    CenterWindow(wide);
    RECT r = Rect(wide);
    EXPECT_EQ(r.left, 49);
    EXPECT_EQ(r.right, 400);
    HWND tall = Make(0, 0, 20, 250, owner);
    CenterWindow(tall);
    r = Rect(tall);
    EXPECT_EQ(r.top, 49);
    EXPECT_EQ(r.bottom, 300);
    // Wider than the owner's right edge allows: clamped at the origin.
    HWND huge = Make(0, 0, 500, 20, owner);
    CenterWindow(huge);
    EXPECT_EQ(Rect(huge).left, 0);
}

// An owner partly left of and above the origin: the negative place becomes 0,
// not the owner's edge.
TEST_F(Centring, OwnerPartlyOffScreen) {
    HWND owner = Make(-300, -200, 400, 300);  // (-300,-200)-(100,100)
    HWND w = Make(0, 0, 100, 50, owner);
    CenterWindow(w);
    ExpectRect(Rect(w), 0, 0, 101, 51);
    // Off to the right and below: centred as usual, possibly beyond the screen.
    HWND far = Make(900, 650, 400, 300);  // (900,650)-(1300,950)
    HWND v = Make(0, 0, 100, 50, far);
    CenterWindow(v);
    ExpectRect(Rect(v), 900 + 200 - 50, 650 + 150 - 25, 101, 51);
}

}  // namespace
