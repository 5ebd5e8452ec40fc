// The elliptical about box: geometry, painting, the link and its button,
// how it ends, and what many showings leave behind.
#include <algorithm>
#include <vector>

#include "msgbox/aboutbox.h"
#include "platform/display/headless/headless.h"
#include "tests/support/rect.h"
#include "tests/unit/msgbox/harness.h"

namespace {

using testsupport::BoxTest;
using testsupport::Current;
using win32::gdi::DeviceEdge;
using win32::gdi::LogicalPixel;

const char kText[] = "Morvalen 1.12\nFree space on all drives at a glance";
// The shell only records what it is asked to open (see SetUp).
const char kLink[] = "https://en.wikipedia.org/wiki/Disk_storage";

const uint32_t kRed = 0xFF0000, kGrey = 0xC0C0C0, kNavy = 0x000080, kWhite = 0xFFFFFF;

class AboutBoxRun : public BoxTest {
protected:
    void SetUp() override {
        BoxTest::SetUp();
        win32::testing::ResetShell();
        win32::testing::RecordShellCalls(true);
    }
    void TearDown() override {
        win32::testing::ResetShell();
        BoxTest::TearDown();
    }
    int ShowAbout(const char *link, std::function<void()> run) {
        Current().box = &AboutBox;
        Current().run = std::move(run);
        return AboutBox.Show(owner, kText, link, 0, 125, RGB(0, 0, 0), RGB(192, 192, 192),
                             RGB(128, 128, 128));
    }
    // Reads the screen once per check, in the box's client coordinates.
    struct AboutShot : Shot {
        AboutShot() : Shot(AboutBox.hwnd) {}
        uint32_t operator()(int x, int y) const { return At(x, y); }
    };
    int Width() { return TextWidth("Free space on all drives at a glance") + 4 * maxCharWidth; }
    RECT ChildRect(HWND child) {
        RECT r;
        GetWindowRect(child, &r);
        POINT p = {r.left, r.top};
        ScreenToClient(AboutBox.hwnd, &p);
        return RECT{p.x, p.y, p.x + r.right - r.left, p.y + r.bottom - r.top};
    }
};

TEST_F(AboutBoxRun, SizeRegionAndTheOnePixelGrowth) {
    for (const char *link : {kLink, ""}) {
        SCOPED_TRACE(link);
        const int W = Width();
        const int H = (2 + (link[0] ? 10 : 8)) * lineHeight;
        RECT window = {}, client = {};
        ShowAbout(link, [&] {
            GetWindowRect(AboutBox.hwnd, &window);
            GetClientRect(AboutBox.hwnd, &client);
        });
        EXPECT_EQ(W + 1, AboutBox.boxWidth);
        EXPECT_EQ(H + 1, AboutBox.boxHeight);
        // Resized to the region's box, then grown by centring; no frame.
        EXPECT_EQ(W + 2, window.right - window.left);
        EXPECT_EQ(H + 2, window.bottom - window.top);
        EXPECT_EQ(W + 2, client.right);
        EXPECT_EQ(H + 2, client.bottom);
    }
}

TEST_F(AboutBoxRun, PaintsARedOvalFilledGreyAndNothingOutsideIt) {
    ShowAbout(kLink, [&] {
        AboutShot Pixel;
        const int bw = AboutBox.boxWidth, bh = AboutBox.boxHeight;
        const int cx = bw / 2, cy = bh / 2;
        // The outline's midpoints on all four sides.
        EXPECT_EQ(kRed, Pixel(cx, 1));
        EXPECT_EQ(kRed, Pixel(1, cy));
        EXPECT_EQ(kRed, Pixel(bw - 3, cy));
        EXPECT_EQ(kRed, Pixel(cx, bh - 3));
        // Three pixels wide across the left side, fill just inside.
        int red = 0;
        for (int x = 0; x < 6; ++x) red += Pixel(x, cy) == kRed;
        EXPECT_EQ(3, red);
        EXPECT_EQ(kGrey, Pixel(6, cy));
        EXPECT_EQ(kGrey, Pixel(cx, bh - 10));
        // The corners lie outside the ellipse: the owner shows there.
        EXPECT_EQ(kWhite, Pixel(0, 0));
        EXPECT_EQ(kWhite, Pixel(bw - 1, 0));
        EXPECT_EQ(kWhite, Pixel(0, bh - 1));
        EXPECT_EQ(kWhite, Pixel(bw - 1, bh - 1));
        EXPECT_EQ(kWhite, Pixel(6, 6));
        // The outline covers the shape's edge all round: no ring of box
        // surface shows outside it.
        HRGN shape = CreateEllipticRgn(0, 0, bw, bh);
        int edge = 0, notRed = 0;
        for (int y = 0; y < bh; ++y)
            for (int x = 0; x < bw; ++x) {
                if (!PtInRegion(shape, x, y)) continue;
                if (PtInRegion(shape, x - 1, y) && PtInRegion(shape, x + 1, y) &&
                    PtInRegion(shape, x, y - 1) && PtInRegion(shape, x, y + 1))
                    continue;
                ++edge;
                notRed += Pixel(x, y) != kRed;
            }
        DeleteObject(shape);
        EXPECT_GT(edge, bw + bh);
        EXPECT_EQ(0, notRed) << "of " << edge;
    });
}

// At any display scale the box is drawn at device resolution: its shape is
// the ellipse worked out on device pixels (a banded region that passes its
// self-check, whose rows change within a logical row), the red outline
// covers the shape's edge all round, and the link lies inside the oval with
// the margins it has at 1x, scaled (give or take the outline's and glyphs'
// own device pixels).
TEST_F(AboutBoxRun, AtAnyScaleTheLinkKeepsItsMarginsInsideTheOvalMadeAtDeviceResolution) {
    struct Margins {
        int left = 1 << 20, right = 1 << 20;
    };
    auto measure = [&](int n) {
        SCOPED_TRACE(n);
        UseScale(n);
        Margins m;
        ShowAbout(kLink, [&] {
            const win32::gdi::Surface &screen = win32::testing::Screen();
            const POINT o = win32::testing::DevicePoint(AboutBox.hwnd, 0, 0);
            auto at = [&](int x, int y) { return screen.Row(o.y + y)[o.x + x]; };
            const RECT &r = AboutBox.linkRect;
            const int bw = DeviceEdge(AboutBox.boxWidth, n);
            int rows = 0;
            for (int y = DeviceEdge(r.top, n); y < DeviceEdge(r.bottom, n); ++y) {
                int first = -1, last = -1;
                for (int x = 0; x < bw; ++x)
                    if (at(x, y) == kNavy) {
                        if (first < 0) first = x;
                        last = x;
                    }
                if (first < 0) continue;
                ++rows;
                int redLeft = -1, redRight = -1;
                for (int x = first; x >= 0 && redLeft < 0; --x)
                    if (at(x, y) == kRed) redLeft = x;
                for (int x = last; x < bw && redRight < 0; ++x)
                    if (at(x, y) == kRed) redRight = x;
                ASSERT_GE(redLeft, 0) << "no outline left of the link at device row " << y;
                ASSERT_GE(redRight, 0) << "no outline right of the link at device row " << y;
                m.left = std::min(m.left, first - redLeft);
                m.right = std::min(m.right, redRight - last);
            }
            EXPECT_GT(rows, 8 * n / 120);

            const auto &windows = win32::testing::Headless().Windows();
            const auto box = windows.find(win32::testing::Headless().WindowAt(o.x + bw / 2, o.y + 30));
            ASSERT_NE(box, windows.end());
            ASSERT_TRUE(box->second.shape);
            const win32::gdi::Region &shape = *box->second.shape;
            EXPECT_TRUE(shape.SelfCheck());
            EXPECT_EQ(shape.Bounds(), (RECT{0, 0, DeviceEdge(AboutBox.boxWidth - 1, n),
                                            DeviceEdge(AboutBox.boxHeight - 1, n)}));
            // Worked out on device rows, not logical rows enlarged.
            int changesWithin = 0;
            for (int y = 1; y < shape.Bounds().bottom; ++y) {
                if (LogicalPixel(y, n) != LogicalPixel(y - 1, n)) continue;
                int x = 0, x1 = 0;
                while (x < bw && !shape.Contains(x, y)) ++x;
                while (x1 < bw && !shape.Contains(x1, y - 1)) ++x1;
                changesWithin += x != x1;
            }
            if (n % 120) {
                EXPECT_GT(changesWithin, 10);
            }
            int edge = 0, notRed = 0;
            for (const RECT &b : shape.Rects())
                for (int y = b.top; y < b.bottom; ++y)
                    for (int x = b.left; x < b.right; ++x) {
                        if (shape.Contains(x - 1, y) && shape.Contains(x + 1, y) &&
                            shape.Contains(x, y - 1) && shape.Contains(x, y + 1))
                            continue;
                        ++edge;
                        notRed += at(x, y) != kRed;
                    }
            EXPECT_GT(edge, DeviceEdge(AboutBox.boxWidth, n) + DeviceEdge(AboutBox.boxHeight, n));
            EXPECT_EQ(0, notRed) << "of " << edge;
        });
        return m;
    };
    const Margins one = measure(120);
    EXPECT_GT(one.left, 2);
    EXPECT_GT(one.right, 2);
    for (int n : {150, 180, 210, 240}) {
        const Margins m = measure(n);
        EXPECT_NEAR(m.left, one.left * n / 120, 3) << n;
        EXPECT_NEAR(m.right, one.right * n / 120, 3) << n;
    }
}

TEST_F(AboutBoxRun, IconAtTheTopCentreAndTextLinesCentred) {
    HICON icon = LoadIconA(AppInstance, MAKEINTRESOURCEA(125));
    int iw = 0, ih = 0;
    std::vector<uint32_t> colors;
    std::vector<uint8_t> mask;
    ASSERT_TRUE(win32::gdi::IconPixels(icon, &iw, &ih, &colors, &mask));
    ASSERT_EQ(32, iw);
    ShowAbout(kLink, [&] {
        AboutShot Pixel;
        const int bw = AboutBox.boxWidth;
        int opaque = 0;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                if (mask[y * 32 + x]) continue;
                ++opaque;
                ASSERT_EQ(colors[y * 32 + x], Pixel(bw / 2 - 16 + x, 18 + y)) << x << "," << y;
            }
        }
        EXPECT_GT(opaque, 100);

        // Each line's black pixels lie within its centred extent (looking a
        // little way either side of it).
        const char *lines[] = {"Morvalen 1.12", "Free space on all drives at a glance"};
        for (int i = 0; i < 2; ++i) {
            SCOPED_TRACE(lines[i]);
            int width = TextWidth(lines[i]);
            int x0 = (bw - width) / 2;
            int top = 2 * lineHeight + 32 + i * lineHeight;
            int first = -1, last = -1;
            for (int y = top; y < top + lineHeight; ++y) {
                for (int x = x0 - 24; x < x0 + width + 24; ++x) {
                    if (Pixel(x, y) != 0) continue;
                    if (first < 0 || x < first) first = x;
                    if (x > last) last = x;
                }
            }
            ASSERT_GE(first, 0);
            EXPECT_GE(first, x0);
            EXPECT_LE(first, x0 + 3);
            EXPECT_LT(last, x0 + width);
            EXPECT_GE(last, x0 + width - 4);
        }
    });
}

