// Passing the layer's changes to the accessibility provider, when one is
// installed.
#include "platform/common/a11y_hooks.h"

namespace win32::a11y {

namespace {
Hooks *receiver = nullptr;
}  // namespace

void SetHooks(Hooks *hooks) {
    receiver = hooks;
}

void NoteText(HWND hwnd, const RECT &cell, const char *s, int n, bool underlined) {
    if (receiver) receiver->Text(hwnd, cell, s, n, underlined);
}

ItemDrawing::ItemDrawing(HWND list, int index, UINT action) {
    if (receiver) receiver->BeginItem(list, index, action);
}

ItemDrawing::~ItemDrawing() {
    if (receiver) receiver->EndItem();
}

void WindowCreated(HWND h) {
    if (receiver) receiver->WindowCreated(h);
}

void WindowDestroying(HWND h) {
    if (receiver) receiver->WindowDestroying(h);
}

void FocusChanged(HWND old, HWND now) {
    if (receiver) receiver->FocusChanged(old, now);
}

void CaretMoved(HWND list) {
    if (receiver) receiver->CaretMoved(list);
}

KeyFate Key(const KeyStroke &key, uint64_t serial) {
    return receiver ? receiver->Key(key, serial) : KeyFate::Deliver;
}

}  // namespace win32::a11y
