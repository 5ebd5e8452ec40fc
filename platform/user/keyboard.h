// The keyboard (keyboard.cpp): key events to key messages and the key
// state. GetKeyState and GetAsyncKeyState read it.
#pragma once

#include <windows.h>

#include "platform/display/backend.h"

namespace win32::wm {

// A key event becomes WM_(SYS)KEYDOWN/UP for the focus (or the active window).
void Key(const display::Event &ev);
// The character the back-end reported for a key, for TranslateMessage.
void NoteKeyChar(UINT vk, char ch);
// The modifiers the window system reports held with an event.
void SyncModifiers(const display::Event &ev);
// A mouse button pressed or released.
void SetAsyncKey(UINT vk, bool down);
// A message was retrieved: the key state GetKeyState reports follows it.
void NoteRetrieved(const MSG &m);

}  // namespace win32::wm
