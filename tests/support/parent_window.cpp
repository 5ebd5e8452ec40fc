#include "tests/support/parent_window.h"

namespace testsupport {

Recorder &Rec() {
    static Recorder rec;
    return rec;
}

namespace {

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Recorder &r = Rec();
    r.messages.push_back(msg);
    switch (msg) {
        case WM_COMMAND:
            r.commands.push_back(
                {LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam), GetCapture()});
            return 0;
        case WM_DRAWITEM: {
            auto *dis = reinterpret_cast<const DRAWITEMSTRUCT *>(lParam);
            r.draws.push_back({dis->CtlType, dis->CtlID, static_cast<int>(dis->itemID), dis->itemAction,
                               dis->itemState, dis->hwndItem, dis->rcItem, dis->hDC != nullptr});
            if (r.paintItems && dis->hDC && static_cast<int>(dis->itemID) >= 0) {
                HBRUSH b = CreateSolidBrush(ItemColour(static_cast<int>(dis->itemID)));
                FillRect(dis->hDC, &dis->rcItem, b);
                DeleteObject(b);
            }
            return TRUE;
        }
        case WM_MEASUREITEM: {
            auto *mis = reinterpret_cast<MEASUREITEMSTRUCT *>(lParam);
            ++r.measureCalls;
            r.measuredHeightIn = mis->itemHeight;
            if (r.measureAnswer) mis->itemHeight = r.measureAnswer;
            return TRUE;
        }
        case WM_CTLCOLORLISTBOX:
            ++r.ctlColorListBox;
            r.lastCtlColorDc = reinterpret_cast<HDC>(wParam);
            r.lastCtlColorList = reinterpret_cast<HWND>(lParam);
            if (r.listBrush) return reinterpret_cast<LRESULT>(r.listBrush);
            break;
        case WM_VSCROLL:
            r.vscrollCodes.push_back(LOWORD(wParam));
            break;
        default:
            break;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

HWND CreateParent() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = ParentProc;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
        wc.lpszClassName = "ControlsTestParent";
        registered = RegisterClassA(&wc) != 0;
    }
    HWND hwnd = CreateWindowExA(0, "ControlsTestParent", "controls", WS_POPUP | WS_VISIBLE, 10, 10, 400, 300,
                                nullptr, nullptr, nullptr, nullptr);
    Rec().Clear();
    return hwnd;
}

LRESULT Mouse(HWND hwnd, UINT msg, int x, int y) {
    WPARAM keys = (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK) ? MK_LBUTTON : 0;
    return SendMessageA(hwnd, msg, keys, MAKELPARAM(x, y));
}

COLORREF ClientPixel(HWND hwnd, int x, int y) {
    HDC dc = GetDC(hwnd);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(hwnd, dc);
    return c;
}

}  // namespace testsupport
