#!/usr/bin/env python3
"""Draws the small test pictures of the graphics tests and writes them as PNG files here.

Every picture is computed from a formula, so it can be made again at any time:
    python3 make_test_images.py
"""
import math
import os
import struct
import zlib


def write_png(name, width, height, pixel):
    """pixel(x, y) -> (r, g, b, a), 8 bits each, unpremultiplied."""
    rows = bytearray()
    for y in range(height):
        rows.append(0)  # no filter
        for x in range(width):
            rows.extend(bytes(pixel(x, y)))

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b"")
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), name), "wb") as f:
        f.write(png)


def coverage(d):
    """Anti-aliased coverage of a pixel whose centre is d pixels inside an edge."""
    return max(0.0, min(1.0, d + 0.5))


# One solid colour: drawn at twice its density it must cover exactly twice its size.
write_png("square16.png", 16, 16, lambda x, y: (0, 128, 128, 255))

# Three solid frames stacked: any bleeding of a neighbour shows as a foreign colour.
STRIP = [(255, 0, 0), (0, 200, 0), (0, 0, 255)]
write_png("strip3.png", 16, 48, lambda x, y: STRIP[y // 16] + (255,))


# A knob: a disc with a rim and an indicator, at 1x and 2x, transparent outside.
def knob(scale):
    size = 24 * scale
    c = size / 2.0
    r = 11.0 * scale

    def pixel(x, y):
        dx, dy = x + 0.5 - c, y + 0.5 - c
        dist = math.hypot(dx, dy)
        a = coverage(r - dist)
        if a == 0.0:
            return (0, 0, 0, 0)
        rim = coverage(dist - (r - 2.0 * scale))
        base = (60, 60, 70) if rim < 0.5 else (200, 200, 210)
        # The indicator points up and to the right, at 45 degrees.
        ux, uy = math.sqrt(0.5), -math.sqrt(0.5)
        along = dx * ux + dy * uy
        across = abs(-dx * uy + dy * ux)
        if 0.0 < along < r - 2.0 * scale and across < 1.2 * scale:
            base = (255, 140, 0)
        return base + (int(round(a * 255)),)

    return size, pixel


for scale, name in ((1, "knob.png"), (2, "knob@2x.png")):
    size, pixel = knob(scale)
    write_png(name, size, size, pixel)


# Four frames side by side: a bar that grows from frame to frame.
def meter(x, y):
    frame, fx = divmod(x, 12)
    level = 3 * (frame + 1)
    if 1 <= fx <= 10 and 11 - level <= y <= 10:
        return (40, 160, 255, 255)
    return (30, 30, 30, 255) if fx in (0, 11) or y in (0, 11) else (0, 0, 0, 0)


write_png("meter4.png", 48, 12, meter)
