// TranslateAcceleratorA over real queued key messages on the headless
// screen: the program's Alt+X with exact modifiers, and the matching rules
// on hand-made tables.

#include <gtest/gtest.h>

#include <vector>

#include "app/res/resource.h"
#include "platform/kernel/module.h"
#include "platform/testing.h"
#include "platform/res/resources.h"

namespace {

struct Command {
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Command> commands;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COMMAND) {
        commands.push_back({wParam, lParam});
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

class Accelerators : public ::testing::Test {
protected:
    void SetUp() override {
        win32::testing::UseHeadless();
        static bool registered = false;
        if (!registered) {
            WNDCLASSA wc{};
            wc.lpfnWndProc = RecordingProc;
            wc.hInstance = win32::MainModule();
            wc.lpszClassName = "AccelTestWindow";
            ASSERT_NE(RegisterClassA(&wc), 0);
            registered = true;
        }
        hwnd_ = CreateWindowExA(0, "AccelTestWindow", "t", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100,
                                nullptr, nullptr, win32::MainModule(), nullptr);
        ASSERT_NE(hwnd_, nullptr);
        SetFocus(hwnd_);
        Pump(nullptr);
        commands.clear();
    }
    void TearDown() override { win32::testing::ResetWindowManager(); }

    // Retrieves every queued message, offering each to the table first as
    // a message loop does; returns how many were translated.
    int Pump(HACCEL table) {
        int translated = 0;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) break;
            if (table && TranslateAcceleratorA(hwnd_, table, &msg)) {
                ++translated;
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        return translated;
    }

    HWND hwnd_ = nullptr;
};

TEST_F(Accelerators, AltXAloneSendsTheExitCommand) {
    HACCEL table = LoadAcceleratorsA(win32::MainModule(), "ACCELERATORS_1");
    ASSERT_NE(table, nullptr);
    struct Case {
        const char *what;
        UINT vk;
        unsigned mods;
        int commands;
    };
    const Case cases[] = {
        {"Alt+X", 'X', win32::testing::kAlt, 1},
        {"Alt+Shift+X", 'X', win32::testing::kAlt | win32::testing::kShift, 0},
        {"Ctrl+Alt+X", 'X', win32::testing::kAlt | win32::testing::kCtrl, 0},
        {"Ctrl+X", 'X', win32::testing::kCtrl, 0},
        {"X", 'X', 0, 0},
        {"Shift+X", 'X', win32::testing::kShift, 0},
        {"Alt+Z", 'Z', win32::testing::kAlt, 0},
        {"Alt+X again", 'X', win32::testing::kAlt, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        commands.clear();
        win32::testing::KeyPress(c.vk, c.mods);
        EXPECT_EQ(Pump(table), c.commands);
        ASSERT_EQ(static_cast<int>(commands.size()), c.commands);
        for (const Command &cmd : commands) {
            EXPECT_EQ(LOWORD(cmd.wParam), IDM_EXIT);
            EXPECT_EQ(HIWORD(cmd.wParam), 1);  // from an accelerator
            EXPECT_EQ(cmd.lParam, 0);
        }
    }
}

TEST_F(Accelerators, OnlyKeyDownMessagesMatchVirtualKeyEntries) {
    HACCEL table = LoadAcceleratorsA(win32::MainModule(), "ACCELERATORS_1");
    win32::testing::KeyDown('X', win32::testing::kAlt);
    EXPECT_EQ(Pump(table), 1);
    win32::testing::KeyUp('X', win32::testing::kAlt);  // the release alone
    EXPECT_EQ(Pump(table), 0);
    EXPECT_EQ(commands.size(), 1u);

    // A hand-made message while Alt is up: only the table decides, and a
    // WM_KEYUP or WM_CHAR never matches a virtual-key entry.
    MSG msg{};
    msg.hwnd = hwnd_;
    msg.message = WM_KEYUP;
    msg.wParam = 'X';
    EXPECT_EQ(TranslateAcceleratorA(hwnd_, table, &msg), 0);
    msg.message = WM_CHAR;
    EXPECT_EQ(TranslateAcceleratorA(hwnd_, table, &msg), 0);
    // A system key message made with Alt held (bit 29) counts as Alt+X.
    msg.message = WM_SYSKEYDOWN;
    msg.lParam = LPARAM{1} << 29;
    EXPECT_EQ(TranslateAcceleratorA(hwnd_, table, &msg), 1);
    EXPECT_EQ(commands.size(), 2u);
    // Bad arguments translate nothing.
    EXPECT_EQ(TranslateAcceleratorA(nullptr, table, &msg), 0);
    EXPECT_EQ(TranslateAcceleratorA(hwnd_, nullptr, &msg), 0);
    EXPECT_EQ(TranslateAcceleratorA(hwnd_, table, nullptr), 0);
    EXPECT_EQ(commands.size(), 2u);
}

TEST_F(Accelerators, FirstMatchWinsAndModifiersMatchExactly) {
    const ACCEL entries[] = {
        {FVIRTKEY | FCONTROL, 'O', 10},
        {FVIRTKEY | FCONTROL | FSHIFT, 'O', 11},
        {FVIRTKEY | FCONTROL, 'O', 12},  // shadowed by the first
        {FVIRTKEY, VK_F5, 13},
        {0, 'q', 14},     // character entry
        {FALT, 'w', 15},  // character entry with Alt: WM_SYSCHAR
    };
    HACCEL table = win32::CreateAcceleratorTableFromEntries(entries, 6);
    ASSERT_NE(table, nullptr);
    auto run = [&](UINT vk, unsigned mods) {
        commands.clear();
        win32::testing::KeyPress(vk, mods);
        Pump(table);
        std::vector<WORD> ids;
        for (const Command &c : commands) ids.push_back(LOWORD(c.wParam));
        return ids;
    };
    EXPECT_EQ(run('O', win32::testing::kCtrl), std::vector<WORD>{10});
    EXPECT_EQ(run('O', win32::testing::kCtrl | win32::testing::kShift), std::vector<WORD>{11});
    EXPECT_EQ(run('O', win32::testing::kCtrl | win32::testing::kAlt), std::vector<WORD>{});
    EXPECT_EQ(run(VK_F5, 0), std::vector<WORD>{13});
    EXPECT_EQ(run(VK_F5, win32::testing::kShift), std::vector<WORD>{});

    MSG msg{};
    msg.hwnd = hwnd_;
    msg.message = WM_CHAR;
    msg.wParam = 'q';
    commands.clear();
    EXPECT_EQ(TranslateAcceleratorA(hwnd_, table, &msg), 1);
    msg.wParam = 'Q';  // characters match with their case
    EXPECT_EQ(TranslateAcceleratorA(hwnd_, table, &msg), 0);
    msg.wParam = 'w';
    EXPECT_EQ(TranslateAcceleratorA(hwnd_, table, &msg), 0);
    msg.message = WM_SYSCHAR;
    EXPECT_EQ(TranslateAcceleratorA(hwnd_, table, &msg), 1);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(LOWORD(commands[0].wParam), 14);
    EXPECT_EQ(LOWORD(commands[1].wParam), 15);

    EXPECT_TRUE(DestroyAcceleratorTable(table));
    msg.message = WM_CHAR;
    msg.wParam = 'q';
    EXPECT_EQ(TranslateAcceleratorA(hwnd_, table, &msg), 0);  // stale handle
}

}  // namespace
