#!/usr/bin/env python3
"""The real program on a private 3840x2160 X server whose resources say
Xft.dpi, as a desktop at 125 %, 150 %, 175 % or 200 % sets them: the window
is drawn at that scale, its client area round(s x) its 96-dpi size in device
pixels, the header band that much higher with a crisp edge; at 150 % and
200 % the about box opens centred as at 96 dpi, scaled, with its link wholly
inside its red outline.

usage: scaled.py MORVALEN MORVALEN-DRIVES XPROBE"""

import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2elib  # noqa: E402
from e2elib import check, device_edge  # noqa: E402

e2elib.display_or_skip()  # only with the other X tests
e2elib.programs_or_skip("Xvfb", "xrdb", "xdotool")

RED = (255, 0, 0)
shots = os.environ.get("MORVALEN_E2E_SHOTS") or tempfile.mkdtemp(prefix="morvalen-e2e-")
xvfb, display = e2elib.start_xvfb("3840x2160x24")
env = {k: v for k, v in os.environ.items() if k not in ("MORVALEN_SCALE", "GDK_SCALE")}
tools = e2elib.Tools(display, *sys.argv[1:4], env=env)


def centre(x, y, w, h):
    return (2 * x + w) / 2, (2 * y + h) / 2


def run_at(dpi, about):
    """Starts the program at Xft.dpi `dpi`, checks its window, and with
    `about` opens the about box and checks it. Returns the main window's
    client size and, with `about`, the box's centre less the window's."""
    tools.run("sh", "-c", f"echo 'Xft.dpi: {dpi}' | xrdb -merge")
    n = (dpi * 120 + 48) // 96
    proc = tools.start()
    try:
        main = tools.find_window(proc)
        img = tools.settled_snap(main, os.path.join(shots, f"scaled-{dpi}-main.ppm"),
                                 painted=lambda i: i.has(e2elib.NAVY))
        x, y, width, height = tools.geometry(main)
        band, yellow = e2elib.header_band(img)
        check(yellow > 0, f"no header text at {dpi} dpi")
        # A crisp edge: the row below the band holds no navy at all.
        check(not any(img.pixel(xx, band) == e2elib.NAVY for xx in range(img.width)),
              f"navy below the band's edge at {dpi} dpi")
        if not about:
            tools.focus(main)
            tools.xdotool("key", "alt+x")
            tools.expect_clean_exit(proc)
            return (width, height, band), None

        # Double-click the middle of the first row (logical 120, band + 8).
        tools.xdotool("mousemove", str(x + device_edge(120, n / 120)), str(y + band + device_edge(8, n / 120)))
        time.sleep(0.1)
        tools.xdotool("click", "--repeat", "2", "--delay", "80", "1")
        windows = tools.wait_windows(lambda ws: any(w != main for w in ws), "no about box")
        box = next(w for w in windows if w != main)
        img = tools.settled_snap(box, os.path.join(shots, f"scaled-{dpi}-about.ppm"),
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
        check(rows >= 8 * n // 120, f"only {rows} rows of link text")
        bx, by = centre(*tools.geometry(box))
        mx, my = centre(x, y, width, height)
        tools.close_box_and_end(proc, main, box)
        return (width, height, band), (bx - mx, by - my)
    finally:
        tools.stop(proc)


def scales():
    (width, height, band), offset = run_at(96, True)
    for dpi, about in ((120, False), (144, True), (168, False), (192, True)):
        n = (dpi * 120 + 48) // 96
        (w, h, b), box = run_at(dpi, about)
        want = tuple(device_edge(v, n / 120) for v in (width, height, band))
        check((w, h, b) == want,
              f"at {dpi} dpi client {w}x{h} with a band of {b}, not {want[0]}x{want[1]} and {want[2]}")
        if about:
            # Centred over the main window as at 96 dpi, give or take a
            # logical pixel of rounding.
            want = (offset[0] * n / 120, offset[1] * n / 120)
            check(abs(box[0] - want[0]) <= 2 and abs(box[1] - want[1]) <= 2,
                  f"at {dpi} dpi the box's centre is {box} from the window's, not about {want}")


try:
    e2elib.main([
        ("Xft.dpi 120, 144, 168, 192: the window at 1.25x, 1.5x, 1.75x and 2x, the link inside the oval",
         scales),
    ])
finally:
    xvfb.terminate()
    xvfb.wait()
