// morvalen-drives: prints which filesystem has which drive letter.
//
// One line per letter in use, tab-separated: the letter with its colon, the
// type, total bytes, free bytes available to the user (both "-" when the
// drive is not asked or does not answer), filesystem type, device and the
// mount point. The filesystem's other mount points follow its line, typed
// "same". Text fields carry the mount table's escapes, so a field never
// holds a space, tab, newline or lone backslash. Output that cannot be
// written is reported on stderr and ends with exit code 1.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/kernel/mounts.h"
#include "platform/kernel/output.h"

namespace {

const char *TypeWord(UINT type) {
    switch (type) {
        case DRIVE_FIXED:
            return "fixed";
        case DRIVE_REMOVABLE:
            return "removable";
        case DRIVE_REMOTE:
            return "remote";
        case DRIVE_CDROM:
            return "cdrom";
        case DRIVE_RAMDISK:
            return "ramdisk";
        default:
            return "unknown";
    }
}

}  // namespace

int main(int argc, char **argv) {
    if (argc > 1 && strcmp(argv[1], "--version") == 0) {
        printf("Morvalen %s\n", MORVALEN_VERSION);
        return win32::FinishStandardOutput();
    }
    if (argc > 1 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        printf(
            "usage: %s\n"
            "Prints the drive letters Morvalen gives the mounted filesystems, one per line:\n"
            "letter, type, total bytes, free bytes, filesystem, device, mount point,\n"
            "separated by tabs. Each further mount point of a filesystem follows its line\n"
            "as \"LETTER: same - - filesystem device mount-point\".\n"
            "Inside a field, a space, tab, newline and backslash are written \\040, \\011,\n"
            "\\012 and \\134, as in /proc/self/mountinfo.\n",
            argv[0]);
        return win32::FinishStandardOutput();
    }
    std::string out;
    auto line = [&out](const win32::DriveEntry &e, const char *type, const char *sizes,
                       const std::string &point) {
        out += e.letter;
        out += ":\t";
        out += type;
        out += '\t';
        out += sizes;
        out += '\t';
        out += win32::EscapeMountText(e.mount.fsType);
        out += '\t';
        out += win32::EscapeMountText(e.mount.source);
        out += '\t';
        out += win32::EscapeMountText(point);
        out += '\n';
    };
    for (const win32::DriveEntry &e : win32::DriveMap()) {
        char root[4] = {e.letter, ':', '\\', 0};
        char sizes[64] = "-\t-";
        ULARGE_INTEGER avail, total;
        if ((e.type == DRIVE_FIXED || e.type == DRIVE_REMOVABLE) &&
            GetDiskFreeSpaceExA(root, &avail, &total, nullptr))
            snprintf(sizes, sizeof sizes, "%llu\t%llu", total.QuadPart, avail.QuadPart);
        line(e, TypeWord(e.type), sizes, e.mount.mountPoint);
        for (const std::string &point : e.alsoMountedAt) line(e, "same", "-\t-", point);
    }
    fwrite(out.data(), 1, out.size(), stdout);
    return win32::FinishStandardOutput();
}
