// The display scale a desktop asks for, from the environment and the
// resource database's DPI.
#include <gtest/gtest.h>

#include "platform/display/backend.h"
#include "tests/support/environment.h"

namespace {

// MORVALEN_SCALE, else GDK_SCALE, else Xft.dpi / 96 rounded; 1 to 4, and a
// value that is not a number does not count.
TEST(DisplayScale, EnvironmentThenResourceDpiClampedToOneToFour) {
    testsupport::ScopedEnvironment env{"MORVALEN_SCALE", "GDK_SCALE"};
    struct {
        const char *morvalen, *gdk;
        int dpi, scale;
    } cases[] = {{nullptr, nullptr, 0, 1},   {nullptr, nullptr, 144, 2}, {nullptr, nullptr, 192, 2},
                 {nullptr, nullptr, 900, 4}, {nullptr, "3", 192, 3},     {"1", "3", 192, 1},
                 {"9", nullptr, 96, 4},      {"0", nullptr, 192, 1},     {"x", nullptr, 192, 2}};
    for (const auto &c : cases) {
        env.Set("MORVALEN_SCALE", c.morvalen);
        env.Set("GDK_SCALE", c.gdk);
        EXPECT_EQ(win32::display::ScaleFromEnvironment(c.dpi), c.scale)
            << (c.morvalen ? c.morvalen : "-") << " " << (c.gdk ? c.gdk : "-") << " " << c.dpi;
    }
}

}  // namespace
