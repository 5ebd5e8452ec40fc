// Keyboard and mouse routing, lParam bits, double-clicks, close paths, dragging.
#include <gtest/gtest.h>

#include "platform/a11y/keysym.h"
#include "platform/common/a11y_hooks.h"
#include "platform/display/headless/headless.h"
#include "platform/testing.h"
#include "tests/support/recorder.h"

using namespace win32;

using namespace testsupport;

namespace {

// The top window's client area starts at (104, 123) on the screen.
constexpr int kClientX = 104, kClientY = 123;

struct Got {
    HWND hwnd;
    UINT msg;
    WPARAM wp;
    LPARAM lp;
};

std::vector<Got> RunAndCollect(const std::vector<UINT> &only) {
    Log().clear();
    win32::testing::RunUntilIdle();
    std::vector<Got> out;
    for (const Received &r : Log())
        if (std::find(only.begin(), only.end(), r.msg) != only.end())
            out.push_back({r.hwnd, r.msg, r.wParam, r.lParam});
    return out;
}

const std::vector<UINT> kKeys = {WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP};
const std::vector<UINT> kButtons = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_NCLBUTTONDOWN};

TEST(Keyboard, KeysGoToTheFocusWindowWithRealLParamBits) {
    Fresh();
    HWND top = MakeTop();
    HWND c = MakeChild(top, 1, 0, 0, 10, 10);
    win32::testing::RunUntilIdle();
    SetFocus(c);
    win32::testing::KeyDown('A');
    win32::testing::KeyDown('A', 0, true);
    win32::testing::KeyUp('A');
    win32::testing::KeyPress(VK_DOWN);
    auto got = RunAndCollect(kKeys);
    ASSERT_EQ(got.size(), 5u);
    for (const Got &g : got) EXPECT_EQ(g.hwnd, c);
    EXPECT_EQ(got[0].msg, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(got[0].wp, static_cast<WPARAM>('A'));
    EXPECT_EQ(static_cast<uint32_t>(got[0].lp), 0x001E0001u);
    EXPECT_EQ(static_cast<uint32_t>(got[1].lp), 0x401E0001u);
    EXPECT_EQ(got[2].msg, static_cast<UINT>(WM_KEYUP));
    EXPECT_EQ(static_cast<uint32_t>(got[2].lp), 0xC01E0001u);
    EXPECT_EQ(static_cast<uint32_t>(got[3].lp), 0x01500001u);  // extended cluster
    EXPECT_EQ(got[3].wp, static_cast<WPARAM>(VK_DOWN));
}

TEST(Keyboard, AltMakesSystemKeysWithTheContextBit) {
    Fresh();
    HWND top = MakeTop();
    win32::testing::RunUntilIdle();
    win32::testing::KeyPress('X', win32::testing::kAlt);
    win32::testing::KeyPress(VK_F10);
    auto got = RunAndCollect(kKeys);
    ASSERT_EQ(got.size(), 6u);
    // Alt down, X down, X up, Alt up.
    EXPECT_EQ(got[0].msg, static_cast<UINT>(WM_SYSKEYDOWN));
    EXPECT_EQ(got[0].wp, static_cast<WPARAM>(VK_MENU));
    EXPECT_TRUE(got[0].lp & (1L << 29));
    EXPECT_EQ(got[1].msg, static_cast<UINT>(WM_SYSKEYDOWN));
    EXPECT_EQ(got[1].wp, static_cast<WPARAM>('X'));
    EXPECT_TRUE(got[1].lp & (1L << 29));
    EXPECT_EQ(got[2].msg, static_cast<UINT>(WM_SYSKEYUP));
    EXPECT_EQ(got[3].msg, static_cast<UINT>(WM_SYSKEYUP));
    EXPECT_EQ(got[3].wp, static_cast<WPARAM>(VK_MENU));
    // F10 alone: a system key without the context bit.
    EXPECT_EQ(got[4].msg, static_cast<UINT>(WM_SYSKEYDOWN));
    EXPECT_FALSE(got[4].lp & (1L << 29));
    for (const Got &g : got) EXPECT_EQ(g.hwnd, top);
}

// The window manager takes a chord (Alt+Tab, Alt+F4) and Alt's release goes
// elsewhere; the window system's report of the held modifiers, when focus
// comes back or with the next key, puts Alt up again.
TEST(Keyboard, AltReleasedWhileAnotherWindowHadTheKeysIsUpAgain) {
    for (bool withTheKey : {false, true}) {
        Fresh();
        HWND top = MakeTop();
        win32::testing::RunUntilIdle();
        win32::testing::KeyDown(VK_MENU);
        win32::testing::RunUntilIdle();
        ASSERT_TRUE(GetKeyState(VK_MENU) & 0x8000);
        display::Event ev;
        if (withTheKey) {
            ev.type = display::Event::KeyDown;
            ev.vk = VK_ESCAPE;
            ev.scanCode = 0x01;
        } else {
            ev.type = display::Event::KeyState;
        }
        ev.modifiers = 0;
        win32::testing::Headless().Inject(ev);
        if (!withTheKey) win32::testing::KeyDown(VK_ESCAPE);
        auto got = RunAndCollect(kKeys);
        ASSERT_EQ(got.size(), 1u) << withTheKey;
        EXPECT_EQ(got[0].hwnd, top);
        EXPECT_EQ(got[0].msg, static_cast<UINT>(WM_KEYDOWN)) << withTheKey;
        EXPECT_FALSE(got[0].lp & (1L << 29));
        EXPECT_FALSE(GetKeyState(VK_MENU) & 0x8000);
        EXPECT_FALSE(GetAsyncKeyState(VK_MENU) & 0x8000);
    }
    // A report of Alt held counts as well: Alt pressed before the focus came.
    win32::testing::Headless().Inject({.type = display::Event::KeyState, .modifiers = display::kModAlt});
    win32::testing::KeyDown('X');
    auto got = RunAndCollect(kKeys);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].msg, static_cast<UINT>(WM_SYSKEYDOWN));
}

