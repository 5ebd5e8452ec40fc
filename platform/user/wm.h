// The window manager's record of each window and the lookups every file of
// user/ needs. Each concern has a header of its own; the state behind it is
// kept in the one file that owns it and reached only through functions.
//
//   window.cpp       the window table (here); the z-order (zorder.h);
//                    creation, destruction, relations
//   geometry.cpp     rectangles, origins, visibility (here); surfaces,
//                    sizing, showing and native windows (geometry.h)
//   class.cpp        window classes (class.h)
//   paint.cpp        update regions, WM_PAINT, presenting (paint.h)
//   focus.cpp        focus, activation, capture (focus.h)
//   input.cpp        back-end events to mouse messages, the pointer (input.h)
//   keyboard.cpp     key state, key messages, characters (keyboard.h)
//   message.cpp      the queue: posting, retrieving, dispatching (queue.h)
//   frame.cpp        what the default window procedure asks (frame.h)
//   defwnd.cpp       the default window procedure
//   window_long.cpp  the window longs
//   metrics.cpp      system metrics and the screen's size (here)
//   testing.cpp      the test seam; starts each part over (session.h)
//
// One thread, one queue.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/display/backend.h"
#include "platform/gdi/gdi_internal.h"

namespace win32::wm {

struct WindowClass {
    std::string name;  // as registered
    ATOM atom = 0;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int clsExtra = 0;
    int wndExtra = 0;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    std::string menuName;
    bool global = false;  // registered with a null instance (system classes)
    int windows = 0;      // live windows of this class
};

struct Insets {
    int left = 0, top = 0, right = 0, bottom = 0;
};

struct Window {
    HWND hwnd = nullptr;
    std::shared_ptr<WindowClass> cls;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    LONG_PTR id = 0;
    HINSTANCE instance = nullptr;
    LONG_PTR userData = 0;
    HWND parent = nullptr;       // child windows only
    HWND owner = nullptr;        // top-level windows only
    std::vector<HWND> children;  // z-order, top first
    RECT rect{};                 // window rect: parent's client coordinates (children) or screen
    std::string text;
    std::vector<unsigned char> extra;

    // Painting.
    gdi::Region update;  // client coordinates
    bool erase = false;
    bool ncPaint = false;
    bool needSizeMove = true;  // first WM_SIZE/WM_MOVE not sent yet
    bool minimized = false;
    SIZE lastSize{-1, -1};  // client size last reported with WM_SIZE

    // Top-level windows: the native window and the client-area surface.
    display::NativeId native = 0;
    bool nativeShown = false;
    std::unique_ptr<gdi::Surface> surface;

    std::optional<gdi::Region> shape;  // window region, window coordinates

    bool destroying = false;
    bool destroyedSent = false;
};

inline bool IsTopLevel(const Window &w) {
    return (w.style & WS_CHILD) == 0;
}

// The window table (window.cpp).
//
// Looks a live window up; null for a stale handle.
Window *WindowOf(HWND h);
// The top-level whose native window this is; null for none.
Window *WindowOfNative(display::NativeId id);
// How many windows live.
size_t WindowCount();
// The top-level windows in z-order, top first.
const std::vector<HWND> &TopLevels();
Window *TopLevelOf(Window *w);
// Sends to a window; 0 for a stale handle.
LRESULT Send(HWND h, UINT msg, WPARAM wp, LPARAM lp);

// The screen's size from the display; GDI hears of it too (metrics.cpp).
SIZE ScreenSize();

// Where a window is (geometry.cpp).
Insets NonClientInsets(const Window &w);
RECT ClientRectInParent(const Window &w);  // client area in the parent's client coords (or screen)
POINT ClientOriginScreen(const Window &w);
POINT WindowOriginScreen(const Window &w);
bool IsVisibleChain(const Window &w);
bool IsEnabledChain(const Window &w);

}  // namespace win32::wm
