// The window object framework: binding, the dispatcher's table, creation,
// destruction and the message pump, on the headless screen.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/display/headless/headless.h"
#include "platform/testing.h"
#include "winobj/pushbutton.h"
#include "winobj/winobject.h"

HINSTANCE AppInstance = GetModuleHandleA(nullptr);

namespace {

struct Call {
    std::string name;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Call &o) const {
        return name == o.name && wParam == o.wParam && lParam == o.lParam;
    }
};

std::ostream &operator<<(std::ostream &os, const Call &c) {
    return os << c.name << "(" << c.wParam << ", " << c.lParam << ")";
}

const char kRecorderClass[] = "WinObjRecorder";

// Records every handler call with its arguments; results are configurable.
class Recorder : public CWinObject {
public:
    std::vector<Call> calls;
    std::vector<UINT> unhandled;
    int createResult = 1;
    int unhandledResult = 0;
    int queryEndSessionResult = 5;
    int vkeyResult = 9;
    LRESULT ctlColorResult = 0x1234;

    Recorder() { style = WS_POPUP; }

    void Log(const char *name, WPARAM w = 0, LPARAM l = 0) { calls.push_back({name, w, l}); }

    int RegisterWindowClass() override {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = StaticWindowProc;
        wc.hInstance = AppInstance;
        wc.lpszClassName = kRecorderClass;
        return RegisterClassA(&wc) != 0;
    }
    void PostDestroy() override { Log("PostDestroy"); }
    int OnUnhandled(UINT m, WPARAM w, LPARAM l) override {
        unhandled.push_back(m);
        (void)w;
        (void)l;
        return unhandledResult;
    }
    int Shutdown() override {
        Log("Shutdown");
        return 0;
    }
    void OnChar(WPARAM w, LPARAM l) override { Log("OnChar", w, l); }
    int OnClose() override {
        Log("OnClose");
        return 77;
    }
    void OnCommand(WPARAM w, LPARAM l) override { Log("OnCommand", w, l); }
    void OnContextMenu(WPARAM w, LPARAM l) override { Log("OnContextMenu", w, l); }
    int OnCreate() override {
        Log("OnCreate");
        return createResult;
    }
    LRESULT OnCtlColorListBox(WPARAM w, LPARAM l) override {
        Log("OnCtlColorListBox", w, l);
        return ctlColorResult;
    }
    void OnDestroy() override { Log("OnDestroy"); }
    void OnDrawItem(WPARAM w, LPARAM l) override { Log("OnDrawItem", w, l); }
    void OnDropFiles(WPARAM w) override { Log("OnDropFiles", w); }
    void OnEndSession(WPARAM w, LPARAM l) override { Log("OnEndSession", w, l); }
    void OnInitMenu() override { Log("OnInitMenu"); }
    void OnKeyDown(WPARAM w, LPARAM l) override { Log("OnKeyDown", w, l); }
    void OnKeyUp(WPARAM w, LPARAM l) override { Log("OnKeyUp", w, l); }
    void OnKillFocus() override { Log("OnKillFocus"); }
    void OnLButtonDown(WPARAM w, LPARAM l) override { Log("OnLButtonDown", w, l); }
    void OnLButtonUp(WPARAM w, LPARAM l) override { Log("OnLButtonUp", w, l); }
    int OnMenuSelect(WPARAM w, LPARAM l) override {
        Log("OnMenuSelect", w, l);
        return 55;
    }
    void OnMouseMove(WPARAM w, LPARAM l) override { Log("OnMouseMove", w, l); }
    int OnNotify(WPARAM w, LPARAM l) override {
        Log("OnNotify", w, l);
        return 66;
    }
    void OnPaint() override { Log("OnPaint"); }
    int OnQueryEndSession() override {
        Log("OnQueryEndSession");
        return queryEndSessionResult;
    }
    void OnRButtonDown(WPARAM w, LPARAM l) override { Log("OnRButtonDown", w, l); }
    void OnRButtonUp(WPARAM w, LPARAM l) override { Log("OnRButtonUp", w, l); }
    void OnSetFocus() override { Log("OnSetFocus"); }
    void OnSize(WPARAM w, LPARAM l) override { Log("OnSize", w, l); }
    void OnSysColorChange() override { Log("OnSysColorChange"); }
    void OnSysKeyDown(WPARAM w, LPARAM l) override { Log("OnSysKeyDown", w, l); }
    void OnSysKeyUp(WPARAM w, LPARAM l) override { Log("OnSysKeyUp", w, l); }
    void OnTimer(WPARAM w) override { Log("OnTimer", w); }
    int OnVKeyToItem(WPARAM w) override {
        Log("OnVKeyToItem", w);
        return vkeyResult;
    }
};

