// GetSystemMetrics: the classic values at 96 DPI, the screen from the back-end.
#include "platform/common/classic.h"
#include "platform/user/wm.h"

using namespace win32;

SIZE win32::wm::ScreenSize() {
    SIZE screen = display::Current().ScreenSize();
    gdi::SetScreenSize(screen);
    return screen;
}

namespace {

// The screen's size and the work area's, less a caption for the height.
int ScreenMetric(int index) {
    SIZE screen = wm::ScreenSize();
    if (index == SM_CXSCREEN) return screen.cx;
    if (index == SM_CYSCREEN) return screen.cy;
    RECT wa = display::Current().WorkArea();
    return index == SM_CXFULLSCREEN ? wa.right - wa.left : wa.bottom - wa.top - classic::kCaptionHeight;
}

}  // namespace

int WINAPI GetSystemMetrics(int index) {
    switch (index) {
        case SM_CXSCREEN:
        case SM_CYSCREEN:
        case SM_CXFULLSCREEN:
        case SM_CYFULLSCREEN:
            return ScreenMetric(index);
        case SM_CXVSCROLL:
        case SM_CYHSCROLL:
        case SM_CYVSCROLL:
        case SM_CXHSCROLL:
        case SM_CYVTHUMB:
        case SM_CXHTHUMB:
            return classic::kScrollBarWidth;
        case SM_CYCAPTION:
            return classic::kCaptionHeight;
        case SM_CXBORDER:
        case SM_CYBORDER:
            return classic::kBorderWidth;
        case SM_CXDLGFRAME:
        case SM_CYDLGFRAME:
            return classic::kDialogFrameWidth;
        case SM_CXFRAME:
        case SM_CYFRAME:
            return classic::kFrameWidth;
        case SM_CXICON:
        case SM_CYICON:
            return classic::kIconSize;
        case SM_CXSMICON:
        case SM_CYSMICON:
            return classic::kSmallIconSize;
        case SM_CXCURSOR:
        case SM_CYCURSOR:
            return classic::kCursorSize;
        case SM_CYMENU:
            return classic::kMenuHeight;
        case SM_CXMIN:
            return classic::kMinTrackWidth;
        case SM_CYMIN:
            return classic::kMinTrackHeight;
        case SM_CXSIZE:
        case SM_CYSIZE:
            return classic::kCaptionHeight - 1;
        case SM_CXDOUBLECLK:
            return classic::kDoubleClickWidth;
        case SM_CYDOUBLECLK:
            return classic::kDoubleClickHeight;
        case SM_CXEDGE:
        case SM_CYEDGE:
            return classic::kEdge;
        default:
            return 0;
    }
}
