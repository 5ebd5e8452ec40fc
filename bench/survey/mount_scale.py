#!/usr/bin/env python3
"""morvalen-drives against `df -B1 -l` and `findmnt` as the mount table grows:
10, 100, 1,000 and 10,000 entries, made of bind mounts of distinct
directories of the root filesystem in a private mount namespace. Each size
runs in several hyperfine rounds whose command order rotates, so all the
commands see the same machine; the figures are medians over every run.

usage: mount_scale.py MORVALEN_DRIVES [PROGRAM...] [--rounds N] [--runs N]
                      [--sizes 10,100,1000,10000] [--strace]

Further programs (another build of the tool, an empty static program as
the floor of any static tool, morvalen-bench-helper-floor as the floor of
any survey with one helper process) are measured in the same run, each named
by its file name. --strace also counts each tool's system calls (all / failed).
Needs root and hyperfine. Build without sanitizers (a static tool):
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVALEN_TESTS=OFF
  ninja -C build-bench morvalen-drives"""

import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import mountns  # noqa: E402
from cli import option  # noqa: E402

args = sys.argv[1:]


rounds = int(option(args, "--rounds", "5"))
runs = int(option(args, "--runs", "10"))
sizes = [int(s) for s in option(args, "--sizes", "10,100,1000,10000").split(",")]
trace = "--strace" in args
if trace:
    args.remove("--strace")
if not args:
    sys.exit(__doc__)
tools = [os.path.abspath(a) for a in args]

if not shutil.which("hyperfine"):
    sys.exit("needs hyperfine")
base = mountns.enter()


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
        if mountns.entries() > n:
            print(f"(the table already has {mountns.entries()} entries; size {n} is measured at that)")
        mountns.grow_to(n)
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
        report.append((n, mountns.entries(), med, {t: syscalls(t) for t in tools} if trace else {}))
finally:
    mountns.cleanup()

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
