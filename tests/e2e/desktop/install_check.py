#!/usr/bin/env python3
"""`cmake --install` into a scratch prefix puts the program, the drive map,
the desktop entry and a 32x32 icon where desktops look for them.

usage: install_check.py BUILD_DIR"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile

build = sys.argv[1]
prefix = tempfile.mkdtemp(prefix="morvalen-install-")
failed = []
try:
    r = subprocess.run(["cmake", "--install", build, "--prefix", prefix], capture_output=True, text=True)
    if r.returncode != 0:
        print(f"FAIL cmake --install: {r.stderr.strip()}")
        sys.exit(1)
    for exe in ("bin/morvalen", "bin/morvalen-drives"):
        path = os.path.join(prefix, exe)
        if not (os.path.isfile(path) and os.access(path, os.X_OK)):
            failed.append(f"{exe} missing or not executable")

    desktop = os.path.join(prefix, "share/applications/morvalen.desktop")
    entries = {}
    if os.path.isfile(desktop):
        with open(desktop) as f:
            lines = f.read().splitlines()
        if not lines or lines[0] != "[Desktop Entry]":
            failed.append("desktop entry does not start with [Desktop Entry]")
        for line in lines[1:]:
            if "=" in line:
                key, value = line.split("=", 1)
                entries[key] = value
    else:
        failed.append("share/applications/morvalen.desktop missing")
    want = {"Type": "Application", "Name": "Morvalen", "Comment": "Show free space on all drives",
            "Exec": "morvalen", "Icon": "morvalen", "Categories": "System;Utility;"}
    for key, value in want.items():
        if entries.get(key) != value:
            failed.append(f"desktop entry {key}={entries.get(key)!r}, want {value!r}")

    icon = os.path.join(prefix, "share/icons/hicolor/32x32/apps/morvalen.png")
    if os.path.isfile(icon):
        with open(icon, "rb") as f:
            head = f.read(33)
        if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
            failed.append("icon is not a PNG")
        else:
            width, height, depth, colour = struct.unpack(">IIBB", head[16:26])
            if (width, height) != (32, 32):
                failed.append(f"icon is {width}x{height}")
            if colour != 6:
                failed.append("icon has no alpha channel")
    else:
        failed.append("share/icons/hicolor/32x32/apps/morvalen.png missing")
finally:
    shutil.rmtree(prefix, True)

for f in failed:
    print(f"FAIL {f}")
if not failed:
    print("PASS install layout")
sys.exit(1 if failed else 0)
