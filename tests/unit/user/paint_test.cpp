// Painting on the headless screen: erasing, clipping, regions, window DCs.
#include <gtest/gtest.h>

#include "platform/testing.h"
#include "tests/support/recorder.h"

using namespace testsupport;

namespace {

const uint32_t kFace = 0xC0C0C0, kDesktop = 0x008080, kRed = 0xFF0000, kBlue = 0x0000FF;

TEST(Paint, BackgroundIsErasedWithTheClassBrushAndShownOnTheScreen) {
    Fresh();
    MakeTop("t", WS_POPUP | WS_VISIBLE, 10, 10, 40, 30);
    win32::testing::RunUntilIdle();
    EXPECT_EQ(win32::testing::ScreenPixel(10, 10), kFace);
    EXPECT_EQ(win32::testing::ScreenPixel(49, 39), kFace);
    EXPECT_EQ(win32::testing::ScreenPixel(50, 40), kDesktop);
    EXPECT_EQ(win32::testing::ScreenPixel(9, 9), kDesktop);
}

TEST(Paint, BeginPaintReportsTheUpdateAreaAndErasesOnce) {
    Fresh();
    HWND h = MakeTop("t", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
    win32::testing::RunUntilIdle();
    RECT seen{}, r{10, 10, 20, 20};
    BOOL erased = TRUE;
    SetHook([&](HWND, UINT m, WPARAM, LPARAM, LRESULT *) {
        if (m != WM_PAINT) return false;
        PAINTSTRUCT ps;
        BeginPaint(h, &ps);
        seen = ps.rcPaint;
        erased = ps.fErase;
        EndPaint(h, &ps);
        return true;
    });
    InvalidateRect(h, &r, TRUE);
    Log().clear();
    win32::testing::RunUntilIdle();
    EXPECT_TRUE(EqualRect(&seen, &r));
    EXPECT_FALSE(erased);  // the class brush erased it
    EXPECT_EQ(MessagesOf(h, {WM_ERASEBKGND}).size(), 1u);
    RECT u;
    EXPECT_FALSE(GetUpdateRect(h, &u, FALSE));
}

TEST(Paint, ParentDoesNotPaintOverItsChildrenAndChildrenStayInsideTheirParent) {
    Fresh();
    HWND top = MakeTop("t", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
    HWND c = MakeChild(top, 1, 20, 20, 30, 30);
    HWND g = MakeChild(c, 2, 20, 20, 40, 40);  // sticks out of c
    SetHook([&](HWND h, UINT m, WPARAM, LPARAM, LRESULT *) {
        if (m != WM_PAINT) return false;
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        HBRUSH b = CreateSolidBrush(h == top ? RGB(255, 0, 0) : h == c ? RGB(0, 0, 255) : RGB(0, 255, 0));
        RECT all{-1000, -1000, 1000, 1000};
        FillRect(dc, &all, b);
        DeleteObject(b);
        EndPaint(h, &ps);
        return true;
    });
    win32::testing::RunUntilIdle();
    EXPECT_EQ(win32::testing::ScreenPixel(5, 5), kRed);
    EXPECT_EQ(win32::testing::ScreenPixel(25, 25), kBlue);
    EXPECT_EQ(win32::testing::ScreenPixel(45, 45), 0x00FF00u);
    EXPECT_EQ(win32::testing::ScreenPixel(55, 55), kRed);  // grandchild clipped by c
    // Repainting only the parent leaves the children's pixels alone.
    InvalidateRect(top, nullptr, TRUE);
    win32::testing::RunUntilIdle();
    EXPECT_EQ(win32::testing::ScreenPixel(25, 25), kBlue);
    (void)g;
}

TEST(Paint, GetDcDrawingAppearsOnRelease) {
    Fresh();
    HWND h = MakeTop("t", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 200, 150);
    win32::testing::RunUntilIdle();
    HDC dc = GetDC(h);
    ASSERT_TRUE(dc);
    RECT r{0, 0, 5, 5};
    HBRUSH b = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &r, b);
    DeleteObject(b);
    ReleaseDC(h, dc);
    EXPECT_EQ(win32::testing::ScreenPixel(104, 123), kRed);  // client origin
    EXPECT_EQ(win32::testing::ScreenPixel(109, 123), kFace);
}

TEST(Paint, HiddenWindowsLeaveTheDesktopAndShapedWindowsShowWhatIsBelow) {
    Fresh();
    HWND below = MakeTop("below", WS_POPUP | WS_VISIBLE, 0, 0, 200, 200);
    HWND shaped = MakeTop("shaped", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
    SetHook([&](HWND h, UINT m, WPARAM, LPARAM, LRESULT *) {
        if (m != WM_PAINT) return false;
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        HBRUSH b = CreateSolidBrush(h == shaped ? RGB(255, 0, 0) : RGB(0, 0, 255));
        RECT all{0, 0, 1000, 1000};
        FillRect(dc, &all, b);
        DeleteObject(b);
        EndPaint(h, &ps);
        return true;
    });
    ASSERT_NE(SetWindowRgn(shaped, CreateEllipticRgn(0, 0, 100, 100), TRUE), 0);
    win32::testing::RunUntilIdle();
    EXPECT_EQ(win32::testing::ScreenPixel(50, 50), kRed);
    EXPECT_EQ(win32::testing::ScreenPixel(2, 2), kBlue);  // outside the ellipse: the window below
    ShowWindow(below, SW_HIDE);
    win32::testing::RunUntilIdle();
    EXPECT_EQ(win32::testing::ScreenPixel(2, 2), kDesktop);
    EXPECT_EQ(win32::testing::ScreenPixel(150, 150), kDesktop);
}

TEST(Paint, SizingRepaintsAllWithHRedrawAndOnlyTheNewPartWithout) {
    Fresh();
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "Redrawn";
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.hInstance = GetModuleHandleA(nullptr);
    RegisterClassA(&wc);
    HWND full = CreateWindowExA(0, "Redrawn", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                wc.hInstance, nullptr);
    HWND part = MakeTop("p", WS_POPUP | WS_VISIBLE, 100, 0, 50, 50);
    win32::testing::RunUntilIdle();
    MoveWindow(full, 0, 0, 60, 50, TRUE);
    MoveWindow(part, 100, 0, 60, 50, TRUE);
    RECT u;
    ASSERT_TRUE(GetUpdateRect(full, &u, FALSE));
    EXPECT_EQ(u.left, 0);
    ASSERT_TRUE(GetUpdateRect(part, &u, FALSE));
    EXPECT_EQ(u.left, 50);
    EXPECT_EQ(u.right, 60);
}

TEST(Paint, UpdateWindowPaintsAtOnceWithoutTheQueue) {
    Fresh();
    HWND h = MakeTop("t", WS_POPUP | WS_VISIBLE, 0, 0, 30, 30);
    Log().clear();
    UpdateWindow(h);
    EXPECT_EQ(MessagesOf(h, {WM_PAINT}).size(), 1u);
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
    EXPECT_EQ(win32::testing::ScreenPixel(5, 5), kFace);
}

}  // namespace
