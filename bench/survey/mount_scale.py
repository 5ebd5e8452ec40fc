#!/usr/bin/env python3
"""morvalen-drives against `df -B1 -l` and `findmnt` as the mount table grows:
10, 100, 1,000 and 10,000 entries, made of bind mounts of distinct
directories of the root filesystem in a private mount namespace. Each size
runs in several hyperfine rounds whose command order rotates, so all the
commands see the same machine; the figures are medians over every run.

usage: mount_scale.py MORVALEN_DRIVES [PROGRAM...] [--rounds N] [--runs N]
                      [--sizes 10,100,1000,10000] [--strace]

Further programs (another build of the tool, an empty static program as
the floor of any static tool) are measured in the same run, each named by its
file name. --strace also counts each tool's system calls (all / failed).
Needs root and hyperfine. Build without sanitizers (a static tool):
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVALEN_TESTS=OFF
  ninja -C build-bench morvalen-drives"""

import ctypes
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

args = sys.argv[1:]


def option(name, default):
    if name in args:
        i = args.index(name)
        value = args[i + 1]
        del args[i:i + 2]
        return value
    return default


rounds = int(option("--rounds", "5"))
runs = int(option("--runs", "10"))
sizes = [int(s) for s in option("--sizes", "10,100,1000,10000").split(",")]
trace = "--strace" in args
if trace:
    args.remove("--strace")
if not args:
    sys.exit(__doc__)
tools = [os.path.abspath(a) for a in args]

if os.environ.get("MORVALEN_BENCH_NAMESPACE") != "1":
    if os.geteuid() != 0:
        sys.exit("needs root for a private mount namespace")
    if not shutil.which("hyperfine"):
        sys.exit("needs hyperfine")
    env = dict(os.environ, MORVALEN_BENCH_NAMESPACE="1")
    os.execvpe("unshare", ["unshare", "-m", "--propagation", "private", sys.executable, *sys.argv], env)



libc = ctypes.CDLL(None, use_errno=True)
MS_BIND = 4096
MNT_DETACH = 2


def entries():
    with open("/proc/self/mountinfo") as f:
        return sum(1 for _ in f)


# The namespace's own copy of the table: drop all but the system's own
# mounts (/, /proc, /sys, /dev and theirs) so that even the smallest size can
# be reached.
KEEP = ("/proc", "/sys", "/dev", "/mnt/sandboxing")
with open("/proc/self/mountinfo") as f:
    points = [line.split()[4] for line in f]
for p in reversed(points):
    if p != "/" and not any(p == k or (p.startswith(k + "/") and not p.startswith("/sys/fs/cgroup"))
                            for k in KEEP):
        libc.umount2(p.encode(), MNT_DETACH)
base = entries()
work = tempfile.mkdtemp(prefix="morvalen-scale-", dir="/var/tmp")
made = []


def grow_to(n):
    while entries() < n:
        want = n - entries()
        for _ in range(want):
            d = os.path.join(work, f"d{len(made):05}").encode()
            os.mkdir(d)
            if libc.mount(d, d, None, MS_BIND, None) != 0:
                sys.exit(f"bind mount failed: {os.strerror(ctypes.get_errno())}")
            made.append(d)


def label(t):
    return os.path.basename(t)


def syscalls(tool):
    out = subprocess.run(["strace", "-f", "-c", "-o", "/dev/stdout", tool], capture_output=True, text=True)
    m = re.search(r"^\s*100\.00\s+\S+\s+\S+\s+(\d+)\s+(\d*)\s+total", out.stdout, re.M)
    return (int(m.group(1)), int(m.group(2) or 0)) if m else (0, 0)


commands = tools + ["df -B1 -l", "findmnt"]
report = []
try:
    for n in sizes:
        if entries() > n:
            print(f"(the table already has {entries()} entries; size {n} is measured at that)")
        grow_to(n)
        times = {c: [] for c in commands}
        for r in range(rounds):
            order = commands[r % len(commands):] + commands[:r % len(commands)]
            with tempfile.NamedTemporaryFile(suffix=".json") as j:
                subprocess.run(["hyperfine", "-N", "-i", "--style", "none", "--warmup", "2", "--runs", str(runs),
                                "--export-json", j.name, *order], check=True, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
                for res in json.load(open(j.name))["results"]:
                    times[res["command"]].extend(res["times"])
        med = {c: statistics.median(times[c]) * 1000 for c in commands}
        report.append((n, entries(), med, {t: syscalls(t) for t in tools} if trace else {}))
finally:
    for d in reversed(made):
        libc.umount2(d, MNT_DETACH)
    shutil.rmtree(work, ignore_errors=True)

print(f"medians of {rounds} rounds x {runs} runs, ms per run (base table: {base} entries)")
head = f"{'entries':>8}" + "".join(f" {label(t)[-28:]:>28} {'x df':>5}" for t in tools) + \
    f" {'df -B1 -l':>10} {'findmnt':>8}"
print(head)
for n, got, med, calls in report:
    df = med["df -B1 -l"]
    line = f"{got:8}" + "".join(f" {med[t]:28.2f} {med[t] / df:5.2f}" for t in tools)
    print(line + f" {df:10.2f} {med['findmnt']:8.2f}")
if trace:
    print("system calls (all / failed)")
    for n, got, med, calls in report:
        print(f"{got:8}" + "".join(f" {label(t)[-28:]:>28} {calls[t][0]:>8} / {calls[t][1]}" for t in tools))
print("goal: at most 0.5 x df at 10 and 100 entries, at most 1 x at 10,000")
