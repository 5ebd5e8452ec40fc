#!/usr/bin/env python3
"""Turns a 32 x 32 text pixel map into a 16-colour .ico file.

A map is 32 lines of 32 characters, top row first; '#' starts a comment
line. Each character names one colour of the standard 16-colour palette;
'.' is a transparent pixel (colour index 0, mask bit set).

    make_ico.py MAP OUT.ico          the icon file windres reads
    make_ico.py MAP --png OUT.png    an enlarged picture to look at
"""

import struct
import sys
import zlib

SIZE = 32

# (character, RGB) in palette order.
PALETTE = [
    ("k", (0, 0, 0)),  # black
    ("m", (128, 0, 0)),  # maroon
    ("g", (0, 128, 0)),  # green
    ("o", (128, 128, 0)),  # olive
    ("n", (0, 0, 128)),  # navy
    ("p", (128, 0, 128)),  # purple
    ("t", (0, 128, 128)),  # teal
    ("s", (192, 192, 192)),  # silver
    ("d", (128, 128, 128)),  # grey (dark)
    ("r", (255, 0, 0)),  # red
    ("l", (0, 255, 0)),  # lime
    ("y", (255, 255, 0)),  # yellow
    ("b", (0, 0, 255)),  # blue
    ("f", (255, 0, 255)),  # fuchsia
    ("a", (0, 255, 255)),  # aqua
    ("w", (255, 255, 255)),  # white
]
INDEX = {ch: i for i, (ch, _) in enumerate(PALETTE)}
TRANSPARENT = "."


def read_map(path):
    rows = []
    with open(path, encoding="ascii") as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if line.startswith("#"):
                continue
            if len(line) != SIZE:
                raise ValueError(f"{path}:{n}: {len(line)} characters, want {SIZE}")
            for ch in line:
                if ch != TRANSPARENT and ch not in INDEX:
                    raise ValueError(f"{path}:{n}: unknown colour '{ch}'")
            rows.append(line)
    if len(rows) != SIZE:
        raise ValueError(f"{path}: {len(rows)} rows, want {SIZE}")
    return rows


def dib(rows):
    """The 744-byte icon image: header, palette, colour bits, mask bits."""
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 4, 0, 640, 0, 0, 0, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for _, (r, g, b) in PALETTE)
    colour = bytearray()
    mask = bytearray()
    for line in reversed(rows):  # bottom row first
        idx = [0 if ch == TRANSPARENT else INDEX[ch] for ch in line]
        for x in range(0, SIZE, 2):
            colour.append((idx[x] << 4) | idx[x + 1])
        bits = 0
        for ch in line:
            bits = (bits << 1) | (1 if ch == TRANSPARENT else 0)
        mask += struct.pack(">I", bits)  # leftmost pixel in the top bit
    image = header + palette + bytes(colour) + bytes(mask)
    assert len(image) == 744
    return image


def ico(rows):
    image = dib(rows)
    head = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return head + entry + image


def png(rows, scale):
    """An enlarged RGB picture; transparent pixels as a light checkerboard."""
    raw = bytearray()
    for y in range(SIZE * scale):
        raw.append(0)
        line = rows[y // scale]
        for x in range(SIZE * scale):
            ch = line[x // scale]
            if ch == TRANSPARENT:
                light = ((x // scale) + (y // scale)) % 2 == 0
                rgb = (236, 236, 236) if light else (212, 212, 212)
            else:
                rgb = PALETTE[INDEX[ch]][1]
            raw += bytes(rgb)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    side = SIZE * scale
    return (
        b"\x89PNG\r\n\x1a\n"
        + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0))
        + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
        + chunk(b"IEND", b"")
    )


def main(argv):
    if len(argv) == 3:
        data = ico(read_map(argv[1]))
        out = argv[2]
    elif len(argv) == 4 and argv[2] == "--png":
        data = png(read_map(argv[1]), 8)
        out = argv[3]
    else:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    with open(out, "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except (OSError, ValueError) as e:
        print(f"make_ico.py: {e}", file=sys.stderr)
        sys.exit(1)
