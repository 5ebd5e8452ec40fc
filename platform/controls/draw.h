// The classic edges of the system controls, which the window frame a
// back-end draws for itself shares: helpers built on public GDI calls only.
#pragma once

#include <windows.h>

namespace win32::controls {

// Fills `rc` with a system colour.
void FillSys(HDC dc, const RECT &rc, int colorIndex);

// A 1-px frame: top and left lines in `topLeft`, bottom and right lines in
// `bottomRight` (system colour indexes).
void Frame3D(HDC dc, const RECT &rc, int topLeft, int bottomRight);

// The classic raised edge of push buttons and scroll-bar parts. `soft`
// selects the push-button variant (white outside, light grey inside).
void RaisedEdge(HDC dc, const RECT &rc, bool soft);

}  // namespace win32::controls
