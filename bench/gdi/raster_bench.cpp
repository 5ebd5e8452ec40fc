// Raster cost of a full repaint of the drive list: a header band and 24
// rows of icon, text, framed bar, fill and sizes into a 541-pixel-wide
// surface, through the public GDI calls the rows use.
#include <benchmark/benchmark.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/gdi/gdi_internal.h"

namespace {

namespace gdi = win32::gdi;

constexpr int kWidth = 541;
constexpr int kRowHeight = 16;
constexpr int kRows = 24;
constexpr int kHeader = 16;

HICON MakeIcon() {
    std::vector<uint32_t> colors(32 * 32, 0);
    std::vector<uint8_t> mask(32 * 32, 1);
    for (int y = 0; y < 14; ++y)
        for (int x = 0; x < 18; ++x) {
            colors[y * 32 + x] = (x + y) % 3 ? 0x808080 : 0x000080;
            mask[y * 32 + x] = 0;
        }
    return gdi::CreateIconFromPixels(32, 32, colors.data(), mask.data());
}

void DrawRow(HDC dc, HICON icon, int index, int top) {
    const int bottom = top + kRowHeight;
    SelectObject(dc, GetStockObject(SYSTEM_FIXED_FONT));
    DrawIcon(dc, 0, top, icon);
    char letter[3] = {static_cast<char>('C' + index % 24), ':', 0};
    RECT r{24, top, kWidth, bottom};
    DrawTextA(dc, letter, -1, &r, DT_SINGLELINE);
    HGDIOBJ old = SelectObject(dc, GetStockObject(LTGRAY_BRUSH));
    Rectangle(dc, 60, top - 1, 320, bottom);
    SelectObject(dc, old);
    const int used = (index * 37) % 101;
    if (used) {
        HBRUSH fill = CreateSolidBrush(RGB(0, 255, 255));
        RECT f{61, top, 60 + used * 259 / 100, bottom - 1};
        FillRect(dc, &f, fill);
        DeleteObject(fill);
    }
    if (used >= 90) {
        SetTextColor(dc, RGB(255, 0, 0));
        SetBkColor(dc, RGB(0, 255, 255));
        RECT l{61, top, 320, bottom - 1};
        DrawTextA(dc, used == 100 ? "FULL" : "Almost full", -1, &l, DT_SINGLELINE | DT_CENTER);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, RGB(245, 245, 220));
    }
    RECT s{320, top, kWidth, bottom};
    DrawTextA(dc, "   123,456 MB    78,901 MB", -1, &s, DT_SINGLELINE);
}

void BM_FullRepaint(benchmark::State &state) {
    gdi::Surface surface;
    surface.Resize(kWidth, kHeader + kRows * kRowHeight, 0xF5F5DC);
    HDC dc = gdi::CreateSurfaceDC(&surface, POINT{0, 0},
                                  gdi::Region(RECT{0, 0, surface.width, surface.height}), nullptr);
    HICON icon = MakeIcon();
    HBRUSH navy = CreateSolidBrush(RGB(0, 0, 128));
    SetBkColor(dc, RGB(245, 245, 220));
    for (auto _ : state) {
        RECT band{0, 0, kWidth, kHeader};
        FillRect(dc, &band, navy);
        SetTextColor(dc, RGB(255, 255, 255));
        SetBkMode(dc, TRANSPARENT);
        SelectObject(dc, GetStockObject(SYSTEM_FIXED_FONT));
        TextOutA(dc, 0, 0, "Drive  0%             50%             100%    Size         Free", 63);
        SetBkMode(dc, OPAQUE);
        SetTextColor(dc, RGB(0, 0, 0));
        RECT list{0, kHeader, kWidth, surface.height};
        FillRect(dc, &list, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
        for (int i = 0; i < kRows; ++i) DrawRow(dc, icon, i, kHeader + i * kRowHeight);
        benchmark::DoNotOptimize(surface.pixels.data());
    }
    if (const char *out = std::getenv("MORVALEN_BENCH_PNG")) gdi::WritePng(surface, out);
    DeleteObject(navy);
    DestroyIcon(icon);
    gdi::DeleteSurfaceDC(dc);
}
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMicrosecond);

void BM_EllipseOutline(benchmark::State &state) {
    gdi::Surface surface;
    surface.Resize(320, 200, 0xFFFFFF);
    HDC dc = gdi::CreateSurfaceDC(&surface, POINT{0, 0}, gdi::Region(RECT{0, 0, 320, 200}), nullptr);
    HPEN pen = CreatePen(PS_SOLID, 3, RGB(255, 0, 0));
    SelectObject(dc, pen);
    for (auto _ : state) Ellipse(dc, 1, 1, 318, 198);
    SelectObject(dc, GetStockObject(BLACK_PEN));
    DeleteObject(pen);
    gdi::DeleteSurfaceDC(dc);
}
BENCHMARK(BM_EllipseOutline)->Unit(benchmark::kMicrosecond);

}  // namespace
