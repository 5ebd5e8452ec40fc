// Window classes (class.cpp): the class a window is created from.
#pragma once

#include <windows.h>

#include <memory>

#include "platform/user/wm.h"

namespace win32::wm {

// The class of that name visible to `instance`: its own, then a system
// class, then one another instance registered. Registers the system
// classes first.
std::shared_ptr<WindowClass> FindClass(LPCSTR name, HINSTANCE instance);

}  // namespace win32::wm
