// The main window's globals and helpers that the framework and the message
// boxes use. They are defined by the main window (app/); declaring them here
// keeps winobj/ and msgbox/ buildable on their own.
#pragma once

#include <windows.h>

// The module instance handle, stored by WinMain; null during static
// initialisation.
extern HINSTANCE AppInstance;

// Places a window over the middle of its owner (or of the screen) and grows
// it by one pixel each way.
void CenterWindow(HWND hwnd);
