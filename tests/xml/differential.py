#!/usr/bin/env python3
"""Differential test of the product's XML parser and writer against Python's expat.

Generates documents (attributes, references, CDATA, comments, processing instructions,
UTF-8, UTF-16 and ISO-8859-1, deep and wide trees), runs `xmltool format --compact` on
each and parses input and output with Python's parser: both give the same tree. Then
generated malformed documents must be refused by both.

The product's documented reading rules are applied to Python's tree before comparing:
leading white space of a text run is not kept and white-space-only runs are dropped.

usage: differential.py XMLTOOL [COUNT]
"""
import os
import random
import subprocess
import sys
import tempfile
import xml.parsers.expat

import xmlgen

XMLTOOL = sys.argv[1]
COUNT = int(sys.argv[2]) if len(sys.argv) > 2 else 300
rng = random.Random(20261208)

NAME_START = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_\u00e9\u0416\u4e2d"
NAME_CHARS = NAME_START + "0123456789.-\u00b7"
TEXT_CHARS = "abcxyz019 ,;!?()[]/\u00e9\u00fc\u20ac\u4e2d\u0416'\"\t\n"


def name():
    return xmlgen.name(rng, NAME_START, NAME_CHARS, 6)


def escaped(text, quote=None):
    """Text as markup: special characters as references, some others as numeric ones."""

    def other(ch):
        if ch == ">" and rng.random() < 0.5:
            return "&gt;"
        if ch == quote:
            return "&quot;" if ch == '"' else "&apos;"
        if not ch.isspace() and rng.random() < 0.1:
            return "&#%d;" % ord(ch) if rng.random() < 0.5 else "&#x%X;" % ord(ch)
        return ch

    return xmlgen.escaped(text, other)


def text(n=20):
    return "".join(rng.choice(TEXT_CHARS + "&<>") for _ in range(rng.randrange(1, n)))


def attr_value():
    # Literal white space other than spaces is normalised by XML readers; keep it out.
    return "".join(rng.choice("abc \u00e9\u4e2d&<>'\"019") for _ in range(rng.randrange(0, 12)))


def element(depth, budget):
    tag = name()

    def attribute(a):
        q = rng.choice("\"'")
        return " %s%s=%s%s%s" % (a, rng.choice(["", " "]), q, escaped(attr_value(), q), q)

    head = "<" + tag + xmlgen.attributes(rng, name, attribute)
    if depth <= 0 or budget[0] <= 0 or rng.random() < 0.15:
        return head + rng.choice(["/>", " />", "></" + tag + ">"])
    parts = [head, ">"]
    for _ in range(rng.randrange(1, 6)):
        budget[0] -= 1
        kind = rng.random()
        if kind < 0.45:
            parts.append(element(depth - 1, budget))
        elif kind < 0.75:
            parts.append(escaped(text()))
        elif kind < 0.85:
            body = text().replace("]]>", "]] >")
            parts.append("<![CDATA[" + body + "]]>")
        elif kind < 0.93:
            body = text().replace("-", "+")
            parts.append("<!--" + body + "-->")
        else:
            parts.append("<?%s %s?>" % (name().replace(":", ""), text().replace("?>", "? >")))
    parts.append("</" + tag + rng.choice(["", " "]) + ">")
    return "".join(parts)


def deep(depth):
    tags = [name() for _ in range(depth)]
    return "".join("<%s>" % t for t in tags) + "x" + "".join("</%s>" % t for t in reversed(tags))


def wide(count):
    return "<w>" + "".join('<i n="%d">%d</i>' % (i, i) for i in range(count)) + "</w>"


def document(i):
    if i % 25 == 0:
        body = deep(rng.randrange(50, 400))
    elif i % 25 == 1:
        body = wide(rng.randrange(200, 2000))
    else:
        body = element(rng.randrange(1, 8), [rng.randrange(5, 60)])
    prolog = rng.choice(["", "<!-- lead -->\n", "<?style sheet?>\n"])
    kind = i % 4
    if kind == 0:
        return (prolog + body + "\n").encode("utf-8")
    if kind == 1:
        return ('<?xml version="1.0" encoding="UTF-8"?>\n' + prolog + body).encode("utf-8")
    if kind == 2:
        decl = rng.choice(["", '<?xml version="1.0" encoding="UTF-16"?>\r\n'])
        return b"\xff\xfe" + (decl + prolog + body).encode("utf-16-le")
    latin = "".join(c if ord(c) < 0x100 else "x" for c in body)
    return ('<?xml version="1.0" encoding="ISO-8859-1"?>' + prolog + latin).encode("latin-1")


