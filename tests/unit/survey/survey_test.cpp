// SurveyDrives and QueryDriveSpace over fake drives and fake space answers.
#include <gtest/gtest.h>

#include <atomic>
#include <map>

#include "platform/kernel/testing.h"
#include "survey/drive_table.h"

namespace {

constexpr ULONGLONG kMB = 1048576;

// Bytes per drive letter's mount point ("/c", "/d", ...), answered with
// one-byte fragments so every byte count can be given exactly.
struct Disk {
    UINT type;
    ULONGLONG total;
    ULONGLONG avail;
    bool ok = true;
};

class Survey : public ::testing::Test {
protected:
    void SetUp() override {
        win32::testing::ResetKernel();
        DriveTable = DriveTableData{};
        QueryLookupPending = TRUE;
    }
    void TearDown() override { win32::testing::ResetKernel(); }

    void UseDisks(const std::map<char, Disk> &disks, ULONGLONG fragment = 1) {
        std::vector<win32::testing::FakeDrive> drives;
        for (auto &[letter, d] : disks)
            drives.push_back({letter, d.type, std::string("/") + char(letter - 'A' + 'a')});
        win32::testing::SetFakeDrives(drives);
        win32::testing::SetSpaceQuery([disks, fragment](const std::string &mp) {
            const Disk &d = disks.at(char(mp[1] - 'a' + 'A'));
            win32::testing::FakeSpace s;
            s.ok = d.ok;
            s.fragmentSize = fragment;
            s.blocks = d.total / fragment;
            s.availBlocks = d.avail / fragment;
            s.freeBlocks = s.availBlocks;
            return s;
        });
    }
};

TEST_F(Survey, RecordsInLetterOrderWithoutGapsAndFixedSumsOnly) {
    UseDisks({{'C', {DRIVE_FIXED, 100 * kMB, 40 * kMB}},
              {'D', {DRIVE_CDROM, 700 * kMB, 0}},
              {'E', {DRIVE_REMOVABLE, 16 * kMB, 8 * kMB}},
              {'F', {DRIVE_REMOVABLE, 0, 0, false}},  // no medium
              {'G', {DRIVE_REMOTE, 5000 * kMB, 10 * kMB}},
              {'H', {DRIVE_RAMDISK, 50 * kMB, 50 * kMB}},
              {'K', {DRIVE_FIXED, 300 * kMB, 100 * kMB}}});
    ASSERT_EQ(SurveyDrives(), 3);
    EXPECT_EQ(DriveTable.count, 3);
    const DriveRecord *r = DriveTable.records;
    EXPECT_EQ(r[0].letter, 'C');
    EXPECT_EQ(r[0].driveType, (DWORD)DRIVE_FIXED);
    EXPECT_EQ(r[0].totalMB, 100u);
    EXPECT_EQ(r[0].freeMB, 40u);
    EXPECT_EQ(r[1].letter, 'E');
    EXPECT_EQ(r[1].driveType, (DWORD)DRIVE_REMOVABLE);
    EXPECT_EQ(r[1].totalMB, 16u);
    EXPECT_EQ(r[1].freeMB, 8u);
    EXPECT_EQ(r[2].letter, 'K');
    EXPECT_EQ(DriveTable.fixedTotalMB, 400u);  // the removable stick stays out
    EXPECT_EQ(DriveTable.fixedFreeMB, 140u);

    // Only C:, E:, F: and K: were asked; every letter C..Z had its type read.
    auto calls = win32::testing::GetKernelCalls();
    EXPECT_EQ(calls.spaceQueries, 4);
    EXPECT_EQ(calls.getDriveType, 24);
}

TEST_F(Survey, NoReadableDriveLeavesAnEmptyTable) {
    UseDisks({{'C', {DRIVE_FIXED, 0, 0, false}}, {'D', {DRIVE_REMOTE, kMB, kMB}}});
    EXPECT_EQ(SurveyDrives(), 0);
    EXPECT_EQ(DriveTable.fixedTotalMB, 0u);
    EXPECT_EQ(DriveTable.fixedFreeMB, 0u);
}

TEST_F(Survey, TwentyFourDrivesFillEveryRecord) {
    std::map<char, Disk> disks;
    for (char c = 'C'; c <= 'Z'; ++c) disks[c] = {DRIVE_FIXED, ULONGLONG(c) * kMB, kMB};
    UseDisks(disks);
    ASSERT_EQ(SurveyDrives(), 24);
    EXPECT_EQ(DriveTable.records[23].letter, 'Z');
    EXPECT_EQ(DriveTable.records[23].totalMB, (DWORD)'Z');
    EXPECT_EQ(DriveTable.fixedFreeMB, 24u);
}

TEST_F(Survey, HungDrivesCostOneDeadlineAndShutOutNoLaterDrive) {
    // Five drives that never answer in time, then nineteen slow ones.
    std::vector<win32::testing::FakeDrive> drives;
    for (char c = 'C'; c <= 'Z'; ++c)
        drives.push_back({c, DRIVE_FIXED, std::string(c <= 'G' ? "/hung/" : "/slow/") + c});
    win32::testing::SetFakeDrives(drives);
    win32::testing::SetSpaceQuery([](const std::string &mp) {
        win32::testing::FakeSpace s;
        s.fragmentSize = 1, s.blocks = 2 * kMB, s.availBlocks = kMB;
        s.delayMs = mp.compare(0, 6, "/hung/") == 0 ? 3000 : 100;
        return s;
    });
    ASSERT_EQ(SurveyDrives(), 19);
    EXPECT_EQ(DriveTable.records[0].letter, 'H');
    EXPECT_EQ(DriveTable.records[18].letter, 'Z');
    EXPECT_EQ(DriveTable.records[18].freeMB, 1u);
    // Every drive was asked, all at the start, against the one deadline.
    auto calls = win32::testing::GetKernelCalls();
    EXPECT_EQ(calls.spaceQueries, 24);
    EXPECT_EQ(calls.spaceRounds, 1);
}

TEST_F(Survey, MegabytesRoundToNearestWithHalfGoingUp) {
    UseDisks({{'C', {DRIVE_FIXED, 524288, 524287}},
              {'D', {DRIVE_FIXED, 1572864, 1572863}},
              {'E', {DRIVE_FIXED, 0, 0}}});
    ASSERT_EQ(SurveyDrives(), 3);
    EXPECT_EQ(DriveTable.records[0].totalMB, 1u);
    EXPECT_EQ(DriveTable.records[0].freeMB, 0u);
    EXPECT_EQ(DriveTable.records[1].totalMB, 2u);
    EXPECT_EQ(DriveTable.records[1].freeMB, 1u);
    EXPECT_EQ(DriveTable.records[2].totalMB, 0u);  // an empty drive is still listed
}

TEST_F(Survey, HugeSizesAndSumsSaturate) {
    const ULONGLONG threeBillionMB = 3000000000ULL * kMB;
    UseDisks({{'C', {DRIVE_FIXED, threeBillionMB, threeBillionMB}},
              {'D', {DRIVE_FIXED, threeBillionMB, 2 * kMB}},
              {'E', {DRIVE_REMOVABLE, 1ULL << 60, 1ULL << 55}}},
             4096);
    ASSERT_EQ(SurveyDrives(), 3);
    EXPECT_EQ(DriveTable.records[0].totalMB, 3000000000u);
    EXPECT_EQ(DriveTable.fixedTotalMB, 0xFFFFFFFFu);  // 6e9 does not wrap to 1.7e9
    EXPECT_EQ(DriveTable.fixedFreeMB, 3000000002u);
    EXPECT_EQ(DriveTable.records[2].totalMB, 0xFFFFFFFFu);  // 2^40 MB
    EXPECT_EQ(DriveTable.records[2].freeMB, 0xFFFFFFFFu);
    EXPECT_EQ(BytesToMegabytes(~0ULL - 1), 0xFFFFFFFFu);  // no wrap near the top either
}

TEST_F(Survey, ExtendedQueryIsLookedUpOnceAndErrorModeAlwaysRestored) {
    static std::atomic<UINT> modeDuringQuery;
    UseDisks({{'C', {DRIVE_FIXED, 10 * kMB, 5 * kMB}}});
    win32::testing::SetSpaceQuery([](const std::string &mp) {
        modeDuringQuery = GetErrorMode();
        win32::testing::FakeSpace s;
        s.ok = mp == "/c";
        s.fragmentSize = 1, s.blocks = 10 * kMB, s.availBlocks = 5 * kMB;
        return s;
    });
    SetErrorMode(SEM_NOOPENFILEERRORBOX);

    ULONGLONG total = 12345;
    EXPECT_EQ(QueryDriveSpace("C:\\", &total), 5 * kMB);
    EXPECT_EQ(total, 10 * kMB);
    EXPECT_EQ(modeDuringQuery.load(), (UINT)SEM_FAILCRITICALERRORS);
    EXPECT_EQ(GetErrorMode(), (UINT)SEM_NOOPENFILEERRORBOX);

    // A failing query: all ones, the total untouched, the mode back.
    total = 12345;
    EXPECT_EQ(QueryDriveSpace("Q:\\", &total), ~0ULL);
    EXPECT_EQ(total, 12345u);
    EXPECT_EQ(GetErrorMode(), (UINT)SEM_NOOPENFILEERRORBOX);
    EXPECT_EQ(QueryDriveSpace("C:\\", nullptr), 5 * kMB);

    auto calls = win32::testing::GetKernelCalls();
    EXPECT_EQ(calls.getModuleHandle, 1);
    EXPECT_EQ(calls.getProcAddress, 1);
    EXPECT_EQ(calls.getDiskFreeSpaceEx, 3);
    EXPECT_EQ(calls.getDiskFreeSpace, 0);
}

TEST_F(Survey, LegacyQueryServesWhenTheExtendedOneIsMissing) {
    // 8 sectors of 512 bytes a cluster, 1,000 free and 10,000 in all.
    UseDisks({{'C', {DRIVE_FIXED, 10000 * 4096ULL, 1000 * 4096ULL}},
              {'D', {DRIVE_FIXED, 0xFFFFFFFFULL * 4096, 0x80000000ULL * 4096}},
              {'E', {DRIVE_REMOVABLE, 0, 0, false}}},
             4096);
    win32::testing::HideExtendedQuery(true);
    SetErrorMode(0);

    ULONGLONG total = 0;
    EXPECT_EQ(QueryDriveSpace("C:\\", &total), 4096000u);
    EXPECT_EQ(total, 40960000u);
    // The legacy query uses only the first character of the path.
    EXPECT_EQ(QueryDriveSpace("Cxyz", &total), 4096000u);
    EXPECT_EQ(QueryDriveSpace("E:\\", &total), ~0ULL);
    EXPECT_EQ(GetErrorMode(), 0u);

    ASSERT_EQ(SurveyDrives(), 2);
    EXPECT_EQ(DriveTable.records[0].freeMB, 4u);
    EXPECT_EQ(DriveTable.records[0].totalMB, 39u);
    // Cluster products past 4 GiB are formed in 64 bits.
    EXPECT_EQ(DriveTable.records[1].totalMB, 16777216u);  // (2^32 - 1) * 4096 bytes, rounded
    EXPECT_EQ(DriveTable.records[1].freeMB, 8388608u);

    auto calls = win32::testing::GetKernelCalls();
    EXPECT_EQ(calls.getModuleHandle, 1);  // the failed lookup is not repeated
    EXPECT_EQ(calls.getProcAddress, 1);
    EXPECT_EQ(calls.getDiskFreeSpaceEx, 0);
    EXPECT_EQ(calls.getDiskFreeSpace, 6);
}

}  // namespace
