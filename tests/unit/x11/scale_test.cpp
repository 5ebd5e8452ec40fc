// The display scale a desktop asks for, from the environment and the
// resource database's DPI, and the rule between logical and device pixels
// at any scale.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/display/backend.h"
#include "tests/support/environment.h"

namespace {

using win32::gdi::DeviceEdge;
using win32::gdi::LogicalPixel;

// MORVALEN_SCALE (a decimal), else GDK_SCALE (a whole number), else Xft.dpi
// * 120 / 96 rounded, in 120ths; 120 to 480 and no more than leaves the
// primary monitor 640 x 480 logical pixels; blanks around a number are
// allowed, and a value that is not a number does not count.
TEST(DisplayScale, EnvironmentThenResourceDpiClampedToOneToFourAndTheScreen) {
    testsupport::ScopedEnvironment env{"MORVALEN_SCALE", "GDK_SCALE"};
    struct {
        const char *morvalen, *gdk;
        int dpi, scale;
        SIZE primary = {0, 0};  // not known: no limit
    } cases[] = {{nullptr, nullptr, 0, 120},
                 {nullptr, nullptr, 96, 120},
                 {nullptr, nullptr, 120, 150},
                 {nullptr, nullptr, 144, 180},
                 {nullptr, nullptr, 168, 210},
                 {nullptr, nullptr, 192, 240},
                 {nullptr, nullptr, 97, 121},
                 {nullptr, nullptr, 900, 480},
                 {nullptr, "3", 192, 360},
                 {"1", "3", 192, 120},
                 {"1.5", "3", 192, 180},
                 {"1.25", nullptr, 96, 150},
                 {"1.75", nullptr, 96, 210},
                 {" 1.333 ", nullptr, 96, 160},
                 {"1.004", nullptr, 96, 120},
                 {"1.005", nullptr, 96, 121},
                 {"2.", nullptr, 96, 240},
                 {".5", nullptr, 96, 120},
                 {"1,5", nullptr, 144, 180},
                 {"1.5.2", nullptr, 144, 180},
                 {".", nullptr, 144, 180},
                 {nullptr, "1.5", 144, 180},
                 {"9", nullptr, 96, 480},
                 {"0", nullptr, 192, 120},
                 {"-2", nullptr, 192, 120},
                 {"x", nullptr, 192, 240},
                 {nullptr, nullptr, 960, 480},
                 {nullptr, nullptr, 961, 480},
                 {" 2", nullptr, 96, 240},
                 {"2 ", nullptr, 96, 240},
                 {nullptr, "\t3 ", 96, 360},
                 {"2 x", nullptr, 96, 120},
                 {"4", nullptr, 96, 192, {1024, 768}},
                 {"4", nullptr, 96, 270, {1920, 1080}},
                 {"4", nullptr, 96, 480, {2560, 1920}},
                 {nullptr, nullptr, 961, 360, {2560, 1440}},
                 {nullptr, nullptr, 144, 180, {1920, 1080}},
                 {"3", nullptr, 96, 150, {800, 480 * 3}},
                 {"3", nullptr, 96, 359, {2000, 480 * 3 - 1}},
                 {"2", nullptr, 96, 120, {600, 400}}};
    for (const auto &c : cases) {
        env.Set("MORVALEN_SCALE", c.morvalen);
        env.Set("GDK_SCALE", c.gdk);
        const int n = win32::display::ScaleFromEnvironment(c.dpi, c.primary);
        EXPECT_EQ(n, c.scale) << (c.morvalen ? c.morvalen : "-") << " " << (c.gdk ? c.gdk : "-") << " "
                              << c.dpi << " " << c.primary.cx << "x" << c.primary.cy;
        // What the clamp keeps: 640 x 480 logical pixels on the monitor.
        if (c.primary.cx > 0 && n > 120) {
            EXPECT_GE(LogicalPixel(c.primary.cx, n), 640) << n;
            EXPECT_GE(LogicalPixel(c.primary.cy, n), 480) << n;
        }
    }
}

// Every logical edge has one device edge, round(v * n / 120) with halves up,
// and every device pixel lies in the logical pixel whose device edges hold
// it, at every scale from 1 to 4 and on both sides of 0: so a logical pixel
// is never empty, rectangles that tile keep tiling, and a surface of w
// logical pixels is round(w * n / 120) device pixels wide.
TEST(DisplayScale, DeviceEdgesAndLogicalPixelsInvertEachOther) {
    EXPECT_EQ(DeviceEdge(541, 180), 812);  // 811.5 up
    EXPECT_EQ(DeviceEdge(541, 150), 676);  // 676.25
    EXPECT_EQ(DeviceEdge(541, 210), 947);  // 946.75
    EXPECT_EQ(DeviceEdge(-1, 180), -1);    // -1.5 up
    EXPECT_EQ(DeviceEdge(-3, 180), -4);    // -4.5 up
    for (int n = 120; n <= 480; ++n) {
        for (int v = -300; v <= 300; ++v) {
            const int d = DeviceEdge(v, n), next = DeviceEdge(v + 1, n);
            ASSERT_EQ(d, static_cast<int>(std::floor(v * n / 120.0 + 0.5))) << v << " at " << n;
            ASSERT_GE(next - d, n / 120) << v << " at " << n;
            ASSERT_LE(next - d, (n + 119) / 120) << v << " at " << n;
            for (int p = d; p < next; ++p) ASSERT_EQ(LogicalPixel(p, n), v) << p << " at " << n;
        }
    }
}

}  // namespace
