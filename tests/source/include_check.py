#!/usr/bin/env python3
"""The program's folders (survey/, app/, winobj/, msgbox/) compile unchanged
against the real Windows headers: they include <windows.h>, <shellapi.h>,
the C++ standard library and each other's files, and nothing else (no
platform/ internals, no POSIX or X11 headers). Inside platform/ the folders
include each other without a cycle (display/ counts as one with its
back-ends).

usage: include_check.py SOURCE_DIR"""

import os
import re
import sys

PROGRAM = ("survey", "app", "winobj", "msgbox")
WINDOWS = {"windows.h", "shellapi.h"}
# The C++ standard library headers; every compiler for either target has them.
STANDARD = set("""algorithm any array atomic bit bitset cassert cctype cerrno cfloat charconv chrono cinttypes
climits clocale cmath compare concepts cstdarg cstddef cstdint cstdio cstdlib cstring ctime cwchar deque
exception functional initializer_list iterator limits list map memory new numeric optional ranges set
span string string_view tuple type_traits typeinfo unordered_map unordered_set utility variant vector""".split())
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')

root = os.path.abspath(sys.argv[1])
failed = []
checked = 0
for folder in PROGRAM:
    for dirpath, _, files in os.walk(os.path.join(root, folder)):
        for name in sorted(files):
            if not name.endswith((".cpp", ".h", ".rc")):
                continue
            path = os.path.join(dirpath, name)
            rel = os.path.relpath(path, root)
            checked += 1
            with open(path, encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if not m:
                        continue
                    kind, header = m.groups()
                    if kind == "<":
                        ok = header in WINDOWS or header in STANDARD
                    else:
                        # As the compilers look: beside the file, then from the source root.
                        found = [p for p in (os.path.join(dirpath, header), os.path.join(root, header))
                                 if os.path.isfile(p)]
                        ok = bool(found) and os.path.relpath(os.path.realpath(found[0]), root).split(os.sep)[0] in PROGRAM
                    if not ok:
                        failed.append(f"{rel}:{number}: includes {line.strip()}")

for f in failed:
    print(f"FAIL {f}")
print(f"{'FAIL' if failed else 'PASS'} program includes: {checked} files, {len(failed)} outside the rule")

# The folders of platform/ and whom each includes, with one file that does.
uses = {}
layer = os.path.join(root, "platform")
for dirpath, _, files in os.walk(layer):
    parts = os.path.relpath(dirpath, layer).split(os.sep)
    if parts[0] == ".":
        continue
    for name in sorted(files):
        path = os.path.join(dirpath, name)
        with open(path, encoding="utf-8", errors="replace") as f:
            for line in f:
                m = INCLUDE.match(line)
                if m and m.group(1) == '"' and m.group(2).startswith("platform/"):
                    target = m.group(2).split("/")
                    if len(target) > 2 and target[1] != parts[0]:
                        uses.setdefault(parts[0], {}).setdefault(target[1], os.path.relpath(path, root))


def cycle_from(start):
    """A path of includes from `start` back to itself, or None."""
    stack, seen = [(start, [start])], set()
    while stack:
        folder, path = stack.pop()
        for other in uses.get(folder, {}):
            if other == start:
                return path + [start]
            if other not in seen:
                seen.add(other)
                stack.append((other, path + [other]))
    return None


# Each cycle once, from its first folder by name.
cycles = [c for c in (cycle_from(folder) for folder in sorted(uses)) if c and c[0] == min(c)]
for c in cycles:
    steps = ", ".join(f"{a} -> {b} ({uses[a][b]})" for a, b in zip(c, c[1:]))
    print(f"FAIL folder cycle in platform/: {steps}")
print(f"{'FAIL' if cycles else 'PASS'} platform folders: {len(uses)} include others, {len(cycles)} in a cycle")
sys.exit(1 if failed or cycles or checked == 0 else 0)
