// The thread's last-error value. The layer runs on one thread, so a plain
// global serves.
#include <windows.h>

namespace {
DWORD g_lastError = 0;
}

extern "C" DWORD WINAPI GetLastError(void) {
    return g_lastError;
}
extern "C" void WINAPI SetLastError(DWORD code) {
    g_lastError = code;
}
