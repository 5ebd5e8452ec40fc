#!/usr/bin/env python3
"""The real program started the way a careless launcher, a hostile user or a
bare machine would start it: closed standard descriptors, a face cache that
is a FIFO or names files that are no faces, a cache directory someone else
owns or may write in, no home directory, fonts that are missing, corrupt or
absurd, an X server with only 8-bit colour, a Wayland display that is not
there. Each start either shows a window with text or ends at once with a
message that names the cause.

usage: hostile_start.py MORVALEN MORVALEN-DRIVES XPROBE"""

import os
import shutil
import stat
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2elib  # noqa: E402
from e2elib import Failure, check  # noqa: E402

tools, tmp = e2elib.session()
DEJAVU = "/usr/share/fonts/truetype/dejavu"
FACES = ("DejaVuSans-Bold.ttf", "DejaVuSansMono.ttf")
NO_FONT = "no usable font; install fonts-dejavu-core"


def place(name):
    path = os.path.join(tmp, name)
    os.makedirs(path, exist_ok=True)
    return path


def env_with(**changes):
    """The environment of the tests with variables set (None: removed)."""
    env = dict(tools.env)
    for k, v in changes.items():
        if v is None:
            env.pop(k, None)
        else:
            env[k] = v
    return env


def shows_text(env, name, command=None, log=None):
    """Starts the program; its window must show the header's text. Returns
    what it wrote to stderr."""
    run = e2elib.Tools(tools.display, tools.morvalen, tools.drives, tools.xprobe, command=command, env=env,
                       log=log)
    proc = run.start()
    try:
        w = run.find_window(proc)
        img = run.settled_snap(w, os.path.join(tmp, name + ".ppm"))
        band, yellow = e2elib.header_band(img)
        check(band >= 10 and yellow > 50, f"header band {band} px with {yellow} yellow pixels: no text")
    finally:
        run.stop(proc)
    return run.output_of(proc) if log else proc.stderr.read().decode(errors="replace")


def refused(env, expect, display=None):
    """Starts the program, which must end at once with code 1 and `expect` on stderr."""
    try:
        r = subprocess.run([tools.morvalen], env=dict(env, DISPLAY=display or tools.display), capture_output=True,
                           text=True, timeout=20)
    except subprocess.TimeoutExpired:
        raise Failure("still running after 20 s")
    check(r.returncode == 1 and expect in r.stderr, f"exit code {r.returncode}, stderr {r.stderr.strip()!r}")
    return r.stderr


def cache_file(cache_home):
    return os.path.join(cache_home, "morvalen", "faces-" + os.path.basename(tools.morvalen))


def state(path):
    """A path's state as the face cache writes it."""
    s = os.stat(path)
    return (f"{s.st_dev}:{s.st_ino}:{s.st_size}:{s.st_mtime_ns // 10**9}.{s.st_mtime_ns % 10**9:09d}:"
            f"{s.st_ctime_ns // 10**9}.{s.st_ctime_ns % 10**9:09d}")


def closed_standard_descriptors():
    # fontconfig complains about a broken user configuration on stderr;
    # with fd 2 closed that must not land in the X connection.
    home = place("closed-home")
    os.makedirs(os.path.join(home, ".config", "fontconfig"), exist_ok=True)
    with open(os.path.join(home, ".config", "fontconfig", "fonts.conf"), "w") as f:
        f.write("<fontconfig><broken")
    for n, closing in enumerate(("2>&-", "<&- >&- 2>&-")):
        env = env_with(HOME=home, XDG_CACHE_HOME=place(f"closed-cache-{n}"), XDG_CONFIG_HOME=None)
        try:
            shows_text(env, f"closed-{n}", command=["sh", "-c", f'exec "$0" {closing}', tools.morvalen],
                       log=os.path.join(tmp, "closed.log"))
        except Failure as e:
            raise Failure(f"{closing}: {e}")


def written_cache(name):
    """A cache home holding the cache a first start wrote."""
    home = place(name)
    env = env_with(XDG_CACHE_HOME=home)
    shows_text(env, name + "-first")
    path = cache_file(home)
    check(os.path.isfile(path), f"no cache written at {path}")
    return env, path


def edit_faces(path, faces, checked=()):
    """Points the cache's face lines at other files, in turn, and adds
    `file` lines for the `checked` ones as they are now."""
    with open(path) as f:
        lines = f.read().splitlines()
    out, i = [], 0
    for line in lines:
        if line.startswith("face\t"):
            fields = line.split("\t")
            fields[5] = faces[i % len(faces)]
            i += 1
            line = "\t".join(fields)
        out.append(line)
    header = out.index(next(line for line in out if line.startswith("file\t")))
    out[header:header] = [f"file\t{p}\t{state(p)}" for p in checked]
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")


