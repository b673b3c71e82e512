#!/usr/bin/env python3
"""OrbelleLauncher.exe end to end under Wine and Xvfb, in scratch program directories.

    launcher_e2e.py <bin dir> [unittest arguments]

The stand-in main program (OrbelleTestMain.exe, named by AppExeName) records its command
line and the messages it gets in MainProgram.record.txt; its behaviour comes from
MainProgram.ini. Every wait is bounded.

What Wine shows of the layered splash on an Xvfb without window or compositing manager:
pixels with alpha 0 are cut out of the window's shape, so the desktop shows through;
pixels with partial alpha are not blended with what lies below, they appear as their
premultiplied colour over black (alpha 128 red (200, 60, 40) shows as (100, 30, 20)).
True blending of half-transparent pixels cannot be observed here. Hiding or destroying
the activated splash takes about 2 s, because Wine waits that long for a window manager
to confirm the earlier map; the tests allow for it and report the figures.
"""
import glob
import os
import re
import shutil
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_session import WineSession, pe_arch  # noqa: E402

BIN = None
SESSION = None
FIGURES = []

BANNER = ["=============================", "Norvale Orbelle", "============================="]
TAG = "[Splash]==================== "
# Where the centred 523 x 298 splash lands on the 1280 x 1024 screen.
SPLASH_X, SPLASH_Y = (1280 - 523) // 2, (1024 - 298) // 2
WHITE = (255, 255, 255)
# Nothing listens on port 1: the update check fails at once and the launcher goes on to
# the main program. Tests never let the launcher look up the vendor's host.
NO_UPDATE_HOST = "127.0.0.1:1"
# The launcher ends this soon after the main program, in seconds. Its own work ends
# within a few ms (at most the bounded wait for a stuck download worker, 0.5 s); its
# windows go with the process instead of being hidden first, which under Wine on a
# display without a window manager would wait 2 s for each.
END_LIMIT_S = 2.0


def check_lines(main_exe, successed=True):
    """The log after the banner of a start whose update check found no server."""
    lines = [
        TAG + "Start",
        TAG + "FDownloadMgr.ConfigUrl:= http://" + NO_UPDATE_HOST + "/resource/001/258/NVOrbelle_UpdateConfig.ini",
        "SaveConfigPath",  # compared by its ending: the common data folder is Wine's
        TAG + "FCurrVision:= 0.0.0.0",
        TAG + "FMainProcess:= " + main_exe.rsplit("\\", 1)[-1],
        TAG + "Update Config Failed,Run MainProcess",
        TAG + "APath:= " + main_exe,
        TAG + "Runas:= ShellExecuteEx",
    ]
    return lines + ([TAG + "Runas:= ShellExecuteEx Successed"] if successed else [])


def normalised(log):
    """The log with the save path line reduced to what every machine shares."""
    return ["SaveConfigPath" if line.startswith(TAG + "FDownloadMgr.SaveConfigPath:= ")
            and line.endswith("\\Norvale Orbelle\\NewConfig.ini") else line for line in log]


