// Which window system the program's windows go to.
#pragma once

#include <memory>

#include "platform/display/backend.h"

namespace win32::start {

// The back-end the program starts on: Wayland when WAYLAND_DISPLAY (or
// WAYLAND_SOCKET) is set and connects, else X11 on DISPLAY;
// MORVALEN_BACKEND=wayland or x11 insists on one. A Wayland display that
// fails gives way to DISPLAY with one line on stderr. When none opens,
// says why on stderr and exits with code 1.
std::unique_ptr<display::Backend> OpenDisplayOrExit();

}  // namespace win32::start
