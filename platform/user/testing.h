// Test seams of the layer's user part. Never included by the program.
#pragma once

#include <windows.h>

namespace win32test {}
