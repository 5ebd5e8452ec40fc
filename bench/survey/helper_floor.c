/* The least a survey with one helper process can do, as a floor for
 * morvalen-drives in mount_scale.py: read the mount table, fork one helper
 * that stats "/" and writes the answer into a pipe, wait for it with a
 * deadline, reap it, print one line. Static, no C++ runtime. */
#include <fcntl.h>
#include <poll.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

int main(void) {
    static char buf[1 << 16];
    int fd = open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        while (read(fd, buf, sizeof buf) > 0) {
        }
        close(fd);
    }
    int p[2];
    if (pipe(p) != 0) return 1;
    pid_t child = fork();
    if (child == 0) {
        struct statvfs st;
        int ok = statvfs("/", &st) == 0;
        _exit(write(p[1], &ok, sizeof ok) == sizeof ok ? 0 : 1);
    }
    close(p[1]);
    struct pollfd q = {p[0], POLLIN, 0};
    int ok = 0;
    if (child > 0 && poll(&q, 1, 250) == 1 && read(p[0], &ok, sizeof ok) != sizeof ok) ok = 0;
    if (child > 0) waitpid(child, NULL, 0);
    return write(1, "C:\n", 3) == 3 && ok ? 0 : 1;
}
