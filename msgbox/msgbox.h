// CMsgBox: the program's own modal message box, a window object with an
// icon, centred lines of text and one of four button sets, taking its type
// flags and result codes in the Win32 message-box encoding.
#pragma once

#include <windows.h>

#include "msgbox/drawhelpers.h"
#include "winobj/pushbutton.h"
#include "winobj/winobject.h"

class CMsgBox : public CWinObject {
public:
    int running;           // 1 while Show's loop is to go on
    HWND owner;            // parent of the box, disabled while it is open
    HICON icon;            // the icon shown, or null
    int maxCharWidth;      // tmMaxCharWidth of the measuring context
    int lineHeight;        // tmHeight + tmExternalLeading of the measuring context
    int lineCount;         // lines of the message text
    int widestLine;        // widest line (and, without icon, at least the caption)
    int result;            // what Show returns; 0 until a button ends the box
    int buttonResults[3];  // result codes of the shared buttons for this box
    UINT type;             // the type flags given to Show
    COLORREF textColor;
    COLORREF backColor;
    LPSTR messageText;  // the box's copy of the text, or the fixed out-of-memory text
    LPCSTR caption;     // title here, link address in the about box; not copied
    RECT textRect;      // text area; right and bottom are the outline's last column and row
    CEtchedFrame frame;

    CMsgBox();

    // Shows the box modally and returns the result code of the button that
    // ended it (0 when the box could not be shown or was closed otherwise).
    int Show(HWND ownerWindow, LPCSTR text, LPCSTR captionText, UINT typeFlags, int iconId,
             COLORREF textColour, COLORREF backColour, COLORREF shadowColour);

    // Replaced operations of CWinObject.
    int RegisterWindowClass() override;
    int OnClose() override;
    void OnCommand(WPARAM wParam, LPARAM lParam) override;
    int OnCreate() override;
    void OnLButtonDown(WPARAM wParam, LPARAM lParam) override;
    void OnPaint() override;
    void OnSetFocus() override;

    // Operations of the message box, after the 36 of CWinObject.
    virtual void OnWindowCreated();
    virtual void OnOtherCommand(int id, LPARAM lParam);
    virtual int CreateButtons();
    virtual int CreateBoxWindow();

protected:
    // Show's steps. CopyText points messageText at a copy of the text, or
    // at the fixed out-of-memory text. ChooseIcon names the icon the type
    // flags or iconId ask for (null for none) and sets *module to the
    // module it is loaded from. Measure takes the display's default font
    // metrics, the text's lines and the text area's left and right edges;
    // 0 when no information context or metrics can be had.
    // MinimumContentWidth is what the button set needs. RunModalLoop
    // dispatches until the box ends or a quit request comes.
    void CopyText(LPCSTR text);
    LPCSTR ChooseIcon(int iconId, HINSTANCE *module) const;
    int Measure(LPCSTR text, bool withIcon);
    int MinimumContentWidth() const;
    void RunModalLoop();
    // Releases the text copy (never the fixed out-of-memory text).
    void ReleaseText();
};

// State shared by all message boxes: at most one box is open at a time.
extern CPushButton MsgBoxButtons[3];
extern int MsgBoxButtonCount;
extern int MsgBoxFocusIndex;
extern WNDPROC SavedButtonProc;
extern int MsgBoxClassRegistered;

// The window procedure installed on the buttons of the open box.
LRESULT CALLBACK ButtonKeyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Calls fn(line, length) for each '\n'-separated line of text; a final '\n'
// makes no empty last line, an empty text has no lines.
template <class F>
void ForEachLine(LPCSTR text, F fn) {
    LPCSTR p = text;
    while (*p != '\0') {
        LPCSTR start = p;
        while (*p != '\0' && *p != '\n') ++p;
        fn(start, static_cast<int>(p - start));
        if (*p == '\n') ++p;
    }
}