TEST_F(AboutBoxRun, LinkOneEmptyLineBelowCentredUnderlinedInNavy) {
    ShowAbout(kLink, [&] {
        ASSERT_EQ(1, AboutBox.linkCreated);
        AboutShot Pixel;
        const RECT &r = AboutBox.linkRect;
        const int bw = AboutBox.boxWidth;
        EXPECT_EQ(2 * lineHeight + 32 + 2 * lineHeight + lineHeight, r.top);
        EXPECT_EQ((bw - (r.right - r.left)) / 2, r.left);
        EXPECT_GT(r.right - r.left, 0);
        EXPECT_NE(nullptr, AboutBox.linkFont.font);
        EXPECT_EQ(1, AboutBox.linkFont.logFont.lfUnderline);
        EXPECT_STREQ("MS Sans Serif", AboutBox.linkFont.logFont.lfFaceName);

        // The link button covers the text exactly.
        ASSERT_TRUE(IsWindow(AboutBox.linkButton.hwnd));
        RECT b = ChildRect(AboutBox.linkButton.hwnd);
        EXPECT_TRUE(EqualRect(&r, &b));
        EXPECT_EQ(static_cast<LONG>(BS_OWNERDRAW), GetWindowLongA(AboutBox.linkButton.hwnd, GWL_STYLE) & 0xF);

        // Navy text, and one row that is navy nearly all the way: the underline.
        int navy = 0, bestRow = 0;
        for (int y = r.top; y < r.bottom; ++y) {
            int row = 0;
            for (int x = r.left; x < r.right; ++x) row += Pixel(x, y) == kNavy;
            navy += row;
            if (row > bestRow) bestRow = row;
        }
        EXPECT_GT(navy, bestRow);
        EXPECT_GE(bestRow * 10, (r.right - r.left) * 9);
        EXPECT_EQ(0, Pixel(r.left, r.top) == 0);  // nothing black: the link font's colour is navy
    });
}

