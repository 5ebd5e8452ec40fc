// LoadIconA and LoadCursorA: the program's icons from the embedded image,
// shared handles, the layer's own system icons, and how an icon draws.

#include <gtest/gtest.h>

#include <vector>

#include "app/res/resource.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/kernel/module.h"
#include "platform/res/image.h"
#include "platform/res/resources.h"

namespace {

struct Pixels {
    int w = 0, h = 0;
    std::vector<uint32_t> colors;
    std::vector<uint8_t> mask;
};

Pixels Read(HICON icon) {
    Pixels p;
    EXPECT_TRUE(win32::gdi::IconPixels(icon, &p.w, &p.h, &p.colors, &p.mask));
    return p;
}

TEST(LoadIcon, ProgramIconsAreSharedAndMatchTheirImages) {
    HINSTANCE main = win32::MainModule();
    HICON icons[3];
    for (int i = 0; i < 3; ++i) {
        WORD id = static_cast<WORD>(IDI_APPICON + i);
        SCOPED_TRACE(id);
        icons[i] = LoadIconA(main, MAKEINTRESOURCEA(id));
        ASSERT_NE(icons[i], nullptr);
        EXPECT_EQ(LoadIconA(main, MAKEINTRESOURCEA(id)), icons[i]);
        for (int j = 0; j < i; ++j) EXPECT_NE(icons[j], icons[i]);

        // The handle's pixels are the decoded RT_ICON image of the group.
        win32::ResourceData image;
        ASSERT_TRUE(win32::FindModuleResource(main, RT_ICON, MAKEINTRESOURCEA(i + 1), &image));
        win32::res::IconPixels want;
        ASSERT_TRUE(win32::res::DecodeIcon(image.data, image.size, &want));
        Pixels got = Read(icons[i]);
        EXPECT_EQ(got.w, 32);
        EXPECT_EQ(got.h, 32);
        EXPECT_EQ(got.mask, want.mask);
        EXPECT_EQ(got.colors, want.colors);
    }
    EXPECT_EQ(LoadIconA(main, "#126"), icons[1]);
}

TEST(LoadIcon, UnknownIdsAndModulesGiveNull) {
    HINSTANCE main = win32::MainModule();
    EXPECT_EQ(LoadIconA(main, MAKEINTRESOURCEA(124)), nullptr);
    EXPECT_EQ(LoadIconA(main, MAKEINTRESOURCEA(1)), nullptr);  // an RT_ICON id, not a group
    EXPECT_EQ(LoadIconA(main, "APPICON"), nullptr);
    EXPECT_EQ(LoadIconA(main, nullptr), nullptr);
    EXPECT_EQ(LoadIconA(main, IDI_HAND), nullptr);  // system icons come with a NULL module
    EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(IDI_APPICON)), nullptr);
    EXPECT_EQ(LoadIconA(nullptr, "IDI_HAND"), nullptr);
}

TEST(LoadIcon, SharedIconIsRemadeAfterDestroyIcon) {
    HINSTANCE main = win32::MainModule();
    HICON first = LoadIconA(main, MAKEINTRESOURCEA(IDI_FIXEDDRIVE));
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(DestroyIcon(first));
    HICON again = LoadIconA(main, MAKEINTRESOURCEA(IDI_FIXEDDRIVE));
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again, first);
    EXPECT_EQ(Read(again).w, 32);
}

TEST(LoadIcon, SystemIconsAreTheLayersOwnAndShared) {
    LPCSTR ids[] = {IDI_HAND, IDI_QUESTION, IDI_EXCLAMATION, IDI_ASTERISK, IDI_APPLICATION};
    std::vector<HICON> seen;
    for (LPCSTR id : ids) {
        WORD n = LOWORD(reinterpret_cast<ULONG_PTR>(id));
        SCOPED_TRACE(n);
        HICON icon = LoadIconA(nullptr, id);
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(LoadIconA(nullptr, id), icon);
        for (HICON other : seen) EXPECT_NE(other, icon);
        seen.push_back(icon);
        win32::res::IconPixels want;
        ASSERT_TRUE(win32::res::SystemIconPixels(n, false, &want));
        Pixels got = Read(icon);
        EXPECT_EQ(got.colors, want.colors);
        EXPECT_EQ(got.mask, want.mask);
    }
    EXPECT_EQ(LoadIconA(nullptr, IDI_ERROR), LoadIconA(nullptr, IDI_HAND));
    EXPECT_EQ(LoadIconA(nullptr, IDI_INFORMATION), LoadIconA(nullptr, IDI_ASTERISK));
    EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(32600)), nullptr);
}

TEST(LoadCursor, ArrowOnlyFromTheSystem) {
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    ASSERT_NE(arrow, nullptr);
    EXPECT_EQ(LoadCursorA(nullptr, IDC_ARROW), arrow);
    // IDC_ARROW and IDI_APPLICATION share a number but not a picture.
    EXPECT_NE(arrow, LoadIconA(nullptr, IDI_APPLICATION));
    Pixels p = Read(arrow);
    EXPECT_EQ(p.mask[0], 0);  // hot spot at the top-left pixel
    EXPECT_EQ(LoadCursorA(nullptr, IDC_WAIT), nullptr);
    EXPECT_EQ(LoadCursorA(win32::MainModule(), IDC_ARROW), nullptr);
}

TEST(LoadIcon, RowIconsLeaveEverythingOutsideTheirPictureUntouched) {
    const uint32_t beige = 0xF5F5DC;
    struct Case {
        WORD id;
        RECT picture;  // half-open
    };
    for (const Case &c : {Case{IDI_FIXEDDRIVE, {2, 3, 18, 13}}, Case{IDI_REMOVABLEDRIVE, {4, 2, 15, 14}}}) {
        SCOPED_TRACE(c.id);
        win32::gdi::Surface s;
        s.Resize(40, 40, beige);
        RECT all{0, 0, 40, 40};
        HDC dc = win32::gdi::CreateSurfaceDC(&s, POINT{0, 0}, win32::gdi::Region(all), nullptr);
        ASSERT_NE(dc, nullptr);
        HICON icon = LoadIconA(win32::MainModule(), MAKEINTRESOURCEA(c.id));
        ASSERT_TRUE(DrawIcon(dc, 3, 4, icon));
        Pixels p = Read(icon);
        int changed = 0;
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 40; ++x) {
                int ix = x - 3, iy = y - 4;
                bool inPicture = ix >= c.picture.left && ix < c.picture.right && iy >= c.picture.top &&
                                 iy < c.picture.bottom;
                uint32_t px = s.Row(y)[x];
                if (!inPicture) {
                    ASSERT_EQ(px, beige) << x << "," << y;
                } else if (!p.mask[iy * 32 + ix]) {
                    ASSERT_EQ(px, p.colors[iy * 32 + ix]) << x << "," << y;
                    ++changed;
                }
            }
        }
        EXPECT_GT(changed, 40);
        win32::gdi::DeleteSurfaceDC(dc);
    }
}

}  // namespace
