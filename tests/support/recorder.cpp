#include "tests/support/recorder.h"

#include "platform/testing.h"

namespace testsupport {

namespace {
Hook g_hook;

LRESULT CALLBACK RecordingProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
    Log().push_back({h, m, wp, lp});
    LRESULT r = 0;
    if (g_hook && g_hook(h, m, wp, lp, &r)) return r;
    return DefWindowProcA(h, m, wp, lp);
}
}  // namespace

std::vector<Received> &Log() {
    static std::vector<Received> log;
    return log;
}

std::vector<UINT> MessagesOf(HWND h, const std::vector<UINT> &only) {
    std::vector<UINT> out;
    for (const Received &r : Log()) {
        if (h && r.hwnd != h) continue;
        if (!only.empty() && std::find(only.begin(), only.end(), r.msg) == only.end()) continue;
        out.push_back(r.msg);
    }
    return out;
}

void SetHook(Hook hook) {
    g_hook = std::move(hook);
}

const char *RecorderClass(bool dbl) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = RecordingProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.cbWndExtra = 16;
        wc.lpszClassName = "Recorder";
        RegisterClassA(&wc);
        wc.style = CS_DBLCLKS;
        wc.lpszClassName = "RecorderDbl";
        RegisterClassA(&wc);
        registered = true;
    }
    return dbl ? "RecorderDbl" : "Recorder";
}

void Fresh(int width, int height, int scale) {
    g_hook = nullptr;
    win32::testing::UseHeadless(width, height, scale);
    Log().clear();
}

HWND MakeTop(const char *title, DWORD style, int x, int y, int w, int h, HWND owner) {
    return CreateWindowExA(0, RecorderClass(), title, style, x, y, w, h, owner, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

HWND MakeChild(HWND parent, int id, int x, int y, int w, int h, DWORD style, bool dbl) {
    return CreateWindowExA(0, RecorderClass(dbl), "", WS_CHILD | style, x, y, w, h, parent,
                           reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), GetModuleHandleA(nullptr),
                           nullptr);
}

}  // namespace testsupport
