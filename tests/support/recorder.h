// A window class that records the messages its windows receive.
#pragma once

#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

struct Received {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

// Every message any recording window got, in order.
std::vector<Received> &Log();
// Message numbers received by `h` (all windows when null), filtered to
// `only` when it is not empty.
std::vector<UINT> MessagesOf(HWND h, const std::vector<UINT> &only = {});
// Per-test override: return true and set *result to answer a message.
using Hook = std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT *)>;
void SetHook(Hook hook);

// Registers (once) the class "Recorder" (CS_DBLCLKS when asked: "RecorderDbl").
const char *RecorderClass(bool doubleClicks = false);

// Fresh headless screen at a display scale in 120ths, empty log, no hook.
void Fresh(int width = 1024, int height = 768, int scale = 120);

HWND MakeTop(const char *title = "top", DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE, int x = 100,
             int y = 100, int w = 300, int h = 200, HWND owner = nullptr);
HWND MakeChild(HWND parent, int id, int x, int y, int w, int h, DWORD style = WS_VISIBLE, bool dbl = false);

}  // namespace testsupport
