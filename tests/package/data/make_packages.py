#!/usr/bin/env python3
"""Writes the update packages the package tests and the package fuzz target start from.

The packages are made here, independently of the product's writer, with Python's zlib:
  tests/package/data/vendor.vtzip   a package as another writer might lay it out
                                    (level 9, LF / CR / CR LF line breaks, no final break)
  fuzz/package/corpus/*             small valid and broken packages as fuzzing seeds

Run from anywhere:  python3 tests/package/data/make_packages.py
The output is deterministic; re-running it gives the same files.
"""
import hashlib
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
CORPUS = os.path.join(ROOT, "fuzz", "package", "corpus")


def package(index: bytes, blocks: bytes, magic: bytes = b"\x03zsf", version: int = 1, length=None) -> bytes:
    n = len(index) if length is None else length
    return magic + bytes([version]) + struct.pack("<i", n) + index + blocks


def entries(files, breaks=None, level=6):
    """files: list of (name bytes, content bytes); breaks: line break after each line."""
    index, blocks = b"", b""
    for i, (name, content) in enumerate(files):
        block = zlib.compress(content, level)
        index += name + b"|" + str(len(block)).encode()
        if breaks is None:
            index += b"\r\n"
        else:
            index += breaks[i]
        blocks += block
    return index, blocks


def vendor():
    files = [
        (b"readme.txt", b"Norvale Orbelle\r\n" * 3),
        (b"Skin\\splash.png", bytes(range(256)) * 4),
        (b"Data\\Sub\\\xe9t\xe9.dat", b"\xe9" * 70000),  # Windows-1252 name
        (b"Data\\empty.bin", b""),
    ]
    index, blocks = entries(files, [b"\n", b"\r", b"\r\n", b""], level=9)
    return package(index, blocks)


def seeds():
    good = [(b"a.txt", b"hello"), (b"Sub\\b.bin", bytes(range(200))), (b"empty", b"")]
    index, blocks = entries(good)
    yield package(index, blocks)
    yield vendor()
    yield package(b"\r\n", b"")
    yield package(index, blocks, magic=b"\x04zsf")
    yield package(index, blocks, version=2)
    yield package(index, blocks, length=-1)
    yield package(index, blocks)[:-3]  # truncated
    yield package(index, blocks + b"trailing")
    bad, bad_blocks = entries([(b"..\\up.txt", b"x"), (b"C:\\abs.txt", b"y"), (b"\\\\srv\\s\\u.txt", b"z"),
                               (b"con.txt", b"c"), (b"a.txt:ads", b"s"), (b"ok.txt", b"ok")])
    yield package(bad, bad_blocks)
    yield package(b"nobar\r\nx|abc\r\ny|0\r\nz|-5\r\n" + index, blocks)
    block = zlib.compress(b"data" * 100)
    corrupt = block[:1] + bytes([block[1] ^ 1]) + block[2:]
    yield package(b"c.bin|%d\r\nd.bin|%d\r\n" % (len(corrupt), len(block) // 2), corrupt + block[: len(block) // 2])
    raw = zlib.compressobj(6, zlib.DEFLATED, -15)
    yield package(b"raw.bin|%d" % 0, b"") + raw.compress(b"r" * 50) + raw.flush()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main():
    write(os.path.join(HERE, "vendor.vtzip"), vendor())
    os.makedirs(CORPUS, exist_ok=True)
    for data in seeds():
        write(os.path.join(CORPUS, hashlib.sha1(data).hexdigest()), data)


if __name__ == "__main__":
    main()
