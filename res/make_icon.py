#!/usr/bin/env python3
"""Draws the application icon and writes it as an .ico with 128, 48, 32 and
16 pixel images in 32-bit colour (BGRA with an AND mask). The drawing is this
script: a rounded indigo tile with a lit amber lamp and a key outline. The output
is byte-for-byte reproducible; the build checks the committed icon against it.

usage: make_icon.py OUT.ico
"""
import math
import struct
import sys

SIZES = (128, 48, 32, 16)
SUPERSAMPLE = 4


def coverage_rounded_rect(x, y, inset, radius):
    """1 inside a rounded square spanning [inset, 1-inset], else 0."""
    lo, hi = inset + radius, 1.0 - inset - radius
    dx = max(lo - x, 0.0, x - hi)
    dy = max(lo - y, 0.0, y - hi)
    return 1.0 if dx * dx + dy * dy <= radius * radius else 0.0


def shade(x, y):
    """Colour (r, g, b, a) in 0..1 of the point (x, y) of the unit square."""
    if not coverage_rounded_rect(x, y, 0.04, 0.18):
        return (0.0, 0.0, 0.0, 0.0)
    # Tile: indigo, lighter towards the top.
    t = y
    r, g, b = 0.16 + 0.10 * (1 - t), 0.18 + 0.10 * (1 - t), 0.42 + 0.16 * (1 - t)
    # Lamp: an amber disc with a warm glow around it.
    cx, cy, rad = 0.5, 0.42, 0.22
    d = math.hypot(x - cx, y - cy)
    if d < rad:
        k = d / rad
        r, g, b = 1.0, 0.86 - 0.30 * k, 0.38 - 0.30 * k
        if math.hypot(x - (cx - 0.07), y - (cy - 0.07)) < 0.06:
            r, g, b = 1.0, 0.98, 0.90
    elif d < rad + 0.14:
        glow = (1 - (d - rad) / 0.14) ** 2 * 0.7
        r, g, b = r + (1.0 - r) * glow, g + (0.72 - g) * glow, b + (0.20 - b) * glow
    # Key: a short white bar with two teeth below the lamp.
    if 0.30 <= x <= 0.70 and 0.75 <= y <= 0.81:
        r, g, b = 0.95, 0.95, 0.98
    if (0.56 <= x <= 0.61 or 0.64 <= x <= 0.69) and 0.81 <= y <= 0.87:
        r, g, b = 0.95, 0.95, 0.98
    return (r, g, b, 1.0)


def render(size):
    """Rows top to bottom of (b, g, r, a) bytes, supersampled."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    c = shade((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    acc[0] += c[0] * c[3]
                    acc[1] += c[1] * c[3]
                    acc[2] += c[2] * c[3]
                    acc[3] += c[3]
            a = acc[3] / (n * n)
            if a > 0:
                rgb = [min(255, int(round(v / acc[3] * 255))) for v in acc[:3]]
            else:
                rgb = [0, 0, 0]
            row += bytes((rgb[2], rgb[1], rgb[0], int(round(a * 255))))
        rows.append(bytes(row))
    return rows


def dib(size):
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(reversed(rows))  # bottom-up
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for px in range(size):
            if row[px * 4 + 3] == 0:
                bits[px // 8] |= 0x80 >> (px % 8)
        mask += bits
    return header + xor + bytes(mask)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    images = [dib(s) for s in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
