// The modal message box: measuring and layout, button sets, keyboard,
// commands, closing, the owner, and what many showings leave behind.
#include <vector>

#include "platform/display/headless/headless.h"
#include "tests/unit/msgbox/harness.h"

HINSTANCE AppInstance = nullptr;

namespace {

using testsupport::BoxTest;
using testsupport::Current;

HWND ButtonWindow(int i) {
    return MsgBoxButtons[i].hwnd;
}

std::string TextOf(HWND hwnd) {
    char text[64] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

// Records what reaches the operations a derived box may replace.
class ProbeBox : public CMsgBox {
public:
    std::vector<std::pair<int, LPARAM>> otherCommands;
    std::vector<std::pair<WPARAM, LPARAM>> ncButtonDowns;
    bool makeWindow = true;
    int windowCreatedCalls = 0;

    void OnOtherCommand(int id, LPARAM lParam) override { otherCommands.push_back({id, lParam}); }
    void OnWindowCreated() override { ++windowCreatedCalls; }
    int CreateBoxWindow() override { return makeWindow ? CMsgBox::CreateBoxWindow() : 0; }
    int OnUnhandled(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message != WM_NCLBUTTONDOWN) return 0;
        ncButtonDowns.push_back({wParam, lParam});
        return 1;  // no real drag here
    }
};

class MsgBoxRun : public BoxTest {};

TEST_F(MsgBoxRun, LinesSplitAtNewlinesAndSetTheBoxHeight) {
    struct Case {
        const char *text;
        int lines;
    } cases[] = {{"", 0}, {"one\ntwo", 2}, {"one\n", 1}, {"one\n\ntwo", 3}, {"\n", 1}, {"a\nb\nc", 3}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        CMsgBox box;
        RECT window = {};
        ShowBox(box, c.text, "", MB_OK, [&] { GetWindowRect(box.hwnd, &window); });
        EXPECT_EQ(c.lines, box.lineCount);
        EXPECT_EQ(lineHeight, box.textRect.top);
        EXPECT_EQ(lineHeight * (c.lines + 1) + 8, box.textRect.bottom);
        // Centring makes the window one pixel taller than it was made.
        EXPECT_EQ(lineHeight * (c.lines + 6) + 1, window.bottom - window.top);
        EXPECT_EQ(box.textRect.right + 16 + 1, window.right - window.left);
    }
}

TEST_F(MsgBoxRun, TwoAndThreeButtonSetsHaveAMinimumWidth) {
    struct Case {
        UINT type;
        int minimumLines;  // 0: the measured width
    } cases[] = {{MB_OK, 0}, {MB_OKCANCEL, 10}, {MB_YESNO, 10}, {MB_YESNOCANCEL, 13}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.type);
        CMsgBox box;
        ShowBox(box, "a", "", c.type, nullptr);
        int measured = TextWidth("a") + 4 * maxCharWidth + 8;
        EXPECT_EQ(c.minimumLines ? c.minimumLines * lineHeight : measured, box.textRect.right);
    }
    // A wide text is not cut to the minimum.
    CMsgBox wide;
    const char *text = "A line of text that is much wider than thirteen line heights of the font";
    ShowBox(wide, text, "", MB_YESNOCANCEL, nullptr);
    EXPECT_EQ(TextWidth(text) + 4 * maxCharWidth + 8, wide.textRect.right);
}

TEST_F(MsgBoxRun, ButtonSetsByType) {
    struct Case {
        UINT type;
        std::vector<std::string> labels;
        std::vector<int> results;
        std::vector<int> offsets;  // x of each button from the client's middle
    } cases[] = {
        {0, {"&Ok"}, {IDOK}, {-30}},
        {1, {"&Ok", "&Cancel"}, {IDOK, IDCANCEL}, {-70, 10}},
        {2, {"&Ok"}, {IDOK}, {-30}},
        {3, {"&Yes", "&No", "&Cancel"}, {IDYES, IDNO, IDCANCEL}, {-100, -30, 40}},
        {4, {"&Yes", "&No"}, {IDYES, IDNO}, {-70, 10}},
        {5, {"&Ok"}, {IDOK}, {-30}},
        {0xF, {"&Ok"}, {IDOK}, {-30}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.type);
        CMsgBox box;
        ShowBox(box, "Question?", "Title", c.type, [&] {
            ASSERT_EQ(static_cast<int>(c.labels.size()), MsgBoxButtonCount);
            RECT client;
            GetClientRect(box.hwnd, &client);
            for (size_t i = 0; i < c.labels.size(); ++i) {
                HWND b = ButtonWindow(i);
                ASSERT_TRUE(IsWindow(b));
                EXPECT_EQ(box.hwnd, GetParent(b));
                EXPECT_EQ(c.labels[i], TextOf(b));
                EXPECT_EQ(c.results[i], box.buttonResults[i]);
                RECT r;
                GetWindowRect(b, &r);
                POINT p = {r.left, r.top};
                ScreenToClient(box.hwnd, &p);
                // Made from the client rectangle before centring grew it.
                EXPECT_EQ((client.right - 1) / 2 + c.offsets[i], p.x);
                EXPECT_EQ(client.bottom - 1 - 2 * lineHeight, p.y);
                EXPECT_EQ(60, r.right - r.left);
                EXPECT_EQ(30, r.bottom - r.top);
            }
            Press(VK_RETURN);
        });
        EXPECT_EQ(c.results[0], box.result);
    }
}

