#!/usr/bin/env python3
"""Start-up of the real program as a Wayland client of its own, against the
floor program (wayland_floor.cpp) in the same run, under headless sway with
Xwayland off (started as the compositor tests start it):

  first frame  from just before exec until sway maps the window (its window
               event "new", sent when the first buffer after the first
               configure is committed: both programs draw their whole
               first picture into that buffer);
  peak RSS     its VmHWM just before SIGTERM (what it used since exec: the
               fork it came from is Python's);
  idle CPU     user and system time over 5 s of nothing happening, the
               program's own with its main window alone and again with the
               about box open (opened by a double-click through wlinput).

Several MORVALEN builds (say, before and after a change) are measured side
by side, interleaved with the floor. Build without sanitizers:
  cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVALEN_BENCH=ON
  ninja -C build/bench -j2 bench-startup-wayland

usage: wayland.py FLOOR WLINPUT MORVALEN [MORVALEN...] [--rounds N]"""

import json
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import types

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, ".."))
sys.path.insert(0, os.path.join(here, "..", "..", "tests", "e2e", "compositors"))
sys.path.insert(0, os.path.join(here, "..", "..", "tests", "e2e", "desktop"))
from cli import option  # noqa: E402
import native  # noqa: E402

args = sys.argv[1:]
rounds = int(option(args, "--rounds", "9"))
if len(args) < 3:
    sys.exit(__doc__)
floor, wlinput = (os.path.abspath(a) for a in args[:2])
builds = [os.path.abspath(a) for a in args[2:]]


def label(path):
    return "floor" if path == floor else "/".join(path.split("/")[-2:])


def cpu_ms(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) * 1000 / os.sysconf("SC_CLK_TCK")


def start(desk, program):
    """The program started and mapped: (process, ms to the map)."""
    events = subprocess.Popen(["swaymsg", "-r", "-t", "subscribe", "-m", '["window"]'], env=desk.wl_env,
                              stdout=subprocess.PIPE, text=True)
    time.sleep(0.2)  # subscribed
    env = dict(desk.wl_env)
    env.pop("DISPLAY", None)
    begin = time.monotonic()
    proc = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        for line in events.stdout:
            event = json.loads(line)
            if event.get("change") == "new" and event["container"].get("pid") == proc.pid:
                return proc, (time.monotonic() - begin) * 1000
        sys.exit(f"{program}: sway never mapped its window")
    finally:
        events.terminate()
        events.wait()


def stop(proc):
    """Ends the program; its peak resident memory in KiB."""
    with open(f"/proc/{proc.pid}/status") as f:
        peak = next(int(line.split()[1]) for line in f if line.startswith("VmHWM:"))
    proc.send_signal(signal.SIGTERM)
    proc.wait()
    return peak


def idle(proc, seconds=5):
    before = cpu_ms(proc.pid)
    time.sleep(seconds)
    return cpu_ms(proc.pid) - before


with tempfile.TemporaryDirectory(prefix="morvalen-bench-wayland-") as tmp:
    desk = native.NativeSway(tmp)
    desk.wlinput = wlinput
    # Every window floats at the size its program gives it: the floor's is
    # fixed, and the program's tiled would be the whole output.
    desk.config = "for_window [title=\".*\"] floating enable\n"
    desk.start()
    try:
        results = {label(p): [] for p in [floor, *builds]}
        for p in [floor, *builds]:  # warm the file cache (and the face cache)
            proc, _ = start(desk, p)
            time.sleep(0.3)
            stop(proc)
        for _ in range(rounds):
            for p in [floor, *builds]:
                proc, frame = start(desk, p)
                time.sleep(0.3)
                results[label(p)].append((frame, stop(proc)))
        desk.start_input()
        time.sleep(0.5)
        idles = {}
        for p in builds:
            proc, _ = start(desk, p)
            time.sleep(1.0)
            main_alone = idle(proc)
            rect = desk.around(types.SimpleNamespace(proc=proc))
            x, y = rect[0] + native.ROW[0], rect[1] + native.ROW[1]
            desk.move(x, y)
            desk.move(x + 1, y)
            time.sleep(0.1)
            desk.click(x + 1, y, 2)
            time.sleep(1.0)
            shot = desk.screen(os.path.join(tmp, "box.ppm"))
            opened = native.red_box(shot) is not None
            box_open = idle(proc)
            idles[label(p)] = (main_alone, box_open if opened else None)
            stop(proc)
    finally:
        desk.stop()

print(f"headless sway, Xwayland off: medians of {rounds} rounds")
print(f"{'':32} {'frame ms':>9} {'frame min':>9} {'peak RSS':>10} {'frame x floor':>14} {'peak x floor':>13}")
fl_frame = statistics.median(f for f, _ in results["floor"])
fl_peak = max(r for _, r in results["floor"])
for name, rs in results.items():
    frame = statistics.median(f for f, _ in rs)
    peak = max(r for _, r in rs)
    print(f"{name[-32:]:32} {frame:9.1f} {min(f for f, _ in rs):9.1f} {peak / 1024:6.2f} MiB "
          f"{frame / fl_frame:14.2f} {peak / fl_peak:13.2f}")
print(f"{'goal':32} {'':9} {'':9} {'':10} {'<= 1.25':>14} {'<= 1.15':>13}")
print("\nidle CPU over 5 s")
for name, (alone, box) in idles.items():
    print(f"{name[-32:]:32} main window {alone:5.0f} ms, about box open "
          + (f"{box:5.0f} ms" if box is not None else "(the box did not open)"))
