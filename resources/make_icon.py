#!/usr/bin/env python3
"""Writes tessaread.ico: a 16-colour icon with a 32 x 32 and a 16 x 16 image.

The picture is a small Data Matrix-like symbol (solid L-shaped finder on the
left and bottom, alternating clock tracks on the top and right) in black on
white, inside a navy frame. The output is deterministic, so the committed
file can be checked by running this script again.

Usage: make_icon.py [output]   (default: tessaread.ico next to this script)
"""
import os
import struct
import sys

# The standard 16-colour VGA palette, as (blue, green, red) triples.
PALETTE = [
    (0x00, 0x00, 0x00), (0x00, 0x00, 0x80), (0x00, 0x80, 0x00), (0x00, 0x80, 0x80),
    (0x80, 0x00, 0x00), (0x80, 0x00, 0x80), (0x80, 0x80, 0x00), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0x00, 0x00, 0xFF), (0x00, 0xFF, 0x00), (0x00, 0xFF, 0xFF),
    (0xFF, 0x00, 0x00), (0xFF, 0x00, 0xFF), (0xFF, 0xFF, 0x00), (0xFF, 0xFF, 0xFF),
]
BLACK, NAVY, WHITE = 0, 4, 15

MODULES = 12


def symbol_modules():
    """12 x 12 modules, row 0 at the top; True is dark."""
    grid = [[False] * MODULES for _ in range(MODULES)]
    state = 0x2545F491
    for row in range(1, MODULES - 1):
        for col in range(1, MODULES - 1):
            # xorshift32: a fixed, plausible-looking data area.
            state ^= (state << 13) & 0xFFFFFFFF
            state ^= state >> 17
            state ^= (state << 5) & 0xFFFFFFFF
            grid[row][col] = bool(state & 1)
    for i in range(MODULES):
        grid[i][0] = True                  # left finder side
        grid[MODULES - 1][i] = True        # bottom finder side
        grid[0][i] = i % 2 == 0            # top clock track
        grid[i][MODULES - 1] = i % 2 == 1  # right clock track
    return grid


def picture(size):
    """Rows of palette indices, top row first."""
    module = 2 if size == 32 else 1
    margin = (size - MODULES * module) // 2
    grid = symbol_modules()
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            if x == 0 or y == 0 or x == size - 1 or y == size - 1:
                row.append(NAVY)
                continue
            mx, my = (x - margin) // module, (y - margin) // module
            inside = 0 <= x - margin < MODULES * module and 0 <= y - margin < MODULES * module
            row.append(BLACK if inside and grid[my][mx] else WHITE)
        rows.append(row)
    return rows


def padded(data):
    return data + b"\0" * (-len(data) % 4)


def icon_image(size):
    """BITMAPINFOHEADER (double height: colour and mask), palette, pixels, mask."""
    rows = picture(size)
    colour = b""
    for row in reversed(rows):  # bottom-up
        packed = bytes((row[i] << 4) | row[i + 1] for i in range(0, size, 2))
        colour += padded(packed)
    mask = b""
    for _ in range(size):  # every pixel opaque
        mask += padded(b"\0" * (size // 8))
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0,
                         len(colour) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for b, g, r in PALETTE)
    return header + palette + colour + mask


def icon_file(sizes):
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "tessaread.ico")
    with open(target, "wb") as f:
        f.write(icon_file([32, 16]))


if __name__ == "__main__":
    main()