TEST_F(MsgBoxRun, IconOrCaptionDecidesTheTextArea) {
    const char *caption = "A caption much wider than the short message text";
    const int text = TextWidth("Hi");
    const int cap = TextWidth(caption);
    ASSERT_GT(cap, text);

    CMsgBox plain;
    ShowBox(plain, "Hi", caption, MB_OK, nullptr);
    EXPECT_EQ(nullptr, plain.icon);
    EXPECT_EQ(8, plain.textRect.left);
    EXPECT_EQ(cap, plain.widestLine);
    EXPECT_EQ(cap + 4 * maxCharWidth + 8, plain.textRect.right);

    const UINT icons[] = {MB_ICONHAND, MB_ICONQUESTION, MB_ICONEXCLAMATION, MB_ICONASTERISK};
    for (UINT flag : icons) {
        SCOPED_TRACE(flag);
        CMsgBox box;
        ShowBox(box, "Hi", caption, MB_OK | flag, nullptr);
        EXPECT_NE(nullptr, box.icon);
        EXPECT_EQ(64, box.textRect.left);
        EXPECT_EQ(text, box.widestLine);  // the caption is not measured
        EXPECT_EQ(text + 4 * maxCharWidth + 64, box.textRect.right);
    }

    // The program's own icon when no system icon is asked for.
    CMsgBox own;
    ShowBox(own, "Hi", caption, MB_OK, nullptr, 125);
    EXPECT_NE(nullptr, own.icon);
    EXPECT_EQ(64, own.textRect.left);
}

TEST_F(MsgBoxRun, PaintsTextCentredAndTheFrameOnlyWithAnIcon) {
    const COLORREF shadow = RGB(0, 128, 255);
    for (UINT flag : {0u, static_cast<UINT>(MB_ICONASTERISK)}) {
        SCOPED_TRACE(flag);
        CMsgBox box;
        ShowBox(
            box, "Centred\nText", "", MB_OK | flag,
            [&] {
                const RECT &t = box.textRect;
                Shot shot(box.hwnd);
                uint32_t want = flag ? win32::gdi::PixelFromColorref(shadow) : 0xC0C0C0;
                EXPECT_EQ(want, shot.At(t.left, t.top));
                EXPECT_EQ(want, shot.At(t.left, t.bottom));
                EXPECT_EQ(flag ? 0xFFFFFFu : 0xC0C0C0u, shot.At(t.right, t.bottom));
                EXPECT_EQ(flag ? 0xFFFFFFu : 0xC0C0C0u, shot.At(t.right, t.top));
                // Some black text pixels in the middle of the first line only.
                int width = TextWidth("Centred");
                int x0 = t.left + (t.right - t.left - width) / 2;
                int dark = 0, outside = 0;
                for (int y = t.top + 3; y < t.top + 3 + lineHeight; ++y) {
                    for (int x = t.left + 1; x < t.right; ++x) {
                        if (shot.At(x, y) == 0) {
                            if (x >= x0 && x < x0 + width) {
                                ++dark;
                            } else {
                                ++outside;
                            }
                        }
                    }
                }
                EXPECT_GT(dark, 20);
                EXPECT_EQ(0, outside);
            },
            0, shadow);
    }
}

