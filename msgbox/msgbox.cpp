// The modal message box.
#include "msgbox/msgbox.h"

#include <new>

#include "app/mainwnd.h"

int MsgBoxButtonCount = 0;
int MsgBoxFocusIndex = 0;
WNDPROC SavedButtonProc = 0;
int MsgBoxClassRegistered = 0;

namespace {

// Shown in place of the message when its copy cannot be allocated; never
// released.
char OutOfMemoryText[] = "Out of memory";

int Larger(int a, int b) {
    return a > b ? a : b;
}

WPARAM CommandFor(const CPushButton &button) {
    return MAKEWPARAM(LOWORD(button.controlId), 0);
}

}  // namespace

CMsgBox::CMsgBox()
    : running(0),
      owner(0),
      icon(0),
      maxCharWidth(0),
      lineHeight(0),
      lineCount(0),
      widestLine(0),
      result(0),
      buttonResults{0, 0, 0},
      type(0),
      textColor(0),
      backColor(0),
      messageText(0),
      caption(0),
      textRect{0, 0, 0, 0} {
    CMsgBox::RegisterWindowClass();
}

int CMsgBox::Show(HWND ownerWindow, LPCSTR text, LPCSTR captionText, UINT typeFlags, int iconId,
                  COLORREF textColour, COLORREF backColour, COLORREF shadowColour) {
    owner = ownerWindow;
    type = typeFlags;
    textColor = textColour;
    backColor = backColour;
    running = 1;
    result = 0;
    frame.highlightColor = RGB(255, 255, 255);
    frame.shadowColor = shadowColour;
    CopyText(text);
    caption = captionText != 0 ? captionText : "";

    HINSTANCE iconModule = 0;
    LPCSTR iconName = ChooseIcon(iconId, &iconModule);
    if (!Measure(text, iconName != 0)) {
        ReleaseText();
        running = 0;
        return 0;
    }

    CreateBoxWindow();
    OnWindowCreated();
    icon = iconName != 0 ? LoadIconA(iconModule, iconName) : 0;

    // Without a window nothing could ever end the loop.
    if (hwnd == 0) {
        ReleaseText();
        running = 0;
        return 0;
    }
    EnableWindow(owner, FALSE);
    RunModalLoop();
    return result;
}

void CMsgBox::CopyText(LPCSTR text) {
    messageText = new (std::nothrow) char[lstrlenA(text) + 2];
    if (messageText != 0) {
        lstrcpyA(messageText, text);
    } else {
        messageText = OutOfMemoryText;
    }
}

LPCSTR CMsgBox::ChooseIcon(int iconId, HINSTANCE *module) const {
    *module = 0;
    switch (type & 0xF0) {
        case MB_ICONHAND:
            return IDI_HAND;
        case MB_ICONQUESTION:
            return IDI_QUESTION;
        case MB_ICONEXCLAMATION:
            return IDI_EXCLAMATION;
        case MB_ICONASTERISK:
            return IDI_ASTERISK;
        default:
            if (iconId == 0) return 0;
            *module = AppInstance;
            return MAKEINTRESOURCEA(iconId);
    }
}

int CMsgBox::Measure(LPCSTR text, bool withIcon) {
    HDC ic = CreateICA("DISPLAY", 0, 0, 0);
    TEXTMETRICA tm;
    if (ic == 0 || !GetTextMetricsA(ic, &tm)) {
        if (ic != 0) DeleteDC(ic);
        return 0;
    }
    maxCharWidth = tm.tmMaxCharWidth;
    lineHeight = tm.tmHeight + tm.tmExternalLeading;
    lineCount = 0;
    widestLine = 0;
    ForEachLine(text, [&](LPCSTR line, int length) {
        SIZE size = {0, 0};
        GetTextExtentPoint32A(ic, line, length, &size);
        widestLine = Larger(widestLine, size.cx);
        ++lineCount;
    });

    int contentWidth;
    if (withIcon) {
        textRect.left = 64;
        contentWidth = widestLine + 4 * maxCharWidth + 64;
    } else {
        SIZE size = {0, 0};
        GetTextExtentPoint32A(ic, caption, lstrlenA(caption), &size);
        widestLine = Larger(widestLine, size.cx);
        textRect.left = 8;
        contentWidth = widestLine + 4 * maxCharWidth + 8;
    }
    textRect.right = Larger(contentWidth, MinimumContentWidth());
    DeleteDC(ic);
    return 1;
}

