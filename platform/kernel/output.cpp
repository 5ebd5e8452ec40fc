#include "platform/kernel/output.h"

#include <errno.h>

#include <cstdio>
#include <cstring>

namespace win32 {

int FinishStandardOutput() {
    errno = 0;
    // A stream error may be from any earlier write; errno then still tells
    // why only when nothing has run since, so the flush goes first.
    bool failed = fflush(stdout) != 0 || ferror(stdout);
    int err = errno;
    if (fclose(stdout) != 0 && !failed) {
        failed = true;
        err = errno;
    }
    if (!failed) return 0;
    fprintf(stderr, "%s: write error%s%s\n", program_invocation_short_name, err ? ": " : "",
            err ? strerror(err) : "");
    return 1;
}

}  // namespace win32
