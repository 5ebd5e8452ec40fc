// Private to user/: the window manager's state shared by its files:
// classes, the window tree, the queue, focus and capture. One thread, one
// queue.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/common/classic.h"
#include "platform/common/handles.h"
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

struct State {
    HandleTable<Window> windows{HandleKind::Window};
    std::vector<std::shared_ptr<WindowClass>> classes;
    ATOM nextAtom = 0xC000;
    bool systemClassesRegistered = false;
    bool registeringSystemClasses = false;

    std::vector<HWND> topLevels;  // z-order, top first

    std::deque<MSG> posted;
    std::deque<display::Event> raw;
    std::deque<MSG> input;
    bool quitPending = false;
    int quitCode = 0;
    bool newArrivals = false;

    HWND focus = nullptr;
    HWND active = nullptr;
    HWND capture = nullptr;

    // Keyboard: async state as input arrives, sync state as messages are retrieved.
    BYTE asyncKeys[256] = {};
    BYTE syncKeys[256] = {};
    int pendingChar[256] = {};  // character the back-end reported for a key, +1

    POINT cursor{0, 0};
    LONG lastMessageTime = 0;
    DWORD lastMessagePos = 0;

    // Double-click tracking.
    HWND lastClickWnd = nullptr;
    UINT lastClickMsg = 0;
    DWORD lastClickTime = 0;
    POINT lastClickPt{0, 0};

    // Moving a window with the pointer ourselves (back-end could not).
    HWND moving = nullptr;
    POINT moveOffset{0, 0};
    // The pointer on the screen as the window system last told it.
    POINT pointerRoot{0, 0};

    // The top-level the back-end is resizing (its native window is already there).
    HWND configuring = nullptr;

    // Top-levels shown whose native windows are mapped at the next read of
    // the queue.
    std::vector<HWND> pendingMaps;
    // The scroll bar that tracks the mouse.
    HWND scrollTracking = nullptr;

    int cascade = 0;  // CW_USEDEFAULT cascade step
};

State &WmState();

// Looks a live window up; null for a stale handle.
Window *WindowOf(HWND h);

// The screen's size from the display; GDI hears of it too.
SIZE ScreenSize();

// Classes.
void EnsureSystemClasses();
std::shared_ptr<WindowClass> FindClass(LPCSTR name, HINSTANCE instance);

// Geometry.
Insets NonClientInsets(const Window &w);
RECT ClientRectInParent(const Window &w);  // client area in the parent's client coords (or screen)
POINT ClientOriginScreen(const Window &w);
POINT WindowOriginScreen(const Window &w);
Window *TopLevelOf(Window *w);
// Where the window's (0,0) window/client corner lies on its top-level surface.
POINT WindowOriginOnSurface(const Window &w);
POINT ClientOriginOnSurface(const Window &w);
bool IsVisibleChain(const Window &w);
// Whether a shown top-level window covers a screen point (its region too).
bool CoversPoint(const Window &w, POINT pt);
// The deepest visible, enabled window of a top-level's tree at a screen
// point the top-level covers.
HWND DeepestWindowAt(Window &top, POINT pt);
bool IsEnabledChain(const Window &w);
// Visible area of a window in surface coordinates.
gdi::Region VisibleRegion(const Window &w, bool client, bool clipChildren);
void ResizeSurface(Window &top);
// Gives the top-level's surface its pixels before it is first drawn or shown.
void EnsureSurfacePixels(Window &top);
void EnsureNative(Window &top);

// Painting.
void InvalidateTree(HWND h, bool erase, bool frame);
void InvalidateClient(Window &w, const gdi::Region &r, bool erase);
void Present(Window &w, const RECT &clientRect);
HWND NextWindowToPaint(HWND filter);
bool PaintPending(const Window &w);
void PresentSurfaceRect(Window &top, RECT surfaceRect);
HBRUSH ClassBrush(const Window &w);
void DrawNonClient(HWND h);
bool SetPos(HWND h, int x, int y, int cx, int cy, UINT flags);
void SendNcPaint(HWND h);

// Focus and activation.
void Activate(HWND h, WORD how, bool fromBackend);
void ClearFocusIfIn(HWND root);
void ReleaseCaptureIfIn(HWND root);

// Input.
bool ConvertOneRawEvent();
DWORD Now();
void StartMoveDrag(HWND h, POINT screen);
// The window system placed a top-level's client area at `client` (screen
// coordinates): the layer follows without moving the native window again.
void NativeClientMoved(Window &top, const RECT &client);
// Asks the window system where a top-level is when the back-end cannot
// trust what it last heard, and follows.
void RefreshNativePosition(Window &top);
void QueueInput(HWND h, UINT msg, WPARAM wp, LPARAM lp, DWORD time);

// The keyboard: key state (bit 0x80 down, bit 1 toggled), the key state as
// the window system reports it, key events and retrieved key messages.
bool KeyIsDown(const BYTE *keys, int vk);
void SetKeyDown(BYTE *keys, UINT vk, bool down);
void SyncModifiers(const display::Event &ev);
void Key(const display::Event &ev);
void NoteRetrieved(const MSG &m);

// What the default window procedure asks of the window manager (frame.cpp).
LRESULT NonClientHitTest(HWND h, POINT screen);
void WindowToClient(HWND h, RECT *r);  // a window rectangle less the frame, caption and bar
std::string *WindowText(HWND h);       // never null for a live window
void TitleChanged(HWND h);
void MoveByCaption(HWND h);
bool ScrollBarClick(HWND h, UINT msg, POINT screen);
void ReportSizeAndMove(HWND h, const WINDOWPOS &pos);
bool IsMinimized(HWND h);
HBRUSH ClassBrush(HWND h);

// Destruction and z-order.
bool DestroyImpl(HWND h);
void BringToTop(HWND h);
void ForgetWindowMessages(HWND h);

// Sends to a window; 0 for a stale handle.
LRESULT Send(HWND h, UINT msg, WPARAM wp, LPARAM lp);

inline bool IsTopLevel(const Window &w) {
    return (w.style & WS_CHILD) == 0;
}

}  // namespace win32::wm