int CMsgBox::MinimumContentWidth() const {
    switch (type & 0xF) {
        case MB_OKCANCEL:
        case MB_YESNO:
            return 10 * lineHeight;
        case MB_YESNOCANCEL:
            return 13 * lineHeight;
        default:
            return 0;
    }
}

void CMsgBox::RunModalLoop() {
    while (running) {
        if (PumpPendingMessages()) {
            // A quit request ends the box; it stays queued for the loop that
            // owns the queue.
            result = 0;
            if (hwnd != 0) OnClose();
            running = 0;
        } else if (running) {
            WaitMessage();
        }
    }
}

int CMsgBox::CreateBoxWindow() {
    textRect.top = lineHeight;
    textRect.bottom = lineHeight * (lineCount + 1) + 8;
    int width = textRect.right + 16;
    int height = lineHeight * (lineCount + 6);
    RECT client = {0, 0, 0, 0};
    GetClientRect(owner, &client);
    int x = client.right / 2 - width / 2;
    int y = client.bottom / 2 - height / 2;
    style = WS_POPUP | WS_VISIBLE | WS_CAPTION;
    return CreateObjectWindow("CMSGCLASS", owner, 0, caption, x, y, width, height);
}

int CMsgBox::OnCreate() {
    CreateButtons();
    switch (type & 0xF00) {
        case MB_DEFBUTTON2:
            MsgBoxFocusIndex = 1;
            break;
        case MB_DEFBUTTON3:
            MsgBoxFocusIndex = 2;
            break;
        default:
            MsgBoxFocusIndex = 0;
            break;
    }
    SetFocus(MsgBoxButtons[MsgBoxFocusIndex].hwnd);
    SavedButtonProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(MsgBoxButtons[0].hwnd, GWLP_WNDPROC));
    for (int i = 0; i < MsgBoxButtonCount; ++i) {
        SetWindowLongPtrA(MsgBoxButtons[i].hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ButtonKeyProc));
    }
    CenterWindow(hwnd);
    return 1;
}

int CMsgBox::CreateButtons() {
    RECT client = {0, 0, 0, 0};
    GetClientRect(hwnd, &client);
    int cx = client.right / 2;
    int y = client.bottom - 2 * lineHeight;
    switch (type & 0xF) {
        case MB_OKCANCEL:
            MsgBoxButtons[0].Create(hwnd, 0, "&Ok", cx - 70, y, 60, 30);
            MsgBoxButtons[1].Create(hwnd, 0, "&Cancel", cx + 10, y, 60, 30);
            buttonResults[0] = IDOK;
            buttonResults[1] = IDCANCEL;
            MsgBoxButtonCount = 2;
            break;
        case MB_YESNO:
            MsgBoxButtons[0].Create(hwnd, 0, "&Yes", cx - 70, y, 60, 30);
            MsgBoxButtons[1].Create(hwnd, 0, "&No", cx + 10, y, 60, 30);
            buttonResults[0] = IDYES;
            buttonResults[1] = IDNO;
            MsgBoxButtonCount = 2;
            break;
        case MB_YESNOCANCEL:
            MsgBoxButtons[0].Create(hwnd, 0, "&Yes", cx - 100, y, 60, 30);
            MsgBoxButtons[1].Create(hwnd, 0, "&No", cx - 30, y, 60, 30);
            MsgBoxButtons[2].Create(hwnd, 0, "&Cancel", cx + 40, y, 60, 30);
            buttonResults[0] = IDYES;
            buttonResults[1] = IDNO;
            buttonResults[2] = IDCANCEL;
            MsgBoxButtonCount = 3;
            break;
        default:
            MsgBoxButtons[0].Create(hwnd, 0, "&Ok", cx - 30, y, 60, 30);
            buttonResults[0] = IDOK;
            MsgBoxButtonCount = 1;
            break;
    }
    return 1;
}

