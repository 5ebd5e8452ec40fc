// The space queries behind GetDiskFreeSpaceExA and GetDiskFreeSpaceA.
#pragma once

#include <string>
#include <vector>

#include "platform/kernel/mounts.h"

namespace win32 {

// How long the queries of one survey may take, all together.
constexpr unsigned kQueryTimeoutMs = 250;

// The figures of `drive`, one of the fixed or removable drives of `map`.
// The first ask starts the queries of every fixed and removable drive of the
// map at once; that ask and the ones after it wait for their own answer until
// kQueryTimeoutMs after that start. Each answer serves one ask: asking for a
// drive again, or a while after the deadline, starts all the queries anew.
// False when the query failed or did not answer in time. `sysfsRoot` is
// "/sys" on a real system.
bool QuerySpace(const std::vector<DriveEntry> &map, const DriveEntry &drive, const std::string &sysfsRoot,
                SpaceFigures *out);

// Drops the answers already in, so the next ask starts the queries anew
// (the letter map changed).
void ForgetSpaceAnswers();

}  // namespace win32
