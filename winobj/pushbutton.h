// CPushButton: the object of one push-button child control of the "BUTTON"
// class, bound to it through the control's user data, with a keyboard
// mnemonic, automatic control ids and an optional click callback.
#pragma once

#include <windows.h>

typedef void (*ClickCallbackProc)(void *data, int controlId);

class CPushButton {
public:
    HWND hwnd;                        // the control; 0 until Create succeeds
    DWORD style;                      // style for CreateWindowExA
    DWORD exStyle;                    // extended style for CreateWindowExA
    int controlId;                    // the child-window id
    void *callbackData;               // what the click callback acts on
    ClickCallbackProc clickCallback;  // called on a click; may be null
    int subclassOnCreate;             // non-zero: Create replaces the control's procedure
    char mnemonic;                    // the character after the label's first '&', or 0

    explicit CPushButton(int subclassFlag);

    // The virtual operations, in their fixed slot order.
    virtual int Create(HWND parent, int id, LPCSTR label, int x, int y, int width, int height);
    virtual int OnClicked(int code, int unused);
    virtual void Reserved(int value);
    virtual LRESULT OnNotify(NMHDR *header);
    virtual void SetCallback(void *data, ClickCallbackProc callback);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Steps of Create.
    void AssignControlId();
    int CreateControl(LPCSTR className, HWND parent, LPCSTR label, int x, int y, int width, int height);

    // Replaces the control's window procedure (null: ControlWindowProc);
    // returns the procedure it replaced, or null.
    WNDPROC Subclass(WNDPROC procedure);
};

// The first automatic control id and the last one handed out before the
// counter starts again at the first.
const int FirstAutoControlId = 900;
const int LastAutoControlId = 0xFFFF;

// The next automatic control id.
extern int ControlIdCounter;
// The first non-null window procedure that Subclass replaced.
extern WNDPROC SavedControlProc;

// Sets the window's procedure when the window exists and the procedure is
// non-null; returns the previous procedure, or null when nothing changed.
WNDPROC SubclassWindow(HWND window, WNDPROC procedure);

// The procedure Subclass installs: hands every message to the button object.
LRESULT CALLBACK ControlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The first occurrence of a character in a zero-terminated text, or null;
// the terminator never matches.
LPCSTR FindChar(LPCSTR text, char c);
