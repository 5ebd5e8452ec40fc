"""A private Xvfb for the scripts that need an X server of their own (the
test command, the end-to-end tests that change the screen, the benchmarks).

The server picks a free display number itself (-displayfd) and says which
once it accepts connections, so scripts running side by side never race
for one.

Run as a program, it starts one and prints "PID :N" for shell scripts,
which stop it with kill PID:
    read -r pid display < <(python3 scripts/xvfb.py [WxHxD])"""

import os
import select
import subprocess
import sys
import time


def start_xvfb(screen="1024x768x24", extra=(), timeout=10):
    """Starts Xvfb with one screen of the given geometry: (process, ":N").
    Raises RuntimeError when no server comes up."""
    r, w = os.pipe()
    try:
        proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", screen, "-nolisten", "tcp",
                                 "-noreset", *extra], pass_fds=(w,), stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
    except OSError as e:
        os.close(r)
        os.close(w)
        raise RuntimeError(f"no private X server: {e}")
    os.close(w)
    text = b""
    deadline = time.monotonic() + timeout
    try:
        while not text.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([r], [], [], left)[0]:
                break
            chunk = os.read(r, 16)
            if not chunk:
                break
            text += chunk
    finally:
        os.close(r)
    if not text.strip().isdigit():
        proc.kill()
        proc.wait()
        raise RuntimeError("no private X server")
    return proc, f":{int(text)}"


def stop_xvfb(proc):
    """Ends the server the way it cleans up after itself (its lock file and
    socket), killing it only when it does not end."""
    proc.terminate()
    try:
        proc.wait(timeout=5)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


if __name__ == "__main__":
    try:
        server, name = start_xvfb(*sys.argv[1:2])
    except RuntimeError as e:
        print(f"xvfb: {e}", file=sys.stderr)
        sys.exit(1)
    print(server.pid, name)
