#!/usr/bin/env python3
"""The real program on a private X server with two side-by-side monitors
(RandR monitors set as xrandr --setmonitor does): the main window opens
centred in the primary monitor, whether that is the left or the right one.

usage: monitors.py MORVALEN MORVALEN-DRIVES XPROBE"""

import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2elib  # noqa: E402
from e2elib import Failure, check  # noqa: E402

e2elib.display_or_skip()  # only with the other X tests
e2elib.programs_or_skip("Xvfb", "xrandr", "xdotool")

WIDTH, HEIGHT = 1920, 1080
CAPTION = 19  # SM_CYCAPTION
shots = os.environ.get("MORVALEN_E2E_SHOTS") or tempfile.mkdtemp(prefix="morvalen-e2e-")
xvfb, display = e2elib.start_xvfb(f"{2 * WIDTH}x{HEIGHT}x24")
tools = e2elib.Tools(display, *sys.argv[1:4])


def layout(primary):
    for name in ("left", "right"):
        tools.run("xrandr", "--delmonitor", name, check_rc=False)
    for name, x in (("left", 0), ("right", WIDTH)):
        mark = "*" if name == primary else ""
        tools.run("xrandr", "--setmonitor", f"{mark}{name}", f"{WIDTH}/500x{HEIGHT}/280+{x}+0", "none")


def centred_in(primary, monitor_x):
    def case():
        layout(primary)
        proc = tools.start()
        try:
            w = tools.find_window(proc)
            tools.settled_snap(w, os.path.join(shots, "main.ppm"))
            if shutil.which("import"):  # a picture of both monitors, for a look when a check fails
                tools.run("import", "-display", display, "-window", "root",
                          os.path.join(shots, f"monitors-{primary}.png"), check_rc=False)
            x, y, width, height = tools.geometry(w)
            check(monitor_x <= x and x + width <= monitor_x + WIDTH and 0 <= y and y + height <= HEIGHT,
                  f"client {width}x{height} at {x},{y} is not inside the monitor at {monitor_x}")
            # The centring rule over the primary monitor's full-screen area
            # (its height less a caption); the window, the client grown by
            # the frame and the caption, has the size the rule gave it.
            win_w, win_h = width + 2 * e2elib.FRAME, height + 2 * e2elib.FRAME + CAPTION
            win_x = (WIDTH + 1) // 2 - win_w // 2
            win_y = max(0, (HEIGHT - CAPTION + 1) // 2 - win_h // 2)
            want = (monitor_x + win_x + e2elib.FRAME, win_y + e2elib.FRAME + CAPTION)
            check((x, y) == want, f"client at {x},{y}, centred would be {want[0]},{want[1]}")
            tools.focus(w)
            tools.xdotool("key", "alt+x")
            tools.expect_clean_exit(proc)
        finally:
            tools.stop(proc)
    return case


try:
    e2elib.main([
        ("primary on the left: centred in it", centred_in("left", 0)),
        ("primary on the right: centred in it", centred_in("right", WIDTH)),
    ])
finally:
    xvfb.terminate()
    xvfb.wait()
