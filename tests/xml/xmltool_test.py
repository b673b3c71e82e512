#!/usr/bin/env python3
"""xmltool as a program: exit codes, standard output, a pipe.  usage: xmltool_test.py XMLTOOL"""
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

    # The commands' bytes and codes are pinned in-process (tests/tools/XmltoolTest.cpp);
    # here the program: its exit codes, standard output unchanged, and reading a pipe.
    good = write("good.xml", b'<?xml version="1.0" encoding="UTF-8"?>\n<a x="1"><b>t&amp;</b><c/></a>\n')
    expect("check good", run("check", good), 0, b"", b"")
    expect("check missing file", run("check", os.path.join(tmp, "none.xml")), 1, b"")
    expect("no arguments", run(), 2, b"")
    expect("unknown command", run("frob", good), 2, b"")
    expect("help", run("--help"), 0, None, b"")

    decl = b'\xef\xbb\xbf<?xml version="1.0" encoding="UTF-8"?>'
    expect("format default", run("format", good), 0, decl + b"\r\n<a x=\"1\">\r\n  <b>t&amp;</b>\r\n  <c />\r\n</a>")
    # A pipe has no size: the whole document is read all the same.
    with open(good, "rb") as f:
        piped = subprocess.run([TOOL, "format", "/dev/stdin", "--compact"], stdin=f, capture_output=True, timeout=60)
    expect("format from a pipe", piped, 0, decl + b'<a x="1"><b>t&amp;</b><c/></a>')

print("xmltool: %d failures" % failures)
sys.exit(1 if failures else 0)
