// Reading the mount table and giving out drive letters.
#include "platform/kernel/mounts.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <tuple>

#include <sys/stat.h>
#include <unistd.h>

namespace win32 {
namespace {

// Splits a line at single spaces; mountinfo escapes spaces inside fields.
std::vector<std::string> SplitFields(const char *line, size_t len) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t i = 0; i <= len; ++i) {
        if (i == len || line[i] == ' ') {
            if (i > start) fields.emplace_back(line + start, i - start);
            start = i + 1;
        }
    }
    return fields;
}

int OctalDigit(char c) {
    return c >= '0' && c <= '7' ? c - '0' : -1;
}

// Decodes the kernel's \NNN escapes; a lone backslash stays. False when the
// result would hold a zero byte, which no path can.
bool Unescape(const std::string &in, std::string *out) {
    out->clear();
    out->reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 3 < in.size()) {
            int a = OctalDigit(in[i + 1]), b = OctalDigit(in[i + 2]), c = OctalDigit(in[i + 3]);
            if (a >= 0 && b >= 0 && c >= 0 && a <= 3) {
                int v = a * 64 + b * 8 + c;
                if (v == 0) return false;
                out->push_back(static_cast<char>(v));
                i += 3;
                continue;
            }
        }
        if (in[i] == '\0') return false;
        out->push_back(in[i]);
    }
    return true;
}

bool ParseNumber(const std::string &s, unsigned *out) {
    if (s.empty() || s.size() > 10) return false;
    unsigned long long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > UINT_MAX) return false;
    *out = static_cast<unsigned>(v);
    return true;
}

bool ParseLine(const char *line, size_t len, MountEntry *m) {
    std::vector<std::string> f = SplitFields(line, len);
    // id parent maj:min root mountpoint options [optional...] - fstype source superopts
    if (f.size() < 10) return false;
    unsigned id, parent;
    if (!ParseNumber(f[0], &id) || !ParseNumber(f[1], &parent)) return false;
    size_t colon = f[2].find(':');
    if (colon == std::string::npos) return false;
    if (!ParseNumber(f[2].substr(0, colon), &m->major) || !ParseNumber(f[2].substr(colon + 1), &m->minor))
        return false;
    size_t dash = 6;
    while (dash < f.size() && f[dash] != "-") ++dash;
    if (dash + 3 >= f.size()) return false;  // fstype, source and superblock options follow
    if (!Unescape(f[3], &m->root) || !Unescape(f[4], &m->mountPoint)) return false;
    if (!Unescape(f[dash + 1], &m->fsType) || !Unescape(f[dash + 2], &m->source)) return false;
    if (m->root.empty() || m->root[0] != '/') return false;
    if (m->mountPoint.empty() || m->mountPoint[0] != '/') return false;
    return true;
}

bool OneOf(const std::string &s, std::initializer_list<const char *> names) {
    for (const char *n : names)
        if (s == n) return true;
    return false;
}

bool IsNetwork(const std::string &t) {
    return OneOf(t, {"nfs",
                     "nfs4",
                     "cifs",
                     "smb3",
                     "smbfs",
                     "ncpfs",
                     "ncp",
                     "ceph",
                     "9p",
                     "afs",
                     "coda",
                     "glusterfs",
                     "lustre",
                     "davfs",
                     "fuse.sshfs",
                     "sshfs",
                     "fuse.rclone",
                     "fuse.s3fs",
                     "fuse.gcsfuse",
                     "fuse.goofys",
                     "fuse.davfs2",
                     "fuse.gvfsd-fuse",
                     "fuse.gvfs-fuse-daemon",
                     "fuse.glusterfs",
                     "fuse.ceph",
                     "fuse.ceph-fuse",
                     "fuse.curlftpfs",
                     "fuse.blobfuse",
                     "fuse.blobfuse2",
                     "fuse.juicefs",
                     "fuse.seaweedfs",
                     "fuse.onedriver",
                     "fuse.cvmfs2"});
}

bool IsOptical(const std::string &t) {
    return OneOf(t, {"iso9660", "udf", "squashfs", "erofs", "cramfs"});
}

bool IsRam(const std::string &t) {
    return OneOf(t, {"tmpfs", "ramfs"});
}

// Filesystems that hold files on a local disk (or a local FUSE daemon).
bool IsLocalDisk(const std::string &t) {
    if (t == "fuse" || t.rfind("fuse.", 0) == 0) return true;
    return OneOf(t, {"ext2",     "ext3",    "ext4",  "xfs",      "btrfs",  "zfs",   "f2fs",  "jfs",
                     "reiserfs", "reiser4", "vfat",  "msdos",    "fat",    "exfat", "ntfs",  "ntfs3",
                     "hfs",      "hfsplus", "apfs",  "bcachefs", "nilfs2", "ufs",   "minix", "fuseblk",
                     "ocfs2",    "gfs2",    "jffs2", "ubifs",    "btrfs"});
}

std::string RealPath(const std::string &p) {
    char *r = realpath(p.c_str(), nullptr);
    if (!r) return {};
    std::string s(r);
    free(r);
    return s;
}

