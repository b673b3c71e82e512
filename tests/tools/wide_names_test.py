"""The Windows tools read their command line as UTF-16: file names outside the system's
8-bit code page reach them intact. Usage: wide_names_test.py <bin folder> <wine-run>"""
import os
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from tooltest import check, finish, run, win  # noqa: E402

BIN, WINE_RUN = sys.argv[1], sys.argv[2]
# Wine turns its Unix arguments into the UTF-16 command line by the locale's character set.
os.environ["LC_ALL"] = "C.UTF-8"

with tempfile.TemporaryDirectory() as d:
    src = os.path.join(d, "Größe-日本.txt")
    with open(src, "wb") as f:
        f.write("привет\n".encode("utf-8"))
    out = os.path.join(d, "вывод-한국.txt")
    rc, _, err = run(WINE_RUN, os.path.join(BIN, "textconv.exe"), win(src), win(out), "--to", "1200")
    check(rc == 0, "textconv converts between wide names (%d, %s)" % (rc, err.strip()))
    check(os.path.exists(out) and open(out, "rb").read() == "\ufeffпривет\n".encode("utf-16-le"),
          "textconv wrote the file its wide name gives")

    xml = os.path.join(d, "データ.xml")
    with open(xml, "wb") as f:
        f.write(b"<a><b/></a>")
    rc, stdout, err = run(WINE_RUN, os.path.join(BIN, "xmltool.exe"), "query", win(xml), "b")
    check(rc == 0 and stdout == "<b/>\n", "xmltool reads a wide name (%d, %r, %s)" % (rc, stdout, err.strip()))

    rc, _, err = run(WINE_RUN, os.path.join(BIN, "httpget.exe"), "http://127.0.0.1:9/", win(os.path.join(d, "нет", "x")))
    check(rc == 1, "httpget: a file that cannot be created is a failure, 1 (%d, %s)" % (rc, err.strip()))

finish()
