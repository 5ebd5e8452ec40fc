// Test seams of the layer's user part. Never included by the program.
#pragma once

#include <windows.h>

#include <cstddef>

#include "platform/gdi/gdi_internal.h"

namespace win32::display {
class HeadlessBackend;
}

namespace win32::testing {

// Starts over on a fresh headless screen of the given logical size and
// display scale (120ths, 120 to 480): every window is destroyed and the
// queue, quit flag, focus, capture and key state cleared.
void UseHeadless(int width = 1024, int height = 768, int scale = gdi::kScaleOne);
// The headless back-end in use (UseHeadless first).
display::HeadlessBackend &Headless();
// Destroys every window and clears the window manager's state.
void ResetWindowManager();

// Modifier keys held around an injected key.
enum Modifiers : unsigned { kShift = 1, kCtrl = 2, kAlt = 4 };

// Keyboard input: key down/up with the modifiers pressed before and
// released after; KeyPress is down then up.
void KeyDown(UINT vk, unsigned mods = 0, bool repeat = false);
void KeyUp(UINT vk, unsigned mods = 0);
void KeyPress(UINT vk, unsigned mods = 0);
// A character the back-end reports on its own (text input).
void TypeChar(char ch);

// Mouse input at screen points (button 1 left, 2 middle, 3 right), in the
// screen's device pixels.
void MouseMove(int x, int y);
void MouseDown(int x, int y, int button = 1);
void MouseUp(int x, int y, int button = 1);
void Click(int x, int y, int button = 1);
// A left-button drag from (x, y) by (dx, dy), running the queue empty
// after the press, the move and the release.
void DragBy(int x, int y, int dx, int dy);
void DoubleClick(int x, int y);
void Wheel(int x, int y, int delta);
// The window manager's close button on a top-level window.
void CloseRequest(HWND topLevel);

// The device pixel of the screen where a window's client pixel (x, y)
// starts (its top-left device pixel).
POINT DevicePoint(HWND hwnd, int x, int y);

// The composed screen and single pixels (0x00RRGGBB), in device pixels.
const gdi::Surface &Screen();
uint32_t ScreenPixel(int x, int y);
bool SaveScreen(const char *pngPath);

// The clock behind message times and double-clicks.
void SetClock(DWORD ms);
void AdvanceClock(DWORD ms);

// Retrieves and dispatches everything pending, never blocking. Returns the
// number of messages dispatched; stops at WM_QUIT (left for the caller to
// see through QuitSeen).
int RunUntilIdle();
// True once PostQuitMessage was called and WM_QUIT not retrieved yet, or
// RunUntilIdle met WM_QUIT; `code` gets the exit code.
bool QuitSeen(int *code = nullptr);

size_t LiveWindowCount();

}  // namespace win32::testing
