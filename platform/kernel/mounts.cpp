// Reading the mount table and giving out drive letters.
#include "platform/kernel/mounts.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string_view>
#include <tuple>
#include <unordered_map>

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

namespace win32 {
namespace {

// Splits a line at single spaces; mountinfo escapes spaces inside fields.
// The fields point into the line.
void SplitFields(const char *line, size_t len, std::vector<std::string_view> *fields) {
    fields->clear();
    size_t start = 0;
    for (size_t i = 0; i <= len; ++i) {
        if (i == len || line[i] == ' ') {
            if (i > start) fields->emplace_back(line + start, i - start);
            start = i + 1;
        }
    }
}

int OctalDigit(char c) {
    return c >= '0' && c <= '7' ? c - '0' : -1;
}

// Decodes the kernel's \NNN escapes; a lone backslash stays. False when the
// result would hold a zero byte, which no path can.
bool Unescape(std::string_view in, std::string *out) {
    // Most fields hold no escape at all.
    if (!memchr(in.data(), '\\', in.size()) && !memchr(in.data(), '\0', in.size())) {
        out->assign(in);
        return true;
    }
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

bool ParseNumber(std::string_view s, unsigned *out) {
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

bool ParseLine(const char *line, size_t len, std::vector<std::string_view> *fields, MountEntry *m) {
    SplitFields(line, len, fields);
    const std::vector<std::string_view> &f = *fields;
    // id parent maj:min root mountpoint options [optional...] - fstype source superopts
    if (f.size() < 10) return false;
    if (!ParseNumber(f[0], &m->id) || !ParseNumber(f[1], &m->parent)) return false;
    size_t colon = f[2].find(':');
    if (colon == std::string_view::npos) return false;
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

bool OneOf(std::string_view s, std::initializer_list<std::string_view> names) {
    for (std::string_view n : names)
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
                     "ocfs2",  // cluster filesystems: the disk is shared with other machines
                     "gfs2",
                     "vboxsf",  // a virtual machine's host folders
                     "vmhgfs",
                     "sshfs",
                     "fuse.sshfs",
                     "fuse.rclone",
                     "fuse.s3fs",
                     "fuse.s3ql",
                     "fuse.s3backer",
                     "fuse.mountpoint-s3",
                     "fuse.goofys",
                     "fuse.gcsfuse",
                     "fuse.google-drive-ocamlfuse",
                     "fuse.onedriver",
                     "fuse.davfs2",
                     "fuse.wdfs",
                     "fuse.httpdirfs",
                     "fuse.httpfs2",
                     "fuse.curlftpfs",
                     "fuse.smbnetfs",
                     "fuse.afpfs",
                     "fuse.kio-fuse",
                     "fuse.gvfsd-fuse",
                     "fuse.gvfs-fuse-daemon",
                     "fuse.vmhgfs-fuse",
                     "fuse.glusterfs",
                     "fuse.ceph",
                     "fuse.ceph-fuse",
                     "fuse.blobfuse",
                     "fuse.blobfuse2",
                     "fuse.juicefs",
                     "fuse.seaweedfs",
                     "fuse.cvmfs2"});
}

bool IsFuse(const std::string &t) {
    return t == "fuse" || t.rfind("fuse.", 0) == 0;
}

bool IsHostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

// Whether a FUSE source names another machine: "host:path", "[v6::addr]:path",
// "//host/share", "user@host...", or an address such as "http://..." or
// "s3://...". Local FUSE sources are paths ("/home/u/.secret",
// "/mnt/a:/mnt/b") or plain names ("portal", "lxcfs").
bool SourceNamesHost(const std::string &s) {
    if (s.size() > 2 && s[0] == '/' && s[1] == '/' && IsHostChar(s[2])) return true;
    size_t i = 0;
    if (!s.empty() && s[0] == '[') {
        size_t close = s.find(']');
        return close != std::string::npos && close > 1 && close + 1 < s.size() && s[close + 1] == ':';
    }
    while (i < s.size() && IsHostChar(s[i])) ++i;
    if (i == 0 || i == s.size()) return false;
    if (s[i] == ':') return true;  // "host:path", and "scheme://" with it
    if (s[i] == '@') return i + 1 < s.size() && (IsHostChar(s[i + 1]) || s[i + 1] == '[');
    return false;
}

bool IsOptical(const std::string &t) {
    return OneOf(t, {"iso9660", "udf", "squashfs", "erofs", "cramfs"});
}

bool IsRam(const std::string &t) {
    return OneOf(t, {"tmpfs", "ramfs"});
}

// Filesystems that hold files on a local disk (or a local FUSE daemon).
bool IsLocalDisk(const std::string &t) {
    if (IsFuse(t)) return true;
    return OneOf(t, {"ext2",    "ext3",     "ext4",   "xfs", "btrfs", "zfs",     "f2fs",  "jfs",  "reiserfs",
                     "reiser4", "vfat",     "msdos",  "fat", "exfat", "ntfs",    "ntfs3", "hfs",  "hfsplus",
                     "apfs",    "bcachefs", "nilfs2", "ufs", "minix", "fuseblk", "jffs2", "ubifs"});
}

// `path` with "." and ".." resolved by its text alone (sysfs links lead
// through real directories, never through further links).
std::string Lexical(const std::string &path) {
    if (path.empty()) return path;
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= path.size()) {
        size_t slash = path.find('/', i);
        if (slash == std::string::npos) slash = path.size();
        std::string part = path.substr(i, slash - i);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..")
                parts.pop_back();
            else if (path[0] != '/')
                parts.push_back(part);
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        i = slash + 1;
    }
    std::string out = path[0] == '/' ? "" : ".";
    for (const std::string &part : parts) out += "/" + part;
    return out.empty() ? "/" : out;
}

// Where the symbolic link at `link` leads, or empty when it is none.
std::string FollowLink(const std::string &link) {
    char target[4096];
    ssize_t n = readlink(link.c_str(), target, sizeof target);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof target) return {};
    std::string t(target, static_cast<size_t>(n));
    if (t[0] == '/') return Lexical(t);
    return Lexical(link.substr(0, link.rfind('/') + 1) + t);
}

bool Exists(const std::string &p) {
    return access(p.c_str(), F_OK) == 0;
}

std::string ReadSmallFile(const std::string &p) {
    std::string s;
    int fd = open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return s;
    char buf[64];
    ssize_t n = read(fd, buf, sizeof buf);
    close(fd);
    if (n > 0) s.assign(buf, static_cast<size_t>(n));
    return s;
}

// The disk behind a block-backed mount, from sysfs: whether it is a RAM
// disk, removable or fixed. Each block device is looked up once.
class DiskTypes {
public:
    explicit DiskTypes(const std::string &sysfsRoot) : root_(sysfsRoot) {}

