"""imgconv round trips under Wine, checked with ImageMagick: PNG exact, JPEG within a
PSNR bound, GIF at most 256 (or --colors) colours with its PSNR reported; and the exit
codes of the failures. Usage: imgconv_test.py <imgconv.exe> <wine-run>"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from tooltest import check, finish, run, win  # noqa: E402

IMGCONV, WINE_RUN = sys.argv[1], sys.argv[2]


def imgconv(*args):
    rc, out, err = run(WINE_RUN, IMGCONV, *args)
    return rc, out + err


def magick(*args):
    return subprocess.run(list(args), capture_output=True, text=True, check=False)


def psnr(a, b):
    # compare writes the metric to stderr; identical pictures give "inf".
    out = magick("compare", "-metric", "PSNR", a, b, "null:").stderr.split()[0]
    return float("inf") if out in ("inf", "1.#INF") else float(out)


def colours(path):
    return int(magick("identify", "-format", "%k", path).stdout)


with tempfile.TemporaryDirectory() as d:
    src = os.path.join(d, "src.png")
    magick("convert", "-size", "120x90", "-seed", "3", "plasma:fractal", "-depth", "8", "-define",
           "png:color-type=2", src)
    check(colours(src) > 1000, "source has many colours (%d)" % colours(src))

    for ext in ("png", "tif"):
        out = os.path.join(d, "out." + ext)
        rc, text = imgconv(win(src), win(out))
        check(rc == 0, "png -> %s exits 0 (%s)" % (ext, text.strip()))
        ae = magick("compare", "-metric", "AE", src, out, "null:").stderr.split()[0]
        check(ae == "0", "png -> %s is pixel exact (AE %s)" % (ext, ae))

    # JPEG is for photographs: a smooth picture (the plasma blurred).
    smooth = os.path.join(d, "smooth.png")
    magick("convert", src, "-blur", "0x2", "-define", "png:color-type=2", smooth)
    jpg = os.path.join(d, "out.jpg")
    rc, text = imgconv(win(smooth), win(jpg), "--quality", "85")
    check(rc == 0, "png -> jpg exits 0")
    p = psnr(smooth, jpg)
    check(p >= 30.0, "png -> jpg PSNR %.2f dB >= 30" % p)

    for n in (255, 16):
        gif = os.path.join(d, "out%d.gif" % n)
        rc, text = imgconv(win(src), win(gif), "--colors", str(n))
        check(rc == 0, "png -> gif --colors %d exits 0" % n)
        k = colours(gif)
        check(k <= n, "gif has %d colours <= %d" % (k, n))
        p = psnr(src, gif)
        print("     gif --colors %d: PSNR %.2f dB" % (n, p))
        check(p >= (25.0 if n == 255 else 18.0), "gif --colors %d PSNR %.2f dB" % (n, p))
        back = os.path.join(d, "back%d.png" % n)
        rc, _ = imgconv(win(gif), win(back))
        ae = magick("compare", "-metric", "AE", gif, back, "null:").stderr.split()[0]
        check(rc == 0 and ae == "0", "gif -> png keeps every pixel (AE %s)" % ae)

    rc, text = imgconv(win(os.path.join(d, "missing.png")), win(os.path.join(d, "x.png")))
    check(rc == 1 and "cannot read" in text, "missing input exits 1 (%s)" % text.strip())
    check(not os.path.exists(os.path.join(d, "x.png")), "no output for a missing input")
    rc, text = imgconv(win(src), win(os.path.join(d, "x.bmpx")))
    check(rc == 2 and "unknown output type" in text, "unknown output type exits 2")
    rc, text = imgconv(win(src), win(os.path.join(d, "x.gif")), "--colors", "300")
    check(rc == 2 and "2..255" in text, "--colors 300 exits 2")
    rc, text = imgconv(win(src), win(os.path.join(d, "x.jpg")), "--quality", "ten")
    check(rc == 2, "--quality ten exits 2")
    rc, text = imgconv(win(src))
    check(rc == 2 and "usage" in text, "one argument exits 2 with the usage")
    rc, text = imgconv(win(src), win(os.path.join(d, "no-such-dir", "x.png")))
    check(rc == 1 and "cannot write" in text, "unwritable output exits 1 (%s)" % text.strip())

finish()
