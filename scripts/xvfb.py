"""A private Xvfb for the scripts that need an X server of their own (the
end-to-end tests that change the screen, the start-up benchmarks).

The server picks a free display number itself (-displayfd) and says which
once it accepts connections, so scripts running side by side never race
for one."""

import os
import select
import subprocess
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
    # SIGTERM: a killed server leaves its lock files behind, and the next
    # servers race for the display numbers they claim.
    proc.terminate()
    proc.wait()
