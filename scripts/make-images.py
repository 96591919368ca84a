#!/usr/bin/env python3
"""Draws the program's own pictures into resources/images/: the background of the main
window (a wall of monitors), the program icon and the two activity indicators. Run it again
after changing a picture; the PNG files are kept in the tree."""
import math
import os
import struct
import zlib

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "images")


def png(path, width, height, pixel):
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows.extend(pixel(x, y))
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))


def mix(a, b, t):
    return tuple(int(a[i] + (b[i] - a[i]) * t) for i in range(3))


def background(x, y):
    # A dark studio wall with a 4 x 3 grid of monitors showing soft colour fields.
    base = mix((18, 24, 38), (40, 52, 78), y / 480)
    cols, rows, left, top, w, h, gap = 4, 3, 96, 92, 104, 78, 10
    cx, cy = x - left, y - top
    if 0 <= cx < cols * (w + gap) and 0 <= cy < rows * (h + gap):
        i, j = cx // (w + gap), cy // (h + gap)
        mx, my = cx % (w + gap), cy % (h + gap)
        if mx < w and my < h:
            if mx < 3 or my < 3 or mx >= w - 3 or my >= h - 3:
                return (10, 12, 16, 255)  # bezel
            hue = (i + j * cols) / (cols * rows)
            glow = 0.55 + 0.45 * math.sin((mx / w + hue) * math.pi)
            colour = (int(60 + 150 * abs(math.sin(hue * 6.28))),
                      int(80 + 120 * abs(math.sin(hue * 6.28 + 2.1))),
                      int(120 + 110 * abs(math.sin(hue * 6.28 + 4.2))))
            return tuple(int(c * glow) for c in colour) + (255,)
    if 392 <= y < 396 and 60 <= x < 580:
        return (90, 110, 150, 255)  # the floor line
    return base + (255,)


def icon(x, y, size=32):
    # Four monitors in a square, the program's mark.
    m = size // 16
    inner = size - 2 * m
    half = inner // 2
    cx, cy = x - m, y - m
    if not (0 <= cx < inner and 0 <= cy < inner):
        return (0, 0, 0, 0)
    if cx % half < m or cy % half < m:
        return (20, 24, 32, 255)
    quadrant = (cx // half) + 2 * (cy // half)
    colours = [(230, 70, 60), (70, 190, 90), (60, 120, 230), (240, 200, 60)]
    return colours[quadrant] + (255,)


def indicator(lit):
    def pixel(x, y):
        d = math.hypot(x - 7.5, y - 7.5)
        if d > 6.5:
            return (0, 0, 0, 0)
        if d > 5.5:
            return (40, 40, 40, 255)
        if lit:
            t = d / 5.5
            return mix((200, 255, 200), (20, 190, 40), t) + (255,)
        return (70, 80, 70, 255)
    return pixel


os.makedirs(HERE, exist_ok=True)
png(os.path.join(HERE, "background.png"), 640, 480, background)
png(os.path.join(HERE, "icon32.png"), 32, 32, icon)
png(os.path.join(HERE, "icon16.png"), 16, 16, lambda x, y: icon(x, y, 16))
png(os.path.join(HERE, "activity_lit.png"), 16, 16, indicator(True))
png(os.path.join(HERE, "activity_dark.png"), 16, 16, indicator(False))