bool Exists(const std::string &p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0;
}

std::string ReadSmallFile(const std::string &p) {
    std::string s;
    FILE *f = fopen(p.c_str(), "r");
    if (!f) return s;
    char buf[64];
    size_t n = fread(buf, 1, sizeof buf, f);
    fclose(f);
    s.assign(buf, n);
    return s;
}

// The sysfs directory of the whole disk behind a mount, or empty.
std::string DiskDirectory(const MountEntry &m, const std::string &sysfsRoot) {
    std::string dir =
        RealPath(sysfsRoot + "/dev/block/" + std::to_string(m.major) + ":" + std::to_string(m.minor));
    if (dir.empty() && m.source.rfind("/dev/", 0) == 0) {
        std::string name = m.source.substr(m.source.rfind('/') + 1);
        if (!name.empty() && name != "." && name != "..") dir = RealPath(sysfsRoot + "/class/block/" + name);
    }
    if (dir.empty()) return dir;
    if (Exists(dir + "/partition")) dir = dir.substr(0, dir.rfind('/'));
    return dir;
}

UINT ClassifyLocal(const MountEntry &m, const std::string &sysfsRoot) {
    std::string disk = DiskDirectory(m, sysfsRoot);
    if (disk.empty()) return DRIVE_FIXED;
    std::string name = disk.substr(disk.rfind('/') + 1);
    if (name.rfind("zram", 0) == 0) return DRIVE_RAMDISK;
    if (ReadSmallFile(disk + "/removable").rfind("1", 0) == 0) return DRIVE_REMOVABLE;
    if (disk.find("/usb") != std::string::npos || disk.find("/mmc") != std::string::npos)
        return DRIVE_REMOVABLE;
    return DRIVE_FIXED;
}

int GroupRank(UINT type) {
    switch (type) {
        case DRIVE_FIXED:
        case DRIVE_REMOVABLE:
            return 0;
        case DRIVE_REMOTE:
            return 1;
        case DRIVE_CDROM:
            return 2;
        default:
            return 3;
    }
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(const char *text, size_t size) {
    std::vector<MountEntry> out;
    size_t start = 0;
    while (start < size) {
        const void *nl = memchr(text + start, '\n', size - start);
        size_t end = nl ? static_cast<size_t>(static_cast<const char *>(nl) - text) : size;
        MountEntry m;
        if (ParseLine(text + start, end - start, &m)) out.push_back(std::move(m));
        start = end + 1;
    }
    return out;
}

UINT ClassifyMount(const MountEntry &m, const std::string &sysfsRoot) {
    const std::string &t = m.fsType;
    if (IsNetwork(t)) return DRIVE_REMOTE;
    if (IsOptical(t)) return DRIVE_CDROM;
    if (IsRam(t)) return DRIVE_RAMDISK;
    // An overlay is a drive only as the root of a container's filesystem.
    if (t == "overlay") return m.mountPoint == "/" ? DRIVE_FIXED : DRIVE_UNKNOWN;
    if (IsLocalDisk(t)) return ClassifyLocal(m, sysfsRoot);
    return DRIVE_UNKNOWN;
}

std::vector<DriveEntry> AssignLetters(const std::vector<MountEntry> &mounts, const std::string &sysfsRoot) {
    // A mount point mounted over again shows only its last mount.
    std::map<std::string, size_t> topmost;
    for (size_t i = 0; i < mounts.size(); ++i) topmost[mounts[i].mountPoint] = i;

    // One entry per filesystem (device and root), at its shortest mount
    // point; the first in byte order among equally short ones.
    std::map<std::tuple<unsigned, unsigned, std::string>, DriveEntry> unique;
    for (auto &[point, index] : topmost) {
        const MountEntry &m = mounts[index];
        UINT type = ClassifyMount(m, sysfsRoot);
        if (type == DRIVE_UNKNOWN) continue;
        auto key = std::make_tuple(m.major, m.minor, m.root);
        auto it = unique.find(key);
        if (it != unique.end()) {
            const std::string &have = it->second.mount.mountPoint;
            if (have.size() < point.size() || (have.size() == point.size() && have <= point)) continue;
        }
        DriveEntry e;
        e.type = type;
        e.mount = m;
        unique[key] = std::move(e);
    }

    std::vector<DriveEntry> order;
    for (auto &[key, e] : unique) order.push_back(e);
    std::stable_sort(order.begin(), order.end(), [](const DriveEntry &a, const DriveEntry &b) {
        bool aRoot = a.mount.mountPoint == "/", bRoot = b.mount.mountPoint == "/";
        if (aRoot != bRoot) return aRoot;
        int ra = GroupRank(a.type), rb = GroupRank(b.type);
        if (ra != rb) return ra < rb;
        return a.mount.mountPoint < b.mount.mountPoint;
    });

    std::vector<DriveEntry> out;
    char letter = 'C';
    for (DriveEntry &e : order) {
        if (letter > 'Z') break;
        e.letter = letter++;
        out.push_back(std::move(e));
    }
    return out;
}

}  // namespace win32
