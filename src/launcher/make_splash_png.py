#!/usr/bin/env python3
"""Draws the launcher's splash picture, Skin/splash.png: 523 x 298 pixels, RGBA.

Regions (picture coordinates) that the tests rely on:
  - fully transparent outside a rounded rectangle inset by 6 pixels (corners too);
  - opaque dark blue body above y = 230, with a lighter orb at (120, 110), radius 60;
  - opaque light band 230 <= y < 275 (the black notice line is drawn at y = 245);
  - half-transparent red band 275 <= y < 292, alpha 128.
The output depends only on this script (fixed zlib level, no time stamps).
"""
import struct
import sys
import zlib

WIDTH, HEIGHT = 523, 298
INSET, RADIUS = 6, 24


def inside_rounded_rect(x, y):
    left, top, right, bottom = INSET, INSET, WIDTH - 1 - INSET, HEIGHT - 1 - INSET
    if x < left or x > right or y < top or y > bottom:
        return False
    cx = min(max(x, left + RADIUS), right - RADIUS)
    cy = min(max(y, top + RADIUS), bottom - RADIUS)
    return (x - cx) ** 2 + (y - cy) ** 2 <= RADIUS ** 2


def pixel(x, y):
    if not inside_rounded_rect(x, y):
        return (0, 0, 0, 0)
    if y >= 275:
        return (200, 60, 40, 128)
    if y >= 230:
        return (235, 235, 240, 255)
    d2 = (x - 120) ** 2 + (y - 110) ** 2
    if d2 <= 60 ** 2:
        shade = 255 - int(150 * d2 / 3600)
        return (shade // 3, shade // 2 + 40, shade, 255)
    t = y / 230
    return (int(10 + 10 * t), int(40 + 30 * t), int(80 + 40 * t), 255)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def main(path):
    rows = bytearray()
    for y in range(HEIGHT):
        rows.append(0)  # filter type None
        for x in range(WIDTH):
            rows.extend(pixel(x, y))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(rows), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main(sys.argv[1])
