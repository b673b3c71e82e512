#!/usr/bin/env python3
"""Writes the seed inputs of diff_fuzz and delta_manifest_fuzz: inflated diff streams and
manifests in the documented forms, so that the fuzzers start past the headers."""
import hashlib
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def varint(v):
    out = bytearray()
    while v >= 0x80:
        out.append((v & 0x7F) | 0x80)
        v >>= 7
    out.append(v)
    return bytes(out)


def zigzag(v):
    return (v << 1) ^ (v >> 63) if v >= 0 else ((-v) << 1) - 1


def control(copy, insert, offset=0, adjusted=False):
    s = varint(copy * 2 + (1 if adjusted else 0)) + varint(insert)
    return s + (varint(zigzag(offset)) if copy else b"")


def chunk(controls, additions=b"", inserts=b""):
    return varint(len(controls)) + varint(len(additions)) + varint(len(inserts)) + controls + additions + inserts


def diff(base_size, new_size, *chunks):
    return b"ODIF\x01" + varint(base_size) + varint(new_size) + b"".join(chunks)


def main():
    seeds = {
        "diff": {
            "copy": diff(4017, 10, chunk(control(10, 0))),
            "mixed": diff(4017, 9, chunk(control(2, 3, 16, True) + control(4, 0, -4), b"\x01\x00", b"xyz")),
            "two-chunks": diff(4017, 4, chunk(control(0, 2), b"", b"ab"), chunk(control(2, 0, 3000))),
        },
        "manifest": {},
    }
    h = hashlib.sha256(b"").hexdigest()
    seeds["manifest"]["full"] = (f"OrbelleDelta|1\r\nBase|5|{h}|Bin\\a.dll\r\nFile|diff|7|{h}|Bin\\a.dll\r\n"
                                 f"File|keep|0|{h}|b.txt\r\nFile|whole|3|{h}|Sub\\c.txt\r\nRemove|d.txt\r\n").encode()
    seeds["manifest"]["empty"] = b"OrbelleDelta|1\r\n"
    for kind, files in seeds.items():
        folder = os.path.join(HERE, "delta", kind)
        os.makedirs(folder, exist_ok=True)
        for name, data in files.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
