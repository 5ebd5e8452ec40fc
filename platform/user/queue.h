// The message queue (message.cpp): what the other files put in it and
// take from it besides the public calls.
#pragma once

#include <windows.h>

#include <cstdint>

#include "platform/display/backend.h"

namespace win32::wm {

// Input messages, retrieved after what is posted; the point is the pointer's.
void QueueInput(HWND h, UINT msg, WPARAM wp, LPARAM lp, DWORD time);
// Posts a message whose time and point are already set.
void AppendPosted(const MSG &m);
// Something new to retrieve (a window to paint): WaitMessage returns.
void NoteArrival();
// The back-end's events in order, one at a time; TakeRawChar takes the
// next only when it is the character a key produced.
bool TakeRawEvent(display::Event *ev);
bool TakeRawChar(char *ch);
// The oldest back-end event left where it is, with its number in the order
// of arrival (never reused), and the character its key produced (-1 none).
bool PeekRawEvent(display::Event *ev, uint64_t *serial, int *ch);
// A key was left waiting at the front: WaitMessage returns after each wait
// so that the key is looked at again.
void NoteKeyHeld(bool held);
// Whether WM_QUIT waits to be retrieved, with its code.
bool QuitPending(int *code);

}  // namespace win32::wm