def cache_that_is_a_fifo():
    env, path = written_cache("fifo-cache")
    os.unlink(path)
    os.mkfifo(path, 0o600)
    shows_text(env, "fifo-cache")


def faces_that_are_no_regular_files():
    # A FIFO and /dev/zero, among the checked files or not.
    env, path = written_cache("fifo-face")
    fifo = os.path.join(tmp, "face.ttf")
    os.mkfifo(fifo)
    edit_faces(path, [fifo, "/dev/zero"], checked=[fifo, "/dev/zero"])
    shows_text(env, "fifo-face")
    edit_faces(path, ["/dev/zero"])
    shows_text(env, "zero-face")


def a_face_that_does_not_load_is_replaced():
    env, path = written_cache("passwd-face")
    edit_faces(path, ["/etc/passwd"], checked=["/etc/passwd"])
    shows_text(env, "passwd-face")
    with open(path) as f:
        text = f.read()
    check("/etc/passwd" not in text, "the cache still names /etc/passwd")
    check("\nface\t" in text, "the cache was not written again")


def entries(directory):
    """What is in a directory: names with their inodes and times."""
    return sorted((e, os.lstat(os.path.join(directory, e)).st_ino, os.lstat(os.path.join(directory, e)).st_mtime_ns)
                  for e in os.listdir(directory))


def directory_others_may_write_or_own():
    victim = os.path.join(place("victim"), "secret")
    with open(victim, "w") as f:
        f.write("root's own\n")
    os.chmod(victim, 0o600)
    owners = [("writable", None)]
    if os.geteuid() == 0:
        owners.append(("owned", 65534))  # nobody
    else:
        print("note: not root, a directory owned by someone else is not tried")
    for name, owner in owners:
        home = place("shared-" + name)
        cache = os.path.join(home, "morvalen")
        os.makedirs(cache)
        os.chmod(cache, 0o777 if owner is None else 0o755)
        name_of_cache = os.path.basename(cache_file(home))
        os.symlink(victim, os.path.join(cache, name_of_cache))
        for n in range(32):  # the names a writer might pick
            os.symlink(victim, os.path.join(cache, f"{name_of_cache}.{os.getpid() + n}"))
        if owner is not None:
            for entry in [cache] + [os.path.join(cache, e) for e in os.listdir(cache)]:
                os.lchown(entry, owner, owner)
        before = entries(cache)
        shows_text(env_with(XDG_CACHE_HOME=home), "shared-" + name)
        check(entries(cache) == before, f"something was written in the {name} directory")
        with open(victim) as f:
            check(f.read() == "root's own\n", f"the file behind a symlink in the {name} directory was written")


def no_home_directory():
    missing = os.path.join(tmp, "nonexistent")
    shows_text(env_with(HOME=missing, XDG_CACHE_HOME=None), "no-home")
    check(not os.path.exists(missing), f"{missing} was created")
    # With a home, the cache goes under ~/.cache, made private.
    home = place("home")
    shows_text(env_with(HOME=home, XDG_CACHE_HOME=None), "home")
    cache = os.path.join(home, ".cache", "morvalen")
    check(os.path.isfile(cache_file(os.path.join(home, ".cache"))), "no cache under ~/.cache")
    check(stat.S_IMODE(os.stat(cache).st_mode) == 0o700, f"{cache} is not private")


def patched(src, dst, units_per_em=None, win_extent=None):
    """A copy of a TrueType face with its em square or vertical extent changed."""
    with open(src, "rb") as f:
        data = bytearray(f.read())
    tables = {}
    for i in range(struct.unpack(">H", data[4:6])[0]):
        tag, _, offset, _ = struct.unpack(">4sIII", data[12 + 16 * i:28 + 16 * i])
        tables[tag] = offset
    if units_per_em:
        struct.pack_into(">H", data, tables[b"head"] + 18, units_per_em)
    if win_extent:
        struct.pack_into(">HH", data, tables[b"OS/2"] + 74, win_extent, win_extent)
        struct.pack_into(">hh", data, tables[b"hhea"] + 4, 32767, -32768)
    with open(dst, "wb") as f:
        f.write(data)


