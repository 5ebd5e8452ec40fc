#!/usr/bin/env python3
"""The real program heard through the real Orca: openbox on a private X
server, a private session bus (Orca switches accessibility on and the
AT-SPI bus comes up on it), speech through speech-dispatcher and espeak-ng
to ALSA's null device, and what Orca speaks read from its debug log.

Orca, unchanged, writes that log in blocks to a file; given a terminal
instead, Python's own buffering flushes each line, so the log is the slave
side of a pty whose master this script reads as the lines come.

Clicks are sent to the window (XSendEvent) rather than made with the
pointer: on a real press Orca's own mouse handler may take the clicked row
as the focus before the program's focus event arrives, and then it stays
silent (as it does for GTK's lists); the program's events are what is
tested here.

usage: orca_speech.py MORVALEN MORVALEN-DRIVES XPROBE"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import tty

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2elib  # noqa: E402
from e2elib import Failure, check  # noqa: E402

LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
ESPEAK_MODULE = "/usr/lib/speech-dispatcher-modules/sd_espeak-ng"
HINT = " (scripts/deps installs it with the test packages)"

e2elib.display_or_skip()  # only with the other X tests
e2elib.programs_or_skip("Xvfb", "openbox", "xdotool", "dbus-daemon", "orca", "speech-dispatcher", hint=HINT)
for path, what in ((LAUNCHER, "at-spi2-core"), (ESPEAK_MODULE, "speech-dispatcher-espeak-ng")):
    if not os.path.exists(path):
        print(f"SKIP: {what} is not installed (no {path}){HINT}")
        sys.exit(e2elib.SKIP)

def orca_command():
    """How to start Orca. Orca refuses to start while another Orca of the
    same user runs (other tests, other sessions of the machine): where the
    system allows it, it runs in a process namespace of its own, where it
    sees no other."""
    if shutil.which("unshare"):
        for user in ([], ["--user", "--map-current-user"]):
            prefix = ["unshare", *user, "--pid", "--fork", "--mount-proc", "--kill-child"]
            if subprocess.run([*prefix, "true"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0:
                return [*prefix, "orca"]
    if subprocess.run(["pgrep", "-u", str(os.getuid()), "-x", "orca"], stdout=subprocess.DEVNULL).returncode == 0:
        print("SKIP: another Orca runs as this user, and Orca starts only once per user")
        sys.exit(e2elib.SKIP)
    return ["orca"]


ORCA = orca_command()

ROW = re.compile(r"^[C-Z]:, ((Almost full|FULL), )?[0-9][0-9,]* MB, [0-9][0-9,]* MB$")
TOTALS = re.compile(r"^Totals for hard drives:, [0-9][0-9,]* MB, [0-9][0-9,]* MB$")
# Orca's line for what it speaks: the text quoted, then the voice (a dict
# or a list of them, or voice=NAME), or nothing.
SPEECH = re.compile(r"SPEECH OUTPUT: '(.*?)'(?=\s*(?:[{\[]|voice=|$))")
STEP_LIMIT = 20.0  # seconds for Orca to say what a step makes it say


class DebugLog:
    """Orca's debug file: a pty, read by a thread as the lines come."""

    def __init__(self):
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)  # no echo, no line-ending translation
        self.path = os.ttyname(self.slave)
        self.lines = []  # (time.monotonic(), text)
        self.changed = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        rest = b""
        while True:
            try:
                chunk = os.read(self.master, 1 << 16)
            except OSError:
                return  # every writer has closed it
            if not chunk:
                return
            *whole, rest = (rest + chunk).split(b"\n")
            with self.changed:
                now = time.monotonic()
                self.lines.extend((now, line.decode(errors="replace")) for line in whole)
                self.changed.notify_all()

    def said(self, since):
        """What Orca spoke since `since`, one utterance a line, without the
        full stop Orca ends a sentence with."""
        with self.changed:
            lines = [text for at, text in self.lines if at >= since]
        return [m.group(1).strip().removesuffix(".") for m in (SPEECH.search(t) for t in lines) if m]

    def wait(self, seconds):
        with self.changed:
            self.changed.wait(seconds)

    def close(self):
        os.close(self.slave)


xvfb, display = e2elib.start_xvfb()
tmp = tempfile.mkdtemp(prefix="morvalen-orca-")
tools = e2elib.Tools(display, *sys.argv[1:4])
# Everything private: the session bus, the runtime, settings and data
# directories, so that nothing of the machine's desktop is touched.
env = dict(tools.env, GSETTINGS_BACKEND="memory", NO_AT_BRIDGE="0", HOME=os.path.join(tmp, "home"))
for name in ("XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"):
    env[name] = os.path.join(tmp, name.lower())