    UINT Of(const MountEntry &m) {
        // Anonymous device numbers (major 0: FUSE, btrfs, network and
        // virtual filesystems) have no block device of their own; a btrfs
        // names its device as the source.
        bool byNumber = m.major != 0;
        bool bySource = m.source.rfind("/dev/", 0) == 0 && m.source != "/dev/fuse";
        if (!byNumber && !bySource) return DRIVE_FIXED;
        auto key = std::make_tuple(m.major, m.minor, bySource ? m.source : std::string());
        auto it = known_.find(key);
        if (it != known_.end()) return it->second;
        return known_[key] = Look(m, byNumber, bySource);
    }

private:
    UINT Look(const MountEntry &m, bool byNumber, bool bySource) const {
        std::string dir;
        if (byNumber)
            dir = FollowLink(root_ + "/dev/block/" + std::to_string(m.major) + ":" + std::to_string(m.minor));
        if (dir.empty() && bySource) {
            std::string name = m.source.substr(m.source.rfind('/') + 1);
            if (!name.empty() && name != "." && name != "..")
                dir = FollowLink(root_ + "/class/block/" + name);
        }
        if (dir.empty()) return DRIVE_FIXED;
        if (Exists(dir + "/partition")) dir = dir.substr(0, dir.rfind('/'));  // up to the whole disk
        std::string name = dir.substr(dir.rfind('/') + 1);
        if (name.rfind("zram", 0) == 0) return DRIVE_RAMDISK;
        if (ReadSmallFile(dir + "/removable").rfind("1", 0) == 0) return DRIVE_REMOVABLE;
        if (dir.find("/usb") != std::string::npos || dir.find("/mmc") != std::string::npos)
            return DRIVE_REMOVABLE;
        return DRIVE_FIXED;
    }