LRESULT CALLBACK ButtonKeyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND focus = GetFocus();
    for (int i = 0; i < MsgBoxButtonCount; ++i) {
        if (MsgBoxButtons[i].hwnd == focus) {
            MsgBoxFocusIndex = i;
            break;
        }
    }
    if (message == WM_KEYDOWN && MsgBoxButtonCount > 0) {
        switch (wParam) {
            case VK_TAB:
            case VK_RIGHT:
                MsgBoxFocusIndex = (MsgBoxFocusIndex + 1) % MsgBoxButtonCount;
                SetFocus(MsgBoxButtons[MsgBoxFocusIndex].hwnd);
                break;
            case VK_LEFT:
                MsgBoxFocusIndex = MsgBoxFocusIndex - 1;
                if (MsgBoxFocusIndex < 0) MsgBoxFocusIndex = MsgBoxButtonCount - 1;
                SetFocus(MsgBoxButtons[MsgBoxFocusIndex].hwnd);
                break;
            case VK_RETURN:
                SendMessageA(GetParent(window), WM_COMMAND, CommandFor(MsgBoxButtons[MsgBoxFocusIndex]), 0);
                break;
            default: {
                char key = static_cast<char>(wParam & 0xFF);
                for (int i = 0; i < MsgBoxButtonCount; ++i) {
                    if (MsgBoxButtons[i].mnemonic == key) {
                        SendMessageA(GetParent(window), WM_COMMAND, CommandFor(MsgBoxButtons[i]), 0);
                        break;
                    }
                }
                break;
            }
        }
    }
    return CallWindowProcA(SavedButtonProc, window, message, wParam, lParam);
}

void CMsgBox::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (HIWORD(wParam) != 0) return;
    int id = LOWORD(wParam);
    if (id == MsgBoxButtons[0].controlId) {
        result = buttonResults[0];
    } else if (id == MsgBoxButtons[1].controlId) {
        result = buttonResults[1];
    } else if (id == MsgBoxButtons[2].controlId) {
        result = buttonResults[2];
    } else {
        OnOtherCommand(id, lParam);
    }
    if (result != 0) {
        PostMessageA(hwnd, WM_CLOSE, 0, 0);
        running = 0;
    }
}

// Also reached by a close request that came from no button (Alt+F4, the
// window manager): it ends Show's loop too, with the result left as it is.
int CMsgBox::OnClose() {
    EnableWindow(owner, TRUE);
    int destroyed = Destroy();
    ReleaseText();
    running = 0;
    return destroyed;
}

void CMsgBox::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    HBRUSH brush = CreateSolidBrush(backColor);
    FillRect(dc, &ps.rcPaint, brush);
    DeleteObject(brush);

    if (icon != 0) {
        DrawIcon(dc, 16, textRect.top + (textRect.bottom - textRect.top) / 2 - 16, icon);
        frame.SetFrameRect(textRect);
        frame.DrawEtchedFrame(dc);
    }

    SetTextColor(dc, textColor);
    SetBkColor(dc, backColor);
    int y = textRect.top + 3;
    if (messageText != 0) {
        ForEachLine(messageText, [&](LPCSTR line, int length) {
            SIZE size = {0, 0};
            GetTextExtentPoint32A(dc, line, length, &size);
            TextOutA(dc, textRect.left + (textRect.right - textRect.left - size.cx) / 2, y, line, length);
            y += lineHeight;
        });
    }
    EndPaint(hwnd, &ps);
}

void CMsgBox::OnLButtonDown(WPARAM, LPARAM) {
    SendMessageA(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, 0x00050005);
}

void CMsgBox::OnSetFocus() {
    SetFocus(MsgBoxButtons[MsgBoxFocusIndex].hwnd);
}

int CMsgBox::RegisterWindowClass() {
    if (MsgBoxClassRegistered) return 0;
    WNDCLASSA wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = StaticWindowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 4;
    wc.hInstance = AppInstance;
    wc.hIcon = 0;
    wc.hCursor = LoadCursorA(0, IDC_ARROW);
    wc.hbrBackground = 0;
    wc.lpszMenuName = 0;
    wc.lpszClassName = "CMSGCLASS";
    if (!RegisterClassA(&wc)) return 0;
    MsgBoxClassRegistered = 1;
    return 1;
}

void CMsgBox::OnWindowCreated() {}

void CMsgBox::OnOtherCommand(int, LPARAM) {}

void CMsgBox::ReleaseText() {
    if (messageText != 0 && messageText != OutOfMemoryText) delete[] messageText;
    messageText = 0;
}
