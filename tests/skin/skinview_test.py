"""skinview under Wine: the sample skins draw into sheets, each row labelled in the
picture, whose decoded pixels match the golden checksums below (ImageMagick decodes the PNG, so the check does not depend on the
encoder's bytes), a broken skin reports each of its problems, and wrong command lines
exit 2. Usage: skinview_test.py <skinview.exe> <wine-run> <skins folder>

After a deliberate change to the painter or the sample skins, look at the new sheets
(the test prints where they are when it fails) and update the checksums."""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from tooltest import check, failures, run, win  # noqa: E402

SKINVIEW, WINE_RUN, SKINS = sys.argv[1], sys.argv[2], sys.argv[3]

# name: (arguments after the skin folder, sheet size, sha256 of the RGBA pixels)
GOLDEN = {
    "Blue": ([], "286x428", "cb47bcdd8cf558cb91945a6ddbd9cc739626827eb77a3f5df12681e5c9cbe082"),
    "Green": ([], "286x428", "79b3c13e37a4acd7e2ded7ffc460970213fa3e85d6e23203aaefa62f3406a79f"),
    "Blue-button": (["--item", "Button", "--size", "100x30", "--dpi", "144"], "293x164",
                    "ec50534cdec1b61eb33d5986d07c003cfb7f6e93cd3c73baeae941d2c1905225"),
}

def skinview(*args):
    return run(WINE_RUN, SKINVIEW, *args, display=True)


def pixels(png):
    size = subprocess.run(["identify", "-format", "%wx%h", png], capture_output=True, text=True).stdout.strip()
    raw = subprocess.run(["convert", png, "-depth", "8", "rgba:-"], capture_output=True).stdout
    return size, hashlib.sha256(raw).hexdigest()


out_dir = tempfile.mkdtemp(prefix="skinview-")
for name, (extra, want_size, want_sum) in GOLDEN.items():
    skin = os.path.join(SKINS, name.split("-")[0])
    sheet = os.path.join(out_dir, name + ".png")
    rc, out, err = skinview(win(skin), win(sheet), *extra)
    check(rc == 0 and "problem:" not in err, "%s: exit 0 without problems (%d, %s)" % (name, rc, err.strip()))
    check(os.path.exists(sheet), "%s: sheet written" % name)
    if os.path.exists(sheet):
        size, digest = pixels(sheet)
        check(size == want_size, "%s: sheet is %s (got %s)" % (name, want_size, size))
        check(digest == want_sum, "%s: pixels match the golden checksum (got %s, sheet %s)" % (name, digest, sheet))

# Every item of the sample skin is in the legend.
rc, out, _ = skinview(win(os.path.join(SKINS, "Blue")), win(os.path.join(out_dir, "legend.png")))
for item in ("Default / Face", "Button / Face / state 3", "CheckBox / Box / state 1", "Glow / Halo",
             "Panel / Background", "Panel / slice frame"):
    check(item in out, "legend names " + item)

# A broken copy of the sample skin: every kind of problem once.
broken = os.path.join(out_dir, "Broken")
shutil.copytree(os.path.join(SKINS, "Blue"), broken)
controls = os.path.join(broken, "Controls.xml")
text = open(controls, encoding="utf-8").read()
text = text.replace('<State Width="16" Height="16"/>', '<State Width="40" Height="16"/>')
text = text.replace('<Graphic Name="check.bmp"/>', '<Graphic Name="nothere.bmp"/>')
open(controls, "w", encoding="utf-8").write(text)
with open(os.path.join(broken, "Extra.xml"), "w") as f:
    f.write('<Skin><Item name="Odd"><Part><State><Color>clNoSuchColour</Color></State></Part></Item></Skin>')
with open(os.path.join(broken, "Torn.xml"), "w") as f:
    f.write('<Skin><Item name="Torn"><Part></Skin>')
sheet = os.path.join(out_dir, "broken.png")
rc, out, err = skinview(win(broken), win(sheet))
check(rc == 1, "broken skin: exit 1 (%d)" % rc)
check(os.path.exists(sheet), "broken skin: the sheet is still written")
for part in ("Glow / Halo / state 0: rectangle 0,0,40,16 lies outside glow.png (16 x 16)",
             "Skin image not loaded: nothere.bmp",
             "'clNoSuchColour' is not a valid color",
             "Torn.xml is not well-formed",
             "Extra.xml: not loaded",
             "Torn.xml: not loaded"):
    check(part in err, "broken skin reports: " + part)
check(err.count("nothere.bmp") == 1, "a missing image is reported once")

rc, _, err = skinview(win(os.path.join(out_dir, "NoSuchSkin")), win(os.path.join(out_dir, "none.png")))
check(rc == 1 and "no such folder" in err, "a missing skin folder is a problem")
for args in ([], ["a"], ["a", "b.png", "--size", "0x5"], ["a", "b.png", "--dpi", "x"], ["a", "b.png", "--bogus"]):
    rc, _, err = skinview(*args)
    check(rc == 2 and "usage:" in err, "exit 2 with the usage for %s" % args)

if failures:
    print("%d failed; sheets in %s" % (len(failures), out_dir))
    sys.exit(1)
shutil.rmtree(out_dir, ignore_errors=True)
