#!/usr/bin/env python3
"""morvalen.exe, a Windows build (32- or 64-bit), under Wine on the test X
server: the main window's place, header band and rows against drives of
known size and fill, the keys that end it and those that do not, and the
about box.

Wine runs in a private prefix of the executable's architecture in the build
folder, made once with wineboot. The 32-bit run needs a machine that
executes 32-bit x86 code (probed, not guessed); the 64-bit one runs
wherever wine64 does. Where the machine allows it (root, unshare -m, loop devices,
overlayfs), the script runs in a private mount namespace: C: (the prefix's
drive_c, through an overlay) and D:, E: lie on ext4 images of known fill,
and Z: (the whole Unix tree) is dropped. Elsewhere C: is the host's
filesystem, whose fill is read by the test just the same.

Expected values come from the probe (winprobe.exe, run in the same prefix)
and from statvfs, never from the program's own output.

usage: wine_exe.py 32|64 MORVALEN.EXE WINPROBE.EXE XPROBE WORKDIR"""

import atexit
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "desktop"))
import e2elib  # noqa: E402
from e2elib import Failure, check  # noqa: E402

SOURCE = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
sys.path.insert(0, os.path.join(SOURCE, "scripts"))
runs_i386 = __import__("runs-i386").runs_i386
BLACK = (0, 0, 0)
CYAN = (0, 255, 255)
RED = (255, 0, 0)
LTGRAY = (192, 192, 192)
BEIGE = e2elib.BEIGE
WINE_CLASS = "morvalen.exe"  # Wine names a program's X windows after its file
INSIDE = "--inside-namespace"


def skip(why):
    print(f"SKIP: {why}")
    sys.exit(e2elib.SKIP)


def source_define(path, name):
    """A string macro of the program's sources, so the test follows them."""
    with open(os.path.join(SOURCE, path)) as f:
        m = re.search(r'#define\s+' + name + r'\s+"((?:[^"\\]|\\.)*)"', f.read())
    if not m:
        raise Failure(f"no {name} in {path}")
    return m.group(1).encode().decode("unicode_escape")


def namespace_refusal():
    """Why drives of known fill cannot be mounted here, or None."""
    if os.geteuid() != 0:
        return "not root"
    for tool in ("unshare", "mount", "umount", "losetup", "mkfs.ext4"):
        if not shutil.which(tool):
            return f"{tool} is not installed"
    if subprocess.run(["unshare", "-m", "--propagation", "private", "true"], capture_output=True).returncode:
        return "unshare -m is not allowed"
    if subprocess.run(["losetup", "-f"], capture_output=True).returncode:
        return "no free loop device"
    return None


args = [a for a in sys.argv[1:] if a != INSIDE]
inside = INSIDE in sys.argv
if len(args) != 5 or args[0] not in ("32", "64"):
    print(__doc__.rsplit("\n\n", 1)[1])
    sys.exit(2)
bits = args[0]
exe, winprobe, xprobe, workdir = (os.path.abspath(a) for a in args[1:])
# Each architecture's own loader and server, whatever /usr/bin/wine picks.
WINE = {"32": ("/usr/lib/wine/wine", "/usr/lib/wine/wineserver32", "win32", "wine32"),
        "64": ("/usr/lib/wine/wine64", "/usr/lib/wine/wineserver64", "win64", "wine64")}
loader, wineserver, winearch, package = WINE[bits]
if not inside:
    print(f"the {bits}-bit morvalen.exe under Wine ({loader})")
display = e2elib.display_or_skip()
if bits == "32":
    ok, why = runs_i386()
    if not ok:
        skip(f"{why}: the 32-bit executable cannot run here (the 64-bit one is tested)")
for program in (loader, wineserver):
    if not os.access(program, os.X_OK):
        skip(f"{program} is not installed (scripts/test installs {package})")
if not shutil.which("xdotool"):
    skip("xdotool is not installed")
