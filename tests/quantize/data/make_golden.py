#!/usr/bin/env python3
"""Writes the expected quantizer output for the golden tests (QuantizerGoldenTest.cpp).

An independent, deliberately simple model of the octree quantizer and the serpentine
Stucki ditherer: no previous-colour cache, no node pool, plain lists. The test pictures
are built here and in the test from the same integer recipes (TestPictures.cpp).

    tests/quantize/data/make_golden.py      # rewrites the *.golden files beside it
"""
import os

from xorshift import XorShift32

HERE = os.path.dirname(os.path.abspath(__file__))


def gradient(w, h):
    px = []
    for y in range(h):
        for x in range(w):
            r = x * 255 // (w - 1)
            g = y * 255 // (h - 1)
            b = (x + y) * 255 // (w + h - 2)
            px.append((255, r, g, b))
    return px


def photo(w, h):
    """Sky, a sun disc and a hill, with noise and a column of transparent pixels."""
    rng = XorShift32(0x2545F491)
    px = []
    for y in range(h):
        for x in range(w):
            d2 = (x * 64 // w - 40) ** 2 + (y * 48 // h - 12) ** 2
            if d2 < 100:
                base = (255, 220 - d2, 120)
            elif y * 48 // h > 30 - (x * 64 // w) * (63 - x * 64 // w) // 128:
                base = (60 + x * 64 // w, 120 + (y * 48 // h - 30) * 3, 40)
            else:
                base = (90 + (y * 48 // h) * 2, 140 + y * 48 // h, 230 - y * 48 // h)
            c = [min(255, max(0, v + (rng.next() >> 24) % 17 - 8)) for v in base]
            alpha = 0 if x == 0 and y % 8 == 0 else 255
            px.append((alpha, c[0], c[1], c[2]))
    return px


class Node:
    def __init__(self):
        self.children = [None] * 8
        self.leaf = False
        self.sums = [0, 0, 0]
        self.count = 0
        self.index = 0


class Octree:
    def __init__(self, bits):
        self.bits = bits
        self.leaves = 0
        self.reducible = [[] for _ in range(8)]  # newest at the end
        self.root = self.new_node(0)

    def new_node(self, level):
        n = Node()
        if level == self.bits:
            n.leaf = True
            self.leaves += 1
        else:
            self.reducible[level].append(n)
        return n

    @staticmethod
    def child_index(rgb, level):
        shift = 7 - level
        r, g, b = rgb
        return ((r >> shift) & 1) * 4 + ((g >> shift) & 1) * 2 + ((b >> shift) & 1)

    def insert(self, rgb):
        node, level = self.root, 0
        while not node.leaf:
            i = self.child_index(rgb, level)
            if node.children[i] is None:
                node.children[i] = self.new_node(level + 1)
            node, level = node.children[i], level + 1
        node.count += 1
        for c in range(3):
            node.sums[c] += rgb[c]

    def merge_deepest(self):
        for level in range(self.bits - 1, -1, -1):
            if self.reducible[level]:
                node = self.reducible[level].pop()
                kids = [k for k in node.children if k is not None]
                for k in kids:
                    node.count += k.count
                    for c in range(3):
                        node.sums[c] += k.sums[c]
                node.children = [None] * 8
                node.leaf = True
                self.leaves -= len(kids) - 1
                return True
        return False

    @staticmethod
    def colour(node):
        if node.count == 0:
            return (0, 0, 0)
        return tuple(s // node.count for s in node.sums)

    def make_palette(self, limit):
        while self.leaves > limit and self.merge_deepest():
            pass
        palette = []
        for node in self.leaf_nodes():
            node.index = len(palette)
            palette.append(self.colour(node))
        return palette

    def leaf_nodes(self):
        found = []

        def walk(node):
            if node.leaf:
                found.append(node)
            else:
                for k in node.children:
                    if k is not None:
                        walk(k)

        walk(self.root)
        return found

    def find(self, rgb):
        """The leaf the colour's branch reaches; off the tree, the nearest leaf colour."""
        node, level = self.root, 0
        while not node.leaf:
            k = node.children[self.child_index(rgb, level)]
            if k is None:
                leaves = self.leaf_nodes()
                if not leaves:
                    break
                k = min(leaves, key=lambda n: sum((a - b) ** 2 for a, b in zip(self.colour(n), rgb)))
                return k.index, self.colour(k)
            node, level = k, level + 1
        return node.index, self.colour(node)


def trunc_div(a, b):
    return -((-a) // b) if a < 0 else a // b


def quantize(pixels, w, h, max_colors, bits):
    tree = Octree(bits)
    for a, r, g, b in pixels:
        tree.insert((r, g, b))
    palette = tree.make_palette(max_colors - 1)
    # errors[channel][row][column + 2]
    errors = [[[0] * (w + 4) for _ in range(3)] for _ in range(3)]
    out = [[0] * w for _ in range(h)]
    stucki = [(0, 1, 8), (0, 2, 4),
              (1, -2, 2), (1, -1, 4), (1, 0, 8), (1, 1, 4), (1, 2, 2),
              (2, -2, 1), (2, -1, 2), (2, 0, 4), (2, 1, 2), (2, 2, 1)]
    for y in range(h):
        d = 1 if y % 2 == 0 else -1
        columns = range(w) if d == 1 else range(w - 1, -1, -1)
        for x in columns:
            _, r, g, b = pixels[y * w + x]
            fixed = [min(255, max(0, v + trunc_div(errors[c][0][x + 2] + 21, 42))) for c, v in enumerate((r, g, b))]
            index, chosen = tree.find(fixed)
            out[y][x] = index
            for c in range(3):
                e = fixed[c] - chosen[c]
                for row, dx, weight in stucki:
                    errors[c][row][x + 2 + dx * d] += weight * e
        for c in range(3):
            errors[c] = errors[c][1:] + [[0] * (w + 4)]
    return palette, out


CASES = [
    ("gradient_8_4", gradient, 32, 16, 8, 4),
    ("photo_255_8", photo, 64, 48, 255, 8),
    ("photo_16_8", photo, 64, 48, 16, 8),
    ("photo_64_5", photo, 64, 48, 64, 5),
    ("photo_2_3", photo, 64, 48, 2, 3),
    ("gradient_255_8", gradient, 32, 16, 255, 8),
]


def main():
    for name, make, w, h, max_colors, bits in CASES:
        palette, out = quantize(make(w, h), w, h, max_colors, bits)
        with open(os.path.join(HERE, name + ".golden"), "w") as f:
            f.write(f"# make_golden.py: {make.__name__} {w}x{h}, {max_colors} colours, {bits} bits\n")
            f.write(f"palette {len(palette)}\n")
            for r, g, b in palette:
                f.write(f"FF{r:02X}{g:02X}{b:02X}\n")
            f.write(f"indices {w} {h}\n")
            for row in out:
                f.write("".join(f"{i:02X}" for i in row) + "\n")


if __name__ == "__main__":
    main()
