// morvalen-snapshot [--about] OUT.png: runs the program on the headless
// screen with this machine's drives, writes the screen as a PNG once the
// program is idle, and ends the program the way a user would.
//
// With --about the first row is double-clicked first, and the screen is
// written once the about box has been painted; the box is then closed with
// its O key before the main window is closed.
//
// MORVALEN_SCALE (a decimal such as 1.5, or a whole number, 1 to 4) draws
// the screen at that display scale, as a desktop at that scale would.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/mainwnd.h"
#include "platform/display/headless/headless.h"
#include "platform/kernel/module.h"
#include "platform/user/testing.h"

namespace {

const char *gOut = nullptr;
bool gAbout = false;
bool gWritten = false;
bool gFailed = false;
int gStage = 0;

void Fail(const char *what) {
    std::fprintf(stderr, "morvalen-snapshot: %s\n", what);
    gFailed = true;
}

void Save() {
    gWritten = win32::testing::SaveScreen(gOut);
    if (!gWritten) Fail("cannot write the PNG");
}

// Ends the program: Alt+X, as a user would, through the accelerator.
void EndProgram() {
    win32::testing::KeyPress('X', win32::testing::kAlt);
}

// Runs whenever the program would wait for input: everything it had to do
// (painting included) is done.
void OnIdle() {
    if (MainWindow == NULL || !IsWindow(MainWindow)) {
        Fail("the main window is gone but the program still waits");
        PostQuitMessage(1);
        return;
    }
    int stage = gStage++;
    if (!gAbout) {
        if (stage == 0) {
            Save();
            EndProgram();
        } else {
            Fail("the program did not end on Alt+X");
            PostQuitMessage(1);
        }
        return;
    }
    switch (stage) {
        case 0: {
            // The middle of the first row, on the screen's device pixels.
            POINT p = win32::testing::DevicePoint(MainWindow, 100, HeaderHeight + 8);
            win32::testing::DoubleClick(p.x, p.y);
            break;
        }
        case 1:
            if (win32::testing::Headless().WindowCount() < 2) {
                Fail("the about box did not open");
                EndProgram();
                break;
            }
            Save();
            win32::testing::KeyPress('O');
            break;
        case 2:
            if (win32::testing::Headless().WindowCount() != 1) Fail("the about box did not close on O");
            EndProgram();
            break;
        default:
            Fail("the program did not end on Alt+X");
            PostQuitMessage(1);
            break;
    }
}

}  // namespace

int main(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--about") == 0) {
            gAbout = true;
        } else if (gOut == nullptr && argv[i][0] != '-') {
            gOut = argv[i];
        } else {
            gOut = nullptr;
            break;
        }
    }
    if (gOut == nullptr) {
        std::fprintf(stderr, "usage: morvalen-snapshot [--about] OUT.png\n");
        return 2;
    }

    const int scale = win32::display::ParseScale(std::getenv("MORVALEN_SCALE"), true);
    win32::testing::UseHeadless(1024, 768, scale < 0 ? win32::gdi::kScaleOne : scale);
    win32::testing::Headless().SetIdleHandler(OnIdle);
    int code = WinMain(win32::MainModule(), NULL, const_cast<LPSTR>(""), SW_SHOWDEFAULT);

    if (!gWritten && !gFailed) Fail("the program ended before its window was idle");
    if (code != 0) {
        std::fprintf(stderr, "morvalen-snapshot: the program ended with code %d\n", code);
        return 1;
    }
    return gFailed ? 1 : 0;
}
