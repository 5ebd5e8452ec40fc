// A full repaint of the drive list: the header band and 24 drive rows plus
// the totals row into a 541-pixel-wide surface, at display scales 1x, 1.25x,
// 1.5x, 1.75x and 2x (the argument, in 120ths).
#include <benchmark/benchmark.h>

#include "app/mainwnd.h"
#include "tools/rowsample/sample_list.h"

namespace {

namespace gdi = win32::gdi;

void BM_FullRepaint24Rows(benchmark::State &state) {
    rowsample::FillUniformTable(24);
    rowsample::PrepareMainWindowState();
    const int n = static_cast<int>(state.range(0));
    gdi::Surface surface;
    surface.scale = n;
    surface.Resize(gdi::DeviceEdge(541, n),
                   gdi::DeviceEdge(HeaderHeight + ListItemCount * rowsample::ItemHeight(), n));
    rowsample::PaintList(&surface);  // glyphs into the cache first
    for (auto _ : state) {
        rowsample::PaintList(&surface);
        benchmark::DoNotOptimize(surface.pixels.data());
        benchmark::ClobberMemory();
    }
}

}  // namespace
BENCHMARK(BM_FullRepaint24Rows)
    ->Arg(120)
    ->Arg(150)
    ->Arg(180)
    ->Arg(210)
    ->Arg(240)
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
