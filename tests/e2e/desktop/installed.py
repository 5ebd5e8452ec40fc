"""Checks of an installed Morvalen under a root directory, shared by the
`cmake --install` check and the Debian package check: the programs, a
desktop entry and AppStream metadata that their validators accept, the man
pages, and the icon in every hicolor size, scaled from the 32x32 picture
by nearest neighbour."""

import gzip
import os
import re
import struct
import subprocess
import zlib

ICON_SIZES = (32, 48, 64, 128)
METAINFO = "share/metainfo/org.example.morvalen.metainfo.xml"


def read_png_rgba(path):
    """(width, height, rows of RGBA tuples) of an 8-bit RGBA PNG, or a
    string saying why it is not one."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return "not a PNG"
    pos, idat, head = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            head = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    if not head or head[2:5] != (8, 6, 0) or head[6] != 0:
        return "not an 8-bit RGBA PNG"
    w, h = head[0], head[1]
    raw = zlib.decompress(idat)
    stride = w * 4
    rows, prev = [], bytearray(stride)
    for y in range(h):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b = prev[i]
            c = prev[i - 4] if i >= 4 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 0xFF
        rows.append([tuple(line[x * 4:x * 4 + 4]) for x in range(w)])
        prev = line
    return w, h, rows


def run_quiet(args):
    """The tool's combined output, or a note that it failed or is missing."""
    try:
        r = subprocess.run(args, capture_output=True, text=True, timeout=60)
    except (OSError, subprocess.TimeoutExpired) as e:
        return f"{args[0]}: {e}"
    out = (r.stdout + r.stderr).strip()
    return out if r.returncode == 0 else f"exit {r.returncode}: {out}"


def appstream_findings(metainfo):
    """What appstreamcli's pedantic validation finds in the metainfo file:
    "" when it is clean. The <developer> element came with AppStream 1.0,
    whose validators want it; an older validator (Debian 12 has 0.16)
    notes that it does not know the tag, and only that is forgiven."""
    out = run_quiet(["appstreamcli", "validate", "--no-net", "--pedantic", metainfo])
    version = run_quiet(["appstreamcli", "--version"])
    found = re.search(r"version: (\d+)\.", version)
    lines = out.splitlines()
    if found and int(found.group(1)) < 1 and not out.startswith("exit"):
        lines = [line for line in lines if not re.fullmatch(r"I: [\w.]+:\d+: unknown-tag developer", line)]
        if lines and lines[-1].startswith("\u2714 Validation was successful"):
            lines = [line for line in lines[:-1] if line.strip()] + ["\u2714 Validation was successful."]
    if len(lines) == 1 and lines[0] == "\u2714 Validation was successful.":
        return ""
    return out


def lost_output_failures(morvalen, drives):
    """Failures of the programs' answers to notice output that is lost: each
    written to a full device and to a closed standard output must say
    "write error" on standard error and exit non-zero."""
    failed = []
    runs = [[morvalen, "--help"], [morvalen, "--version"], [drives], [drives, "--version"]]
    for args in runs:
        name = " ".join([os.path.basename(args[0])] + args[1:])
        with open("/dev/full", "wb") as full:
            r = subprocess.run(args, stdout=full, stderr=subprocess.PIPE, text=True, timeout=30)
        if r.returncode == 0 or "write error" not in r.stderr:
            failed.append(f"{name} to /dev/full: exit {r.returncode}, stderr {r.stderr.strip()!r}")
        r = subprocess.run(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, timeout=30,
                           preexec_fn=lambda: os.close(1))
        if r.returncode == 0 or "write error" not in r.stderr:
            failed.append(f"{name} to a closed stdout: exit {r.returncode}, stderr {r.stderr.strip()!r}")
    return failed


