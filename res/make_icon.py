#!/usr/bin/env python3
"""Draws the program's mark (a drive with a downward arrow) and writes res/app.ico.

The file holds four images, in this order: 32x32 with 24-bit colour and a mask only, then 16x16,
32x32 and 48x48 with 32-bit colour and alpha. The 24-bit image comes first for shells that take
the first entry and cannot show alpha. Standard library only.

Usage: make_icon.py [OUTPUT]   (default: app.ico beside this script)
"""

import math
import os
import struct
import sys

# (size, bits per pixel), in file order.
IMAGES = [(32, 24), (16, 32), (32, 32), (48, 32)]

# Supersampling grid per pixel side; 6x6 gives smooth edges at 16 px without being slow.
SAMPLES = 6

ARROW_TOP = (0x3D, 0xDC, 0xC8)
ARROW_BOTTOM = (0x0F, 0xA8, 0x9E)
DRIVE_TOP = (0x3A, 0x86, 0xE0)
DRIVE_BOTTOM = (0x1A, 0x4F, 0xA8)
DRIVE_EDGE = (0x12, 0x3A, 0x80)
SLOT = (0x13, 0x3D, 0x86)
LED = (0x6C, 0xF5, 0xDD)


def rounded_rect(x, y, left, top, right, bottom, radius):
    """True when (x, y) lies inside the rounded rectangle."""
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def triangle(x, y, a, b, c):
    def side(p, q):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])

    d1, d2, d3 = side(a, b), side(b, c), side(c, a)
    has_neg = d1 < 0 or d2 < 0 or d3 < 0
    has_pos = d1 > 0 or d2 > 0 or d3 > 0
    return not (has_neg and has_pos)


def lerp(c0, c1, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


# The mark in unit coordinates (0..1, y down). Straight edges sit on sixteenths so that they fall
# on whole pixels at 16, 32 and 48 px. Each function returns a colour or None.
DRIVE = (0.0625, 0.625, 0.9375, 0.9375, 0.11)
DRIVE_INNER = (0.1, 0.6625, 0.9, 0.9, 0.075)
SHAFT = (0.375, 0.0625, 0.625, 0.3125, 0.04)
HEAD = ((0.1875, 0.28125), (0.8125, 0.28125), (0.5, 0.5625))


def drive_colour(x, y):
    if not rounded_rect(x, y, *DRIVE):
        return None
    if not rounded_rect(x, y, *DRIVE_INNER):
        return DRIVE_EDGE
    if math.hypot(x - 0.78, y - 0.76) <= 0.065:
        return LED
    if 0.17 <= x <= 0.60 and 0.735 <= y <= 0.785:
        return SLOT
    return lerp(DRIVE_TOP, DRIVE_BOTTOM, (y - 0.6625) / 0.2375)


def arrow_colour(x, y):
    if rounded_rect(x, y, *SHAFT) or triangle(x, y, *HEAD):
        return lerp(ARROW_TOP, ARROW_BOTTOM, (y - 0.0625) / 0.5)
    return None


def sample(x, y):
    """Colour at a point, or None for background; the arrow lies over the drive."""
    colour = arrow_colour(x, y)
    if colour is None:
        colour = drive_colour(x, y)
    return colour


def render(size):
    """Rows top to bottom of (r, g, b, a) with straight (not premultiplied) alpha."""
    rows = []
    n = SAMPLES * SAMPLES
    for py in range(size):
        row = []
        for px in range(size):
            total = [0.0, 0.0, 0.0]
            hits = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = sample((px + (sx + 0.5) / SAMPLES) / size,
                               (py + (sy + 0.5) / SAMPLES) / size)
                    if c is not None:
                        hits += 1
                        for i in range(3):
                            total[i] += c[i]
            if hits == 0:
                row.append((0, 0, 0, 0))
            else:
                r, g, b = (int(round(t / hits)) for t in total)
                row.append((r, g, b, int(round(255 * hits / n))))
        rows.append(row)
    return rows


def and_mask(rows, size):
    """1 bit per pixel, set where the pixel is transparent; rows bottom-up, padded to 32 bits."""
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return bytes(out)


def dib(size, bpp):
    """A BITMAPINFOHEADER, the colour bitmap and the AND mask, as an icon entry stores them."""
    rows = render(size)
    colour = bytearray()
    stride = ((size * bpp + 31) // 32) * 4
    for row in reversed(rows):
        line = bytearray()
        for r, g, b, a in row:
            if bpp == 32:
                line += bytes((b, g, r, a))
            elif a >= 128:
                line += bytes((b, g, r))
            else:
                line += b"\0\0\0"  # transparent through the mask: black XOR leaves the screen
        line += bytes(stride - len(line))
        colour += line
    mask = and_mask(rows, size)
    # Height counts the colour bitmap and the mask together.
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    return header + bytes(colour) + mask


def build_ico():
    blobs = [dib(size, bpp) for size, bpp in IMAGES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(IMAGES)))
    offset = 6 + 16 * len(IMAGES)
    for (size, bpp), blob in zip(IMAGES, blobs):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, bpp, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    return bytes(out)


def main(argv):
    target = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                        "app.ico")
    data = build_ico()
    with open(target, "wb") as f:
        f.write(data)
    print(f"wrote {target} ({len(data)} bytes, {len(IMAGES)} images)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
