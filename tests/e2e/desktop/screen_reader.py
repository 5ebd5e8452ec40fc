#!/usr/bin/env python3
"""The real program read as a screen reader reads it: a private session bus
and accessibility bus (at-spi-bus-launcher), org.a11y.Status set as Orca
sets it, the tree read with pyatspi. Checks the names, roles, states and
actions of the main window, its list and the about box; operating the box
through AT-SPI; the events of a caret move; that a program with
accessibility off registers nothing until it is switched on; that every
launch registers within 2 s; and that a vanished bus leaves the program
running.

usage: screen_reader.py MORVALEN MORVALEN-DRIVES XPROBE"""

import importlib.util
import os
import re
import signal
import subprocess
import sys
import threading
import time

SYSTEM_PYTHON = "/usr/bin/python3"
if importlib.util.find_spec("pyatspi") is None:
    # pyatspi is the system's; a different python3 may be first on PATH.
    if os.path.exists(SYSTEM_PYTHON) and os.path.realpath(sys.executable) != os.path.realpath(SYSTEM_PYTHON):
        os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON, *sys.argv])
    print("SKIP: python3-pyatspi is not installed")
    sys.exit(77)

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2elib  # noqa: E402
from e2elib import Failure, check  # noqa: E402

LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
if not os.path.exists(LAUNCHER):
    print("SKIP: at-spi2-core is not installed (no at-spi-bus-launcher)")
    sys.exit(77)
e2elib.programs_or_skip("dbus-daemon", "xdotool")

tools, tmp = e2elib.session()

# The private session bus; everything started from here uses it.
env = dict(tools.env, GSETTINGS_BACKEND="memory", NO_AT_BRIDGE="0")
env.pop("AT_SPI_BUS_ADDRESS", None)
bus_proc, session_address = e2elib.start_session_bus(env)
env["DBUS_SESSION_BUS_ADDRESS"] = session_address
# The about box's link goes to this opener, which notes its argument.
opened = os.path.join(tmp, "opened")
bindir = os.path.join(tmp, "bin")
os.makedirs(bindir)
with open(os.path.join(bindir, "xdg-open"), "w") as f:
    f.write(f'#!/bin/sh\nprintf "%s\\n" "$1" >> {opened}\n')
os.chmod(os.path.join(bindir, "xdg-open"), 0o755)
env["PATH"] = bindir + os.pathsep + env.get("PATH", "")
tools.env = env
os.environ.update(DBUS_SESSION_BUS_ADDRESS=session_address, GSETTINGS_BACKEND="memory", DISPLAY=tools.display)

import gi  # noqa: E402

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, Gio, GLib  # noqa: E402

session = Gio.DBusConnection.new_for_address_sync(
    session_address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)


def call(conn, dest, path, iface, method, args=None, reply=None):
    return conn.call_sync(dest, path, iface, method, args, GLib.VariantType(reply) if reply else None,
                          Gio.DBusCallFlags.NONE, 5000, None)


def set_status(enabled):
    """Both properties, as Orca sets them when it starts or stops."""
    for prop in ("IsEnabled", "ScreenReaderEnabled"):
        call(session, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
             GLib.Variant("(ssv)", ("org.a11y.Status", prop, GLib.Variant("b", enabled))))


