// Test seams of the layer's kernel part. Never included by the program.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace win32::testing {

// Read the mount table and sysfs from these paths instead of
// /proc/self/mountinfo and /sys (null or empty: the real ones). The letter
// map is computed again at the next use.
void SetMountInfoPath(const char *path);
void SetSysfsRoot(const char *path);

// A drive given directly, bypassing the mount table. Its mount ID is not
// known, so a real query of its mount point skips the check that the
// descriptor is on the table's mount.
struct FakeDrive {
    char letter;
    UINT type;
    std::string mountPoint;
    std::string fsType = "ext4";
    std::string source = "/dev/fake";
};
// Replaces the letter map by these drives until ResetKernel.
void SetFakeDrives(const std::vector<FakeDrive> &drives);

// What a replaced space query answers for a mount point.
struct FakeSpace {
    bool ok = true;
    unsigned long long fragmentSize = 4096;
    unsigned long long blocks = 0;
    unsigned long long freeBlocks = 0;
    unsigned long long availBlocks = 0;
    unsigned delayMs = 0;  // answers only after this long
};
using SpaceQueryFn = std::function<FakeSpace(const std::string &mountPoint)>;
// Replaces statvfs; the query still runs under the timeout.
void SetSpaceQuery(SpaceQueryFn fn);

// GetProcAddress no longer finds the extended free-space query.
void HideExtendedQuery(bool hide);

struct KernelCalls {
    int getDriveType = 0;
    int getDiskFreeSpaceEx = 0;
    int getDiskFreeSpace = 0;
    int setErrorMode = 0;
    int getModuleHandle = 0;
    int getProcAddress = 0;
    int spaceQueries = 0;  // filesystems actually asked (statvfs or the fake)
    int spaceRounds = 0;   // times all the drives' queries started together
    std::vector<std::string> queriedMounts;
};
KernelCalls GetKernelCalls();

// Back to the real mount table, sysfs and statvfs; counters, error mode
// and the letter map cleared.
void ResetKernel();

}  // namespace win32::testing
