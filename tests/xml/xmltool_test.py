#!/usr/bin/env python3
"""xmltool's three commands, their output and exit codes.  usage: xmltool_test.py XMLTOOL"""
import os
import subprocess
import sys
import tempfile

TOOL = sys.argv[1]
failures = 0


def run(*args):
    return subprocess.run([TOOL, *args], capture_output=True, timeout=60)


def expect(label, result, code, stdout=None, stderr=None):
    global failures
    problems = []
    if result.returncode != code:
        problems.append("exit %d, expected %d" % (result.returncode, code))
    if stdout is not None and result.stdout != stdout:
        problems.append("stdout %r, expected %r" % (result.stdout, stdout))
    if stderr is not None and result.stderr != stderr:
        problems.append("stderr %r, expected %r" % (result.stderr, stderr))
    if problems:
        failures += 1
        print("%s: %s" % (label, "; ".join(problems)))


with tempfile.TemporaryDirectory() as tmp:
    def write(name, data):
        path = os.path.join(tmp, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    good = write("good.xml", b'<?xml version="1.0" encoding="UTF-8"?>\n<a x="1"><b>t&amp;</b><c/></a>\n')
    bad = write("bad.xml", b"<a>\n  <b x=1/>\n</a>\n")
    mismatch = write("mismatch.xml", b"<a><b></c></a>")
    invalid = write("invalid.xml", b"<!x-y>")

    expect("check good", run("check", good), 0, b"", b"")
    expect("check bad", run("check", bad), 1, b"",
           b"2:8: A string literal was expected, but no opening quote character was found.\n")
    expect("check mismatch", run("check", mismatch), 1, b"", b"1:10: End tag c does not match the start tag b.\n")
    expect("check unknown declaration", run("check", invalid), 1, b"", b"Invalid node \n")
    expect("check missing file", run("check", os.path.join(tmp, "none.xml")), 2, b"")
    expect("no arguments", run(), 2, b"")
    expect("unknown command", run("frob", good), 2, b"")

    decl = b'\xef\xbb\xbf<?xml version="1.0" encoding="UTF-8"?>'
    expect("format default", run("format", good), 0, decl + b"\r\n<a x=\"1\">\r\n  <b>t&amp;</b>\r\n  <c />\r\n</a>")
    expect("format --indent", run("format", good, "--indent"), 0,
           decl + b"\r\n<a x=\"1\">\r\n  <b>t&amp;</b>\r\n  <c />\r\n</a>")
    expect("format --ugly", run("format", good, "--ugly"), 0, decl + b"\r\n<a x=\"1\">\r\n<b>t&amp;</b>\r\n<c/>\r\n</a>")
    expect("format --compact", run("format", good, "--compact"), 0, decl + b'<a x="1"><b>t&amp;</b><c/></a>')
    expect("format --encoding", run("format", good, "--compact", "--encoding", "windows-1252"), 0,
           b'<?xml version="1.0" encoding="windows-1252"?><a x="1"><b>t&amp;</b><c/></a>')
    expect("format unknown encoding", run("format", good, "--encoding", "ucs-2"), 2, b"")
    expect("format bad option", run("format", good, "--pretty"), 2, b"")
    expect("format bad file", run("format", bad), 1, b"")

    # A pipe has no size: the whole document is read all the same.
    with open(good, "rb") as f:
        piped = subprocess.run([TOOL, "format", "/dev/stdin", "--compact"], stdin=f, capture_output=True, timeout=60)
    expect("format from a pipe", piped, 0, decl + b'<a x="1"><b>t&amp;</b><c/></a>')
    sjis = write("sjis.xml", b'<?xml version="1.0" encoding="Shift_JIS"?><r>\x93\xfa</r>')
    expect("format Shift_JIS", run("format", sjis, "--compact"), 0,
           b'<?xml version="1.0" encoding="Shift_JIS"?><r>\x93\xfa</r>')
    unknown = write("unknown.xml", b'<?xml version="1.0" encoding="x-frob"?><r/>')
    expect("check unknown encoding", run("check", unknown), 1, b"",
           b"1:39: System does not support the specified encoding: x-frob.\n")

    # Strict reading: what the lenient reader takes, refused with the reason; entities
    # of the internal subset expanded.
    dtd = write("dtd.xml", b"<!DOCTYPE r [<!ENTITY e 'x<b>y</b>'>]><r a='1&#9;'>&e;</r>")
    expect("check --strict", run("check", dtd, "--strict"), 0, b"", b"")
    expect("format --strict", run("format", dtd, "--compact", "--strict"), 0,
           b"\xef\xbb\xbf<!DOCTYPE r [<!ENTITY e 'x<b>y</b>'>]><r a=\"1&#9;\">x<b>y</b></r>")
    expect("check --strict refuses", run("check", mismatch, "--strict"), 1, b"",
           b"1:9: End tag c does not match the start tag b.\n")
    unclosed = write("unclosed.xml", b"<a><b/>")
    expect("check lenient takes", run("check", unclosed), 0, b"", b"")
    expect("check --strict", run("check", unclosed, "--strict"), 1, b"", b"1:7: Element was not closed.\n")

    expect("query elements", run("query", good, "b"), 0, b"<b>t&amp;</b>\n")
    expect("query root path", run("query", good, "/b"), 0, b"<b>t&amp;</b>\n")
    expect("query any", run("query", good, "*"), 0, b"<b>t&amp;</b>\n<c/>\n")
    expect("query text", run("query", good, "b/*"), 0, b"t&\n")
    expect("query attribute", run("query", good, "//a@x"), 1, b"")
    expect("query nothing", run("query", good, "zz"), 1, b"")

print("xmltool: %d failures" % failures)
sys.exit(1 if failures else 0)
