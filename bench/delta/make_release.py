#!/usr/bin/env python3
"""Writes the delta benchmark's synthetic data into a work folder (same bytes every run):

  release/base, release/new   960 files (about 80 MB); 3 % of them changed in new: small
                              edits, a few rewritten, and Bin/Engine.dll (20 MB) with
                              scattered 4-byte edits, inserted and deleted blocks
  big/base.bin, big/new.bin   100 MB, with scattered edits, inserted, deleted and moved blocks

    make_release.py WORK
"""
import os
import random
import sys

BLOCK = 4096


def pool(rng, count=256):
    """Blocks that look like code and data: runs of a small vocabulary with operands."""
    words = [rng.randbytes(rng.randrange(2, 9)) for _ in range(512)]
    out = []
    for _ in range(count):
        b = bytearray()
        while len(b) < BLOCK:
            b += rng.choice(words)
            if rng.random() < 0.3:
                b += rng.randrange(1 << 32).to_bytes(4, "little")
        out.append(bytes(b[:BLOCK]))
    return out


def content(rng, blocks, size):
    """size bytes of pool blocks, each with a few bytes of its own."""
    parts, n = [], 0
    while n < size:
        b = bytearray(rng.choice(blocks))
        for _ in range(24):
            b[rng.randrange(BLOCK)] = rng.randrange(256)
        parts.append(bytes(b))
        n += BLOCK
    return b"".join(parts)[:size]


def edited(rng, data, edits, inserts=0, deletes=0, moves=0):
    d = bytearray(data)
    for _ in range(edits):
        p = rng.randrange(len(d) - 4)
        d[p:p + 4] = rng.randrange(1 << 32).to_bytes(4, "little")
    for _ in range(inserts):
        p = rng.randrange(len(d))
        d[p:p] = rng.randbytes(rng.randrange(64, 2048))
    for _ in range(deletes):
        p = rng.randrange(len(d) - 4096)
        del d[p:p + rng.randrange(64, 4096)]
    for _ in range(moves):
        n = rng.randrange(4096, 65536)
        p = rng.randrange(len(d) - n)
        block = d[p:p + n]
        del d[p:p + n]
        q = rng.randrange(len(d))
        d[q:q] = block
    return bytes(d)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    work = sys.argv[1]
    rng = random.Random(2026)
    blocks = pool(rng)
    names = [f"Data/Set{i // 100:02d}/item{i:04d}.bin" for i in range(959)] + ["Bin/Engine.dll"]
    changed = set(rng.sample(range(959), 28)) | {959}
    for i, name in enumerate(names):
        size = 20 << 20 if i == 959 else rng.randrange(2 << 10, 160 << 10)
        data = content(rng, blocks, size)
        write(os.path.join(work, "release", "base", name), data)
        if i == 959:
            data = edited(rng, data, 2000, inserts=20, deletes=10)
        elif i in changed:
            data = content(rng, blocks, size) if i % 4 == 0 else edited(rng, data, 8, inserts=1)
        write(os.path.join(work, "release", "new", name), data)
    big = content(rng, blocks, 100 << 20)
    write(os.path.join(work, "big", "base.bin"), big)
    write(os.path.join(work, "big", "new.bin"), edited(rng, big, 5000, inserts=50, deletes=50, moves=20))


if __name__ == "__main__":
    main()
