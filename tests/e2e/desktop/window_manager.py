#!/usr/bin/env python3
"""The real program under a real window manager (openbox) on a private X
server: the window is framed, carries its icon, and closing it through the
window manager (its close request, and a click on the frame's close button)
ends it with exit code 0.

usage: window_manager.py MORVALEN MORVALEN-DRIVES XPROBE"""

import atexit
import os
import shutil
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2elib  # noqa: E402
from e2elib import Failure, check  # noqa: E402

e2elib.display_or_skip()  # only with the other X tests
e2elib.programs_or_skip("Xvfb", "openbox", "xdotool")


xvfb, display = e2elib.start_xvfb()
tmp = tempfile.mkdtemp(prefix="morvalen-e2e-")
atexit.register(shutil.rmtree, tmp, True)
tools = e2elib.Tools(display, *sys.argv[1:4])


def framed_with_icon():
    proc = tools.start()
    try:
        w = tools.find_window(proc)
        time.sleep(0.5)
        parent = tools.probe("parent", hex(w)).strip()
        check(parent != "root", "the window manager did not frame the window")
        extents = int(tools.probe("longs", hex(w), "_NET_FRAME_EXTENTS").strip())
        check(extents == 4, "no _NET_FRAME_EXTENTS: not decorated")
        icon = int(tools.probe("longs", hex(w), "_NET_WM_ICON").strip())
        check(icon >= 2 + 16 * 16, f"_NET_WM_ICON holds {icon} items")
        x, y, width, height = tools.geometry(w)
        check(width + 2 * e2elib.FRAME == 541, f"client width {width} under the window manager")
        check(x >= 0 and y >= 0 and x + width <= 1024 and y + height <= 768, f"client at {x},{y} is off-screen")
        tools.probe("close", hex(w))
        tools.expect_clean_exit(proc)
    finally:
        tools.stop(proc)


def closed_by_window_manager():
    proc = tools.start()
    try:
        w = tools.find_window(proc)
        time.sleep(0.5)
        tools.probe("netclose", hex(w))  # what a taskbar's "Close" does
        tools.expect_clean_exit(proc)
    finally:
        tools.stop(proc)


def close_button_click():
    proc = tools.start()
    try:
        w = tools.find_window(proc)
        time.sleep(0.5)
        x, y, width, height = tools.geometry(w)
        # openbox's default title bar ends with the close button, centred
        # vertically in the title bar, a few pixels in from the right edge.
        title = int(tools.run("sh", "-c", f"xprop -id {hex(w)} _NET_FRAME_EXTENTS | tr -d , | awk '{{print $5}}'")
                    .strip() or "0")
        check(title > 0, "no title bar")
        bx, by = x + width - 8, y - title // 2 - 1
        tools.xdotool("mousemove", str(bx), str(by))  # no --sync: it waits forever if already there
        time.sleep(0.1)
        tools.xdotool("click", "1")
        tools.expect_clean_exit(proc)
    finally:
        tools.stop(proc)


def about_box(proc, main, at=(120, 24)):
    """Opens the about box with a double-click at a client point of the main
    window (the first row unless told)."""
    x, y, width, height = tools.geometry(main)
    tools.xdotool("mousemove", str(x + at[0]), str(y + at[1]))
    time.sleep(0.1)
    tools.xdotool("click", "--repeat", "2", "--delay", "80", "1")
    end = time.monotonic() + 5
    while time.monotonic() < end:
        others = [w for w in tools.windows_of_class() if w != main]
        if others:
            time.sleep(0.3)
            return others[0]
        time.sleep(0.05)
    raise Failure("no about box")


def atoms(window, prop):
    return tools.run("xprop", "-id", hex(window), prop, check_rc=False)


