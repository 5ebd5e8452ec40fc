// The program's plugins: shared objects it loads only when a feature is
// switched on, found beside the program (the build tree) or in
// lib/morvalen beside its bin/ (once installed).
#pragma once

namespace win32 {

// The entry point `symbol` of plugin `file` ("morvalen-a11y.so"), loaded
// with every symbol bound at once; null when no copy loads or has it (the
// plugin is unloaded again then).
void *PluginEntry(const char *file, const char *symbol);

}  // namespace win32
