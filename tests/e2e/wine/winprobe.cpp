// A small Windows program for the end-to-end test under Wine: prints, one
// "name value..." line each, the metrics the program's layout is computed
// from, as the Win32 implementation it runs on answers them.
//
//   winprobe.exe [LINE...]   metrics, then "extent WIDTH" per given text line
//                            in the default font of a display context
#include <windows.h>

#include <stdio.h>
#include <string.h>

namespace {

void Print(const char *name, long value) {
    printf("%s %ld\n", name, value);
}

// The height of an item of an owner-drawn list of fixed item height whose
// parent does not answer WM_MEASUREITEM, as the main window's list is.
int ListItemHeight(void) {
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "WinProbe";
    if (!RegisterClassA(&wc)) return -1;
    HWND parent = CreateWindowExA(0, "WinProbe", "", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, NULL, NULL,
                                  wc.hInstance, NULL);
    HWND list = CreateWindowExA(0, "listbox", NULL,
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NODATA | LBS_NOINTEGRALHEIGHT |
                                    LBS_OWNERDRAWFIXED | LBS_NOTIFY,
                                0, 0, 50, 50, parent, (HMENU)(INT_PTR)2000, wc.hInstance, NULL);
    RECT item = {0, 0, 0, 0};
    SendMessageA(list, LB_SETCOUNT, 2, 0);
    SendMessageA(list, LB_GETITEMRECT, 0, (LPARAM)&item);
    DestroyWindow(parent);
    return item.bottom - item.top;
}

}  // namespace

int main(int argc, char **argv) {
    static const struct {
        const char *name;
        int index;
    } metrics[] = {
        {"SM_CXSCREEN", SM_CXSCREEN},         {"SM_CYSCREEN", SM_CYSCREEN},
        {"SM_CXFULLSCREEN", SM_CXFULLSCREEN}, {"SM_CYFULLSCREEN", SM_CYFULLSCREEN},
        {"SM_CXFRAME", SM_CXFRAME},           {"SM_CYFRAME", SM_CYFRAME},
        {"SM_CYCAPTION", SM_CYCAPTION},
    };
    for (size_t i = 0; i < sizeof metrics / sizeof metrics[0]; ++i) {
        Print(metrics[i].name, GetSystemMetrics(metrics[i].index));
    }

    // The frame a WS_OVERLAPPEDWINDOW without menu puts around its client
    // area, as offsets of the window's edges from the client's.
    RECT frame = {0, 0, 0, 0};
    AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
    printf("frame %ld %ld %ld %ld\n", frame.left, frame.top, frame.right, frame.bottom);

    TEXTMETRICA tm;
    HDC screen = GetDC(NULL);
    SelectObject(screen, GetStockObject(SYSTEM_FIXED_FONT));
    GetTextMetricsA(screen, &tm);
    ReleaseDC(NULL, screen);
    Print("fixed_line", tm.tmHeight + tm.tmExternalLeading);
    Print("fixed_char", tm.tmAveCharWidth);

    HDC ic = CreateICA("DISPLAY", NULL, NULL, NULL);
    GetTextMetricsA(ic, &tm);
    Print("box_line", tm.tmHeight + tm.tmExternalLeading);
    Print("box_maxchar", tm.tmMaxCharWidth);
    for (int i = 1; i < argc; ++i) {
        SIZE size = {0, 0};
        GetTextExtentPoint32A(ic, argv[i], lstrlenA(argv[i]), &size);
        Print("extent", size.cx);
    }
    DeleteDC(ic);

    Print("item_height", ListItemHeight());

    // The drives the program will list: fixed and removable, with space.
    char root[4] = "x:\\";
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        root[0] = letter;
        UINT type = GetDriveTypeA(root);
        ULARGE_INTEGER avail, total;
        if ((type == DRIVE_FIXED || type == DRIVE_REMOVABLE) &&
            GetDiskFreeSpaceExA(root, &avail, &total, NULL)) {
            printf("drive %c %u %llu %llu\n", letter, type, (unsigned long long)total.QuadPart,
                   (unsigned long long)avail.QuadPart);
        } else if (type != DRIVE_NO_ROOT_DIR) {
            printf("drive %c %u - -\n", letter, type);
        }
    }
    fflush(stdout);
    return 0;
}
