// Whether an assistive technology runs: org.a11y.Status (IsEnabled,
// ScreenReaderEnabled) read from the session bus and watched for changes,
// over a small D-Bus client of its own, so that a desktop without a screen
// reader pays for no D-Bus library. Never blocks: it works from the message
// loop's wait like any other descriptor.
#pragma once

#include <poll.h>

#include <cstdint>
#include <memory>
#include <string>

namespace win32::a11y {

class StatusProbe {
public:
    enum Answer { Asking, On, Off, Gone };

    // Connects to the session bus `address` (D-Bus address syntax) and asks;
    // null when no bus can be reached. The answer is due `limitMs` later.
    static std::unique_ptr<StatusProbe> Start(const std::string &address, int limitMs);
    ~StatusProbe();

    pollfd Descriptor() const;
    int TimeoutMs() const;  // -1: no limit
    // Reads and writes what the socket allows. Off once both properties are
    // false or the time for the answer is up, and then watches for a change
    // to On; Gone when the bus is lost or never answered the handshake.
    Answer Step();

private:
    StatusProbe() = default;
    bool Flush();
    bool HandleLine();
    bool HandleMessages();

    int fd_ = -1;
    bool authenticated_ = false;
    std::string out_, in_;
    uint32_t serialEnabled_ = 0, serialReader_ = 0;
    int answers_ = 0;
    bool on_ = false;
    uint64_t deadlineMs_ = 0;
    Answer answer_ = Asking;
};

// The session bus's address from the environment; empty when none.
std::string SessionBusAddress();

}  // namespace win32::a11y
