// The kernel calls over fake drives and fake space answers: the two free
// space queries, the query deadline, modules, the error mode, strings and
// MulDiv.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "platform/kernel/module.h"
#include "platform/kernel/testing.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

class KernelCalls : public ::testing::Test {
protected:
    void SetUp() override {
        win32::testing::ResetKernel();
        win32::testing::SetFakeDrives({{'C', DRIVE_FIXED, "/"},
                                       {'D', DRIVE_REMOVABLE, "/media/stick"},
                                       {'E', DRIVE_REMOTE, "/mnt/nas"},
                                       {'F', DRIVE_FIXED, "/odd"},
                                       {'G', DRIVE_FIXED, "/huge"},
                                       {'I', DRIVE_FIXED, "/over"}});
        win32::testing::SetSpaceQuery([](const std::string &mp) {
            win32::testing::FakeSpace s;
            if (mp == "/") {
                s.fragmentSize = 4096, s.blocks = 1000000, s.freeBlocks = 300000, s.availBlocks = 250000;
            } else if (mp == "/media/stick") {
                s.ok = false;
            } else if (mp == "/odd") {
                s.fragmentSize = 1000, s.blocks = 10, s.freeBlocks = 5, s.availBlocks = 4;
            } else if (mp == "/huge") {  // 1 PiB in 4 KiB blocks: 2^38 blocks
                s.fragmentSize = 4096, s.blocks = 1ULL << 38, s.freeBlocks = 1ULL << 37,
                s.availBlocks = 1ULL << 37;
            } else if (mp == "/over") {  // 2^52 + 256 blocks of 4 KiB: past 2^64 bytes
                s.fragmentSize = 4096, s.blocks = s.freeBlocks = s.availBlocks = (1ULL << 52) + 256;
            } else {
                s.blocks = 1;
            }
            return s;
        });
    }
    void TearDown() override { win32::testing::ResetKernel(); }
};

