#!/usr/bin/env python3
"""Every C and C++ file of the project is as clang-format leaves it with the
repository's .clang-format; lists the files it would change and how many
places in each.

Versions of clang-format format some constructs differently whatever the
options, so the check runs only with a major version that .clang-format
names on its "# Checked with:" line (CLANG_FORMAT, else clang-format-N),
and is skipped with the reason under any other.

usage: format_check.py SOURCE_DIR CLANG_FORMAT
Exit 0 when nothing would change, 1 otherwise, 77 without a named version."""

import os
import re
import shutil
import subprocess
import sys

root = os.path.abspath(sys.argv[1])
given = sys.argv[2] if len(sys.argv) > 2 else "clang-format"
with open(os.path.join(root, ".clang-format")) as f:
    named = re.search(r"^# Checked with:(.*)$", f.read(), re.M)
versions = named.group(1).split() if named else []
if not versions:
    print("FAIL .clang-format names no version to check with (# Checked with: N ...)")
    sys.exit(1)


def major(path):
    r = subprocess.run([path, "--version"], capture_output=True, text=True)
    found = re.search(r"version (\d+)\.", r.stdout)
    return found.group(1) if found else "?"


tool = None
seen = []
for name in [given] + [f"clang-format-{v}" for v in versions]:
    path = shutil.which(name)
    if path and path not in (p for p, _ in seen):
        seen.append((path, major(path)))
        if seen[-1][1] in versions:
            tool = path
            break
if not tool:
    have = ", ".join(f"{os.path.basename(p)} {v}" for p, v in seen) or "no clang-format"
    print(f"SKIPPED: {have} here; the format is checked with clang-format {' or '.join(versions)} "
          "(.clang-format), as other versions format some code differently")
    sys.exit(77)

SKIP_DIRS = {".git", "build", ".cache"}
files = []
for dirpath, dirs, names in os.walk(root):
    dirs[:] = sorted(d for d in dirs if d not in SKIP_DIRS and not d.startswith("build"))
    files += [os.path.join(dirpath, n) for n in sorted(names) if n.endswith((".c", ".cpp", ".h"))]

changed = {}
for path in files:
    r = subprocess.run([tool, "--dry-run", "--style=file", path], capture_output=True, text=True, cwd=root)
    count = r.stderr.count("warning:")
    if r.returncode != 0 and count == 0:
        print(f"FAIL {tool} on {path}: {r.stderr.strip()}")
        sys.exit(1)
    if count:
        changed[os.path.relpath(path, root)] = count

for rel, count in changed.items():
    print(f"FAIL {rel}: {count} places clang-format would change")
total = sum(changed.values())
print(f"{'FAIL' if changed else 'PASS'} format: {len(files)} files, {total} changes in {len(changed)} files")
sys.exit(1 if changed or not files else 0)
