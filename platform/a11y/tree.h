// The accessible objects made from the layer's own windows, with no
// knowledge of the program: top-levels are frames or dialogs, list boxes
// lists of items, buttons push buttons or (owner-drawn, underlined text)
// links, and text drawn into a window its labels.
#pragma once

#include <windows.h>

#include "platform/a11y/provider.h"

namespace win32::a11y {

Node WindowNode(HWND h);
HWND NodeWindow(const Node &n);  // null for the application

// Top-levels in creation order (the application's children).
void NoteTopLevel(HWND h, bool alive);

// The node that has the keyboard when `h` has the focus: a list box's
// caret item, else the window.
Node FocusNode(HWND h);

Host &SharedHost();

// The layer reports its changes to the provider from now on.
void InstallHooks();
// The registry knows the application (or no longer hears it): the active
// window is announced again once it is drawn.
void NoteRegistered(bool registered);
// Whether `h` lies in the active top-level whose activation is not
// announced yet. Until it is, that window is not reported active and
// nothing in it focused: a screen reader that asks learns nothing before
// the events say it.
bool StillToTell(HWND h);

}  // namespace win32::a11y
