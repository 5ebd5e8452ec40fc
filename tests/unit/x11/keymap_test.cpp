// Keysym translation: the virtual keys, scan codes and extended flags the
// window manager of the layer turns into WM_KEYDOWN lParams.
#define XK_PUBLISHING
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <ios>
#include <vector>

#include "platform/display/x11/x11.h"

using namespace win32;

namespace {

display::x11::KeyInfo Key(unsigned long keysym) {
    display::x11::KeyInfo k;
    EXPECT_TRUE(display::x11::TranslateKeysym(keysym, &k)) << "keysym 0x" << std::hex << keysym;
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
    display::x11::KeyInfo up = Key(XK_Up), kpUp = Key(XK_KP_Up);
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
    display::x11::KeyInfo k;
    EXPECT_FALSE(display::x11::TranslateKeysym(XK_F35, &k));
    EXPECT_FALSE(display::x11::TranslateKeysym(0, &k));
    EXPECT_FALSE(display::x11::TranslateKeysym(XK_adiaeresis, &k));
}

// Keys of real layouts as xkeyboard-config gives them: XKB name, levels 1
// and 2 of each group, the active group, and the virtual key and scan code
// Win32 reports for them.
struct LayoutKey {
    const char *layout;
    const char *name;
    std::vector<std::array<unsigned long, 2>> groups;
    int active;
    UINT vk;
    UINT scan;
};

TEST(X11Keymap, AnyLayoutGivesLettersDigitsAndPunctuationAVirtualKey) {
    const LayoutKey keys[] = {
        // Russian alone: the Cyrillic letters keep the US key's letter.
        {"ru", "AB02", {{XK_Cyrillic_che, XK_Cyrillic_CHE}}, 0, 'X', 0x2D},
        {"ru", "AD09", {{XK_Cyrillic_shcha, XK_Cyrillic_SHCHA}}, 0, 'O', 0x18},
        {"ru", "AB08", {{XK_Cyrillic_be, XK_Cyrillic_BE}}, 0, VK_OEM_COMMA, 0x33},
        {"ru", "TLDE", {{XK_Cyrillic_io, XK_Cyrillic_IO}}, 0, VK_OEM_3, 0x29},
        {"ru", "AB10", {{XK_period, XK_comma}}, 0, VK_OEM_PERIOD, 0x35},
        {"ru", "AE04", {{XK_4, XK_semicolon}}, 0, '4', 0x05},
        // Russian and US, either active: the Latin group names the key.
        {"ru,us", "AB02", {{XK_Cyrillic_che, XK_Cyrillic_CHE}, {XK_x, XK_X}}, 0, 'X', 0x2D},
        {"ru,us", "AB02", {{XK_Cyrillic_che, XK_Cyrillic_CHE}, {XK_x, XK_X}}, 1, 'X', 0x2D},
        {"ru,us", "AC10", {{XK_Cyrillic_zhe, XK_Cyrillic_ZHE}, {XK_semicolon, XK_colon}}, 0, VK_OEM_1, 0x27},
        {"us,ru", "AD01", {{XK_q, XK_Q}, {XK_Cyrillic_shorti, XK_Cyrillic_SHORTI}}, 1, 'Q', 0x10},
        // German: Z and Y swap places, umlauts take the US key's code.
        {"de", "AD06", {{XK_z, XK_Z}}, 0, 'Z', 0x15},
        {"de", "AB01", {{XK_y, XK_Y}}, 0, 'Y', 0x2C},
        {"de", "AC11", {{XK_adiaeresis, XK_Adiaeresis}}, 0, VK_OEM_7, 0x28},
        {"de", "AE11", {{XK_ssharp, XK_question}}, 0, VK_OEM_MINUS, 0x0C},
        {"de", "AB10", {{XK_minus, XK_underscore}}, 0, VK_OEM_MINUS, 0x35},
        // French: the digit row types symbols, its keys are still digits.
        {"fr", "AE01", {{XK_ampersand, XK_1}}, 0, '1', 0x02},
        {"fr", "AE04", {{XK_apostrophe, XK_4}}, 0, '4', 0x05},
        {"fr", "AE06", {{XK_minus, XK_6}}, 0, '6', 0x07},
        {"fr", "AD01", {{XK_a, XK_A}}, 0, 'A', 0x10},
        {"fr", "AC10", {{XK_m, XK_M}}, 0, 'M', 0x27},
        {"fr", "AB07", {{XK_comma, XK_question}}, 0, VK_OEM_COMMA, 0x32},
        {"fr", "LSGT", {{XK_less, XK_greater}}, 0, VK_OEM_102, 0x56},
    };
    for (const LayoutKey &k : keys) {
        display::x11::KeyCodeSyms syms;
        std::memcpy(syms.name, k.name, 4);
        syms.groups = static_cast<int>(k.groups.size());
        for (size_t g = 0; g < k.groups.size(); ++g) {
            syms.syms[g][0] = k.groups[g][0];
            syms.syms[g][1] = k.groups[g][1];
        }
        display::x11::KeyInfo info;
        ASSERT_TRUE(display::x11::TranslateKeyCode(syms, k.groups[static_cast<size_t>(k.active)][0], &info))
            << k.layout << " " << k.name;
        EXPECT_EQ(info.vk, k.vk) << k.layout << " " << k.name;
        EXPECT_EQ(info.scanCode, k.scan) << k.layout << " " << k.name;
        EXPECT_FALSE(info.extended) << k.layout << " " << k.name;
    }
    // Keys that are not characters stay what they are in every layout.
    display::x11::KeyCodeSyms esc;
    std::memcpy(esc.name, "ESC\0", 4);
    esc.groups = 1;
    esc.syms[0][0] = XK_Escape;
    display::x11::KeyInfo info;
    ASSERT_TRUE(display::x11::TranslateKeyCode(esc, XK_Escape, &info));
    EXPECT_EQ(info.vk, static_cast<UINT>(VK_ESCAPE));
    EXPECT_EQ(info.scanCode, 0x01u);
    display::x11::KeyCodeSyms unknown;
    EXPECT_FALSE(display::x11::TranslateKeyCode(unknown, XK_Cyrillic_ha, &info));
}

TEST(X11Keymap, CharactersAreWindows1252WhereItHasThem) {
    EXPECT_EQ(display::x11::KeysymToWindows1252(XK_a), 'a');
    EXPECT_EQ(display::x11::KeysymToWindows1252(XK_adiaeresis), 0xE4);
    EXPECT_EQ(display::x11::KeysymToWindows1252(XK_EuroSign), 0x80);
    EXPECT_EQ(display::x11::KeysymToWindows1252(0x1000000 + 0x20AC), 0x80);  // the Unicode keysym of the euro
    EXPECT_EQ(display::x11::KeysymToWindows1252(0x1000000 + 0xE9), 0xE9);
    EXPECT_EQ(display::x11::KeysymToWindows1252(XK_Cyrillic_che), -1);
    EXPECT_EQ(display::x11::KeysymToWindows1252(0x1000000 + 0x0416), -1);
    EXPECT_EQ(display::x11::KeysymToWindows1252(XK_Escape), -1);
}

}  // namespace
