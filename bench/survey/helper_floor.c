/* The least a survey with one helper process can do, as a floor for
 * morvalen-drives in mount_scale.py and drives-vs-df: read the mount table,
 * start one helper that stats a mount point (default "/") and writes the
 * answer into a pipe, wait for it with a 250 ms deadline, reap it if it has
 * answered, print one line. Static, no C++ runtime.
 *
 * usage: morvalen-bench-helper-floor [fork|clone] [MOUNT-POINT]
 * fork: the helper is a forked copy of the process. clone: the helper
 * shares the address space (CLONE_VM, as posix_spawn makes its child) and
 * runs on a small stack of its own, so no page table is copied; it makes
 * only raw system calls, since it shares the parent's thread state too.
 * Exit 0 when the helper answered in time. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

struct job {
    const char *path;
    int fd;
};

/* Only raw system calls: errno and every other thread-local belong to the
 * parent's thread. */
static int answer(void *arg) {
    const struct job *j = arg;
    struct statfs st;
    int ok = syscall(SYS_statfs, j->path, &st) == 0;
    syscall(SYS_write, j->fd, &ok, sizeof ok);
    return 0;
}

int main(int argc, char **argv) {
    int use_clone = argc > 1 && strcmp(argv[1], "clone") == 0;
    struct job job = {argc > 2 ? argv[2] : "/", -1};
    static char buf[1 << 16];
    int fd = open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        while (read(fd, buf, sizeof buf) > 0) {
        }
        close(fd);
    }
    int p[2];
    if (pipe(p) != 0) return 1;
    job.fd = p[1];
    pid_t child;
    if (use_clone) {
        /* Never unmapped: a helper stuck in the filesystem still runs on it. */
        const size_t size = 64 << 10;
        char *stack =
            mmap(NULL, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
        if (stack == MAP_FAILED) return 1;
        child = clone(answer, stack + size, CLONE_VM | SIGCHLD, &job);
    } else {
        child = fork();
        if (child == 0) _exit(answer(&job));
    }
    close(p[1]);
    struct pollfd q = {p[0], POLLIN, 0};
    int ok = 0;
    int answered = child > 0 && poll(&q, 1, 250) == 1 && read(p[0], &ok, sizeof ok) == sizeof ok;
    if (answered) waitpid(child, NULL, 0);
    return write(1, "C:\n", 3) == 3 && answered && ok ? 0 : 1;
}
