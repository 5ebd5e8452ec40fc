// The display scale a desktop asks for, from the environment and the
// resource database's DPI.
#include <gtest/gtest.h>

#include "platform/display/backend.h"
#include "tests/support/environment.h"

namespace {

// MORVALEN_SCALE, else GDK_SCALE, else Xft.dpi / 96 rounded; 1 to 4 and no
// more than leaves the primary monitor 640 x 480 logical pixels; blanks
// around a number are allowed, and a value that is not a number does not
// count.
TEST(DisplayScale, EnvironmentThenResourceDpiClampedToOneToFourAndTheScreen) {
    testsupport::ScopedEnvironment env{"MORVALEN_SCALE", "GDK_SCALE"};
    struct {
        const char *morvalen, *gdk;
        int dpi, scale;
        SIZE primary = {0, 0};  // not known: no limit
    } cases[] = {{nullptr, nullptr, 0, 1},
                 {nullptr, nullptr, 144, 2},
                 {nullptr, nullptr, 192, 2},
                 {nullptr, nullptr, 900, 4},
                 {nullptr, "3", 192, 3},
                 {"1", "3", 192, 1},
                 {"9", nullptr, 96, 4},
                 {"0", nullptr, 192, 1},
                 {"x", nullptr, 192, 2},
                 {nullptr, nullptr, 960, 4},
                 {nullptr, nullptr, 961, 4},
                 {" 2", nullptr, 96, 2},
                 {"2 ", nullptr, 96, 2},
                 {nullptr, "\t3 ", 96, 3},
                 {"2 x", nullptr, 96, 1},
                 {"4", nullptr, 96, 1, {1024, 768}},
                 {"4", nullptr, 96, 2, {1920, 1080}},
                 {"4", nullptr, 96, 4, {2560, 1920}},
                 {nullptr, nullptr, 961, 3, {2560, 1440}},
                 {"3", nullptr, 96, 1, {800, 480 * 3 - 1}},
                 {"2", nullptr, 96, 1, {600, 400}}};
    for (const auto &c : cases) {
        env.Set("MORVALEN_SCALE", c.morvalen);
        env.Set("GDK_SCALE", c.gdk);
        EXPECT_EQ(win32::display::ScaleFromEnvironment(c.dpi, c.primary), c.scale)
            << (c.morvalen ? c.morvalen : "-") << " " << (c.gdk ? c.gdk : "-") << " " << c.dpi << " "
            << c.primary.cx << "x" << c.primary.cy;
    }
}

}  // namespace
