#!/usr/bin/python3
"""Writes the pictures of the colour-reduction quality test (QuantizerQualityTest.cpp) and
what a peer makes of them: quality_<name>.ppm and quality.golden, a line per picture with
the PSNR (dB) of Pillow's fast octree at 255 colours, without dithering.

The pictures: a gradient, hard-edged discs, noise, few-colour art and a plasma fractal,
built here from integer recipes, and ImageMagick's picture of a red-to-blue gradient with
a white disc blended half and half with a plasma fractal (needs `convert`; the seed goes
before the fractal, or the fractal differs from run to run).

    /usr/bin/python3 tests/quantize/data/make_quality.py   # Debian's python3-pil and numpy
"""
import os
import subprocess
import tempfile

import numpy as np
from PIL import Image
from xorshift import XorShift32

HERE = os.path.dirname(os.path.abspath(__file__))
W, H = 128, 96


def gradient():
    return [[(x * 255 // (W - 1), y * 255 // (H - 1), (x + y) * 255 // (W + H - 2)) for x in range(W)]
            for y in range(H)]


def discs():
    shapes = [(30, 30, 22, (250, 40, 40)), (80, 40, 30, (40, 200, 60)), (60, 70, 25, (30, 60, 230)),
              (105, 80, 14, (250, 230, 30)), (20, 80, 12, (255, 255, 255)), (95, 20, 10, (120, 0, 160))]
    rows = []
    for y in range(H):
        row = []
        for x in range(W):
            c = (40 + y, 40 + y // 2, 90 + x // 2)
            for cx, cy, r, colour in shapes:
                if (x - cx) ** 2 + (y - cy) ** 2 < r * r:
                    c = colour
            row.append(c)
        rows.append(row)
    return rows


def noise():
    rng = XorShift32(0x9E3779B9)
    rows = []
    for _ in range(H):
        row = []
        for _ in range(W):
            v = rng.next()
            row.append(((v >> 16) & 255, (v >> 8) & 255, v & 255))
        rows.append(row)
    return rows


def art():
    inks = [(0, 0, 0), (255, 255, 255), (200, 30, 30), (30, 160, 40), (20, 40, 180), (240, 200, 0),
            (255, 120, 0), (120, 60, 20), (150, 150, 150), (80, 200, 220), (200, 80, 200), (60, 60, 60)]
    return [[inks[((x // 16) + (y // 12) * 3 + ((x + y) // 24)) % len(inks)] for x in range(W)] for y in range(H)]


def plasma():
    """Diamond-square height fields, one per channel, on a 129 x 129 grid."""
    size = 129
    channels = []
    for seed in (0x1234567, 0x89ABCDE, 0x5555AAA):
        rng = XorShift32(seed)
        h = [[0] * size for _ in range(size)]
        for y in (0, size - 1):
            for x in (0, size - 1):
                h[y][x] = rng.next() % 4096
        step, amp = size - 1, 2048
        while step > 1:
            half = step // 2
            for y in range(half, size, step):
                for x in range(half, size, step):
                    s = h[y - half][x - half] + h[y - half][x + half] + h[y + half][x - half] + h[y + half][x + half]
                    h[y][x] = min(4095, max(0, s // 4 + rng.next() % (2 * amp + 1) - amp))
            for y in range(0, size, half):
                for x in range((y + half) % step, size, step):
                    total, n = 0, 0
                    for dy, dx in ((-half, 0), (half, 0), (0, -half), (0, half)):
                        if 0 <= y + dy < size and 0 <= x + dx < size:
                            total += h[y + dy][x + dx]
                            n += 1
                    h[y][x] = min(4095, max(0, total // n + rng.next() % (2 * amp + 1) - amp))
            step, amp = half, max(1, amp // 2)
        channels.append(h)
    return [[tuple(channels[c][y][x] >> 4 for c in range(3)) for x in range(W)] for y in range(H)]


def magick():
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "in.png")
        subprocess.run(["convert", "-size", "320x200", "gradient:red-blue", "-fill", "white", "-draw",
                        "circle 160,100 160,40", "(", "-seed", "4", "-size", "320x200", "plasma:fractal", ")",
                        "-compose", "blend", "-define", "compose:args=50", "-composite", "PNG32:" + path],
                       check=True)
        return Image.open(path).convert("RGB")


def psnr(a, b):
    mse = np.mean((np.asarray(a, dtype=np.float64) - np.asarray(b, dtype=np.float64)) ** 2)
    return 99.0 if mse == 0 else min(99.0, 10 * np.log10(255 ** 2 / mse))


def main():
    pictures = [("gradient", gradient), ("discs", discs), ("noise", noise), ("art", art), ("plasma", plasma)]
    lines = []
    for name, make in pictures + [("magick", None)]:
        if make is None:
            image = magick()
        else:
            image = Image.fromarray(np.array(make(), dtype=np.uint8), "RGB")
        image.save(os.path.join(HERE, f"quality_{name}.ppm"))
        reduced = image.quantize(colors=255, method=Image.Quantize.FASTOCTREE).convert("RGB")
        lines.append(f"{name} {psnr(image, reduced):.2f}\n")
    with open(os.path.join(HERE, "quality.golden"), "w") as f:
        f.write("# make_quality.py: picture, PSNR of Pillow's fast octree at 255 colours (dB)\n")
        f.writelines(lines)


if __name__ == "__main__":
    main()
