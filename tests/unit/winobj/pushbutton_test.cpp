// Push buttons: mnemonics, control ids, taking over a child, the click
// callback and subclassing.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <vector>

#include "winobj/pushbutton.h"

extern HINSTANCE AppInstance;

namespace {

std::vector<std::pair<WPARAM, LPARAM>> ParentCommands;

LRESULT CALLBACK ParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) ParentCommands.push_back({wParam, lParam});
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK OtherProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

class PushButtons : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ParentProc;
        wc.hInstance = AppInstance;
        wc.lpszClassName = "PushButtonParent";
        RegisterClassA(&wc);
    }
    void SetUp() override {
        ControlIdCounter = 900;
        ParentCommands.clear();
        parent = CreateWindowExA(0, "PushButtonParent", "parent", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200,
                                 nullptr, nullptr, AppInstance, nullptr);
        ASSERT_NE(nullptr, parent);
    }
    void TearDown() override {
        DestroyWindow(parent);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    HWND parent = nullptr;
};

TEST_F(PushButtons, MnemonicIsTheCharacterAfterTheFirstAmpersand) {
    struct Case {
        const char *label;
        char mnemonic;
    } cases[] = {
        {"&Ok", 'O'},      {"&Cancel", 'C'},     {"Ok", 0},      {"", 0}, {"a&&b", '&'}, {"Ok&", 0},
        {"&Yes &No", 'Y'}, {"lower &case", 'c'}, {"N&o&w", 'o'},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        CPushButton button(0);
        ASSERT_EQ(1, button.Create(parent, 0, c.label, 0, 0, 60, 30));
        EXPECT_EQ(c.mnemonic, button.mnemonic);
    }
}

TEST_F(PushButtons, FindCharFindsTheFirstOccurrenceButNeverTheTerminator) {
    const char *text = "a&b&c";
    EXPECT_EQ(text + 1, FindChar(text, '&'));
    EXPECT_EQ(text, FindChar(text, 'a'));
    EXPECT_EQ(nullptr, FindChar(text, 'z'));
    EXPECT_EQ(nullptr, FindChar(text, '\0'));
    EXPECT_EQ(nullptr, FindChar("", '\0'));
}

TEST_F(PushButtons, AutomaticIdsCountUpFrom900AndGivenIdsLeaveTheCounter) {
    CPushButton a(0), b(0), c(0), d(0);
    ASSERT_EQ(1, a.Create(parent, 0, "a", 0, 0, 10, 10));
    ASSERT_EQ(1, b.Create(parent, 0, "b", 0, 10, 10, 10));
    ASSERT_EQ(1, c.Create(parent, 0, "c", 0, 20, 10, 10));
    EXPECT_EQ(900, a.controlId);
    EXPECT_EQ(901, b.controlId);
    EXPECT_EQ(902, c.controlId);
    ASSERT_EQ(1, d.Create(parent, 17, "d", 0, 30, 10, 10));
    EXPECT_EQ(17, d.controlId);
    EXPECT_EQ(903, ControlIdCounter);
    EXPECT_EQ(17, GetDlgCtrlID(d.hwnd));
    EXPECT_EQ(d.hwnd, GetDlgItem(parent, 17));
    EXPECT_EQ(b.hwnd, GetDlgItem(parent, 901));
}

TEST_F(PushButtons, AutomaticIdsWrapBackTo900AfterTheLast16BitId) {
    ControlIdCounter = 0xFFFE;
    CPushButton a(0), b(0), c(0);
    ASSERT_EQ(1, a.Create(parent, 0, "a", 0, 0, 10, 10));
    ASSERT_EQ(1, b.Create(parent, 0, "b", 0, 10, 10, 10));
    ASSERT_EQ(1, c.Create(parent, 0, "c", 0, 20, 10, 10));
    EXPECT_EQ(0xFFFE, a.controlId);
    EXPECT_EQ(0xFFFF, b.controlId);
    EXPECT_EQ(900, c.controlId);
    EXPECT_EQ(901, ControlIdCounter);
    // The last id still arrives whole in a command.
    SendMessageA(b.hwnd, BM_CLICK, 0, 0);
    ASSERT_EQ(1u, ParentCommands.size());
    EXPECT_EQ(MAKEWPARAM(0xFFFF, BN_CLICKED), ParentCommands[0].first);
}

