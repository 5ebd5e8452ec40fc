// morvalen-msgdemo [--snapshot DIR]
//
// Shows each of the four button sets with each icon (none, hand, question,
// exclamation, asterisk) through CMsgBox::Show, one box after the other,
// over a small owner window. On the X display each box waits for its user;
// with --snapshot the boxes are drawn on the headless screen and each is
// written to DIR/box-<set>-<icon>.png. Each box's result goes to stdout.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "msgbox/msgbox.h"
#include "platform/display/backend.h"
#include "platform/display/x11/x11.h"
#include "platform/testing.h"

HINSTANCE AppInstance = nullptr;

namespace {

struct Set {
    UINT type;
    const char *name;
};
const Set kSets[] = {
    {MB_OK, "ok"}, {MB_OKCANCEL, "okcancel"}, {MB_YESNO, "yesno"}, {MB_YESNOCANCEL, "yesnocancel"}};

struct Icon {
    UINT flag;
    const char *name;
};
const Icon kIcons[] = {{0, "none"},
                       {MB_ICONHAND, "hand"},
                       {MB_ICONQUESTION, "question"},
                       {MB_ICONEXCLAMATION, "exclamation"},
                       {MB_ICONASTERISK, "asterisk"}};

const UINT kBoxOpen = WM_USER + 0x100;

CMsgBox Box;
std::string SnapshotDir;  // empty: on the X display
std::string SnapshotName;
bool SnapshotFailed = false;

// The owner hears that a box is open when Show disables it.
LRESULT CALLBACK OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ENABLE:
            if (!wParam && !SnapshotDir.empty()) PostMessageA(hwnd, kBoxOpen, 0, 0);
            return 0;
        case kBoxOpen:
            win32::testing::RunUntilIdle();
            if (!win32::testing::SaveScreen((SnapshotDir + "/" + SnapshotName).c_str()))
                SnapshotFailed = true;
            win32::testing::KeyPress(VK_RETURN);  // ends the box with its focused button
            return 0;
        case WM_CLOSE:
            return 0;  // only the demo's own end closes the owner
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

int Usage() {
    std::fprintf(stderr, "usage: morvalen-msgdemo [--snapshot DIR]\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--snapshot") == 0 && i + 1 < argc) {
            SnapshotDir = argv[++i];
        } else {
            return Usage();
        }
    }
    if (SnapshotDir.empty()) {
        win32::display::SetFactory(win32::display::x11::OpenOrExit);
    } else {
        win32::testing::UseHeadless(800, 600);
    }
    AppInstance = GetModuleHandleA(nullptr);

    WNDCLASSA wc = {};
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = AppInstance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    wc.lpszClassName = "MorvalenMsgDemo";
    if (!RegisterClassA(&wc)) return 1;
    HWND owner =
        CreateWindowExA(0, "MorvalenMsgDemo", "Message boxes", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 80,
                        60, 640, 420, nullptr, nullptr, AppInstance, nullptr);
    if (!owner) return 1;

    for (const Set &set : kSets) {
        for (const Icon &icon : kIcons) {
            std::string caption = std::string("Box: ") + set.name + ", " + icon.name;
            std::string text = std::string("This box has the ") + set.name + " buttons\nand the " +
                               icon.name + " icon.\n\nPress a button, or its letter.";
            SnapshotName = std::string("box-") + set.name + "-" + icon.name + ".png";
            int result = Box.Show(owner, text.c_str(), caption.c_str(), set.type | icon.flag, 0, RGB(0, 0, 0),
                                  GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNSHADOW));
            std::printf("%-28s result %d\n", caption.c_str(), result);
            std::fflush(stdout);
            MSG msg;
            if (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) break;
        }
    }
    DestroyWindow(owner);
    if (SnapshotFailed) {
        std::fprintf(stderr, "morvalen-msgdemo: cannot write into %s\n", SnapshotDir.c_str());
        return 1;
    }
    return 0;
}
