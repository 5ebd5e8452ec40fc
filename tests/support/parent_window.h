// A top-level window that hosts the controls under test and records what
// they send to their parent.
#pragma once

#include <windows.h>

#include <vector>

namespace testsupport {

struct Command {
    int id;
    int code;
    HWND from;
    HWND capture;  // the capture while the parent handled it
};

struct DrawItem {
    UINT ctlType;
    UINT ctlId;
    int itemId;
    UINT action;
    UINT state;
    HWND item;
    RECT rc;
    bool hasDc;
};

struct Recorder {
    std::vector<Command> commands;
    std::vector<DrawItem> draws;
    std::vector<UINT> messages;  // every message, in order
    int ctlColorListBox = 0;
    HDC lastCtlColorDc = nullptr;
    HWND lastCtlColorList = nullptr;
    HBRUSH listBrush = nullptr;  // answer to WM_CTLCOLORLISTBOX (0: default)
    int measureCalls = 0;
    UINT measuredHeightIn = 0;
    UINT measureAnswer = 0;  // non-zero: the item height to answer
    std::vector<int> vscrollCodes;
    bool paintItems = false;  // owner-drawn items filled with ItemColour

    void Clear() {
        commands.clear();
        draws.clear();
        messages.clear();
        ctlColorListBox = 0;
        measureCalls = 0;
        vscrollCodes.clear();
    }
    int CountCommands(int code) const {
        int n = 0;
        for (const Command &c : commands) n += c.code == code;
        return n;
    }
};

Recorder &Rec();

// The colour the parent fills owner-drawn item `index` with (paintItems).
inline COLORREF ItemColour(int index) {
    return RGB(index * 6 % 256, 128, 255 - index * 6 % 256);
}

// Creates a visible top-level window with a 400 x 300 client area.
HWND CreateParent();

// Sends a mouse message with client coordinates.
LRESULT Mouse(HWND hwnd, UINT msg, int x, int y);

// Colour of one pixel of a window's client area.
COLORREF ClientPixel(HWND hwnd, int x, int y);

}  // namespace testsupport