def near(a, b, tolerance=12):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def wait_until(predicate, timeout, step=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return predicate()


class ProgramDir:
    """A program directory: launcher, DLLs, Skin, Orbelle.ini and the main program."""

    def __init__(self, app_exe="OrbelleTestMain.exe", splash="good", main_ini=None, language=None, hoistgate=True,
                 update_host=NO_UPDATE_HOST):
        self.path = tempfile.mkdtemp(prefix="orbelle-e2e-")
        for name in ["OrbelleLauncher.exe", "VT_Log.dll", "OrbelleTestMain.exe"] + (["Hoistgate.dll"] if hoistgate else []):
            shutil.copy(os.path.join(BIN, name), self.path)
        if splash == "good":
            os.makedirs(os.path.join(self.path, "Skin"))
            shutil.copy(os.path.join(BIN, "Skin", "splash.png"), os.path.join(self.path, "Skin"))
        elif splash == "broken":
            os.makedirs(os.path.join(self.path, "Skin"))
            with open(os.path.join(self.path, "Skin", "splash.png"), "wb") as f:
                f.write(b"\x89PNG\r\n\x1a\n" + b"\0not really a picture" * 20)
        ini = "[System]\r\n"
        if app_exe is not None:
            ini += f"AppExeName={app_exe}\r\n"
        if language is not None:
            ini += f"DefLanguage={language}\r\n"
        if update_host is not None:
            ini += f"UpdateHost={update_host}\r\n"
        self.write("Orbelle.ini", ini)
        settings = {"RunMs": 3000}
        settings.update(main_ini or {})
        self.write("MainProgram.ini", "[Test]\r\n" + "".join(f"{k}={v}\r\n" for k, v in settings.items()))

    def write(self, name, text):
        with open(os.path.join(self.path, name), "w", newline="") as f:
            f.write(text)

    def launcher(self):
        return os.path.join(self.path, "OrbelleLauncher.exe")

    def log(self, name="Log.txt"):
        """The messages of the log (time stamp and thread id cut off)."""
        try:
            with open(os.path.join(self.path, "Log", name), encoding="utf-8") as f:
                return [re.sub(r"^\S+ \S+ \[[0-9A-F]{8}\] ", "", line.rstrip("\r\n")) for line in f]
        except FileNotFoundError:
            return []

    def record(self):
        try:
            with open(os.path.join(self.path, "MainProgram.record.txt")) as f:
                return [line.rstrip("\r\n") for line in f]
        except FileNotFoundError:
            return []

    def has_record(self, prefix):
        return any(line.startswith(prefix) for line in self.record())

    def cleanup(self):
        shutil.rmtree(self.path, ignore_errors=True)


def fetched_config_files():
    """The update configuration the launcher fetched into the common data folder."""
    return glob.glob(os.path.join(SESSION.prefix, "drive_c", "**", "Norvale Orbelle", "NewConfig.ini"),
                     recursive=True)


def remove_fetched_config():
    """Deletes the update configuration an earlier run fetched today: the launcher would
    use it again without asking any server (the same-day rule)."""
    for f in fetched_config_files():
        os.remove(f)


class LauncherEndToEnd(unittest.TestCase):
    def setUp(self):
        remove_fetched_config()
        self.dirs = []
        self.procs = []

    def tearDown(self):
        for p in self.procs:
            if p.poll() is None:
                p.kill()
                p.wait(10)
        for d in self.dirs:
            d.cleanup()

    def program_dir(self, **kw):
        d = ProgramDir(**kw)
        self.dirs.append(d)
        return d

    def start(self, d):
        p = SESSION.start(d.launcher())
        self.procs.append(p)
        return p

    def finish(self, p, timeout=20):
        deadline = time.monotonic() + timeout
        while p.poll() is None and time.monotonic() < deadline:
            time.sleep(0.02)
        self.assertIsNotNone(p.poll(), "launcher did not end in time")
        return time.time()

    def test_normal_start_runs_the_main_program_and_waits_for_it(self):
        d = self.program_dir(main_ini={"RunMs": 2500})
        p = self.start(d)
        self.assertTrue(wait_until(lambda: d.has_record("ready"), 20), d.log())
        time.sleep(0.5)
        self.assertIsNone(p.poll(), "the launcher must wait for the main program")
        shot = SESSION.screenshot()
        end = self.finish(p)
        self.assertEqual(p.returncode, 0)

        # Exactly "1 " and the splash handle in decimal.
        start_line = [line for line in d.record() if line.startswith("start ")][0]
        self.assertRegex(start_line, r"^start args=\[1 [1-9][0-9]*\] ")
        path = "Z:" + d.path.replace("/", "\\") + "\\OrbelleTestMain.exe"
        self.assertEqual(normalised(d.log()), BANNER + check_lines(path))
        exit_ms = int(re.search(r"unixms=(\d+)", d.record()[-1]).group(1))
        delay = end - exit_ms / 1000
        FIGURES.append(f"launcher ended {delay * 1000:.0f} ms after the main program's last record")
        self.assertLessEqual(delay, END_LIMIT_S)
        after = SESSION.screenshot()
        self.assertEqual(after.at(SPLASH_X + 450, SPLASH_Y + 40), WHITE, "the splash went with the launcher")

        # Per-pixel transparency: corners cut away, opaque body and bands, text drawn.
        at = lambda x, y: shot.at(SPLASH_X + x, SPLASH_Y + y)  # noqa: E731
        self.assertEqual(at(1, 1), WHITE, "transparent corner shows the desktop")
        self.assertEqual(at(3, 150), WHITE, "transparent margin shows the desktop")
        self.assertEqual(at(520, 296), WHITE)
        self.assertTrue(near(at(450, 40), (11, 43, 85)), at(450, 40))
        self.assertTrue(near(at(120, 110), (85, 167, 255)), at(120, 110))  # the orb's centre
        self.assertTrue(near(at(480, 260), (235, 235, 240)), at(480, 260))
        half = at(300, 285)
        FIGURES.append(f"half-transparent band (200,60,40,alpha 128) shows as {half} over a white desktop")
        self.assertNotEqual(half, WHITE, "half-transparent pixels are drawn")
        self.assertGreater(half[0], half[1])
        whiteish = lambda c: min(c) >= 200  # noqa: E731
        blackish = lambda c: max(c) <= 80  # noqa: E731
        version_px = shot.count(SPLASH_X + 260, SPLASH_Y + 190, SPLASH_X + 340, SPLASH_Y + 206, whiteish)
        notice_px = shot.count(SPLASH_X + 30, SPLASH_Y + 245, SPLASH_X + 330, SPLASH_Y + 260, blackish)
        self.assertGreater(version_px, 30, "white version line at (260, 190)")
        self.assertGreater(notice_px, 60, "black notice line at (30, 245)")
        # Nothing white above the version line nor dark above the notice (the text is
        # where it belongs, not anywhere).
        self.assertEqual(shot.count(SPLASH_X + 260, SPLASH_Y + 160, SPLASH_X + 340, SPLASH_Y + 185, whiteish), 0)
        self.assertEqual(shot.count(SPLASH_X + 30, SPLASH_Y + 232, SPLASH_X + 330, SPLASH_Y + 243, blackish), 0)
        # "Version: " and three numbers: the same width as a run of this exact text would
        # be is not checkable here; the version text itself is asserted by the unit tests.

    def test_main_program_hides_the_splash_and_the_launcher_keeps_waiting(self):
        d = self.program_dir(main_ini={"RunMs": 4000, "HideSplashAfterMs": 300})
        p = self.start(d)
        self.assertTrue(wait_until(lambda: d.has_record("sent 3025"), 20), d.record())
        self.assertTrue(d.has_record("sent 3025") and "ok=1" in [x for x in d.record() if "3025" in x][0])
        sent = time.monotonic()
        # Wine without a window manager waits up to 2 s for the map of the splash to be
        # confirmed before it unmaps it; on Windows the splash goes at once.
        gone = lambda shot: shot.at(SPLASH_X + 450, SPLASH_Y + 40) == WHITE  # noqa: E731
        shot = wait_until(lambda: (lambda s: s if gone(s) else None)(SESSION.screenshot()), 6, step=0.2)
        self.assertIsNotNone(shot, "splash is gone")
        FIGURES.append(f"splash gone from the screen {(time.monotonic() - sent) * 1000:.0f} ms after 3025")
        self.assertEqual(shot.at(SPLASH_X + 120, SPLASH_Y + 110), WHITE)
        self.assertIsNone(p.poll(), "the launcher keeps waiting for the main program")
        self.finish(p)
        self.assertTrue(d.has_record("exit"))
        self.assertEqual(d.log()[-1], TAG + "Runas:= ShellExecuteEx Successed")

    def test_second_start_reaches_the_visible_main_window(self):
        # Shown without activation, so only the second launcher can make it the active one.
        d = self.program_dir(main_ini={"RunMs": 6000, "Activate": 0})
        first = self.start(d)
        self.assertTrue(wait_until(lambda: d.has_record("ready"), 20))
        time.sleep(0.3)
        t0 = time.time()
        second = self.start(d)
        self.finish(second)
        FIGURES.append(f"second launcher (main window visible) took {(time.time() - t0) * 1000:.0f} ms")
        self.assertIsNone(first.poll())
        record = d.record()
        self.assertIn("msg 3497 wParam=1 lParam=0", record)
        after = record[record.index("msg 3497 wParam=1 lParam=0"):]
        self.assertIn("activate", after, "brought to the foreground after the message")
        self.assertNotIn("restored", record)
        # The first launcher holds Log.txt: the second writes its banner to Log(1).txt.
        self.assertEqual(d.log("Log(1).txt"), BANNER)
        self.assertEqual(d.log()[:3], BANNER)
        self.assertNotIn(TAG + "Start", d.log("Log(1).txt"))
        self.finish(first)

    def test_second_start_restores_a_minimised_main_window(self):
        d = self.program_dir(main_ini={"RunMs": 6000, "Minimized": 1})
        first = self.start(d)
        self.assertTrue(wait_until(lambda: d.has_record("ready"), 20))
        time.sleep(0.3)
        second = self.start(d)
        self.finish(second)
        self.assertTrue(wait_until(lambda: d.has_record("restored"), 5), d.record())
        self.assertFalse(any(line.startswith("msg 3497") for line in d.record()))
        self.finish(first)

    def test_second_start_before_the_main_window_exists_ends_quietly(self):
        d = self.program_dir(main_ini={"RunMs": 5000, "Window": 0})
        first = self.start(d)
        self.assertTrue(wait_until(lambda: d.has_record("ready hwnd=0"), 20), d.record())
        before = d.record()
        second = self.start(d)
        self.finish(second, timeout=15)
        self.assertEqual(second.returncode, 0)
        self.assertIsNone(first.poll(), "the first launcher goes on")
        self.assertEqual(d.record(), before, "nothing reached the main program")
        self.assertEqual(d.log("Log(1).txt"), BANNER)
        self.finish(first)

    def test_missing_main_program_closes_the_splash_and_ends(self):
        d = self.program_dir(app_exe="Missing.exe")
        p = self.start(d)
        self.assertTrue(wait_until(lambda: TAG + "Runas:= ShellExecuteEx" in d.log(), 20))
        # The shell reports the missing file in its own message box; confirm it.
        deadline = time.monotonic() + 20
        while p.poll() is None and time.monotonic() < deadline:
            time.sleep(0.5)
            SESSION.key("Return")
        self.finish(p, timeout=1)
        path = "Z:" + d.path.replace("/", "\\") + "\\Missing.exe"
        self.assertEqual(normalised(d.log()), BANNER + check_lines(path, successed=False))

    def test_missing_or_broken_splash_shows_nothing_and_still_starts_the_main_program(self):
        for splash in ["missing", "broken"]:
            with self.subTest(splash=splash):
                d = self.program_dir(splash=splash, main_ini={"RunMs": 1500})
                p = self.start(d)
                self.assertTrue(wait_until(lambda: d.has_record("ready"), 20))
                time.sleep(0.4)
                shot = SESSION.screenshot()
                for x, y in [(450, 40), (120, 110), (480, 260), (300, 285), (290, 195)]:
                    self.assertEqual(shot.at(SPLASH_X + x, SPLASH_Y + y), WHITE, (x, y))
                self.finish(p)
                self.assertEqual(d.log()[-1], TAG + "Runas:= ShellExecuteEx Successed")

    def test_without_hoistgate_and_with_another_language_the_launcher_runs_as_usual(self):
        d = self.program_dir(hoistgate=False, language="chs", main_ini={"RunMs": 1500})
        p = self.start(d)
        self.assertTrue(wait_until(lambda: d.has_record("ready"), 20))
        time.sleep(0.4)
        shot = SESSION.screenshot()
        self.finish(p)
        self.assertEqual(d.log()[-1], TAG + "Runas:= ShellExecuteEx Successed")
        self.assertEqual(len(d.log()), len(BANNER + check_lines("X")))
        self.assertTrue(near(shot.at(SPLASH_X + 450, SPLASH_Y + 40), (11, 43, 85)))
        whiteish = lambda c: min(c) >= 200  # noqa: E731
        self.assertGreater(shot.count(SPLASH_X + 260, SPLASH_Y + 190, SPLASH_X + 340, SPLASH_Y + 206, whiteish), 30)

    def test_log_txt_directory_counts_as_free(self):
        d = self.program_dir(main_ini={"RunMs": 300})
        os.makedirs(os.path.join(d.path, "Log", "Log.txt"))
        self.finish(self.start(d))
        self.assertEqual(d.log("Log(1).txt"), [])
        # VT_Log cannot open a directory as its file: the launcher still ran its course.
        self.assertTrue(d.has_record("exit"))


def main():
    global BIN, SESSION
    BIN = sys.argv[1]
    prefix = os.path.join(os.path.dirname(os.path.abspath(BIN)), "wineprefix-gui")
    with WineSession(prefix, pe_arch(os.path.join(BIN, "OrbelleLauncher.exe"))) as SESSION:
        result = unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[2:], exit=False).result
    for line in FIGURES:
        print("figure:", line)
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
