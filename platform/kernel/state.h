// State shared by the kernel part's files: call counters and the switch
// that hides the extended free-space query.
#pragma once

#include "platform/kernel/testing.h"

namespace win32 {

win32::testing::KernelCalls &KernelCounters();
bool ExtendedQueryHidden();
void ResetModuleState();  // error mode and the hidden switch
void ResetDriveState();   // letter map, sources and the space query

}  // namespace win32
