// The main window run through WinMain on the headless screen: its size and
// place, the list under the header band, the band's pixels, and every way
// out.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/mainwnd.h"
#include "app/res/resource.h"
#include "platform/a11y/tree.h"
#include "platform/display/headless/headless.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/gdi/testing.h"
#include "platform/kernel/module.h"
#include "platform/testing.h"
#include "survey/drive_table.h"
#include "tests/support/rect.h"

using namespace win32;

namespace {

constexpr COLORREF kNavy = RGB(0, 0, 128);
constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr int kItemHeight = 16;
constexpr int kFrameAndCaption = 2 * 4 + 19;

int FixedFontLineHeight() {
    TEXTMETRICA tm{};
    gdi::StockFontMetrics(SYSTEM_FIXED_FONT, &tm);
    return tm.tmHeight + tm.tmExternalLeading;
}

class MainWindowRun : public ::testing::Test {
protected:
    void SetUp() override {
        Screen(1024, 768);
        DriveTable = DriveTableData{};
        Drives(3);
    }
    void TearDown() override {
        screen->SetIdleHandler(nullptr);
        if (IsWindow(MainWindow)) DestroyWindow(MainWindow);
        MSG m;
        while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) {
        }
        UnregisterClassA("Morvalen", win32::MainModule());
        MainWindow = NULL;
        DriveList = NULL;
        win32::testing::ResetKernel();
    }

    // A fresh screen whose idle waits run the test's next step. When the
    // steps have all run and the program waits again, the run is stopped
    // with a quit code of 99.
    void Screen(int w, int h, int scale = gdi::kScaleOne) {
        win32::testing::UseHeadless(w, h, scale);
        win32::testing::SetClock(1000);
        screen = &win32::testing::Headless();
        screen->SetIdleHandler([this] {
            if (steps.empty()) {
                ranOutOfSteps = true;
                PostQuitMessage(99);
                return;
            }
            auto step = std::move(steps.front());
            steps.pop_front();
            step();
        });
    }

    // `n` fixed drives C: onwards, 10,000 MB each with 2,500 MB free.
    void Drives(int n) {
        std::vector<win32::testing::FakeDrive> drives;
        for (int i = 0; i < n; ++i) {
            win32::testing::FakeDrive d;
            d.letter = static_cast<char>('C' + i);
            d.type = DRIVE_FIXED;
            d.mountPoint = std::string("/fake/") + d.letter;
            drives.push_back(d);
        }
        win32::testing::SetFakeDrives(drives);
        win32::testing::SetSpaceQuery([](const std::string &) {
            win32::testing::FakeSpace s;
            s.fragmentSize = 1 << 20;
            s.blocks = 10000;
            s.freeBlocks = 2500;
            s.availBlocks = 2500;
            return s;
        });
    }

    int Run() {
        int code = WinMain(win32::MainModule(), NULL, const_cast<LPSTR>(""), SW_SHOWDEFAULT);
        EXPECT_FALSE(ranOutOfSteps) << "the program kept waiting after the last step";
        EXPECT_TRUE(steps.empty()) << "the program ended before " << steps.size() << " step(s)";
        return code;
    }
    void Then(std::function<void()> step) { steps.push_back(std::move(step)); }

    // The native window of the main window and a screen point of its client area.
    display::NativeId MainNative() {
        for (auto &[id, n] : screen->Windows())
            if (n.title == "Morvalen") return id;
        return 0;
    }
    POINT ClientToScreenPoint(HWND hwnd, int x, int y) {
        POINT p{x, y};
        ClientToScreen(hwnd, &p);
        return p;
    }
    void AltX() { win32::testing::KeyPress('X', win32::testing::kAlt); }
    // The list's rectangle in the main window's client coordinates.
    RECT ListRect() {
        RECT r{};
        GetWindowRect(DriveList, &r);
        POINT tl{r.left, r.top}, br{r.right, r.bottom};
        ScreenToClient(MainWindow, &tl);
        ScreenToClient(MainWindow, &br);
        return RECT{tl.x, tl.y, br.x, br.y};
    }

    display::HeadlessBackend *screen = nullptr;
    std::deque<std::function<void()>> steps;
    bool ranOutOfSteps = false;
};

