// Space queries with a deadline.
//
// statvfs on a stalled filesystem (a hung FUSE daemon, a dying disk) can
// block for as long as it likes, and nothing can interrupt it. So each query
// runs on a detached helper thread and the caller waits for its answer at
// most kQueryTimeoutMs. A helper that has not answered keeps its mount point
// marked busy: further queries of that mount fail at once instead of
// starting another helper, and no more than kMaxHelpers helpers exist at any
// time. A stalled filesystem therefore costs at most one blocked thread,
// and the process at most kMaxHelpers, however often it asks.
#include <sys/statvfs.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include "platform/kernel/mounts.h"
#include "platform/kernel/state.h"

namespace win32 {
namespace {

constexpr int kMaxHelpers = 4;

struct Answer {
    std::mutex mu;
    std::condition_variable cv;
    bool done = false;
    bool ok = false;
    SpaceFigures figures;
};

// Shared with helpers that may outlive any caller, so never destroyed.
struct Helpers {
    std::mutex mu;
    std::set<std::string> busy;
    win32test::SpaceQueryFn fake;
};

Helpers &GetHelpers() {
    static Helpers *h = new Helpers;
    return *h;
}

bool StatFilesystem(const std::string &mountPoint, SpaceFigures *out) {
    struct statvfs st;
    if (statvfs(mountPoint.c_str(), &st) != 0) return false;
    out->fragmentSize = st.f_frsize ? st.f_frsize : st.f_bsize;
    out->blocks = st.f_blocks;
    out->freeBlocks = st.f_bfree;
    out->availBlocks = st.f_bavail;
    return out->fragmentSize != 0;
}

void RunQuery(const std::string &mountPoint, win32test::SpaceQueryFn fake, std::shared_ptr<Answer> answer) {
    SpaceFigures figures;
    bool ok;
    if (fake) {
        win32test::FakeSpace f = fake(mountPoint);
        if (f.delayMs) std::this_thread::sleep_for(std::chrono::milliseconds(f.delayMs));
        ok = f.ok;
        figures.fragmentSize = f.fragmentSize;
        figures.blocks = f.blocks;
        figures.freeBlocks = f.freeBlocks;
        figures.availBlocks = f.availBlocks;
    } else {
        ok = StatFilesystem(mountPoint, &figures);
    }
    // Free the mount point first, so that a caller who sees the answer can
    // ask again at once.
    {
        Helpers &h = GetHelpers();
        std::lock_guard<std::mutex> lock(h.mu);
        h.busy.erase(mountPoint);
    }
    {
        std::lock_guard<std::mutex> lock(answer->mu);
        answer->done = true;
        answer->ok = ok;
        answer->figures = figures;
    }
    answer->cv.notify_all();
}

}  // namespace

bool QuerySpace(const std::string &mountPoint, SpaceFigures *out) {
    Helpers &h = GetHelpers();
    win32test::SpaceQueryFn fake;
    {
        std::lock_guard<std::mutex> lock(h.mu);
        if (h.busy.count(mountPoint) || static_cast<int>(h.busy.size()) >= kMaxHelpers) return false;
        h.busy.insert(mountPoint);
        fake = h.fake;
    }
    KernelCounters().spaceQueries++;
    KernelCounters().queriedMounts.push_back(mountPoint);

    auto answer = std::make_shared<Answer>();
    try {
        std::thread(RunQuery, mountPoint, std::move(fake), answer).detach();
    } catch (const std::system_error &) {
        std::lock_guard<std::mutex> lock(h.mu);
        h.busy.erase(mountPoint);
        return false;
    }

    std::unique_lock<std::mutex> lock(answer->mu);
    if (!answer->cv.wait_for(lock, std::chrono::milliseconds(kQueryTimeoutMs), [&] { return answer->done; }))
        return false;
    if (!answer->ok) return false;
    *out = answer->figures;
    return true;
}

void SetSpaceQueryFn(win32test::SpaceQueryFn fn) {
    Helpers &h = GetHelpers();
    std::lock_guard<std::mutex> lock(h.mu);
    h.fake = std::move(fn);
}

}  // namespace win32

void win32test::SetSpaceQuery(SpaceQueryFn fn) {
    win32::SetSpaceQueryFn(std::move(fn));
}