def font_env(name, faces):
    """An environment whose fontconfig knows only the given faces: a map of
    file name to a function that writes it."""
    root = place("fonts-" + name)
    fonts = os.path.join(root, "fonts")
    os.makedirs(fonts)
    for face, write in faces.items():
        write(os.path.join(fonts, face))
    conf = os.path.join(root, "fonts.conf")
    with open(conf, "w") as f:
        f.write(f'<?xml version="1.0"?>\n<fontconfig><dir>{fonts}</dir></fontconfig>\n')
    return env_with(FONTCONFIG_FILE=conf, XDG_CACHE_HOME=os.path.join(root, "cache"))


def fonts_that_cannot_give_text():
    if not all(os.path.exists(os.path.join(DEJAVU, f)) for f in FACES):
        raise Failure(f"the DejaVu faces are not in {DEJAVU} (package fonts-dejavu-core)")

    def corrupt(dst):
        with open(dst, "wb") as f:
            f.write(b"\0\1\0\0" + os.urandom(4000))

    cases = {
        "none": {},
        "corrupt": {f: corrupt for f in FACES},
        "tall": {f: (lambda dst, f=f: patched(os.path.join(DEJAVU, f), dst, win_extent=65535)) for f in FACES},
        "tiny-em": {f: (lambda dst, f=f: patched(os.path.join(DEJAVU, f), dst, units_per_em=16)) for f in FACES},
    }
    for name, faces in cases.items():
        try:
            refused(font_env(name, faces), NO_FONT)
        except Failure as e:
            raise Failure(f"{name}: {e}")
    # An absurd face is passed over for the next that reads well.
    env = font_env("mixed", {
        FACES[0]: lambda dst: shutil.copy(os.path.join(DEJAVU, FACES[0]), dst),
        FACES[1]: lambda dst: patched(os.path.join(DEJAVU, FACES[1]), dst, win_extent=65535),
    })
    shows_text(env, "mixed-fonts")


def eight_bit_server():
    server, display = e2elib.start_xvfb("1024x768x8")
    try:
        err = refused(tools.env, "no 24- or 32-bit TrueColor visual", display=display)
        check("server running" not in err, f"still asks whether a server runs: {err.strip()!r}")
    finally:
        server.terminate()
        server.wait()


def display_choice():
    """A Wayland display that does not answer gives way to the X display with
    one line on stderr; without DISPLAY, one line names both variables;
    MORVALEN_BACKEND insists on one window system or names its mistake."""
    runtime = place("runtime")
    os.chmod(runtime, 0o700)
    gone = dict(WAYLAND_DISPLAY="morvalen-no-such-compositor", XDG_RUNTIME_DIR=runtime, MORVALEN_BACKEND=None)
    err = shows_text(env_with(**gone), "wayland-fallback")
    lines = err.strip().splitlines()
    check(len(lines) == 1 and "morvalen-no-such-compositor" in lines[0] and "using the X display" in lines[0],
          f"the fall back to X said {err.strip()!r}")
    err = shows_text(env_with(**dict(gone, MORVALEN_BACKEND="x11")), "forced-x11")
    check(not err.strip(), f"MORVALEN_BACKEND=x11 still tried Wayland: {err.strip()!r}")

    def ends(env, expect):
        r = subprocess.run([tools.morvalen], env=env, capture_output=True, text=True, timeout=20)
        lines = r.stderr.strip().splitlines()
        check(r.returncode == 1 and len(lines) == 1 and all(e in lines[0] for e in expect),
              f"exit code {r.returncode}, stderr {r.stderr.strip()!r}; expected one line naming {expect}")

    ends(env_with(**gone, DISPLAY=None), ("WAYLAND_DISPLAY", "morvalen-no-such-compositor", "DISPLAY is not set"))
    ends(env_with(WAYLAND_DISPLAY=None, DISPLAY=None, MORVALEN_BACKEND=None), ("WAYLAND_DISPLAY", "DISPLAY"))
    ends(env_with(**dict(gone, MORVALEN_BACKEND="wayland")), ("morvalen-no-such-compositor",))
    ends(env_with(MORVALEN_BACKEND="gtk"), ("MORVALEN_BACKEND", "gtk", "x11 or wayland"))


e2elib.main([
    ("closed standard descriptors and a broken user font configuration", closed_standard_descriptors),
    ("a face cache that is a FIFO", cache_that_is_a_fifo),
    ("cached faces that are no regular files", faces_that_are_no_regular_files),
    ("a cached face that does not load is replaced", a_face_that_does_not_load_is_replaced),
    ("a cache directory others may write in or own", directory_others_may_write_or_own),
    ("no home directory", no_home_directory),
    ("fonts that cannot give text", fonts_that_cannot_give_text),
    ("an 8-bit X server", eight_bit_server),
    ("a Wayland display that is not there, and the window system insisted on", display_choice),
])