for d in ("home", "xdg_runtime_dir", "xdg_config_home", "xdg_data_home", "xdg_cache_home", "speechd"):
    os.makedirs(os.path.join(tmp, d), mode=0o700)
for name in ("AT_SPI_BUS_ADDRESS", "SESSION_MANAGER", "WAYLAND_DISPLAY"):
    env.pop(name, None)
started = []  # (process, whether in a group of its own) to stop at the end, last first


def speech_dispatcher():
    """speech-dispatcher of our own, espeak-ng speaking to ALSA's null
    device; Orca finds it through SPEECHD_ADDRESS."""
    conf = os.path.join(tmp, "speechd")
    module_conf = "/etc/speech-dispatcher/modules/espeak-ng.conf"
    with open(os.path.join(conf, "speechd.conf"), "w") as f:
        f.write(f'LogLevel 2\nLogDir "{conf}"\nAudioOutputMethod "alsa"\nAudioALSADevice "null"\n'
                f'AddModule "espeak-ng" "sd_espeak-ng" "{module_conf if os.path.exists(module_conf) else ""}"\n'
                'DefaultModule espeak-ng\n')
    socket = os.path.join(conf, "speechd.sock")
    with open(os.path.join(conf, "stderr"), "w") as err:
        proc = subprocess.Popen(["speech-dispatcher", "-s", "-t", "0", "-C", conf, "-c", "unix_socket", "-S", socket,
                                 "-P", os.path.join(conf, "pid")], env=env, stdout=subprocess.DEVNULL, stderr=err,
                                start_new_session=True)
    started.append((proc, True))
    env["SPEECHD_ADDRESS"] = "unix_socket:" + socket
    if not e2elib.wait_until(lambda: os.path.exists(socket) or proc.poll() is not None, 20):
        raise Failure("speech-dispatcher did not open its socket")
    if proc.poll() is not None:
        with open(os.path.join(conf, "stderr")) as f:
            print(f"SKIP: speech-dispatcher cannot run here: {f.read().strip()[-300:]}")
        sys.exit(e2elib.SKIP)


def start_orca(log):
    """Orca with its debug log on `log`, once it has said it is on."""
    with open(os.path.join(tmp, "orca.stderr"), "w") as err:
        orca = subprocess.Popen([*ORCA, "--debug-file", log.path], env=env, stdout=subprocess.DEVNULL, stderr=err,
                                start_new_session=True)
    started.append((orca, True))
    start = time.monotonic()
    while not log.said(0):
        if orca.poll() is not None:
            with open(os.path.join(tmp, "orca.stderr")) as f:
                print(f"SKIP: Orca cannot run here (exit {orca.returncode}): {f.read().strip()[-300:]}")
            sys.exit(e2elib.SKIP)
        if time.monotonic() - start > 60:
            raise Failure("Orca said nothing within 60 s of its start")
        log.wait(0.2)
    version = (subprocess.run(["orca", "--version"], env=env, capture_output=True, text=True).stdout.strip()
               or "?").splitlines()[0]
    version = version if version.lower().startswith("orca") else "Orca " + version
    print(f"{version} up after {time.monotonic() - start:.1f} s: {log.said(0)}")
    return orca


def hear(log, since, wanted, what, limit=STEP_LIMIT):
    """What Orca said since `since`, once something it said matches `wanted`
    (a predicate on one utterance)."""
    end = time.monotonic() + limit
    while True:
        said = log.said(since)
        if any(wanted(s) for s in said):
            return said
        if time.monotonic() > end:
            raise Failure(f"{what}: Orca said {said}")
        log.wait(0.2)


def step(log, what, act, wanted):
    """Does `act` and waits for Orca to say what `wanted` accepts; prints
    what it said."""
    since = time.monotonic()
    act()
    said = hear(log, since, wanted, what)
    print(f"{what}: {said}")
    return said


def last_drive_row():
    """The index and letter of the last drive row (-1 when only the totals
    row is shown)."""
    letters = []
    for line in tools.run(tools.drives).splitlines():
        fields = line.split("\t")
        if len(fields) >= 3 and fields[1] in ("fixed", "removable") and fields[2] != "-":
            letters.append(fields[0])
    return len(letters) - 1, (letters[-1] if letters else "")


