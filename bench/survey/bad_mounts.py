#!/usr/bin/env python3
"""The window's delay on a machine with bad mounts: FUSE filesystems whose
statfs hangs (or is slow), in a private mount namespace, against the clean
start in the same run. Each run gets freshly mounted filesystems, so every
run meets hangs nobody has waited on yet (the worst case); the programs run
interleaved, medians over the rounds.

usage: bad_mounts.py STALLFS FIRSTFRAME MORVALEN [MORVALEN...] [--rounds N]

Several MORVALEN builds (say, before and after a change) are measured side
by side. Needs root (unshare -m, mount). Build without sanitizers:
  cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVALEN_BENCH=ON
  ninja -C build/bench -j2 morvalen morvalen-firstframe morvalen-bench-stallfs"""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import xvfb  # noqa: E402

args = [a for a in sys.argv[1:]]
rounds = 5
if "--rounds" in args:
    i = args.index("--rounds")
    rounds = int(args[i + 1])
    del args[i:i + 2]
if len(args) < 3:
    sys.exit(__doc__)
stallfs, firstframe, programs = args[0], args[1], args[2:]

if os.environ.get("MORVALEN_BENCH_NAMESPACE") != "1":
    if os.geteuid() != 0:
        sys.exit("needs root for a private mount namespace")
    env = dict(os.environ, MORVALEN_BENCH_NAMESPACE="1")
    os.execvpe("unshare", ["unshare", "-m", "--propagation", "private", sys.executable, *sys.argv], env)

# (label, number of bad mounts, statfs delay in ms)
CASES = [("clean", 0, 0), ("1 hung", 1, 60000), ("5 hung", 5, 60000), ("20 hung", 20, 60000),
         ("20 slow (200 ms)", 20, 200)]

work = tempfile.mkdtemp(prefix="morvalen-bad-")
subprocess.run(["mount", "-t", "tmpfs", "tmpfs", work], check=True)
if subprocess.run(["mountpoint", "-q", "/sys/fs/fuse/connections"]).returncode != 0:
    subprocess.run(["mount", "-t", "fusectl", "fusectl", "/sys/fs/fuse/connections"])


def mount_bad(count, delay_ms):
    daemons = []
    points = []
    for i in range(count):
        point = os.path.join(work, f"bad{i:02}")
        os.makedirs(point, exist_ok=True)
        env = dict(os.environ, STALLFS_MS=str(delay_ms))
        daemons.append(subprocess.Popen([stallfs, "-f", point], env=env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL))
        points.append(point)
    for _ in range(100):
        with open("/proc/self/mountinfo") as f:
            table = f.read()
        if all(f" {p} " in table for p in points):
            return daemons, points
        time.sleep(0.05)
    sys.exit("stallfs mounts did not come up")


def unmount_bad(daemons, points):
    for d in daemons:
        d.kill()
    for d in daemons:
        d.wait()
    for p in points:
        subprocess.run(["umount", "-l", p], stderr=subprocess.DEVNULL)


def measure(env, program):
    out = subprocess.run([firstframe, "--idle", "0", "--", program], env=env, capture_output=True, text=True,
                         timeout=120)
    if out.returncode != 0:
        sys.exit(f"{program}: {out.stderr.strip()}")
    return {k: float(v) for k, v in (line.split("=") for line in out.stdout.split())}


server, display = xvfb.start_xvfb()
env = dict(os.environ, DISPLAY=display)
results = {(c[0], p): [] for c in CASES for p in programs}
try:
    for p in programs:
        measure(env, p)  # warm the file cache
    for r in range(rounds):
        for label, count, delay in CASES:
            for p in programs:
                daemons, points = mount_bad(count, delay)
                try:
                    results[(label, p)].append(measure(env, p))
                finally:
                    unmount_bad(daemons, points)
finally:
    xvfb.stop_xvfb(server)
    subprocess.run(["umount", "-l", work])
    shutil.rmtree(work, ignore_errors=True)

print(f"medians of {rounds} rounds; 'over clean' is the window's map time less the same build's clean start")
print(f"{'case':18} {'program':40} {'map ms':>8} {'frame ms':>9} {'over clean':>11}")
for p in programs:
    clean = statistics.median(x["map_ms"] for x in results[("clean", p)])
    for label, _, _ in CASES:
        rs = results[(label, p)]
        m = statistics.median(x["map_ms"] for x in rs)
        f = statistics.median(x["first_frame_ms"] for x in rs)
        print(f"{label:18} {p[-40:]:40} {m:8.1f} {f:9.1f} {m - clean:11.1f}")
print("goal: at most 300 ms over the clean start in every case")
