// The list box's state and the steps its procedure (listbox.cpp) and its
// LB_* messages (listbox_messages.cpp) share.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/common/classic.h"

namespace win32::controls::listbox {

constexpr int kMaxItemHeight = 255;

struct Item {
    std::string text;
    ULONG_PTR data = 0;
};

struct ListBox {
    int count = 0;            // equals items.size() unless the box has no data
    std::vector<Item> items;  // unused with LBS_NODATA
    int itemHeight = classic::kSystemFontHeight;
    int top = 0;
    int sel = -1;
    int caret = 0;
    bool focused = false;
    bool tracking = false;
    int selAtPress = -1;
    int wheelRemainder = 0;
    bool resizing = false;
    HFONT font = nullptr;
};

ListBox *State(HWND hwnd);
DWORD Style(HWND hwnd);
RECT ItemRect(HWND hwnd, const ListBox &lb, int index);
bool NoData(HWND hwnd);      // LBS_NODATA: a count, no items
bool HasStrings(HWND hwnd);  // the box keeps strings (not owner-drawn without LBS_HASSTRINGS)
void DrawOne(HWND hwnd, int index, UINT action);
void SetTop(HWND hwnd, int top);
void EnsureVisible(HWND hwnd, int index);
bool Select(HWND hwnd, int index);
void FitIntegralHeight(HWND hwnd, ListBox &lb);
int ItemAt(HWND hwnd, const ListBox &lb, int y, bool *outside);
void Relayout(HWND hwnd);
int VisibleItems(HWND hwnd, const ListBox &lb);  // whole items the client area shows
void VScroll(HWND hwnd, WPARAM wParam);          // WM_VSCROLL
void Wheel(HWND hwnd, WPARAM wParam);            // WM_MOUSEWHEEL

// The LB_* messages; anything else goes to DefWindowProcA.
LRESULT ListMessage(HWND hwnd, ListBox &lb, UINT msg, WPARAM wParam, LPARAM lParam);

}  // namespace win32::controls::listbox
