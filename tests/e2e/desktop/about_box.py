#!/usr/bin/env python3
"""The about box of the real program: a double-click on a row opens it, the
screen outside its ellipse still shows what lies beneath, the O key closes
it, and the main window then still ends with Alt+X and exit code 0.

usage: about_box.py MORVALEN MORVALEN-DRIVES XPROBE"""

import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2elib  # noqa: E402
from e2elib import check  # noqa: E402

tools, tmp = e2elib.session()


def about_box_round_trip(close_key="o", end_keys="alt+x", close_box=None, end=None):
    proc = tools.start()
    try:
        main = tools.find_window(proc)
        tools.settled_snap(main, os.path.join(tmp, "main.ppm"))
        before = tools.rootsnap(os.path.join(tmp, "before.ppm"))
        x, y, width, height = tools.geometry(main)

        # Double-click the first row (below the header band).
        tools.xdotool("mousemove", str(x + 120), str(y + 24))  # no --sync: it waits forever if already there
        time.sleep(0.1)
        tools.xdotool("click", "--repeat", "2", "--delay", "80", "1")
        windows = tools.wait_windows(lambda ws: any(w != main for w in ws), "no about box")
        box = next(w for w in windows if w != main)
        bx, by, bw, bh = tools.geometry(box)
        tools.settled_snap(box, os.path.join(tmp, "box.ppm"))
        after = tools.rootsnap(os.path.join(tmp, "after.ppm"))

        # The corners of the box's rectangle lie outside the ellipse: the
        # screen there is unchanged.
        for cx, cy in ((bx + 1, by + 1), (bx + bw - 2, by + 1), (bx + 1, by + bh - 2), (bx + bw - 2, by + bh - 2)):
            if 0 <= cx < after.width and 0 <= cy < after.height:
                check(after.pixel(cx, cy) == before.pixel(cx, cy),
                      f"screen at {cx},{cy} outside the ellipse changed: {before.pixel(cx, cy)} -> {after.pixel(cx, cy)}")
        # Inside the ellipse the box is drawn.
        changed = sum(1 for yy in range(by + bh // 4, by + 3 * bh // 4) for xx in range(bx + bw // 4, bx + 3 * bw // 4)
                      if 0 <= xx < after.width and 0 <= yy < after.height and after.pixel(xx, yy) != before.pixel(xx, yy))
        check(changed > 100, f"only {changed} pixels changed inside the ellipse")

        if close_box:
            close_box(box)
        else:
            tools.xdotool("key", close_key)
        tools.wait_windows(lambda ws: box not in ws, "the about box did not close on O")
        check(proc.poll() is None, "the program ended with the about box")

        if end:
            end(main)
        else:
            tools.focus(main)
            tools.xdotool("key", end_keys)
        tools.expect_clean_exit(proc)
    finally:
        tools.stop(proc)


def russian_layout():
    """With a Russian layout the keys of O and X type Cyrillic letters; they
    still close the box and end the program."""
    if not shutil.which("setxkbmap"):
        raise Failure("setxkbmap is not installed")
    tools.run("setxkbmap", "-layout", "ru")
    try:
        about_box_round_trip("Cyrillic_shcha", "alt+Cyrillic_che")
    finally:
        tools.run("setxkbmap", "-layout", "us", check_rc=False)


def destroyed_by_another_client():
    """Another X client destroys the box's window, then the main window's:
    each counts as a close, and the program ends with 0."""
    about_box_round_trip(close_box=lambda box: tools.probe("destroy", hex(box)),
                         end=lambda main: tools.probe("destroy", hex(main)))


e2elib.main([
    ("double-click opens the about box, O closes it, Alt+X ends with 0", about_box_round_trip),
    ("the same with a Russian layout", russian_layout),
    ("windows destroyed by another client close", destroyed_by_another_client),
])
