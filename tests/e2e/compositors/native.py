#!/usr/bin/env python3
"""The real program as a Wayland client of its own (no Xwayland, no
DISPLAY) under a compositor started here privately, driven as a user
drives it, its screen read back:

  sway    headless as an unprivileged user, Xwayland switched off, at
          scale 1 and 2: input through the wlroots virtual pointer and
          keyboard (wlinput), the screen read by grim, windows by swaymsg;
  weston  headless with its software renderer at scale 1 and 2 for the
          picture (weston-screenshooter), and in a window of a private
          Xvfb for input (xdotool on the Xvfb) and its screen (read back
          from the Xvfb);
  mutter, kwin  in a window of a private Xvfb likewise (their headless
          modes show their screens only over PipeWire and take input only
          over D-Bus interfaces this machine lacks); KWin at scale 1 and
          1.5, its window then showing the output's device pixels.

usage: native.py COMPOSITOR MORVALEN WLINPUT|- XPROBE"""

import glob
import json
import os
import re
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
from e2elib import Failure, check, device_edge, logical_pixel  # noqa: E402

RED = (255, 0, 0)
# The first row of the list in the main window's client area, as in the
# Xwayland tests.
ROW = compositors.ROW
# The window rectangle the program sees around its client area: the frame
# and caption it sizes its windows by.
INSETS = (4, 23, 4, 4)


def red_box(img):
    """The bounding box (x, y, w, h) of the about box's red outline, or None:
    the largest run of touching red pixels (the drive icons have red lamps,
    which may touch the outline), measured across its middle row and down
    its middle column, where an ellipse is widest and tallest."""
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
    left, top, right, bottom = min(xs), min(ys), max(xs), max(ys)
    for _ in range(2):
        mid_y, mid_x = (top + bottom) // 2, (left + right) // 2
        across = [x for x, y in best if abs(y - mid_y) <= 1]
        down = [y for x, y in best if abs(x - mid_x) <= 1]
        if across and down:
            left, right, top, bottom = min(across), max(across), min(down), max(down)
    return left, top, right - left + 1, bottom - top + 1


# The classic frame's caption: the active and inactive caption colours and
# the buttons' face.
CAPTION_COLOURS = ((0, 0, 128), (128, 128, 128))
BUTTON_FACE = (192, 192, 192)


