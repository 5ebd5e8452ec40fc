// A drive list painted off-screen the way the main window paints it: the
// header band, the list background and every row through DrawDriveRow.
// Shared by the row sample tool, the row tests and the repaint benchmark.
#pragma once

#include <windows.h>

#include "platform/gdi/gdi_internal.h"

namespace rowsample {

// Puts one record per case worth seeing into the DriveTable: full, almost
// full at the thresholds, half, nearly empty, empty, a tiny drive, a zero
// size, a removable drive and a size too wide for its column. Returns the
// number of records.
int FillEdgeCaseTable();

// Fills the DriveTable with `count` ordinary fixed drives (count <= 24).
void FillUniformTable(int count);

// Sets up what the main window's creation would: the background brush,
// HeaderHeight, ListItemCount (from the DriveTable) and the row icons.
void PrepareMainWindowState();

// The list's default row height (the system font's line height).
int ItemHeight();

// Paints header band and list into `surface` at its scale, which must be at
// least HeaderHeight + ListItemCount * ItemHeight() logical pixels high.
void PaintList(win32::gdi::Surface *surface);

}  // namespace rowsample