    std::string root_;
    std::map<std::tuple<unsigned, unsigned, std::string>, UINT> known_;
};

// The drive type a mount has from the table alone; a block-backed one
// (DRIVE_FIXED here) is told fixed, removable or RAM by its disk.
UINT ClassifyByTable(const MountEntry &m, bool *blockBacked) {
    const std::string &t = m.fsType;
    *blockBacked = false;
    if (IsNetwork(t)) return DRIVE_REMOTE;
    if (IsFuse(t) && SourceNamesHost(m.source)) return DRIVE_REMOTE;
    if (IsOptical(t)) return DRIVE_CDROM;
    if (IsRam(t)) return DRIVE_RAMDISK;
    // An overlay is a drive only as the root of a container's filesystem.
    if (t == "overlay") return m.mountPoint == "/" ? DRIVE_FIXED : DRIVE_UNKNOWN;
    if (IsLocalDisk(t)) {
        *blockBacked = true;
        return DRIVE_FIXED;
    }
    return DRIVE_UNKNOWN;
}

UINT Classify(const MountEntry &m, DiskTypes *disks) {
    bool blockBacked;
    UINT type = ClassifyByTable(m, &blockBacked);
    return blockBacked ? disks->Of(m) : type;
}

// Which mounts a path lookup can still reach. A mount is covered when
// another one sits at its own mount point or at one above it and is not one
// of the mounts it hangs from: mounted over at that point, or the tree
// under it was replaced. Where the parent links do not relate the two
// (tables written by hand, ids reused), the later line wins. A mount at "/"
// covers only other mounts at "/": lookups start at the process's root.
class Coverage {
public:
    explicit Coverage(const std::vector<MountEntry> &mounts) : mounts_(mounts), below_(mounts.size(), kNone) {
        byId_.reserve(mounts.size());
        byPoint_.reserve(mounts.size());
        for (size_t i = 0; i < mounts.size(); ++i) {
            byId_.emplace(mounts[i].id, i);
            auto [it, added] = byPoint_.try_emplace(mounts[i].mountPoint, i);
            if (!added) {
                below_[i] = it->second;
                it->second = i;
            }
        }
    }

    bool Visible(size_t i) const {
        const std::string &point = mounts_[i].mountPoint;
        if (CoveredAt(i, point, true)) return false;
        for (size_t slash = point.rfind('/'); slash != std::string::npos && slash > 0;
             slash = point.rfind('/', slash - 1)) {
            if (CoveredAt(i, std::string_view(point).substr(0, slash), false)) return false;
        }
        return true;
    }

private:
    bool CoveredAt(size_t i, std::string_view at, bool ownPoint) const {
        auto it = byPoint_.find(at);
        if (it == byPoint_.end()) return false;
        // Latest first: of a stack of mounts at one point, the one on top
        // is usually found at once.
        for (size_t j = it->second; j != kNone; j = below_[j]) {
            if (j == i) continue;
            bool below = HangsFrom(i, j), above = HangsFrom(j, i);
            if (below && above) below = above = false;  // a loop of links relates nothing
            if (below) continue;
            if (above ? ownPoint : j > i) return true;
        }
        return false;
    }

    // Whether mount j is among mount i's parents.
    bool HangsFrom(size_t i, size_t j) const {
        unsigned want = mounts_[j].id;
        size_t at = i;
        for (int depth = 0; depth < kMaxDepth; ++depth) {
            unsigned parent = mounts_[at].parent;
            if (parent == want) return true;
            auto it = byId_.find(parent);
            if (it == byId_.end() || it->second == at) return false;
            at = it->second;
        }
        return false;
    }

