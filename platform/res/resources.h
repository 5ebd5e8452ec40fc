// The embedded resource image and what the layer reads from it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// Defined by the program's resource object library (a compiled .res image
// of the program's resource script); weak, so binaries without resources
// link and find none.
extern "C" const unsigned char *morvalen_embedded_resources(size_t *size) __attribute__((weak));

namespace win32 {

// One resource's bytes in the module's image, or an empty span.
struct ResourceData {
    const uint8_t *data = nullptr;
    size_t size = 0;
    WORD language = 0;
};

// Looks a resource up by type and name (MAKEINTRESOURCE ids or strings,
// case-insensitive as on Windows). False when absent.
bool FindModuleResource(HINSTANCE module, LPCSTR type, LPCSTR name, ResourceData *out);

// The entries of a loaded accelerator table, the last-entry bit stripped.
bool AcceleratorEntries(HACCEL table, std::vector<ACCEL> *out);

// A table made from entries, as CreateAcceleratorTableA would (the program
// only loads its table from resources; tests and tools build others).
// DestroyAcceleratorTable frees it.
HACCEL CreateAcceleratorTableFromEntries(const ACCEL *entries, int count);

}  // namespace win32
