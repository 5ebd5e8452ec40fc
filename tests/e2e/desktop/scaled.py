#!/usr/bin/env python3
"""The real program on a private 3840x2160 X server whose resources say
Xft.dpi: 192, as a desktop at 200 % sets them: everything is drawn at twice
the size, so the main window is 1082 device pixels wide (541 logical), and
the about box's link lies wholly inside its red outline.

usage: scaled.py MORVALEN MORVALEN-DRIVES XPROBE"""

import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2elib  # noqa: E402
from e2elib import check  # noqa: E402

e2elib.display_or_skip()  # only with the other X tests
e2elib.programs_or_skip("Xvfb", "xrdb", "xdotool")

RED = (255, 0, 0)
shots = os.environ.get("MORVALEN_E2E_SHOTS") or tempfile.mkdtemp(prefix="morvalen-e2e-")
xvfb, display = e2elib.start_xvfb("3840x2160x24")
env = {k: v for k, v in os.environ.items() if k not in ("MORVALEN_SCALE", "GDK_SCALE")}
tools = e2elib.Tools(display, *sys.argv[1:4], env=env)


def twice_the_size():
    tools.run("sh", "-c", "echo 'Xft.dpi: 192' | xrdb -merge")
    proc = tools.start()
    try:
        main = tools.find_window(proc)
        tools.settled_snap(main, os.path.join(shots, "scaled-main.ppm"))
        x, y, width, height = tools.geometry(main)
        check(width + 2 * 2 * e2elib.FRAME == 2 * e2elib.WINDOW_WIDTH,
              f"client width {width}: window width {width + 4 * e2elib.FRAME}, not {2 * e2elib.WINDOW_WIDTH}")

        tools.xdotool("mousemove", str(x + 240), str(y + 48))
        time.sleep(0.1)
        tools.xdotool("click", "--repeat", "2", "--delay", "80", "1")
        windows = tools.wait_windows(lambda ws: any(w != main for w in ws), "no about box")
        box = next(w for w in windows if w != main)
        img = tools.settled_snap(box, os.path.join(shots, "scaled-about.ppm"),
                                 painted=lambda i: i.has(e2elib.NAVY))
        # Every row of the link's navy ink has the outline on both sides of it.
        rows = 0
        for yy in range(img.height):
            navy = [xx for xx in range(img.width) if img.pixel(xx, yy) == e2elib.NAVY]
            if not navy:
                continue
            rows += 1
            check(any(img.pixel(xx, yy) == RED for xx in range(navy[0])),
                  f"the link reaches the left edge of the oval at row {yy}")
            check(any(img.pixel(xx, yy) == RED for xx in range(navy[-1] + 1, img.width)),
                  f"the link reaches the right edge of the oval at row {yy}")
        check(rows >= 16, f"only {rows} rows of link text")
        tools.close_box_and_end(proc, main, box)
    finally:
        tools.stop(proc)


try:
    e2elib.main([
        ("Xft.dpi 192: the window twice the size, the link inside the oval", twice_the_size),
    ])
finally:
    xvfb.terminate()
    xvfb.wait()