TEST(Keyboard, WithoutFocusKeysGoAsSystemKeysToTheActiveWindow) {
    Fresh();
    HWND top = MakeTop();
    win32::testing::RunUntilIdle();
    SetFocus(nullptr);
    win32::testing::KeyPress('B');
    auto got = RunAndCollect(kKeys);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].hwnd, top);
    EXPECT_EQ(got[0].msg, static_cast<UINT>(WM_SYSKEYDOWN));
    EXPECT_FALSE(got[0].lp & (1L << 29));
}

// The window system's keyboard is on a window the layer does not count
// active (a FocusOut came last): a disabled owner hands the key to its modal
// pop-up, which is activated and focused; an enabled window is activated.
TEST(Keyboard, KeysOnAWindowTheLayerDoesNotCountActiveReachTheWindowThatTakesThem) {
    Fresh();
    HWND owner = MakeTop("owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 400);
    HWND box = MakeTop("box", WS_POPUP | WS_CAPTION | WS_VISIBLE, 50, 50, 100, 100, owner);
    EnableWindow(owner, FALSE);
    win32::testing::RunUntilIdle();
    ASSERT_EQ(GetActiveWindow(), box);
    display::NativeId ownerNative = win32::testing::Headless().WindowAt(300, 300);
    display::NativeId boxNative = win32::testing::Headless().WindowAt(70, 100);
    ASSERT_NE(ownerNative, boxNative);
    auto windowSystem = [](display::Event::Type type, display::NativeId w, UINT vk = 0) {
        display::Event ev;
        ev.type = type;
        ev.window = w;
        ev.vk = vk;
        win32::testing::Headless().Inject(ev);
    };
    auto keyOn = [&](display::NativeId w) {
        windowSystem(display::Event::KeyDown, w, 'O');
        windowSystem(display::Event::KeyUp, w, 'O');
        return RunAndCollect({WM_KEYDOWN, WM_SYSKEYDOWN, WM_CHAR, WM_SYSCHAR});
    };
    windowSystem(display::Event::FocusOut, boxNative);
    win32::testing::RunUntilIdle();
    ASSERT_EQ(GetActiveWindow(), nullptr);
    auto got = keyOn(ownerNative);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].hwnd, box);
    EXPECT_EQ(got[0].msg, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(got[1].hwnd, box);
    EXPECT_EQ(got[1].msg, static_cast<UINT>(WM_CHAR));
    EXPECT_EQ(got[1].wp, static_cast<WPARAM>('o'));
    EXPECT_EQ(GetActiveWindow(), box);
    EXPECT_EQ(win32::testing::Headless().Focused(), boxNative);

    DestroyWindow(box);
    EnableWindow(owner, TRUE);
    windowSystem(display::Event::FocusOut, ownerNative);
    win32::testing::RunUntilIdle();
    ASSERT_EQ(GetActiveWindow(), nullptr);
    got = keyOn(ownerNative);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].hwnd, owner);
    EXPECT_EQ(got[0].msg, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(got[1].msg, static_cast<UINT>(WM_CHAR));
    EXPECT_EQ(GetActiveWindow(), owner);
}