def click_row(window, row, double=False):
    """A click (or double-click) sent to the window on a list row."""
    x, y, _, _ = tools.geometry(window)
    tools.xdotool("mousemove", str(x + 120), str(y + 16 + row * e2elib.ITEM_HEIGHT + e2elib.ITEM_HEIGHT // 2))
    time.sleep(0.1)
    repeat = ["--repeat", "2", "--delay", "80"] if double else []
    tools.xdotool("click", "--window", str(window), *repeat, "1")


def heard_through_orca(log):
    since = time.monotonic()
    proc = tools.start()
    try:
        main = tools.find_window(proc)
        # Opened: Orca names the window.
        said = hear(log, since, lambda s: re.match(r"^Morvalen\b", s) is not None, "the window opened")
        print(f"opened: {said}")
        # Keys reach Orca: its echo, its commands, its flat review.
        step(log, "a key echoed", lambda: tools.xdotool("key", "o"), lambda s: s == "o")
        step(log, "the title read (Orca+KP_Enter)", lambda: tools.xdotool("key", "Insert+KP_Enter"),
             lambda s: s == "Morvalen")
        rows = []
        for _ in range(tools.drive_rows() + 3):
            said = step(log, "flat review, next line", lambda: tools.xdotool("key", "KP_Page_Up"),
                        lambda s: ROW.match(s) or TOTALS.match(s))
            rows += [s for s in said if ROW.match(s) or TOTALS.match(s)]
            if TOTALS.match(rows[-1]):
                break
        check(len(rows) == tools.drive_rows() + 1 and all(ROW.match(r) for r in rows[:-1]),
              f"flat review read {rows} for {tools.drive_rows()} drives")

        # A click on the last drive row: the list and the row with its figures.
        row, letter = last_drive_row()
        if row >= 0:
            step(log, "a click on a row", lambda: click_row(main, row),
                 lambda s: ROW.match(s) is not None and s.startswith(letter))
            # A review key Orca keeps: had it reached the list, KP_End would
            # have taken the caret to the totals row (and Orca said so).
            since = time.monotonic()
            step(log, "a review key", lambda: tools.xdotool("key", "KP_End"), lambda s: True)
            time.sleep(1.0)
            check(not any(TOTALS.match(s) for s in log.said(since)), "the review key reached the list")
            step(log, "Down", lambda: tools.xdotool("key", "Down"), lambda s: TOTALS.match(s) is not None)
        else:
            step(log, "a click on the totals row", lambda: click_row(main, 0), lambda s: TOTALS.match(s) is not None)

        # The about box, every time it opens: a dialog with its text and its
        # link, then its Ok button.
        for showing in (1, 2):
            said = step(log, f"the about box, showing {showing}", lambda: click_row(main, 0, double=True),
                        lambda s: re.match(r"^Ok (push )?button\b", s) is not None)
            dialog = [s for s in said if re.search(r"^Morvalen 1\.12\b.* dialog\b.*\bhttps?://\S+", s)]
            check(dialog and said.index(dialog[0]) < len(said) - 1, f"the box was not announced as a dialog: {said}")
            tools.xdotool("key", "o")
            tools.wait_windows(lambda ws: len(ws) == 1, "the about box did not close on O")
        # The main window has the focus again: Esc, heard by Orca and not
        # kept, ends the program.
        tools.xdotool("key", "Escape")
        tools.expect_clean_exit(proc)
        # Orca found one focused object at a time.
        with log.changed:
            doubled = [t for _, t in log.lines if "ERROR: focused child of" in t]
        check(not doubled, f"Orca found two focused objects: {doubled[:3]}")
    finally:
        tools.stop(proc)


log = DebugLog()
try:
    started.append((e2elib.start_openbox(tools), False))
    bus, address = e2elib.start_session_bus(env)
    started.append((bus, True))
    env["DBUS_SESSION_BUS_ADDRESS"] = address
    speech_dispatcher()
    start_orca(log)
    tools.env = env
    e2elib.main([("Orca speaks the window, its keys, its rows and the about box", lambda: heard_through_orca(log))])
except SystemExit as e:
    if e.code:
        # Orca's whole log beside the test's output, for the one who reads the failure.
        with log.changed, open("orca-debug.log", "w") as f:
            f.write("\n".join(t for _, t in log.lines))
        print(f"Orca's debug log: {os.path.abspath('orca-debug.log')}")
    raise
finally:
    for proc, group in reversed(started):
        if group:
            e2elib.stop_group(proc)
        elif proc.poll() is None:
            proc.kill()
        proc.wait()
    log.close()
    e2elib.xvfb.stop_xvfb(xvfb)
    shutil.rmtree(tmp, True)
