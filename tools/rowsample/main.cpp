// morvalen-rowsample OUT.png: paints a drive list with one row for each
// case worth looking at, plus the totals row and the header band, into a
// PNG.
#include <cstdio>

#include "app/mainwnd.h"
#include "survey/drive_table.h"
#include "tools/rowsample/sample_list.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: morvalen-rowsample OUT.png\n");
        return 2;
    }
    rowsample::FillEdgeCaseTable();
    rowsample::PrepareMainWindowState();

    win32::gdi::Surface surface;
    surface.Resize(541, HeaderHeight + ListItemCount * rowsample::ItemHeight() + 4);
    rowsample::PaintList(&surface);

    if (!win32::gdi::WritePng(surface, argv[1])) {
        std::fprintf(stderr, "morvalen-rowsample: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
