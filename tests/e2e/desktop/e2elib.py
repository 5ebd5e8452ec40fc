"""Shared pieces of the end-to-end scripts: starting the real program on the
test X server, finding its windows, reading pixels back, and waiting for it
to end."""

import atexit
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "scripts"))
import xvfb  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pngread  # noqa: E402

SKIP = 77  # CTest's SKIP_RETURN_CODE for these scripts

# The program goes to the X display each test names, never to a Wayland
# compositor of the session the tests run in; the Wayland tests name their
# own compositor's display.
for _name in ("WAYLAND_DISPLAY", "WAYLAND_SOCKET", "MORVALEN_BACKEND"):
    os.environ.pop(_name, None)

NAVY = (0, 0, 128)
YELLOW = (255, 255, 0)
BEIGE = (245, 245, 220)

# The window rectangle is the client area grown by the sizing frame
# (SM_CXFRAME 4 on each side); without a window manager the X window is
# the client area alone.
FRAME = 4
ITEM_HEIGHT = 16
# The window's width after centring: the program's 540 grown by one pixel.
WINDOW_WIDTH = 541


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def display_or_skip():
    name = os.environ.get("MORVALEN_TEST_DISPLAY")
    if not name:
        print("SKIP: MORVALEN_TEST_DISPLAY is not set (run through scripts/test)")
        sys.exit(SKIP)
    return name


def session():
    """The start of a test on the shared display: the tools for the programs
    named on the command line and a scratch directory removed at exit."""
    tools = Tools(display_or_skip(), *sys.argv[1:4])
    tmp = tempfile.mkdtemp(prefix="morvalen-e2e-")
    atexit.register(shutil.rmtree, tmp, True)
    return tools, tmp


def programs_or_skip(*programs, hint=""):
    """Skips the test when one of the programs is not on PATH."""
    for program in programs:
        if not shutil.which(program):
            print(f"SKIP: {program} is not installed{hint}")
            sys.exit(SKIP)


def start_xvfb(screen="1024x768x24"):
    """A private X server: (process, display name)."""
    try:
        return xvfb.start_xvfb(screen)
    except RuntimeError as e:
        raise Failure(str(e))


def start_openbox(tools, timeout=10.0):
    """openbox on the tools' display, once it manages the screen."""
    wm = subprocess.Popen(["openbox", "--sm-disable"], env=tools.env, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL)
    if not wait_until(lambda: subprocess.run([tools.xprobe, "wmready"], env=tools.env).returncode == 0, timeout):
        wm.kill()
        wm.wait()
        raise Failure("openbox did not start")
    time.sleep(0.3)
    return wm


def start_session_bus(env):
    """A private session bus for programs started with env: (process,
    address). It runs in a process group of its own, so that stop_group also
    ends the services it started (the accessibility bus and registry)."""
    proc = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True, env=env, start_new_session=True)
    return proc, proc.stdout.readline().strip()