// A screen reader that hears keys first: it holds each one until told to
// answer, then keeps `keep` and lets the others through.
class FirstHearer : public a11y::Hooks {
public:
    struct Heard {
        UINT vk;
        bool down;
        int ch;
        uint64_t serial;
    };
    FirstHearer() { a11y::SetHooks(this); }
    ~FirstHearer() override { a11y::SetHooks(nullptr); }
    void Text(HWND, const RECT &, const char *, int, bool) override {}
    void BeginItem(HWND, int, UINT) override {}
    void EndItem() override {}
    void WindowCreated(HWND) override {}
    void WindowDestroying(HWND) override {}
    void FocusChanged(HWND, HWND) override {}
    void CaretMoved(HWND) override {}
    a11y::KeyFate Key(const a11y::KeyStroke &key, uint64_t serial) override {
        if (heard.empty() || heard.back().serial != serial)
            heard.push_back({key.vk, key.down, key.ch, serial});
        if (!answering) return a11y::KeyFate::Hold;
        return key.vk == keep ? a11y::KeyFate::Drop : a11y::KeyFate::Deliver;
    }
    std::vector<Heard> heard;
    bool answering = false;
    UINT keep = 0;
};

// Every key goes to the screen reader before it becomes a message. While it
// has not answered, the key and all input after it wait (a click behind the
// key stays behind it); a key it keeps makes no message and no character.
TEST(Keyboard, AScreenReaderHearsEachKeyFirstAndMayKeepIt) {
    Fresh();
    HWND top = MakeTop();
    win32::testing::RunUntilIdle();
    FirstHearer reader;
    display::Event ch;
    ch.type = display::Event::Char;
    ch.ch = 'x';
    win32::testing::KeyDown('X');
    win32::testing::Headless().Inject(ch);
    win32::testing::KeyUp('X');
    win32::testing::Click(kClientX + 5, kClientY + 5);
    win32::testing::KeyPress('Y');
    const std::vector<UINT> input = {WM_KEYDOWN, WM_KEYUP, WM_CHAR, WM_LBUTTONDOWN, WM_LBUTTONUP};
    EXPECT_TRUE(RunAndCollect(input).empty());
    EXPECT_TRUE(RunAndCollect(input).empty());
    ASSERT_EQ(reader.heard.size(), 1u);  // asked again and again about the one key
    EXPECT_EQ(reader.heard[0].vk, static_cast<UINT>('X'));
    EXPECT_EQ(reader.heard[0].ch, 'x');

    reader.answering = true;
    reader.keep = 'X';
    auto got = RunAndCollect(input);
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0].msg, static_cast<UINT>(WM_LBUTTONDOWN));
    EXPECT_EQ(got[1].msg, static_cast<UINT>(WM_LBUTTONUP));
    EXPECT_EQ(got[2].msg, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_EQ(got[2].wp, static_cast<WPARAM>('Y'));
    EXPECT_EQ(got[3].msg, static_cast<UINT>(WM_CHAR));
    EXPECT_EQ(got[3].wp, static_cast<WPARAM>('y'));
    EXPECT_EQ(got[4].msg, static_cast<UINT>(WM_KEYUP));
    for (const Got &g : got) EXPECT_EQ(g.hwnd, top);
    ASSERT_EQ(reader.heard.size(), 4u);
    EXPECT_FALSE(reader.heard[1].down);
    EXPECT_EQ(reader.heard[1].ch, -1);
    EXPECT_EQ(reader.heard[2].vk, static_cast<UINT>('Y'));
    EXPECT_TRUE(reader.heard[2].down);
    for (size_t i = 1; i < reader.heard.size(); ++i)
        EXPECT_GT(reader.heard[i].serial, reader.heard[i - 1].serial);
}