TEST_F(AboutBoxRun, OkButtonThreeLinesAboveTheBottomBeforeTheResize) {
    ShowAbout(kLink, [&] {
        const int W = Width(), H = 12 * lineHeight;
        ASSERT_EQ(1, MsgBoxButtonCount);
        RECT b = ChildRect(MsgBoxButtons[0].hwnd);
        EXPECT_EQ(W / 2 - 30, b.left);
        EXPECT_EQ(H - 3 * lineHeight, b.top);
        EXPECT_EQ(60, b.right - b.left);
        EXPECT_EQ(30, b.bottom - b.top);
        EXPECT_EQ(MsgBoxButtons[0].hwnd, GetFocus());
    });
}

TEST_F(AboutBoxRun, LinkButtonMadeAtTheFirstPaintOfEachShowingOnly) {
    HWND firstButton = nullptr;
    int firstId = 0;
    ShowAbout(kLink, [&] {
        firstButton = AboutBox.linkButton.hwnd;
        firstId = AboutBox.linkButton.controlId;
        HFONT font = AboutBox.linkFont.font;
        InvalidateRect(AboutBox.hwnd, nullptr, TRUE);
        win32::testing::RunUntilIdle();
        EXPECT_EQ(firstButton, AboutBox.linkButton.hwnd);
        EXPECT_EQ(firstId, AboutBox.linkButton.controlId);
        EXPECT_EQ(font, AboutBox.linkFont.font);
        int children = 0;
        for (HWND c = GetWindow(AboutBox.hwnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) ++children;
        EXPECT_EQ(2, children);
    });
    EXPECT_FALSE(IsWindow(firstButton));
    ShowAbout(kLink, [&] {
        EXPECT_TRUE(IsWindow(AboutBox.linkButton.hwnd));
        EXPECT_GT(AboutBox.linkButton.controlId, firstId);
        EXPECT_GT(AboutBox.linkButton.controlId, MsgBoxButtons[0].controlId);
    });
}

TEST_F(AboutBoxRun, AnEmptyLinkMakesNoFontAndNoButton) {
    ShowAbout(kLink, nullptr);  // so that a link font and a button id exist
    const int id = AboutBox.linkButton.controlId;
    const HFONT font = AboutBox.linkFont.font;
    size_t objects = win32::testing::LiveGdiObjects();
    ShowAbout("", [&] {
        EXPECT_EQ(0, AboutBox.linkCreated);
        int children = 0;
        for (HWND c = GetWindow(AboutBox.hwnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) ++children;
        EXPECT_EQ(1, children);
    });
    EXPECT_EQ(id, AboutBox.linkButton.controlId);
    EXPECT_EQ(font, AboutBox.linkFont.font);
    EXPECT_EQ(objects, win32::testing::LiveGdiObjects());
}

TEST_F(AboutBoxRun, DrawItemDoesNothingBeforeALinkButtonEverExisted) {
    CAboutBox fresh;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 40, 20);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all = {0, 0, 40, 20};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HGDIOBJ font = GetCurrentObject(dc, OBJ_FONT);
    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_BUTTON;
    item.hDC = dc;
    item.rcItem = all;
    fresh.caption = "link";
    fresh.OnDrawItem(0, reinterpret_cast<LPARAM>(&item));
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(RGB(255, 255, 255), GetPixel(dc, x, y));
    EXPECT_EQ(font, GetCurrentObject(dc, OBJ_FONT));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

TEST_F(AboutBoxRun, ClickingTheLinkOpensItAndEndsTheBoxWithOk) {
    // The second address is one the shell refuses: the box ends all the same.
    for (const char *link : {kLink, "ftp://example.invalid/"}) {
        SCOPED_TRACE(link);
        win32::testing::ResetShell();
        win32::testing::RecordShellCalls(true);
        Current().closeAfter = false;
        bool ended = false;
        int result = ShowAbout(link, [&] {
            const RECT &r = AboutBox.linkRect;
            POINT p = ScreenOf(AboutBox.hwnd, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
            win32::testing::Click(p.x, p.y);
            win32::testing::RunUntilIdle();
            ended = !IsWindow(AboutBox.hwnd);
        });
        EXPECT_TRUE(ended);
        EXPECT_EQ(IDOK, result);
        EXPECT_EQ(nullptr, AboutBox.hwnd);
        EXPECT_TRUE(IsWindowEnabled(owner));
        std::vector<win32::testing::ShellCall> calls = win32::testing::ShellCalls();
        ASSERT_EQ(1u, calls.size());
        EXPECT_EQ(owner, calls[0].hwnd);
        EXPECT_EQ("open", calls[0].verb);
        EXPECT_EQ(link, calls[0].file);
        EXPECT_EQ("", calls[0].params);
        EXPECT_EQ("", calls[0].dir);
        EXPECT_EQ(SW_SHOWNORMAL, calls[0].show);
    }
}

TEST_F(AboutBoxRun, OnlyTheLinkButtonsCommandOpensTheLink) {
    bool open = false;
    ShowAbout(kLink, [&] {
        // A foreign command, one without a control, and the link's id
        // from a window that is not the link button.
        SendMessageA(AboutBox.hwnd, WM_COMMAND, MAKEWPARAM(4321, 0), reinterpret_cast<LPARAM>(owner));
        SendMessageA(AboutBox.hwnd, WM_COMMAND, MAKEWPARAM(4321, 0), 0);
        SendMessageA(AboutBox.hwnd, WM_COMMAND, MAKEWPARAM(AboutBox.linkButton.controlId, 0), 0);
        win32::testing::RunUntilIdle();
        open = IsWindow(AboutBox.hwnd) && AboutBox.result == 0;
    });
    EXPECT_TRUE(open);
    EXPECT_TRUE(win32::testing::ShellCalls().empty());
}

TEST_F(AboutBoxRun, OkKeysAndClickEndTheBoxWithOk) {
    struct Case {
        const char *name;
        std::function<void()> act;
    } cases[] = {
        {"O", [] { BoxTest::Press('O'); }},
        {"Enter", [] { BoxTest::Press(VK_RETURN); }},
        {"Space", [] { BoxTest::Press(VK_SPACE); }},
        {"click",
         [] {
             RECT r;
             GetWindowRect(MsgBoxButtons[0].hwnd, &r);
             win32::testing::Click(r.left + 30, r.top + 15);
             win32::testing::RunUntilIdle();
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Current().closeAfter = false;
        EXPECT_EQ(IDOK, ShowAbout(kLink, c.act));
        EXPECT_EQ(nullptr, AboutBox.hwnd);
    }
}

TEST_F(AboutBoxRun, TabArrowsAndEscLeaveTheFocusOnOk) {
    bool open = false;
    int result = ShowAbout(kLink, [&] {
        for (UINT vk : {VK_TAB, VK_RIGHT, VK_LEFT, VK_ESCAPE}) {
            Press(vk);
            EXPECT_EQ(MsgBoxButtons[0].hwnd, GetFocus()) << vk;
        }
        open = IsWindow(AboutBox.hwnd) && AboutBox.running;
    });
    EXPECT_TRUE(open);
    EXPECT_EQ(0, result);  // closed by the script, not by a key
}

TEST_F(AboutBoxRun, OutsideTheEllipseNothingReachesTheBoxInsideItDrags) {
    RECT start = {}, afterOutside = {}, afterInside = {};
    ShowAbout(kLink, [&] {
        GetWindowRect(AboutBox.hwnd, &start);
        // A press in the corner, outside the ellipse.
        POINT p = ScreenOf(AboutBox.hwnd, 2, 2);
        win32::testing::MouseDown(p.x, p.y);
        win32::testing::MouseMove(p.x + 40, p.y + 30);
        win32::testing::MouseUp(p.x + 40, p.y + 30);
        win32::testing::RunUntilIdle();
        GetWindowRect(AboutBox.hwnd, &afterOutside);
        EXPECT_TRUE(IsWindow(AboutBox.hwnd));

        // A press on the oval's body.
        POINT q = ScreenOf(AboutBox.hwnd, 8, AboutBox.boxHeight / 2);
        win32::testing::DragBy(q.x, q.y, 40, 30);
        GetWindowRect(AboutBox.hwnd, &afterInside);
    });
    EXPECT_TRUE(EqualRect(&start, &afterOutside));
    EXPECT_GT(afterInside.left, start.left);
    EXPECT_GT(afterInside.top, start.top);
}

TEST_F(AboutBoxRun, ManyShowingsLeaveNothingBehind) {
    ShowAbout(kLink, [] { BoxTest::Press(VK_RETURN); });
    size_t objects = win32::testing::LiveGdiObjects();
    size_t windows = win32::testing::LiveWindowCount();
    int ended = 0;
    for (int i = 0; i < 1000; ++i) {
        ended += ShowAbout(i % 10 == 9 ? "" : kLink, [] { BoxTest::Press(VK_RETURN); }) == IDOK;
    }
    EXPECT_EQ(1000, ended);
    EXPECT_EQ(objects, win32::testing::LiveGdiObjects());
    EXPECT_EQ(windows, win32::testing::LiveWindowCount());
}

}  // namespace
