"""A Wine session with its own X display, for tests that look at windows.

Wine picks the graphics driver of a window station when its desktop is first made: a
server whose desktop came up without DISPLAY can never show a window. So GUI tests get
their own prefix (beside the shared one, same settings) whose server is started here,
under a private Xvfb, and stopped when the session ends. A lock file keeps two sessions
on the same prefix apart. A session runs programs of one architecture: 64-bit ones with
Wine's 64-bit loader in a 64-bit prefix (see pe_arch), as scripts/wine-run does.
"""
import fcntl
import os
import shutil
import subprocess
import time

FONTS = ["/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"]


def pe_arch(path):
    """'win64' for a PE32+ x86-64 program, 'win32' for anything else."""
    with open(path, "rb") as f:
        head = f.read(4096)
    if len(head) < 0x40 or head[:2] != b"MZ":
        return "win32"
    off = int.from_bytes(head[0x3C:0x40], "little")
    if head[off:off + 4] != b"PE\0\0":
        return "win32"
    machine = int.from_bytes(head[off + 4:off + 6], "little")
    return "win64" if machine == 0x8664 else "win32"


def wine_loader(arch):
    """Debian's `wine` picks the 32-bit loader whenever it is installed, even where the
    kernel cannot run it: name the loader of the wanted architecture directly."""
    path = "/usr/lib/wine/wine64" if arch == "win64" else "/usr/lib/wine/wine"
    return path if os.path.exists(path) else "wine"


def _free_display():
    for n in range(150, 250):
        if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"):
            return n
    raise RuntimeError("no free X display number")


class WineSession:
    """Xvfb (white root, 1280x1024x24) plus a fresh wineserver on `prefix`."""

    WIDTH, HEIGHT = 1280, 1024

    def __init__(self, prefix, arch="win32"):
        self.prefix = os.path.abspath(prefix)
        self.arch = arch
        self.loader = wine_loader(arch)
        self.xvfb = None
        self.lock = None
        self.env = None

    def __enter__(self):
        os.makedirs(os.path.dirname(self.prefix), exist_ok=True)
        self.lock = open(self.prefix + ".lock", "w")
        fcntl.flock(self.lock, fcntl.LOCK_EX)
        n = _free_display()
        self.display = f":{n}"
        self.xvfb = subprocess.Popen(
            ["Xvfb", self.display, "-screen", "0", f"{self.WIDTH}x{self.HEIGHT}x24", "-wr", "-nolisten", "tcp"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while not os.path.exists(f"/tmp/.X11-unix/X{n}"):
            if time.monotonic() > deadline or self.xvfb.poll() is not None:
                raise RuntimeError("Xvfb did not start")
            time.sleep(0.05)
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEARCH=self.arch, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", DISPLAY=self.display)
        self.env.pop("WINELOADERNOEXEC", None)
        if self.arch == "win64":
            self.env["WINELOADER"] = self.loader
        self._run(["wineserver", "-k"], check=False)
        if not os.path.exists(os.path.join(self.prefix, ".orbelle-ready")):
            shutil.rmtree(self.prefix, ignore_errors=True)
            self._run([self.loader, "wineboot", "-i"], timeout=300, check=False)
            self._run(["wineserver", "-w"], timeout=120, check=False)
            fonts = os.path.join(self.prefix, "drive_c", "windows", "Fonts")
            os.makedirs(fonts, exist_ok=True)
            for f in FONTS:
                if os.path.exists(f):
                    shutil.copy(f, fonts)
            open(os.path.join(self.prefix, ".orbelle-ready"), "w").close()
        # Server and desktop come up with this display; the server lives until __exit__.
        self._run(["wineserver", "-p"], check=False)
        self._run([self.loader, "wineboot"], timeout=120, check=False)
        return self

    def __exit__(self, *exc):
        if self.env:
            self._run(["wineserver", "-k"], check=False)
        if self.xvfb:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
        if self.lock:
            self.lock.close()

    def _run(self, args, timeout=60, check=True):
        return subprocess.run(args, env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=timeout, check=check)

    def start(self, exe, *args, show_output=False):
        """Starts a Windows program; its output is dropped unless show_output (the
        services Wine starts are already running, so none inherits our handles)."""
        out = None if show_output else subprocess.DEVNULL
        return subprocess.Popen([self.loader, exe, *args], env=self.env, stdin=subprocess.DEVNULL, stdout=out, stderr=out)

    def screenshot(self):
        """The whole screen as rows of (r, g, b)."""
        data = subprocess.run(["import", "-display", self.display, "-window", "root", "-depth", "8", "ppm:-"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=30, check=True).stdout
        return Image.from_ppm(data)

    def save_screenshot(self, path):
        subprocess.run(["import", "-display", self.display, "-window", "root", path], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30, check=True)

    def key(self, name):
        subprocess.run(["xdotool", "key", name], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=10, check=False)


class Image:
    def __init__(self, width, height, pixels):
        self.width, self.height, self.pixels = width, height, pixels

    @staticmethod
    def from_ppm(data):
        # P6 <w> <h> <max>\n<rgb bytes>; ImageMagick writes no comments.
        fields = []
        pos = 2
        while len(fields) < 3:
            while data[pos:pos + 1].isspace():
                pos += 1
            start = pos
            while not data[pos:pos + 1].isspace():
                pos += 1
            fields.append(int(data[start:pos]))
        pos += 1
        width, height, maxval = fields
        if data[:2] != b"P6" or maxval != 255:
            raise ValueError("unexpected screenshot format")
        return Image(width, height, data[pos:pos + width * height * 3])

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def count(self, x0, y0, x1, y1, predicate):
        return sum(1 for y in range(y0, y1) for x in range(x0, x1) if predicate(self.at(x, y)))


if __name__ == "__main__":
    # wine_session.py program.exe [args...]: runs one Windows program in a display
    # session on the build tree's GUI prefix and passes its exit code through.
    import sys

    exe = os.path.abspath(sys.argv[1])
    build = os.path.dirname(os.path.dirname(exe))
    with WineSession(os.path.join(build, "wineprefix-gui"), pe_arch(exe)) as session:
        proc = session.start(exe, *sys.argv[2:], show_output=True)
        proc.wait(600)
        code = proc.returncode
    sys.exit(code)
