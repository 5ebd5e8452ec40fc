// Space queries with a deadline.
//
// statvfs on a stalled filesystem (a hung FUSE daemon, a dying disk) can
// block for as long as it likes, and nothing interrupts it: not even a kill,
// so a thread stuck there would also hold up the process's exit. Each query
// therefore runs in a grandchild process (fork, fork, the middle one exits
// at once and is reaped here), which writes its answer into a pipe; the
// caller waits for it at most kQueryTimeoutMs. A grandchild that has not
// answered is left to finish on its own: it is an orphan, so init reaps it,
// and no zombie of ours remains. Its mount point stays marked busy until
// its end of the pipe closes: further queries of that mount fail at once
// instead of starting another process, and no more than kMaxStalled queries
// are ever outstanding. A stalled filesystem costs at most one process.
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
#include <map>
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

// Outstanding queries by mount point: the read end of a grandchild's pipe,
// or -1 for a helper thread (which removes its own entry). Shared with
// helpers that may outlive any caller, so never destroyed.
struct Outstanding {
    std::mutex mu;
    std::map<std::string, int> busy;
    win32test::SpaceQueryFn fake;
};

Outstanding &GetOutstanding() {
    static Outstanding *o = new Outstanding;
    return *o;
}

// Forgets the grandchildren that have answered or ended since.
void CollectFinished(Outstanding &o) {
    for (auto it = o.busy.begin(); it != o.busy.end();) {
        pollfd p{it->second, POLLIN, 0};
        if (it->second >= 0 && poll(&p, 1, 0) > 0) {
            close(it->second);
            it = o.busy.erase(it);
        } else {
            ++it;
        }
    }
}

struct Reply {
    int ok;
    SpaceFigures figures;
};

// In the grandchild: nothing but system calls, then _exit.
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

// Returns 1 answered, 0 failed, -1 no answer in time (`readFd` then stays
// open for the caller to keep).
int StatInGrandchild(const std::string &mountPoint, SpaceFigures *out, int *readFd) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return 0;
    pid_t middle = fork();
    if (middle == 0) {
        close(fds[0]);
        pid_t child = fork();
        if (child == 0) AnswerInChild(mountPoint.c_str(), fds[1]);
        _exit(child < 0 ? 1 : 0);
    }
    close(fds[1]);
    int status = 0;
    pid_t waited = -1;
    if (middle > 0)
        while ((waited = waitpid(middle, &status, 0)) < 0 && errno == EINTR) {
        }
    if (middle < 0 || waited != middle || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        close(fds[0]);
        return 0;
    }

    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kQueryTimeoutMs);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        pollfd p{fds[0], POLLIN, 0};
        int ready = poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        if (ready > 0) break;
        if (ready == 0) {
            *readFd = fds[0];
            return -1;
        }
        if (errno != EINTR) {
            close(fds[0]);
            return 0;
        }
    }
    Reply r;
    ssize_t n;
    while ((n = read(fds[0], &r, sizeof r)) < 0 && errno == EINTR) {
    }
    close(fds[0]);
    if (n != static_cast<ssize_t>(sizeof r) || !r.ok) return 0;
    *out = r.figures;
    return 1;
}

void RunFake(const std::string &mountPoint, win32test::SpaceQueryFn fake, std::shared_ptr<Answer> answer) {
    win32test::FakeSpace f = fake(mountPoint);
    if (f.delayMs) std::this_thread::sleep_for(std::chrono::milliseconds(f.delayMs));
    // Free the mount point first, so that a caller who sees the answer can
    // ask again at once.
    {
        Outstanding &o = GetOutstanding();
        std::lock_guard<std::mutex> lock(o.mu);
        o.busy.erase(mountPoint);
    }
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
        Outstanding &o = GetOutstanding();
        std::lock_guard<std::mutex> lock(o.mu);
        o.busy.erase(mountPoint);
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
        CollectFinished(o);
        if (o.busy.count(mountPoint) || static_cast<int>(o.busy.size()) >= kMaxStalled) return false;
        fake = o.fake;
        if (fake) o.busy[mountPoint] = -1;
    }
    KernelCounters().spaceQueries++;
    KernelCounters().queriedMounts.push_back(mountPoint);
    if (fake) return FakeQuery(mountPoint, std::move(fake), out);

    int stalledFd = -1;
    int result = StatInGrandchild(mountPoint, out, &stalledFd);
    if (result < 0) {
        std::lock_guard<std::mutex> lock(o.mu);
        o.busy[mountPoint] = stalledFd;
    }
    return result > 0;
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
