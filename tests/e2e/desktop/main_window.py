#!/usr/bin/env python3
"""The real program on the test X server: its window, header band and rows,
and each way of ending it (Alt+X, Esc, the window manager's close request)
ends it with exit code 0.

usage: main_window.py MORVALEN MORVALEN-DRIVES XPROBE"""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2elib  # noqa: E402
from e2elib import Failure, check  # noqa: E402

tools, tmp = e2elib.session()


def window_and_rows():
    proc = tools.start()
    try:
        w = tools.find_window(proc)
        time.sleep(0.3)  # the first paint
        title = tools.xdotool("getwindowname", str(w)).strip()
        check(title == "Morvalen", f"title {title!r}")
        x, y, width, height = tools.geometry(w)
        check(width + 2 * e2elib.FRAME == e2elib.WINDOW_WIDTH,
              f"client width {width}: window width {width + 2 * e2elib.FRAME}, not {e2elib.WINDOW_WIDTH}")

        img = tools.settled_snap(w, os.path.join(tmp, "main.ppm"))
        # The header band: navy from the top, with yellow text in it.
        band, yellow = e2elib.header_band(img)
        check(band >= 10, f"header band only {band} px tall (top-left pixel {img.pixel(0, 0)})")
        check(yellow > 50, f"only {yellow} yellow pixels in the header band")

        # One row per drive plus the totals row (unless capped at the screen).
        expected = tools.drive_rows() + 1
        rows = (height - band) // e2elib.ITEM_HEIGHT
        # Centring leaves the window one pixel taller than its rows.
        check((height - band) % e2elib.ITEM_HEIGHT <= 1, f"list height {height - band} is not whole rows")
        check(rows == expected, f"{rows} rows shown, {expected} expected (drives + totals)")
        # Every row has something drawn on the beige background.
        for r in range(rows):
            top = band + r * e2elib.ITEM_HEIGHT
            colours = {img.pixel(xx, yy) for yy in range(top, top + e2elib.ITEM_HEIGHT) for xx in range(img.width)}
            check(len(colours) >= 2, f"row {r} is blank")
    finally:
        tools.stop(proc)


def ends_with(action):
    def case():
        proc = tools.start()
        try:
            w = tools.find_window(proc)
            time.sleep(0.3)
            action(w)
            tools.expect_clean_exit(proc)
        finally:
            tools.stop(proc)
    return case


def alt_x(w):
    tools.focus(w)
    tools.xdotool("key", "alt+x")


def escape(w):
    tools.focus(w)
    tools.xdotool("key", "Escape")


def close_request(w):
    tools.probe("close", hex(w))


e2elib.main([
    ("window, header band and rows", window_and_rows),
    ("Alt+X ends with 0", ends_with(alt_x)),
    ("Esc ends with 0", ends_with(escape)),
    ("close request ends with 0", ends_with(close_request)),
])