def stop_group(proc, timeout=5.0):
    """Ends a process started with start_new_session and everything it
    started in its group: terminated, then killed if it lingers."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(proc.pid, sig)
        except ProcessLookupError:
            pass
        try:
            proc.wait(timeout=timeout)
            if sig == signal.SIGTERM:
                time.sleep(0.1)
                os.killpg(proc.pid, signal.SIGKILL)  # what it started and left behind
            return
        except ProcessLookupError:
            return
        except subprocess.TimeoutExpired:
            continue


def wait_until(predicate, timeout):
    """Whether predicate() holds within timeout seconds, asked every 0.05 s."""
    end = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() >= end:
            return False
        time.sleep(0.05)
    return True


class Tools:
    """command: how to start the program (default: the morvalen binary);
    env: the environment for everything started (default: this one); log:
    a file for the program's output instead of pipes, for programs whose
    helpers live on and would hold a pipe open."""

    def __init__(self, display, morvalen, drives, xprobe, command=None, env=None, log=None):
        self.display = display
        self.morvalen = morvalen
        self.drives = drives
        self.xprobe = xprobe
        self.command = command or [morvalen]
        self.env = dict(os.environ if env is None else env, DISPLAY=display)
        self.log = log

    def run(self, *args, check_rc=True, timeout=10):
        try:
            r = subprocess.run(list(args), env=self.env, capture_output=True, text=True, timeout=timeout)
        except (OSError, subprocess.TimeoutExpired) as e:
            raise Failure(f"{' '.join(args)}: {e}")
        if check_rc and r.returncode != 0:
            raise Failure(f"{' '.join(args)} failed ({r.returncode}): {r.stderr.strip()}")
        return r.stdout

    def probe(self, *args, check_rc=True):
        return self.run(self.xprobe, *args, check_rc=check_rc)

    def xdotool(self, *args, check_rc=True):
        return self.run("xdotool", *args, check_rc=check_rc)

    def start(self):
        if self.log is None:
            return subprocess.Popen(self.command, env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        with open(self.log, "wb") as out:
            return subprocess.Popen(self.command, env=self.env, stdout=out, stderr=subprocess.STDOUT)

    def output_of(self, proc):
        """What an ended program wrote to stderr (or to the log)."""
        if self.log is None:
            return proc.stderr.read().decode(errors="replace")
        with open(self.log, errors="replace") as f:
            return f.read()

    def find_window(self, proc, name="^Morvalen$", timeout=10.0, klass="Morvalen"):
        """The first mapped window of the program's class whose title
        matches, as an int. A window manager's frame may carry the title
        too (mutter since 44 draws frames in a client of its own, whose
        windows are named after the windows they frame)."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if proc.poll() is not None:
                raise Failure(f"morvalen ended early with {proc.returncode}: {self.output_of(proc)}")
            named = self.xdotool("search", "--onlyvisible", "--name", name, check_rc=False).split()
            ours = set(self.windows_of_class(klass)) if named else set()
            out = [int(w) for w in named if int(w) in ours]
            if out:
                return out[0]
            time.sleep(0.05)
        raise Failure(f"no window named {name} within {timeout} s")

    def windows_of_class(self, klass="Morvalen"):
        out = self.xdotool("search", "--onlyvisible", "--class", klass, check_rc=False).split()
        return [int(w) for w in out]

    def wait_windows(self, predicate, what, timeout=5.0, klass="Morvalen"):
        """The program's visible windows once predicate accepts them."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            windows = self.windows_of_class(klass)
            if predicate(windows):
                return windows
            time.sleep(0.05)
        raise Failure(f"{what} within {timeout} s (windows: {self.windows_of_class(klass)})")

    def geometry(self, window):
        x, y, w, h = (int(v) for v in self.probe("geometry", hex(window)).split())
        return x, y, w, h

    def snap(self, window, path):
        self.probe("snap", hex(window), path)
        return read_ppm(path)

    def settled_snap(self, window, path, timeout=3.0, painted=None):
        """The window's pixels once two reads 0.2 s apart agree (painting
        done). With painted, a predicate on the picture, only once it also
        holds: a window not painted yet is as still as a finished one on a
        slow machine."""
        end = time.monotonic() + (timeout if painted is None else max(timeout, 10.0))
        last = self.snap(window, path)
        while time.monotonic() < end:
            time.sleep(0.2)
            now = self.snap(window, path)
            if now.data == last.data and (painted is None or painted(now)):
                return now
            last = now
        return last

    def rootsnap(self, path):
        self.probe("rootsnap", path)
        return read_ppm(path)

    def drive_rows(self):
        """Fixed and removable drives the program lists, from the drive map."""
        out = self.run(self.drives)
        count = 0
        for line in out.splitlines():
            fields = line.split("\t")
            if len(fields) >= 3 and fields[1] in ("fixed", "removable") and fields[2] != "-":
                count += 1
        return count

    def wait_exit(self, proc, timeout=5.0):
        try:
            return proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            raise Failure(f"morvalen still running {timeout} s after the request to end")

    def expect_clean_exit(self, proc, timeout=5.0):
        """Waits for the program to end and checks that it ended with 0."""
        rc = self.wait_exit(proc, timeout)
        err = proc.stderr.read().decode(errors="replace").strip()[:500] if proc.stderr else ""
        check(rc == 0, f"exit code {rc}; stderr: {err}")

    @staticmethod
    def stop(proc):
        """Ends the program if a failed check left it running."""
        if proc.poll() is None:
            proc.kill()
            proc.wait()

    def close_box_and_end(self, proc, main, box, what="the about box did not close on O"):
        """O closes the about box; Alt+X on the main window then ends the
        program with exit code 0."""
        self.xdotool("key", "o")
        self.wait_windows(lambda ws: box not in ws, what)
        self.focus(main)
        self.xdotool("key", "alt+x")
        self.expect_clean_exit(proc)

    def focus(self, window):
        self.xdotool("windowactivate", "--sync", str(window), check_rc=False)
        self.xdotool("windowfocus", "--sync", str(window), check_rc=False)
        time.sleep(0.1)


def device_edge(v, scale):
    """Where logical edge v lies at `scale` (1, 1.5, 2 ...): v * scale
    rounded, halves up, as the program maps its pixels."""
    n = round(scale * 120)
    return (v * n + 60) // 120


def logical_pixel(p, scale):
    """The logical pixel that holds device pixel p at `scale`."""
    n = round(scale * 120)
    return (p * 120 + 59) // n


def header_band(img):
    """Rows of navy from the top (navy over more than half the width), and
    the number of yellow pixels in them."""
    band = 0
    while band < img.height and sum(1 for x in range(img.width) if img.pixel(x, band) == NAVY) > img.width // 2:
        band += 1
    yellow = sum(1 for y in range(band) for x in range(img.width) if img.pixel(x, y) == YELLOW)
    return band, yellow


class Image:
    def __init__(self, width, height, data):
        self.width = width
        self.height = height
        self.data = data

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def has(self, colour):
        """Whether any pixel is exactly colour."""
        packed = bytes(colour)
        i = self.data.find(packed)
        while i >= 0 and i % 3:
            i = self.data.find(packed, i + 1)
        return i >= 0


def read_ppm(path):
    with open(path, "rb") as f:
        blob = f.read()
    parts = blob.split(b"\n", 3)
    width, height = (int(v) for v in parts[1].split())
    return Image(width, height, parts[3])


def read_png(path):
    """An 8-bit RGB or RGBA PNG as an Image of its RGB."""
    png = pngread.decode(path)
    if isinstance(png, str):
        raise Failure(f"{path}: {png}")
    w, h, channels, rows = png
    if channels == 4:
        rows = [bytes(v for i, v in enumerate(row) if i % 4 != 3) for row in rows]
    return Image(w, h, b"".join(rows))


def main(cases):
    """Runs each named case; prints a line per case; exit code 1 on failure."""
    failed = 0
    for name, case in cases:
        try:
            case()
            print(f"PASS {name}")
        except Failure as e:
            print(f"FAIL {name}: {e}")
            failed += 1
        sys.stdout.flush()
    sys.exit(1 if failed else 0)
