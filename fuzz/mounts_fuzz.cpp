// libFuzzer target: the mount-table reader and the letter assignment on
// arbitrary bytes. Besides the sanitizers' checks it holds the reader to
// what the rest of the layer relies on.
#include <cstdint>
#include <cstdlib>

#include "platform/kernel/mounts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    auto mounts = win32::ParseMountInfo(reinterpret_cast<const char *>(data), size);
    for (const auto &m : mounts) {
        if (m.mountPoint.empty() || m.mountPoint[0] != '/') abort();
        if (m.root.empty() || m.root[0] != '/') abort();
        if (m.mountPoint.find('\0') != std::string::npos) abort();
    }
    auto drives = win32::AssignLetters(mounts, "/nonexistent-sysfs");
    if (drives.size() > 24) abort();
    char expect = 'C';
    for (const auto &d : drives) {
        if (d.letter != expect++) abort();
        if (d.type < DRIVE_REMOVABLE || d.type > DRIVE_RAMDISK) abort();
    }
    return 0;
}
