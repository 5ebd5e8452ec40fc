// The parts of the window manager's state that last one session, each
// started over by the test seam (testing.cpp) once every window is gone,
// each kept by the file named beside it. What outlives a session stays:
// the registered classes, their atoms and the window table.
#pragma once

namespace win32::wm {

void ResetWindowList();  // window.cpp: the top-levels, the cascade
void ResetPlacement();   // geometry.cpp: native windows to map or followed
void ResetQueue();       // message.cpp: posted and input messages, quit
void ResetKeyboard();    // keyboard.cpp: key state, reported characters
void ResetFocus();       // focus.cpp: focus, activation, capture
void ResetPointer();     // input.cpp: the pointer, clicks, moves, tracking

}  // namespace win32::wm
