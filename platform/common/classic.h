// The values the layer adopts for the classic look at 96 DPI, in one place.
#pragma once

#include <windows.h>

namespace win32::classic {

// Metrics.
constexpr int kCaptionHeight = 19;    // SM_CYCAPTION
constexpr int kFrameWidth = 4;        // SM_CXFRAME / SM_CYFRAME
constexpr int kBorderWidth = 1;       // SM_CXBORDER / SM_CYBORDER
constexpr int kDialogFrameWidth = 3;  // SM_CXDLGFRAME / SM_CYDLGFRAME
constexpr int kScrollBarWidth = 16;   // SM_CXVSCROLL / SM_CYHSCROLL / SM_CYVSCROLL
constexpr int kIconSize = 32;         // SM_CXICON / SM_CYICON
constexpr int kSmallIconSize = 16;    // SM_CXSMICON
constexpr int kCursorSize = 32;
constexpr int kMenuHeight = 19;
constexpr int kEdge = 2;
constexpr int kMinTrackWidth = 112;
constexpr int kMinTrackHeight = 27;
constexpr int kDefaultScreenWidth = 1024;
constexpr int kDefaultScreenHeight = 768;

// Double-click: within this time and this many pixels, for CS_DBLCLKS classes.
constexpr UINT kDoubleClickTime = 500;
constexpr int kDoubleClickWidth = 4;
constexpr int kDoubleClickHeight = 4;

// Logical pixels per inch the program sees, on any desktop.
constexpr int kDefaultDpi = 96;

// Fonts: line height of the system font, advance of the system fixed font.
constexpr int kSystemFontHeight = 16;
constexpr int kSystemFixedAdvance = 8;

// "Windows Standard" colours as COLORREF (0x00BBGGRR), by COLOR_* index.
constexpr COLORREF kSysColors[] = {
    RGB(192, 192, 192),  // COLOR_SCROLLBAR
    RGB(0, 128, 128),    // COLOR_BACKGROUND
    RGB(0, 0, 128),      // COLOR_ACTIVECAPTION
    RGB(128, 128, 128),  // COLOR_INACTIVECAPTION
    RGB(192, 192, 192),  // COLOR_MENU
    RGB(255, 255, 255),  // COLOR_WINDOW
    RGB(0, 0, 0),        // COLOR_WINDOWFRAME
    RGB(0, 0, 0),        // COLOR_MENUTEXT
    RGB(0, 0, 0),        // COLOR_WINDOWTEXT
    RGB(255, 255, 255),  // COLOR_CAPTIONTEXT
    RGB(192, 192, 192),  // COLOR_ACTIVEBORDER
    RGB(192, 192, 192),  // COLOR_INACTIVEBORDER
    RGB(128, 128, 128),  // COLOR_APPWORKSPACE
    RGB(0, 0, 128),      // COLOR_HIGHLIGHT
    RGB(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
    RGB(192, 192, 192),  // COLOR_BTNFACE
    RGB(128, 128, 128),  // COLOR_BTNSHADOW
    RGB(128, 128, 128),  // COLOR_GRAYTEXT
    RGB(0, 0, 0),        // COLOR_BTNTEXT
    RGB(192, 192, 192),  // COLOR_INACTIVECAPTIONTEXT
    RGB(255, 255, 255),  // COLOR_BTNHIGHLIGHT
    RGB(0, 0, 0),        // COLOR_3DDKSHADOW
    RGB(192, 192, 192),  // COLOR_3DLIGHT
    RGB(0, 0, 0),        // COLOR_INFOTEXT
    RGB(255, 255, 225),  // COLOR_INFOBK
};
constexpr int kSysColorCount = sizeof(kSysColors) / sizeof(kSysColors[0]);

}  // namespace win32::classic