TEST_F(PushButtons, CreateMakesABoundButtonControl) {
    CPushButton button(0);
    ASSERT_EQ(1, button.Create(parent, 0, "&Ok", 5, 6, 60, 30));
    ASSERT_TRUE(IsWindow(button.hwnd));
    EXPECT_EQ(parent, GetParent(button.hwnd));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(&button), GetWindowLongPtrA(button.hwnd, GWLP_USERDATA));
    char text[16] = {};
    GetWindowTextA(button.hwnd, text, sizeof text);
    EXPECT_STREQ("&Ok", text);
    EXPECT_EQ(static_cast<LONG>(WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON),
              GetWindowLongA(button.hwnd, GWL_STYLE) & (WS_CHILD | WS_VISIBLE | 0xF));
    RECT r;
    GetWindowRect(button.hwnd, &r);
    POINT origin = {0, 0};
    ClientToScreen(parent, &origin);
    EXPECT_EQ(origin.x + 5, r.left);
    EXPECT_EQ(origin.y + 6, r.top);
    EXPECT_EQ(60, r.right - r.left);
    EXPECT_EQ(30, r.bottom - r.top);
    // Not subclassed: the click reaches the parent as a plain button's.
    SendMessageA(button.hwnd, BM_CLICK, 0, 0);
    ASSERT_EQ(1u, ParentCommands.size());
    EXPECT_EQ(MAKEWPARAM(900, BN_CLICKED), ParentCommands[0].first);
    EXPECT_EQ(reinterpret_cast<LPARAM>(button.hwnd), ParentCommands[0].second);
}

TEST_F(PushButtons, AnExistingChildWithTheIdIsTakenOverUnchanged) {
    HWND existing = CreateWindowExA(0, "BUTTON", "Old", WS_CHILD | WS_VISIBLE, 1, 2, 30, 40, parent,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(555)), AppInstance, nullptr);
    ASSERT_NE(nullptr, existing);
    SetWindowLongPtrA(existing, GWLP_USERDATA, 0x77);
    RECT before;
    GetWindowRect(existing, &before);

    CPushButton button(0);
    EXPECT_EQ(1, button.Create(parent, 555, "&New", 100, 100, 60, 30));
    EXPECT_EQ(existing, button.hwnd);
    EXPECT_EQ('N', button.mnemonic);
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(&button), GetWindowLongPtrA(existing, GWLP_USERDATA));
    char text[16] = {};
    GetWindowTextA(existing, text, sizeof text);
    EXPECT_STREQ("Old", text);
    RECT after;
    GetWindowRect(existing, &after);
    EXPECT_TRUE(EqualRect(&before, &after));
    EXPECT_EQ(900, ControlIdCounter);
}

TEST_F(PushButtons, CreateFailsWithoutAParent) {
    CPushButton button(1);
    EXPECT_EQ(0, button.Create(nullptr, 0, "&Ok", 0, 0, 60, 30));
    EXPECT_EQ(nullptr, button.hwnd);
    EXPECT_EQ(900, button.controlId);
    EXPECT_EQ('O', button.mnemonic);
}

struct CallbackLog {
    std::vector<std::pair<void *, int>> calls;
};

void RecordClick(void *data, int id) {
    static_cast<CallbackLog *>(data)->calls.push_back({data, id});
}

TEST_F(PushButtons, OnClickedCallsTheCallbackOnlyForAClick) {
    CPushButton button(0);
    button.Create(parent, 33, "x", 0, 0, 10, 10);
    EXPECT_EQ(0, button.OnClicked(BN_CLICKED, 0));  // no callback yet

    CallbackLog log;
    button.SetCallback(&log, RecordClick);
    EXPECT_EQ(&log, button.callbackData);
    EXPECT_EQ(0, button.OnClicked(1, 0));
    EXPECT_TRUE(log.calls.empty());
    EXPECT_EQ(1, button.OnClicked(BN_CLICKED, 99));
    ASSERT_EQ(1u, log.calls.size());
    EXPECT_EQ(&log, log.calls[0].first);
    EXPECT_EQ(33, log.calls[0].second);
}