def check_tree(prefix, run_drives=True):
    """Failures of the installation under `prefix` (the directory that holds
    bin/ and share/)."""
    failed = []
    for exe in ("bin/morvalen", "bin/morvalen-drives"):
        path = os.path.join(prefix, exe)
        if not (os.path.isfile(path) and os.access(path, os.X_OK)):
            failed.append(f"{exe} missing or not executable")
    # The program looks for its accessibility plugin here, beside bin/.
    if not os.path.isfile(os.path.join(prefix, "lib/morvalen/morvalen-a11y.so")):
        failed.append("lib/morvalen/morvalen-a11y.so missing")
    drives = os.path.join(prefix, "bin/morvalen-drives")
    if run_drives and os.access(drives, os.X_OK):
        r = subprocess.run([drives], capture_output=True, text=True, timeout=30)
        if r.returncode != 0 or not r.stdout.startswith("C:\t"):
            failed.append(f"morvalen-drives: exit {r.returncode}, output {r.stdout[:60]!r}")
        r = subprocess.run([drives, "--version"], capture_output=True, text=True, timeout=30)
        if (r.returncode, r.stdout) != (0, "Morvalen 1.12\n"):
            failed.append(f"morvalen-drives --version: exit {r.returncode}, {r.stdout!r}")
        failed += lost_output_failures(os.path.join(prefix, "bin/morvalen"), drives)

    desktop = os.path.join(prefix, "share/applications/morvalen.desktop")
    if os.path.isfile(desktop):
        out = run_quiet(["desktop-file-validate", desktop])
        if out:
            failed.append(f"desktop-file-validate: {out}")
        with open(desktop) as f:
            entries = dict(line.split("=", 1) for line in f.read().splitlines()[1:] if "=" in line)
        want = {"Type": "Application", "Name": "Morvalen", "Exec": "morvalen", "Icon": "morvalen",
                "Categories": "Utility;", "Keywords": "disk;free space;drives;storage;"}
        for key, value in want.items():
            if entries.get(key) != value:
                failed.append(f"desktop entry {key}={entries.get(key)!r}, want {value!r}")
    else:
        failed.append("share/applications/morvalen.desktop missing")

    metainfo = os.path.join(prefix, METAINFO)
    if os.path.isfile(metainfo):
        out = appstream_findings(metainfo)
        if out:
            failed.append(f"appstreamcli validate: {out}")
    else:
        failed.append(f"{METAINFO} missing")

    for page in ("morvalen", "morvalen-drives"):
        base = os.path.join(prefix, "share/man/man1", page + ".1")
        path = base if os.path.isfile(base) else base + ".gz"
        if not os.path.isfile(path):
            failed.append(f"man page {page}(1) missing")
            continue
        opener = gzip.open if path.endswith(".gz") else open
        with opener(path, "rt") as f:
            text = f.read()
        sections = set(re.findall(r'^\.SH "?([^"\n]*)"?$', text, re.M))
        want = {"NAME", "SYNOPSIS", "DESCRIPTION", "EXIT STATUS", "SEE ALSO"}
        if page == "morvalen":
            want |= {"DRIVE LETTERS", "USED SPACE", "KEYS", "ENVIRONMENT"}
        if want - sections:
            failed.append(f"man page {page}(1) lacks {sorted(want - sections)}")

    pictures = {}
    for size in ICON_SIZES:
        rel = f"share/icons/hicolor/{size}x{size}/apps/morvalen.png"
        path = os.path.join(prefix, rel)
        if not os.path.isfile(path):
            failed.append(f"{rel} missing")
            continue
        png = read_png_rgba(path)
        if isinstance(png, str):
            failed.append(f"{rel}: {png}")
        elif png[:2] != (size, size):
            failed.append(f"{rel} is {png[0]}x{png[1]}")
        else:
            pictures[size] = png[2]
    base = pictures.get(32)
    if base:
        if not any(p[3] == 0 for row in base for p in row) or not any(p[3] == 255 for row in base for p in row):
            failed.append("32x32 icon is not partly transparent")
        for size, rows in pictures.items():
            bad = [(x, y) for y in range(size) for x in range(size) if rows[y][x] != base[y * 32 // size][x * 32 // size]]
            if bad:
                failed.append(f"{size}x{size} icon is not the 32x32 one scaled by nearest neighbour "
                              f"({len(bad)} pixels differ, first at {bad[0]})")
    return failed
