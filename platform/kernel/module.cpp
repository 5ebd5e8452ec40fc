// The error mode, module and procedure lookup, the tick count and Sleep.
#include <strings.h>
#include <time.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/common/handles.h"
#include "platform/kernel/module.h"
#include "platform/kernel/state.h"

namespace win32 {
namespace {

struct ModuleInfo {
    const char *name;
};

struct ModuleState {
    UINT errorMode = 0;
    bool hideExtended = false;
    HandleTable<ModuleInfo> modules{HandleKind::Module};
    uintptr_t kernel32 = 0;
};

ModuleState &Modules() {
    static ModuleState s;
    return s;
}

// The system module: one entry in the module table, made on first use.
uintptr_t Kernel32() {
    ModuleState &s = Modules();
    if (!s.kernel32) s.kernel32 = s.modules.Add(std::make_unique<ModuleInfo>(ModuleInfo{"KERNEL32.DLL"}));
    return s.kernel32;
}

}  // namespace

win32::testing::KernelCalls &KernelCounters() {
    static win32::testing::KernelCalls calls;
    return calls;
}

bool ExtendedQueryHidden() {
    return Modules().hideExtended;
}

void ResetModuleState() {
    Modules().errorMode = 0;
    Modules().hideExtended = false;
}

}  // namespace win32

extern "C" UINT WINAPI SetErrorMode(UINT uMode) {
    win32::KernelCounters().setErrorMode++;
    UINT previous = win32::Modules().errorMode;
    win32::Modules().errorMode = uMode;
    return previous;
}

extern "C" UINT WINAPI GetErrorMode(void) {
    return win32::Modules().errorMode;
}

// NULL is the executable itself; the system module answers to "KERNEL32.DLL"
// and "KERNEL32" in any case. Nothing else is loaded.
extern "C" HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    win32::KernelCounters().getModuleHandle++;
    if (!lpModuleName) return win32::MainModule();
    if (strcasecmp(lpModuleName, "KERNEL32.DLL") == 0 || strcasecmp(lpModuleName, "KERNEL32") == 0)
        return win32::MakeHandle<HMODULE>(win32::Kernel32());
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

extern "C" FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    win32::KernelCounters().getProcAddress++;
    uintptr_t h = win32::HandleValue(hModule);
    if (!win32::Modules().modules.Get(h)) {
        SetLastError(h ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // An ordinal (a "name" below 0x10000) is never one we export.
    if (reinterpret_cast<uintptr_t>(lpProcName) > 0xFFFF && !win32::ExtendedQueryHidden() &&
        strcmp(lpProcName, "GetDiskFreeSpaceExA") == 0)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)(void)>(&GetDiskFreeSpaceExA));
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

extern "C" DWORD WINAPI GetTickCount(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    unsigned long long ms = static_cast<unsigned long long>(ts.tv_sec) * 1000ULL + ts.tv_nsec / 1000000;
    return static_cast<DWORD>(ms);
}

extern "C" void WINAPI Sleep(DWORD dwMilliseconds) {
    struct timespec ts;
    ts.tv_sec = dwMilliseconds / 1000;
    ts.tv_nsec = static_cast<long>(dwMilliseconds % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void win32::testing::HideExtendedQuery(bool hide) {
    win32::Modules().hideExtended = hide;
}

win32::testing::KernelCalls win32::testing::GetKernelCalls() {
    return win32::KernelCounters();
}

void win32::testing::ResetKernel() {
    win32::KernelCounters() = KernelCalls{};
    win32::ResetModuleState();
    win32::ResetDriveState();
}
