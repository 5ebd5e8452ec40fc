// The mount table as drive letters: reading /proc/self/mountinfo,
// classifying each mount from the table and sysfs, and giving out letters.
// Nothing here touches a mounted filesystem.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace win32 {

// One line of mountinfo, its escapes decoded.
struct MountEntry {
    unsigned id = 0, parent = 0;  // the mount's id and its parent mount's
    unsigned major = 0, minor = 0;
    std::string root;        // the mount's root within its filesystem
    std::string mountPoint;  // where it is mounted
    std::string fsType;      // "ext4", "fuse.sshfs", ...
    std::string source;      // the device or source text
};

// Parses mountinfo text; malformed or truncated lines are skipped.
std::vector<MountEntry> ParseMountInfo(const char *text, size_t size);

// Reads and parses the table from `fd` to its end, or until more than
// `maxBytes` have been read, as ParseMountInfo would parse the text read.
std::vector<MountEntry> ReadMountInfo(int fd, size_t maxBytes);

// The text with mountinfo's escapes for the bytes that would split a field
// or a line there: space, tab, newline and backslash as \040, \011, \012
// and \134. Decoding it gives the text back.
std::string EscapeMountText(const std::string &text);

// The drive type a mount would have, or DRIVE_UNKNOWN for mounts that are
// not drives at all (proc, sysfs, cgroup, ...). `sysfsRoot` is "/sys" on a
// real system.
UINT ClassifyMount(const MountEntry &m, const std::string &sysfsRoot);

struct DriveEntry {
    char letter = 0;  // 'C'..'Z'
    UINT type = DRIVE_NO_ROOT_DIR;
    MountEntry mount;                        // where the drive is shown
    std::vector<std::string> alsoMountedAt;  // the filesystem's other mount points, in byte order
};

// Letters for the mounts: C: for "/", then fixed and removable, network,
// optical/image and RAM filesystems, each group by mount point. One letter
// per filesystem (device number), at its shortest mount point; a mount
// covered by another one at its own point or above it is no drive. sysfs is
// read once per block device.
std::vector<DriveEntry> AssignLetters(std::vector<MountEntry> mounts, const std::string &sysfsRoot);

// The process's letter map, read on first use (or from the test seams).
const std::vector<DriveEntry> &DriveMap();

// The map's entry for a root text "X:\" (either case), or null.
const DriveEntry *DriveForRoot(LPCSTR root);

// Raw space figures of a filesystem, as statvfs gives them.
struct SpaceFigures {
    unsigned long long fragmentSize = 0;
    unsigned long long blocks = 0;
    unsigned long long freeBlocks = 0;
    unsigned long long availBlocks = 0;
};

}  // namespace win32
