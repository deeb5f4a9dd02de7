#!/usr/bin/env python3
"""Writes the application icon: one 32 x 32 image in 16 colours.

Usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

# A blue parking sign with an arrow going up to head office. "." is
# transparent; the letters name colours of PALETTE.
PICTURE = [
    "................................",
    "...KKKKKKKKKKKKKKKKKKKKKKKKKK...",
    "..KBBBBBBBBBBBBBBBBBBBBBBBBBBK..",
    ".KBBBBBBBBBBBBBBBBBBBBBBBBBBBBK.",
    ".KBBBBBBBBBBBBBBBBBBBBBBBBBBBBK.",
    ".KBBBBBBBBBBBBBBBBBBBBBBBBBBBBK.",
    ".KBBBWWWWWWWWWWWWWWBBBBBBBBBBBK.",
    ".KBBBWWWWWWWWWWWWWWBBBBBBBBBBBK.",
    ".KBBBWWWWBBBBBBBBWWWWBBBBBBBBBK.",
    ".KBBBWWWWBBBBBBBBWWWWBBBBYBBBBK.",
    ".KBBBWWWWBBBBBBBBWWWWBBBYYYBBBK.",
    ".KBBBWWWWBBBBBBBBWWWWBBYYYYYBBK.",
    ".KBBBWWWWBBBBBBBBWWWWBYYYYYYYBK.",
    ".KBBBWWWWBBBBBBBBWWWWBBBYYYBBBK.",
    ".KBBBWWWWWWWWWWWWWWBBBBBYYYBBBK.",
    ".KBBBWWWWWWWWWWWWWWBBBBBYYYBBBK.",
    ".KBBBWWWWBBBBBBBBBBBBBBBYYYBBBK.",
    ".KBBBWWWWBBBBBBBBBBBBBBBYYYBBBK.",
    ".KBBBWWWWBBBBBBBBBBBBBBBYYYBBBK.",
    ".KBBBWWWWBBBBBBBBBBBBBBBBBBBBBK.",
    ".KBBBWWWWBBBBBBBBBBBBBBBBBBBBBK.",
    ".KBBBWWWWBBBBBBBBBBBBBBBBBBBBBK.",
    ".KBBBWWWWBBBBBBBBBBBBBBBBBBBBBK.",
    ".KBBBWWWWBBBBBBBBBBBBBBBBBBBBBK.",
    ".KBBBBBBBBBBBBBBBBBBBBBBBBBBBBK.",
    ".KBBBBBBBBBBBBBBBBBBBBBBBBBBBBK.",
    ".KBBBBBBBBBBBBBBBBBBBBBBBBBBBBK.",
    ".KBBBBBBBBBBBBBBBBBBBBBBBBBBBBK.",
    ".KBBBBBBBBBBBBBBBBBBBBBBBBBBBBK.",
    "..KBBBBBBBBBBBBBBBBBBBBBBBBBBK..",
    "...KKKKKKKKKKKKKKKKKKKKKKKKKK...",
    "................................",
]

# The 16 colours of the standard Windows palette, as (red, green, blue);
# the letters are the ones the picture uses.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
COLOUR_INDEX = {".": 0, "K": 0, "B": 12, "Y": 11, "W": 15}

SIZE = 32


def image_bytes():
    """The icon image: a bottom-up 4-bit DIB followed by its 1-bit AND mask."""
    assert len(PICTURE) == SIZE and all(len(row) == SIZE for row in PICTURE)
    rows = list(reversed(PICTURE))
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in PALETTE)
    colours = bytearray()
    for row in rows:
        indices = [COLOUR_INDEX[c] for c in row]
        colours += bytes((indices[i] << 4) | indices[i + 1] for i in range(0, SIZE, 2))
    # Set bits are transparent; each row is 4 bytes, already a multiple of 4.
    mask = bytearray()
    for row in rows:
        bits = 0
        for c in row:
            bits = (bits << 1) | (c == ".")
        mask += struct.pack(">I", bits)
    return header + palette + bytes(colours) + bytes(mask)


def icon_file():
    image = image_bytes()
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as out:
        out.write(icon_file())