TEST_F(MsgBoxRun, TabAndArrowsMoveTheFocusAround) {
    CMsgBox box;
    ShowBox(box, "Save?", "", MB_YESNOCANCEL, [&] {
        EXPECT_EQ(ButtonWindow(0), GetFocus());
        Press(VK_TAB);
        EXPECT_EQ(ButtonWindow(1), GetFocus());
        Press(VK_RIGHT);
        EXPECT_EQ(ButtonWindow(2), GetFocus());
        Press(VK_TAB);  // wraps to the first
        EXPECT_EQ(ButtonWindow(0), GetFocus());
        Press(VK_LEFT);  // wraps to the last
        EXPECT_EQ(ButtonWindow(2), GetFocus());
        Press(VK_LEFT);
        EXPECT_EQ(ButtonWindow(1), GetFocus());
        Press(VK_TAB, win32::testing::kShift);  // Shift is not looked at
        EXPECT_EQ(ButtonWindow(2), GetFocus());
        EXPECT_EQ(2, MsgBoxFocusIndex);
        EXPECT_TRUE(IsWindow(box.hwnd));
        Press(VK_RETURN);
    });
    EXPECT_EQ(IDCANCEL, box.result);
}

TEST_F(MsgBoxRun, MnemonicsWorkWhateverTheFocus) {
    struct Case {
        UINT type;
        UINT key;
        unsigned mods;
        int result;
    } cases[] = {
        {MB_YESNO | MB_DEFBUTTON2, 'Y', 0, IDYES},
        {MB_YESNO, 'N', 0, IDNO},
        {MB_YESNO, 'N', win32::testing::kShift, IDNO},
        {MB_OKCANCEL, 'C', 0, IDCANCEL},
        {MB_OKCANCEL | MB_DEFBUTTON2, 'O', 0, IDOK},
        {MB_YESNOCANCEL, 'C', 0, IDCANCEL},
        {MB_OK, 'O', 0, IDOK},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.key);
        CMsgBox box;
        ShowBox(box, "Go on?", "", c.type, [&] { Press(c.key, c.mods); });
        EXPECT_EQ(c.result, box.result);
    }
}

