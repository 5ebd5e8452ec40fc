// Test seams of the Win32-subset layer: pick the headless back-end, inject
// input, read pixels, substitute the drive source, count calls. Tests and
// tools include this; the program never does.
#pragma once

#include "platform/gdi/testing.h"
#include "platform/kernel/testing.h"
#include "platform/shell/testing.h"
#include "platform/user/testing.h"