// How keys are told to the registry: X keycodes from the scan codes (evdev
// numbering plus 8), keysyms and their names, the navigation block apart
// from the keypad, and the X modifier bits.
TEST(Keyboard, KeysAreToldToTheRegistryAsXWouldReportThem) {
    struct Case {
        UINT vk;
        bool extended;
        int ch;
        int modifiers;
        int keycode;
        int keysym;
        const char *text;
        int xState;
    };
    const Case cases[] = {
        {'O', false, 'o', 0, 32, 'o', "o", 0},
        {'O', false, 'O', display::kModShift, 32, 'O', "O", 1},
        {'A', false, 1, display::kModCtrl, 38, 'a', "a", 4},
        {'5', false, '5', 0, 14, '5', "5", 0},
        {VK_OEM_COMMA, false, -1, display::kModAlt, 59, ',', "comma", 8},
        {VK_SPACE, false, ' ', 0, 65, ' ', "space", 0},
        {VK_ESCAPE, false, 0x1B, 0, 9, 0xff1b, "Escape", 0},
        {VK_TAB, false, '\t', display::kModShift, 23, 0xfe20, "ISO_Left_Tab", 1},
        {VK_DOWN, true, -1, 0, 116, 0xff54, "Down", 0},
        {VK_UP, false, -1, 0, 80, 0xff97, "KP_Up", 0},
        {VK_HOME, false, -1, 0, 79, 0xff95, "KP_Home", 0},
        {VK_PRIOR, false, -1, 0, 81, 0xff9a, "KP_Page_Up", 0},
        {VK_RETURN, true, '\r', 0, 104, 0xff8d, "KP_Enter", 0},
        {VK_RETURN, false, '\r', 0, 36, 0xff0d, "Return", 0},
        {VK_INSERT, true, -1, 0, 118, 0xff63, "Insert", 0},
        {VK_INSERT, false, -1, 0, 90, 0xff9e, "KP_Insert", 0},
        {VK_NUMPAD8, false, '8', 0, 80, 0xffb8, "8", 0x10 | (1 << 14)},
        {VK_F12, false, -1, 0, 96, 0xffc9, "F12", 0},
        {VK_MENU, true, -1, 0, 108, 0xffea, "Alt_R", 0},
    };
    for (const Case &c : cases) {
        a11y::KeyStroke key;
        key.down = true;
        key.vk = c.vk;
        key.extended = c.extended;
        key.ch = c.ch;
        key.modifiers = c.modifiers;
        const a11y::KeyReport r = a11y::ReportOf(key);
        EXPECT_EQ(r.keycode, c.keycode) << c.text;
        EXPECT_EQ(r.keysym, c.keysym) << c.text;
        EXPECT_EQ(r.text, c.text);
        EXPECT_EQ(r.modifiers, c.xState) << c.text;
    }
}

TEST(Keyboard, KeyStateIsThatOfTheLastRetrievedMessage) {
    Fresh();
    MakeTop();
    win32::testing::RunUntilIdle();
    win32::testing::KeyDown(VK_SHIFT);
    win32::testing::KeyDown('C');
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.wParam, static_cast<WPARAM>(VK_SHIFT));
    EXPECT_TRUE(GetKeyState(VK_SHIFT) & 0x8000);
    EXPECT_FALSE(GetKeyState('C') & 0x8000);  // not retrieved yet
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_TRUE(GetKeyState('C') & 0x8000);
    win32::testing::KeyUp(VK_SHIFT);
    win32::testing::RunUntilIdle();
    EXPECT_FALSE(GetKeyState(VK_SHIFT) & 0x8000);
}

// A click on any device pixel of a logical pixel of a window reaches that
// pixel, at whole display scales and between them, and the device pixels
// around them reach the pixels around it: the window lies at the device
// edges of its client area's corner, each of its pixels at the device edges
// of its own.
TEST(Mouse, ClicksGoToTheDeepestEnabledWindowInClientCoordinates) {
    for (int scale : {120, 240, 150, 180, 210}) {
        SCOPED_TRACE(scale);
        Fresh(1024, 768, scale);
        HWND top = MakeTop();
        HWND c = MakeChild(top, 1, 10, 10, 50, 30);
        win32::testing::RunUntilIdle();
        // Device screen pixels of the top's client pixel (v, w) start here.
        auto device = [&](int origin, int v) {
            return gdi::DeviceEdge(origin, scale) + gdi::DeviceEdge(v, scale);
        };
        for (int x = device(kClientX, 15) - 1; x <= device(kClientX, 16); ++x) {
            for (int y = device(kClientY, 12) - 1; y <= device(kClientY, 13); ++y) {
                win32::testing::AdvanceClock(1000);  // no double-clicks
                win32::testing::Click(x, y);
                auto got = RunAndCollect(kButtons);
                ASSERT_EQ(got.size(), 2u);
                EXPECT_EQ(got[0].hwnd, c);
                EXPECT_EQ(got[0].msg, static_cast<UINT>(WM_LBUTTONDOWN));
                const int lx = x < device(kClientX, 15) ? 4 : x < device(kClientX, 16) ? 5 : 6;
                const int ly = y < device(kClientY, 12) ? 1 : y < device(kClientY, 13) ? 2 : 3;
                EXPECT_EQ(got[0].lp, MAKELPARAM(lx, ly)) << x << "," << y;
                EXPECT_EQ(got[0].wp, static_cast<WPARAM>(MK_LBUTTON));
                EXPECT_EQ(got[1].msg, static_cast<UINT>(WM_LBUTTONUP));
                EXPECT_EQ(got[1].wp, 0u);
            }
        }
    }
}

