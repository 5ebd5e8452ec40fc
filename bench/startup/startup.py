#!/usr/bin/env python3
"""Start-up to the first painted frame, peak memory and idle CPU of the real
program, against xmessage in the same run, on a private Xvfb.

usage: startup.py FIRSTFRAME MORVALEN [MORVALEN...] [--rounds N] [--traced N] [--mounts 10,10000]
                  [--scales 1,1.5,2]

Several MORVALEN builds (say, before and after a change) are measured side
by side, interleaved with xmessage, each named by the last two parts of its
path; morvalen-bench-startup-floor (floor.cpp), given as one of them and
named "floor", is the least a program linking what Morvalen must can do.
--mounts measures them all again at each size of the mount table, in a
private mount namespace grown with bind mounts (needs root); the first size
is the clean start the others are compared with. --scales measures each
build at each display scale (MORVALEN_SCALE), named "build@scale", on a
screen large enough for all of them, and sets the cost of each scale beside
that of 2x and of the first build at 1x.

Then each program runs --traced times (3) under strace and once under
xtrace (when they are installed: apt-get install strace xtrace), and the
system calls, failing calls, waits for the X server and X replies up to its
first frame are counted (counts.py), with the goals' ratios against the
floor and xmessage. Build without sanitizers for meaningful numbers:
  cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVALEN_BENCH=ON
  ninja -C build/bench -j2 bench-startup"""

import contextlib
import itertools
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, ".."))
sys.path.insert(0, os.path.join(here, "..", "..", "scripts"))
import counts  # noqa: E402
import mountns  # noqa: E402
from cli import option  # noqa: E402
import xvfb  # noqa: E402

args = sys.argv[1:]


rounds = int(option(args, "--rounds", "7"))
traced_runs = int(option(args, "--traced", "3"))
mounts = option(args, "--mounts", "")
display_scales = [v for v in option(args, "--scales", "").split(",") if v]
sizes = [int(s) for s in mounts.split(",")] if mounts else [None]
if len(args) < 2:
    sys.exit(__doc__)
firstframe = os.path.abspath(args[0])
builds = [os.path.abspath(a) for a in args[1:]]
if mounts:
    mountns.enter()


def label(path):
    if path.endswith("/morvalen-bench-startup-floor"):
        return "floor"
    return "/".join(path.split("/")[-2:])


def measure(env, cmd, idle):
    if isinstance(cmd, tuple):  # (command, environment of its own)
        cmd, env = cmd
    out = subprocess.run([firstframe, "--idle", str(idle), "--", *cmd], env=env, capture_output=True, text=True,
                         timeout=60)
    if out.returncode != 0:
        sys.exit(f"{cmd[0]}: {out.stderr.strip()}")
    return {k: float(v) for k, v in (line.split("=") for line in out.stdout.split())}


def free_display():
    n = 200
    while os.path.exists(f"/tmp/.X11-unix/X{n}") or os.path.exists(f"/tmp/.X{n}-lock"):
        n += 1
    return f":{n}"


logs = itertools.count()


