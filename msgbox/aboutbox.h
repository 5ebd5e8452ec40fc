// CAboutBox: the elliptical about box, a message box with the program's
// icon, the about text, a web link and one Ok button.
#pragma once

#include <windows.h>

#include "msgbox/drawhelpers.h"
#include "msgbox/msgbox.h"
#include "winobj/pushbutton.h"

class CAboutBox : public CMsgBox {
public:
    int linkCreated;         // 1 once this showing's first paint made the link button
    int boxWidth;            // client width + 1: the width of the elliptic region
    int boxHeight;           // client height + 1: the height of the elliptic region
    RECT linkRect;           // the link text's rectangle in client coordinates
    CTextFont linkFont;      // the link's font and colour
    CPushButton linkButton;  // owner-drawn button covering the link text

    CAboutBox();

    void OnDrawItem(WPARAM wParam, LPARAM lParam) override;
    void OnPaint() override;
    void OnOtherCommand(int id, LPARAM lParam) override;
    int CreateButtons() override;
    int CreateBoxWindow() override;
};

// The one about box of the program.
extern CAboutBox AboutBox;