TEST(Mouse, DisabledChildPassesClicksToItsParentAndDisabledTopLevelGetsNothing) {
    Fresh();
    HWND top = MakeTop();
    HWND c = MakeChild(top, 1, 10, 10, 50, 30);
    HWND g = MakeChild(c, 2, 0, 0, 20, 20);
    win32::testing::RunUntilIdle();
    EnableWindow(c, FALSE);
    win32::testing::Click(kClientX + 12, kClientY + 12);  // over the grandchild
    auto got = RunAndCollect(kButtons);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].hwnd, top);
    EXPECT_EQ(got[0].lp, MAKELPARAM(12, 12));

    EnableWindow(top, FALSE);
    win32::testing::Click(kClientX + 100, kClientY + 100);
    win32::testing::KeyPress('A');
    Log().clear();
    win32::testing::RunUntilIdle();
    EXPECT_TRUE(MessagesOf(nullptr, kButtons).empty());
    EXPECT_TRUE(MessagesOf(nullptr, kKeys).empty());
    auto cursor = MessagesOf(top, {WM_SETCURSOR});
    EXPECT_EQ(cursor.size(), 1u);  // the HTERROR notice on the press
    (void)g;
}

TEST(Mouse, ClickOnADisabledOwnerBringsItsPopupForward) {
    Fresh();
    HWND owner = MakeTop("owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 400);
    HWND box = MakeTop("box", WS_POPUP | WS_CAPTION | WS_VISIBLE, 50, 50, 100, 100, owner);
    HWND other = MakeTop("other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 600, 0, 100, 100);
    EnableWindow(owner, FALSE);
    win32::testing::RunUntilIdle();
    ASSERT_EQ(GetActiveWindow(), other);
    win32::testing::Click(300, 300);
    auto got = RunAndCollect(kButtons);
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(GetActiveWindow(), box);
    display::NativeId boxNative = win32::testing::Headless().WindowAt(70, 100);
    ASSERT_NE(boxNative, 0u);
    EXPECT_EQ(win32::testing::Headless().Focused(), boxNative);

    // The window system focuses the owner (its window manager raised it on
    // a click): the box is brought back with the focus, though the layer
    // had it active all along.
    display::NativeId ownerNative = win32::testing::Headless().WindowAt(300, 300);
    win32::testing::Headless().SetInputFocus(ownerNative);
    display::Event focus;
    focus.type = display::Event::FocusIn;
    focus.window = ownerNative;
    win32::testing::Headless().Inject(focus);
    win32::testing::RunUntilIdle();
    EXPECT_EQ(GetActiveWindow(), box);
    EXPECT_EQ(win32::testing::Headless().Focused(), boxNative);
    EXPECT_EQ(win32::testing::Headless().WindowAt(70, 100), boxNative);  // on top again

    // Minimized by the window system, the box is activated by a click on
    // the owner and restored: it has the keys again.
    focus.type = display::Event::Unmap;
    focus.window = boxNative;
    win32::testing::Headless().Inject(focus);
    focus.type = display::Event::FocusOut;
    win32::testing::Headless().Inject(focus);
    auto sized = RunAndCollect({WM_SIZE});
    ASSERT_EQ(sized.size(), 1u);
    ASSERT_EQ(sized[0].wp, static_cast<WPARAM>(SIZE_MINIMIZED));
    ASSERT_EQ(GetFocus(), nullptr);
    win32::testing::Click(300, 300);
    win32::testing::RunUntilIdle();
    EXPECT_EQ(GetActiveWindow(), box);
    focus.type = display::Event::Map;
    win32::testing::Headless().Inject(focus);
    sized = RunAndCollect({WM_SIZE});
    ASSERT_EQ(sized.size(), 1u);
    EXPECT_EQ(sized[0].wp, static_cast<WPARAM>(SIZE_RESTORED));
    EXPECT_EQ(GetFocus(), box);
}

TEST(Mouse, CaptureTakesMovesAndButtonsOutsideTheWindow) {
    Fresh();
    HWND top = MakeTop();
    HWND c = MakeChild(top, 1, 10, 10, 50, 30);
    win32::testing::RunUntilIdle();
    SetCapture(c);
    win32::testing::MouseMove(kClientX + 200, kClientY + 100);
    win32::testing::MouseUp(kClientX + 200, kClientY + 100);
    auto got = RunAndCollect({WM_MOUSEMOVE, WM_LBUTTONUP});
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].hwnd, c);
    EXPECT_EQ(got[0].lp, MAKELPARAM(190, 90));
    EXPECT_EQ(got[1].hwnd, c);
}

