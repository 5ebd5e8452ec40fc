// GetDriveTypeA, GetDiskFreeSpaceExA and GetDiskFreeSpaceA over the letter
// map of the mount table.
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include <optional>

#include "platform/kernel/mounts.h"
#include "platform/kernel/space.h"
#include "platform/kernel/state.h"

namespace win32 {
namespace {

constexpr size_t kMaxTableBytes = 16 << 20;  // far beyond any real table

struct MapState {
    std::string mountInfoPath;
    std::string sysfsRoot;
    std::optional<std::vector<win32::testing::FakeDrive>> fakes;
    std::optional<std::vector<DriveEntry>> map;
};

MapState &Mounts() {
    static MapState s;
    return s;
}

// The table's mounts, or none when it cannot be read (said on stderr: an
// empty drive list must not look like a machine without drives).
std::vector<MountEntry> ReadTable(const std::string &path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fprintf(stderr, "%s: cannot read the mount table %s: %s\n", program_invocation_short_name,
                path.c_str(), strerror(errno));
        return {};
    }
    std::vector<MountEntry> mounts = ReadMountInfo(fd, kMaxTableBytes);
    close(fd);
    return mounts;
}

std::vector<DriveEntry> BuildMap() {
    MapState &s = Mounts();
    std::vector<DriveEntry> map;
    if (s.fakes) {
        for (const win32::testing::FakeDrive &f : *s.fakes) {
            DriveEntry e;
            e.letter = f.letter;
            e.type = f.type;
            e.mount.mountPoint = f.mountPoint;
            e.mount.fsType = f.fsType;
            e.mount.source = f.source;
            map.push_back(std::move(e));
        }
        return map;
    }
    std::string path = s.mountInfoPath.empty() ? "/proc/self/mountinfo" : s.mountInfoPath;
    std::string sysfs = s.sysfsRoot.empty() ? "/sys" : s.sysfsRoot;
    return AssignLetters(ReadTable(path), sysfs);
}

bool IsQueryable(const DriveEntry *e) {
    return e->type == DRIVE_FIXED || e->type == DRIVE_REMOVABLE;
}

// The drive holding the current directory, for a null root.
const DriveEntry *DriveOfCurrentDirectory() {
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return nullptr;
    std::string dir(cwd);
    const DriveEntry *best = nullptr;
    size_t bestLen = 0;
    for (const DriveEntry &e : DriveMap()) {
        auto consider = [&](const std::string &mp) {
            bool inside = mp == "/" || (dir.compare(0, mp.size(), mp) == 0 &&
                                        (dir.size() == mp.size() || dir[mp.size()] == '/'));
            if (inside && (!best || mp.size() > bestLen)) {
                best = &e;
                bestLen = mp.size();
            }
        };
        consider(e.mount.mountPoint);
        for (const std::string &mp : e.alsoMountedAt) consider(mp);  // the same filesystem elsewhere
    }
    return best;
}

// The space figures of a root's drive, with the last error set on failure.
bool SpaceOfRoot(LPCSTR root, SpaceFigures *figures) {
    const DriveEntry *e = root ? DriveForRoot(root) : DriveOfCurrentDirectory();
    if (!e) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    // Network, optical and RAM drives are never asked: a hung server must
    // not hold anyone up.
    const std::string &sysfs = Mounts().sysfsRoot.empty() ? "/sys" : Mounts().sysfsRoot;
    if (!IsQueryable(e) || !QuerySpace(DriveMap(), *e, sysfs, figures)) {
        SetLastError(ERROR_NOT_READY);
        return false;
    }
    return true;
}

// blocks x bytes per block, held at `most` when it would not fit.
ULONGLONG Bytes(unsigned long long blocks, unsigned long long fragmentSize, ULONGLONG most) {
    unsigned long long bytes;
    if (__builtin_mul_overflow(blocks, fragmentSize, &bytes) || bytes > most) return most;
    return bytes;
}

DWORD Clamp32(unsigned long long v) {
    return v > 0xFFFFFFFFULL ? 0xFFFFFFFFu : static_cast<DWORD>(v);
}

}  // namespace

const std::vector<DriveEntry> &DriveMap() {
    MapState &s = Mounts();
    if (!s.map) s.map = BuildMap();
    return *s.map;
}

