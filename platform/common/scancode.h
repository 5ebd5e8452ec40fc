// The PC keyboard behind the virtual keys, for the back-ends and the window
// manager.
#pragma once

#include <windows.h>

namespace win32 {

// The set-1 make code of a virtual key on a US PC keyboard, 0 for a key it
// does not know. The side-specific keys (VK_RSHIFT, VK_RCONTROL, ...) give
// their side's code. *extended is set when the key the virtual key names
// sits in the extended block (the navigation keys, the right-hand
// modifiers, keypad divide and enter).
UINT ScanCodeOf(UINT vk, bool *extended);

}  // namespace win32
