// The main window: its global state and procedures.
#ifndef MORVALEN_MAINWND_H
#define MORVALEN_MAINWND_H

#include <windows.h>

// Global state, one of each for the whole run.
extern HINSTANCE AppInstance;     // module instance, stored by WinMain
extern HBRUSH BackgroundBrush;    // beige: class background and list background
extern HWND MainWindow;           // the main window; null while WM_CREATE runs
extern int HeaderHeight;          // height of the header band in pixels
extern int ListItemCount;         // surveyed drives + 1 (the totals row)
extern HWND DriveList;            // the owner-drawn list box child
extern HICON FixedDriveIcon;      // icon 126
extern HICON RemovableDriveIcon;  // icon 127

// Colours of the main window.
#define MAIN_BACKGROUND_COLOR RGB(245, 245, 220)
#define HEADER_BAND_COLOR RGB(0, 0, 128)
#define HEADER_TEXT_COLOR RGB(255, 255, 0)

// The header text: its words line up with the columns of the rows.
extern const char HeaderText[];

// Width given to the main window before centring.
#define MAIN_WINDOW_WIDTH 540

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);
LRESULT CALLBACK MainWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
int DrawDriveRow(const DRAWITEMSTRUCT *drawItem);
void CenterWindow(HWND hwnd);

// Paints the header band across the top of `client` (the main window's
// client rectangle): navy, with the header text in yellow.
void PaintHeaderBand(HDC hdc, const RECT *client);

// The used share of a drive in whole percent, 0 to 100.
unsigned UsedPercent(DWORD totalMB, DWORD freeMB);

#endif /* MORVALEN_MAINWND_H */