def frame_drawn(img, rect, scale=1):
    """Whether the program drew its classic frame above the client area
    `rect`: the caption bar's colour along the row through its middle, and
    the close button's face at its right end."""
    x, y, w, _ = (device_edge(v, scale) for v in rect)
    row = y - device_edge(12, scale)
    if row < 0:
        return False
    bar = [img.pixel(px, row) for px in range(x + device_edge(2, scale), x + w // 2)]
    coloured = max(bar.count(c) for c in CAPTION_COLOURS)
    button = [img.pixel(px, row) for px in range(x + w - device_edge(20, scale), x + w)]
    return coloured > len(bar) * 3 // 4 and BUTTON_FACE in button


def crop(img, rect):
    x, y, w, h = rect
    data = b"".join(img.data[((y + r) * img.width + x) * 3:((y + r) * img.width + x + w) * 3] for r in range(h))
    return e2elib.Image(w, h, data)


def client_area(img, around, scale, device=False):
    """The main window's client area (x, y, w, h, in logical pixels, or with
    `device` in the screen's) as the screen shows it within `around`
    (logical): from the top of the header band (navy with yellow text), as
    wide as the band, down to the end of the beige list below it (measured
    left of the bars, where every row is beige)."""
    ax, ay, aw, ah = (device_edge(v, scale) for v in around)
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
        probe = ax + left + device_edge(50, scale)
        bottom = top
        while bottom < ay + ah and img.pixel(probe, bottom) in (e2elib.NAVY, e2elib.YELLOW):
            bottom += 1
        while bottom < ay + ah and img.pixel(probe, bottom) == e2elib.BEIGE:
            bottom += 1
        found = (ax + left, top, right - left, bottom - top)
        return found if device else tuple(logical_pixel(v, scale) for v in found)
    raise Failure(f"no header band in {around}")


def sharp_blocks(img, rect, scale):
    """How many logical pixels of rect (device pixels, from its corner) do
    not show one colour over the device pixels they cover at `scale`: a
    picture drawn at 1x and enlarged has none."""
    x0, y0, w, h = rect

    def spans(size):
        v, out = 0, []
        while device_edge(v + 1, scale) <= size:
            out.append((device_edge(v, scale), device_edge(v + 1, scale)))
            v += 1
        return out

    count = 0
    for top, bottom in spans(h):
        for left, right in spans(w):
            first = img.pixel(x0 + left, y0 + top)
            if any(img.pixel(x0 + x, y0 + y) != first for y in range(top, bottom) for x in range(left, right)):
                count += 1
    return count


class Program:
    """The program started on the compositor's Wayland display alone."""

    def __init__(self, morvalen, env, tmp, path=None, protocol=False):
        """With `protocol`, libwayland logs the requests and events on
        stderr (WAYLAND_DEBUG)."""
        env = dict(env)
        env.pop("DISPLAY", None)
        if path:
            env["PATH"] = f"{path}:{env.get('PATH', '/usr/bin:/bin')}"
        if protocol:
            env["WAYLAND_DEBUG"] = "client"
        # In a file: a pipe nobody reads while the program runs could fill.
        self.err = tempfile.TemporaryFile(dir=tmp)
        self.proc = subprocess.Popen([morvalen], env=env, stdout=subprocess.DEVNULL, stderr=self.err)

    def running(self):
        return self.proc.poll() is None

    def stderr(self):
        self.err.seek(0)
        return self.err.read().decode(errors="replace").strip()

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
    reenter_before_press = False

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

    def around(self, proc):
        """Where to look for the main window, in the output's logical
        pixels: sway's place for it, once it is an xdg-shell window titled
        "Morvalen" and named for its desktop file."""
        view = self.main_view(proc)
        check(view.get("name") == "Morvalen" and view.get("app_id") == "morvalen" and view.get("shell") == "xdg_shell",
              f"sway shows {view.get('shell')} window {view.get('name')!r} of app {view.get('app_id')!r}")
        r, w = view["rect"], view["window_rect"]
        return r["x"] + w["x"], r["y"] + w["y"], w["width"], w["height"]

    def press(self, button):
        self.send(f"down {button}")

    def release(self, button):
        self.send(f"up {button}")

    def pause(self, ms):
        self.send(f"sleep {ms}")

    def float_program(self, proc):
        self.main_view(proc)
        self.swaymsg(f"[pid={proc.proc.pid}]", "floating", "enable")
        time.sleep(0.3)


class Nested(compositors.XTestInput, compositors.Desktop):
    """A compositor in a window of a private Xvfb: its screen is that window,
    read back from the X server, and its input comes from XTest there."""

    socket = "morvalen-wayland"
    programs = ()
    reenter_before_press = False

    def command(self, run):
        raise NotImplementedError

    def environment(self):
        return {}

    def device_size(self):
        """The compositor's window: its output in device pixels."""
        return tuple(round(v * self.scale) for v in self.size)

    def start(self):
        e2elib.programs_or_skip("Xvfb", "xdotool", *self.programs, hint=f" (the {self.name} tests need it)")
        w, h = self.device_size()
        # The outer server is larger than the compositor's window, so that
        # the pointer can leave it and enter again.
        self.xvfb, self.input_display = e2elib.start_xvfb(f"{w + 64}x{h + 64}x24")
        run = tempfile.mkdtemp(prefix=f"{self.name}-", dir=self.tmp)
        env = dict(os.environ, DISPLAY=self.input_display, XDG_RUNTIME_DIR=run, **self.environment())
        for name in ("WAYLAND_DISPLAY", "WAYLAND_SOCKET", "XAUTHORITY"):
            env.pop(name, None)
        log = os.path.join(self.tmp, f"{self.name}.log")
        proc = self.spawn(self.command(run), log, env=env, cwd=run)
        socket = os.path.join(run, self.socket)
        compositors.wait_for(f"{self.name}'s Wayland socket", lambda: os.path.exists(socket), timeout=30, proc=proc,
                             log=log)
        self.wl_env = dict(os.environ, XDG_RUNTIME_DIR=run, WAYLAND_DISPLAY=self.socket)
        time.sleep(1.0)
        # Out of the compositor's window and into it again, in the Xvfb's pixels.
        compositors.XTestInput.move(self, w + 32, h + 32)
        time.sleep(0.2)
        compositors.XTestInput.move(self, w // 2, h // 2)

    def around(self, proc):
        return (0, 0, *self.size)

    def screen(self, path):
        subprocess.run([self.xprobe, "rootsnap", path], env=dict(os.environ, DISPLAY=self.input_display), check=True,
                       timeout=10, capture_output=True)
        return crop(e2elib.read_ppm(path), (0, 0, *self.device_size()))

    def move(self, x, y):
        # The compositor's window shows its output in device pixels.
        super().move(device_edge(x, self.scale), device_edge(y, self.scale))

    def press(self, button):
        self.xdotool("mousedown", str(button))

    def release(self, button):
        self.xdotool("mouseup", str(button))

    def pause(self, ms):
        time.sleep(ms / 1000)

    def float_program(self, proc):
        pass

    def stop(self):
        compositors.Desktop.stop(self)
        if getattr(self, "xvfb", None):
            self.xvfb.terminate()
            self.xvfb.wait()


# weston 14 drops all input while it fades its desktop in (as the Xwayland
# tests found): no fade.
WESTON_INI = ("[core]\nidle-time=0\n[shell]\nstartup-animation=none\npanel-position=none\n"
              "background-color=0xff336699\n")


class NestedWeston(Nested):
    name = "weston"
    programs = ("weston",)

    def command(self, run):
        ini = os.path.join(run, "weston.ini")
        with open(ini, "w") as f:
            f.write(WESTON_INI)
        w, h = self.size
        return ["weston", "--backend=x11-backend.so", "--use-pixman", f"--config={ini}", f"--width={w}",
                f"--height={h}", f"--socket={self.socket}", f"--log={os.path.join(self.tmp, 'weston-own.log')}"]


class NestedMutter(Nested):
    name = "mutter"
    programs = ("mutter", "dbus-run-session")
    reenter_before_press = True

    @property
    def places_popups(self):
        """mutter from 47 takes the modal hint (xdg_dialog_v1): the box is a
        dialog of the main window that mutter places itself."""
        r = subprocess.run(["mutter", "--version"], capture_output=True, text=True, timeout=10)
        words = r.stdout.split()
        return len(words) > 1 and words[1].split(".")[0].isdigit() and int(words[1].split(".")[0]) >= 47

    def environment(self):
        w, h = self.size
        return {"MUTTER_DEBUG_DUMMY_MODE_SPECS": f"{w}x{h}"}

    def command(self, run):
        return ["dbus-run-session", "--", "mutter", "--nested", "--wayland", "--no-x11", "--wayland-display",
                self.socket]


class NestedKWin(Nested):
    name = "kwin"
    programs = ("kwin_wayland", "dbus-run-session")

    def environment(self):
        # Software compositing (no GPU needed), and a configuration of its
        # own: KWin 6 keeps each output's scale there for the next start.
        config = os.path.join(self.tmp, "config")
        os.makedirs(config, exist_ok=True)
        return {"KWIN_COMPOSE": "Q", "XDG_CONFIG_HOME": config}

    def binary(self):
        """kwin_wayland carries a file capability that a container without
        it cannot grant: a plain copy (of that name) runs anywhere."""
        copy = os.path.join(self.tmp, "kwin_wayland")
        if not os.path.exists(copy):
            shutil.copy(shutil.which("kwin_wayland"), copy)
        return copy

    def command(self, run):
        w, h = self.size
        return ["dbus-run-session", "--", self.binary(), "--x11-display", self.input_display, "--width", str(w),
                "--height", str(h), "--scale", str(self.scale), "--socket", self.socket, "--no-lockscreen",
                "--no-global-shortcuts"]

    def start(self):
        """KWin 5 gives its output the scale of --scale. KWin 6 only sizes
        its window by it and keeps the output at 1 (measured with KWin 6.3:
        wl_output.scale 1, preferred_scale 120): there the output's scale is
        set as a user sets it, with kscreen-doctor."""
        if self.scale != 1 and self.major_version() >= 6:
            e2elib.programs_or_skip("kscreen-doctor", hint=" (KWin 6 takes an output's scale from it)")
        Nested.start(self)
        if self.scale != 1 and self.major_version() >= 6:
            env = dict(self.wl_env, KSCREEN_BACKEND_INPROCESS="1", QT_QPA_PLATFORM="wayland", **self.environment())
            env.pop("DBUS_SESSION_BUS_ADDRESS", None)

            def doctor(*args):
                r = subprocess.run(["kscreen-doctor", *args], env=env, capture_output=True, text=True, timeout=20)
                if r.returncode != 0:
                    raise Failure(f"kscreen-doctor {' '.join(args)}: {r.stdout.strip()} {r.stderr.strip()}")
                return re.sub(r"\x1b\[[0-9;]*m", "", r.stdout)

            names = re.findall(r"^Output: \d+ (\S+)", doctor("-o"), re.M)
            check(bool(names), "kscreen-doctor names no output of KWin's")
            doctor(f"output.{names[0]}.scale.{self.scale}")
            time.sleep(0.5)

    def major_version(self):
        r = subprocess.run([self.binary(), "--version"], capture_output=True, text=True, timeout=10,
                           env=dict(os.environ, XDG_RUNTIME_DIR=self.tmp))
        m = re.search(r"(\d+)\.\d+", r.stdout + r.stderr)
        return int(m.group(1)) if m else 0


class HeadlessWeston(compositors.Desktop):
    """weston headless with its software renderer: pictures only (its
    headless back-end has no seat)."""

    name = "weston"
    socket = "morvalen-wayland"

    def start(self):
        e2elib.programs_or_skip("weston", "weston-screenshooter", hint=" (the weston tests need it)")
        run = tempfile.mkdtemp(prefix="weston-", dir=self.tmp)
        ini = os.path.join(run, "weston.ini")
        with open(ini, "w") as f:
            f.write(WESTON_INI)
        # The output's size in its logical pixels; scaled, the smallest the
        # program is made for, so that the screenshots stay small.
        if self.scale > 1:
            self.size = (640, 480)
        w, h = self.size
        env = dict(os.environ, XDG_RUNTIME_DIR=run)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET"):
            env.pop(name, None)
        log = os.path.join(self.tmp, "weston.log")
        proc = self.spawn(["weston", "--backend=headless-backend.so", "--use-pixman", f"--config={ini}",
                           f"--width={w}", f"--height={h}", f"--scale={self.scale}", f"--socket={self.socket}",
                           "--debug"], log, env=env, cwd=run)
        socket = os.path.join(run, self.socket)
        compositors.wait_for("weston's Wayland socket", lambda: os.path.exists(socket), timeout=30, proc=proc, log=log)
        self.wl_env = dict(os.environ, XDG_RUNTIME_DIR=run, WAYLAND_DISPLAY=self.socket)
        self.shooter = tempfile.mkdtemp(prefix="shots-", dir=self.tmp)

    def around(self, proc):
        return (0, 0, *self.size)

    def screen(self, path):
        for old in glob.glob(os.path.join(self.shooter, "*.png")):
            os.unlink(old)
        r = subprocess.run(["weston-screenshooter"], env=self.wl_env, cwd=self.shooter, capture_output=True, text=True,
                           timeout=20)
        shots = glob.glob(os.path.join(self.shooter, "*.png"))
        if r.returncode != 0 or not shots:
            raise Failure(f"weston-screenshooter: {r.stderr.strip()}")
        shutil.copy(shots[0], path.replace(".ppm", ".png"))
        return e2elib.read_png(shots[0])


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
        return tuple(device_edge(v, self.desk.scale) for v in rect)

    def start(self, path=None, protocol=False):
        return Program(self.morvalen, self.desk.wl_env, self.desk.tmp, path, protocol)

    def fake_opener(self):
        """A directory with an xdg-open that notes the address it is given and
        the activation token it came with, to put first on PATH."""
        where = tempfile.mkdtemp(prefix="opener-", dir=self.desk.tmp)
        self.opened = os.path.join(where, "opened")
        script = os.path.join(where, "xdg-open")
        with open(script, "w") as f:
            f.write(f'#!/bin/sh\nprintf "%s\\n%s\\n" "$1" "${{XDG_ACTIVATION_TOKEN-}}" > "{self.opened}.tmp"\n'
                    f'mv "{self.opened}.tmp" "{self.opened}"\n')
        os.chmod(script, 0o755)
        return where

    def input_ready(self):
        """The seat gains a pointer and a keyboard; the first key of a new
        keyboard is lost to a client that has not yet taken it."""
        if isinstance(self.desk, NativeSway):
            self.desk.start_input()
            time.sleep(0.5)
        self.desk.key("shift")
        time.sleep(0.2)

    def shows_window(self, proc, framed=None):
        """The main window with the header band and rows; with `framed`, with
        (or without) the classic frame the program draws where the
        compositor draws none."""
        around = self.desk.around(proc)
        img = self.settled("main", lambda i: self.main_at(i, around) is not None)
        rect = client_area(img, around, self.desk.scale)
        band, yellow = self.band(img, rect)
        s = self.desk.scale
        # The system fixed font's line: 15 or 16 pixels.
        check(band in (device_edge(15, s), device_edge(16, s)),
              f"the header band is {band} device rows, not 15 or 16 times {s}")
        below = crop(img, self.device((rect[0], rect[1] + 16, rect[2], min(rect[3] - 16, 32))))
        check(below.has(e2elib.BEIGE), "no beige rows below the header band")
        if framed is not None:
            check(frame_drawn(img, rect, s) == framed,
                  f"the program {'drew no' if framed else 'drew its own'} frame above the client area at {rect}")
        return rect, img

    def main_at(self, img, around):
        try:
            return client_area(img, around, self.desk.scale)
        except Failure:
            return None

    def band(self, img, rect):
        return e2elib.header_band(crop(img, self.device(rect)))

    def open_box(self, rect, at=ROW):
        self.click(rect[0] + at[0], rect[1] + at[1], 2)
        img = self.settled("box", lambda i: red_box(i) is not None)
        return red_box(img), img

    def closed(self, how):
        self.settled(f"closed-{how}", lambda i: red_box(i) is None)

    def box_over(self, box, rect):
        """Over the main window, centred across it. Where the box fits in the
        main window (the frame the program sees included) it is placed as
        the program asks: centred both ways. Beyond, a compositor may place
        it: centred across the main window and over it is what the program
        can count on (as under Xwayland)."""
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

    def box_placed_as_asked(self, box, rect):
        """Where the program puts it: centred across the main window and down
        it, or, taller than the window, ending where the window ends (the
        red outline a few pixels inside the box's edge)."""
        s = self.desk.scale
        bx, by, bw, bh = (v / s for v in box)
        wx, wy = rect[0] - INSETS[0], rect[1] - INSETS[1]
        ww, wh = rect[2] + INSETS[0] + INSETS[2], rect[3] + INSETS[1] + INSETS[3]
        where = f"the box at {bx:.0f},{by:.0f} {bw:.0f}x{bh:.0f} over the window at {wx},{wy} {ww}x{wh}"
        check(abs(bx + bw / 2 - (wx + ww / 2)) <= 2, f"{where}: not centred across it")
        if bh < wh:
            check(abs(by + bh / 2 - (wy + wh / 2)) <= 2, f"{where}: not centred down it")
        else:
            check(abs(by + bh - (wy + wh)) <= 5, f"{where}: does not end where the window ends")

    def corners_clear(self, before, after, box):
        bx, by, bw, bh = box
        for px, py in ((bx + 2, by + 2), (bx + bw - 3, by + 2), (bx + 2, by + bh - 3), (bx + bw - 3, by + bh - 3)):
            check(after.pixel(px, py) == before.pixel(px, py),
                  f"the box's corner at {px},{py} shows {after.pixel(px, py)}, not {before.pixel(px, py)} behind it")

    def click_keeps_box(self, rect, box):
        """A click on the (disabled) main window, away from the box, leaves
        the box where it was and on top, and O still closes it."""
        self.click(rect[0] + 50, rect[1] + 24)
        time.sleep(0.5)
        check(red_box(self.screen("after-click")) == box, "a click on the main window moved or hid the box")
        self.desk.key("o")
        self.closed("o-after-click")

    def arrive(self, x, y):
        """Brings the pointer to (x, y) so that the program hears it is there
        before the next press: with a motion of its own, and under mutter 48
        in Xvfb by leaving the window and entering it there (it tells a
        client where the pointer went only when it enters or while a button
        is held)."""
        if getattr(self.desk, "reenter_before_press", False):
            self.desk.move(2, 2)
            self.desk.pause(100)
        else:
            self.desk.move(x - 1, y)
        self.desk.move(x, y)
        self.desk.pause(100)

    def click(self, x, y, count=1):
        self.arrive(x, y)
        self.desk.click(x, y, count)

    def drag(self, start, by):
        """Presses the left button at `start`, moves by `by` at a hand's pace
        (a compositor that moves a window itself starts from where the
        pointer is when the client asks it to) and lets go. The pointer
        arrives at `start` first (see arrive)."""
        self.arrive(*start)
        self.desk.press(1)
        self.desk.pause(100)
        for step in range(1, 11):
            self.desk.move(start[0] + by[0] * step // 10, start[1] + by[1] * step // 10)
            self.desk.pause(20)
        self.desk.release(1)

    def box_drags(self, box, start):
        s = self.desk.scale
        self.drag(start, (40, 30))
        moved = self.settled("dragged", lambda i: red_box(i) not in (None, box))
        got = red_box(moved)
        check(abs(got[0] - box[0] - 40 * s) <= s and abs(got[1] - box[1] - 30 * s) <= s,
              f"the box dragged by 40,30 went from {box[:2]} to {got[:2]}")
        self.desk.key("o")
        self.closed("o-after-drag")

    def link_opens(self, rect):
        """The box's link closes the box and hands the address to xdg-open
        with a token that lets the browser come forward."""
        box, _ = self.open_box(rect)
        s = self.desk.scale
        # The link: centred, one line below the two lines of text, which
        # start two lines and the icon's height below the box's top.
        self.click(logical_pixel(box[0] + box[2] // 2, s), logical_pixel(box[1], s) + 2 * 16 + 32 + 3 * 16 + 8)
        self.closed("link")
        opened = compositors.wait_for("the address handed to xdg-open", lambda: os.path.exists(self.opened) and
                                      open(self.opened).read().splitlines(), timeout=5)
        check(opened[0].startswith("http") and len(opened) == 2 and opened[1],
              f"xdg-open was given {opened}: an address and an activation token expected")

    def done_when(self):
        """Without any input device at the start, the window maps titled
        "Morvalen" with its band and rows; with a pointer and keyboard, a
        double-click opens the oval box centred over it with its corners
        clear, O closes it; the link opens the address with a token that
        lets the browser come forward, and closes the box; Alt+X ends the
        program with 0."""
        proc = self.start(path=self.fake_opener())
        try:
            rect, before = self.shows_window(proc)
            self.input_ready()
            box, after = self.open_box(rect)
            self.box_over(box, rect)
            self.corners_clear(before, after, box)
            self.desk.key("o")
            self.closed("o")
            self.link_opens(rect)
            check(proc.running(), "the program ended with the about box")
            self.desk.key("alt+x")
            proc.expect_exit(0)
        finally:
            proc.stop()

    def modal_and_dragged(self):
        """Floating: a click on the main window leaves the box on top and
        taking keys; a press on the box's body drags it (low on the oval,
        where the box lies over the main window: sway 1.7 gives a pop-up no
        input beyond its owner); a hundred openings of the box leave no
        descriptor or buffer behind."""
        proc = self.start()
        try:
            self.input_ready()
            self.desk.float_program(proc)
            rect, _ = self.shows_window(proc)
            box, _ = self.open_box(rect)
            self.box_over(box, rect)
            self.click_keeps_box(rect, box)
            box, _ = self.open_box(rect)
            s = self.desk.scale
            bx, by, bw, bh = (v // s for v in box)
            self.box_drags(box, (bx + bw * 22 // 100, by + bh - 30))
            self.no_leaks(proc, rect)
            self.desk.key("alt+x")
            proc.expect_exit(0)
        finally:
            proc.stop()

    def no_leaks(self, proc, rect):
        fds, buffers = proc.descriptors(), proc.surface_buffers()
        row = (rect[0] + ROW[0], rect[1] + ROW[1])
        for n in range(100):
            self.click(*row, 2)
            self.wait_screen(f"box {n + 1} of 100", lambda i: red_box(i) is not None)
            self.desk.key("o")
            self.wait_screen(f"box {n + 1} of 100 closed", lambda i: red_box(i) is None)
        check(proc.descriptors() <= fds, f"{proc.descriptors() - fds} descriptors more after 100 boxes")
        check(proc.surface_buffers() <= buffers, f"{proc.surface_buffers() - buffers} window buffers more after 100 boxes")

    def scaled(self):
        """At scale 2 the window and the box are drawn at twice the size,
        sharp (text is not enlarged pixels); in the box Tab and the arrows
        keep the focus on Ok and Enter presses it; when the compositor goes
        away the program ends at once with a message."""
        proc = self.start()
        try:
            rect, img = self.shows_window(proc)
            self.sharp(img, rect)
            self.input_ready()
            box, _ = self.open_box(rect)
            self.box_over(box, rect)
            for key in ("Tab", "Right", "Left"):
                self.desk.key(key)
            time.sleep(0.3)
            check(red_box(self.screen("after-tab")) is not None, "Tab or an arrow closed the box")
            self.desk.key("Return")
            self.closed("return")
            compositors.end_group(self.desk.procs[0])
            err = proc.expect_exit(1)
            check("lost" in err, f"no word of the lost compositor on stderr: {err!r}")
        finally:
            proc.stop()

    def outputs_change(self):
        """An output added, the scale of the window's output changed and that
        output then switched off while the box is open: the program lives
        on, O closes the box and Alt+X ends it with 0; Esc at the start (the
        main window has the focus) ends it with 0 too."""
        proc = self.start()
        try:
            self.shows_window(proc)
            self.input_ready()
            self.desk.key("Escape")
            proc.expect_exit(0)
        finally:
            proc.stop()
        proc = self.start()
        try:
            rect, _ = self.shows_window(proc)
            self.open_box(rect)
            self.desk.swaymsg("create_output")
            self.desk.swaymsg("output", "HEADLESS-1", "scale", "2")
            time.sleep(0.5)
            check(proc.running(), "the program ended when its output's scale changed")
            self.desk.swaymsg("output", "HEADLESS-1", "disable")
            time.sleep(0.5)
            check(proc.running(), "the program ended when its output was switched off")
            self.desk.key("o")
            time.sleep(0.5)
            self.desk.key("alt+x")
            proc.expect_exit(0)
        finally:
            proc.stop()

    def buffer_at_scale(self, proc, rect):
        """At a fractional scale the window's buffer holds its device pixels
        one for one: as many as its logical size times the scale, shown at
        that logical size through the viewport (a buffer at the next whole
        scale, shrunk by the compositor, may look as sharp)."""
        log = proc.stderr()
        s = self.desk.scale
        shown = [tuple(map(int, m)) for m in re.findall(r"set_destination\((\d+), (\d+)\)", log)]
        check(any(abs(w - rect[2]) <= 8 and abs(h - rect[3]) <= 8 for w, h in shown),
              f"the {rect[2]}x{rect[3]} window is not shown through the viewport at its size: {shown}")
        w, h = next((w, h) for w, h in shown if abs(w - rect[2]) <= 8 and abs(h - rect[3]) <= 8)
        # libwayland writes wl_buffer@7 (1.21) or wl_buffer#7 (1.23).
        made = re.findall(r"create_buffer\(new id wl_buffer[@#]\d+, \d+, (\d+), (\d+),", log)
        sizes = {tuple(map(int, m)) for m in made}
        check((device_edge(w, s), device_edge(h, s)) in sizes,
              f"no buffer of {device_edge(w, s)}x{device_edge(h, s)} for the {w}x{h} window at {s}x: {sorted(sizes)}")

    def moves_between_scales(self):
        """Moved to an output at scale 2 the window is drawn there at twice
        the size and sharp; moved back, at its own size again."""
        proc = self.start()
        try:
            self.shows_window(proc)
            w, h = self.desk.size
            self.desk.swaymsg("create_output")
            self.desk.swaymsg("output", "HEADLESS-2", "resolution", f"{2 * w}x{2 * h}", "position", f"{w}", "0",
                              "scale", "2")
            for output, scale in (("HEADLESS-2", 2), ("HEADLESS-1", 1)):
                self.desk.swaymsg(f"[pid={proc.proc.pid}]", "move", "container", "to", "output", output)
                self.desk.shot_output, self.desk.scale = output, scale
                img = self.settled(f"on-{output}", lambda i: self.main_at(i, (0, 0, w, h)) is not None)
                rect = client_area(img, (0, 0, w, h), scale)
                band, _ = self.band(img, rect)
                check(band in (device_edge(15, scale), device_edge(16, scale)),
                      f"on {output} at scale {scale} the header band is {band} device rows")
                if scale != 1:
                    self.sharp(img, rect)
            check(proc.running(), "the program ended on its way between the outputs")
        finally:
            self.desk.shot_output, self.desk.scale = None, 1
            proc.stop()

    def sharp(self, img, rect):
        """The header band drawn at the scale: its text in navy and yellow
        alone (a picture drawn at another scale and resampled blends them),
        and not the same colour across every logical pixel (enlarged)."""
        s = self.desk.scale
        # From the client area's corner as the screen has it: a window at a
        # fractional place has its device pixels off the logical grid.
        x, y, w, _ = client_area(img, (rect[0] - 1, rect[1] - 1, rect[2] + 2, rect[3] + 2), s, device=True)
        band = (x, y, min(w, device_edge(540, s)), device_edge(16, s))
        blocks = sharp_blocks(img, band, s)
        check(blocks > 100, f"only {blocks} logical pixels of the header band's text are not one colour at {s}x: "
              "enlarged")
        text = crop(img, (x, y, band[2], device_edge(15, s)))
        blended = {text.pixel(x, y) for y in range(text.height) for x in range(text.width)} - {e2elib.NAVY,
                                                                                            e2elib.YELLOW}
        check(not blended, f"the header band at {s}x holds colours of neither its text nor its ground: {blended}")

    def draws(self):
        """It maps and draws: the band and rows, in the classic frame the
        program draws itself where the compositor draws none; at scale 2,
        at twice the size and sharp."""
        proc = self.start()
        try:
            rect, img = self.shows_window(proc, framed=True)
            if self.desk.scale > 1:
                self.sharp(img, rect)
        finally:
            proc.stop()

    def framed_desktop(self):
        """The classic frame the program draws: the caption moves the window
        (to the middle of the screen, where the box has room above it), a
        double-click on it maximizes it and another restores it; the about
        box exactly where the program puts it, its corners clear; a
        click on the main window keeps it on top; it drags by its body
        beyond the main window; the close button ends the program with 0."""
        proc = self.start()
        try:
            self.input_ready()
            rect, _ = self.shows_window(proc, framed=True)
            # Well past the compositors' drag threshold, and down to the
            # middle of the screen at least.
            by = (40, max(40, self.desk.size[1] // 2 - rect[1]))
            self.drag((rect[0] + 60, rect[1] - 12), by)
            near = (rect[0] + by[0] - 20, rect[1] + by[1] - 20, rect[2] + 40, rect[3] + 40)
            before = self.settled("moved", lambda i: (self.main_at(i, near) or rect)[:2] != rect[:2])
            moved = client_area(before, near, 1)
            check(moved[:2] == (rect[0] + by[0], rect[1] + by[1]),
                  f"the window dragged by its caption by {by} went from {rect[:2]} to {moved[:2]}")
            rect = self.maximized_and_back(moved)
            box, after = self.open_box(rect)
            if getattr(self.desk, "places_popups", False):
                self.box_over(box, rect)
            else:
                self.box_placed_as_asked(box, rect)
            self.corners_clear(before, after, box)
            self.click_keeps_box(rect, box)
            box, _ = self.open_box(rect)
            bx, by_, bw, bh = box
            self.box_drags(box, (bx + bw // 5, by_ + bh // 3))
            self.click(rect[0] + rect[2] - 10, rect[1] - 10)  # the close button
            proc.expect_exit(0)
        finally:
            proc.stop()

    def maximized_and_back(self, rect):
        """A double-click on the caption maximizes the window (the client
        area grows to the screen less the frame) and another gives it back
        its size and place (the compositor asks for each size, and takes
        only a buffer of that size)."""
        caption = (rect[0] + 60, rect[1] - 12)
        self.click(*caption, 2)
        w, h = self.desk.size
        big = self.settled("maximized", lambda i: (self.main_at(i, (0, 0, w, h)) or rect)[2] > rect[2])
        grown = client_area(big, (0, 0, w, h), 1)
        check(grown[2] >= w - 2 * INSETS[0] - 40, f"maximized, the client area is {grown}")
        self.click(grown[0] + 60, grown[1] - 12, 2)
        back = self.settled("restored", lambda i: (self.main_at(i, (0, 0, w, h)) or grown)[2] < grown[2])
        again = client_area(back, (0, 0, w, h), 1)
        check(again[2:] == rect[2:], f"restored, the client area is {again}, not {rect}")
        time.sleep(0.6)  # past the double-click time: the next click on the list is a first one
        return again

    def server_framed_desktop(self):
        """Framed by the compositor: the program draws no frame of its own;
        the box centred over the main window and kept above it at a click on
        the main window; O closes it; the link opens with an activation
        token; Alt+X ends the program with 0."""
        proc = self.start(path=self.fake_opener(), protocol=self.desk.scale != 1)
        try:
            self.input_ready()
            rect, before = self.shows_window(proc, framed=False)
            if self.desk.scale != 1:
                self.sharp(before, rect)
                self.buffer_at_scale(proc, rect)
            box, after = self.open_box(rect)
            self.box_over(box, rect)
            self.corners_clear(before, after, box)
            self.click_keeps_box(rect, box)
            self.link_opens(rect)
            self.desk.key("alt+x")
            proc.expect_exit(0)
        finally:
            proc.stop()


def cases_of(compositor):
    """(name, desktop class, scale, case) for each case of a compositor."""
    if compositor == "sway":
        return [
            ("no DISPLAY: the window maps titled Morvalen with band and rows, a double-click opens the box centred "
             "over it, O closes it, the link opens with an activation token, Alt+X ends with 0", NativeSway, 1,
             Session.done_when),
            ("floating: a click on the main window keeps the box on top, the box drags by its body, 100 boxes leak "
             "nothing", NativeSway, 1, Session.modal_and_dragged),
            ("scale 2: drawn sharp at twice the size, the box too, Tab and arrows stay on Ok, Enter closes it; the "
             "compositor gone, the program ends with a message", NativeSway, 2, Session.scaled),
            ("Esc at the start ends with 0; an output added, its scale changed, switched off while the box is open",
             NativeSway, 1, Session.outputs_change),
            ("moved to an output at scale 2 and back: drawn sharp at twice the size there, at its own size here",
             NativeSway, 1, Session.moves_between_scales),
        ]
    if compositor == "weston":
        return [
            ("headless: maps and draws in its own frame", HeadlessWeston, 1, Session.draws),
            ("headless at scale 2: drawn sharp at twice the size", HeadlessWeston, 2, Session.draws),
            ("in Xvfb: the caption moves the window, maximizes and restores it; the box where the program puts it, "
             "kept on top, dragged beyond the main window; the close button ends with 0", NestedWeston, 1,
             Session.framed_desktop),
        ]
    if compositor == "mutter":
        return [("in Xvfb: maps in its own frame, the caption moves, maximizes and restores it; the box where the "
                 "program puts it, kept on top, dragged beyond the main window; the close button ends with 0",
                 NestedMutter, 1, Session.framed_desktop)]
    return [("in Xvfb: maps in KWin's frame, the box centred over it kept on top, O closes it, the link opens with "
             "an activation token, Alt+X ends with 0", NestedKWin, 1, Session.server_framed_desktop),
            ("in Xvfb at scale 1.5 (a fractional scale): drawn sharp at one and a half times the size, and all the "
             "above", NestedKWin, 1.5, Session.server_framed_desktop)]


def main():
    if len(sys.argv) != 5 or sys.argv[1] not in ("sway", "weston", "mutter", "kwin"):
        print(__doc__)
        sys.exit(2)
    compositor, morvalen, wlinput, xprobe = sys.argv[1:5]
    shots_dir = os.environ.get("MORVALEN_E2E_SHOTS")

    def on(desktop, scale, run):
        def case():
            tmp = tempfile.mkdtemp(prefix=f"morvalen-native-{compositor}-")
            desk = desktop(tmp)
            desk.scale = scale
            desk.wlinput = wlinput
            desk.xprobe = xprobe
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

    e2elib.main([(name, on(desktop, scale, run)) for name, desktop, scale, run in cases_of(compositor)])


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    main()
