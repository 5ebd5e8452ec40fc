#!/usr/bin/env python3
"""Every C and C++ file of the project is as clang-format leaves it with the
repository's .clang-format; lists the files it would change and how many
places in each.

usage: format_check.py SOURCE_DIR CLANG_FORMAT
Exit 0 when nothing would change, 1 otherwise, 77 without clang-format."""

import os
import shutil
import subprocess
import sys

root = os.path.abspath(sys.argv[1])
tool = shutil.which(sys.argv[2]) if len(sys.argv) > 2 else None
if not tool:
    print("SKIPPED: clang-format is not installed")
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