const DriveEntry *DriveForRoot(LPCSTR root) {
    if (!root) return nullptr;
    char c = root[0];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c < 'A' || c > 'Z' || root[1] != ':' || root[2] != '\\' || root[3] != '\0') return nullptr;
    for (const DriveEntry &e : DriveMap())
        if (e.letter == c) return &e;
    return nullptr;
}

void ResetDriveState() {
    MapState &s = Mounts();
    s = MapState{};
    win32::testing::SetSpaceQuery(nullptr);
}

}  // namespace win32

using win32::SpaceFigures;

extern "C" UINT WINAPI GetDriveTypeA(LPCSTR lpRootPathName) {
    win32::KernelCounters().getDriveType++;
    const win32::DriveEntry *e =
        lpRootPathName ? win32::DriveForRoot(lpRootPathName) : win32::DriveOfCurrentDirectory();
    return e ? e->type : DRIVE_NO_ROOT_DIR;
}

extern "C" BOOL WINAPI GetDiskFreeSpaceExA(LPCSTR lpDirectoryName,
                                           PULARGE_INTEGER lpFreeBytesAvailableToCaller,
                                           PULARGE_INTEGER lpTotalNumberOfBytes,
                                           PULARGE_INTEGER lpTotalNumberOfFreeBytes) {
    win32::KernelCounters().getDiskFreeSpaceEx++;
    SpaceFigures f;
    if (!win32::SpaceOfRoot(lpDirectoryName, &f)) return FALSE;
    // Counts beyond 64 bits saturate. The caller's free bytes stop one short
    // of all ones, which callers of the era keep for "cannot be read": a
    // filesystem that large is still a drive.
    constexpr ULONGLONG kAll = ~0ULL;
    if (lpFreeBytesAvailableToCaller)
        lpFreeBytesAvailableToCaller->QuadPart = win32::Bytes(f.availBlocks, f.fragmentSize, kAll - 1);
    if (lpTotalNumberOfBytes) lpTotalNumberOfBytes->QuadPart = win32::Bytes(f.blocks, f.fragmentSize, kAll);
    if (lpTotalNumberOfFreeBytes)
        lpTotalNumberOfFreeBytes->QuadPart = win32::Bytes(f.freeBlocks, f.fragmentSize, kAll);
    return TRUE;
}

// Clusters are the filesystem's fragments; a sector is 512 bytes wherever
// that divides the fragment, else the fragment itself. Counts beyond 32 bits
// are clamped, as the call's older callers expect.
extern "C" BOOL WINAPI GetDiskFreeSpaceA(LPCSTR lpRootPathName, LPDWORD lpSectorsPerCluster,
                                         LPDWORD lpBytesPerSector, LPDWORD lpNumberOfFreeClusters,
                                         LPDWORD lpTotalNumberOfClusters) {
    win32::KernelCounters().getDiskFreeSpace++;
    SpaceFigures f;
    if (!win32::SpaceOfRoot(lpRootPathName, &f)) return FALSE;
    if (f.fragmentSize > 0xFFFFFFFFULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD bytesPerSector = f.fragmentSize % 512 == 0 ? 512 : static_cast<DWORD>(f.fragmentSize);
    if (lpSectorsPerCluster) *lpSectorsPerCluster = static_cast<DWORD>(f.fragmentSize / bytesPerSector);
    if (lpBytesPerSector) *lpBytesPerSector = bytesPerSector;
    if (lpNumberOfFreeClusters) *lpNumberOfFreeClusters = win32::Clamp32(f.availBlocks);
    if (lpTotalNumberOfClusters) *lpTotalNumberOfClusters = win32::Clamp32(f.blocks);
    return TRUE;
}

void win32::testing::SetMountInfoPath(const char *path) {
    win32::Mounts().mountInfoPath = path ? path : "";
    win32::ForgetSpaceAnswers();
    win32::Mounts().map.reset();
}

void win32::testing::SetSysfsRoot(const char *path) {
    win32::Mounts().sysfsRoot = path ? path : "";
    win32::ForgetSpaceAnswers();
    win32::Mounts().map.reset();
}

void win32::testing::SetFakeDrives(const std::vector<FakeDrive> &drives) {
    win32::Mounts().fakes = drives;
    win32::ForgetSpaceAnswers();
    win32::Mounts().map.reset();
}
