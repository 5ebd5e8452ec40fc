// Test seams: the headless screen, injected input, the clock, the loop.
#include "platform/user/testing.h"

#include "platform/common/scancode.h"
#include "platform/display/headless/headless.h"
#include "platform/user/queue.h"
#include "platform/user/session.h"
#include "platform/user/wm.h"

using namespace win32;
using namespace win32::wm;

namespace win32::testing {

namespace {
bool g_quitSeen = false;
int g_quitCode = 0;
}  // namespace

void ResetWindowManager() {
    // Bottom first; owners take their owned windows with them, children go
    // with their parents.
    for (;;) {
        HWND bottom = nullptr;
        for (HWND t : TopLevels())
            if (WindowOf(t)) bottom = t;
        if (!bottom) break;
        DestroyWindow(bottom);
    }
    ResetWindowList();
    ResetPlacement();
    ResetQueue();
    ResetKeyboard();
    ResetFocus();
    ResetPointer();
    g_quitSeen = false;
    g_quitCode = 0;
}

void UseHeadless(int width, int height, int scale) {
    ResetWindowManager();
    display::Reset(std::make_unique<display::HeadlessBackend>(width, height, scale));
}

display::HeadlessBackend &Headless() {
    auto *h = dynamic_cast<display::HeadlessBackend *>(&display::Current());
    if (!h) {
        UseHeadless();
        h = dynamic_cast<display::HeadlessBackend *>(&display::Current());
    }
    return *h;
}

namespace {

void InjectKey(display::Event::Type type, UINT vk, bool repeat) {
    display::Event ev;
    ev.type = type;
    ev.vk = vk;
    bool ext = false;
    ev.scanCode = ScanCodeOf(vk, &ext);
    ev.extended = ext;
    ev.repeat = repeat;
    Headless().Inject(ev);
}

void InjectModifiers(unsigned mods, bool down) {
    auto t = down ? display::Event::KeyDown : display::Event::KeyUp;
    if (mods & kCtrl) InjectKey(t, VK_CONTROL, false);
    if (mods & kShift) InjectKey(t, VK_SHIFT, false);
    if (mods & kAlt) InjectKey(t, VK_MENU, false);
}

}  // namespace

void KeyDown(UINT vk, unsigned mods, bool repeat) {
    InjectModifiers(mods, true);
    InjectKey(display::Event::KeyDown, vk, repeat);
}

void KeyUp(UINT vk, unsigned mods) {
    InjectKey(display::Event::KeyUp, vk, false);
    InjectModifiers(mods, false);
}

void KeyPress(UINT vk, unsigned mods) {
    KeyDown(vk, mods);
    KeyUp(vk, mods);
}

void TypeChar(char ch) {
    display::Event ev;
    ev.type = display::Event::Char;
    ev.ch = ch;
    Headless().Inject(ev);
}

namespace {

void InjectMouse(display::Event::Type type, int x, int y, int button, int delta = 0) {
    display::Event ev;
    ev.type = type;
    ev.x = x;
    ev.y = y;
    ev.button = button;
    ev.delta = delta;
    Headless().Inject(ev);
}

}  // namespace

void MouseMove(int x, int y) {
    InjectMouse(display::Event::Motion, x, y, 0);
}
void MouseDown(int x, int y, int button) {
    InjectMouse(display::Event::ButtonDown, x, y, button);
}
void MouseUp(int x, int y, int button) {
    InjectMouse(display::Event::ButtonUp, x, y, button);
}

void Click(int x, int y, int button) {
    MouseDown(x, y, button);
    MouseUp(x, y, button);
}

void DragBy(int x, int y, int dx, int dy) {
    MouseDown(x, y);
    RunUntilIdle();
    MouseMove(x + dx, y + dy);
    RunUntilIdle();
    MouseUp(x + dx, y + dy);
    RunUntilIdle();
}

void DoubleClick(int x, int y) {
    Click(x, y);
    Click(x, y);
}

void Wheel(int x, int y, int delta) {
    InjectMouse(display::Event::Wheel, x, y, 0, delta);
}

void CloseRequest(HWND top) {
    Window *w = WindowOf(top);
    if (!w || !w->native) return;
    display::Event ev;
    ev.type = display::Event::CloseRequest;
    ev.window = w->native;
    Headless().Inject(ev);
}

POINT DevicePoint(HWND hwnd, int x, int y) {
    POINT p{x, y};
    ClientToScreen(hwnd, &p);
    Window *top = TopLevelOf(WindowOf(hwnd));
    if (!top || !top->native) return p;
    const POINT o = ClientOriginScreen(*top);
    return Headless().ClientToDevice(top->native, {p.x - o.x, p.y - o.y});
}

const gdi::Surface &Screen() {
    return Headless().Screen();
}

uint32_t ScreenPixel(int x, int y) {
    const gdi::Surface &s = Screen();
    if (x < 0 || y < 0 || x >= s.width || y >= s.height) return 0;
    return s.Row(y)[x];
}

bool SaveScreen(const char *path) {
    return gdi::WritePng(Screen(), path);
}

void SetClock(DWORD ms) {
    Headless().SetClock(ms);
}
void AdvanceClock(DWORD ms) {
    Headless().AdvanceClock(ms);
}

int RunUntilIdle() {
    int n = 0;
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            g_quitSeen = true;
            g_quitCode = static_cast<int>(m.wParam);
            break;
        }
        TranslateMessage(&m);
        DispatchMessageA(&m);
        ++n;
    }
    return n;
}

bool QuitSeen(int *code) {
    if (QuitPending(code)) return true;
    if (g_quitSeen && code) *code = g_quitCode;
    return g_quitSeen;
}

size_t LiveWindowCount() {
    return WindowCount();
}

}  // namespace win32::testing
