// WinMain: registers the main window class, creates the main window and
// runs the message loop, offering every message to the Alt+X accelerator
// first.
#include <windows.h>

#include "app/mainwnd.h"
#include "app/res/resource.h"

#define MAIN_CLASS_NAME "Morvalen"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow) {
    (void)lpCmdLine;
    AppInstance = hInstance;
    BackgroundBrush = CreateSolidBrush(MAIN_BACKGROUND_COLOR);

    if (hPrevInstance == NULL) {
        WNDCLASSA wc;
        wc.style = CS_BYTEALIGNCLIENT | CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = MainWndProc;
        wc.cbClsExtra = 0;
        wc.cbWndExtra = 0;
        wc.hInstance = AppInstance;
        wc.hIcon = LoadIconA(AppInstance, MAKEINTRESOURCEA(IDI_APPICON));
        wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
        wc.hbrBackground = BackgroundBrush;
        wc.lpszMenuName = MAIN_CLASS_NAME;
        wc.lpszClassName = MAIN_CLASS_NAME;
        if (!RegisterClassA(&wc)) {
            DeleteObject(BackgroundBrush);
            return 0;
        }
    }

    MainWindow = CreateWindowExA(0, MAIN_CLASS_NAME, MAIN_CLASS_NAME, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, hInstance, NULL);
    if (MainWindow == NULL) {
        DeleteObject(BackgroundBrush);
        return 0;
    }

    ShowWindow(MainWindow, nCmdShow);
    UpdateWindow(MainWindow);

    HACCEL accelerators = LoadAcceleratorsA(AppInstance, "ACCELERATORS_1");

    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0)) {
        if (!TranslateAcceleratorA(MainWindow, accelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    DeleteObject(BackgroundBrush);
    return (int)msg.wParam;
}