// Width 541 after centring, height = items + frame + caption + band (+1),
// centred in the full-screen client area, the list right under the band.
TEST_F(MainWindowRun, SizeAndPlaceAfterStartUp) {
    const int band = FixedFontLineHeight();
    const int height = 4 * kItemHeight + kFrameAndCaption + band + 1;
    Then([&] {
        EXPECT_EQ(HeaderHeight, band);
        EXPECT_EQ(ListItemCount, 4);
        RECT r{};
        GetWindowRect(MainWindow, &r);
        EXPECT_EQ(r.right - r.left, 541);
        EXPECT_EQ(r.bottom - r.top, height);
        EXPECT_EQ(r.left, 242);              // 512 - 270
        EXPECT_EQ(r.top, 375 - height / 2);  // full-screen client area 1024 x 749
        RECT client{};
        GetClientRect(MainWindow, &client);
        RECT list = ListRect();
        EXPECT_EQ(list, (RECT{0, band, client.right, client.bottom}));
        EXPECT_EQ(GetDlgItem(MainWindow, IDC_DRIVELIST), DriveList);
        EXPECT_TRUE(IsWindowVisible(MainWindow));
        PostMessageA(MainWindow, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(Run(), 0);
}

TEST_F(MainWindowRun, NoDrivesLeavesTheTotalsRowAlone) {
    Drives(0);
    Then([&] {
        EXPECT_EQ(ListItemCount, 1);
        RECT r{};
        GetWindowRect(MainWindow, &r);
        EXPECT_EQ(r.bottom - r.top, kItemHeight + kFrameAndCaption + FixedFontLineHeight() + 1);
        PostMessageA(MainWindow, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(Run(), 0);
}

// More rows than the screen holds: the height stops at the screen's, and the
// window, taller than the full-screen client area, goes to the top. A
// screen reader reads every row with the text the program draws into it,
// rows never shown included (drawn off-screen, nothing leaked), the
// warnings where drawn.
TEST_F(MainWindowRun, HeightCappedAtTheScreen) {
    Screen(1024, 300);
    Drives(24);
    win32::testing::SetSpaceQuery([](const std::string &mount) {
        win32::testing::FakeSpace s;
        s.fragmentSize = 1 << 20;
        s.blocks = 10000;
        s.freeBlocks = s.availBlocks = mount == "/fake/Z" ? 0 : mount == "/fake/Y" ? 500 : 2500;
        return s;
    });
    Then([&] {
        EXPECT_EQ(ListItemCount, 25);
        RECT r{};
        GetWindowRect(MainWindow, &r);
        EXPECT_EQ(r.bottom - r.top, 301);
        EXPECT_EQ(r.top, 0);
        EXPECT_EQ(r.left, 242);

        a11y::Host &host = a11y::SharedHost();
        host.SetRecording(true);
        UpdateWindow(MainWindow);
        UpdateWindow(DriveList);
        const size_t objects = win32::testing::LiveGdiObjects(), dcs = win32::testing::LiveDcs();
        const a11y::Node list = a11y::WindowNode(DriveList);
        const std::vector<a11y::Node> rows = host.Children(list);
        ASSERT_EQ(rows.size(), 25u);
        for (int i = 0; i < 25; ++i) {
            a11y::NodeInfo info;
            ASSERT_TRUE(host.Describe(rows[static_cast<size_t>(i)], &info));
            std::string want = std::string(1, static_cast<char>('C' + i)) + ":, 10,000 MB, 2,500 MB";
            if (i == 22) want = "Y:, Almost full, 10,000 MB, 500 MB";
            if (i == 23) want = "Z:, FULL, 10,000 MB, 0 MB";
            if (i == 24) want = "Totals for hard drives:, 240,000 MB, 55,500 MB";
            EXPECT_EQ(info.name, want) << "row " << i;
            EXPECT_EQ(info.role, a11y::Role::ListItem);
        }
        EXPECT_EQ(win32::testing::LiveGdiObjects(), objects);
        EXPECT_EQ(win32::testing::LiveDcs(), dcs);
        // The list is named by the header above it, which labels it.
        a11y::NodeInfo info;
        ASSERT_TRUE(host.Describe(list, &info));
        EXPECT_EQ(info.name, "Drive, 0%, 50%, 100%, Size, Free");
        const std::vector<a11y::Node> labels = host.LabelledBy(list);
        ASSERT_EQ(labels.size(), 1u);
        a11y::NodeInfo header;
        ASSERT_TRUE(host.Describe(labels[0], &header));
        EXPECT_EQ(header.role, a11y::Role::Label);
        EXPECT_EQ(header.name, info.name);
        EXPECT_EQ(host.LabelFor(labels[0]), std::vector<a11y::Node>{list});
        host.SetRecording(false);
        PostMessageA(MainWindow, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(Run(), 0);
}

// A computed height equal to the screen's is kept as it is.
TEST_F(MainWindowRun, HeightEqualToTheScreen) {
    const int height = 4 * kItemHeight + kFrameAndCaption + FixedFontLineHeight();
    Screen(1024, height);
    Then([&] {
        RECT r{};
        GetWindowRect(MainWindow, &r);
        EXPECT_EQ(r.bottom - r.top, height + 1);
        EXPECT_EQ(r.top, 0);
        PostMessageA(MainWindow, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(Run(), 0);
}

// Resizing keeps the list under the band across the whole client area; a
// client area lower than the band (minimised: 0 x 0) gives it zero height.
TEST_F(MainWindowRun, ListFollowsResizing) {
    Then([&] {
        MoveWindow(MainWindow, 20, 30, 700, 400, TRUE);
        RECT client{};
        GetClientRect(MainWindow, &client);
        RECT list = ListRect();
        EXPECT_EQ(list, (RECT{0, HeaderHeight, client.right, client.bottom}));

        EXPECT_EQ(SendMessageA(MainWindow, WM_SIZE, SIZE_MINIMIZED, 0), 0);
        list = ListRect();
        EXPECT_EQ(list.top, HeaderHeight);
        EXPECT_EQ(list.right - list.left, 0);
        EXPECT_EQ(list.bottom - list.top, 0);

        SendMessageA(MainWindow, WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, HeaderHeight - 1));
        list = ListRect();
        EXPECT_EQ(list.right - list.left, 300);
        EXPECT_EQ(list.bottom - list.top, 0);
        PostMessageA(MainWindow, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(Run(), 0);
}

// The band on screen: navy across the client width, the header text in
// yellow from (0, 0); the list starts right below it.
TEST_F(MainWindowRun, HeaderBandPixels) {
    Then([&] {
        display::NativeId id = MainNative();
        ASSERT_NE(id, 0u);
        const gdi::Surface &shown = screen->Windows().at(id).pixels;
        RECT client{};
        GetClientRect(MainWindow, &client);
        ASSERT_EQ(shown.width, client.right);
        ASSERT_GT(shown.height, HeaderHeight);

        gdi::Surface ref;
        ref.Resize(shown.width, shown.height, 0);
        RECT all = {0, 0, shown.width, shown.height};
        HDC dc = gdi::CreateSurfaceDC(&ref, POINT{0, 0}, gdi::Region(all), NULL);
        HBRUSH navy = CreateSolidBrush(kNavy);
        RECT band = {0, 0, shown.width, HeaderHeight};
        FillRect(dc, &band, navy);
        DeleteObject(navy);
        SelectObject(dc, GetStockObject(SYSTEM_FIXED_FONT));
        SetTextColor(dc, kYellow);
        SetBkColor(dc, kNavy);
        TextOutA(dc, 0, 0, "Drive  0%             50%             100%    Size         Free", 63);
        gdi::DeleteSurfaceDC(dc);

        int differing = 0, yellow = 0;
        for (int y = 0; y < HeaderHeight; ++y)
            for (int x = 0; x < shown.width; ++x) {
                if (shown.Row(y)[x] != ref.Row(y)[x]) ++differing;
                if (shown.Row(y)[x] == gdi::PixelFromColorref(kYellow)) ++yellow;
            }
        EXPECT_EQ(differing, 0);
        EXPECT_GT(yellow, 100);
        // The words start at x = 0, 56, 176, 304, 368 and 472: nothing yellow
        // in the gaps just before them.
        for (int gapEnd : {56, 176, 304, 368, 472})
            for (int y = 0; y < HeaderHeight; ++y)
                EXPECT_NE(shown.Row(y)[gapEnd - 1], gdi::PixelFromColorref(kYellow)) << gapEnd;
        // Just below the band: the list (its first row's bar, or beige).
        EXPECT_NE(gdi::ColorrefFromPixel(shown.Row(HeaderHeight)[500]), kNavy);
        // Row 0's bar is drawn: grey or cyan inside the frame, black outline.
        EXPECT_EQ(gdi::ColorrefFromPixel(shown.Row(HeaderHeight + 3)[60]), RGB(0, 0, 0));
        EXPECT_EQ(gdi::ColorrefFromPixel(shown.Row(HeaderHeight + 3)[300]), RGB(192, 192, 192));
        EXPECT_EQ(gdi::ColorrefFromPixel(shown.Row(HeaderHeight + 3)[100]), RGB(0, 255, 255));
        PostMessageA(MainWindow, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(Run(), 0);
}

// At any display scale the program's window and every metric stay as at 1x
// while the surface shown holds the device pixels of its client area, drawn
// at that resolution: the band is the device rows above the list's top edge,
// with a crisp edge; the header's glyphs are pure yellow on navy with their
// ink inside their 8-pixel cells' device pixels; the bar frame's outline
// columns are one device width, against the interior; and what a screen
// reader is told of the rows' places is in device pixels.
TEST_F(MainWindowRun, DrawnAtAnyScale) {
    const char header[] = "Drive  0%             50%             100%    Size         Free";
    for (int n : {240, 150, 180, 210}) {
        SCOPED_TRACE(n);
        UnregisterClassA("Morvalen", win32::MainModule());  // from the run before
        DriveTable = DriveTableData{};
        Screen(1024, 768, n);
        auto d = [n](int v) { return gdi::DeviceEdge(v, n); };
        const int w = gdi::PenDeviceWidth(1, n);
        Then([&] {
            RECT r{};
            GetWindowRect(MainWindow, &r);
            EXPECT_EQ(r.right - r.left, 541);
            display::NativeId id = MainNative();
            ASSERT_NE(id, 0u);
            const gdi::Surface &shown = screen->Windows().at(id).pixels;
            RECT client{};
            GetClientRect(MainWindow, &client);
            ASSERT_EQ(shown.width, d(client.right));
            ASSERT_EQ(shown.height, d(client.bottom));

            const uint32_t navy = gdi::PixelFromColorref(kNavy), yellow = gdi::PixelFromColorref(kYellow);
            int strays = 0, outside = 0;
            std::vector<int> inkPerCell(sizeof header - 1, 0);
            for (int y = 0; y < d(HeaderHeight); ++y)
                for (int x = 0; x < shown.width; ++x) {
                    const uint32_t p = shown.Row(y)[x];
                    if (p != navy && p != yellow) ++strays;
                    if (p != yellow) continue;
                    const size_t cell = static_cast<size_t>(gdi::LogicalPixel(x, n) / 8);
                    if (cell >= inkPerCell.size() || header[cell] == ' ')
                        ++outside;
                    else
                        ++inkPerCell[cell];
                }
            EXPECT_EQ(strays, 0) << "colours other than navy and yellow in the band";
            EXPECT_EQ(outside, 0) << "ink outside the cells of the header's characters";
            for (size_t i = 0; i < inkPerCell.size(); ++i) {
                if (header[i] == ' ') continue;
                EXPECT_GT(inkPerCell[i], 2 * n / 60) << "character " << i;
            }
            for (int x = 0; x < shown.width; ++x)
                ASSERT_NE(shown.Row(d(HeaderHeight))[x], navy) << "the band reaches below its edge at " << x;

            // Row 0's bar, below the band: the outline columns against the
            // interior, beige outside them.
            const int y = d(HeaderHeight + 3);
            auto at = [&](int x) { return gdi::ColorrefFromPixel(shown.Row(y)[x]); };
            for (int x : {d(61) - w, d(61) - 1, d(319), d(319) + w - 1}) EXPECT_EQ(at(x), RGB(0, 0, 0)) << x;
            for (int x : {d(61) - w - 1, d(61), d(319) - 1, d(319) + w}) EXPECT_NE(at(x), RGB(0, 0, 0)) << x;

            // What a screen reader is told of the rows' places is in device pixels.
            a11y::NodeInfo row;
            ASSERT_TRUE(
                a11y::SharedHost().Describe(a11y::Node{a11y::WindowNode(DriveList).window, 1, -1}, &row));
            const POINT a = win32::testing::DevicePoint(DriveList, 0, kItemHeight);
            const POINT z = win32::testing::DevicePoint(DriveList, 0, 2 * kItemHeight);
            EXPECT_EQ(row.extents.x, a.x);
            EXPECT_EQ(row.extents.y, a.y);
            EXPECT_EQ(row.extents.height, z.y - a.y);
            POINT origin{0, 0};
            ClientToScreen(MainWindow, &origin);
            EXPECT_EQ(a.y, d(origin.y) + d(HeaderHeight + kItemHeight));
            PostMessageA(MainWindow, WM_CLOSE, 0, 0);
        });
        EXPECT_EQ(Run(), 0);
    }
}

// A window the window system moves to a screen of another scale while the
// program runs keeps its logical place and size; its surface is made anew
// at the new device size and drawn all over again, as if the program had
// started at that scale.
TEST_F(MainWindowRun, DrawnAnewWhenItsScaleChanges) {
    auto shownPixels = [&] { return screen->Windows().at(MainNative()).pixels; };
    gdi::Surface fresh;
    Screen(1024, 768, 180);
    Then([&] {
        fresh = shownPixels();
        PostMessageA(MainWindow, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(Run(), 0);

    UnregisterClassA("Morvalen", win32::MainModule());
    DriveTable = DriveTableData{};
    Screen(1024, 768, 120);
    RECT before{};
    Then([&] {
        GetWindowRect(MainWindow, &before);
        screen->SetWindowScale(MainNative(), 180);
    });
    Then([&] {
        RECT after{};
        GetWindowRect(MainWindow, &after);
        EXPECT_EQ(after, before);
        const gdi::Surface rescaled = shownPixels();
        ASSERT_EQ(rescaled.width, fresh.width);
        ASSERT_EQ(rescaled.height, fresh.height);
        EXPECT_EQ(rescaled.pixels, fresh.pixels);
        PostMessageA(MainWindow, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(Run(), 0);
}

// Esc quits on its release, not its press, and leaves the window in place.
TEST_F(MainWindowRun, EscapeActsOnKeyUp) {
    Then([&] {
        EXPECT_EQ(GetFocus(), MainWindow);
        win32::testing::KeyDown(VK_ESCAPE);
    });
    Then([&] {
        // Reaching this step means the press did not end the loop.
        EXPECT_TRUE(IsWindow(MainWindow));
        win32::testing::KeyUp(VK_ESCAPE);
    });
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(IsWindow(MainWindow));
}

// After a click in the list the list has the focus and Esc does nothing;
// Alt+X still closes the window, translated before dispatching.
TEST_F(MainWindowRun, EscapeIgnoredWhileTheListHasTheFocus) {
    Then([&] {
        POINT p = ClientToScreenPoint(MainWindow, 100, HeaderHeight + 5);
        win32::testing::Click(p.x, p.y);
    });
    Then([&] {
        EXPECT_EQ(GetFocus(), DriveList);
        win32::testing::KeyPress(VK_ESCAPE);
    });
    Then([&] {
        EXPECT_TRUE(IsWindow(MainWindow));
        AltX();
    });
    EXPECT_EQ(Run(), 0);
    EXPECT_FALSE(IsWindow(MainWindow));
}

TEST_F(MainWindowRun, AltXClosesTheWindow) {
    Then([&] { AltX(); });
    EXPECT_EQ(Run(), 0);
    EXPECT_FALSE(IsWindow(MainWindow));
}

// The window manager's close button arrives as SC_CLOSE.
TEST_F(MainWindowRun, CloseRequestFromTheWindowManager) {
    Then([&] { win32::testing::CloseRequest(MainWindow); });
    EXPECT_EQ(Run(), 0);
    EXPECT_FALSE(IsWindow(MainWindow));
}

TEST_F(MainWindowRun, SystemCloseCommand) {
    Then([&] { PostMessageA(MainWindow, WM_SYSCOMMAND, SC_CLOSE, 0); });
    EXPECT_EQ(Run(), 0);
    EXPECT_FALSE(IsWindow(MainWindow));
}

// Commands: only the low word is compared for the exit command, which posts
// the close instead of closing at once; other commands do nothing.
TEST_F(MainWindowRun, Commands) {
    Then([&] {
        EXPECT_EQ(
            SendMessageA(MainWindow, WM_COMMAND, MAKEWPARAM(IDC_DRIVELIST, LBN_SELCHANGE), (LPARAM)DriveList),
            0);
        EXPECT_EQ(SendMessageA(MainWindow, WM_COMMAND, MAKEWPARAM(1234, 0), 0), 0);
        EXPECT_EQ(SendMessageA(MainWindow, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 7), 0), 0);
        EXPECT_TRUE(IsWindow(MainWindow));
    });
    EXPECT_EQ(Run(), 0);
    EXPECT_FALSE(IsWindow(MainWindow));
}

// A single click selects nothing visible and opens nothing; a double-click
// on any row, the totals row too, opens the about box over the main window,
// which is disabled until the box is closed with its O key.
TEST_F(MainWindowRun, DoubleClickOpensTheAboutBox) {
    auto rowPoint = [&](int row) {
        return ClientToScreenPoint(MainWindow, 150, HeaderHeight + row * kItemHeight + kItemHeight / 2);
    };
    Then([&] {
        POINT p = rowPoint(1);
        win32::testing::Click(p.x, p.y);
    });
    Then([&] {
        EXPECT_EQ(screen->WindowCount(), 1u);
        win32::testing::AdvanceClock(2000);
        POINT p = rowPoint(3);  // the totals row
        win32::testing::Click(p.x, p.y);
        win32::testing::Click(p.x, p.y);
    });
    Then([&] {
        ASSERT_EQ(screen->WindowCount(), 2u);
        display::NativeId main = MainNative();
        bool owned = false;
        for (auto &[id, n] : screen->Windows()) {
            if (id == main) continue;
            owned = n.owner == main && n.shown;
            // Window managers read the state of a window when it maps.
            EXPECT_TRUE(n.modalWhenShown);
        }
        EXPECT_TRUE(owned);
        EXPECT_FALSE(IsWindowEnabled(MainWindow));
        win32::testing::KeyPress('O');
    });
    Then([&] {
        EXPECT_EQ(screen->WindowCount(), 1u);
        EXPECT_TRUE(IsWindowEnabled(MainWindow));
        AltX();
    });
    EXPECT_EQ(Run(), 0);
}

// Desktops that place the window themselves: a tiling window manager makes
// it large, then (as weston does) moves it without telling the program.
// A double-click below the rows, anywhere in the list, opens the box over
// where the window really is; a click on the disabled main window (focused
// by the window manager first) brings the box back with the keys, and
// leaves it open; so does the window manager focusing the main window.
TEST_F(MainWindowRun, TiledAndSilentlyMovedTheWindowStillAnswers) {
    display::NativeId main = 0, box = 0;
    auto real = [&](int x, int y) {
        const RECT &c = screen->Windows().at(main).client;
        return POINT{c.left + x, c.top + y};
    };
    Then([&] {
        main = MainNative();
        screen->Configure(main, RECT{0, 0, 800, 560});
    });
    Then([&] {
        RECT client{};
        GetClientRect(MainWindow, &client);
        EXPECT_EQ(client, (RECT{0, 0, 800, 560}));
        screen->MoveSilently(main, 120, 100);
        win32::testing::AdvanceClock(2000);
        POINT p = real(780, 540);  // far below the last row
        win32::testing::Click(p.x, p.y);
        win32::testing::Click(p.x, p.y);
    });
    Then([&] {
        ASSERT_EQ(screen->WindowCount(), 2u);
        for (auto &[id, n] : screen->Windows())
            if (id != main) box = id;
        const RECT &b = screen->Windows().at(box).client;
        POINT centre = real(400, 280);
        EXPECT_NEAR((b.left + b.right) / 2, centre.x, 16);
        EXPECT_NEAR((b.top + b.bottom) / 2, centre.y, 16);
        win32::testing::AdvanceClock(1000);
        screen->GiveFocus(main);
        POINT p = real(50, 24);
        win32::testing::Click(p.x, p.y);
    });
    Then([&] {
        ASSERT_EQ(screen->WindowCount(), 2u) << "a click on the disabled window closed the box";
        ASSERT_FALSE(screen->Activated().empty());
        EXPECT_EQ(screen->Activated().back(), box);
        EXPECT_EQ(screen->Focused(), box);
        EXPECT_NE(GetActiveWindow(), MainWindow);
        EXPECT_NE(GetFocus(), nullptr);
        // Focused again by the window manager alone (Alt+Tab, say): the box
        // takes the focus back before the key arrives.
        screen->GiveFocus(main);
        win32::testing::KeyPress('O');
    });
    Then([&] {
        EXPECT_EQ(screen->WindowCount(), 1u);
        AltX();
    });
    EXPECT_EQ(Run(), 0);
}

// The list's colouring: beige background in its context, the class brush back.
TEST_F(MainWindowRun, ListColouringAndRowResults) {
    Then([&] {
        HDC dc = GetDC(DriveList);
        EXPECT_EQ(SendMessageA(MainWindow, WM_CTLCOLORLISTBOX, (WPARAM)dc, (LPARAM)DriveList),
                  (LRESULT)BackgroundBrush);
        EXPECT_EQ(GetBkColor(dc), RGB(245, 245, 220));
        DRAWITEMSTRUCT dis{};
        dis.CtlType = ODT_LISTBOX;
        dis.CtlID = IDC_DRIVELIST;
        dis.hDC = dc;
        dis.rcItem = RECT{0, 0, 500, 16};
        dis.itemAction = ODA_SELECT;
        EXPECT_EQ(SendMessageA(MainWindow, WM_DRAWITEM, IDC_DRIVELIST, (LPARAM)&dis), 0);
        dis.itemAction = ODA_DRAWENTIRE;
        EXPECT_EQ(SendMessageA(MainWindow, WM_DRAWITEM, IDC_DRIVELIST, (LPARAM)&dis), 1);
        ReleaseDC(DriveList, dc);
        PostMessageA(MainWindow, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(Run(), 0);
}

// A whole run leaves no GDI object behind (the background brush included).
TEST_F(MainWindowRun, RunLeavesNoObjects) {
    size_t before = win32::testing::LiveGdiObjects();
    Then([&] { AltX(); });
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(win32::testing::LiveGdiObjects(), before);
}

// When the class cannot be registered, WinMain ends at once with 0 and shows
// nothing.
TEST_F(MainWindowRun, ClassAlreadyTaken) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = win32::MainModule();
    wc.lpszClassName = "Morvalen";
    ASSERT_NE(RegisterClassA(&wc), 0);
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(screen->Windows().empty());
}

// With a previous instance the class is taken to exist; here it does not, so
// creating the window fails and WinMain ends with 0.
TEST_F(MainWindowRun, PreviousInstanceWithoutTheClass) {
    HINSTANCE previous = win32::MainModule();
    EXPECT_EQ(WinMain(win32::MainModule(), previous, const_cast<LPSTR>(""), SW_SHOWDEFAULT), 0);
    EXPECT_TRUE(screen->Windows().empty());
    EXPECT_EQ(MainWindow, nullptr);
}

// A list that refuses to be created: an application class of the same name
// comes before the system's, and its creation answers -1.
LRESULT CALLBACK RefusingListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) return -1;
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

// Without its list the window has no row height to be sized by: WinMain ends
// with 0, shows nothing and leaves no window behind.
TEST_F(MainWindowRun, NoListNoWindow) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = RefusingListProc;
    wc.hInstance = win32::MainModule();
    wc.lpszClassName = "listbox";
    ASSERT_NE(RegisterClassA(&wc), 0);
    size_t objects = win32::testing::LiveGdiObjects();
    Then([&] { PostMessageA(MainWindow, WM_CLOSE, 0, 0); });  // only if the list was made after all
    int code = WinMain(win32::MainModule(), NULL, const_cast<LPSTR>(""), SW_SHOWDEFAULT);
    UnregisterClassA("listbox", win32::MainModule());
    EXPECT_EQ(code, 0);
    EXPECT_EQ(steps.size(), 1u) << "the loop ran";
    EXPECT_EQ(MainWindow, nullptr);
    EXPECT_EQ(win32::testing::LiveWindowCount(), 0u);
    bool shown = false;
    for (auto &[id, n] : screen->Windows()) shown = shown || n.shown;
    EXPECT_FALSE(shown);
    EXPECT_EQ(win32::testing::LiveGdiObjects(), objects);
    steps.clear();
}

}  // namespace
