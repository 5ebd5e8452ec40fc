"""A private mount namespace whose mount table the benchmarks grow to a
given number of entries with bind mounts of distinct directories of the
root filesystem.

enter() re-runs the calling script inside a new private namespace (needs
root) and, once inside, trims the namespace's copy of the table to the
system's own mounts (/, /proc, /sys, /dev and theirs) so that even the
smallest size can be reached. grow_to(n) adds mounts until the table has n
entries; cleanup() takes them down again."""

import ctypes
import os
import shutil
import sys
import tempfile

_libc = ctypes.CDLL(None, use_errno=True)
_MS_BIND = 4096
_MNT_DETACH = 2
_KEEP = ("/proc", "/sys", "/dev", "/mnt/sandboxing")
_made = []
_work = None


def entries():
    with open("/proc/self/mountinfo") as f:
        return sum(1 for _ in f)


def enter():
    """Returns inside the namespace with the table trimmed: the entries left."""
    global _work
    if os.environ.get("MORVALEN_BENCH_NAMESPACE") != "1":
        if os.geteuid() != 0:
            sys.exit("needs root for a private mount namespace")
        env = dict(os.environ, MORVALEN_BENCH_NAMESPACE="1")
        os.execvpe("unshare", ["unshare", "-m", "--propagation", "private", sys.executable, *sys.argv], env)
    with open("/proc/self/mountinfo") as f:
        points = [line.split()[4] for line in f]
    for p in reversed(points):
        if p != "/" and not any(p == k or (p.startswith(k + "/") and not p.startswith("/sys/fs/cgroup"))
                                for k in _KEEP):
            _libc.umount2(p.encode(), _MNT_DETACH)
    _work = tempfile.mkdtemp(prefix="morvalen-mounts-", dir="/var/tmp")
    return entries()


def grow_to(n):
    while entries() < n:
        for _ in range(n - entries()):
            d = os.path.join(_work, f"d{len(_made):05}").encode()
            os.mkdir(d)
            if _libc.mount(d, d, None, _MS_BIND, None) != 0:
                sys.exit(f"bind mount failed: {os.strerror(ctypes.get_errno())}")
            _made.append(d)


def cleanup():
    for d in reversed(_made):
        _libc.umount2(d, _MNT_DETACH)
    _made.clear()
    if _work:
        shutil.rmtree(_work, ignore_errors=True)
