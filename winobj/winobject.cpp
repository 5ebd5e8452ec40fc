// The window object framework: binding, dispatcher, creation, destruction
// and the non-blocking message pump.
#include "winobj/winobject.h"

#include "app/mainwnd.h"
#include "winobj/pushbutton.h"

CWinObject::CWinObject() : hwnd(0), exStyle(0) {}

int CWinObject::Create(HWND, int, LPCSTR, int, int, int, int) {
    MessageBoxA(0, "Missing Create", "App Error", MB_ICONWARNING);
    return 0;
}

LRESULT CWinObject::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return OnCreate() ? 0 : -1;
        case WM_DESTROY:
            OnDestroy();
            Shutdown();
            PostDestroy();
            return 0;
        case WM_ENDSESSION:
            OnEndSession(wParam, lParam);
            if (wParam != 0) Shutdown();
            return 0;
        case WM_DRAWITEM:
            OnDrawItem(wParam, lParam);
            return 1;
        case WM_QUERYENDSESSION:
            return OnQueryEndSession();
        case WM_VKEYTOITEM:
            return OnVKeyToItem(wParam);
        case WM_CTLCOLORLISTBOX:
            return OnCtlColorListBox(wParam, lParam);
        case WM_NOTIFY: {
            NMHDR *header = reinterpret_cast<NMHDR *>(lParam);
            CPushButton *control =
                reinterpret_cast<CPushButton *>(GetWindowLongPtrA(header->hwndFrom, GWLP_USERDATA));
            if (control != 0) return control->OnNotify(header);
            OnNotify(wParam, lParam);
            return 0;
        }
        case WM_CHAR:
            OnChar(wParam, lParam);
            return 0;
        case WM_CLOSE:
            OnClose();
            return 0;
        case WM_COMMAND:
            OnCommand(wParam, lParam);
            return 0;
        case WM_CONTEXTMENU:
            OnContextMenu(wParam, lParam);
            return 0;
        case WM_DROPFILES:
            OnDropFiles(wParam);
            return 0;
        case WM_INITMENU:
            OnInitMenu();
            return 0;
        case WM_KEYDOWN:
            OnKeyDown(wParam, lParam);
            return 0;
        case WM_KEYUP:
            OnKeyUp(wParam, lParam);
            return 0;
        case WM_KILLFOCUS:
            OnKillFocus();
            return 0;
        case WM_LBUTTONDOWN:
            OnLButtonDown(wParam, lParam);
            return 0;
        case WM_LBUTTONUP:
            OnLButtonUp(wParam, lParam);
            return 0;
        case WM_MENUSELECT:
            OnMenuSelect(wParam, lParam);
            return 0;
        case WM_MOUSEMOVE:
            OnMouseMove(wParam, lParam);
            return 0;
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_RBUTTONDOWN:
            OnRButtonDown(wParam, lParam);
            return 0;
        case WM_RBUTTONUP:
            OnRButtonUp(wParam, lParam);
            return 0;
        case WM_SETFOCUS:
            OnSetFocus();
            return 0;
        case WM_SIZE:
            OnSize(wParam, lParam);
            return 0;
        case WM_SYSCOLORCHANGE:
            OnSysColorChange();
            return 0;
        case WM_SYSKEYDOWN:
            OnSysKeyDown(wParam, lParam);
            return 0;
        case WM_SYSKEYUP:
            OnSysKeyUp(wParam, lParam);
            return 0;
        case WM_TIMER:
            OnTimer(wParam);
            return 0;
        default:
            if (OnUnhandled(message, wParam, lParam)) return 0;
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

void CWinObject::PostDestroy() {}
int CWinObject::OnUnhandled(UINT, WPARAM, LPARAM) {
    return 0;
}
int CWinObject::Shutdown() {
    return 0;
}
void CWinObject::OnChar(WPARAM, LPARAM) {}
int CWinObject::OnClose() {
    return Destroy();
}
void CWinObject::OnCommand(WPARAM, LPARAM) {}
void CWinObject::OnContextMenu(WPARAM, LPARAM) {}
int CWinObject::OnCreate() {
    return 0;
}
LRESULT CWinObject::OnCtlColorListBox(WPARAM, LPARAM) {
    return 0;
}
void CWinObject::OnDestroy() {}
void CWinObject::OnDrawItem(WPARAM, LPARAM) {}
void CWinObject::OnDropFiles(WPARAM) {}
void CWinObject::OnEndSession(WPARAM, LPARAM) {}
void CWinObject::OnInitMenu() {}
void CWinObject::OnKeyDown(WPARAM, LPARAM) {}
void CWinObject::OnKeyUp(WPARAM, LPARAM) {}
void CWinObject::OnKillFocus() {}
void CWinObject::OnLButtonDown(WPARAM, LPARAM) {}
void CWinObject::OnLButtonUp(WPARAM, LPARAM) {}
int CWinObject::OnMenuSelect(WPARAM, LPARAM) {
    return 0;
}
void CWinObject::OnMouseMove(WPARAM, LPARAM) {}
int CWinObject::OnNotify(WPARAM, LPARAM) {
    return 0;
}

void CWinObject::OnPaint() {
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    EndPaint(hwnd, &ps);
}

int CWinObject::OnQueryEndSession() {
    return 1;
}
void CWinObject::OnRButtonDown(WPARAM, LPARAM) {}
void CWinObject::OnRButtonUp(WPARAM, LPARAM) {}
void CWinObject::OnSetFocus() {}
void CWinObject::OnSize(WPARAM, LPARAM) {}
void CWinObject::OnSysColorChange() {}
void CWinObject::OnSysKeyDown(WPARAM, LPARAM) {}
void CWinObject::OnSysKeyUp(WPARAM, LPARAM) {}
void CWinObject::OnTimer(WPARAM) {}
int CWinObject::OnVKeyToItem(WPARAM) {
    return -1;
}

int CWinObject::CreateObjectWindow(LPCSTR className, HWND parent, HMENU menuOrId, LPCSTR title, int x, int y,
                                   int width, int height) {
    if (hwnd == 0) {
        hwnd = CreateWindowExA(exStyle, className, title, style, x, y, width, height, parent, menuOrId,
                               AppInstance, this);
    }
    return hwnd != 0 ? 1 : 0;
}

int CWinObject::Destroy() {
    if (!DestroyWindow(hwnd)) return 0;
    hwnd = 0;
    return 1;
}

LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        CREATESTRUCTA *create = reinterpret_cast<CREATESTRUCTA *>(lParam);
        CWinObject *object = static_cast<CWinObject *>(create->lpCreateParams);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
        if (object != 0) object->hwnd = window;
    }
    CWinObject *object = reinterpret_cast<CWinObject *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (object != 0) return object->WindowProc(message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

int PumpPendingMessages() {
    MSG msg;
    while (PeekMessageA(&msg, 0, 0, 0, PM_NOREMOVE)) {
        if (msg.message == WM_QUIT) return 1;
        GetMessageA(&msg, 0, 0, 0);
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
