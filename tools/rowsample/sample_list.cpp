#include "tools/rowsample/sample_list.h"

#include "app/mainwnd.h"
#include "app/res/resource.h"
#include "platform/kernel/module.h"
#include "survey/drive_table.h"

using namespace win32;

namespace rowsample {

namespace {

struct Sample {
    DWORD totalMB;
    DWORD freeMB;
    DWORD type;
};

constexpr Sample kEdgeCases[] = {
    {1000, 0, DRIVE_FIXED},              // 100%: FULL
    {1000, 4, DRIVE_FIXED},              // 0.4% free still rounds to FULL
    {1000, 5, DRIVE_FIXED},              // 99%: Almost full
    {1000, 100, DRIVE_FIXED},            // 90%: Almost full
    {1000, 105, DRIVE_FIXED},            // 89%: no label
    {1000, 500, DRIVE_FIXED},            // half
    {1000, 994, DRIVE_FIXED},            // 1%: one column
    {1000, 995, DRIVE_FIXED},            // 0%
    {1000, 1000, DRIVE_FIXED},           // empty
    {3, 1, DRIVE_FIXED},                 // 67%
    {0, 7, DRIVE_FIXED},                 // no size, yet some free space reported
    {15000, 9000, DRIVE_REMOVABLE},      // removable: its own icon, not in the totals
    {123456789, 61728394, DRIVE_FIXED},  // wider than the size column
    {1000, 1200, DRIVE_FIXED},           // more free than total: drawn empty
};

}  // namespace

int FillEdgeCaseTable() {
    DriveTable = DriveTableData{};
    int n = 0;
    for (const Sample &s : kEdgeCases) {
        DriveRecord &r = DriveTable.records[n];
        r.letter = static_cast<char>('C' + n);
        r.totalMB = s.totalMB;
        r.freeMB = s.freeMB;
        r.driveType = s.type;
        if (s.type == DRIVE_FIXED) {
            DriveTable.fixedTotalMB += s.totalMB;
            DriveTable.fixedFreeMB += s.freeMB;
        }
        ++n;
    }
    DriveTable.count = n;
    return n;
}

void FillUniformTable(int count) {
    DriveTable = DriveTableData{};
    for (int i = 0; i < count && i < MAX_DRIVE_RECORDS; ++i) {
        DriveRecord &r = DriveTable.records[i];
        r.letter = static_cast<char>('C' + i);
        r.totalMB = 100000u + 37u * static_cast<DWORD>(i);
        r.freeMB = 4000u * static_cast<DWORD>(i + 1);
        r.driveType = i % 5 == 4 ? DRIVE_REMOVABLE : DRIVE_FIXED;
        if (r.driveType == DRIVE_FIXED) {
            DriveTable.fixedTotalMB += r.totalMB;
            DriveTable.fixedFreeMB += r.freeMB;
        }
        DriveTable.count = i + 1;
    }
}

void PrepareMainWindowState() {
    if (BackgroundBrush == NULL) BackgroundBrush = CreateSolidBrush(MAIN_BACKGROUND_COLOR);
    TEXTMETRICA tm{};
    gdi::StockFontMetrics(SYSTEM_FIXED_FONT, &tm);
    HeaderHeight = tm.tmHeight + tm.tmExternalLeading;
    ListItemCount = DriveTable.count + 1;
    HINSTANCE module = win32::MainModule();
    FixedDriveIcon = LoadIconA(module, MAKEINTRESOURCEA(IDI_FIXEDDRIVE));
    RemovableDriveIcon = LoadIconA(module, MAKEINTRESOURCEA(IDI_REMOVABLEDRIVE));
}

int ItemHeight() {
    TEXTMETRICA tm{};
    gdi::StockFontMetrics(SYSTEM_FONT, &tm);
    return tm.tmHeight;
}

void PaintList(gdi::Surface *surface) {
    const int width = surface->LogicalWidth(), height = surface->LogicalHeight();
    const int itemHeight = ItemHeight();

    // The header band, as the main window's WM_PAINT draws it.
    RECT all = {0, 0, width, height};
    HDC band = gdi::CreateSurfaceDC(surface, POINT{0, 0}, gdi::Region(all), NULL);
    PaintHeaderBand(band, &all);
    gdi::DeleteSurfaceDC(band);

    // The list below it: its own origin, clipped to its client area, the
    // background from the main window's list colouring, then each row.
    RECT listArea = {0, HeaderHeight, width, height};
    HDC list = gdi::CreateSurfaceDC(surface, POINT{0, HeaderHeight}, gdi::Region(listArea), NULL);
    HBRUSH brush = (HBRUSH)MainWndProc(NULL, WM_CTLCOLORLISTBOX, (WPARAM)list, 0);
    RECT listClient = {0, 0, width, height - HeaderHeight};
    FillRect(list, &listClient, brush);
    for (int i = 0; i < ListItemCount; ++i) {
        DRAWITEMSTRUCT dis{};
        dis.CtlType = ODT_LISTBOX;
        dis.CtlID = IDC_DRIVELIST;
        dis.itemID = static_cast<UINT>(i);
        dis.itemAction = ODA_DRAWENTIRE;
        dis.hDC = list;
        dis.rcItem = RECT{0, i * itemHeight, width, (i + 1) * itemHeight};
        DrawDriveRow(&dis);
    }
    gdi::DeleteSurfaceDC(list);
}

}  // namespace rowsample
