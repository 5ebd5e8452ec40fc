// MainWndProc: the main window's procedure. While the window is being
// created it surveys the drives, measures the header band and builds the
// owner-drawn list; afterwards it keeps the list under the band, paints the
// band, colours the list, opens the about box and ends the program.
#include <windows.h>

#include "app/mainwnd.h"
#include "app/res/resource.h"
#include "survey/drive_table.h"
#include "msgbox/aboutbox.h"

HINSTANCE AppInstance;
HBRUSH BackgroundBrush;
HWND MainWindow;
int HeaderHeight;
int ListItemCount;
HWND DriveList;
HICON FixedDriveIcon;
HICON RemovableDriveIcon;

const char HeaderText[] = "Drive  0%             50%             100%    Size         Free";

#define DRIVE_LIST_STYLE \
    (WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NODATA | LBS_NOINTEGRALHEIGHT | LBS_OWNERDRAWFIXED | LBS_NOTIFY)

#define ABOUT_TEXT "Morvalen 1.12\nFree space on all drives at a glance"
#define ABOUT_LINK "https://en.wikipedia.org/wiki/Disk_storage"

namespace {

LRESULT OnCreate(HWND hwnd) {
    // Header band: one line of the fixed-pitch system font.
    HDC hdc = GetDC(hwnd);
    SelectObject(hdc, GetStockObject(SYSTEM_FIXED_FONT));
    TEXTMETRICA tm;
    GetTextMetricsA(hdc, &tm);
    HeaderHeight = tm.tmHeight + tm.tmExternalLeading;
    ReleaseDC(hwnd, hdc);

    ListItemCount = SurveyDrives() + 1;

    DriveList = CreateWindowExA(0, "listbox", NULL, DRIVE_LIST_STYLE, 0, 0, CW_USEDEFAULT, CW_USEDEFAULT,
                                hwnd, (HMENU)(INT_PTR)IDC_DRIVELIST, AppInstance, NULL);
    // Without the list there is no item height to size the window by: the
    // creation fails and WinMain ends without showing anything.
    if (DriveList == NULL) return -1;

    SendMessageA(DriveList, LB_SETCOUNT, (WPARAM)ListItemCount, 0);
    RECT item = {0, 0, 0, 0};
    SendMessageA(DriveList, LB_GETITEMRECT, 0, (LPARAM)&item);
    int itemHeight = item.bottom;

    int height = ListItemCount * itemHeight + 2 * GetSystemMetrics(SM_CYFRAME) +
                 GetSystemMetrics(SM_CYCAPTION) + HeaderHeight;
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    if (height >= screenHeight) height = screenHeight;
    MoveWindow(hwnd, 0, 0, MAIN_WINDOW_WIDTH, height, FALSE);

    FixedDriveIcon = LoadIconA(AppInstance, MAKEINTRESOURCEA(IDI_FIXEDDRIVE));
    RemovableDriveIcon = LoadIconA(AppInstance, MAKEINTRESOURCEA(IDI_REMOVABLEDRIVE));

    CenterWindow(hwnd);
    return 0;
}

LRESULT OnSize(LPARAM lParam) {
    int width = LOWORD(lParam);
    int height = HIWORD(lParam) - HeaderHeight;
    MoveWindow(DriveList, 0, HeaderHeight, width, height, TRUE);
    return 0;
}

}  // namespace

void PaintHeaderBand(HDC hdc, const RECT *client) {
    RECT band = *client;
    band.bottom = HeaderHeight;
    HBRUSH navy = CreateSolidBrush(HEADER_BAND_COLOR);
    FillRect(hdc, &band, navy);
    DeleteObject(navy);

    SetTextColor(hdc, HEADER_TEXT_COLOR);
    SetBkColor(hdc, HEADER_BAND_COLOR);
    SelectObject(hdc, GetStockObject(SYSTEM_FIXED_FONT));
    TextOutA(hdc, 0, 0, HeaderText, lstrlenA(HeaderText));
}

namespace {

LRESULT OnPaint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    PaintHeaderBand(hdc, &client);
    EndPaint(hwnd, &ps);
    return 0;
}

LRESULT OnCommand(HWND hwnd, WPARAM wParam) {
    switch (LOWORD(wParam)) {
        case IDC_DRIVELIST:
            if (HIWORD(wParam) == LBN_DBLCLK) {
                AboutBox.Show(hwnd, ABOUT_TEXT, ABOUT_LINK, 0, IDI_APPICON, RGB(0, 0, 0), RGB(192, 192, 192),
                              RGB(128, 128, 128));
            }
            break;
        case IDM_EXIT:
            PostMessageA(hwnd, WM_CLOSE, 0, 0);
            break;
    }
    return 0;
}

LRESULT OnCtlColorListBox(WPARAM wParam) {
    SetBkColor((HDC)wParam, MAIN_BACKGROUND_COLOR);
    return (LRESULT)BackgroundBrush;
}

}  // namespace

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return OnCreate(hwnd);
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_SIZE:
            return OnSize(lParam);
        case WM_PAINT:
            return OnPaint(hwnd);
        case WM_DRAWITEM:
            return DrawDriveRow((const DRAWITEMSTRUCT *)lParam);
        case WM_KEYUP:
            if (wParam == VK_ESCAPE) {
                PostQuitMessage(0);
                return 0;
            }
            break;
        case WM_COMMAND:
            return OnCommand(hwnd, wParam);
        case WM_CTLCOLORLISTBOX:
            return OnCtlColorListBox(wParam);
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}
