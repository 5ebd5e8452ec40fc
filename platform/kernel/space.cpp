// Space queries with a deadline.
//
// statvfs on a stalled filesystem (a hung FUSE daemon, a dying disk) can
// block for as long as it likes, and nothing interrupts it: not even a kill,
// so a thread of ours stuck there would also hold up the process's exit.
// Each query therefore runs in a child process, which writes its answer into
// a pipe; the caller waits for it at most kQueryTimeoutMs and then reaps the
// child, which ends right after answering. A child that has not answered in
// time is left to finish on its own, and a detached thread waits for exactly
// that child, so it never lingers as a zombie (a thread in waitpid does not
// hold up an exit; the child, orphaned then, goes to init). Its mount point
// stays marked busy until it ends: further queries of that mount fail at
// once instead of starting another child, and no more than kMaxStalled
// queries are ever outstanding. A stalled filesystem costs at most one
// process and one sleeping thread.
//
// The fake query of the test seams runs on a detached thread instead, so
// tests can observe it; the same deadline and bounds apply.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <set>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/kernel/mounts.h"
#include "platform/kernel/state.h"

namespace win32 {
namespace {

constexpr int kMaxStalled = 4;

struct Answer {
    std::mutex mu;
    std::condition_variable cv;
    bool done = false;
    bool ok = false;
    SpaceFigures figures;
};

// Outstanding queries by mount point; each entry is removed by the thread
// that waits for its child or runs its fake. Shared with those threads,
// which may outlive any caller, so never destroyed.
struct Outstanding {
    std::mutex mu;
    std::set<std::string> busy;
    win32test::SpaceQueryFn fake;
};

Outstanding &GetOutstanding() {
    static Outstanding *o = new Outstanding;
    return *o;
}

void Release(const std::string &mountPoint) {
    Outstanding &o = GetOutstanding();
    std::lock_guard<std::mutex> lock(o.mu);
    o.busy.erase(mountPoint);
}

void Reap(pid_t pid) {
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

struct Reply {
    int ok;
    SpaceFigures figures;
};

// In the child: nothing but system calls, then _exit.
[[noreturn]] void AnswerInChild(const char *mountPoint, int fd) {
    // Hold on to no descriptor of the parent's while possibly stuck: not its
    // display connection, not the standard output a reader waits to see end.
    if (fd > 0) close_range(0, static_cast<unsigned>(fd) - 1, 0);
    close_range(static_cast<unsigned>(fd) + 1, ~0U, 0);
    Reply r{};
    struct statvfs st;
    if (statvfs(mountPoint, &st) == 0) {
        r.figures.fragmentSize = st.f_frsize ? st.f_frsize : st.f_bsize;
        r.figures.blocks = st.f_blocks;
        r.figures.freeBlocks = st.f_bfree;
        r.figures.availBlocks = st.f_bavail;
        r.ok = r.figures.fragmentSize != 0;
    }
    ssize_t n = write(fd, &r, sizeof r);
    _exit(n == static_cast<ssize_t>(sizeof r) ? 0 : 1);
}

// True when the child answered in time with figures. A child that did not
// answer is handed to a reaper thread, which frees the mount point when the
// child ends.
bool StatInChild(const std::string &mountPoint, SpaceFigures *out) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    pid_t child = fork();
    if (child == 0) AnswerInChild(mountPoint.c_str(), fds[1]);
    close(fds[1]);
    if (child < 0) {
        close(fds[0]);
        return false;
    }

    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kQueryTimeoutMs);
    int ready;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        pollfd p{fds[0], POLLIN, 0};
        ready = poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        if (ready >= 0 || errno != EINTR) break;
    }
    if (ready == 0) {
        close(fds[0]);
        try {
            std::thread([child, mountPoint] {
                Reap(child);
                Release(mountPoint);
            }).detach();
        } catch (const std::system_error &) {
            // No thread to spare: the child stays unreaped and its mount
            // stays busy, which still bounds what a stall can cost.
        }
        return false;
    }

    Reply r{};
    ssize_t n = -1;
    if (ready > 0)
        while ((n = read(fds[0], &r, sizeof r)) < 0 && errno == EINTR) {
        }
    close(fds[0]);
    Reap(child);
    Release(mountPoint);
    if (n != static_cast<ssize_t>(sizeof r) || !r.ok) return false;
    *out = r.figures;
    return true;
}

void RunFake(const std::string &mountPoint, win32test::SpaceQueryFn fake, std::shared_ptr<Answer> answer) {
    win32test::FakeSpace f = fake(mountPoint);
    if (f.delayMs) std::this_thread::sleep_for(std::chrono::milliseconds(f.delayMs));
    // Free the mount point first, so that a caller who sees the answer can
    // ask again at once.
    Release(mountPoint);
    {
        std::lock_guard<std::mutex> lock(answer->mu);
        answer->done = true;
        answer->ok = f.ok;
        answer->figures.fragmentSize = f.fragmentSize;
        answer->figures.blocks = f.blocks;
        answer->figures.freeBlocks = f.freeBlocks;
        answer->figures.availBlocks = f.availBlocks;
    }
    answer->cv.notify_all();
}

bool FakeQuery(const std::string &mountPoint, win32test::SpaceQueryFn fake, SpaceFigures *out) {
    auto answer = std::make_shared<Answer>();
    try {
        std::thread(RunFake, mountPoint, std::move(fake), answer).detach();
    } catch (const std::system_error &) {
        Release(mountPoint);
        return false;
    }
    std::unique_lock<std::mutex> lock(answer->mu);
    if (!answer->cv.wait_for(lock, std::chrono::milliseconds(kQueryTimeoutMs), [&] { return answer->done; }))
        return false;
    if (!answer->ok) return false;
    *out = answer->figures;
    return true;
}

}  // namespace

bool QuerySpace(const std::string &mountPoint, SpaceFigures *out) {
    Outstanding &o = GetOutstanding();
    win32test::SpaceQueryFn fake;
    {
        std::lock_guard<std::mutex> lock(o.mu);
        if (o.busy.count(mountPoint) || static_cast<int>(o.busy.size()) >= kMaxStalled) return false;
        o.busy.insert(mountPoint);
        fake = o.fake;
    }
    KernelCounters().spaceQueries++;
    KernelCounters().queriedMounts.push_back(mountPoint);
    if (fake) return FakeQuery(mountPoint, std::move(fake), out);
    return StatInChild(mountPoint, out);
}

void SetSpaceQueryFn(win32test::SpaceQueryFn fn) {
    Outstanding &o = GetOutstanding();
    std::lock_guard<std::mutex> lock(o.mu);
    o.fake = std::move(fn);
}

}  // namespace win32

void win32test::SetSpaceQuery(SpaceQueryFn fn) {
    win32::SetSpaceQueryFn(std::move(fn));
}
