"""Pieces of generated XML that the differential tests of the reader share.

Each piece draws from the caller's random generator, so a test's documents depend on its
seed alone and stay the same from run to run.
"""


def name(rng, start, chars, most):
    """A name: one of start, then up to most - 1 of chars."""
    return rng.choice(start) + "".join(rng.choice(chars) for _ in range(rng.randrange(0, most)))


def escaped(text, other):
    """Text as markup: "&" and "<" always as references, any other character as other(ch) writes it."""
    return "".join("&amp;" if ch == "&" else "&lt;" if ch == "<" else other(ch) for ch in text)


def attributes(rng, name, attribute):
    """Up to three attributes with distinct names, as markup: name() draws a name (one drawn
    twice is left out) and attribute(n) writes ' n="value"' for it."""
    out, used = [], set()
    for _ in range(rng.randrange(0, 4)):
        n = name()
        if n in used:
            continue
        used.add(n)
        out.append(attribute(n))
    return "".join(out)
