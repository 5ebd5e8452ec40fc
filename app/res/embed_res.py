#!/usr/bin/env python3
"""Writes a compiled resource image (.res) as a C++ source file that
defines morvalen_embedded_resources().

    embed_res.py IN.res OUT.cpp
"""

import sys


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    with open(argv[1], "rb") as f:
        data = f.read()
    lines = []
    for i in range(0, len(data), 16):
        lines.append("    " + ", ".join(f"0x{b:02x}" for b in data[i : i + 16]) + ",")
    text = (
        f"// Generated from {argv[1].rsplit('/', 1)[-1]} by embed_res.py; do not edit.\n"
        "#include <cstddef>\n\n"
        "namespace {\n"
        f"alignas(4) const unsigned char kImage[{len(data)}] = {{\n" + "\n".join(lines) + "\n};\n"
        "}  // namespace\n\n"
        'extern "C" const unsigned char *morvalen_embedded_resources(size_t *size) {\n'
        "    if (size) *size = sizeof(kImage);\n"
        "    return kImage;\n"
        "}\n"
    )
    with open(argv[2], "w", encoding="ascii") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except OSError as e:
        print(f"embed_res.py: {e}", file=sys.stderr)
        sys.exit(1)