TEST_F(KernelCalls, ExtendedQueryGivesByteCountsAndAcceptsNullOutputs) {
    ULARGE_INTEGER avail, total, totalFree;
    ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", &avail, &total, &totalFree));
    EXPECT_EQ(avail.QuadPart, 250000ULL * 4096);
    EXPECT_EQ(total.QuadPart, 1000000ULL * 4096);
    EXPECT_EQ(totalFree.QuadPart, 300000ULL * 4096);
    EXPECT_TRUE(GetDiskFreeSpaceExA("c:\\", nullptr, nullptr, nullptr));
    ASSERT_TRUE(GetDiskFreeSpaceExA("G:\\", &avail, &total, nullptr));
    EXPECT_EQ(total.QuadPart, 1ULL << 50);  // never truncated
    // Beyond 64 bits the counts saturate instead of wrapping to 1 MB; the
    // caller's free bytes stay clear of the all-ones "cannot be read".
    ASSERT_TRUE(GetDiskFreeSpaceExA("I:\\", &avail, &total, &totalFree));
    EXPECT_EQ(total.QuadPart, ~0ULL);
    EXPECT_EQ(totalFree.QuadPart, ~0ULL);
    EXPECT_EQ(avail.QuadPart, ~0ULL - 1);

    SetLastError(0);
    EXPECT_FALSE(GetDiskFreeSpaceExA("D:\\", &avail, &total, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_READY);
    SetLastError(0);
    EXPECT_FALSE(GetDiskFreeSpaceExA("E:\\", &avail, &total, nullptr));  // network: never asked
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_READY);
    SetLastError(0);
    EXPECT_FALSE(GetDiskFreeSpaceExA("H:\\", &avail, &total, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
    // The first ask starts the five fixed and removable drives' queries;
    // asking for C: again starts them all anew, and the rest use that round.
    auto calls = win32::testing::GetKernelCalls();
    EXPECT_EQ(calls.spaceQueries, 10);
    EXPECT_EQ(calls.spaceRounds, 2);
}

TEST_F(KernelCalls, LegacyQueryGivesGeometryAndClampsCounts) {
    DWORD spc = 0, bps = 0, freeC = 0, totalC = 0;
    ASSERT_TRUE(GetDiskFreeSpaceA("C:\\", &spc, &bps, &freeC, &totalC));
    EXPECT_EQ(bps, 512u);
    EXPECT_EQ(spc, 8u);
    EXPECT_EQ(freeC, 250000u);
    EXPECT_EQ(totalC, 1000000u);

    // A fragment that 512 does not divide is one sector of its own size.
    ASSERT_TRUE(GetDiskFreeSpaceA("F:\\", &spc, &bps, &freeC, &totalC));
    EXPECT_EQ(bps, 1000u);
    EXPECT_EQ(spc, 1u);
    EXPECT_EQ(freeC, 4u);
    EXPECT_EQ(totalC, 10u);

    ASSERT_TRUE(GetDiskFreeSpaceA("G:\\", &spc, &bps, &freeC, &totalC));
    EXPECT_EQ(freeC, 0xFFFFFFFFu);
    EXPECT_EQ(totalC, 0xFFFFFFFFu);

    EXPECT_FALSE(GetDiskFreeSpaceA("D:\\", &spc, &bps, &freeC, &totalC));
    EXPECT_FALSE(GetDiskFreeSpaceA("C:", &spc, &bps, &freeC, &totalC));
}

TEST_F(KernelCalls, StalledQueriesShareOneDeadlineAndShutOutNoOtherDrive) {
    // Five mounts that hang, and a healthy drive on either side of them.
    win32::testing::SetFakeDrives({{'C', DRIVE_FIXED, "/"},
                                   {'D', DRIVE_FIXED, "/s1"},
                                   {'E', DRIVE_FIXED, "/s2"},
                                   {'F', DRIVE_FIXED, "/s3"},
                                   {'G', DRIVE_FIXED, "/s4"},
                                   {'H', DRIVE_FIXED, "/s5"},
                                   {'I', DRIVE_FIXED, "/z"}});
    auto hung = std::make_shared<std::atomic<bool>>(true);
    win32::testing::SetSpaceQuery([hung](const std::string &mp) {
        win32::testing::FakeSpace s;
        s.blocks = 10;
        s.availBlocks = 5;
        if (*hung && mp.compare(0, 2, "/s") == 0) s.delayMs = 1000;
        return s;
    });
    ULARGE_INTEGER avail, total;
    auto start = Clock::now();
    EXPECT_FALSE(GetDiskFreeSpaceExA("D:\\", &avail, &total, nullptr));
    long long waited = MsSince(start);
    EXPECT_GE(waited, 200);
    EXPECT_LT(waited, 600);  // gave up well before the answer came

    // All seven started together; the other hung ones have had the same
    // deadline, and the healthy drive after them has its figures.
    for (const char *root : {"E:\\", "F:\\", "G:\\", "H:\\"})
        EXPECT_FALSE(GetDiskFreeSpaceExA(root, &avail, &total, nullptr)) << root;
    ASSERT_TRUE(GetDiskFreeSpaceExA("I:\\", &avail, &total, nullptr));
    EXPECT_EQ(avail.QuadPart, 5u * 4096);
    EXPECT_TRUE(GetDiskFreeSpaceExA("C:\\", &avail, &total, nullptr));
    auto calls = win32::testing::GetKernelCalls();
    EXPECT_EQ(calls.spaceQueries, 7);
    EXPECT_EQ(calls.spaceRounds, 1);

    // The next round leaves the hung mounts out while their queries still
    // run, and asks the healthy drives again.
    EXPECT_FALSE(GetDiskFreeSpaceExA("D:\\", &avail, &total, nullptr));
    EXPECT_TRUE(GetDiskFreeSpaceExA("I:\\", &avail, &total, nullptr));
    calls = win32::testing::GetKernelCalls();
    EXPECT_EQ(calls.spaceQueries, 9);
    EXPECT_EQ(calls.spaceRounds, 2);
    EXPECT_EQ(calls.queriedMounts.back(), "/z");

    // Once the hung queries have their answers, every drive can be asked again.
    *hung = false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    EXPECT_TRUE(GetDiskFreeSpaceExA("D:\\", &avail, &total, nullptr));
    EXPECT_EQ(avail.QuadPart, 5u * 4096);
    EXPECT_EQ(win32::testing::GetKernelCalls().spaceQueries, 16);
}

TEST(KernelRealQuery, AsksStatvfsInAChildAndLeavesNoChildBehind) {
    win32::testing::ResetKernel();
    win32::testing::SetFakeDrives(
        {{'C', DRIVE_FIXED, "/"}, {'D', DRIVE_FIXED, "/nonexistent/morvalen/mount"}});
    struct statvfs st;
    ASSERT_EQ(statvfs("/", &st), 0);
    ULARGE_INTEGER avail, total;
    ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", &avail, &total, nullptr));
    EXPECT_EQ(total.QuadPart, (ULONGLONG)st.f_blocks * st.f_frsize);
    DWORD spc, bps, freeC, totalC;
    ASSERT_TRUE(GetDiskFreeSpaceA("C:\\", &spc, &bps, &freeC, &totalC));
    EXPECT_EQ((ULONGLONG)spc * bps, (ULONGLONG)st.f_frsize);
    SetLastError(0);
    EXPECT_FALSE(GetDiskFreeSpaceExA("D:\\", &avail, &total, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_READY);

    // With no descriptors left for the helper's pipe, the query runs in the
    // process instead of failing every drive. (A fake query first runs the
    // same in-process code with descriptors to spare: the undefined-behaviour
    // sanitizer's first check of a class's type needs a pipe of its own.)
    win32::testing::SetSpaceQuery([](const std::string &) { return win32::testing::FakeSpace{}; });
    ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", &avail, &total, nullptr));
    win32::testing::SetSpaceQuery(nullptr);
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    int lowest = dup(0);  // the next descriptor handed out; one more is allowed
    ASSERT_GE(lowest, 0);
    close(lowest);
    rlimit few = saved;
    few.rlim_cur = static_cast<rlim_t>(lowest) + 1;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &few), 0);
    win32::testing::SetFakeDrives({{'C', DRIVE_FIXED, "/"}});  // a new round
    bool answered = GetDiskFreeSpaceExA("C:\\", &avail, &total, nullptr);
    setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_TRUE(answered);
    EXPECT_EQ(total.QuadPart, (ULONGLONG)st.f_blocks * st.f_frsize);

    // The helper processes are all gone: nothing of ours is left to wait for.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    win32::testing::ResetKernel();
}

// A drive is queried only through its own mount: the table's root line
// answers; the same line with another mount ID names a mount that is gone.
TEST(KernelRealQuery, AnswersOnlyForTheMountTheTableNamed) {
    win32::testing::ResetKernel();
    std::string rootLine;
    {
        std::ifstream in("/proc/self/mountinfo");
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            std::string id, parent, dev, root, point;
            fields >> id >> parent >> dev >> root >> point;
            if (point == "/") rootLine = line;  // the last one is on top
        }
    }
    if (rootLine.empty()) GTEST_SKIP() << "no root mount in /proc/self/mountinfo";
    std::string table = ::testing::TempDir() + "/morvalen-mountinfo";
    auto answer = [&](const std::string &line) {
        std::ofstream(table) << line << "\n";
        win32::testing::SetMountInfoPath(table.c_str());
        ULARGE_INTEGER avail, total;
        return GetDriveTypeA("C:\\") == DRIVE_FIXED && GetDiskFreeSpaceExA("C:\\", &avail, &total, nullptr);
    };
    if (!answer(rootLine)) GTEST_SKIP() << "the root filesystem is not a fixed drive here: " << rootLine;
    std::string otherId = std::to_string(std::stoul(rootLine) + 100000) + rootLine.substr(rootLine.find(' '));
    EXPECT_FALSE(answer(otherId)) << otherId;
    unlink(table.c_str());
    win32::testing::ResetKernel();
}