// Only what a concrete class must supply; every handler keeps the base's.
class Plain : public CWinObject {
public:
    Plain() { style = WS_POPUP; }
    int RegisterWindowClass() override {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = StaticWindowProc;
        wc.hInstance = AppInstance;
        wc.lpszClassName = "WinObjPlain";
        return RegisterClassA(&wc) != 0;
    }
    int OnCreate() override { return 1; }
};

class NotifyButton : public CPushButton {
public:
    NotifyButton() : CPushButton(0) {}
    std::vector<NMHDR *> notified;
    LRESULT OnNotify(NMHDR *header) override {
        notified.push_back(header);
        return 42;
    }
};

class Dispatcher : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Recorder r;
        r.RegisterWindowClass();
        Plain p;
        p.RegisterWindowClass();
    }
    void TearDown() override {
        if (obj.hwnd && IsWindow(obj.hwnd)) DestroyWindow(obj.hwnd);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    void Make() {
        ASSERT_EQ(1, obj.CreateObjectWindow(kRecorderClass, nullptr, nullptr, "rec", 10, 10, 200, 100));
        obj.calls.clear();
        obj.unhandled.clear();
    }
    Recorder obj;
};

struct Row {
    UINT message;
    const char *handler;
    bool passesWParam;
    bool passesLParam;
    LRESULT answer;  // what SendMessageA returns
};

// Every message of the table, with the argument shape the handler takes and
// the answer the dispatcher gives back.
const Row kTable[] = {
    {WM_CHAR, "OnChar", true, true, 0},
    {WM_CLOSE, "OnClose", false, false, 0},
    {WM_COMMAND, "OnCommand", true, true, 0},
    {WM_CONTEXTMENU, "OnContextMenu", true, true, 0},
    {WM_CTLCOLORLISTBOX, "OnCtlColorListBox", true, true, 0x1234},
    {WM_DRAWITEM, "OnDrawItem", true, true, 1},
    {WM_DROPFILES, "OnDropFiles", true, false, 0},
    {WM_INITMENU, "OnInitMenu", false, false, 0},
    {WM_KEYDOWN, "OnKeyDown", true, true, 0},
    {WM_KEYUP, "OnKeyUp", true, true, 0},
    {WM_KILLFOCUS, "OnKillFocus", false, false, 0},
    {WM_LBUTTONDOWN, "OnLButtonDown", true, true, 0},
    {WM_LBUTTONUP, "OnLButtonUp", true, true, 0},
    {WM_MENUSELECT, "OnMenuSelect", true, true, 0},
    {WM_MOUSEMOVE, "OnMouseMove", true, true, 0},
    {WM_PAINT, "OnPaint", false, false, 0},
    {WM_QUERYENDSESSION, "OnQueryEndSession", false, false, 5},
    {WM_RBUTTONDOWN, "OnRButtonDown", true, true, 0},
    {WM_RBUTTONUP, "OnRButtonUp", true, true, 0},
    {WM_SETFOCUS, "OnSetFocus", false, false, 0},
    {WM_SIZE, "OnSize", true, true, 0},
    {WM_SYSCOLORCHANGE, "OnSysColorChange", false, false, 0},
    {WM_SYSKEYDOWN, "OnSysKeyDown", true, true, 0},
    {WM_SYSKEYUP, "OnSysKeyUp", true, true, 0},
    {WM_TIMER, "OnTimer", true, false, 0},
    {WM_VKEYTOITEM, "OnVKeyToItem", true, false, 9},
};

