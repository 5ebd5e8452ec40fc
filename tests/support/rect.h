// RECT in test expectations: EXPECT_EQ(r, (RECT{l, t, r, b})) checks all
// four edges and prints both rectangles when they differ.
#pragma once

#include <windows.h>

#include <ostream>

inline bool operator==(const RECT &a, const RECT &b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

inline void PrintTo(const RECT &r, std::ostream *os) {
    *os << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}
