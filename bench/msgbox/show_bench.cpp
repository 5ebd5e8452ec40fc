// Time from Show to the box's first painted frame, on the headless screen:
// a plain message box with an icon and three buttons, and the about box
// with its link. Each iteration is one whole showing; the time counted
// ends when the box's first paint has been drawn.
#include <benchmark/benchmark.h>

#include <windows.h>

#include <chrono>

#include "msgbox/aboutbox.h"
#include "msgbox/msgbox.h"
#include "platform/testing.h"

HINSTANCE AppInstance = nullptr;

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point PaintedAt;

// Boxes that note their first paint and then end themselves.
template <class Base>
class Timed : public Base {
public:
    bool painted = false;
    void OnPaint() override {
        Base::OnPaint();
        if (painted) return;
        painted = true;
        PaintedAt = Clock::now();
        PostMessageA(this->hwnd, WM_CLOSE, 0, 0);
    }
};

HWND MakeOwner() {
    static bool ready = false;
    if (!ready) {
        win32::testing::UseHeadless(1024, 768);
        AppInstance = GetModuleHandleA(nullptr);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = AppInstance;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = "BenchOwner";
        RegisterClassA(&wc);
        ready = true;
    }
    HWND owner = CreateWindowExA(0, "BenchOwner", "owner", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 100, 80,
                                 600, 400, nullptr, nullptr, AppInstance, nullptr);
    win32::testing::RunUntilIdle();
    return owner;
}

template <class Box, class ShowFn>
void TimeShowings(benchmark::State &state, ShowFn show) {
    HWND owner = MakeOwner();
    Timed<Box> box;
    for (auto _ : state) {
        box.painted = false;
        Clock::time_point start = Clock::now();
        show(box, owner);
        if (!box.painted) {
            state.SkipWithError("the box was never painted");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(PaintedAt - start).count());
    }
    DestroyWindow(owner);
}

void BM_MessageBoxToFirstPaint(benchmark::State &state) {
    TimeShowings<CMsgBox>(state, [](CMsgBox &box, HWND owner) {
        box.Show(owner, "Save the changes to the drive list?\nThey will be lost otherwise.", "Morvalen",
                 MB_YESNOCANCEL | MB_ICONQUESTION, 0, RGB(0, 0, 0), RGB(192, 192, 192), RGB(128, 128, 128));
    });
}
BENCHMARK(BM_MessageBoxToFirstPaint)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_AboutBoxToFirstPaint(benchmark::State &state) {
    TimeShowings<CAboutBox>(state, [](CAboutBox &box, HWND owner) {
        box.Show(owner, "Morvalen 1.12\nFree space on all drives at a glance",
                 "https://en.wikipedia.org/wiki/Disk_storage", 0, 125, RGB(0, 0, 0), RGB(192, 192, 192),
                 RGB(128, 128, 128));
    });
}
BENCHMARK(BM_AboutBoxToFirstPaint)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
