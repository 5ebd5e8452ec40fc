// What the rest of the layer tells the accessibility provider: text drawn
// into windows and list items, windows coming and going, activation, focus
// and the list box's caret. Each call is cheap and does nothing while no
// assistive technology is listening.
#pragma once

#include <windows.h>

namespace win32::a11y {

// Text drawn by TextOutA, ExtTextOutA or DrawTextA into a window's context:
// `cell` is where it lies in the window's client coordinates.
void NoteText(HWND hwnd, const RECT &cell, const char *s, int n, bool underlined);

// While it lives, text drawn belongs to item `index` of list box `list`
// (around WM_DRAWITEM). `action` is the ODA_* of the drawing.
class ItemDrawing {
public:
    ItemDrawing(HWND list, int index, UINT action);
    ~ItemDrawing();
    ItemDrawing(const ItemDrawing &) = delete;
    ItemDrawing &operator=(const ItemDrawing &) = delete;

private:
    HWND savedList_;
    int savedIndex_;
};

void WindowCreated(HWND h);
void WindowDestroying(HWND h);  // still alive, about to go
void Activated(HWND old, HWND now);
void FocusChanged(HWND old, HWND now);
void CaretMoved(HWND list);

// The program's start-up: lets the provider load, when an assistive
// technology may run, once the message loop first waits.
void AllowProvider();

}  // namespace win32::a11y
