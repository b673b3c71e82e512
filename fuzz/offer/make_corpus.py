#!/usr/bin/env python3
"""Writes the seed corpus of offer_fuzz: update configurations as a vendor writes them
(line breaks of every kind, other sections, values already present) and as a launcher
might receive them (a signature line that is malformed, misplaced or of another key's
size). The fuzz target signs the texts itself; these seeds only need to look real.

    make_corpus.py <corpus folder>
"""
import base64
import os
import sys

BODY = "[System]\r\nPackageVision=2.1.0.12\r\nPackagePath=http://127.0.0.1:8080/pkg/p.vtzip\r\n"
SIG = "Signature=" + base64.b64encode(bytes(range(64))).decode()
SEEDS = {
    "plain.ini": BODY,
    "lf.ini": BODY.replace("\r\n", "\n"),
    "cr.ini": BODY.replace("\r\n", "\r"),
    "no-final-break.ini": BODY.rstrip("\r\n"),
    "sections.ini": "; vendor notes\r\n[Notes]\r\nText=a=b\r\n" + BODY + "\r\n[Mirror]\r\nHost=m\r\n",
    "values.ini": BODY + "PackageSize=120\r\nPackageSha256=" + "ab" * 32 + "\r\nSerial=7\r\nExpires=2027-02-28\r\n",
    "signed-looking.ini": BODY + "PackageSize=120\r\nPackageSha256=" + "0F" * 32
    + "\r\nSerial=7\r\nExpires=2027-02-28\r\n" + SIG + "\r\n",
    "signature-not-last.ini": BODY + SIG + "\r\nSerial=9\r\n",
    "short-signature.ini": BODY + "Signature=" + base64.b64encode(bytes(63)).decode() + "\r\n",
    "two-system.ini": BODY + "[system]\r\nSerial=99\r\n",
    "no-system.ini": "[Other]\r\nPackageVision=1\r\n",
}


# 32 bytes as a key (a point with a short coordinate, on which libgcrypt 1.10 aborts
# unless the key is refused first), 64 as a signature, one as the message: 97 bytes.
KEY_SEEDS = {"short-coordinate-key.bin": b"[Syste=m]\x05\nPa{{zi" + bytes(15) + bytes(range(64)) + b"m"}


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, text in SEEDS.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(text.encode())
    for name, data in KEY_SEEDS.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