TEST(Mouse, DoubleClicksOnlyForDblClkClassesWithinTimeAndDistance) {
    Fresh();
    HWND top = MakeTop();
    HWND plain = MakeChild(top, 1, 0, 0, 50, 50);
    HWND dbl = MakeChild(top, 2, 100, 0, 50, 50, WS_VISIBLE, true);
    win32::testing::RunUntilIdle();
    win32::testing::SetClock(10000);
    win32::testing::DoubleClick(kClientX + 10, kClientY + 10);
    auto got = RunAndCollect(kButtons);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[2].msg, static_cast<UINT>(WM_LBUTTONDOWN));  // plain class: two downs
    EXPECT_EQ(got[2].hwnd, plain);

    win32::testing::Click(kClientX + 110, kClientY + 10);
    win32::testing::AdvanceClock(499);
    win32::testing::Click(kClientX + 112, kClientY + 8);
    got = RunAndCollect(kButtons);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[2].msg, static_cast<UINT>(WM_LBUTTONDBLCLK));
    EXPECT_EQ(got[2].hwnd, dbl);

    win32::testing::Click(kClientX + 110, kClientY + 10);  // a third click starts over
    got = RunAndCollect(kButtons);
    EXPECT_EQ(got[0].msg, static_cast<UINT>(WM_LBUTTONDOWN));

    win32::testing::AdvanceClock(1000);
    win32::testing::Click(kClientX + 110, kClientY + 10);
    win32::testing::AdvanceClock(500);  // too late
    win32::testing::Click(kClientX + 110, kClientY + 10);
    got = RunAndCollect(kButtons);
    EXPECT_EQ(got[2].msg, static_cast<UINT>(WM_LBUTTONDOWN));

    win32::testing::AdvanceClock(1000);
    win32::testing::Click(kClientX + 110, kClientY + 10);
    win32::testing::Click(kClientX + 113, kClientY + 10);  // too far
    got = RunAndCollect(kButtons);
    EXPECT_EQ(got[2].msg, static_cast<UINT>(WM_LBUTTONDOWN));
}

// The wheel turns the enabled window under the pointer, focused or not (as
// current Windows does); over nothing, or over a disabled window, the focus.
TEST(Mouse, WheelGoesToTheEnabledWindowUnderThePointerElseTheFocus) {
    Fresh();
    HWND top = MakeTop();
    HWND c = MakeChild(top, 1, 0, 0, 50, 50);
    HWND under = MakeChild(top, 2, 100, 0, 50, 50);
    HWND disabled = MakeTop("disabled", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 600, 400, 200, 200);
    EnableWindow(disabled, FALSE);
    win32::testing::RunUntilIdle();
    SetFocus(c);
    struct Case {
        POINT at;
        HWND expected;
    } cases[] = {
        {{20, 20}, c},                             // over nothing
        {{kClientX + 110, kClientY + 10}, under},  // over an unfocused child
        {{700, 500}, c},                           // over a disabled window
    };
    for (const Case &k : cases) {
        win32::testing::Wheel(k.at.x, k.at.y, -120);
        auto got = RunAndCollect({WM_MOUSEWHEEL});
        ASSERT_EQ(got.size(), 2u) << k.at.x;
        EXPECT_EQ(got[0].hwnd, k.expected) << k.at.x;
        EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(got[0].wp), -120);
        EXPECT_EQ(got[0].lp, MAKELPARAM(k.at.x, k.at.y));  // screen coordinates
        EXPECT_EQ(got[1].hwnd, top);                       // DefWindowProc passes it up
    }
}

