// TranslateAcceleratorA: turns a key message that matches an entry of the
// table into WM_COMMAND, sent to the given window.

#include <vector>

#include "platform/user/resources.h"

namespace {

bool KeyDown(int vk) {
    return (GetKeyState(vk) & 0x8000) != 0;
}

// Whether `a` matches the message. Virtual-key entries match key-down
// messages with exactly their Shift, Ctrl and Alt states; character entries
// match the character, with Alt only through WM_SYSCHAR.
bool Matches(const ACCEL &a, const MSG &msg) {
    if (a.fVirt & FVIRTKEY) {
        if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
        if (msg.wParam != a.key) return false;
        bool shift = KeyDown(VK_SHIFT);
        bool ctrl = KeyDown(VK_CONTROL);
        // Bit 29 of a system key message says Alt was down when it was made.
        bool alt = KeyDown(VK_MENU) || (msg.message == WM_SYSKEYDOWN && (msg.lParam & (LPARAM{1} << 29)));
        return shift == ((a.fVirt & FSHIFT) != 0) && ctrl == ((a.fVirt & FCONTROL) != 0) &&
               alt == ((a.fVirt & FALT) != 0);
    }
    if (msg.message == WM_CHAR) return (a.fVirt & FALT) == 0 && msg.wParam == a.key;
    if (msg.message == WM_SYSCHAR) return (a.fVirt & FALT) != 0 && msg.wParam == a.key;
    return false;
}

}  // namespace

int WINAPI TranslateAcceleratorA(HWND hWnd, HACCEL hAccTable, LPMSG lpMsg) {
    if (hWnd == nullptr || lpMsg == nullptr) return 0;
    std::vector<ACCEL> entries;
    if (!win32::AcceleratorEntries(hAccTable, &entries)) return 0;
    for (const ACCEL &a : entries) {
        if (!Matches(a, *lpMsg)) continue;
        // The first matching entry wins.
        SendMessageA(hWnd, WM_COMMAND, MAKEWPARAM(a.cmd, 1), 0);
        return 1;
    }
    return 0;
}
