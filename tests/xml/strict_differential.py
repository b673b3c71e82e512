#!/usr/bin/env python3
"""Differential test of the strict reader against Python's expat.

Generates documents with internal DTD subsets (element, attribute-list, entity and
notation declarations, parameter entities, comments and instructions), entity and
character references, attributes, CDATA, comments and instructions in the content;
about half of them are then broken by one small change. `xmltool check --strict` and
expat must agree on each verdict. For the well-formed ones `xmltool format --strict
--compact` is parsed by expat again and gives the same elements, attributes and text as
the input did (under the product's reading rules: a text run's leading white space and
white-space-only runs are not kept).

usage: strict_differential.py XMLTOOL [COUNT] [SEED]
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
rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 20261208)

# ASCII names: both readers agree on every name character there.
NAME_START = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_"
NAME_CHARS = NAME_START + "0123456789.-"
TEXT_CHARS = "abcxyz019 ,;!?()[]/\u00e9\u4e2d'\"\t\n"
BREAKERS = "<>&;'\"[]!?-/=%#x \x01"


def name():
    return xmlgen.name(rng, NAME_START, NAME_CHARS, 5)


def chars(n=12, alphabet=TEXT_CHARS):
    return "".join(rng.choice(alphabet) for _ in range(rng.randrange(0, n)))


def escaped(text, quote=None):
    def other(ch):
        if ch == quote:
            return "&#%d;" % ord(ch)
        return "&#x%X;" % ord(ch) if rng.random() < 0.08 else ch

    return xmlgen.escaped(text, other)


class Doc:
    def __init__(self):
        self.entities = []  # names of general entities usable in content
        self.attr_entities = []  # ... and in attribute values (no "<" in them)
        self.subset = []

    def entity_decls(self):
        for _ in range(rng.randrange(0, 4)):
            n = "e" + name()
            kind = rng.random()
            if kind < 0.4:
                value = escaped(chars(), "'").replace("%", "")
                self.subset.append("<!ENTITY %s '%s'>" % (n, value))
                self.entities.append(n)
                self.attr_entities.append(n)
            elif kind < 0.7:
                inner = "<%s>%s</%s>" % ("m", escaped(chars(8), "'").replace("%", ""), "m")
                if self.entities and rng.random() < 0.5:
                    inner += "&%s;" % rng.choice(self.entities)
                self.subset.append("<!ENTITY %s '%s'>" % (n, inner))
                self.entities.append(n)
            elif kind < 0.85:
                self.subset.append("<!ENTITY %% p%s '<!ENTITY %s \"v%s\">'>%%p%s;" % (n, n, n, n))
                self.entities.append(n)
                self.attr_entities.append(n)
            else:
                self.subset.append("<!ENTITY %s SYSTEM 'ext-%s.xml'>" % (n, n))

    def other_decls(self):
        for _ in range(rng.randrange(0, 4)):
            k = rng.randrange(5)
            if k == 0:
                self.subset.append("<!ELEMENT %s %s>" % (name(), rng.choice(
                    ["EMPTY", "ANY", "(#PCDATA)", "(#PCDATA|a|b)*", "(a,(b|c)*,d?)+", "(a)"])))
            elif k == 1:
                self.subset.append("<!ATTLIST %s %s %s %s>" % (name(), name(), rng.choice(
                    ["CDATA", "ID", "IDREF", "NMTOKENS", "(x|y|z1)", "NOTATION (n1)"]),
                    rng.choice(["#IMPLIED", "#REQUIRED", "'d'", "#FIXED 'f'"])))
            elif k == 2:
                self.subset.append("<!NOTATION %s %s>" % (name(), rng.choice(
                    ["SYSTEM 'n.exe'", "PUBLIC '-//n//x'", "PUBLIC '-//n//x' 'n'"])))
            elif k == 3:
                self.subset.append("<!--%s-->" % chars(10, "abc '\"<>[]"))
            else:
                self.subset.append("<?%s %s?>" % ("p" + name(), chars(10, "abc '\"<>[]")))

    def content(self, depth):
        out = []
        for _ in range(rng.randrange(0, 5)):
            k = rng.random()
            if k < 0.3:
                out.append(escaped(chars()))
            elif k < 0.45 and self.entities:
                out.append("&%s;" % rng.choice(self.entities))
            elif k < 0.55:
                out.append("<![CDATA[%s]]>" % chars(10, "ab<&>] "))
            elif k < 0.62:
                out.append("<!--%s-->" % chars(10, "ab <&>"))
            elif k < 0.68:
                out.append("<?%s %s?>" % ("q" + name(), chars(8, "ab <&")))
            elif depth < 5:
                out.append(self.element(depth + 1))
        return "".join(out)

    def element(self, depth):
        n = name()

        def attribute(a):
            q = rng.choice("'\"")
            value = escaped(chars(8), q)
            if self.attr_entities and rng.random() < 0.3:
                value += "&%s;" % rng.choice(self.attr_entities)
            return " %s=%s%s%s" % (a, q, value, q)

        attrs = xmlgen.attributes(rng, name, attribute)
        if rng.random() < 0.2:
            return "<%s%s/>" % (n, attrs)
        return "<%s%s>%s</%s >" % (n, attrs, self.content(depth), n) if rng.random() < 0.1 else \
            "<%s%s>%s</%s>" % (n, attrs, self.content(depth), n)

    def text(self):
        self.entity_decls()
        self.other_decls()
        rng.shuffle(self.subset)
        root = self.element(0)
        head = '<?xml version="1.0" encoding="UTF-8"?>\n' if rng.random() < 0.5 else ""
        doctype = "<!DOCTYPE %s [\n%s\n]>\n" % (name(), "\n".join(self.subset)) if self.subset or rng.random() < 0.3 else ""
        # Entity declarations come before the content that uses them.
        return head + doctype + root + ("\n<!--end-->" if rng.random() < 0.3 else "")


def broken(text):
    # Not inside the XML declaration: expat takes version="1." and similar there.
    start = text.find("?>") + 2 if text.startswith("<?xml") else 0
    i = rng.randrange(start, len(text))
    k = rng.randrange(3)
    if k == 0:
        return text[:i] + text[i + 1:]
    if k == 1:
        return text[:i] + rng.choice(BREAKERS) + text[i:]
    return text[:i] + rng.choice(BREAKERS) + text[i + 1:]


def expat_tree(data):
    """The elements, attributes and text of a document, or None when expat refuses it."""
    parser = xml.parsers.expat.ParserCreate()
    # Parameter entities of the internal subset are read, as the strict reader does.
    parser.SetParamEntityParsing(xml.parsers.expat.XML_PARAM_ENTITY_PARSING_ALWAYS)
    out, run = [], []

    def flush():
        t = "".join(run).lstrip(" \t\r\n")
        if t:
            out.append(("text", t))
        run.clear()

    parser.StartElementHandler = lambda n, a: (flush(), out.append(("start", n, sorted(a.items()))))
    parser.EndElementHandler = lambda n: (flush(), out.append(("end", n)))
    parser.CharacterDataHandler = lambda d: run.append(d)
    parser.StartCdataSectionHandler = flush
    parser.EndCdataSectionHandler = flush
    parser.CommentHandler = lambda d: flush()
    parser.ProcessingInstructionHandler = lambda t, d: flush()
    try:
        parser.Parse(data, True)
    except xml.parsers.expat.ExpatError:
        return None
    return out


def main():
    failures = 0
    checked = wellformed = 0
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "doc.xml")
        for i in range(COUNT):
            text = Doc().text()
            if rng.random() < 0.5:
                text = broken(text)
            data = text.encode("utf-8")
            with open(path, "wb") as f:
                f.write(data)
            expected = expat_tree(data)
            check = subprocess.run([XMLTOOL, "check", path, "--strict"], capture_output=True, timeout=60)
            checked += 1
            if (check.returncode == 0) != (expected is not None):
                failures += 1
                print("#%d verdict: xmltool exit %d (%s), expat %s\n%r" % (
                    i, check.returncode, check.stderr.decode("utf-8", "replace").strip(),
                    "accepts" if expected is not None else "refuses", text))
                continue
            if expected is None:
                continue
            wellformed += 1
            fmt = subprocess.run([XMLTOOL, "format", path, "--compact", "--strict"], capture_output=True, timeout=60)
            again = expat_tree(fmt.stdout)
            # CDATA sections come back as their own runs: compare the text joined per element.
            if join_text(again) != join_text(expected):
                failures += 1
                print("#%d tree differs after format\n%r\n%r" % (i, text, fmt.stdout))
    print("strict differential: %d documents, %d well-formed, %d failures" % (checked, wellformed, failures))
    return 1 if failures else 0


def join_text(tree):
    if tree is None:
        return None
    out = []
    for item in tree:
        if item[0] == "text" and out and out[-1][0] == "text":
            out[-1] = ("text", out[-1][1] + item[1])
        else:
            out.append(item)
    return out


sys.exit(main())
