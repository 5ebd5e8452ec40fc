#!/usr/bin/env python3
"""Start-up to the first painted frame, peak memory and idle CPU of the real
program, against xmessage in the same run, on a private Xvfb.

usage: startup.py FIRSTFRAME MORVALEN [MORVALEN...] [--rounds N] [--mounts 10,10000]

Several MORVALEN builds (say, before and after a change) are measured side
by side, interleaved with xmessage, each named by the last two parts of its
path; morvalen-bench-startup-floor (floor.cpp), given as one of them, shows
the least peak memory a program linking what Morvalen must can have. --mounts measures them all again at each size of the mount table, in a
private mount namespace grown with bind mounts (needs root); the first size
is the clean start the others are compared with. Build without sanitizers
for meaningful numbers:
  cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVALEN_BENCH=ON
  ninja -C build/bench -j2 bench-startup"""

import os
import statistics
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, ".."))
sys.path.insert(0, os.path.join(here, "..", "..", "scripts"))
import mountns  # noqa: E402
from cli import option  # noqa: E402
import xvfb  # noqa: E402

args = sys.argv[1:]


rounds = int(option(args, "--rounds", "7"))
mounts = option(args, "--mounts", "")
sizes = [int(s) for s in mounts.split(",")] if mounts else [None]
if len(args) < 2:
    sys.exit(__doc__)
firstframe = os.path.abspath(args[0])
builds = [os.path.abspath(a) for a in args[1:]]
if mounts:
    mountns.enter()


def label(path):
    return "/".join(path.split("/")[-2:])


def measure(env, cmd, idle):
    out = subprocess.run([firstframe, "--idle", str(idle), "--", *cmd], env=env, capture_output=True, text=True,
                         timeout=60)
    if out.returncode != 0:
        sys.exit(f"{cmd[0]}: {out.stderr.strip()}")
    return {k: float(v) for k, v in (line.split("=") for line in out.stdout.split())}


server, display = xvfb.start_xvfb(extra=("-br",))
env = dict(os.environ, DISPLAY=display)
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
print("goals: first frame at most 0.5 x xmessage's, at most 2 x the clean start at 10,000 entries; "
      "peak RSS at most xmessage's")