if not os.path.isfile(exe):
    skip(f"{exe} is missing (scripts/build-windows makes it)")
refusal = None
if not inside:
    refusal = namespace_refusal()
    if refusal is None:
        os.execvp("unshare", ["unshare", "-m", "--propagation", "private", sys.executable, __file__, INSIDE] + args)
    print(f"NOTE: {refusal}: C: is the host's filesystem and D:, E: are left out")

prefix = os.path.join(workdir, "prefix")
mnt = os.path.join(workdir, "mnt")
tmp = tempfile.mkdtemp(prefix="morvalen-wine-")
atexit.register(shutil.rmtree, tmp, True)

# The desktop opener Wine's browser launcher calls: records its arguments.
opener_log = os.path.join(tmp, "xdg-open.log")
os.makedirs(os.path.join(tmp, "bin"))
with open(os.path.join(tmp, "bin", "xdg-open"), "w") as f:
    f.write(f'#!/bin/sh\nprintf "%s\\n" "$#" "$@" > "{opener_log}"\n')
os.chmod(os.path.join(tmp, "bin", "xdg-open"), 0o755)

env = dict(os.environ, WINEPREFIX=prefix, WINEARCH=winearch, WINELOADER=loader, WINESERVER=wineserver,
           WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
           PATH=os.path.join(tmp, "bin") + os.pathsep + os.environ.get("PATH", ""))
tools = e2elib.Tools(display, exe, None, xprobe, command=[loader, exe], env=env, log=os.path.join(tmp, "wine.log"))


def sh(*cmd, timeout=60):
    """Runs cmd; its output through a file, as Wine's services that it may
    start stay and would hold a pipe."""
    with tempfile.TemporaryFile("w+", dir=tmp) as out:
        try:
            r = subprocess.run(list(cmd), env=tools.env, stdout=out, stderr=subprocess.STDOUT, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"{' '.join(cmd)} still running after {timeout} s")
        out.seek(0)
        text = out.read()
    if r.returncode != 0:
        raise Failure(f"{' '.join(cmd)} failed ({r.returncode}): {text.strip()[:500]}")
    return text


def make_prefix():
    """The prefix, made once per build folder."""
    ready = os.path.join(prefix, ".morvalen-ready")
    if os.path.exists(ready):
        return
    shutil.rmtree(prefix, ignore_errors=True)
    os.makedirs(prefix)
    start = time.monotonic()
    try:
        sh(loader, "wineboot", "-i", timeout=240)
        sh(wineserver, "-w", timeout=120)
    except Failure as e:
        skip(f"Wine itself cannot start here: {e}")
    open(ready, "w").close()
    print(f"made the Wine prefix in {time.monotonic() - start:.1f} s")


def wine_server(restart):
    """Ends the prefix's Wine server (and every program in it); with
    restart, starts a new one that stays between the program's runs."""
    subprocess.run([wineserver, "-k"], env=tools.env, capture_output=True, timeout=30)
    if restart:
        # It goes to the background: keep it off the pipes of this call.
        subprocess.run([wineserver, "-p"], env=tools.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=True, timeout=30)