TEST(Mouse, ClickActivatesAnInactiveTopLevel) {
    Fresh();
    HWND one = MakeTop("one", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100);
    HWND two = MakeTop("two", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 500, 500, 100, 100);
    win32::testing::RunUntilIdle();
    ASSERT_EQ(GetActiveWindow(), two);
    win32::testing::Click(50, 50);
    auto got = RunAndCollect({WM_MOUSEACTIVATE, WM_LBUTTONDOWN});
    EXPECT_EQ(GetActiveWindow(), one);
    EXPECT_EQ(GetFocus(), one);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].msg, static_cast<UINT>(WM_MOUSEACTIVATE));
    EXPECT_EQ(reinterpret_cast<HWND>(got[0].wp), one);
    EXPECT_EQ(got[1].msg, static_cast<UINT>(WM_LBUTTONDOWN));
    auto act = MessagesOf(one, {WM_ACTIVATE});
    ASSERT_EQ(act.size(), 1u);
}

TEST(Close, WmCloseSysCommandAltF4AndTheWindowManagerAllDestroy) {
    for (int way = 0; way < 4; ++way) {
        Fresh();
        HWND top = MakeTop();
        win32::testing::RunUntilIdle();
        switch (way) {
            case 0:
                PostMessageA(top, WM_CLOSE, 0, 0);
                break;
            case 1:
                PostMessageA(top, WM_SYSCOMMAND, SC_CLOSE, 0);
                break;
            case 2:
                win32::testing::KeyPress(VK_F4, win32::testing::kAlt);
                break;
            case 3:
                win32::testing::CloseRequest(top);
                break;
        }
        win32::testing::RunUntilIdle();
        EXPECT_FALSE(IsWindow(top)) << "way " << way;
        if (way >= 1) {
            EXPECT_EQ(MessagesOf(nullptr, {WM_SYSCOMMAND}).size(), 1u) << "way " << way;
        }
    }
}

TEST(Close, AltF4FromAChildClosesTheTopLevel) {
    Fresh();
    HWND top = MakeTop();
    HWND c = MakeChild(top, 1, 0, 0, 10, 10);
    win32::testing::RunUntilIdle();
    SetFocus(c);
    win32::testing::KeyPress(VK_F4, win32::testing::kAlt);
    win32::testing::RunUntilIdle();
    EXPECT_FALSE(IsWindow(top));
}

TEST(Drag, CaptionPressMovesTheWindowWithThePointerUntilRelease) {
    Fresh();
    HWND top = MakeTop();  // window rect (100,100)-(400,300); caption band y 104..122
    win32::testing::RunUntilIdle();
    win32::testing::MouseDown(200, 110);
    win32::testing::MouseMove(230, 150);
    win32::testing::MouseMove(250, 170);
    win32::testing::MouseUp(250, 170);
    win32::testing::MouseMove(300, 300);  // after release: no longer follows
    win32::testing::RunUntilIdle();
    RECT r;
    GetWindowRect(top, &r);
    EXPECT_EQ(r.left, 150);
    EXPECT_EQ(r.top, 160);
    EXPECT_EQ(r.right - r.left, 300);
    EXPECT_FALSE(MessagesOf(top, {WM_NCLBUTTONDOWN}).empty());
}

TEST(Drag, ClientAreaAnsweringCaptionDragsToo) {
    Fresh();
    SetHook([](HWND, UINT m, WPARAM, LPARAM, LRESULT *r) {
        if (m != WM_NCHITTEST) return false;
        *r = HTCAPTION;
        return true;
    });
    HWND top = MakeTop("t", WS_POPUP | WS_VISIBLE, 10, 10, 100, 100);
    win32::testing::RunUntilIdle();
    win32::testing::MouseDown(50, 50);
    win32::testing::MouseMove(60, 55);
    win32::testing::MouseUp(60, 55);
    win32::testing::RunUntilIdle();
    RECT r;
    GetWindowRect(top, &r);
    EXPECT_EQ(r.left, 20);
    EXPECT_EQ(r.top, 15);
}

TEST(Regions, NoClickLandsOutsideTheWindowRegion) {
    Fresh();
    HWND below = MakeTop("below", WS_POPUP | WS_VISIBLE, 0, 0, 200, 200);
    HWND shaped = MakeTop("shaped", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
    SetWindowRgn(shaped, CreateEllipticRgn(0, 0, 100, 100), TRUE);
    win32::testing::RunUntilIdle();
    win32::testing::Click(50, 50);  // centre: inside
    win32::testing::Click(2, 2);    // corner: outside the ellipse, lands below
    auto got = RunAndCollect({WM_LBUTTONDOWN});
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].hwnd, shaped);
    EXPECT_EQ(got[1].hwnd, below);
    EXPECT_EQ(WindowFromPoint(POINT{2, 2}), below);
    EXPECT_EQ(GetActiveWindow(), below);  // the click raised it
}

}  // namespace