set_status(True)
a11y_address = call(session, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", reply="(s)")[0]
os.environ["AT_SPI_BUS_ADDRESS"] = a11y_address  # pyatspi: this bus, not a stale one on the display
a11y_bus = Gio.DBusConnection.new_for_address_sync(
    a11y_address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)

import pyatspi  # noqa: E402


def pump(seconds=0.05):
    end = time.monotonic() + seconds
    ctx = GLib.MainContext.default()
    while time.monotonic() < end:
        while ctx.iteration(False):
            pass
        time.sleep(0.01)


def a11y_pids():
    """The processes connected to the accessibility bus."""
    names = call(a11y_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "ListNames",
                 reply="(as)")[0]
    pids = set()
    for name in names:
        if name.startswith(":"):
            try:
                pids.add(call(a11y_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                              "GetConnectionUnixProcessID", GLib.Variant("(s)", (name,)), "(u)")[0])
            except GLib.Error:
                pass  # gone meanwhile
    return pids


def find_app(proc):
    """The program's application object on the desktop, or None."""
    desktop = pyatspi.Registry.getDesktop(0)
    Atspi.Accessible.clear_cache(desktop)
    for app in desktop:
        try:
            if app is not None and app.get_process_id() == proc.pid:
                return app
        except GLib.Error:
            pass
    return None


def wait_app(proc, timeout=2.0, present=True):
    end = time.monotonic() + timeout
    while True:
        app = find_app(proc)
        if (app is not None) == present:
            return app
        if time.monotonic() > end:
            raise Failure(f"the program {'did not register' if present else 'stayed registered'} within {timeout} s")
        pump(0.05)


def states(acc):
    return {pyatspi.stateToString(s) for s in acc.getState().getStates()}


def child(acc, role, name=None):
    Atspi.Accessible.clear_cache(acc)
    for c in acc:
        if c is not None and c.getRole() == role and (name is None or c.name == name):
            return c
    return None


def wait_child(acc, role, what, present=True, timeout=3.0):
    end = time.monotonic() + timeout
    while True:
        c = child(acc, role)
        if (c is not None) == present:
            return c
        if time.monotonic() > end:
            raise Failure(what)
        pump(0.05)


def action(acc):
    a = acc.queryAction()
    return [(a.getName(i), a.getKeyBinding(i)) for i in range(a.nActions)]


def extents(acc):
    e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x, e.y, e.width, e.height


def dump(acc, depth=0, out=None):
    out = [] if out is None else out
    out.append("  " * depth + f"[{acc.getRoleName()}] {acc.name!r}")
    for c in acc:
        dump(c, depth + 1, out)
    return out


ROW = re.compile(r"^[C-Z]:, ((Almost full|FULL), )?[0-9][0-9,]* MB, [0-9][0-9,]* MB$")
TOTALS = re.compile(r"^Totals for hard drives:, [0-9][0-9,]* MB, [0-9][0-9,]* MB$")


def main_window_tree():
    """Application, frame, header, list and rows with the figures drawn;
    extents in screen pixels, inside the window's."""
    proc = tools.start()
    try:
        main = tools.find_window(proc)
        app = wait_app(proc)
        print(*dump(app), sep="\n")
        check(app.getRole() == pyatspi.ROLE_APPLICATION and app.name == "Morvalen", f"application: {app.name!r}")
        frame = child(app, pyatspi.ROLE_FRAME, "Morvalen")
        check(frame is not None, "no frame named Morvalen:\n" + "\n".join(dump(app)))
        check({"active", "showing", "visible", "enabled"} <= states(frame), f"frame states {states(frame)}")
        header = child(frame, pyatspi.ROLE_LABEL)
        check(header is not None and header.name.startswith("Drive, 0%, 50%, 100%"), "no header label")
        lst = child(frame, pyatspi.ROLE_LIST)
        check(lst is not None and lst.name == header.name, "no list named by its header")
        labelled_by = [r.getTarget(0) for r in lst.getRelationSet()
                       if r.getRelationType() == pyatspi.RELATION_LABELLED_BY and r.getNTargets() == 1]
        check(labelled_by == [header], f"the list is not labelled by its header: {labelled_by}")
        check("Selection" in pyatspi.listInterfaces(lst), f"list interfaces {pyatspi.listInterfaces(lst)}")
        rows = [c.name for c in lst]
        check(len(rows) == tools.drive_rows() + 1, f"{len(rows)} items for {tools.drive_rows()} drives: {rows}")
        check(all(ROW.match(r) for r in rows[:-1]) and TOTALS.match(rows[-1]), f"item names: {rows}")
        check(all(c.getRole() == pyatspi.ROLE_LIST_ITEM and {"selectable", "focusable"} <= states(c) for c in lst),
              "items are not selectable list items")
        texts = [c.queryText().getText(0, -1) for c in lst]
        check(texts == rows, f"the rows' text is not their names: {texts}")
        word_ranges(lst[0])
        x, y, w, h = tools.geometry(main)
        fx, fy, fw, fh = extents(lst)
        check(x <= fx and y <= fy and fx + fw <= x + w and fy + fh <= y + h,
              f"list at {fx},{fy} {fw}x{fh} outside the window at {x},{y} {w}x{h}")
        ix, iy, iw, ih = extents(lst[0])
        check((ix, iy) == (fx, fy) and ih == e2elib.ITEM_HEIGHT, f"first item at {ix},{iy} {iw}x{ih}")
        ix, iy, iw, ih = extents(lst[1])
        check(iy == fy + e2elib.ITEM_HEIGHT, f"second item at {ix},{iy}")
        focus_events(proc, main, lst)
        tools.focus(main)
        tools.xdotool("key", "alt+x")
        tools.expect_clean_exit(proc)
    finally:
        tools.stop(proc)


def word_ranges(acc):
    """The words of a row's text as flat review steps through them: at each
    offset, from the last word start (end) at or before it to the next."""
    text = acc.queryText()
    whole = text.getText(0, -1)
    n = len(whole)
    starts = [i for i in range(n) if whole[i] != " " and (i == 0 or whole[i - 1] == " ")] + [n]
    ends = [0] + [i for i in range(1, n + 1) if whole[i - 1] != " " and (i == n or whole[i] == " ")]
    for boundary, marks in ((pyatspi.TEXT_BOUNDARY_WORD_START, starts), (pyatspi.TEXT_BOUNDARY_WORD_END, ends)):
        for o in range(n):
            a = max(m for m in marks if m <= o)
            b = min(m for m in marks if m > o)
            got = tuple(text.getTextAtOffset(o, boundary))
            check(got == (whole[a:b], a, b), f"{boundary} at {o} of {whole!r}: {got}, not {(whole[a:b], a, b)}")


def focus_events(proc, main, lst):
    """Down on the list moves the caret: the items' states change, the list
    announces its new active descendant and the item gets the focus."""
    heard = []

    def listener(event):
        heard.append((event.type, event.source.name if event.source else None, event.detail1))

    kinds = ("focus:", "object:state-changed:focused", "object:state-changed:selected",
             "object:active-descendant-changed")
    pyatspi.Registry.registerEventListener(listener, *kinds)
    try:
        x, y, w, h = tools.geometry(main)
        tools.xdotool("mousemove", str(x + 120), str(y + 24))
        time.sleep(0.1)
        tools.xdotool("click", "1")
        pump(0.5)
        first, second = lst[0].name, lst[1].name
        check("focused" in states(lst[0]) and "selected" in states(lst[0]), f"first item states {states(lst[0])}")
        heard.clear()
        tools.xdotool("key", "Down")
        end = time.monotonic() + 3
        while time.monotonic() < end and not any(t.startswith("focus") and n == second for t, n, _ in heard):
            pump(0.05)
        print("events heard for one Down:", *heard, sep="\n  ")
        for expected in (("object:state-changed:focused", first, 0), ("object:state-changed:selected", second, 1),
                         ("object:state-changed:focused", second, 1),
                         ("object:active-descendant-changed", lst.name, 1), ("focus:", second, 0)):
            check(expected in heard, f"not heard {expected}: {heard}")
        check("focused" in states(lst[1]) and "focused" not in states(lst[0]), "the caret's state did not move")
        check("focused" not in states(lst), "the list claims the focus its item holds")
        selection = lst.querySelection()
        check(selection.nSelectedChildren == 1 and selection.getSelectedChild(0).name == second,
              "the list's selection is not the caret's item")
    finally:
        pyatspi.Registry.deregisterEventListener(listener, *kinds)


def open_about_box(main):
    x, y, w, h = tools.geometry(main)
    tools.xdotool("mousemove", str(x + 120), str(y + 24))
    time.sleep(0.1)
    tools.xdotool("click", "--repeat", "2", "--delay", "80", "1")


def about_box_operated():
    """The about box as a modal dialog with its text, its link and its Ok
    button; the link's action opens the address with the opener and closes
    the box, Ok's press closes it; the dialogs come and go from the tree."""
    proc = tools.start()
    try:
        main = tools.find_window(proc)
        app = wait_app(proc)
        for how in ("link", "ok"):
            open_about_box(main)
            box = wait_child(app, pyatspi.ROLE_DIALOG, "no dialog in the tree:\n" + "\n".join(dump(app)))
            check({"modal", "active"} <= states(box), f"dialog states {states(box)}")
            labels = [c.name for c in box if c.getRole() == pyatspi.ROLE_LABEL]
            check(len(labels) == 2 and labels[0].startswith("Morvalen "), f"labels {labels}")
            check(box.name == " ".join(labels), f"dialog named {box.name!r}")
            ok = child(box, pyatspi.ROLE_PUSH_BUTTON, "Ok")
            check(ok is not None and action(ok) == [("press", "o")], "no Ok button with press and o")
            check("focused" in states(ok), f"Ok states {states(ok)}")
            link = child(box, pyatspi.ROLE_LINK)
            check(link is not None and link.name.startswith("http"), "no link")
            check([n for n, _ in action(link)] == ["jump"], f"link actions {action(link)}")
            roles = [c.getRole() for c in box]
            check(roles == [pyatspi.ROLE_LABEL, pyatspi.ROLE_LABEL, pyatspi.ROLE_LINK, pyatspi.ROLE_PUSH_BUTTON],
                  f"the box's children are not in reading order: {[c.getRoleName() for c in box]}")
            check(box.description == link.name, f"dialog described as {box.description!r}")
            address = link.name
            before = tools.windows_of_class()
            check(len(before) == 2, f"windows {before}")
            if how == "link":
                check(link.queryAction().doAction(0), "the link's action failed")
            else:
                check(ok.queryAction().doAction(0), "Ok's press failed")
            tools.wait_windows(lambda ws: len(ws) == 1, "the about box did not close")
            wait_child(app, pyatspi.ROLE_DIALOG, "the dialog stayed in the tree", present=False)
            if how == "link":
                end = time.monotonic() + 3
                while not os.path.exists(opened) and time.monotonic() < end:
                    time.sleep(0.05)
                time.sleep(0.1)
                with open(opened) as f:
                    got = f.read().split()
                check(got == [address], f"the opener got {got}, not {address}")
            check(proc.poll() is None, "the program ended")
        tools.focus(main)
        tools.xdotool("key", "alt+x")
        tools.expect_clean_exit(proc)
    finally:
        tools.stop(proc)


def plugin_loaded(proc):
    with open(f"/proc/{proc.pid}/maps") as f:
        return "morvalen-a11y.so" in f.read()


def switched_off_and_on():
    """Started with accessibility off, the program registers nothing, has no
    connection to the accessibility bus and has not loaded the provider;
    switched on it registers, off it leaves again."""
    set_status(False)
    proc = tools.start()
    try:
        tools.find_window(proc)
        pump(1.0)
        check(find_app(proc) is None, "registered while off")
        check(proc.pid not in a11y_pids(), "connected to the accessibility bus while off")
        check(not plugin_loaded(proc), "the accessibility plugin was loaded while off")
        set_status(True)
        check(wait_app(proc).name == "Morvalen", "wrong application")
        check(plugin_loaded(proc), "registered without the plugin?")
        check(proc.pid in a11y_pids(), "not on the accessibility bus")
        set_status(False)
        wait_app(proc, present=False)
        check(proc.pid not in a11y_pids(), "still on the accessibility bus after switching off")
        check(proc.poll() is None, "the program ended")
    finally:
        set_status(True)
        tools.stop(proc)


def ten_launches():
    """Every launch registers within 2 s of its start."""
    times = []
    for i in range(10):
        start = time.monotonic()
        proc = tools.start()
        try:
            wait_app(proc, timeout=2.0)
            times.append(time.monotonic() - start)
        except Failure as e:
            raise Failure(f"launch {i + 1}: {e}")
        finally:
            proc.terminate()
            proc.wait()
    print("registered after (s):", " ".join(f"{t:.2f}" for t in times))


def keys_to_the_registry():
    """Each key press and release is one call to the registry's device event
    controller; a registry that stops answering (stopped with SIGSTOP) holds
    the next key no longer than the program's short limit, and the keys
    after it not at all."""
    proc = tools.start()
    monitor = registry = None
    calls = []
    try:
        main = tools.find_window(proc)
        wait_app(proc)
        monitor = subprocess.Popen(["dbus-monitor", "--address", a11y_address,
                                    "type='method_call',member='NotifyListenersSync'"], stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL, text=True, env=env)
        threading.Thread(target=lambda: calls.extend(
            line for line in monitor.stdout if line.startswith("method call")), daemon=True).start()
        time.sleep(0.5)
        for key in ("a", "b", "c"):
            tools.xdotool("key", key)
        e2elib.wait_until(lambda: len(calls) >= 6, 5)
        time.sleep(0.5)
        check(len(calls) == 6, f"{len(calls)} calls to the registry for three keys")

        registry = call(a11y_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                        "GetConnectionUnixProcessID", GLib.Variant("(s)", ("org.a11y.atspi.Registry",)), "(u)")[0]
        os.kill(registry, signal.SIGSTOP)
        open_about_box(main)
        tools.wait_windows(lambda ws: len(ws) == 2, "no about box while the registry was stopped")
        start = time.monotonic()
        tools.xdotool("key", "o")
        tools.wait_windows(lambda ws: len(ws) == 1, "O did not close the box while the registry was stopped")
        first = time.monotonic() - start
        tools.focus(main)
        start = time.monotonic()
        tools.xdotool("key", "alt+x")
        tools.expect_clean_exit(proc)
        print(f"with the registry stopped: the box closed {first:.2f} s after O, "
              f"the program ended {time.monotonic() - start:.2f} s after Alt+X")
        check(first < 3, f"O took {first:.2f} s with the registry stopped")
    finally:
        if registry:
            os.kill(registry, signal.SIGCONT)
        if monitor:
            monitor.terminate()
            monitor.wait()
        tools.stop(proc)


def bus_vanishes():
    """The accessibility bus and the session bus go away under a registered
    program: it goes on and still ends normally."""
    proc = tools.start()
    try:
        main = tools.find_window(proc)
        wait_app(proc)
        launcher = call(session, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                        "GetConnectionUnixProcessID", GLib.Variant("(s)", ("org.a11y.Bus",)), "(u)")[0]
        with open(f"/proc/{launcher}/task/{launcher}/children") as f:
            daemons = [int(p) for p in f.read().split()]
        for pid in daemons + [launcher]:
            os.kill(pid, signal.SIGTERM)
        bus_proc.terminate()
        bus_proc.wait()
        time.sleep(1.0)
        check(proc.poll() is None, f"the program ended: {tools.output_of(proc) if proc.poll() is not None else ''}")
        open_about_box(main)
        tools.wait_windows(lambda ws: len(ws) == 2, "no about box after the bus went")
        tools.xdotool("key", "o")
        tools.wait_windows(lambda ws: len(ws) == 1, "the about box did not close")
        tools.focus(main)
        tools.xdotool("key", "alt+x")
        tools.expect_clean_exit(proc)
    finally:
        tools.stop(proc)


def cleanup():
    if bus_proc.poll() is None:
        bus_proc.terminate()
        bus_proc.wait()


try:
    e2elib.main([
        ("the main window's tree: frame, header, list, rows with their figures", main_window_tree),
        ("the about box read and operated through AT-SPI", about_box_operated),
        ("off: nothing registered, no connection; switched on and off while running", switched_off_and_on),
        ("ten launches register within 2 s", ten_launches),
        ("keys: one call each to the registry, never held long by one that stops answering", keys_to_the_registry),
        ("a vanished bus leaves the program running", bus_vanishes),
    ])
finally:
    cleanup()
