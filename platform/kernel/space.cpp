// Space queries, all started together, against one deadline.
//
// statvfs on a stalled filesystem (a hung FUSE daemon, a dying disk) can
// block for as long as it likes, and nothing interrupts it: not even a kill,
// so a thread of ours stuck there would also hold up the process's exit.
// The queries therefore run in a helper process. The first ask forks one
// helper for all the fixed and removable drives of the map; it stats each
// of them on a thread of its own, so that a hung mount holds up none of the
// others, and writes every answer into a pipe as soon as it has it. Each ask
// then waits for its own answer until one deadline, kQueryTimeoutMs after
// that start, so the whole survey waits at most that long however many
// mounts hang or are slow.
//
// A helper that still owes answers when its round is over is left to finish
// on its own: a detached thread goes on reading its answers and reaps it (a
// thread in read or waitpid does not hold up an exit; the helper, orphaned
// then, goes to init). The mount points it owes stay marked busy until their
// answer comes; the next round leaves them out and they fail at once, as
// does a FUSE mount whose connection already has requests waiting (stuck in
// another process, perhaps an earlier run of ours). A stalled filesystem
// costs at most one helper process and one sleeping thread, and never a
// healthy drive.
//
// Each query opens the mount point and checks that the descriptor lands on
// the very mount the table named (its mount ID, or its device where the
// kernel cannot tell the ID) before asking fstatvfs: a filesystem unmounted
// since the table was read is a failed query, never the figures of the
// directory underneath.
//
// Where no helper can be started (no descriptors or processes left), the
// queries run in this process, on one detached thread per mount, or one
// after another when no thread can be made either. The fake query of the
// test seams runs on those threads too, so tests can observe it; the same
// deadline and bounds apply.
#include "platform/kernel/space.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <thread>

#include "platform/kernel/state.h"