def fill(path, leave_percent):
    """Fills the filesystem at path until about leave_percent of it is free
    (0: to the last block)."""
    st = os.statvfs(path)
    if leave_percent == 0:
        with open(os.path.join(path, "fill"), "wb", buffering=0) as f:
            for chunk in (1 << 20, 4096):
                try:
                    while True:
                        f.write(b"\0" * chunk)
                except OSError:
                    pass
    else:
        size = (st.f_bavail - st.f_blocks * leave_percent // 100) * st.f_frsize
        fd = os.open(os.path.join(path, "fill"), os.O_CREAT | os.O_WRONLY)
        os.posix_fallocate(fd, 0, size)
        os.close(fd)
    os.sync()


# (letter, Unix path, share to leave free): C: about 60 % free, D: full,
# E: 8 % free ("Almost full").
KNOWN_DRIVES = (("C", None, 60), ("D", "d", 0), ("E", "e", 8))
mounted = []


def set_up_drives():
    """The drive letters Wine will show, as (letter, Unix path)."""
    dosdevices = os.path.join(prefix, "dosdevices")
    for name in os.listdir(dosdevices):
        if re.fullmatch(r"[d-z]:", name):
            os.unlink(os.path.join(dosdevices, name))
    drive_c = os.path.join(prefix, "drive_c")
    if not inside:
        return [("C", drive_c)]
    img = os.path.join(mnt, "img")
    os.makedirs(img, exist_ok=True)
    sh("mount", "-t", "tmpfs", "-o", "size=112m", "tmpfs", img)
    mounted.append(img)
    drives = []
    for letter, name, leave in KNOWN_DRIVES:
        image = os.path.join(img, f"{letter}.img")
        point = os.path.join(mnt, name or "c")
        os.makedirs(point, exist_ok=True)
        with open(image, "wb") as f:
            f.truncate(32 << 20)
        sh("mkfs.ext4", "-q", "-F", "-m", "0", "-b", "4096", image)
        try:
            sh("mount", "-o", "loop", image, point)
        except Failure as e:
            skip(f"cannot mount a loop device: {e}")
        mounted.append(point)
        if name is None:
            # C: must keep the prefix's Windows tree: an overlay over it
            # whose writable layer, and so its statvfs, is the image.
            os.makedirs(os.path.join(point, "upper"))
            os.makedirs(os.path.join(point, "work"))
            try:
                sh("mount", "-t", "overlay", "overlay", "-o",
                   f"lowerdir={drive_c},upperdir={point}/upper,workdir={point}/work", drive_c)
            except Failure as e:
                skip(f"no overlay filesystem here: {e}")
            mounted.append(drive_c)
            point = drive_c
        else:
            os.symlink(os.path.relpath(point, dosdevices), os.path.join(dosdevices, f"{letter.lower()}:"))
        fill(point, leave)
        drives.append((letter, point))
    return drives


def unmount_all():
    for point in reversed(mounted):
        subprocess.run(["umount", "-l", point], capture_output=True)
    mounted.clear()


def megabytes(n):
    return n // (1 << 20) + (1 if n % (1 << 20) >= (1 << 19) else 0)


def used_share(path):
    st = os.statvfs(path)
    total, free = megabytes(st.f_blocks * st.f_frsize), megabytes(st.f_bavail * st.f_frsize)
    return 0 if total == 0 else 100 - (free * 1000 // total + 5) // 10


def run_probe(texts):
    out = sh(loader, winprobe, *texts, timeout=60)
    values, drives, extents = {}, [], []
    for line in out.splitlines():
        f = line.split()
        if not f:
            continue
        if f[0] == "drive":
            drives.append(f[1:])
        elif f[0] == "extent":
            extents.append(int(f[1]))
        else:
            values[f[0]] = [int(v) for v in f[1:]]
    return {k: v[0] if len(v) == 1 else v for k, v in values.items()}, drives, extents


def half(n):
    return int(n / 2)  # toward zero, as the program's integer division


def centred(area, w, h):
    """Top-left corner of a window of size w x h after centring over area."""
    left, top, right, bottom = area
    y = max(0, min(top + half(bottom - top + 1) - half(h), bottom - h))
    x = max(0, min(left + half(right - left + 1) - half(w), right - w))
    return x, y


class Layout:
    """What the main window must look like, from Wine's metrics."""

    def __init__(self, m, drive_count):
        self.m = m
        self.frame = m["frame"]  # window edges relative to the client's
        self.band = m["fixed_line"]
        self.item = m["item_height"]
        self.rows = drive_count + 1
        height = self.rows * self.item + 2 * m["SM_CYFRAME"] + m["SM_CYCAPTION"] + self.band
        if height >= m["SM_CYSCREEN"]:
            height = m["SM_CYSCREEN"]
        self.window = (e2elib.WINDOW_WIDTH, height + 1)
        self.place = centred((0, 0, m["SM_CXFULLSCREEN"], m["SM_CYFULLSCREEN"]), *self.window)
        left, top, right, bottom = self.frame
        self.client = (self.place[0] - left, self.place[1] - top,
                       self.window[0] - (right - left), self.window[1] - (bottom - top))

    def window_rect(self, client):
        x, y, w, h = client
        left, top, right, bottom = self.frame
        return x + left, y + top, x + w + right, y + h + bottom


def between(p, a, b):
    """Whether colour p can be smoothed text of colour b on a background of
    colour a: each channel between the two, and channels that agree in both
    colours agree in p."""
    if any(p[i] < min(a[i], b[i]) - 3 or p[i] > max(a[i], b[i]) + 3 for i in range(3)):
        return False
    return all(abs(p[i] - p[j]) <= 3 for i in range(3) for j in range(3) if a[i] == a[j] and b[i] == b[j])


def reddish(p):
    return p[0] - max(p[1], p[2]) > 100


def check_row(img, top, item, d, char, letter):
    """One drive row: the bar frame at 60..319, the fill up to
    60 + d*259/100, the label where d is 90 or more."""
    mid = top + item // 2
    bottom = top + item
    for x in (60, 319):
        column = [img.pixel(x, y) for y in range(top, bottom)]
        check(all(p == BLACK for p in column), f"{letter}: the bar frame's line at x {x} is not black: {set(column)}")
    check(all(img.pixel(x, bottom - 1) == BLACK for x in range(60, 320)), f"{letter}: no frame line at y {bottom - 1}")
    check(img.pixel(59, mid) == BEIGE, f"{letter}: {img.pixel(59, mid)} left of the frame")
    edge = 60 + d * 259 // 100
    red = [x for y in range(top, bottom - 1) for x in range(61, 319) if reddish(img.pixel(x, y))]
    # Left of the edge cyan, right of it the frame's grey; the label, when
    # there is one, lies within the fill, its text smoothed onto the cyan.
    label = range(min(red) - char // 2, max(red) + char // 2 + 1) if red else range(0)
    for x in range(61, 319):
        p = img.pixel(x, mid)
        if x in label:
            good = x < edge and between(p, CYAN, RED)
        else:
            good = p == (CYAN if x < edge else LTGRAY)
        check(good, f"{letter} (used {d} %): pixel {x},{mid} is {p}, fill edge expected at {edge}")
    if d < 90:
        check(not red, f"{letter} (used {d} %): a warning label")
        return
    check(red, f"{letter} (used {d} %): no warning label")
    span = max(red) - min(red) + 1
    middle = (min(red) + max(red) + 1) / 2
    check(abs(middle - (61 + 320) / 2) <= char, f"{letter}: label centred at {middle}")
    if d == 100:
        check(span <= len("FULL") * char, f"{letter}: label {span} px wide, not \"FULL\"")
    else:
        check(len("FULL") * char < span <= len("Almost full") * char, f"{letter}: label {span} px wide, not \"Almost full\"")


def check_totals(img, top, item, width):
    pixels = {(x, img.pixel(x, y)) for y in range(top, top + item) for x in range(width)}
    colours = {p for _, p in pixels}
    check(not colours & {CYAN, LTGRAY, RED}, f"the totals row has a bar: {colours}")
    check(any(x < 320 and p == BLACK for x, p in pixels), "the totals row has no caption")
    check(any(x >= 320 and p == BLACK for x, p in pixels), "the totals row has no sums")


def settle(window, name):
    return tools.settled_snap(window, os.path.join(tmp, name))


class Program:
    """One run of morvalen.exe; kill() on the way out if still running."""

    def __init__(self):
        self.proc = tools.start()
        self.main = tools.find_window(self.proc, timeout=30.0, klass=WINE_CLASS)

    def stopped(self):
        return self.proc.poll() is not None

    def ends_with_0(self, what):
        rc = tools.wait_exit(self.proc)
        check(rc == 0, f"{what}: exit code {rc}; output: {tools.output_of(self.proc).strip()[:500]}")

    def goes_on(self, what):
        time.sleep(0.7)
        check(not self.stopped(), f"{what} ended the program")

    def kill(self):
        if not self.stopped():
            # The Windows process lives on in Wine: end the prefix's server.
            self.proc.kill()
            self.proc.wait()
            wine_server(restart=True)


def run_program(case):
    def run():
        program = Program()
        try:
            case(program)
        finally:
            program.kill()
    return run


def main_window(p):
    check(tools.xdotool("getwindowname", str(p.main)).strip() == "Morvalen", "title")
    client = tools.geometry(p.main)
    x, y, w, h = layout.client
    check(client[2] == w, f"client width {client[2]}, expected {w} (window {e2elib.WINDOW_WIDTH} less the frame)")
    check(client[3] == h, f"client height {client[3]}, expected {h} for {layout.rows} rows")
    check(client[:2] == (x, y), f"client at {client[:2]}: window at {layout.window_rect(client)[:2]}, "
                                f"centring puts it at {layout.place}")

    img = settle(p.main, "main.ppm")
    band, yellow = e2elib.header_band(img)
    check(band == layout.band, f"header band {band} px tall, the fixed font's line is {layout.band}")
    # Navy in every column; elsewhere yellow text, smoothed onto the navy.
    check(all(any(img.pixel(x, yy) == e2elib.NAVY for yy in range(band)) for x in range(img.width)),
          "the header band does not reach across the window")
    stray = [(x, yy) for yy in range(band) for x in range(img.width)
             if not between(img.pixel(x, yy), e2elib.NAVY, e2elib.YELLOW)]
    check(not stray, f"colours other than navy and yellow in the header band: {img.pixel(*stray[0]) if stray else ''}")
    check(yellow > 50, f"only {yellow} yellow pixels in the header band")
    for r, (letter, path) in enumerate(drives):
        top = band + r * layout.item
        check_row(img, top, layout.item, used_share(path), metrics["fixed_char"], letter)
    check_totals(img, band + len(drives) * layout.item, layout.item, img.width)

    tools.focus(p.main)
    tools.xdotool("key", "Escape")
    p.ends_with_0("Esc over the main window")


def keys_after_a_click(p):
    x, y, w, h = tools.geometry(p.main)
    tools.xdotool("mousemove", str(x + 120), str(y + layout.band + layout.item // 2))
    time.sleep(0.1)
    tools.xdotool("click", "1")
    tools.focus(p.main)
    tools.xdotool("key", "Escape")
    p.goes_on("Esc over the list")
    tools.xdotool("key", "alt+shift+x")
    p.goes_on("Alt+Shift+X")
    tools.xdotool("key", "alt+x")
    p.ends_with_0("Alt+X")


def red_near(img, points):
    return all(any(img.pixel(x, y) == RED for x in range(max(0, px - 3), min(img.width, px + 4))
                   for y in range(max(0, py - 3), min(img.height, py + 4))) for px, py in points)


def open_about_box(p):
    x, y, w, h = tools.geometry(p.main)
    tools.xdotool("mousemove", str(x + 120), str(y + layout.band + layout.item // 2))
    time.sleep(0.1)
    tools.xdotool("click", "--repeat", "2", "--delay", "80", "1")
    windows = tools.wait_windows(lambda ws: any(w != p.main for w in ws), "no about box", klass=WINE_CLASS)
    box = next(w for w in windows if w != p.main)
    time.sleep(0.3)
    return box


def about_box(p):
    lines = source_define("app/mainwnd.cpp", "ABOUT_TEXT").split("\n")
    link = source_define("app/mainwnd.cpp", "ABOUT_LINK")
    line = metrics["box_line"]
    # The box's size and place: the text's widest line and 4 of the widest
    # characters across, 10 lines more than the text high (a link below it),
    # one pixel more each way for the region and one for centring.
    width = max(extents) + 4 * metrics["box_maxchar"] + 2
    height = (len(lines) + 10) * line + 2
    owner = layout.window_rect(tools.geometry(p.main))
    for key in ("o", "Return", "space", None):
        box = open_about_box(p)
        bx, by, bw, bh = tools.geometry(box)
        check((bw, bh) == (width, height), f"about box {bw}x{bh}, expected {width}x{height}")
        check((bx, by) == centred(owner, bw, bh), f"about box at {bx},{by}, centring puts it at {centred(owner, bw, bh)}")
        img = settle(box, "box.ppm")
        # The red oval: at the middle of each side of the box's rectangle.
        sides = ((bw // 2, 2), (bw // 2, bh - 3), (2, bh // 2), (bw - 3, bh // 2))
        check(red_near(img, sides), "no red outline at the middle of every side")
        # A press outside the ellipse, in the rectangle's corner, would drag
        # the box if it reached it.
        tools.xdotool("mousemove", str(bx + 3), str(by + 3))
        tools.xdotool("mousedown", "1")
        tools.xdotool("mousemove", str(bx + 43), str(by + 33))
        tools.xdotool("mouseup", "1")
        time.sleep(0.3)
        check(tools.geometry(box)[:2] == (bx, by), f"a press outside the ellipse moved the box to {tools.geometry(box)[:2]}")
        if key:
            tools.focus(box)
            tools.xdotool("key", key)
            tools.wait_windows(lambda ws: box not in ws, f"the about box did not close on {key}", klass=WINE_CLASS)
        else:
            # The link: centred, one empty line below the text.
            top = 32 + (2 + len(lines) + 1) * line
            tools.xdotool("mousemove", str(bx + bw // 2), str(by + top + line // 3))
            time.sleep(0.1)
            tools.xdotool("click", "1")
            tools.wait_windows(lambda ws: box not in ws, "the about box did not close on its link", klass=WINE_CLASS)
            end = time.monotonic() + 15
            while not os.path.exists(opener_log) and time.monotonic() < end:
                time.sleep(0.1)
            check(os.path.exists(opener_log), "xdg-open was not called for the link")
            time.sleep(0.2)
            with open(opener_log) as f:
                recorded = f.read().splitlines()
            check(recorded == ["1", link], f"xdg-open called with {recorded[1:]}, expected [{link!r}]")
        check(not p.stopped(), "the program ended with the about box")
    tools.focus(p.main)
    tools.xdotool("key", "alt+x")
    p.ends_with_0("Alt+X after the about box")


drives = []
metrics = {}
extents = []
layout = None


def run_all():
    global drives, metrics, extents, layout
    start = time.monotonic()
    make_prefix()
    wine_server(restart=True)
    drives = set_up_drives()
    lines = source_define("app/mainwnd.cpp", "ABOUT_TEXT").split("\n")
    metrics, seen, extents = run_probe(lines)
    print(f"Wine's metrics: {metrics}")
    # Wine must see exactly the drives set up, with their statvfs sizes.
    expected = []
    for letter, path in drives:
        st = os.statvfs(path)
        expected.append([letter, "3", str(st.f_blocks * st.f_frsize)])
    check([d[:3] for d in seen] == expected, f"Wine's drives {seen}, expected {expected}")
    layout = Layout(metrics, len(drives))
    print(f"set-up took {time.monotonic() - start:.1f} s")
    e2elib.main([
        ("window, place, header band and rows; Esc ends with 0", run_program(main_window)),
        ("after a click in the list Esc and Alt+Shift+X do nothing, Alt+X ends with 0", run_program(keys_after_a_click)),
        ("about box: opened by a double-click, closed by O, Enter, Space and its link", run_program(about_box)),
    ])


try:
    run_all()
except Failure as e:
    print(f"FAIL set-up: {e}")
    sys.exit(1)
finally:
    wine_server(restart=False)
    unmount_all()