def count(env, cmd, work):
    """Runs under strace (the median one of `traced_runs` by waits, then
    calls: how often a reply is already there differs from run to run) and
    one under xtrace, counted to the first frame."""
    if isinstance(cmd, tuple):
        cmd, env = cmd
    runs = []
    for _ in range(traced_runs):
        log = os.path.join(work, f"{next(logs)}.log")
        frame = measure(env, ["strace", "-f", "-ttt", "-qq", "-o", log, "--", *cmd], 0)["first_frame_at"]
        runs.append(counts.syscalls(log, frame))
    traced = sorted(runs, key=lambda r: (r.x_waits, r.calls))[len(runs) // 2]
    log = os.path.join(work, f"{next(logs)}.log")
    proxy = free_display()
    try:
        frame = measure(env, ["xtrace", "-n", "--timestamps", "-d", env["DISPLAY"], "-D", proxy, "-o", log, "--",
                              *cmd], 0)["first_frame_at"]
    finally:  # ended by a signal, xtrace leaves its socket behind
        with contextlib.suppress(FileNotFoundError):
            os.unlink(f"/tmp/.X11-unix/X{proxy[1:]}")
    return traced, counts.replies(log, frame)


server, display = xvfb.start_xvfb(*(("3840x2160x24",) if display_scales else ()), extra=("-br",))
env = {k: v for k, v in os.environ.items() if k not in ("MORVALEN_SCALE", "GDK_SCALE")}
env["DISPLAY"] = display
if display_scales:
    programs = {f"{label(b)}@{v}": ([b], dict(env, MORVALEN_SCALE=v)) for b in builds for v in display_scales}
else:
    programs = {label(b): [b] for b in builds}
programs["xmessage"] = ["xmessage", "-center", "Free space on all drives"]
report = []
try:
    for k, size in enumerate(sizes):
        if size is not None:
            mountns.grow_to(size)
        results = {name: [] for name in programs}
        # Warm the file cache (and any cache of the program's) once each,
        # then alternate so all see the same machine.
        for cmd in programs.values():
            measure(env, cmd, 0)
        for r in range(rounds):
            for name, cmd in programs.items():
                results[name].append(measure(env, cmd, 5 if r == 0 and k == 0 else 0))
        report.append((mountns.entries() if size is not None else None, results))
    missing = [tool for tool in ("strace", "xtrace") if not shutil.which(tool)]
    traced = {}
    if not missing:
        with tempfile.TemporaryDirectory(prefix="morvalen-startup-") as work:
            traced = {name: count(env, cmd, work) for name, cmd in programs.items()}
finally:
    xvfb.stop_xvfb(server)
    if mounts:
        mountns.cleanup()


def med(rs, key):
    return statistics.median(x[key] for x in rs)


clean = {}
for entries, results in report:
    where = f"{entries} mount entries" if entries is not None else "this machine's mount table"
    print(f"{where}: medians of {rounds} rounds")
    print(f"{'':32} {'map ms':>8} {'frame ms':>9} {'frame min':>9} {'peak RSS':>10} {'x xmessage':>10}"
          f"{' idle CPU 5 s' if not clean else ' x clean':>13}")
    xm = med(results["xmessage"], "first_frame_ms")
    for name, rs in results.items():
        frame = med(rs, "first_frame_ms")
        last = f"{rs[0]['idle_cpu_ms']:10.0f} ms" if not clean else \
            (f"{frame / clean[name]:13.2f}" if name in clean else "")
        print(f"{name[-32:]:32} {med(rs, 'map_ms'):8.1f} {frame:9.1f} {min(x['first_frame_ms'] for x in rs):9.1f} "
              f"{max(x['peak_rss_kb'] for x in rs) / 1024:6.2f} MiB {frame / xm:10.2f} {last}")
    if not clean:
        clean = {name: med(rs, "first_frame_ms") for name, rs in results.items()}
print("goal: first frame at most 2 x the clean start at 10,000 entries")
if display_scales:
    first = label(builds[0])
    frames = {name: med(rs, "first_frame_ms") for name, rs in report[0][1].items()}
    print(f"\nfirst frame by display scale, medians; goal: at 1.5 at most 1.1 x at 2, at 1 no more than "
          f"{first}@1")
    print(f"{'':32} {'frame ms':>9} {'x at 2':>7} {'x ' + first + '@1':>16}")
    for name, frame in frames.items():
        if "@" not in name:
            continue
        build = name.rsplit("@", 1)[0]
        at2 = frames.get(f"{build}@2")
        print(f"{name[-32:]:32} {frame:9.1f} {frame / at2 if at2 else float('nan'):7.2f} "
              f"{frame / frames[first + '@1'] if first + '@1' in frames else float('nan'):16.2f}")

clean = report[0][1]
floor = "floor" if "floor" in clean else None
if missing:
    print(f"no counts to the first frame: {' and '.join(missing)} not installed")
else:
    print(f"\nto the first frame, median of {traced_runs} traced runs each: system calls (threads and helper "
          "processes included), failing calls, waits for the X server, X replies")
    print(f"{'':32} {'calls':>6} {'failing':>8} {'X waits':>8} {'replies':>8}  most failing")
    for name, (sc, rp) in traced.items():
        most = ", ".join(f"{k} {v}" for k, v in sc.failing.most_common(3))
        print(f"{name[-32:]:32} {sc.calls:6d} {sc.failed:8d} {sc.x_waits:8d} {sum(rp.values()):8d}  {most}")
    for name, (sc, rp) in traced.items():
        print(f"  {name[-32:]} replies: " + ", ".join(f"{k} {v}" for k, v in rp.most_common()))
if floor:
    print("\ngoals against the floor and xmessage, same run")
    print(f"{'':32} {'frame x floor':>14} {'x xmessage':>11} {'peak x floor':>13} {'X waits x floor':>16}"
          f" {'(frame min x floor)':>20}")
    xm = med(clean["xmessage"], "first_frame_ms")
    fl_frame = med(clean[floor], "first_frame_ms")
    fl_min = min(x["first_frame_ms"] for x in clean[floor])
    fl_peak = max(x["peak_rss_kb"] for x in clean[floor])
    fl_waits = traced[floor][0].x_waits if traced else 0
    print(f"{'goal':32} {'<= 1.25':>14} {'<= 0.50':>11} {'<= 1.15':>13} {'<= 2.0':>16}")
    for name, rs in clean.items():
        if name in (floor, "xmessage"):
            continue
        frame = med(rs, "first_frame_ms")
        waits = f"{traced[name][0].x_waits / fl_waits:16.2f}" if fl_waits else f"{'-':>16}"
        print(f"{name[-32:]:32} {frame / fl_frame:14.2f} {frame / xm:11.2f} "
              f"{max(x['peak_rss_kb'] for x in rs) / fl_peak:13.2f} {waits}"
              f" {min(x['first_frame_ms'] for x in rs) / fl_min:20.2f}")
