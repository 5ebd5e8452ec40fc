"""What a program does on its way to its first frame, from two logs:

- an `strace -f -ttt` log: system calls (its threads and helper processes
  included), the failing ones (= -1 E...), which calls fail most, and the
  times it blocked waiting for the X server (a poll on its X connection for
  input, with a timeout other than 0: a reply or an event it cannot go on
  without, a round trip);
- an `xtrace --timestamps` log: the requests that got a reply, by name.

Both count only what happened up to `until` (seconds since the epoch, the
first frame's time as morvalen-firstframe reports it)."""

import collections
import re

_LINE = re.compile(r"^(\d+)\s+(\d+\.\d+)\s+(.*)$")
_CALL = re.compile(r"^([a-z_0-9]+)\(")
_RESUMED = re.compile(r"^<\.\.\. ([a-z_0-9]+) resumed>")
_X_CONNECT = re.compile(r"^connect\((\d+), \{sa_family=AF_UNIX, sun_path=@?\"[^\"]*\.X11-unix/X\d+\"")
_FAILED = re.compile(r"\) += -1 (E[A-Z0-9]+)")
_POLL = re.compile(r"^poll\(\[(.*?)\], \d+, (-?\d+)")


class Syscalls:
    def __init__(self):
        self.calls = 0
        self.failed = 0
        self.x_waits = 0
        self.failing = collections.Counter()


def _waits_on(args, timeout, fds):
    if timeout == "0":
        return False
    return any(f"{{fd={fd}, events=POLLIN}}" in args for fd in fds)


def syscalls(path, until):
    """Counts an strace -f -ttt log's calls up to `until`."""
    out = Syscalls()
    x_fds = set()
    pending = {}  # pid -> name of the call it has not returned from yet
    with open(path, errors="replace") as f:
        for line in f:
            m = _LINE.match(line)
            if not m:
                continue
            pid, at, rest = m.group(1), float(m.group(2)), m.group(3)
            if rest.startswith("+++") or rest.startswith("---"):
                continue
            resumed = _RESUMED.match(rest)
            if resumed:
                name = pending.pop(pid, resumed.group(1))
                started = True  # counted when it started
            else:
                call = _CALL.match(rest)
                if not call:
                    continue
                name = call.group(1)
                started = False
                if at > until:
                    continue
                out.calls += 1
                conn = _X_CONNECT.match(rest)
                if conn:
                    x_fds.add(conn.group(1))
                poll = _POLL.match(rest)
                if poll and _waits_on(poll.group(1), poll.group(2), x_fds):
                    out.x_waits += 1
            if rest.endswith("<unfinished ...>"):
                pending[pid] = name
                continue
            if started and at > until:
                continue
            failed = _FAILED.search(rest)
            if failed:
                out.failed += 1
                out.failing[f"{name} {failed.group(1)}"] += 1
    return out


_XTRACE = re.compile(r"^(\d+\.\d+) \d+:>:[0-9a-f]+:\s*\d+: (?:unexpected Reply|Reply to (\w+))")


def replies(path, until):
    """The replies of an xtrace --timestamps log up to `until`, by request."""
    out = collections.Counter()
    with open(path, errors="replace") as f:
        for line in f:
            m = _XTRACE.match(line)
            if m and float(m.group(1)) <= until:
                out[m.group(2) or "(extension)"] += 1
    return out
