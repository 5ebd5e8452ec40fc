// The elliptical about box, and the program's static message-box objects.
#include "msgbox/aboutbox.h"

#include <shellapi.h>

#include <cstdlib>

CAboutBox::CAboutBox()
    : linkCreated(0), boxWidth(0), boxHeight(0), linkRect{0, 0, 0, 0}, linkFont(), linkButton(0) {}

int CAboutBox::CreateBoxWindow() {
    int width = widestLine + 4 * maxCharWidth;
    int height = (lineCount + (caption[0] != '\0' ? 10 : 8)) * lineHeight;
    style = WS_POPUP | WS_VISIBLE;
    RECT client = {0, 0, 0, 0};
    GetClientRect(owner, &client);
    int created =
        CreateObjectWindow("CMSGCLASS", owner, 0, "", client.right / 2, client.bottom / 2, width, height);
    linkCreated = 0;
    return created;
}

int CAboutBox::CreateButtons() {
    RECT client = {0, 0, 0, 0};
    GetClientRect(hwnd, &client);
    boxWidth = client.right - client.left + 1;
    boxHeight = client.bottom - client.top + 1;

    HRGN region = CreateEllipticRgn(0, 0, boxWidth, boxHeight);
    // The window owns the region only when it took it.
    if (!SetWindowRgn(hwnd, region, TRUE)) DeleteObject(region);
    SetWindowPos(hwnd, 0, 0, 0, boxWidth, boxHeight, SWP_NOMOVE);

    MsgBoxButtons[0].Create(hwnd, 0, "&Ok", client.right / 2 - 30, client.bottom - 3 * lineHeight, 60, 30);
    buttonResults[0] = IDOK;
    MsgBoxButtonCount = 1;
    return 1;
}

void CAboutBox::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);

    HBRUSH brush = CreateSolidBrush(backColor);
    HPEN pen = CreatePen(PS_SOLID, 3, RGB(255, 0, 0));
    HGDIOBJ previousBrush = SelectObject(dc, brush);
    HGDIOBJ previousPen = SelectObject(dc, pen);
    Ellipse(dc, 1, 1, boxWidth - 2, boxHeight - 2);
    SelectObject(dc, previousPen);
    SelectObject(dc, previousBrush);
    DeleteObject(pen);
    DeleteObject(brush);

    if (icon != 0) DrawIcon(dc, boxWidth / 2 - 16, 18, icon);

    SetTextColor(dc, textColor);
    SetBkColor(dc, backColor);
    int y = 2 * lineHeight + 32;
    if (messageText != 0) {
        ForEachLine(messageText, [&](LPCSTR line, int length) {
            SIZE size = {0, 0};
            GetTextExtentPoint32A(dc, line, length, &size);
            TextOutA(dc, (boxWidth - size.cx) / 2, y, line, length);
            y += lineHeight;
        });
    }

    if (caption[0] != '\0' && !linkCreated) {
        linkFont.logFont.lfUnderline = 1;
        linkFont.textColor = RGB(0, 0, 128);
        linkFont.SetFaceAndSize(dc, "MS Sans Serif", 12);
        linkFont.Apply(dc);
        SIZE size = {0, 0};
        GetTextExtentPoint32A(dc, caption, lstrlenA(caption), &size);
        linkRect.left = (boxWidth - size.cx) / 2;
        linkRect.right = linkRect.left + size.cx;
        linkRect.top = y + lineHeight;
        linkRect.bottom = linkRect.top + size.cy;
        linkButton.style = WS_CHILD | WS_VISIBLE | BS_OWNERDRAW;
        linkButton.Create(hwnd, 0, "", linkRect.left, linkRect.top, size.cx, size.cy);
        linkCreated = 1;
    }
    EndPaint(hwnd, &ps);
}

void CAboutBox::OnDrawItem(WPARAM, LPARAM lParam) {
    if (linkButton.controlId == 0) return;
    const DRAWITEMSTRUCT *item = reinterpret_cast<const DRAWITEMSTRUCT *>(lParam);
    linkFont.Apply(item->hDC);
    SetBkColor(item->hDC, backColor);
    TextOutA(item->hDC, 0, 0, caption, lstrlenA(caption));
}

// Only a command from the link button itself opens the link; a command
// without a control window (lParam 0) never matches a button that has not
// been made.
void CAboutBox::OnOtherCommand(int, LPARAM lParam) {
    if (lParam == 0 || lParam != reinterpret_cast<LPARAM>(linkButton.hwnd)) return;
    ShellExecuteA(GetParent(hwnd), "open", caption, "", "", SW_SHOWNORMAL);
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(LOWORD(MsgBoxButtons[0].controlId), 0), 0);
}

// The static objects, in the order they must be built: the about box (its
// message-box part registers the window class), the exit-time release of
// its link font, then the buttons every message box shares.
CAboutBox AboutBox;

namespace {
void ReleaseAboutBoxLinkFont() {
    AboutBox.linkFont.Release();
}
[[maybe_unused]] const int AboutBoxExitActionRegistered = std::atexit(ReleaseAboutBoxLinkFont);
}  // namespace

CPushButton MsgBoxButtons[3] = {CPushButton(0), CPushButton(0), CPushButton(0)};
