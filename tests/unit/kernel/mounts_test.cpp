// The mount-table reader and the letter map, on fixture tables and a fake
// sysfs tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>

#include "platform/kernel/mounts.h"
#include "platform/kernel/testing.h"
#include "tests/unit/kernel/fake_sysfs.h"

namespace {

std::string Fixture(const char *name) {
    return std::string(MORVALEN_MOUNT_FIXTURES) + "/" + name;
}

class MountMap : public ::testing::Test {
protected:
    void SetUp() override {
        win32::testing::ResetKernel();
        win32::testing::SetSysfsRoot(sysfs_.root().c_str());
    }
    void TearDown() override { win32::testing::ResetKernel(); }

    void UseTable(const std::string &path) { win32::testing::SetMountInfoPath(path.c_str()); }

    // Writes `text` as a table in the sysfs scratch folder and uses it.
    void UseText(const std::string &text) {
        std::string path = sysfs_.root() + "/mountinfo";
        std::ofstream(path, std::ios::binary) << text;
        UseTable(path);
    }

    // letter -> (type, mount point) for every letter in use.
    std::map<char, std::pair<UINT, std::string>> Map() {
        std::map<char, std::pair<UINT, std::string>> m;
        for (const auto &e : win32::DriveMap()) m[e.letter] = {e.type, e.mount.mountPoint};
        return m;
    }

