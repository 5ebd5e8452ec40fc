// The end of a command-line answer written to standard output.
#pragma once

namespace win32 {

// Flushes and closes standard output. When any of the answer could not be
// written (a full disk, a closed descriptor) says so on standard error, as
// "PROGRAM: write error: REASON", and returns 1; else 0. The result is the
// process's exit code.
int FinishStandardOutput();

}  // namespace win32
