#!/usr/bin/env python3
"""`cmake --install` into a scratch prefix puts the programs, the desktop
entry, the AppStream metadata, the man pages and the icons where desktops
look for them, and their validators accept them.

usage: install_check.py BUILD_DIR"""

import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import installed  # noqa: E402

build = sys.argv[1]
prefix = tempfile.mkdtemp(prefix="morvalen-install-")
try:
    r = subprocess.run(["cmake", "--install", build, "--prefix", prefix], capture_output=True, text=True)
    if r.returncode != 0:
        print(f"FAIL cmake --install: {r.stderr.strip()}")
        sys.exit(1)
    failed = installed.check_tree(prefix)
finally:
    shutil.rmtree(prefix, True)

for f in failed:
    print(f"FAIL {f}")
if not failed:
    print("PASS install layout")
sys.exit(1 if failed else 0)
