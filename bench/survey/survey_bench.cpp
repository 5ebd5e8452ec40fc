// Time per call: the survey over a fake table of 24 fixed drives, the
// mount-table reader over a table of 200 mounts, and the letter map of a
// table file of 10,000 bind mounts.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/kernel/mounts.h"
#include "platform/kernel/testing.h"
#include "survey/drive_table.h"
#include "survey/size_text.h"

namespace {

void BM_SurveyDrives24(benchmark::State &state) {
    win32::testing::ResetKernel();
    std::vector<win32::testing::FakeDrive> drives;
    for (char c = 'C'; c <= 'Z'; ++c) drives.push_back({c, DRIVE_FIXED, std::string("/d") + c});
    win32::testing::SetFakeDrives(drives);
    win32::testing::SetSpaceQuery([](const std::string &) {
        win32::testing::FakeSpace s;
        s.blocks = 250000000;
        s.availBlocks = 100000000;
        return s;
    });
    for (auto _ : state) {
        DriveTable = DriveTableData{};
        benchmark::DoNotOptimize(SurveyDrives());
    }
    win32::testing::ResetKernel();
}
BENCHMARK(BM_SurveyDrives24)->Unit(benchmark::kMicrosecond);

// The survey over this machine's real mounts, queries included.
void BM_SurveyDrivesThisMachine(benchmark::State &state) {
    win32::testing::ResetKernel();
    for (auto _ : state) {
        DriveTable = DriveTableData{};
        benchmark::DoNotOptimize(SurveyDrives());
    }
}
BENCHMARK(BM_SurveyDrivesThisMachine)->Unit(benchmark::kMicrosecond);

std::string Table200() {
    std::string t = "20 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw\n";
    for (int i = 0; i < 199; ++i) {
        std::string n = std::to_string(i);
        switch (i % 5) {
            case 0:
                t += n + "00 20 7:" + n + " / /snap/pkg" + n + "/1 ro shared:9 - squashfs /dev/loop" + n +
                     " ro\n";
                break;
            case 1:
                t += n + "01 20 0:" + n + " / /run/user/" + n + " rw shared:8 - tmpfs tmpfs rw,size=1g\n";
                break;
            case 2:
                t += n + "02 20 0:9" + n + " / /sys/fs/cgroup/x" + n + " rw - cgroup2 cgroup2 rw\n";
                break;
            case 3:
                t +=
                    n + "03 20 0:5" + n + " / /mnt/net\\040" + n + " rw - nfs4 srv:/e" + n + " rw,vers=4.2\n";
                break;
            default:
                t += n + "04 20 8:" + n + " / /data/disk" + n + " rw,relatime - ext4 /dev/sd" + n + " rw\n";
                break;
        }
    }
    return t;
}

void BM_ParseMountInfo200(benchmark::State &state) {
    std::string t = Table200();
    for (auto _ : state) benchmark::DoNotOptimize(win32::ParseMountInfo(t.data(), t.size()));
}
BENCHMARK(BM_ParseMountInfo200)->Unit(benchmark::kMicrosecond);

// Reading, classifying (with this machine's sysfs) and giving out letters.
void BM_LetterMap200(benchmark::State &state) {
    std::string t = Table200();
    for (auto _ : state)
        benchmark::DoNotOptimize(win32::AssignLetters(win32::ParseMountInfo(t.data(), t.size()), "/sys"));
}
BENCHMARK(BM_LetterMap200)->Unit(benchmark::kMicrosecond);

// The letter map from a table file of 10,000 entries, as a machine with
// that many bind mounts of its root filesystem has: reading, classifying
// and giving out letters, the work of the first survey there.
void BM_DriveMapBinds10000(benchmark::State &state) {
    std::string t =
        "46 45 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
        "48 46 0:21 / /proc rw,relatime - proc proc rw\n"
        "49 46 0:22 / /sys rw,relatime - sysfs sysfs rw\n";
    for (int i = 0; i < 9997; ++i) {
        char line[200];
        std::snprintf(line, sizeof line,
                      "%d 46 254:0 /var/tmp/binds/d%05d /var/tmp/binds/d%05d rw,relatime - ext4 /dev/vda "
                      "rw,discard\n",
                      i + 50, i, i);
        t += line;
    }
    char path[] = "/tmp/morvalen-bench-mountinfo-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0 || write(fd, t.data(), t.size()) != static_cast<ssize_t>(t.size())) {
        state.SkipWithError("cannot write the table file");
        return;
    }
    close(fd);
    win32::testing::ResetKernel();
    for (auto _ : state) {
        win32::testing::SetMountInfoPath(path);
        benchmark::DoNotOptimize(GetDriveTypeA("C:\\"));
    }
    win32::testing::ResetKernel();
    unlink(path);
}
BENCHMARK(BM_DriveMapBinds10000)->Unit(benchmark::kMillisecond);

void BM_FormatMegabytes(benchmark::State &state) {
    char out[17];
    DWORD v = 0;
    for (auto _ : state) {
        FormatMegabytes(v, out);
        v = v * 1664525u + 1013904223u;
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_FormatMegabytes);

}  // namespace

BENCHMARK_MAIN();