TEST_F(PushButtons, SubclassWindowRefusesBadWindowsAndNullProcedures) {
    HWND gone = CreateWindowExA(0, "BUTTON", "", WS_CHILD, 0, 0, 1, 1, parent, nullptr, AppInstance, nullptr);
    DestroyWindow(gone);
    EXPECT_EQ(nullptr, SubclassWindow(gone, OtherProc));
    EXPECT_EQ(nullptr, SubclassWindow(nullptr, OtherProc));

    LONG_PTR procedure = GetWindowLongPtrA(parent, GWLP_WNDPROC);
    EXPECT_EQ(nullptr, SubclassWindow(parent, nullptr));
    EXPECT_EQ(procedure, GetWindowLongPtrA(parent, GWLP_WNDPROC));

    EXPECT_EQ(ParentProc, SubclassWindow(parent, OtherProc));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(OtherProc), GetWindowLongPtrA(parent, GWLP_WNDPROC));
    SubclassWindow(parent, ParentProc);
}

TEST_F(PushButtons, SavedControlProcKeepsTheFirstNonNullProcedure) {
    SavedControlProc = nullptr;
    CPushButton failed(0);  // never created: nothing replaced
    EXPECT_EQ(nullptr, failed.Subclass(nullptr));
    EXPECT_EQ(nullptr, SavedControlProc);

    CPushButton button(0);
    ASSERT_EQ(1, button.Create(parent, 0, "b", 0, 0, 10, 10));
    WNDPROC buttonProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(button.hwnd, GWLP_WNDPROC));
    EXPECT_EQ(buttonProc, button.Subclass(nullptr));
    EXPECT_EQ(buttonProc, SavedControlProc);
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(ControlWindowProc), GetWindowLongPtrA(button.hwnd, GWLP_WNDPROC));

    // Another window's procedure does not replace the saved one.
    CPushButton other(0);
    ASSERT_EQ(1, other.Create(parent, 0, "o", 0, 20, 10, 10));
    SetWindowLongPtrA(other.hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OtherProc));
    EXPECT_EQ(OtherProc, other.Subclass(nullptr));
    EXPECT_EQ(buttonProc, SavedControlProc);
    DestroyWindow(parent);  // while the button objects still exist
}

class CountingButton : public CPushButton {
public:
    CountingButton() : CPushButton(1) {}
    std::vector<UINT> seen;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        seen.push_back(message);
        return CPushButton::WindowProc(message, wParam, lParam);
    }
};

TEST_F(PushButtons, ASubclassedButtonSeesItsMessagesAndStillWorks) {
    SavedControlProc = nullptr;
    CountingButton button;
    ASSERT_EQ(1, button.Create(parent, 0, "&Go", 0, 0, 60, 30));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(ControlWindowProc), GetWindowLongPtrA(button.hwnd, GWLP_WNDPROC));

    SendMessageA(button.hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("&Went"));
    char text[16] = {};
    GetWindowTextA(button.hwnd, text, sizeof text);
    EXPECT_STREQ("&Went", text);
    SendMessageA(button.hwnd, BM_CLICK, 0, 0);
    ASSERT_EQ(1u, ParentCommands.size());
    EXPECT_EQ(MAKEWPARAM(button.controlId, BN_CLICKED), ParentCommands[0].first);
    EXPECT_NE(button.seen.end(), std::find(button.seen.begin(), button.seen.end(), (UINT)WM_SETTEXT));
    EXPECT_NE(button.seen.end(), std::find(button.seen.begin(), button.seen.end(), (UINT)BM_CLICK));
    DestroyWindow(parent);  // while the button object still exists
}

}  // namespace