namespace {

display::NativeId NativeOf(HWND top) {
    RECT r;
    GetClientRect(top, &r);
    POINT p{r.right / 2, r.bottom / 2};
    ClientToScreen(top, &p);
    return win32::testing::Headless().WindowAt(p.x, p.y);
}

TEST(WindowSystem, ConfigureMovesAndSizesAndFocusEventsActivate) {
    Fresh();
    HWND one = MakeTop("one", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 200);
    HWND two = MakeTop("two", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 400, 0, 200, 200);
    win32::testing::RunUntilIdle();
    display::NativeId n1 = NativeOf(one);
    ASSERT_NE(n1, 0u);
    EXPECT_EQ(win32::testing::Headless().Title(n1), "one");

    // The new client rectangle on the screen.
    win32::testing::Headless().Inject(
        {.type = display::Event::Configure, .window = n1, .rect = {50, 60, 50 + 300, 60 + 100}});
    auto got = RunAndCollect({WM_SIZE, WM_MOVE});
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].msg, static_cast<UINT>(WM_SIZE));
    EXPECT_EQ(got[0].lp, MAKELPARAM(300, 100));
    RECT r;
    GetWindowRect(one, &r);
    EXPECT_EQ(r.left, 46);
    EXPECT_EQ(r.top, 60 - 23);
    EXPECT_EQ(r.right, 354);

    ASSERT_EQ(GetActiveWindow(), two);
    win32::testing::Headless().Inject({.type = display::Event::FocusIn, .window = n1});
    win32::testing::RunUntilIdle();
    EXPECT_EQ(GetActiveWindow(), one);
    EXPECT_EQ(GetFocus(), one);
    win32::testing::Headless().Inject({.type = display::Event::FocusOut, .window = n1});
    win32::testing::RunUntilIdle();
    EXPECT_EQ(GetActiveWindow(), nullptr);
    EXPECT_EQ(GetFocus(), nullptr);
}

TEST(WindowSystem, TitleFollowsSetWindowText) {
    Fresh();
    HWND top = MakeTop("first");
    win32::testing::RunUntilIdle();
    SetWindowTextA(top, "second");
    EXPECT_EQ(win32::testing::Headless().Title(NativeOf(top)), "second");
    EXPECT_EQ(GetWindowTextLengthA(top), 6);
}

}  // namespace

namespace {

TEST(ScrollBar, ShowingTheBarNarrowsTheClientAndClicksOnItReachTheBar) {
    Fresh();
    HWND top = MakeTop();
    HWND c = MakeChild(top, 1, 0, 0, 100, 100, WS_VISIBLE | WS_VSCROLL);
    win32::testing::RunUntilIdle();
    Log().clear();
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = 9;
    si.nPage = 10;  // everything fits: the bar goes away
    SetScrollInfo(c, SB_VERT, &si, TRUE);
    RECT cr;
    GetClientRect(c, &cr);
    EXPECT_EQ(cr.right, 100);
    si.nMax = 99;
    SetScrollInfo(c, SB_VERT, &si, TRUE);
    GetClientRect(c, &cr);
    ASSERT_EQ(cr.right, 100 - GetSystemMetrics(SM_CXVSCROLL));
    std::vector<LPARAM> sizes;
    for (const Received &r : Log())
        if (r.hwnd == c && r.msg == WM_SIZE) sizes.push_back(r.lParam);
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0], MAKELPARAM(100, 100));
    EXPECT_EQ(sizes[1], MAKELPARAM(100 - GetSystemMetrics(SM_CXVSCROLL), 100));
    POINT arrow{95, 95};  // the bottom arrow, in the child's coordinates
    ClientToScreen(c, &arrow);
    EXPECT_EQ(SendMessageA(c, WM_NCHITTEST, 0, MAKELPARAM(arrow.x, arrow.y)), HTVSCROLL);
    win32::testing::Click(arrow.x, arrow.y);
    auto got = RunAndCollect({WM_VSCROLL, WM_LBUTTONDOWN, WM_NCLBUTTONDOWN});
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0].msg, static_cast<UINT>(WM_NCLBUTTONDOWN));
    bool lineDown = false;
    for (const Got &g : got) {
        EXPECT_NE(g.msg, static_cast<UINT>(WM_LBUTTONDOWN));
        if (g.msg == WM_VSCROLL && LOWORD(g.wp) == SB_LINEDOWN) lineDown = true;
    }
    EXPECT_TRUE(lineDown);
}

}  // namespace
