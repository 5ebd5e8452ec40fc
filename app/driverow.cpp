// DrawDriveRow: paints one row of the drive list from the DriveTable.
//
// Columns are fixed pixel positions in the list's client area; the rows
// are drawn in the fixed-pitch system font, 8 pixels a character, so the
// header text above lines up with them.
#include <windows.h>

#include "app/mainwnd.h"
#include "survey/drive_table.h"
#include "survey/size_text.h"

#define LETTER_LEFT 24
#define BAR_LEFT 60
#define BAR_RIGHT 320  // exclusive: the frame's right line is at 319
#define SIZES_LEFT 320
#define BAR_WIDTH 259
#define FILL_COLOR RGB(0, 255, 255)
#define LABEL_TEXT_COLOR RGB(255, 0, 0)
#define WARN_PERCENT 90

// The free share in tenths of a percent, brought to the nearest whole
// percent and taken from 100. The product is formed in 64 bits so that any
// free size works, and a record with more free than total space counts as
// empty rather than wrapping around.
unsigned UsedPercent(DWORD totalMB, DWORD freeMB) {
    if (totalMB == 0) return 0;
    unsigned long long tenths = (unsigned long long)freeMB * 1000 / totalMB;
    unsigned long long freePercent = (tenths + 5) / 10;
    if (freePercent >= 100) return 0;
    return (unsigned)(100 - freePercent);
}

namespace {

// Draws one line of text with its rectangle's left edge at `left`.
void DrawRowText(HDC hdc, const RECT *item, int left, const char *text, UINT format) {
    RECT r = *item;
    r.left = left;
    DrawTextA(hdc, text, -1, &r, format);
}

int DrawTotalsRow(HDC hdc, const RECT *item) {
    char text[33];
    DrawRowText(hdc, item, BAR_LEFT, "Totals for hard drives:", DT_SINGLELINE);
    FormatMegabytes(DriveTable.fixedTotalMB, text);
    FormatMegabytes(DriveTable.fixedFreeMB, text + lstrlenA(text));
    DrawRowText(hdc, item, SIZES_LEFT, text, DT_SINGLELINE);
    return 1;
}

int DrawDriveRecordRow(HDC hdc, const RECT *item, const DriveRecord *rec) {
    char text[33];
    int top = item->top;
    int bottom = item->bottom;

    // Icon at the row's top-left corner.
    HICON icon = rec->driveType == DRIVE_REMOVABLE ? RemovableDriveIcon : FixedDriveIcon;
    DrawIcon(hdc, item->left, top, icon);

    // Letter.
    lstrcpyA(text, "x:");
    text[0] = rec->letter;
    DrawRowText(hdc, item, LETTER_LEFT, text, DT_SINGLELINE);

    // Frame: its top line lies on the bottom line of the row above.
    HGDIOBJ oldBrush = SelectObject(hdc, GetStockObject(LTGRAY_BRUSH));
    Rectangle(hdc, BAR_LEFT, top - 1, BAR_RIGHT, bottom);
    SelectObject(hdc, oldBrush);

    // Fill of the used share.
    unsigned d = UsedPercent(rec->totalMB, rec->freeMB);
    if (d != 0) {
        RECT fill;
        fill.left = BAR_LEFT + 1;
        fill.top = top;
        fill.right = BAR_LEFT + (int)(d * BAR_WIDTH / 100);
        fill.bottom = bottom - 1;
        HBRUSH brush = CreateSolidBrush(FILL_COLOR);
        FillRect(hdc, &fill, brush);
        DeleteObject(brush);
    }

    // Warning label inside the bar.
    if (d >= WARN_PERCENT) {
        SetTextColor(hdc, LABEL_TEXT_COLOR);
        SetBkColor(hdc, FILL_COLOR);
        RECT label;
        label.left = BAR_LEFT + 1;
        label.top = top;
        label.right = BAR_RIGHT;
        label.bottom = bottom - 1;
        DrawTextA(hdc, d == 100 ? "FULL" : "Almost full", -1, &label, DT_SINGLELINE | DT_CENTER);
        SetTextColor(hdc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(hdc, MAIN_BACKGROUND_COLOR);
    }

    // Total size, then free space.
    FormatMegabytes(rec->totalMB, text);
    FormatMegabytes(rec->freeMB, text + lstrlenA(text));
    DrawRowText(hdc, item, SIZES_LEFT, text, DT_SINGLELINE);
    return 1;
}

}  // namespace

int DrawDriveRow(const DRAWITEMSTRUCT *drawItem) {
    if (drawItem->itemAction != ODA_DRAWENTIRE) return 0;

    HDC hdc = drawItem->hDC;
    SelectObject(hdc, GetStockObject(SYSTEM_FIXED_FONT));

    if ((int)drawItem->itemID == ListItemCount - 1) return DrawTotalsRow(hdc, &drawItem->rcItem);
    // The list never asks for more rows than it was given; an index beyond
    // the table is refused rather than read past its end.
    if (drawItem->itemID >= MAX_DRIVE_RECORDS) return 0;
    return DrawDriveRecordRow(hdc, &drawItem->rcItem, &DriveTable.records[drawItem->itemID]);
}
