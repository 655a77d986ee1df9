#!/usr/bin/env python3
"""Draws the kvsfx icon and writes it as a Windows .ico file.

The icon holds 16, 32 and 48 pixel images, each once in 256 colours (8-bit
palette plus transparency mask) and once in 32-bit colour with alpha. The
picture: a blue rounded tile with a cardboard parcel whose zip runs down its
middle, and a green arrow leaving the parcel (the launcher unpacks and
starts). Shapes are described in unit coordinates and sampled 4 x 4 times per
pixel, so every size is drawn from the same description.

usage: make_icon.py OUTPUT.ico
"""
import struct
import sys

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


def palette():
    """A 6 x 6 x 6 colour cube, the picture's own colours, then greys."""
    colours = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    colours += [(int(60 - 30 * t / 11), int(130 - 60 * t / 11), int(225 - 70 * t / 11)) for t in range(12)]
    colours += [(18, 46, 110), (70, 200, 90), (20, 110, 40), (70, 70, 70), (210, 210, 210),
                (238, 190, 110), (150, 100, 40), (214, 160, 80)]
    colours += [(v * 255 // 19,) * 3 for v in range(20)]
    return colours[:256]


def nearest(colour, pal, cache):
    if colour not in cache:
        r, g, b = colour
        cache[colour] = min(range(len(pal)), key=lambda i: (pal[i][0] - r) ** 2 + (pal[i][1] - g) ** 2 + (pal[i][2] - b) ** 2)
    return cache[colour]


def mask_bits(rows, size):
    """AND mask, bottom row first, 1 = transparent, rows padded to 4 bytes."""
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return bytes(out)


def dib(rows, size, bits):
    pal = palette()
    header_colours = 256 if bits == 8 else 0
    pixels = bytearray()
    if bits == 8:
        cache = {}
        stride = (size + 3) // 4 * 4
        for row in reversed(rows):
            line = bytearray(stride)
            for x, (r, g, b, a) in enumerate(row):
                line[x] = nearest((r, g, b), pal, cache) if a >= 128 else 0
            pixels += line
    else:
        for row in reversed(rows):
            for r, g, b, a in row:
                pixels += bytes((b, g, r, a))
    mask = mask_bits(rows, size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(pixels) + len(mask), 0, 0,
                         header_colours, 0)
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in pal) if bits == 8 else b""
    return header + table + bytes(pixels) + mask


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    images = []
    for bits in (8, 32):
        for size in SIZES:
            images.append((size, bits, dib(render(size), size, bits)))
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