TEST_F(Dispatcher, EveryTableMessageReachesItsHandlerAndAnswers) {
    Make();
    for (const Row &row : kTable) {
        SCOPED_TRACE(row.handler);
        obj.calls.clear();
        obj.unhandled.clear();
        const WPARAM w = 0x10000 + row.message;
        const LPARAM l = 0x20000 + row.message;
        LRESULT answer = SendMessageA(obj.hwnd, row.message, w, l);
        EXPECT_EQ(row.answer, answer);
        ASSERT_EQ(1u, obj.calls.size());
        EXPECT_EQ((Call{row.handler, row.passesWParam ? w : 0, row.passesLParam ? l : 0}), obj.calls[0]);
        EXPECT_TRUE(obj.unhandled.empty());
    }
}

TEST_F(Dispatcher, DrawItemAndResultsAreTheDispatchersNotTheHandlers) {
    Make();
    // OnMenuSelect answers 55 and OnClose 77: both are ignored.
    EXPECT_EQ(0, SendMessageA(obj.hwnd, WM_MENUSELECT, 0, 0));
    EXPECT_EQ(0, SendMessageA(obj.hwnd, WM_CLOSE, 0, 0));
    obj.queryEndSessionResult = 0;
    EXPECT_EQ(0, SendMessageA(obj.hwnd, WM_QUERYENDSESSION, 0, 0));
    obj.vkeyResult = -2;
    EXPECT_EQ(-2, SendMessageA(obj.hwnd, WM_VKEYTOITEM, 0, 0));
}

TEST_F(Dispatcher, EndSessionCallsShutdownOnlyWhenTheSessionEnds) {
    Make();
    EXPECT_EQ(0, SendMessageA(obj.hwnd, WM_ENDSESSION, 0, 3));
    EXPECT_EQ((std::vector<Call>{{"OnEndSession", 0, 3}}), obj.calls);
    obj.calls.clear();
    EXPECT_EQ(0, SendMessageA(obj.hwnd, WM_ENDSESSION, 1, 4));
    EXPECT_EQ((std::vector<Call>{{"OnEndSession", 1, 4}, {"Shutdown", 0, 0}}), obj.calls);
}

TEST_F(Dispatcher, DestroyRunsThreeHandlersInOrderAndClearsTheWindow) {
    Make();
    HWND window = obj.hwnd;
    EXPECT_EQ(1, obj.Destroy());
    EXPECT_EQ(nullptr, obj.hwnd);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ((std::vector<Call>{{"OnDestroy", 0, 0}, {"Shutdown", 0, 0}, {"PostDestroy", 0, 0}}), obj.calls);
    // No window any more: nothing to destroy.
    EXPECT_EQ(0, obj.Destroy());
}

TEST_F(Dispatcher, DestroyWithoutAWindowFails) {
    Recorder fresh;
    EXPECT_EQ(0, fresh.Destroy());
    EXPECT_EQ(nullptr, fresh.hwnd);
    EXPECT_TRUE(fresh.calls.empty());
}

TEST_F(Dispatcher, CreationBindsAtNcCreateAndOnCreateSeesTheWindow) {
    obj.style = WS_POPUP | WS_CAPTION;  // captioned: gets WM_GETMINMAXINFO before WM_NCCREATE
    ASSERT_EQ(1, obj.CreateObjectWindow(kRecorderClass, nullptr, nullptr, "rec", 0, 0, 100, 50));
    ASSERT_FALSE(obj.unhandled.empty());
    EXPECT_EQ(static_cast<UINT>(WM_NCCREATE), obj.unhandled.front());
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(&obj), GetWindowLongPtrA(obj.hwnd, GWLP_USERDATA));
    EXPECT_EQ(Call({"OnCreate", 0, 0}), obj.calls.front());
}

TEST_F(Dispatcher, CreatingTwiceKeepsTheFirstWindow) {
    Make();
    HWND first = obj.hwnd;
    EXPECT_EQ(1, obj.CreateObjectWindow(kRecorderClass, nullptr, nullptr, "again", 0, 0, 10, 10));
    EXPECT_EQ(first, obj.hwnd);
    EXPECT_TRUE(obj.calls.empty());
}