TEST_F(KernelCalls, ModulesAndTheExtendedQueryLookup) {
    EXPECT_EQ(GetModuleHandleA(nullptr), win32::MainModule());
    HMODULE k = GetModuleHandleA("KERNEL32.DLL");
    ASSERT_NE(k, nullptr);
    EXPECT_NE(k, win32::MainModule());
    EXPECT_EQ(GetModuleHandleA("kernel32.dll"), k);
    EXPECT_EQ(GetModuleHandleA("Kernel32"), k);
    SetLastError(0);
    EXPECT_EQ(GetModuleHandleA("USER32.DLL"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(GetModuleHandleA("KERNEL32.DLLX"), nullptr);

    FARPROC proc = GetProcAddress(k, "GetDiskFreeSpaceExA");
    ASSERT_NE(proc, nullptr);
    auto ex = reinterpret_cast<BOOL (*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER)>(
        reinterpret_cast<void (*)(void)>(proc));
    ULARGE_INTEGER avail;
    EXPECT_TRUE(ex("C:\\", &avail, nullptr, nullptr));
    EXPECT_EQ(avail.QuadPart, 250000ULL * 4096);

    EXPECT_EQ(GetProcAddress(k, "getdiskfreespaceexa"), nullptr);  // names are exact
    EXPECT_EQ(GetProcAddress(k, "GetDiskFreeSpaceA"), nullptr);
    EXPECT_EQ(GetProcAddress(k, reinterpret_cast<LPCSTR>(uintptr_t{1})), nullptr);
    EXPECT_EQ(GetProcAddress(win32::MainModule(), "GetDiskFreeSpaceExA"), nullptr);
    EXPECT_EQ(GetProcAddress(nullptr, "GetDiskFreeSpaceExA"), nullptr);

    win32::testing::HideExtendedQuery(true);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(k, "GetDiskFreeSpaceExA"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PROC_NOT_FOUND);
}

TEST_F(KernelCalls, ErrorModeReturnsThePreviousMode) {
    EXPECT_EQ(SetErrorMode(SEM_FAILCRITICALERRORS), 0u);
    EXPECT_EQ(GetErrorMode(), (UINT)SEM_FAILCRITICALERRORS);
    EXPECT_EQ(SetErrorMode(SEM_NOOPENFILEERRORBOX | SEM_FAILCRITICALERRORS), (UINT)SEM_FAILCRITICALERRORS);
    EXPECT_EQ(SetErrorMode(0), (UINT)(SEM_NOOPENFILEERRORBOX | SEM_FAILCRITICALERRORS));
    EXPECT_EQ(win32::testing::GetKernelCalls().setErrorMode, 3);
}

TEST(KernelStrings, CopyConcatenateMeasureAndCompare) {
    char buf[16];
    EXPECT_EQ(lstrcpyA(buf, "abc"), buf);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(lstrcatA(buf, "de"), buf);
    EXPECT_STREQ(buf, "abcde");
    EXPECT_EQ(lstrlenA(buf), 5);
    EXPECT_EQ(lstrlenA(nullptr), 0);
    EXPECT_EQ(lstrcpyA(nullptr, "x"), nullptr);
    lstrcatA(buf, nullptr);
    EXPECT_STREQ(buf, "abcde");

    // lstrcpynA copies at most n - 1 characters and always terminates.
    char small[4] = {'x', 'x', 'x', 'x'};
    lstrcpynA(small, "abcdef", 4);
    EXPECT_STREQ(small, "abc");
    lstrcpynA(small, "z", 4);
    EXPECT_STREQ(small, "z");
    small[0] = 'q';
    lstrcpynA(small, "abc", 0);
    EXPECT_EQ(small[0], 'q');
    lstrcpynA(small, "abc", 1);
    EXPECT_STREQ(small, "");

    EXPECT_EQ(lstrcmpA("abc", "abc"), 0);
    EXPECT_LT(lstrcmpA("abc", "abd"), 0);
    EXPECT_GT(lstrcmpA("b", "abc"), 0);
    EXPECT_LT(lstrcmpA(nullptr, "a"), 0);
    EXPECT_EQ(lstrcmpA(nullptr, ""), 0);
    EXPECT_EQ(lstrcmpiA("KERNEL32.dll", "kernel32.DLL"), 0);
    EXPECT_LT(lstrcmpiA("abc", "ABD"), 0);
    EXPECT_GT(lstrcmpiA("abcd", "ABC"), 0);
}

TEST(KernelMulDiv, RoundsHalfAwayFromZeroAndReportsOverflow) {
    struct Case {
        int a, b, c, want;
    } cases[] = {
        {10, 3, 4, 8},      // 7.5 -> 8
        {-10, 3, 4, -8},    // -7.5 -> -8
        {10, -3, 4, -8},    //
        {10, 3, -4, -8},    //
        {-10, -3, -4, -8},  //
        {7, 1, 3, 2},       // 2.33 -> 2
        {8, 1, 3, 3},       // 2.67 -> 3
        {-7, 1, 3, -2},     //
        {5, 1, 2, 3},       // 2.5 -> 3
        {8, 96, 72, 11},    // point size to pixels: 10.67 -> 11
        {0, 5, 7, 0},
        {1, 1, 0, -1},                                     // division by zero
        {0x7FFFFFFF, 2, 1, -1},                            // too large
        {0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF},  // the 64-bit product fits
        {-0x7FFFFFFF - 1, 1, 1, -0x7FFFFFFF - 1},          // the smallest int still fits
        {-0x7FFFFFFF - 1, -1, 1, -1},                      // its negation does not
    };
    for (const Case &k : cases) EXPECT_EQ(MulDiv(k.a, k.b, k.c), k.want) << k.a << "*" << k.b << "/" << k.c;
}

TEST(KernelClock, TickCountAdvancesAcrossSleep) {
    DWORD before = GetTickCount();
    Sleep(30);
    DWORD elapsed = GetTickCount() - before;
    EXPECT_GE(elapsed, 30u);
    EXPECT_LT(elapsed, 5000u);
}

}  // namespace