TEST_F(MsgBoxRun, ALetterThatIsNoMnemonicDoesNothing) {
    CMsgBox box;
    bool stillOpen = false;
    ShowBox(box, "Go on?", "", MB_YESNO, [&] {
        Press('Q');
        Press(VK_ESCAPE);
        stillOpen = IsWindow(box.hwnd) && box.running && box.result == 0;
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(0, box.result);  // closed by the script afterwards
}

TEST_F(MsgBoxRun, DefaultButtonFlagsPickTheFirstFocus) {
    struct Case {
        UINT type;
        int focus;
        int enterResult;
    } cases[] = {
        {MB_YESNO, 0, IDYES},
        {MB_YESNO | MB_DEFBUTTON2, 1, IDNO},
        {MB_YESNOCANCEL | MB_DEFBUTTON3, 2, IDCANCEL},
        {MB_YESNOCANCEL | MB_DEFBUTTON2, 1, IDNO},
        {MB_OKCANCEL | 0x300, 0, IDOK},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.type);
        CMsgBox box;
        ShowBox(box, "?", "", c.type, [&] {
            EXPECT_EQ(c.focus, MsgBoxFocusIndex);
            EXPECT_EQ(ButtonWindow(c.focus), GetFocus());
            Press(VK_RETURN);
        });
        EXPECT_EQ(c.enterResult, box.result);
    }
}

TEST_F(MsgBoxRun, SpaceAndClicksEndTheBoxThroughTheButtonsOwnBehaviour) {
    CMsgBox box;
    ShowBox(box, "?", "", MB_YESNO, [&] { Press(VK_SPACE); });
    EXPECT_EQ(IDYES, box.result);

    CMsgBox clicked;
    ShowBox(clicked, "?", "", MB_YESNO, [&] {
        RECT r;
        GetWindowRect(ButtonWindow(1), &r);
        win32::testing::Click(r.left + 30, r.top + 15);
        win32::testing::RunUntilIdle();
    });
    EXPECT_EQ(IDNO, clicked.result);
}

TEST_F(MsgBoxRun, CommandsWithANotificationCodeAreIgnored) {
    ProbeBox box;
    bool stillOpen = false;
    ShowBox(box, "?", "", MB_OKCANCEL, [&] {
        SendMessageA(box.hwnd, WM_COMMAND, MAKEWPARAM(MsgBoxButtons[0].controlId, 1), 0);
        SendMessageA(box.hwnd, WM_COMMAND, MAKEWPARAM(4242, 5), 0);
        win32::testing::RunUntilIdle();
        stillOpen = IsWindow(box.hwnd) && box.result == 0;
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(box.otherCommands.empty());
}

TEST_F(MsgBoxRun, ForeignCommandsGoToOnOtherCommand) {
    ProbeBox box;
    bool stillOpen = false;
    ShowBox(box, "?", "", MB_OK, [&] {
        SendMessageA(box.hwnd, WM_COMMAND, MAKEWPARAM(4242, 0), 77);
        win32::testing::RunUntilIdle();
        stillOpen = IsWindow(box.hwnd) && box.result == 0;
    });
    ASSERT_EQ(1u, box.otherCommands.size());
    EXPECT_EQ(4242, box.otherCommands[0].first);
    EXPECT_EQ(77, box.otherCommands[0].second);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(1, box.windowCreatedCalls);

    // A plain box ignores them.
    CMsgBox plain;
    ShowBox(plain, "?", "", MB_OK, [&] {
        SendMessageA(plain.hwnd, WM_COMMAND, MAKEWPARAM(4242, 0), 77);
        win32::testing::RunUntilIdle();
        stillOpen = IsWindow(plain.hwnd);
    });
    EXPECT_TRUE(stillOpen);
}

TEST_F(MsgBoxRun, OwnerIsDisabledWhileOpenAndEnabledAfter) {
    CMsgBox box;
    HWND window = nullptr;
    bool ownerEnabledInside = true;
    int result = ShowBox(box, "?", "Title", MB_OK, [&] {
        window = box.hwnd;
        ownerEnabledInside = IsWindowEnabled(owner);
        EXPECT_EQ(owner, GetParent(box.hwnd));
        EXPECT_EQ(owner, GetWindow(box.hwnd, GW_OWNER));
        EXPECT_EQ("Title", TextOf(box.hwnd));
        Press('O');
    });
    EXPECT_EQ(IDOK, result);
    EXPECT_FALSE(ownerEnabledInside);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(1, Current().disables);
    EXPECT_EQ(1, Current().enables);
    EXPECT_EQ(nullptr, box.hwnd);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, box.messageText);
}

TEST_F(MsgBoxRun, TheBoxIsCentredOverItsOwner) {
    CMsgBox box;
    RECT ownerRect, boxRect;
    ShowBox(box, "Centre me", "", MB_OK, [&] {
        GetWindowRect(owner, &ownerRect);
        GetWindowRect(box.hwnd, &boxRect);
    });
    int w = boxRect.right - boxRect.left, h = boxRect.bottom - boxRect.top;
    EXPECT_EQ(ownerRect.left + (ownerRect.right - ownerRect.left + 1) / 2 - w / 2, boxRect.left);
    EXPECT_EQ(ownerRect.top + (ownerRect.bottom - ownerRect.top + 1) / 2 - h / 2, boxRect.top);
}

TEST_F(MsgBoxRun, ASecondShowMakesANewWindowAndNewButtonIds) {
    CMsgBox box;
    std::vector<int> first, second;
    HWND firstWindow = nullptr;
    ShowBox(box, "?", "", MB_YESNOCANCEL, [&] {
        firstWindow = box.hwnd;
        for (int i = 0; i < 3; ++i) first.push_back(MsgBoxButtons[i].controlId);
        Press('Y');
    });
    ShowBox(box, "?", "", MB_YESNOCANCEL, [&] {
        EXPECT_NE(firstWindow, box.hwnd);
        for (int i = 0; i < 3; ++i) second.push_back(MsgBoxButtons[i].controlId);
        Press('N');
    });
    EXPECT_EQ(IDNO, box.result);
    for (int i = 0; i < 3; ++i) EXPECT_GT(second[i], first[2]);
}

TEST_F(MsgBoxRun, APressOnTheBodyStartsACaptionDrag) {
    ProbeBox box;
    ShowBox(box, "Drag me", "", MB_OK, [&] {
        POINT p = ScreenOf(box.hwnd, 4, 4);
        win32::testing::MouseDown(p.x, p.y);
        win32::testing::MouseUp(p.x, p.y);
        win32::testing::RunUntilIdle();
    });
    ASSERT_EQ(1u, box.ncButtonDowns.size());
    EXPECT_EQ(static_cast<WPARAM>(HTCAPTION), box.ncButtonDowns[0].first);
    EXPECT_EQ(0x00050005, box.ncButtonDowns[0].second);
}

TEST_F(MsgBoxRun, DraggingTheBodyMovesTheBox) {
    CMsgBox box;
    RECT before = {}, after = {};
    ShowBox(box, "Drag me", "", MB_OK, [&] {
        GetWindowRect(box.hwnd, &before);
        POINT p = ScreenOf(box.hwnd, 6, 6);
        win32::testing::DragBy(p.x, p.y, 30, 20);
        GetWindowRect(box.hwnd, &after);
    });
    // The move starts where the pointer is, not at the made-up point the
    // box sends with WM_NCLBUTTONDOWN, so the box moves exactly as far as
    // the pointer did.
    EXPECT_EQ(before.left + 30, after.left);
    EXPECT_EQ(before.top + 20, after.top);
}

// ---- sound behaviour where the box could otherwise hang or leak ----------

TEST_F(MsgBoxRun, NoWindowMeansNoLoopAndNothingHeld) {
    ProbeBox box;
    box.makeWindow = false;
    size_t dcs = win32::testing::LiveDcs();
    int result = ShowBox(box, "text", "", MB_OK, nullptr);
    EXPECT_EQ(0, result);
    EXPECT_FALSE(Current().ran);
    EXPECT_EQ(0, box.running);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(0, Current().disables);
    EXPECT_EQ(nullptr, box.messageText);
    EXPECT_EQ(dcs, win32::testing::LiveDcs());
}

TEST_F(MsgBoxRun, ACloseFromElsewhereEndsTheBoxWithZero) {
    struct Case {
        const char *name;
        std::function<void(CMsgBox &)> close;
    } cases[] = {
        {"WM_CLOSE", [](CMsgBox &b) { PostMessageA(b.hwnd, WM_CLOSE, 0, 0); }},
        {"SC_CLOSE", [](CMsgBox &b) { SendMessageA(b.hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"window manager", [](CMsgBox &b) { win32::testing::CloseRequest(b.hwnd); }},
        {"Alt+F4", [](CMsgBox &) { win32::testing::KeyPress(VK_F4, win32::testing::kAlt); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CMsgBox box;
        Current().closeAfter = false;
        int result = ShowBox(box, "?", "", MB_OKCANCEL, [&] { c.close(box); });
        EXPECT_EQ(0, result);
        EXPECT_EQ(nullptr, box.hwnd);
        EXPECT_TRUE(IsWindowEnabled(owner));
        EXPECT_EQ(nullptr, box.messageText);
    }
}

TEST_F(MsgBoxRun, AQuitRequestEndsTheBoxAndStaysQueued) {
    CMsgBox box;
    Current().closeAfter = false;
    int result = ShowBox(box, "?", "", MB_OK, [&] { PostQuitMessage(5); });
    EXPECT_EQ(0, result);
    EXPECT_EQ(nullptr, box.hwnd);
    EXPECT_TRUE(IsWindowEnabled(owner));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
    EXPECT_EQ(5u, msg.wParam);
}

TEST_F(MsgBoxRun, AnOpenBoxWaitsForInputInsteadOfSpinning) {
    // The screen calls the idle handler only when the queue has nothing and
    // the loop asks to sleep; a loop that spins would never get here and
    // the box would never end (the watchdog then fails the test).
    int idle = 0;
    win32::testing::Headless().SetIdleHandler([&] {
        if (++idle == 1) win32::testing::KeyPress(VK_RETURN);
    });
    CMsgBox box;
    Current().closeAfter = false;
    alarm(20);
    int result = ShowBox(box, "Waiting", "", MB_OK, nullptr);
    win32::testing::Headless().SetIdleHandler(nullptr);
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(1, idle);
}

TEST_F(MsgBoxRun, ManyShowingsLeaveNothingBehind) {
    CMsgBox box;
    ShowBox(box, "warm\nup", "", MB_YESNOCANCEL | MB_ICONQUESTION, [] { Press(VK_RETURN); });
    size_t objects = win32::testing::LiveGdiObjects();
    size_t dcs = win32::testing::LiveDcs();
    size_t windows = win32::testing::LiveWindowCount();
    int ended = 0;
    for (int i = 0; i < 1000; ++i) {
        UINT type = (i % 5) | ((i % 5) << 4);
        ended += ShowBox(box, "Many\nshowings", "caption", type, [] { Press(VK_RETURN); }) != 0;
    }
    EXPECT_EQ(1000, ended);
    EXPECT_EQ(objects, win32::testing::LiveGdiObjects());
    EXPECT_EQ(dcs, win32::testing::LiveDcs());
    EXPECT_EQ(windows, win32::testing::LiveWindowCount());
}

}  // namespace