namespace win32 {
namespace {

using Clock = std::chrono::steady_clock;

// How long after the deadline the answers of a round still serve asks. The
// survey asks for its drives one right after another; an ask later than
// this belongs to another survey and gets fresh figures.
constexpr auto kAnswersKeep = std::chrono::milliseconds(1000);

// Stack of each of the helper's threads: statvfs and write need little.
constexpr size_t kHelperStack = 128 << 10;

// The mount a query is for, as the table named it.
struct MountId {
    unsigned id = 0;  // 0: not known (drives of the test seams)
    unsigned major = 0, minor = 0;
};

struct Slot {
    std::string mountPoint;
    MountId mount;
    bool pending = false;  // asked and not answered yet
    bool ok = false;
    bool taken = false;  // an ask has had this answer
    SpaceFigures figures;
};

// The queries started together.
struct Round {
    std::mutex mu;  // the slots' answers, which in-process threads write
    std::condition_variable cv;
    Clock::time_point deadline;
    std::vector<Slot> slots;  // fixed once the queries run
    bool inProcess = false;   // queried on threads of ours, not by a helper
    win32::testing::SpaceQueryFn fake;
    pid_t helper = -1;
    int fd = -1;  // the helper's answers, until it has given them all
    size_t owed = 0;
};

// Shared with threads that may outlive any caller, so never destroyed.
struct Queries {
    std::mutex mu;               // busy and fake
    std::set<std::string> busy;  // mount points with a query still running
    win32::testing::SpaceQueryFn fake;
    std::mutex askMu;  // one ask at a time; guards current
    std::shared_ptr<Round> current;
};

Queries &SpaceQueries() {
    static Queries *q = new Queries;
    return *q;
}

void Release(const std::string &mountPoint) {
    Queries &q = SpaceQueries();
    std::lock_guard<std::mutex> lock(q.mu);
    q.busy.erase(mountPoint);
}

void Reap(pid_t pid) {
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

struct Reply {
    uint32_t slot;
    int32_t ok;
    SpaceFigures figures;
};
static_assert(sizeof(Reply) <= PIPE_BUF, "each answer is one atomic write");

struct Job {
    const char *mountPoint;
    MountId mount;
    uint32_t slot;
    int fd;
};

// The mount ID of `fd` from /proc/self/fdinfo (Linux 3.15 on), or 0.
// Nothing but system calls.
unsigned FdInfoMountId(int fd) {
    char path[40] = "/proc/self/fdinfo/";
    char digits[12];
    int n = 0;
    for (unsigned v = static_cast<unsigned>(fd); n == 0 || v; v /= 10)
        digits[n++] = static_cast<char>('0' + v % 10);
    size_t at = strlen(path);
    while (n) path[at++] = digits[--n];
    path[at] = '\0';
    int info = open(path, O_RDONLY | O_CLOEXEC);
    if (info < 0) return 0;
    char text[512];
    ssize_t got = read(info, text, sizeof text - 1);
    close(info);
    if (got <= 0) return 0;
    text[got] = '\0';
    const char *p = strstr(text, "mnt_id:");
    if (!p) return 0;
    p += 7;
    while (*p == ' ' || *p == '\t') ++p;
    unsigned id = 0;
    for (; *p >= '0' && *p <= '9'; ++p) id = id * 10 + static_cast<unsigned>(*p - '0');
    return id;
}

// True when `fd` is on the mount `m`: the same mount ID, from statx (Linux
// 5.8 on) or else from fdinfo; the same device where neither tells.
bool OnMount(int fd, const MountId &m) {
    if (m.id == 0) return true;
    struct statx sx;
    // Only the VFS's own fields: nothing to ask of a filesystem that hangs.
    bool stated = statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_MNT_ID, &sx) == 0;
    if (stated && (sx.stx_mask & STATX_MNT_ID)) return sx.stx_mnt_id == m.id;
    if (unsigned id = FdInfoMountId(fd)) return id == m.id;
    return stated && sx.stx_dev_major == m.major && sx.stx_dev_minor == m.minor;
}

// The figures of the filesystem mounted at `mountPoint`, if it is still the
// mount `m`. Nothing but system calls: the helper runs it after a fork.
bool CheckedStatvfs(const char *mountPoint, const MountId &m, SpaceFigures *out) {
    // O_PATH: no open request reaches the filesystem, only the lookup.
    int fd = open(mountPoint, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    struct statvfs st;
    bool ok = OnMount(fd, m) && fstatvfs(fd, &st) == 0;
    close(fd);
    if (!ok) return false;
    out->fragmentSize = st.f_frsize ? st.f_frsize : st.f_bsize;
    out->blocks = st.f_blocks;
    out->freeBlocks = st.f_bfree;
    out->availBlocks = st.f_bavail;
    return out->fragmentSize != 0;
}

// In the helper: nothing but system calls.
void *AnswerJob(void *arg) {
    const Job *job = static_cast<const Job *>(arg);
    Reply r{};
    r.slot = job->slot;
    r.ok = CheckedStatvfs(job->mountPoint, job->mount, &r.figures);
    ssize_t n = write(job->fd, &r, sizeof r);
    (void)n;  // a reader that has gone no longer needs the answer
    return nullptr;
}

// The helper: a thread per job but the first, which it answers itself.
[[noreturn]] void RunHelper(std::vector<Job> &jobs, std::vector<pthread_t> &threads, int fd) {
    // Hold on to no descriptor of the parent's while possibly stuck: not its
    // display connection, not the standard output a reader waits to see end.
    if (fd > 0) close_range(0, static_cast<unsigned>(fd) - 1, 0);
    close_range(static_cast<unsigned>(fd) + 1, ~0U, 0);
    pthread_attr_t attr;
    bool sized = pthread_attr_init(&attr) == 0 && pthread_attr_setstacksize(&attr, kHelperStack) == 0;
    size_t started = 1;
    for (; started < jobs.size(); ++started)
        if (pthread_create(&threads[started], sized ? &attr : nullptr, AnswerJob, &jobs[started]) != 0) break;
    AnswerJob(&jobs[0]);
    // Without threads to spare the rest go one after another.
    for (size_t i = started; i < jobs.size(); ++i) AnswerJob(&jobs[i]);
    for (size_t i = 1; i < started; ++i) pthread_join(threads[i], nullptr);
    _exit(0);
}

void Answer(Round &r, size_t i, bool ok, const SpaceFigures &figures) {
    Slot &s = r.slots[i];
    if (!s.pending) return;
    s.pending = false;
    s.ok = ok;
    s.figures = figures;
    Release(s.mountPoint);
}

// The helper has gone: what it still owed has failed.
void EndHelper(Round &r) {
    close(r.fd);
    r.fd = -1;
    Reap(r.helper);
    r.helper = -1;
    for (size_t i = 0; i < r.slots.size(); ++i) Answer(r, i, false, SpaceFigures{});
    r.owed = 0;
}

// Reads the answers the helper has written, waiting at most `timeoutMs` for
// the first (-1: as long as it takes).
void ReadAnswers(Round &r, int timeoutMs) {
    pollfd p{r.fd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return;
    Reply replies[32];
    ssize_t n = read(r.fd, replies, sizeof replies);
    if (n < 0 && errno == EINTR) return;
    if (n <= 0) {
        EndHelper(r);
        return;
    }
    // Whole answers only: each was one write of less than a pipe's buffer.
    for (size_t k = 0; k < static_cast<size_t>(n) / sizeof(Reply); ++k) {
        const Reply &reply = replies[k];
        if (reply.slot >= r.slots.size() || !r.slots[reply.slot].pending) continue;
        Answer(r, reply.slot, reply.ok != 0, reply.figures);
        --r.owed;
    }
    if (r.owed == 0) EndHelper(r);
}

int MsUntil(Clock::time_point t) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(t - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Starts one helper for the pending slots; false when it cannot.
bool StartHelper(Round &r) {
    std::vector<Job> jobs;
    for (size_t i = 0; i < r.slots.size(); ++i)
        if (r.slots[i].pending)
            jobs.push_back({r.slots[i].mountPoint.c_str(), r.slots[i].mount, static_cast<uint32_t>(i), -1});
    if (jobs.empty()) return true;
    std::vector<pthread_t> threads(jobs.size());  // allocated before the fork
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    for (Job &j : jobs) j.fd = fds[1];
    pid_t child = fork();
    if (child == 0) RunHelper(jobs, threads, fds[1]);
    close(fds[1]);
    if (child < 0) {
        close(fds[0]);
        return false;
    }
    r.helper = child;
    r.fd = fds[0];
    r.owed = jobs.size();
    return true;
}

// Answers slot `i` in this process: from the seams' fake, else the
// filesystem itself.
void RunInProcess(std::shared_ptr<Round> r, size_t i) {
    const Slot &slot = r->slots[i];  // fixed while queries run
    SpaceFigures figures;
    bool ok;
    if (r->fake) {
        win32::testing::FakeSpace f = r->fake(slot.mountPoint);
        if (f.delayMs) std::this_thread::sleep_for(std::chrono::milliseconds(f.delayMs));
        figures.fragmentSize = f.fragmentSize;
        figures.blocks = f.blocks;
        figures.freeBlocks = f.freeBlocks;
        figures.availBlocks = f.availBlocks;
        ok = f.ok;
    } else {
        ok = CheckedStatvfs(slot.mountPoint.c_str(), slot.mount, &figures);
    }
    {
        std::lock_guard<std::mutex> lock(r->mu);
        Answer(*r, i, ok, figures);
    }
    r->cv.notify_all();
}

// True when requests to the FUSE filesystem of `m` are already waiting for
// its daemon: another query would only wait behind them.
bool FuseBacklog(const MountEntry &m, const std::string &sysfsRoot) {
    const std::string &t = m.fsType;
    if (t != "fuse" && t != "fuseblk" && t.compare(0, 5, "fuse.") != 0) return false;
    // The connection is named after the kernel's device number.
    unsigned long long dev = (static_cast<unsigned long long>(m.major) << 20) | m.minor;
    std::string path = sysfsRoot + "/fs/fuse/connections/" + std::to_string(dev) + "/waiting";
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[24];
    ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    if (n <= 0) return false;
    buf[n] = '\0';
    return strtoull(buf, nullptr, 10) > 0;
}

std::shared_ptr<Round> StartRound(const std::vector<DriveEntry> &map, const std::string &sysfsRoot) {
    Queries &q = SpaceQueries();
    auto r = std::make_shared<Round>();
    r->deadline = Clock::now() + std::chrono::milliseconds(kQueryTimeoutMs);
    win32::testing::SpaceQueryFn fake;
    {
        std::lock_guard<std::mutex> lock(q.mu);
        fake = q.fake;
        for (const DriveEntry &e : map) {
            if (e.type != DRIVE_FIXED && e.type != DRIVE_REMOVABLE) continue;
            const std::string &mp = e.mount.mountPoint;
            bool seen = false;
            for (const Slot &s : r->slots) seen = seen || s.mountPoint == mp;
            if (seen) continue;
            Slot s;
            s.mountPoint = mp;
            s.mount = {e.mount.id, e.mount.major, e.mount.minor};
            // A mount whose last query still hangs, or whose daemon has work
            // waiting, fails at once.
            if (!q.busy.count(mp) && !FuseBacklog(e.mount, sysfsRoot)) {
                q.busy.insert(mp);
                s.pending = true;
                KernelCounters().spaceQueries++;
                KernelCounters().queriedMounts.push_back(mp);
            }
            r->slots.push_back(std::move(s));
        }
    }
    KernelCounters().spaceRounds++;
    r->fake = std::move(fake);
    r->inProcess = r->fake || !StartHelper(*r);
    if (r->inProcess) {
        for (size_t i = 0; i < r->slots.size(); ++i) {
            if (!r->slots[i].pending) continue;
            try {
                std::thread(RunInProcess, r, i).detach();
            } catch (const std::system_error &) {
                RunInProcess(r, i);  // no thread to spare: ask right here
            }
        }
    }
    return r;
}

// Waits for slot `i` until the round's deadline; true with figures.
bool Await(Round &r, size_t i, SpaceFigures *out) {
    Slot &s = r.slots[i];
    s.taken = true;
    if (r.inProcess) {
        std::unique_lock<std::mutex> lock(r.mu);
        r.cv.wait_until(lock, r.deadline, [&] { return !s.pending; });
        if (s.pending || !s.ok) return false;
        *out = s.figures;
        return true;
    }
    while (s.pending && r.fd >= 0) {
        int left = MsUntil(r.deadline);
        ReadAnswers(r, left);
        if (left == 0) break;
    }
    if (s.pending || !s.ok) return false;
    *out = s.figures;
    return true;
}

// Ends a round: its queries may use what is left of the deadline, then a
// thread takes over what a helper still owes.
void Retire(std::shared_ptr<Round> r) {
    if (!r) return;
    if (r->inProcess) {
        std::unique_lock<std::mutex> lock(r->mu);
        r->cv.wait_until(lock, r->deadline, [&] {
            for (const Slot &s : r->slots)
                if (s.pending) return false;
            return true;
        });
        return;
    }
    while (r->fd >= 0) {
        int left = MsUntil(r->deadline);
        ReadAnswers(*r, left);
        if (left == 0) break;
    }
    if (r->fd < 0) return;
    try {
        std::thread([r] {
            while (r->fd >= 0) ReadAnswers(*r, -1);
        }).detach();
    } catch (const std::system_error &) {
        // No thread to spare: the helper stays unreaped and its mounts stay
        // busy, which still bounds what a stall can cost.
    }
}

// The unused slot of the current round for `mountPoint`, if the round is
// still recent enough to serve asks.
bool CurrentSlot(const std::string &mountPoint, size_t *index) {
    Queries &q = SpaceQueries();
    if (!q.current || Clock::now() > q.current->deadline + kAnswersKeep) return false;
    for (size_t i = 0; i < q.current->slots.size(); ++i) {
        if (q.current->slots[i].mountPoint != mountPoint) continue;
        if (q.current->slots[i].taken) return false;
        *index = i;
        return true;
    }
    return false;
}

}  // namespace

bool QuerySpace(const std::vector<DriveEntry> &map, const DriveEntry &drive, const std::string &sysfsRoot,
                SpaceFigures *out) {
    Queries &q = SpaceQueries();
    std::lock_guard<std::mutex> ask(q.askMu);
    size_t i;
    if (!CurrentSlot(drive.mount.mountPoint, &i)) {
        Retire(std::move(q.current));
        q.current = StartRound(map, sysfsRoot);
        if (!CurrentSlot(drive.mount.mountPoint, &i)) return false;
    }
    return Await(*q.current, i, out);
}

void ForgetSpaceAnswers() {
    Queries &q = SpaceQueries();
    std::lock_guard<std::mutex> ask(q.askMu);
    Retire(std::move(q.current));
}

}  // namespace win32

void win32::testing::SetSpaceQuery(SpaceQueryFn fn) {
    win32::Queries &q = win32::SpaceQueries();
    {
        std::lock_guard<std::mutex> lock(q.mu);
        q.fake = std::move(fn);
    }
    win32::ForgetSpaceAnswers();
}
