// The pipe that wakes a back-end's wait when something other than its
// window system has news (a message posted from elsewhere): written by
// Wake, watched by the wait, emptied after it.
#pragma once

#include <fcntl.h>
#include <unistd.h>

namespace win32::display {

class WakePipe {
public:
    WakePipe() {
        if (pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
    }
    ~WakePipe() {
        for (int fd : fds_) {
            if (fd >= 0) close(fd);
        }
    }
    WakePipe(const WakePipe &) = delete;
    WakePipe &operator=(const WakePipe &) = delete;

    // The end to poll for POLLIN; -1 without a pipe.
    int Descriptor() const { return fds_[0]; }
    void Wake() {
        if (fds_[1] < 0) return;
        char c = 1;
        ssize_t ignored = write(fds_[1], &c, 1);
        (void)ignored;
    }
    void Drain() {
        char buf[64];
        while (fds_[0] >= 0 && read(fds_[0], buf, sizeof buf) > 0) {
        }
    }

private:
    int fds_[2] = {-1, -1};
};

}  // namespace win32::display
