// Finding and loading the program's plugins.
#include "platform/kernel/plugin.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>

namespace win32 {

namespace {

std::string ProgramDirectory() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "";
    std::string p(path, static_cast<size_t>(n));
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? "" : p.substr(0, slash);
}

}  // namespace

void *PluginEntry(const char *file, const char *symbol) {
    const std::string dir = ProgramDirectory();
    if (dir.empty()) return nullptr;
    for (const char *place : {"/", "/../lib/morvalen/"}) {
        void *lib = dlopen((dir + place + file).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!lib) continue;
        if (void *entry = dlsym(lib, symbol)) return entry;
        dlclose(lib);
    }
    return nullptr;
}

}  // namespace win32