    static constexpr int kMaxDepth = 64;  // deeper chains are taken as unrelated
    static constexpr size_t kNone = ~size_t{0};
    const std::vector<MountEntry> &mounts_;
    std::unordered_map<unsigned, size_t> byId_;
    // The latest mount at each point, and for each mount the one before it
    // at its point: the stack at a point, latest first.
    std::unordered_map<std::string_view, size_t> byPoint_;
    std::vector<size_t> below_;
};

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

// Parses the lines of text, the last one too when it is `final` (else a
// line without its newline is left); the bytes used.
size_t ParseLines(const char *text, size_t size, bool final, std::vector<std::string_view> *fields,
                  std::vector<MountEntry> *out) {
    size_t start = 0;
    while (start < size) {
        const void *nl = memchr(text + start, '\n', size - start);
        if (!nl && !final) break;
        size_t end = nl ? static_cast<size_t>(static_cast<const char *>(nl) - text) : size;
        MountEntry m;
        if (ParseLine(text + start, end - start, fields, &m)) out->push_back(std::move(m));
        start = end + 1;
    }
    return std::min(start, size);
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(const char *text, size_t size) {
    std::vector<MountEntry> out;
    std::vector<std::string_view> fields;
    ParseLines(text, size, true, &fields, &out);
    return out;
}

std::vector<MountEntry> ReadMountInfo(int fd, size_t maxBytes) {
    std::vector<MountEntry> out;
    std::vector<std::string_view> fields;
    // The kernel gives the table a page or so per read: lines are parsed
    // as they come, and only a line cut by the end of a read is kept over.
    std::vector<char> buf(64 << 10);
    size_t have = 0, total = 0;
    while (total < maxBytes) {
        if (have == buf.size()) buf.resize(buf.size() * 2);  // one line longer than the buffer
        ssize_t n = read(fd, buf.data() + have, buf.size() - have);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        total += static_cast<size_t>(n);
        size_t used = ParseLines(buf.data(), have + static_cast<size_t>(n), false, &fields, &out);
        have += static_cast<size_t>(n) - used;
        memmove(buf.data(), buf.data() + used, have);
    }
    ParseLines(buf.data(), have, true, &fields, &out);
    return out;
}

std::string EscapeMountText(const std::string &text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\\') {
            char esc[5] = {'\\', static_cast<char>('0' + ((c >> 6) & 7)),
                           static_cast<char>('0' + ((c >> 3) & 7)), static_cast<char>('0' + (c & 7)), 0};
            out += esc;
        } else {
            out += c;
        }
    }
    return out;
}

UINT ClassifyMount(const MountEntry &m, const std::string &sysfsRoot) {
    DiskTypes disks(sysfsRoot);
    return Classify(m, &disks);
}

namespace {

// The drive type of each mount, DRIVE_UNKNOWN for those that are no drive.
// The table alone rules out most mounts; only the rest are looked up under
// their mount points and, once per disk, in sysfs.
std::vector<UINT> DriveTypesOf(const std::vector<MountEntry> &mounts, const std::string &sysfsRoot) {
    std::vector<UINT> types(mounts.size(), DRIVE_UNKNOWN);
    Coverage coverage(mounts);
    DiskTypes disks(sysfsRoot);
    for (size_t i = 0; i < mounts.size(); ++i) {
        bool blockBacked;
        UINT type = ClassifyByTable(mounts[i], &blockBacked);
        if (type == DRIVE_UNKNOWN || !coverage.Visible(i)) continue;
        types[i] = blockBacked ? disks.Of(mounts[i]) : type;
    }
    return types;
}

// One entry per filesystem (device number), at its shortest mount point:
// the first in byte order among equally short ones. The other points are
// kept, sorted, in alsoMountedAt.
std::vector<DriveEntry> OnePerFilesystem(std::vector<MountEntry> &mounts, const std::vector<UINT> &types) {
    std::map<std::pair<unsigned, unsigned>, DriveEntry> unique;
    for (size_t i = 0; i < mounts.size(); ++i) {
        MountEntry &m = mounts[i];
        UINT type = types[i];
        if (type == DRIVE_UNKNOWN) continue;
        auto [it, added] = unique.try_emplace(std::make_pair(m.major, m.minor));
        DriveEntry &e = it->second;
        if (added) {
            e.type = type;
            e.mount = std::move(m);
            continue;
        }
        std::string &have = e.mount.mountPoint;
        if (m.mountPoint.size() < have.size() ||
            (m.mountPoint.size() == have.size() && m.mountPoint < have)) {
            e.alsoMountedAt.push_back(std::move(have));
            e.type = type;
            e.mount = std::move(m);
        } else {
            e.alsoMountedAt.push_back(std::move(m.mountPoint));
        }
    }
    std::vector<DriveEntry> entries;
    for (auto &[key, e] : unique) {
        std::sort(e.alsoMountedAt.begin(), e.alsoMountedAt.end());
        entries.push_back(std::move(e));
    }
    return entries;
}

}  // namespace

std::vector<DriveEntry> AssignLetters(std::vector<MountEntry> mounts, const std::string &sysfsRoot) {
    const std::vector<UINT> types = DriveTypesOf(mounts, sysfsRoot);
    std::vector<DriveEntry> order = OnePerFilesystem(mounts, types);
    // The root first, then by group, then by mount point.
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
