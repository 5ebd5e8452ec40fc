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

// Top-levels in creation order (the application's children); true when
// that changed them.
bool NoteTopLevel(HWND h, bool alive);

// The node that has the keyboard when `h` has the focus: a list box's
// caret item, else the window.
Node FocusNode(HWND h);

Host &SharedHost();

// The layer reports its changes to the provider from now on.
void InstallHooks();
// The registry knows the application (or no longer hears it): the active
// window is announced again once it is drawn.
void NoteRegistered(bool registered);
// The active top-level as a screen reader was told (without one listening,
// the active one), and whether `h` lies outside it. A window made active
// is reported active, and what it holds focused, only once the events have
// said so: a screen reader that asks learns nothing before them.
HWND ToldActive();
bool StillToTell(HWND h);

}  // namespace win32::a11y
