// A surface with a drawing context over it, and ASCII-mask comparison that
// saves the actual picture and a diff as PNG files when a check fails.
// Masks are in the surface's device pixels.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/gdi/gdi_internal.h"

namespace testsupport {

class Canvas {
public:
    // w x h logical pixels at display scale n/120: the surface holds their
    // device pixels.
    Canvas(int w, int h, COLORREF fill = RGB(255, 255, 255), int n = win32::gdi::kScaleOne) {
        surface.scale = n;
        surface.Resize(win32::gdi::DeviceEdge(w, n), win32::gdi::DeviceEdge(h, n),
                       win32::gdi::PixelFromColorref(fill));
        dc =
            win32::gdi::CreateSurfaceDC(&surface, POINT{0, 0}, win32::gdi::Region(RECT{0, 0, w, h}), nullptr);
    }
    ~Canvas() { win32::gdi::DeleteSurfaceDC(dc); }
    Canvas(const Canvas &) = delete;
    Canvas &operator=(const Canvas &) = delete;

    COLORREF At(int x, int y) const { return win32::gdi::ColorrefFromPixel(surface.Row(y)[x]); }

    win32::gdi::Surface surface;
    HDC dc = nullptr;
};

inline std::string SafeName(std::string s) {
    for (char &c : s)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return s;
}

// Writes the surface and a diff against `expected` (red where they differ).
inline std::string SaveFailure(const win32::gdi::Surface &actual, const win32::gdi::Surface *expected) {
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string base =
        ::testing::TempDir() + SafeName(std::string(info->test_suite_name()) + "." + info->name());
    win32::gdi::WritePng(actual, (base + "-actual.png").c_str());
    if (expected) {
        win32::gdi::Surface diff = actual;
        for (size_t i = 0; i < diff.pixels.size(); ++i)
            diff.pixels[i] = diff.pixels[i] == expected->pixels[i] ? 0xFFFFFF : 0xFF0000;
        win32::gdi::WritePng(diff, (base + "-diff.png").c_str());
    }
    return base;
}

// Compares the top-left corner of the surface with rows of characters; each
// character stands for one colour of `legend` ('.' etc.).
inline ::testing::AssertionResult MatchesMask(const win32::gdi::Surface &s,
                                              const std::vector<std::string> &rows,
                                              const std::map<char, COLORREF> &legend) {
    win32::gdi::Surface expected = s;
    std::string actualText, expectedText;
    bool same = true;
    for (size_t y = 0; y < rows.size(); ++y) {
        for (size_t x = 0; x < rows[y].size(); ++x) {
            const uint32_t got = s.Row(static_cast<int>(y))[x];
            auto it = legend.find(rows[y][x]);
            const uint32_t want = it == legend.end() ? 0xFF00FF : win32::gdi::PixelFromColorref(it->second);
            expected.Row(static_cast<int>(y))[x] = want;
            char gotChar = '?';
            for (const auto &[c, color] : legend)
                if (win32::gdi::PixelFromColorref(color) == got) gotChar = c;
            actualText += gotChar;
            if (got != want) same = false;
        }
        actualText += '\n';
        expectedText += rows[y] + '\n';
    }
    if (same) return ::testing::AssertionSuccess();
    const std::string base = SaveFailure(s, &expected);
    return ::testing::AssertionFailure() << "expected\n"
                                         << expectedText << "actual\n"
                                         << actualText << "(images: " << base << "-*.png)";
}

}  // namespace testsupport
