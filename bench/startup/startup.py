#!/usr/bin/env python3
"""Start-up to the first painted frame, peak memory and idle CPU of the real
program, against xmessage in the same run, on a private Xvfb.

usage: startup.py MORVALEN FIRSTFRAME [ROUNDS]

Build it without sanitizers for meaningful numbers:
  cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVALEN_BENCH=ON
  ninja -C build/bench -j2 bench-startup"""

import os
import statistics
import subprocess
import sys
import time

morvalen, firstframe = sys.argv[1], sys.argv[2]
rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 7


def start_xvfb():
    for n in range(190, 230):
        if os.path.exists(f"/tmp/.X{n}-lock") or os.path.exists(f"/tmp/.X11-unix/X{n}"):
            continue
        proc = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset", "-br"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(50):
            if os.path.exists(f"/tmp/.X11-unix/X{n}"):
                return proc, f":{n}"
            time.sleep(0.1)
        proc.kill()
    sys.exit("no private X server")


def measure(env, cmd, idle):
    out = subprocess.run([firstframe, "--idle", str(idle), "--", *cmd], env=env, capture_output=True, text=True,
                         timeout=60)
    if out.returncode != 0:
        sys.exit(f"{cmd[0]}: {out.stderr.strip()}")
    return {k: float(v) for k, v in (line.split("=") for line in out.stdout.split())}


xvfb, display = start_xvfb()
env = dict(os.environ, DISPLAY=display)
try:
    programs = {
        "morvalen": [morvalen],
        "xmessage": ["xmessage", "-center", "Free space on all drives"],
    }
    results = {name: [] for name in programs}
    # Warm the file cache once each, then alternate so both see the same machine.
    for cmd in programs.values():
        measure(env, cmd, 0)
    for r in range(rounds):
        for name, cmd in programs.items():
            results[name].append(measure(env, cmd, 5 if r == 0 else 0))
    print(f"{'':10} {'map ms':>8} {'frame ms':>9} {'frame min':>9} {'peak RSS':>10} {'idle CPU 5 s':>13}")
    for name, rs in results.items():
        frame = statistics.median(x["first_frame_ms"] for x in rs)
        print(f"{name:10} {statistics.median(x['map_ms'] for x in rs):8.1f} {frame:9.1f} "
              f"{min(x['first_frame_ms'] for x in rs):9.1f} {max(x['peak_rss_kb'] for x in rs) / 1024:7.2f} MiB "
              f"{rs[0]['idle_cpu_ms']:10.0f} ms")
    ratio = statistics.median(x["first_frame_ms"] for x in results["morvalen"]) / statistics.median(
        x["first_frame_ms"] for x in results["xmessage"])
    print(f"first frame, morvalen / xmessage (medians of {rounds}): {ratio:.2f}")
finally:
    xvfb.kill()
    xvfb.wait()