TEST_F(Dispatcher, OnCreateRefusingFailsCreationAfterTheDestroySequence) {
    obj.createResult = 0;
    EXPECT_EQ(0, obj.CreateObjectWindow(kRecorderClass, nullptr, nullptr, "no", 0, 0, 10, 10));
    EXPECT_EQ(nullptr, obj.hwnd);
    EXPECT_EQ((std::vector<Call>{
                  {"OnCreate", 0, 0}, {"OnDestroy", 0, 0}, {"Shutdown", 0, 0}, {"PostDestroy", 0, 0}}),
              obj.calls);
}

TEST_F(Dispatcher, BaseClassWithoutOnCreateCannotMakeAWindow) {
    class NoCreate : public Plain {
    public:
        int OnCreate() override { return CWinObject::OnCreate(); }
    } object;
    EXPECT_EQ(0, object.CreateObjectWindow("WinObjPlain", nullptr, nullptr, "", 0, 0, 10, 10));
    EXPECT_EQ(nullptr, object.hwnd);
}

TEST_F(Dispatcher, UnlistedMessagesGoToOnUnhandledThenDefWindowProc) {
    Make();
    // Refused by OnUnhandled: DefWindowProcA would have set the text.
    obj.unhandledResult = 0;
    EXPECT_EQ(TRUE, SendMessageA(obj.hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("first")));
    char text[32] = {};
    GetWindowTextA(obj.hwnd, text, sizeof text);
    EXPECT_STREQ("first", text);
    obj.unhandledResult = 1;
    EXPECT_EQ(0, SendMessageA(obj.hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("second")));
    obj.unhandledResult = 0;
    GetWindowTextA(obj.hwnd, text, sizeof text);
    EXPECT_STREQ("first", text);
    EXPECT_EQ(2, std::count(obj.unhandled.begin(), obj.unhandled.end(), static_cast<UINT>(WM_SETTEXT)));
    EXPECT_TRUE(obj.calls.empty());
}

TEST_F(Dispatcher, WindowWithoutObjectGetsDefaultHandling) {
    // A window of a framework class made without an object: every message,
    // as those before WM_NCCREATE, goes straight to DefWindowProcA.
    HWND bare = CreateWindowExA(0, kRecorderClass, "bare", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                AppInstance, nullptr);
    ASSERT_NE(nullptr, bare);
    EXPECT_EQ(0, GetWindowLongPtrA(bare, GWLP_USERDATA));
    StaticWindowProc(bare, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("plain"));
    char text[16] = {};
    GetWindowTextA(bare, text, sizeof text);
    EXPECT_STREQ("plain", text);
    DestroyWindow(bare);
}

TEST_F(Dispatcher, NotifyFromAControlWithAnObjectGoesToThatObject) {
    Make();
    NotifyButton button;
    ASSERT_EQ(1, button.Create(obj.hwnd, 0, "&Go", 0, 0, 50, 20));
    NMHDR header = {button.hwnd, static_cast<UINT_PTR>(button.controlId), 123};
    EXPECT_EQ(42, SendMessageA(obj.hwnd, WM_NOTIFY, button.controlId, reinterpret_cast<LPARAM>(&header)));
    ASSERT_EQ(1u, button.notified.size());
    EXPECT_EQ(&header, button.notified[0]);
    EXPECT_TRUE(obj.calls.empty());

    // The base push button answers 0.
    CPushButton plainButton(0);
    ASSERT_EQ(1, plainButton.Create(obj.hwnd, 0, "x", 0, 30, 50, 20));
    header.hwndFrom = plainButton.hwnd;
    EXPECT_EQ(0, SendMessageA(obj.hwnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header)));
    EXPECT_TRUE(obj.calls.empty());
}

TEST_F(Dispatcher, NotifyFromAControlWithoutAnObjectGoesToTheWindowObject) {
    Make();
    HWND child = CreateWindowExA(0, "BUTTON", "c", WS_CHILD, 0, 0, 10, 10, obj.hwnd,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(5)), AppInstance, nullptr);
    ASSERT_NE(nullptr, child);
    NMHDR header = {child, 5, 7};
    LPARAM l = reinterpret_cast<LPARAM>(&header);
    EXPECT_EQ(0, SendMessageA(obj.hwnd, WM_NOTIFY, 5, l));  // OnNotify's 66 is not the answer
    EXPECT_EQ((std::vector<Call>{{"OnNotify", 5, l}}), obj.calls);
}

