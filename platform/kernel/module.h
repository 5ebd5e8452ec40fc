// Module handles of the layer.
#pragma once

#include <windows.h>

#include <cstdint>

namespace win32 {

// The executable's own module, as GetModuleHandleA(NULL) answers and as the
// start-up hands to WinMain. Its resources are the embedded resource image.
inline HINSTANCE MainModule() {
    return reinterpret_cast<HINSTANCE>(uintptr_t{0x00400000});
}

}  // namespace win32
