#!/usr/bin/env python3
"""Prints the Ed25519 signatures with non-canonical encodings that CryptoTest.cpp pins,
computed from the curve's definition (RFC 8032) with Python's own integers and SHA-512,
so that the expectations do not come from the library under test.

For the key of the RFC's first test vector and the empty message:
 - "identity R, non-canonical": R is the neutral point (0, 1) written with y = p + 1,
   S = k * a mod L where k = SHA-512(R || A || M) and a the key's scalar (r = 0). The
   verification equation [S]B = R + [k]A holds, so only the encoding rule refuses it;
 - "identity R, canonical": the same with y = 1 written canonically (the control);
 - "S + L": the RFC's own signature with L added to S.
"""
import hashlib

P = 2**255 - 19
L = 2**252 + 27742317777372353535851937790883648493
SEED = bytes.fromhex("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60")
A = bytes.fromhex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a")
SIG = bytes.fromhex("e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b")


def scalar(seed):
    a = int.from_bytes(hashlib.sha512(seed).digest()[:32], "little")
    a &= (1 << 254) - 8
    return a | (1 << 254)


def identity_r_signature(r_encoding, message=b""):
    k = int.from_bytes(hashlib.sha512(r_encoding + A + message).digest(), "little") % L
    return r_encoding + (k * scalar(SEED) % L).to_bytes(32, "little")


def main():
    print("identity R, non-canonical:", identity_r_signature((P + 1).to_bytes(32, "little")).hex())
    print("identity R, canonical:    ", identity_r_signature((1).to_bytes(32, "little")).hex())
    s = int.from_bytes(SIG[32:], "little") + L
    print("S + L:                    ", (SIG[:32] + s.to_bytes(32, "little")).hex())


if __name__ == "__main__":
    main()