TEST_F(Dispatcher, BaseHandlersAnswerTheirFixedValues) {
    Plain plain;
    ASSERT_EQ(1, plain.CreateObjectWindow("WinObjPlain", nullptr, nullptr, "", 0, 0, 50, 50));
    EXPECT_EQ(1, SendMessageA(plain.hwnd, WM_QUERYENDSESSION, 0, 0));
    EXPECT_EQ(-1, SendMessageA(plain.hwnd, WM_VKEYTOITEM, 'A', 0));
    EXPECT_EQ(0, SendMessageA(plain.hwnd, WM_CTLCOLORLISTBOX, 0, 0));
    EXPECT_EQ(1, SendMessageA(plain.hwnd, WM_DRAWITEM, 0, 0));
    // The default close destroys the window through Destroy.
    HWND window = plain.hwnd;
    EXPECT_EQ(0, SendMessageA(window, WM_CLOSE, 0, 0));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, plain.hwnd);
}

TEST_F(Dispatcher, BasePaintValidates) {
    Plain plain;
    plain.style = WS_POPUP | WS_VISIBLE;
    ASSERT_EQ(1, plain.CreateObjectWindow("WinObjPlain", nullptr, nullptr, "", 0, 0, 50, 50));
    InvalidateRect(plain.hwnd, nullptr, FALSE);
    RECT r;
    ASSERT_TRUE(GetUpdateRect(plain.hwnd, &r, FALSE));
    SendMessageA(plain.hwnd, WM_PAINT, 0, 0);
    EXPECT_FALSE(GetUpdateRect(plain.hwnd, &r, FALSE));
    plain.Destroy();
}

TEST_F(Dispatcher, BaseCreateWarnsAndFails) {
    win32::testing::UseHeadless();
    std::string title;
    // The warning is modal: answer it once its loop waits for input.
    win32::testing::Headless().SetIdleHandler([&] {
        char buffer[64] = {};
        HWND warning = GetActiveWindow();
        GetWindowTextA(warning, buffer, sizeof buffer);
        title = buffer;
        win32::testing::KeyPress(VK_RETURN);
    });
    Plain plain;
    EXPECT_EQ(0, plain.CWinObject::Create(nullptr, 0, "x", 0, 0, 10, 10));
    win32::testing::Headless().SetIdleHandler(nullptr);
    EXPECT_EQ("App Error", title);
    EXPECT_EQ(nullptr, plain.hwnd);
}

class Pump : public Dispatcher {};

TEST_F(Pump, EmptyQueueAnswersZeroAtOnce) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    EXPECT_EQ(0, PumpPendingMessages());
}

TEST_F(Pump, DispatchesEverythingQueuedInOrder) {
    Make();
    PostMessageA(obj.hwnd, WM_KEYDOWN, 1, 0);
    PostMessageA(obj.hwnd, WM_COMMAND, 2, 0);
    PostMessageA(obj.hwnd, WM_TIMER, 3, 0);
    EXPECT_EQ(0, PumpPendingMessages());
    // The key message is also translated: no character for key code 1.
    ASSERT_GE(obj.calls.size(), 3u);
    EXPECT_EQ(Call({"OnKeyDown", 1, 0}), obj.calls[0]);
    EXPECT_EQ(Call({"OnCommand", 2, 0}), obj.calls[1]);
    EXPECT_EQ(Call({"OnTimer", 3, 0}), obj.calls[2]);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(Pump, QuitStopsThePumpAndStaysQueued) {
    Make();
    PostMessageA(obj.hwnd, WM_COMMAND, 1, 0);
    PostQuitMessage(3);
    EXPECT_EQ(1, PumpPendingMessages());
    EXPECT_EQ((std::vector<Call>{{"OnCommand", 1, 0}}), obj.calls);
    // Still there, for the loop that owns the queue.
    EXPECT_EQ(1, PumpPendingMessages());
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
    EXPECT_EQ(3u, msg.wParam);
    EXPECT_EQ(0, PumpPendingMessages());
}

}  // namespace
