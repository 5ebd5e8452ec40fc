#!/usr/bin/env python3
"""Whether this machine executes 32-bit x86 (i386) programs.

Many 64-bit kernels cannot: IA32 emulation compiled out or switched off,
some container sandboxes. The architecture's name does not tell, so this
runs a tiny static i386 program that does nothing but exit with code 42.

Exit status 0 when it ran; 1, with the reason on standard output, when
not. Importable: runs_i386() returns (True, "") or (False, reason)."""

import os
import struct
import subprocess
import sys
import tempfile

EXIT_CODE = 42


def program():
    """An ELF executable for i386: one loadable segment holding the headers
    and the code mov eax, 1; mov ebx, 42; int 0x80 (exit(42))."""
    base = 0x08048000
    code = bytes([0xB8, 1, 0, 0, 0, 0xBB, EXIT_CODE, 0, 0, 0, 0xCD, 0x80])
    header_size, segment_size = 52, 32
    entry = base + header_size + segment_size
    size = header_size + segment_size + len(code)
    ident = b"\x7fELF" + bytes([1, 1, 1]) + bytes(9)  # 32-bit, little-endian, version 1
    header = ident + struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, entry, header_size, 0, 0, header_size, segment_size, 1,
                                 0, 0, 0)
    segment = struct.pack("<IIIIIIII", 1, 0, base, base, size, size, 5, 0x1000)
    return header + segment + code


def runs_i386(directory=None):
    # A directory that allows execution: /tmp may be mounted noexec.
    directory = directory or os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build")
    os.makedirs(directory, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="i386-probe-", dir=directory) as tmp:
        path = os.path.join(tmp, "probe")
        with open(path, "wb") as f:
            f.write(program())
        os.chmod(path, 0o755)
        try:
            rc = subprocess.run([path], timeout=10).returncode
        except OSError as e:
            return False, f"this machine cannot execute 32-bit x86 programs ({e.strerror})"
        except subprocess.TimeoutExpired:
            return False, "a 32-bit x86 program did not end"
    if rc != EXIT_CODE:
        return False, f"a 32-bit x86 program ended with {rc}, not {EXIT_CODE}"
    return True, ""


if __name__ == "__main__":
    ok, why = runs_i386(sys.argv[1] if len(sys.argv) > 1 else None)
    if not ok:
        print(why)
    sys.exit(0 if ok else 1)
