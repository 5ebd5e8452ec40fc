// Driving modal message boxes from a test: the box's owner runs a script
// once Show has disabled it, from inside Show's own loop; input is injected
// on the headless screen and dispatched with RunUntilIdle.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <csignal>
#include <functional>
#include <unistd.h>

#include "msgbox/msgbox.h"
#include "platform/testing.h"

extern HINSTANCE AppInstance;

namespace testsupport {

// The box being shown and what happens while it is open.
struct Script {
    CMsgBox *box = nullptr;
    std::function<void()> run;
    bool closeAfter = true;  // close a box the script left open, so Show returns
    int enables = 0;         // WM_ENABLE(TRUE) seen by the owner
    int disables = 0;        // WM_ENABLE(FALSE)
    bool ran = false;
};

inline Script &Current() {
    static Script s;
    return s;
}

const UINT kRunScript = WM_USER + 0x7001;  // a private message of the owner

inline LRESULT CALLBACK OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Script &s = Current();
    if (message == WM_ENABLE) {
        if (wParam) {
            ++s.enables;
        } else {
            ++s.disables;
            PostMessageA(hwnd, kRunScript, 0, 0);
        }
        return 0;
    }
    if (message == kRunScript) {
        std::function<void()> run = std::move(s.run);
        s.run = nullptr;
        s.ran = true;
        win32::testing::RunUntilIdle();  // first paints
        if (run) run();
        if (s.closeAfter && s.box && s.box->hwnd && IsWindow(s.box->hwnd))
            PostMessageA(s.box->hwnd, WM_CLOSE, 0, 0);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// A fresh headless screen with an owner window 600 x 400 at (100, 80), and
// a watchdog so that a box that never ends fails the test instead of
// hanging it.
class BoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        alarm(120);
        AppInstance = GetModuleHandleA(nullptr);
        win32::testing::UseHeadless(1024, 768, scale);
        static bool registered = false;
        if (!registered) {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = OwnerProc;
            wc.hInstance = AppInstance;
            wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
            wc.lpszClassName = "MsgBoxTestOwner";
            registered = RegisterClassA(&wc) != 0;
        }
        Current() = Script();
        owner = CreateWindowExA(0, "MsgBoxTestOwner", "owner", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 100,
                                80, 600, 400, nullptr, nullptr, AppInstance, nullptr);
        ASSERT_NE(nullptr, owner);
        win32::testing::RunUntilIdle();
        HDC ic = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
        TEXTMETRICA tm;
        GetTextMetricsA(ic, &tm);
        DeleteDC(ic);
        lineHeight = tm.tmHeight + tm.tmExternalLeading;
        maxCharWidth = tm.tmMaxCharWidth;
    }
    void TearDown() override {
        win32::testing::ResetWindowManager();
        alarm(0);
    }
    // Starts over as SetUp does, on a screen at display scale s/120.
    void UseScale(int s) {
        scale = s;
        SetUp();
    }

    // Shows the box with `run` as what happens while it is open.
    int ShowBox(CMsgBox &box, const char *text, const char *caption, UINT type, std::function<void()> run,
                int iconId = 0, COLORREF shadow = RGB(128, 128, 128)) {
        Current().box = &box;
        Current().run = std::move(run);
        return box.Show(owner, text, caption, type, iconId, RGB(0, 0, 0), RGB(192, 192, 192), shadow);
    }

    static int TextWidth(const char *text) {
        HDC ic = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
        SIZE size = {0, 0};
        GetTextExtentPoint32A(ic, text, lstrlenA(text), &size);
        DeleteDC(ic);
        return size.cx;
    }

    // Key presses go to the window with the focus, as a user's would.
    static void Press(UINT vk, unsigned mods = 0) {
        win32::testing::KeyPress(vk, mods);
        win32::testing::RunUntilIdle();
    }

    static POINT ScreenOf(HWND hwnd, int x, int y) {
        POINT p = {x, y};
        ClientToScreen(hwnd, &p);
        return p;
    }

    // The screen as it is now, read pixel by pixel in a window's client
    // coordinates (0x00RRGGBB).
    class Shot {
    public:
        explicit Shot(HWND hwnd) : screen_(win32::testing::Screen()) { ClientToScreen(hwnd, &origin_); }
        uint32_t At(int x, int y) const {
            int sx = origin_.x + x, sy = origin_.y + y;
            if (sx < 0 || sy < 0 || sx >= screen_.width || sy >= screen_.height) return 0xFFFFFFFF;
            return screen_.Row(sy)[sx];
        }

    private:
        win32::gdi::Surface screen_;
        POINT origin_ = {0, 0};
    };

    int scale = 120;  // 120ths
    HWND owner = nullptr;
    int lineHeight = 0;
    int maxCharWidth = 0;
};

}  // namespace testsupport
