// The used share of a drive row: whole percent, a half going up, and sound
// for any sizes the table can hold.
#include <gtest/gtest.h>

#include "app/mainwnd.h"

namespace {

struct ShareCase {
    DWORD totalMB, freeMB;
    unsigned used;
};

TEST(UsedShare, TableOfRoundingCases) {
    const ShareCase cases[] = {
        {1000, 0, 100}, {1000, 4, 100}, {1000, 5, 99},   {1000, 100, 90}, {1000, 105, 89}, {1000, 500, 50},
        {1000, 994, 1}, {1000, 995, 0}, {1000, 1000, 0}, {3, 1, 67},      {0, 0, 0},       {0, 12345, 0},
        {2000, 9, 100}, {2000, 10, 99}, {7, 0, 100},     {7, 7, 0},
    };
    for (const ShareCase &c : cases)
        EXPECT_EQ(UsedPercent(c.totalMB, c.freeMB), c.used) << c.totalMB << " MB, " << c.freeMB << " free";
}

// Free sizes above 4,294,967 MB overflow a 32-bit product with 1000; the
// share must still come out right.
TEST(UsedShare, LargeDrivesDoNotOverflow) {
    EXPECT_EQ(UsedPercent(10000000u, 5000000u), 50u);
    EXPECT_EQ(UsedPercent(4294967295u, 4294967295u), 0u);
    EXPECT_EQ(UsedPercent(4294967295u, 0u), 100u);
    EXPECT_EQ(UsedPercent(4294967295u, 429496730u), 90u);
    EXPECT_EQ(UsedPercent(4294967295u, 2147483648u), 50u);
    EXPECT_EQ(UsedPercent(3000000000u, 30000000u), 99u);
}

// More free than total space (a filesystem reporting oddly) is shown as an
// empty bar rather than wrapping around to a huge share.
TEST(UsedShare, MoreFreeThanTotalIsEmpty) {
    EXPECT_EQ(UsedPercent(1000, 1001), 0u);
    EXPECT_EQ(UsedPercent(1000, 1100), 0u);
    EXPECT_EQ(UsedPercent(1, 4294967295u), 0u);
    EXPECT_EQ(UsedPercent(1000, 4294967295u), 0u);
}

}  // namespace
