#!/usr/bin/env python3
"""Draws the kvsfx icon and writes it as a Windows .ico file.

The icon holds 16, 32 and 48 pixel images in 32-bit colour with alpha, each
stored PNG-compressed (read by Windows Vista and later; every launcher file
carries the icon, so its size counts). The
picture: a blue rounded tile with a cardboard parcel whose zip runs down its
middle, and a green arrow leaving the parcel (the launcher unpacks and
starts). Shapes are described in unit coordinates and sampled 4 x 4 times per
pixel, so every size is drawn from the same description.

usage: make_icon.py OUTPUT.ico
"""
import struct
import sys
import zlib

SIZES = (16, 32, 48)
SUPERSAMPLE = 4


def rounded_rect(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def in_arrow(x, y):
    # Upward arrow above the parcel, a little right of centre.
    shaft = 0.60 <= x <= 0.74 and 0.20 <= y <= 0.46
    head_top, head_bottom = 0.06, 0.26
    if head_top <= y <= head_bottom:
        half = 0.17 * (y - head_top) / (head_bottom - head_top)
        if abs(x - 0.67) <= half:
            return True
    return shaft


def sample(x, y):
    """Colour (r, g, b, a) of the picture at unit point (x, y)."""
    if not rounded_rect(x, y, 0.03, 0.03, 0.97, 0.97, 0.18):
        return (0, 0, 0, 0)
    # Frame of the tile, then its gradient.
    if not rounded_rect(x, y, 0.07, 0.07, 0.93, 0.93, 0.15):
        return (18, 46, 110, 255)
    if in_arrow(x, y):
        edge = in_arrow(x - 0.03, y) and in_arrow(x + 0.03, y) and in_arrow(x, y - 0.03) and in_arrow(x, y + 0.03)
        return (70, 200, 90, 255) if edge else (20, 110, 40, 255)
    # Parcel: lid band and body, with the zip down the middle of both.
    if 0.18 <= x <= 0.82 and 0.42 <= y <= 0.86:
        if abs(x - 0.42) <= 0.05:
            teeth = int((y - 0.42) / 0.045) % 2
            return (70, 70, 70, 255) if teeth else (210, 210, 210, 255)
        if y <= 0.53:
            return (238, 190, 110, 255)
        if x <= 0.21 or x >= 0.79 or y >= 0.83:
            return (150, 100, 40, 255)
        return (214, 160, 80, 255)
    t = (y - 0.07) / 0.86
    return (int(60 - 30 * t), int(130 - 60 * t), int(225 - 70 * t), 255)


def render(size):
    """Rows of (r, g, b, a), top row first, with supersampled edges."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = sample((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            alpha = acc[3] / (n * n)
            if acc[3]:
                row.append((acc[0] // acc[3], acc[1] // acc[3], acc[2] // acc[3], int(round(alpha))))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def png(rows, size):
    """The picture as a PNG file: 8-bit RGBA, no filtering, best compression."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    images = [(size, 32, png(render(size), size)) for size in SIZES]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    data = b""
    for size, bits, image in images:
        directory += struct.pack("<BBBBHHII", size, size, 0, 0, 1, bits, len(image), offset + len(data))
        data += image
    with open(sys.argv[1], "wb") as out:
        out.write(directory + data)


if __name__ == "__main__":
    main()
