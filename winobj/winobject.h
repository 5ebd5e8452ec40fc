// CWinObject: one object bound to each framework window, whose messages are
// turned into calls of its virtual handlers; and the non-blocking message
// pump used by modal loops.
#pragma once

#include <windows.h>

class CWinObject {
public:
    HWND hwnd;      // the object's window; 0 while it has none
    DWORD style;    // style for CreateWindowExA; set by the derived class
    DWORD exStyle;  // extended style for CreateWindowExA

    CWinObject();

    // The virtual operations, in their fixed slot order.
    virtual int Create(HWND parent, int id, LPCSTR title, int x, int y, int width, int height);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void PostDestroy();
    virtual int OnUnhandled(UINT message, WPARAM wParam, LPARAM lParam);
    virtual int RegisterWindowClass() = 0;
    virtual int Shutdown();
    virtual void OnChar(WPARAM wParam, LPARAM lParam);
    virtual int OnClose();
    virtual void OnCommand(WPARAM wParam, LPARAM lParam);
    virtual void OnContextMenu(WPARAM wParam, LPARAM lParam);
    virtual int OnCreate();
    virtual LRESULT OnCtlColorListBox(WPARAM wParam, LPARAM lParam);
    virtual void OnDestroy();
    virtual void OnDrawItem(WPARAM wParam, LPARAM lParam);
    virtual void OnDropFiles(WPARAM wParam);
    virtual void OnEndSession(WPARAM wParam, LPARAM lParam);
    virtual void OnInitMenu();
    virtual void OnKeyDown(WPARAM wParam, LPARAM lParam);
    virtual void OnKeyUp(WPARAM wParam, LPARAM lParam);
    virtual void OnKillFocus();
    virtual void OnLButtonDown(WPARAM wParam, LPARAM lParam);
    virtual void OnLButtonUp(WPARAM wParam, LPARAM lParam);
    virtual int OnMenuSelect(WPARAM wParam, LPARAM lParam);
    virtual void OnMouseMove(WPARAM wParam, LPARAM lParam);
    virtual int OnNotify(WPARAM wParam, LPARAM lParam);
    virtual void OnPaint();
    virtual int OnQueryEndSession();
    virtual void OnRButtonDown(WPARAM wParam, LPARAM lParam);
    virtual void OnRButtonUp(WPARAM wParam, LPARAM lParam);
    virtual void OnSetFocus();
    virtual void OnSize(WPARAM wParam, LPARAM lParam);
    virtual void OnSysColorChange();
    virtual void OnSysKeyDown(WPARAM wParam, LPARAM lParam);
    virtual void OnSysKeyUp(WPARAM wParam, LPARAM lParam);
    virtual void OnTimer(WPARAM wParam);
    virtual int OnVKeyToItem(WPARAM wParam);

    // Creates the object's window (once); 1 when the object has a window
    // afterwards.
    int CreateObjectWindow(LPCSTR className, HWND parent, HMENU menuOrId, LPCSTR title, int x, int y,
                           int width, int height);
    // Destroys the window; 1 when it was destroyed.
    int Destroy();
};

// The window procedure of every framework window class.
LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Dispatches every queued message of the thread; 1 when a quit request is
// next (left in the queue), 0 when the queue is empty.
int PumpPendingMessages();
