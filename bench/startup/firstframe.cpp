// morvalen-firstframe [--idle SECONDS] -- PROGRAM ARGS...
//
// Starts PROGRAM on $DISPLAY and measures, from just before exec:
//   map_ms          until its first top-level window is mapped;
//   first_frame_ms  until that window shows its final picture (the window
//                   is read back continuously; the final picture is what it
//                   shows once it has not changed for a second);
//   idle_cpu_ms     CPU time (user + system) it uses over the next SECONDS
//                   while nothing happens (default 5);
//   peak_rss_kb     its peak resident set size (from wait4 after SIGTERM to
//                   its process group);
//   first_frame_at  the first frame's wall-clock time in seconds since the
//                   epoch, to cut a trace of the program (strace -ttt,
//                   xtrace --timestamps) at its first frame.
// Prints them as key=value lines. No window manager should be running.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

double NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

uint64_t ImageHash(Display *dpy, Window w, bool *ok) {
    XWindowAttributes a;
    *ok = false;
    if (!XGetWindowAttributes(dpy, w, &a) || a.map_state != IsViewable) return 0;
    XImage *img = XGetImage(dpy, w, 0, 0, static_cast<unsigned>(a.width), static_cast<unsigned>(a.height),
                            AllPlanes, ZPixmap);
    if (!img) return 0;
    uint64_t h = 1469598103934665603ull;  // FNV-1a over the rows
    for (int y = 0; y < img->height; ++y) {
        const unsigned char *row = reinterpret_cast<unsigned char *>(img->data) + y * img->bytes_per_line;
        for (int i = 0; i < img->width * img->bits_per_pixel / 8; ++i) h = (h ^ row[i]) * 1099511628211ull;
    }
    h ^= static_cast<uint64_t>(a.width) << 32 | static_cast<uint64_t>(a.height);
    XDestroyImage(img);
    *ok = true;
    return h;
}

long CpuTicks(pid_t pid) {
    std::string path = "/proc/" + std::to_string(pid) + "/stat";
    FILE *f = std::fopen(path.c_str(), "r");
    if (!f) return -1;
    char buf[4096];
    size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    buf[n] = 0;
    const char *p = std::strrchr(buf, ')');  // the command name may hold spaces
    if (!p) return -1;
    // Fields after the name: state(3) ... utime(14) stime(15).
    long utime = 0, stime = 0;
    int field = 2;
    for (const char *q = p + 1; *q; ++q) {
        if (*q == ' ') {
            ++field;
            if (field == 14) utime = std::strtol(q + 1, nullptr, 10);
            if (field == 15) {
                stime = std::strtol(q + 1, nullptr, 10);
                break;
            }
        }
    }
    return utime + stime;
}

}  // namespace

int main(int argc, char **argv) {
    double idleSeconds = 5;
    int i = 1;
    for (; i < argc; ++i) {
        if (std::strcmp(argv[i], "--idle") == 0 && i + 1 < argc) {
            idleSeconds = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--") == 0) {
            ++i;
            break;
        }
    }
    if (i >= argc) {
        std::fprintf(stderr, "usage: morvalen-firstframe [--idle SECONDS] -- PROGRAM ARGS...\n");
        return 2;
    }
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "morvalen-firstframe: cannot open display\n");
        return 2;
    }
    Window root = DefaultRootWindow(dpy);
    XSelectInput(dpy, root, SubstructureNotifyMask);
    XSync(dpy, False);

    double start = NowMs();
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);  // a wrapper (strace, xtrace) ends with what it runs
        execvp(argv[i], argv + i);
        _exit(127);
    }
    setpgid(pid, pid);

    // The first top-level window it maps.
    Window w = 0;
    double mapped = 0;
    while (!w) {
        if (NowMs() - start > 10000) {
            std::fprintf(stderr, "morvalen-firstframe: no window within 10 s\n");
            kill(-pid, SIGKILL);
            return 1;
        }
        while (XPending(dpy)) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            if (ev.type == MapNotify && !ev.xmap.override_redirect && ev.xmap.event == root) {
                w = ev.xmap.window;
                mapped = NowMs();
            }
        }
        if (!w) usleep(200);
    }

    // Read the window back until it has not changed for a second.
    std::vector<std::pair<double, uint64_t>> samples;
    double lastChange = NowMs();
    uint64_t last = 0;
    while (NowMs() - lastChange < 1000) {
        bool ok = false;
        uint64_t h = ImageHash(dpy, w, &ok);
        double t = NowMs();
        if (ok) {
            if (samples.empty() || h != last) lastChange = t;
            samples.push_back({t, h});
            last = h;
        }
        usleep(250);
    }
    double firstFrame = lastChange;
    for (auto it = samples.rbegin(); it != samples.rend() && it->second == last; ++it) firstFrame = it->first;

    timespec wall{};
    clock_gettime(CLOCK_REALTIME, &wall);
    double firstFrameAt = static_cast<double>(wall.tv_sec) + static_cast<double>(wall.tv_nsec) / 1e9 -
                          (NowMs() - firstFrame) / 1000.0;

    long before = CpuTicks(pid);
    usleep(static_cast<useconds_t>(idleSeconds * 1e6));
    long after = CpuTicks(pid);
    long tick = sysconf(_SC_CLK_TCK);

    kill(-pid, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    std::printf("map_ms=%.1f\n", mapped - start);
    std::printf("first_frame_ms=%.1f\n", firstFrame - start);
    std::printf("idle_cpu_ms=%.0f\n", before < 0 || after < 0 ? -1.0 : (after - before) * 1000.0 / tick);
    std::printf("peak_rss_kb=%ld\n", usage.ru_maxrss);
    std::printf("first_frame_at=%.6f\n", firstFrameAt);
    XCloseDisplay(dpy);
    return 0;
}
