// Keysym translation: the virtual keys, scan codes and extended flags the
// window manager of the layer turns into WM_KEYDOWN lParams.
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include "platform/display/x11/x11.h"

namespace {

x11::KeyInfo Key(unsigned long keysym) {
    x11::KeyInfo k;
    EXPECT_TRUE(x11::TranslateKeysym(keysym, &k)) << "keysym 0x" << std::hex << keysym;
    return k;
}

TEST(X11Keymap, LettersAndDigitsUseTheirCharacterAsVirtualKey) {
    EXPECT_EQ(Key(XK_a).vk, static_cast<UINT>('A'));
    EXPECT_EQ(Key(XK_A).vk, static_cast<UINT>('A'));
    EXPECT_EQ(Key(XK_x).vk, static_cast<UINT>('X'));
    EXPECT_EQ(Key(XK_x).scanCode, 0x2Du);
    EXPECT_EQ(Key(XK_o).scanCode, 0x18u);
    EXPECT_EQ(Key(XK_z).scanCode, 0x2Cu);
    EXPECT_EQ(Key(XK_0).vk, static_cast<UINT>('0'));
    EXPECT_EQ(Key(XK_0).scanCode, 0x0Bu);
    EXPECT_EQ(Key(XK_1).scanCode, 0x02u);
    EXPECT_FALSE(Key(XK_q).extended);
}

TEST(X11Keymap, NavigationKeysAreExtendedButTheirKeypadTwinsAreNot) {
    x11::KeyInfo up = Key(XK_Up), kpUp = Key(XK_KP_Up);
    EXPECT_EQ(up.vk, static_cast<UINT>(VK_UP));
    EXPECT_EQ(kpUp.vk, static_cast<UINT>(VK_UP));
    EXPECT_EQ(up.scanCode, kpUp.scanCode);
    EXPECT_TRUE(up.extended);
    EXPECT_FALSE(kpUp.extended);
    for (unsigned long ks :
         {XK_Home, XK_End, XK_Page_Up, XK_Page_Down, XK_Left, XK_Right, XK_Down, XK_Insert, XK_Delete}) {
        EXPECT_TRUE(Key(ks).extended) << std::hex << ks;
    }
    EXPECT_EQ(Key(XK_Page_Up).vk, static_cast<UINT>(VK_PRIOR));
    EXPECT_EQ(Key(XK_Page_Down).vk, static_cast<UINT>(VK_NEXT));
    EXPECT_EQ(Key(XK_KP_8).vk, static_cast<UINT>(VK_NUMPAD8));
    EXPECT_TRUE(Key(XK_KP_Enter).extended);
    EXPECT_EQ(Key(XK_KP_Enter).vk, static_cast<UINT>(VK_RETURN));
    EXPECT_FALSE(Key(XK_Return).extended);
}

TEST(X11Keymap, ModifiersReportTheGenericKeyRightHandOnesExtended) {
    EXPECT_EQ(Key(XK_Alt_L).vk, static_cast<UINT>(VK_MENU));
    EXPECT_EQ(Key(XK_Alt_L).scanCode, 0x38u);
    EXPECT_FALSE(Key(XK_Alt_L).extended);
    EXPECT_TRUE(Key(XK_Alt_R).extended);
    EXPECT_EQ(Key(XK_Control_R).vk, static_cast<UINT>(VK_CONTROL));
    EXPECT_TRUE(Key(XK_Control_R).extended);
    EXPECT_EQ(Key(XK_Shift_R).vk, static_cast<UINT>(VK_SHIFT));
    EXPECT_EQ(Key(XK_Shift_R).scanCode, 0x36u);
    EXPECT_EQ(Key(XK_Escape).vk, static_cast<UINT>(VK_ESCAPE));
    EXPECT_EQ(Key(XK_Escape).scanCode, 0x01u);
    EXPECT_EQ(Key(XK_F4).vk, static_cast<UINT>(VK_F4));
    EXPECT_EQ(Key(XK_F4).scanCode, 0x3Eu);
    EXPECT_EQ(Key(XK_F12).scanCode, 0x58u);
    EXPECT_EQ(Key(XK_ISO_Left_Tab).vk, static_cast<UINT>(VK_TAB));
}

TEST(X11Keymap, PunctuationAndUnknownKeys) {
    EXPECT_EQ(Key(XK_comma).vk, static_cast<UINT>(VK_OEM_COMMA));
    EXPECT_EQ(Key(XK_minus).vk, static_cast<UINT>(VK_OEM_MINUS));
    EXPECT_EQ(Key(XK_slash).vk, static_cast<UINT>(VK_OEM_2));
    x11::KeyInfo k;
    EXPECT_FALSE(x11::TranslateKeysym(XK_F35, &k));
    EXPECT_FALSE(x11::TranslateKeysym(0, &k));
    EXPECT_FALSE(x11::TranslateKeysym(XK_adiaeresis, &k));
}

}  // namespace
