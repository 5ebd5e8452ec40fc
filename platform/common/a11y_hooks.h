// What the rest of the layer tells the accessibility provider: text drawn
// into windows and list items, windows coming and going, activation, focus
// and the list box's caret. The provider (platform/a11y/, above every other
// folder) installs the receiver; without one, and while no assistive
// technology listens, each call returns at once.
#pragma once

#include <windows.h>

namespace win32::a11y {

class Hooks {
public:
    virtual ~Hooks() = default;
    virtual void Text(HWND hwnd, const RECT &cell, const char *s, int n, bool underlined) = 0;
    virtual void BeginItem(HWND list, int index, UINT action) = 0;
    virtual void EndItem() = 0;
    virtual void WindowCreated(HWND h) = 0;
    virtual void WindowDestroying(HWND h) = 0;
    virtual void Activated(HWND old, HWND now) = 0;
    virtual void FocusChanged(HWND old, HWND now) = 0;
    virtual void CaretMoved(HWND list) = 0;
};

// The receiver (null: none).
void SetHooks(Hooks *hooks);

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
};

void WindowCreated(HWND h);
void WindowDestroying(HWND h);  // still alive, about to go
void Activated(HWND old, HWND now);
void FocusChanged(HWND old, HWND now);
void CaretMoved(HWND list);

}  // namespace win32::a11y