class Tree:
    """Builds a nested list from expat events: element, text, CDATA, comment, PI."""

    def __init__(self, data):
        p = xml.parsers.expat.ParserCreate()
        p.ordered_attributes = True
        self.root = ["#document", [], []]
        self.stack = [self.root]
        self.cdata = False
        p.StartElementHandler = lambda n, a: self.open(n, a)
        p.EndElementHandler = lambda n: self.stack.pop()
        p.CharacterDataHandler = self.chars
        p.StartCdataSectionHandler = lambda: self.add(["cdata", ""]) or setattr(self, "cdata", True)
        p.EndCdataSectionHandler = lambda: setattr(self, "cdata", False)
        p.CommentHandler = lambda d: self.add(["comment", d])
        p.ProcessingInstructionHandler = lambda t, d: self.add(["pi", t, d])
        p.Parse(data, True)

    def add(self, node):
        self.stack[-1][2].append(node)

    def open(self, n, a):
        node = [n, list(zip(a[0::2], a[1::2])), []]
        self.add(node)
        self.stack.append(node)

    def chars(self, d):
        children = self.stack[-1][2]
        if self.cdata:
            children[-1][1] += d
        elif children and children[-1][0] == "text" and not self.text_closed(children):
            children[-1][1] += d
        else:
            children.append(["text", d])

    def text_closed(self, children):
        return False


def normal(node):
    """The tree as the product reads it: text runs lose leading white space."""
    if node[0] in ("text",):
        return None
    if node[0] in ("cdata", "comment", "pi"):
        return tuple(node)
    kids = []
    for c in node[2]:
        if c[0] == "text":
            t = c[1].lstrip(" \t\r\n")
            if t:
                kids.append(("text", t))
        else:
            kids.append(normal(c))
    return (node[0], tuple(tuple(a) for a in node[1]), tuple(kids))


def run_tool(path):
    return subprocess.run([XMLTOOL, "format", path, "--compact"], capture_output=True, timeout=60)


MUTATIONS = [
    ("mismatched end tag", lambda s: s.replace("</w>", "</W>", 1) if "</w>" in s else s[:-len(s.split("</")[-1]) - 2] + "</zz>"),
    ("unquoted attribute", lambda s: s.replace('="', "=1 \"", 1)),
    ("missing equals", lambda s: s.replace('="', ' "', 1)),
    ("< in attribute", lambda s: s.replace('="', '="<', 1)),
    ("undefined entity", lambda s: s.replace(">", ">&nosuch;", 2)),
    ("surrogate reference", lambda s: s.replace(">", ">&#xD800;", 2)),
    ("null reference", lambda s: s.replace(">", ">&#0;", 2)),
    ("reference past U+10FFFF", lambda s: s.replace(">", ">&#1114112;", 2)),
    ("uppercase X reference", lambda s: s.replace(">", ">&#X41;", 2)),
    ("name starts with a digit", lambda s: s.replace("<", "<1", 1)),
    ("space after slash", lambda s: s.replace("/>", "/ >", 1) if "/>" in s else s.replace("<w>", "<w / >", 1)),
]


def main():
    failures = 0
    compared = 0
    refused = 0
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "doc.xml")
        for i in range(COUNT):
            data = document(i)
            with open(path, "wb") as f:
                f.write(data)
            expected = normal(Tree(data).root)
            r = run_tool(path)
            if r.returncode != 0:
                failures += 1
                print("doc %d: xmltool failed: %s" % (i, r.stderr.decode(errors="replace").strip()))
                continue
            try:
                actual = normal(Tree(r.stdout).root)
            except xml.parsers.expat.ExpatError as e:
                failures += 1
                print("doc %d: the written document does not parse: %s" % (i, e))
                continue
            if actual != expected:
                failures += 1
                with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build",
                                       "differential-%d.xml" % i), "wb") as f:
                    f.write(data)
                print("doc %d: trees differ" % i)
            compared += 1
        for i in range(COUNT // 3):
            label, mutate = MUTATIONS[i % len(MUTATIONS)]
            source = '<w a="1"><x b="2">t</x><y/></w>' if i % 2 else element(3, [20])
            if '="' not in source:
                source = source.replace("<", '<w a="1"><', 1) + "</w>"
            bad = mutate(source)
            if bad == source:
                continue
            try:
                Tree(bad.encode("utf-8"))
                continue  # not malformed after all (the mutation missed)
            except xml.parsers.expat.ExpatError:
                pass
            with open(path, "wb") as f:
                f.write(bad.encode("utf-8"))
            r = subprocess.run([XMLTOOL, "check", path], capture_output=True, timeout=60)
            if r.returncode == 0:
                failures += 1
                print("malformed (%s) accepted: %r" % (label, bad[:200]))
            refused += 1
    print("%d documents compared, %d malformed documents refused by both, %d failures" % (compared, refused, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
