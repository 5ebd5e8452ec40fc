// A full repaint of the drive list: the header band and 24 drive rows plus
// the totals row into a 541-pixel-wide surface.
#include <benchmark/benchmark.h>

#include "app/mainwnd.h"
#include "tools/rowsample/sample_list.h"

namespace {

namespace gdi = win32::gdi;

void BM_FullRepaint24Rows(benchmark::State &state) {
    rowsample::FillUniformTable(24);
    rowsample::PrepareMainWindowState();
    gdi::Surface surface;
    surface.Resize(541, HeaderHeight + ListItemCount * rowsample::ItemHeight());
    rowsample::PaintList(&surface);  // glyphs into the cache first
    for (auto _ : state) {
        rowsample::PaintList(&surface);
        benchmark::DoNotOptimize(surface.pixels.data());
        benchmark::ClobberMemory();
    }
}

}  // namespace
BENCHMARK(BM_FullRepaint24Rows)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
