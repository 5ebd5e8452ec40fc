// What the rest of the layer tells the accessibility provider: text drawn
// into windows and list items, windows coming and going, focus, the list
// box's caret, and every key before it becomes a message (which window is
// active the provider reads when the loop waits). The
// provider (platform/a11y/, above every other folder) installs the
// receiver; without one, and while no assistive technology listens, each
// call returns at once.
#pragma once

#include <windows.h>

#include <cstdint>

namespace win32::a11y {

// A key press or release as the window system reported it, before the
// layer turns it into messages.
struct KeyStroke {
    bool down = false;
    UINT vk = 0;
    UINT scanCode = 0;  // set 1, 0 when the back-end gave none
    bool extended = false;
    int ch = -1;         // the character the press produced, -1 for none
    int modifiers = -1;  // display::kMod* held just before it, -1 unknown
    DWORD time = 0;
};

// What becomes of a key a screen reader heard first: it goes on to the
// program, the screen reader kept it, or the answer is still awaited (the
// key and everything after it wait; ask again about the same key).
enum class KeyFate { Deliver, Drop, Hold };

class Hooks {
public:
    virtual ~Hooks() = default;
    virtual void Text(HWND hwnd, const RECT &cell, const char *s, int n, bool underlined) = 0;
    virtual void BeginItem(HWND list, int index, UINT action) = 0;
    virtual void EndItem() = 0;
    virtual void WindowCreated(HWND h) = 0;
    virtual void WindowDestroying(HWND h) = 0;
    virtual void FocusChanged(HWND old, HWND now) = 0;
    virtual void CaretMoved(HWND list) = 0;
    virtual KeyFate Key(const KeyStroke &key, uint64_t serial) = 0;
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
void FocusChanged(HWND old, HWND now);
void CaretMoved(HWND list);
// `serial` tells keys apart: asked again about the same serial, the
// receiver answers for the key it already heard.
KeyFate Key(const KeyStroke &key, uint64_t serial);

}  // namespace win32::a11y