    FakeSysfs sysfs_;
};

TEST_F(MountMap, DesktopLettersFollowRootThenLocalThenNetworkOpticalRam) {
    UseTable(Fixture("desktop.mountinfo"));
    using P = std::pair<UINT, std::string>;
    std::map<char, P> want = {
        {'C', P{DRIVE_FIXED, "/"}},  // with the /home subvolume of the same filesystem
        {'D', P{DRIVE_FIXED, "/boot/efi"}},
        {'E', P{DRIVE_FIXED, "/data"}},                 // also bound whole and a subdirectory of it
        {'F', P{DRIVE_REMOVABLE, "/media/u/CARD"}},     // removable flag set
        {'G', P{DRIVE_REMOVABLE, "/media/u/SD CARD"}},  // MMC bus
        {'H', P{DRIVE_REMOVABLE, "/media/u/STICK"}},    // USB bus, fuseblk
        {'I', P{DRIVE_REMOTE, "/home/u/remote"}},
        {'J', P{DRIVE_REMOTE, "/mnt/nas"}},
        {'K', P{DRIVE_REMOTE, "/mnt/share"}},
        {'L', P{DRIVE_CDROM, "/snap/core/100"}},
        {'M', P{DRIVE_RAMDISK, "/dev/shm"}},
        {'N', P{DRIVE_RAMDISK, "/run"}},
        {'O', P{DRIVE_RAMDISK, "/var/cache/zram"}},  // ext4 on zram
    };
    EXPECT_EQ(Map(), want);
    std::map<char, std::vector<std::string>> also;
    for (const auto &e : win32::DriveMap())
        if (!e.alsoMountedAt.empty()) also[e.letter] = e.alsoMountedAt;
    std::map<char, std::vector<std::string>> wantAlso = {{'C', {"/home", "/srv/homes"}},
                                                         {'E', {"/home/u/projects", "/mnt/data-again"}}};
    EXPECT_EQ(also, wantAlso);

    EXPECT_EQ(GetDriveTypeA("C:\\"), (UINT)DRIVE_FIXED);
    EXPECT_EQ(GetDriveTypeA("h:\\"), (UINT)DRIVE_REMOVABLE);
    EXPECT_EQ(GetDriveTypeA("J:\\"), (UINT)DRIVE_REMOTE);
    EXPECT_EQ(GetDriveTypeA("L:\\"), (UINT)DRIVE_CDROM);
    EXPECT_EQ(GetDriveTypeA("N:\\"), (UINT)DRIVE_RAMDISK);
    EXPECT_EQ(GetDriveTypeA("P:\\"), (UINT)DRIVE_NO_ROOT_DIR);
}

// Network filesystems by type, and FUSE mounts by a source that names
// another machine; local FUSE daemons and disks stay fixed.
TEST_F(MountMap, NetworkFilesystemsByTypeAndFuseByHostSource) {
    struct Case {
        const char *fsType, *source;
        UINT want;
    } cases[] = {
        {"fuse.kio-fuse", "kio-fuse", DRIVE_REMOTE},
        {"fuse.smbnetfs", "smbnetfs", DRIVE_REMOTE},
        {"fuse.httpdirfs", "httpdirfs", DRIVE_REMOTE},
        {"fuse.s3ql", "local:///srv/s3ql", DRIVE_REMOTE},
        {"fuse.mountpoint-s3", "mountpoint-s3", DRIVE_REMOTE},
        {"fuse.google-drive-ocamlfuse", "google-drive-ocamlfuse", DRIVE_REMOTE},
        {"fuse.vmhgfs-fuse", "vmhgfs-fuse", DRIVE_REMOTE},
        {"ocfs2", "/dev/sdb1", DRIVE_REMOTE},
        {"gfs2", "/dev/sdb1", DRIVE_REMOTE},
        {"fuse", "user@host:/srv", DRIVE_REMOTE},
        {"fuse", "host:/srv", DRIVE_REMOTE},
        {"fuse", "[fe80::1]:/srv", DRIVE_REMOTE},
        {"fuse.mystery", "//host/share", DRIVE_REMOTE},
        {"fuse.mystery", "user@host", DRIVE_REMOTE},
        {"fuse.mystery", "http://host/dav", DRIVE_REMOTE},
        {"fuse.mystery", "s3://bucket", DRIVE_REMOTE},
        {"fuse.mystery", "gdrive:", DRIVE_REMOTE},
        {"fuse.gocryptfs", "/home/u/.secret", DRIVE_FIXED},
        {"fuse.mergerfs", "/mnt/a:/mnt/b", DRIVE_FIXED},
        {"fuse.portal", "portal", DRIVE_FIXED},
        {"fuse.lxcfs", "lxcfs", DRIVE_FIXED},
        {"fuse", "/dev/fuse", DRIVE_FIXED},
        {"fuse", "", DRIVE_FIXED},
        {"fuseblk", "/dev/sdb1", DRIVE_REMOVABLE},  // on the USB bus
        {"ext4", "host:/srv", DRIVE_FIXED},         // not FUSE: the source is only a label
    };
    for (const Case &c : cases) {
        win32::MountEntry m;
        m.mountPoint = "/mnt/x";
        m.fsType = c.fsType;
        m.source = c.source;
        if (m.source == "/dev/sdb1") m.major = 8, m.minor = 17;
        EXPECT_EQ(win32::ClassifyMount(m, sysfs_.root()), c.want) << c.fsType << " " << c.source;
    }
}

TEST_F(MountMap, RootTextsOtherThanALetterRootHaveNoDrive) {
    UseTable(Fixture("desktop.mountinfo"));
    for (const char *bad : {"", "C", "C:", "C:/", "C:\\x", "C:\\\\", "A:\\", "B:\\", "@:\\", "[:\\", "1:\\",
                            "\xC3:\\", "CC:\\", "\\\\srv\\share\\"}) {
        EXPECT_EQ(GetDriveTypeA(bad), (UINT)DRIVE_NO_ROOT_DIR) << bad;
        ULARGE_INTEGER a, t;
        EXPECT_FALSE(GetDiskFreeSpaceExA(bad, &a, &t, nullptr)) << bad;
    }
}

TEST_F(MountMap, ContainerOverlayRootIsFixedAndOtherOverlaysAreNoDrives) {
    UseTable(Fixture("container.mountinfo"));
    using P = std::pair<UINT, std::string>;
    std::map<char, P> want = {
        {'C', P{DRIVE_FIXED, "/"}},
        {'D', P{DRIVE_FIXED, "/data"}},
        {'E', P{DRIVE_FIXED, "/etc/hostname"}},
        {'F', P{DRIVE_RAMDISK, "/dev"}},
    };
    EXPECT_EQ(Map(), want);
}

TEST_F(MountMap, OctalEscapesAreDecodedAndZeroBytesRejected) {
    UseTable(Fixture("escapes.mountinfo"));
    std::map<char, std::pair<UINT, std::string>> m = Map();
    std::vector<std::string> points;
    for (auto &[letter, tp] : m) points.push_back(tp.second);
    std::vector<std::string> want = {"/",
                                     "/mnt/\xC3\xA9t\xC3\xA9",  // raw bytes sort after ASCII
                                     "/mnt/back\\slash",
                                     "/mnt/my disk",
                                     "/mnt/odd\\9x\\04",
                                     "/mnt/tab\there"};
    std::sort(want.begin() + 1, want.end());
    EXPECT_EQ(points, want);
    for (const auto &e : win32::DriveMap()) {
        if (e.mount.mountPoint == "/mnt/\xC3\xA9t\xC3\xA9") {
            EXPECT_EQ(e.mount.source, "/dev/disk seven");
        }
    }

    // Escaped again, every text reads back as itself, as one field.
    std::string table;
    for (const std::string &point : want) {
        std::string escaped = win32::EscapeMountText(point + "\nnew line");
        EXPECT_EQ(escaped.find_first_of(" \t\n"), std::string::npos) << escaped;
        table += "1 0 8:1 / " + escaped + " rw - ext4 /dev/x rw\n";
    }
    std::vector<std::string> back;
    for (const auto &m : win32::ParseMountInfo(table.data(), table.size())) back.push_back(m.mountPoint);
    std::vector<std::string> wantBack;
    for (const std::string &point : want) wantBack.push_back(point + "\nnew line");
    EXPECT_EQ(back, wantBack);
}

TEST_F(MountMap, MalformedAndTruncatedLinesAreSkipped) {
    UseTable(Fixture("malformed.mountinfo"));
    using P = std::pair<UINT, std::string>;
    std::map<char, P> want = {{'C', P{DRIVE_FIXED, "/"}}, {'D', P{DRIVE_FIXED, "/good"}}};
    EXPECT_EQ(Map(), want);
}

TEST_F(MountMap, UnreadableTableMeansNoDrives) {
    UseTable(sysfs_.root() + "/does-not-exist");
    EXPECT_TRUE(win32::DriveMap().empty());
    EXPECT_EQ(GetDriveTypeA("C:\\"), (UINT)DRIVE_NO_ROOT_DIR);
    UseTable(sysfs_.root());  // a folder, not a file
    EXPECT_TRUE(win32::DriveMap().empty());
}

TEST_F(MountMap, SnapLoopsAreOpticalAndOnlyTakeLettersThatRemain) {
    std::string text = "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n";
    for (int i = 0; i < 40; ++i)
        text += std::to_string(100 + i) + " 1 7:" + std::to_string(i) + " / /snap/app" +
                std::to_string(100 + i) + "/1 ro shared:9 - squashfs /dev/loop" + std::to_string(i) + " ro\n";
    text += "200 1 0:77 / /tmp rw - tmpfs tmpfs rw\n";
    text += "201 1 8:2 / /zz-last-local rw - xfs /dev/sda2 rw\n";
    UseText(text);
    auto m = Map();
    ASSERT_EQ(m.size(), 24u);
    EXPECT_EQ(m['D'], std::make_pair((UINT)DRIVE_FIXED, std::string("/zz-last-local")));
    for (char c = 'E'; c <= 'Z'; ++c) EXPECT_EQ(m[c].first, (UINT)DRIVE_CDROM) << c;
    EXPECT_EQ(m['Z'].second, "/snap/app121/1");
}

TEST_F(MountMap, MoreThanTwentyFourLocalFilesystemsStopAtZ) {
    std::string text;
    for (int i = 30; i >= 0; --i) {
        std::string point = i == 0 ? "/" : "/disk" + std::string(i < 10 ? "0" : "") + std::to_string(i);
        text +=
            std::to_string(10 + i) + " 1 8:" + std::to_string(i) + " / " + point + " rw - ext4 /dev/x rw\n";
    }
    UseText(text);
    auto m = Map();
    ASSERT_EQ(m.size(), 24u);
    EXPECT_EQ(m['C'].second, "/");
    EXPECT_EQ(m['D'].second, "/disk01");
    EXPECT_EQ(m['Z'].second, "/disk23");
}

// Mounted over at its own point or above it, a mount is out of reach: no
// letter, and no further mount point of its filesystem either.
TEST_F(MountMap, CoveredMountsAreNotDrives) {
    UseTable(Fixture("covered.mountinfo"));
    using P = std::pair<UINT, std::string>;
    std::map<char, P> want = {
        {'C', P{DRIVE_FIXED, "/"}},
        {'D', P{DRIVE_FIXED, "/data"}},        // the xfs on top, not the ext4 under it or its /data/old
        {'E', P{DRIVE_FIXED, "/data/inner"}},  // mounted inside the top /data
        {'F', P{DRIVE_FIXED, "/opt"}},
        {'G', P{DRIVE_FIXED, "/opt/tools"}},  // listed before the mount it hangs from
        {'H', P{DRIVE_FIXED, "/srv/img"}},    // covers /srv/img/q, mounted before it
        {'I', P{DRIVE_FIXED, "/srv/twice"}},  // a line twice, each its own parent: one mount
        {'J', P{DRIVE_FIXED, "/var"}},
        {'K', P{DRIVE_FIXED, "/var/q-again"}},  // the covered /srv/img/q's filesystem, still reachable here
        {'L', P{DRIVE_REMOTE, "/mnt"}},         // the later of two unrelated mounts at one point
    };
    EXPECT_EQ(Map(), want);
    for (const auto &e : win32::DriveMap()) {
        if (e.letter == 'D') {
            EXPECT_EQ(e.mount.fsType, "xfs");
            EXPECT_EQ(e.alsoMountedAt, std::vector<std::string>{"/data/inner/back"});
        } else {
            EXPECT_TRUE(e.alsoMountedAt.empty()) << e.letter;
        }
    }
}

TEST_F(MountMap, NetworkOpticalAndRamDrivesAreNeverQueried) {
    UseTable(Fixture("desktop.mountinfo"));
    win32::testing::SetSpaceQuery([](const std::string &) {
        win32::testing::FakeSpace s;
        s.blocks = 100;
        s.availBlocks = 50;
        return s;
    });
    ULARGE_INTEGER avail, total;
    for (char c = 'C'; c <= 'Z'; ++c) {
        char root[4] = {c, ':', '\\', 0};
        UINT type = GetDriveTypeA(root);
        BOOL ok = GetDiskFreeSpaceExA(root, &avail, &total, nullptr);
        EXPECT_EQ(ok != 0, type == DRIVE_FIXED || type == DRIVE_REMOVABLE) << c;
    }
    auto calls = win32::testing::GetKernelCalls();
    EXPECT_EQ(calls.spaceQueries, 6);  // C: to H:
    for (const std::string &mp : calls.queriedMounts) {
        EXPECT_NE(mp, "/mnt/nas");
        EXPECT_NE(mp, "/mnt/share");
        EXPECT_NE(mp, "/home/u/remote");
    }
}

TEST_F(MountMap, FuseMountWithRequestsWaitingFailsWithoutAQuery) {
    UseTable(Fixture("desktop.mountinfo"));
    win32::testing::SetSpaceQuery([](const std::string &) {
        win32::testing::FakeSpace s;
        s.blocks = 100;
        return s;
    });
    // The FUSE stick H: (device 8:17) has a request stuck with its daemon.
    std::string connection = sysfs_.root() + "/fs/fuse/connections/" + std::to_string((8 << 20) | 17);
    fs::create_directories(connection);
    std::ofstream(connection + "/waiting") << "1\n";
    ULARGE_INTEGER total;
    EXPECT_FALSE(GetDiskFreeSpaceExA("H:\\", nullptr, &total, nullptr));
    EXPECT_TRUE(GetDiskFreeSpaceExA("G:\\", nullptr, &total, nullptr));
    auto calls = win32::testing::GetKernelCalls();
    EXPECT_EQ(calls.spaceQueries, 5);
    for (const std::string &mp : calls.queriedMounts) EXPECT_NE(mp, "/media/u/STICK");

    // Once nothing waits there, the next round asks it again.
    std::ofstream(connection + "/waiting") << "0\n";
    EXPECT_TRUE(GetDiskFreeSpaceExA("H:\\", nullptr, &total, nullptr));
    EXPECT_EQ(win32::testing::GetKernelCalls().queriedMounts.size(), 11u);
}

}  // namespace
