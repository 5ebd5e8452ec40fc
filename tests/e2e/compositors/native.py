#!/usr/bin/env python3
"""The real program as a Wayland client of its own (no Xwayland, no
DISPLAY) under a compositor started here privately, driven as a user
drives it, its screen read back:

  sway    headless as an unprivileged user, Xwayland switched off, at
          scale 1 and 2: input through the wlroots virtual pointer and
          keyboard (wlinput), the screen read by grim, windows by swaymsg.

usage: native.py COMPOSITOR MORVALEN WLINPUT"""

import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "desktop"))
import compositors  # noqa: E402
import e2elib  # noqa: E402
from e2elib import Failure, check  # noqa: E402

RED = (255, 0, 0)
# The first row of the list in the main window's client area, as in the
# Xwayland tests.
ROW = compositors.ROW
# The window rectangle the program sees around its client area: the frame
# and caption it sizes its windows by.
INSETS = (4, 23, 4, 4)


def red_box(img):
    """The bounding box (x, y, w, h) of the about box's red outline (the
    largest run of touching red pixels: the drive icons have red lamps), or
    None."""
    packed = bytes(RED)
    red = set()
    i = img.data.find(packed)
    while i >= 0:
        if i % 3 == 0:
            red.add(((i // 3) % img.width, (i // 3) // img.width))
            i = img.data.find(packed, i + 3)
        else:
            i = img.data.find(packed, i + 1)
    best = []
    while red:
        todo = [red.pop()]
        part = []
        while todo:
            x, y = todo.pop()
            part.append((x, y))
            for dx in (-1, 0, 1):
                for dy in (-1, 0, 1):
                    if (x + dx, y + dy) in red:
                        red.remove((x + dx, y + dy))
                        todo.append((x + dx, y + dy))
        if len(part) > len(best):
            best = part
    if len(best) < 100:
        return None
    xs, ys = [p[0] for p in best], [p[1] for p in best]
    return min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1


def crop(img, rect):
    x, y, w, h = rect
    data = b"".join(img.data[((y + r) * img.width + x) * 3:((y + r) * img.width + x + w) * 3] for r in range(h))
    return e2elib.Image(w, h, data)


def client_area(img, around, scale):
    """The main window's client area (x, y, w, h, in logical pixels) as the
    screen shows it within `around`: from the top of the header band (navy
    with yellow text), as wide as the band, down to the end of the beige
    list below it (measured left of the bars, where every row is beige)."""
    ax, ay, aw, ah = (v * scale for v in around)
    ax, ay = max(ax, 0), max(ay, 0)
    aw, ah = min(aw, img.width - ax), min(ah, img.height - ay)
    for y in range(ay, ay + ah):
        row = [img.pixel(x, y) for x in range(ax, ax + aw)]
        if e2elib.YELLOW not in row or row.count(e2elib.NAVY) < 100 * scale:
            continue
        left = row.index(e2elib.NAVY)
        right = len(row) - row[::-1].index(e2elib.NAVY)
        top = y
        while top > ay and img.pixel(ax + left, top - 1) == e2elib.NAVY:
            top -= 1
        probe = ax + left + 50 * scale
        bottom = top
        while bottom < ay + ah and img.pixel(probe, bottom) in (e2elib.NAVY, e2elib.YELLOW):
            bottom += 1
        while bottom < ay + ah and img.pixel(probe, bottom) == e2elib.BEIGE:
            bottom += 1
        return ((ax + left) // scale, top // scale, (right - left) // scale, (bottom - top) // scale)
    raise Failure(f"no header band in {around}")


def sharp_blocks(img, rect, scale):
    """How many scale x scale blocks of rect (aligned to its corner) are not
    one colour: a picture drawn at 1x and enlarged has none."""
    x0, y0, w, h = rect
    count = 0
    for by in range(y0, y0 + h - scale + 1, scale):
        for bx in range(x0, x0 + w - scale + 1, scale):
            first = img.pixel(bx, by)
            if any(img.pixel(bx + dx, by + dy) != first for dy in range(scale) for dx in range(scale)):
                count += 1
    return count


class Program:
    """The program started on the compositor's Wayland display alone."""

    def __init__(self, morvalen, env):
        env = dict(env)
        env.pop("DISPLAY", None)
        self.proc = subprocess.Popen([morvalen], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def running(self):
        return self.proc.poll() is None

    def stderr(self):
        return self.proc.stderr.read().decode(errors="replace").strip() if self.proc.stderr else ""

    def expect_exit(self, code, timeout=5.0):
        try:
            rc = self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.stop()
            raise Failure(f"morvalen still running {timeout} s after the request to end")
        err = self.stderr()
        check(rc == code, f"exit code {rc}, not {code}; stderr: {err[:500]}")
        return err

    def descriptors(self):
        return len(os.listdir(f"/proc/{self.proc.pid}/fd"))

    def surface_buffers(self):
        """The shared-memory buffers it has mapped for its windows."""
        with open(f"/proc/{self.proc.pid}/maps") as f:
            return sum(1 for line in f if "memfd:morvalen-surface" in line)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


class NativeSway(compositors.Sway):
    xwayland = False

    def swaymsg_json(self, *args):
        r = subprocess.run(["swaymsg", "-r", *args], env=self.wl_env, capture_output=True, text=True, timeout=10)
        if r.returncode != 0:
            raise Failure(f"swaymsg {' '.join(args)}: {r.stdout.strip()} {r.stderr.strip()}")
        return json.loads(r.stdout)

    def views(self):
        found = []

        def walk(node):
            if node.get("app_id") is not None or node.get("shell"):
                found.append(node)
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child)

        walk(self.swaymsg_json("-t", "get_tree"))
        return found

    def main_view(self, proc):
        """The program's window once sway has it in place: the same in two
        looks at the tree a moment apart."""
        last = [None]

        def settled():
            view = next((v for v in self.views() if v.get("pid") == proc.proc.pid and v.get("visible")), None)
            place = view and (view["rect"], view["window_rect"])
            same = place is not None and place == last[0]
            last[0] = place
            if not same:
                time.sleep(0.1)
            return view if same else None

        return compositors.wait_for("the program's window in place in sway's tree", settled, timeout=10)

    def client_rect(self, view):
        """The window's client area in the output's logical pixels."""
        r, w = view["rect"], view["window_rect"]
        return r["x"] + w["x"], r["y"] + w["y"], w["width"], w["height"]


class Session:
    def __init__(self, desk, morvalen, shots):
        self.desk = desk
        self.morvalen = morvalen
        self.shots = shots

    def screen(self, name):
        return self.desk.screen(os.path.join(self.shots, f"native-{self.desk.name}-{self.desk.scale}x-{name}.ppm"))

    def settled(self, name, predicate, timeout=10.0):
        """The screen once predicate(img) holds and two reads agree."""
        end = time.monotonic() + timeout
        last = None
        while time.monotonic() < end:
            img = self.screen(name)
            if predicate(img) and last is not None and img.data == last.data:
                return img
            last = img if predicate(img) else None
            time.sleep(0.15)
        raise Failure(f"the screen did not show {name} within {timeout} s")

    def wait_screen(self, what, predicate, timeout=10.0):
        """The first screen for which predicate holds."""
        path = os.path.join(self.shots, f"native-{self.desk.name}-{self.desk.scale}x-wait.ppm")
        return compositors.wait_for(what, lambda: (lambda i: i if predicate(i) else None)(self.desk.screen(path)),
                                    timeout=timeout)

    def device(self, rect):
        s = self.desk.scale
        return tuple(v * s for v in rect)

    def start(self):
        return Program(self.morvalen, self.desk.wl_env)

    def input_ready(self):
        """The seat gains a pointer and a keyboard; the first key of a new
        keyboard is lost to a client that has not yet taken it."""
        self.desk.start_input()
        time.sleep(0.5)
        self.desk.key("shift")
        time.sleep(0.2)

    def shows_window(self, proc):
        """The main window: an xdg-shell window titled "Morvalen", named for
        its desktop file, with the header band and rows."""
        view = self.desk.main_view(proc)
        check(view.get("name") == "Morvalen" and view.get("app_id") == "morvalen" and view.get("shell") == "xdg_shell",
              f"sway shows {view.get('shell')} window {view.get('name')!r} of app {view.get('app_id')!r}")
        around = self.desk.client_rect(view)
        img = self.settled("main", lambda i: self.band(i, around)[1] > 50 * self.desk.scale ** 2)
        rect = client_area(img, around, self.desk.scale)
        band, yellow = self.band(img, rect)
        s = self.desk.scale
        # The system fixed font's line: 15 or 16 pixels.
        check(band in (15 * s, 16 * s), f"the header band is {band} device rows, not 15 or 16 times {s}")
        below = crop(img, self.device((rect[0], rect[1] + 16, rect[2], min(rect[3] - 16, 32))))
        check(below.has(e2elib.BEIGE), "no beige rows below the header band")
        return rect, img

    def band(self, img, rect):
        return e2elib.header_band(crop(img, self.device(rect)))

    def open_box(self, rect, at=ROW):
        x, y = rect[0] + at[0], rect[1] + at[1]
        self.desk.move(x, y)
        self.desk.move(x + 1, y)
        time.sleep(0.1)
        self.desk.click(x + 1, y, 2)
        img = self.settled("box", lambda i: red_box(i) is not None)
        return red_box(img), img

    def closed(self, how):
        self.settled(f"closed-{how}", lambda i: red_box(i) is None)

    def box_over(self, box, rect):
        """Over the main window, centred across it. Where the box fits in the
        main window (the frame the program sees included) it is placed as
        the program asks: centred both ways. Beyond, it is a window of its
        own that the compositor places: centred across the main window and
        over it is what the program can count on (as under Xwayland)."""
        s = self.desk.scale
        bx, by, bw, bh = (v / s for v in box)
        wx, wy = rect[0] - INSETS[0], rect[1] - INSETS[1]
        ww, wh = rect[2] + INSETS[0] + INSETS[2], rect[3] + INSETS[1] + INSETS[3]
        where = f"the box at {bx:.0f},{by:.0f} {bw:.0f}x{bh:.0f} over the window at {wx},{wy} {ww}x{wh}"
        inside = bx >= wx and by >= wy and bx + bw <= wx + ww and by + bh <= wy + wh
        check(abs(bx + bw / 2 - (wx + ww / 2)) <= (2 if inside else 8), f"{where}: not centred across it")
        if inside:
            check(abs(by + bh / 2 - (wy + wh / 2)) <= 2, f"{where}: not centred down it")
        else:
            check(by < wy + wh and by + bh > wy, f"{where}: not over it")

    def corners_clear(self, before, after, box):
        bx, by, bw, bh = box
        for px, py in ((bx + 2, by + 2), (bx + bw - 3, by + 2), (bx + 2, by + bh - 3), (bx + bw - 3, by + bh - 3)):
            check(after.pixel(px, py) == before.pixel(px, py),
                  f"the box's corner at {px},{py} shows {after.pixel(px, py)}, not {before.pixel(px, py)} behind it")

    def done_when(self):
        """Without any input device at the start, the window maps titled
        "Morvalen" with its band and rows; with a pointer and keyboard, a
        double-click opens the oval box centred over it with its corners
        clear, O closes it, and Alt+X ends the program with 0."""
        proc = self.start()
        try:
            rect, before = self.shows_window(proc)
            self.input_ready()
            box, after = self.open_box(rect)
            self.box_over(box, rect)
            self.corners_clear(before, after, box)
            self.desk.key("o")
            self.closed("o")
            check(proc.running(), "the program ended with the about box")
            self.desk.key("alt+x")
            proc.expect_exit(0)
        finally:
            proc.stop()

    def modal_and_dragged(self):
        """Floating: a click on the main window leaves the box on top and
        taking keys; a press on the box's body drags it (low on the oval,
        where the box lies over the main window: sway gives a pop-up no
        input beyond its owner); a hundred openings of the box leave no
        descriptor or buffer behind."""
        proc = self.start()
        try:
            self.input_ready()
            self.desk.main_view(proc)
            self.desk.swaymsg(f"[pid={proc.proc.pid}]", "floating", "enable")
            time.sleep(0.3)
            rect, _ = self.shows_window(proc)
            box, _ = self.open_box(rect)
            self.box_over(box, rect)
            self.desk.click(rect[0] + 50, rect[1] + 24)
            time.sleep(0.5)
            check(red_box(self.screen("after-click")) == box, "a click on the main window moved or hid the box")
            self.desk.key("o")
            self.closed("o-after-click")

            box, _ = self.open_box(rect)
            s = self.desk.scale
            bx, by, bw, bh = (v // s for v in box)
            start = (bx + bw * 22 // 100, by + bh - 30)
            self.desk.move(*start)
            self.desk.send("down 1")
            # At a hand's pace: a compositor that moves the window itself
            # starts from where the pointer is when the client asks it to.
            self.desk.send("sleep 100")
            for step in range(1, 11):
                self.desk.move(start[0] + 4 * step, start[1] + 3 * step)
                self.desk.send("sleep 20")
            self.desk.send("up 1")
            moved = self.settled("dragged", lambda i: red_box(i) not in (None, box))
            got = red_box(moved)
            check(abs(got[0] - box[0] - 40 * s) <= s and abs(got[1] - box[1] - 30 * s) <= s,
                  f"the box dragged by 40,30 went from {box[:2]} to {got[:2]}")
            self.desk.key("o")
            self.closed("o-after-drag")

            fds, buffers = proc.descriptors(), proc.surface_buffers()
            row = (rect[0] + ROW[0], rect[1] + ROW[1])
            for n in range(100):
                self.desk.click(*row, 2)
                self.wait_screen(f"box {n + 1} of 100", lambda i: red_box(i) is not None)
                self.desk.key("o")
                self.wait_screen(f"box {n + 1} of 100 closed", lambda i: red_box(i) is None)
            check(proc.descriptors() <= fds, f"{proc.descriptors() - fds} descriptors more after 100 boxes")
            check(proc.surface_buffers() <= buffers,
                  f"{proc.surface_buffers() - buffers} window buffers more after 100 boxes")
            self.desk.key("alt+x")
            proc.expect_exit(0)
        finally:
            proc.stop()

    def scaled(self):
        """At scale 2 the window and the box are drawn at twice the size,
        sharp (text is not enlarged pixels); when the compositor goes away
        the program ends at once with a message."""
        proc = self.start()
        try:
            rect, img = self.shows_window(proc)
            band = self.device((rect[0], rect[1], min(rect[2], 540), 16))
            blocks = sharp_blocks(img, band, 2)
            check(blocks > 100, f"only {blocks} 2x2 blocks of the header band's text are not one colour: enlarged")
            self.input_ready()
            box, _ = self.open_box(rect)
            self.box_over(box, rect)
            self.desk.key("o")
            self.closed("o")
            compositors.end_group(self.desk.procs[0])
            err = proc.expect_exit(1)
            check("lost" in err, f"no word of the lost compositor on stderr: {err!r}")
        finally:
            proc.stop()


def main():
    if len(sys.argv) != 4 or sys.argv[1] != "sway":
        print(__doc__)
        sys.exit(2)
    morvalen, wlinput = sys.argv[2], sys.argv[3]
    shots_dir = os.environ.get("MORVALEN_E2E_SHOTS")
    cases = []
    desks = []

    def on(scale, run):
        def case():
            tmp = tempfile.mkdtemp(prefix=f"morvalen-native-{sys.argv[1]}-")
            desk = NativeSway(tmp)
            desk.scale = scale
            desk.wlinput = wlinput
            desks.append(desk)
            try:
                try:
                    desk.start()
                except Failure as e:
                    compositors.skip(f"{desk.name} did not start here: {e}")
                run(Session(desk, morvalen, shots_dir or tmp))
            finally:
                desk.stop()
                shutil.rmtree(tmp, True)

        return case

    cases = [
        ("no DISPLAY: the window maps titled Morvalen with band and rows, a double-click opens the box centred over it, "
         "O closes it, Alt+X ends with 0", on(1, Session.done_when)),
        ("floating: a click on the main window keeps the box on top, the box drags by its body, 100 boxes leak nothing",
         on(1, Session.modal_and_dragged)),
        ("scale 2: drawn sharp at twice the size, the box too; the compositor gone, the program ends with a message",
         on(2, Session.scaled)),
    ]
    e2elib.main(cases)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    main()