def modal_box_alt_f4():
    """The about box is a modal dialog to the window manager; Alt+F4 closes
    it, and Alt is not left held: Esc then ends the program."""
    proc = tools.start()
    try:
        main = tools.find_window(proc)
        time.sleep(0.5)
        box = about_box(proc, main)
        # The box becomes modal once the program disables its owner, which
        # may come a little after the box is seen.
        e2elib.wait_until(lambda: "_NET_WM_WINDOW_TYPE_DIALOG" in atoms(box, "_NET_WM_WINDOW_TYPE"), 5.0)
        check("_NET_WM_WINDOW_TYPE_DIALOG" in atoms(box, "_NET_WM_WINDOW_TYPE"), "the about box is not a dialog")
        check("_NET_WM_STATE_MODAL" in atoms(box, "_NET_WM_STATE"), "the about box is not modal")
        check("WM_CLIENT_MACHINE" in atoms(box, "WM_CLIENT_MACHINE") and "not found" not in
              atoms(box, "WM_CLIENT_MACHINE"), "no WM_CLIENT_MACHINE")
        tools.focus(box)
        tools.xdotool("key", "alt+F4")
        end = time.monotonic() + 5
        while box in tools.windows_of_class() and time.monotonic() < end:
            time.sleep(0.05)
        check(box not in tools.windows_of_class(), "Alt+F4 did not close the about box")
        time.sleep(0.3)
        tools.focus(main)
        tools.xdotool("key", "Escape")
        tools.expect_clean_exit(proc)
    finally:
        tools.stop(proc)


def resize(main, width, height):
    tools.xdotool("windowsize", "--sync", str(main), str(width), str(height), check_rc=False)
    end = time.monotonic() + 5
    while tools.geometry(main)[2:] != (width, height) and time.monotonic() < end:
        time.sleep(0.05)
    check(tools.geometry(main)[2:] == (width, height), f"not resized to {width}x{height}: {tools.geometry(main)}")
    time.sleep(0.5)


def resized_list_and_a_click_on_the_disabled_window():
    """Made large, the list answers everywhere: a double-click far below the
    rows opens the box. A click on the main window while the box is open
    leaves the box open, on top and taking the keys: O closes it."""
    proc = tools.start()
    try:
        main = tools.find_window(proc)
        time.sleep(0.5)
        resize(main, 1000, 700)
        box = about_box(proc, main, at=(950, 650))
        time.sleep(1.0)
        x, y, width, height = tools.geometry(main)
        tools.xdotool("mousemove", str(x + 50), str(y + 24))
        time.sleep(0.1)
        tools.xdotool("click", "1")
        time.sleep(0.7)
        check(box in tools.windows_of_class(), "a click on the disabled main window closed the about box")
        focused = int(tools.xdotool("getwindowfocus").strip())
        check(focused == box, f"the focus is on {hex(focused)}, not on the about box {hex(box)}")
        stacking = tools.run("xprop", "-root", "_NET_CLIENT_LIST_STACKING")
        order = [int(v, 16) for v in stacking.split("#")[-1].replace(",", " ").split()]
        check(box in order and main in order and order.index(box) > order.index(main),
              f"the about box is not above the main window: {stacking.strip()}")
        tools.close_box_and_end(proc, main, box, "O did not reach the about box")
    finally:
        tools.stop(proc)


def wheel_over_the_list_without_the_focus():
    """The wheel scrolls the list under the pointer though the main window,
    not the list, has the focus."""
    proc = tools.start()
    try:
        main = tools.find_window(proc)
        time.sleep(0.5)
        resize(main, 600, 40)
        tools.focus(main)
        x, y, width, height = tools.geometry(main)
        before = tools.settled_snap(main, os.path.join(tmp, "wheel-before.ppm"))
        tools.xdotool("mousemove", str(x + 100), str(y + height - 8))
        time.sleep(0.1)
        tools.xdotool("click", "5")
        time.sleep(0.3)
        after = tools.settled_snap(main, os.path.join(tmp, "wheel-after.ppm"))
        changed = sum(1 for yy in range(20, height) for xx in range(0, width - 20)
                      if before.pixel(xx, yy) != after.pixel(xx, yy))
        check(changed > 50, f"the wheel over the list changed {changed} pixels of it")
        tools.xdotool("key", "alt+x")
        tools.expect_clean_exit(proc)
    finally:
        tools.stop(proc)


wm = None
try:
    wm = e2elib.start_openbox(tools)
    e2elib.main([
        ("framed, with icon, closes with 0", framed_with_icon),
        ("window manager's close ends with 0", closed_by_window_manager),
        ("close button ends with 0", close_button_click),
        ("modal about box, Alt+F4 on it, then Esc ends with 0", modal_box_alt_f4),
        ("resized list answers below its rows; a click on the disabled window keeps the box",
         resized_list_and_a_click_on_the_disabled_window),
        ("the wheel scrolls the list under the pointer", wheel_over_the_list_without_the_focus),
    ])
finally:
    if wm:
        wm.kill()
        wm.wait()
    xvfb.terminate()
    xvfb.wait()
