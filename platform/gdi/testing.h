// Test seams of the layer's gdi part. Never included by the program.
#pragma once

#include <windows.h>

namespace win32test {}
