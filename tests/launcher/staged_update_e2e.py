"""End-to-end tests under Wine and Xvfb of what people see of an update and of the
vendor's safety nets: the staged rollout of a signed offer (RolloutPercent against the
installation's kept RolloutBucket), the progress layer on the splash during a slow
download, and the automatic rollback of a release whose main program fails at start.
Keys, packages and signatures are made by vtzip.exe; nginx serves them.

    staged_update_e2e.py <windows bin folder>
"""
import os
import shutil
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import launcher_e2e  # noqa: E402
import update_e2e  # noqa: E402
from launcher_e2e import SPLASH_X, SPLASH_Y, near, wait_until  # noqa: E402
from update_e2e import CONFIG_PATH, NginxServer, UpdateCase, build_package, vtzip  # noqa: E402
from wine_session import WineSession, pe_arch  # noqa: E402

OLD = {"Readme.txt": b"old readme\r\n"}
NEW = {"Readme.txt": b"new readme\r\n", "Notes.txt": b"notes\r\n"}
SKIPPED = "Update Rollout Skipped,Run MainProcess:= "
# The progress layer on the splash: its place and colours (panel, bar fill).
LAYER = (SPLASH_X + 30, SPLASH_Y + 212, SPLASH_X + 30 + 463, SPLASH_Y + 212 + 30)
PANEL, FILL = (32, 36, 44), (64, 156, 255)


class SignedCase(UpdateCase):
    """Program directories with a vendor key configured and offers signed by it."""

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="orbelle-staged-")
        cls.private, public = os.path.join(cls.scratch, "v.key"), os.path.join(cls.scratch, "v.pub")
        vtzip("keygen", cls.private, public)
        with open(public) as f:
            cls.public = f.read().strip()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def offer(self, version, package, serial=1, *sign_args, name="p.vtzip"):
        """Serves package under name and a configuration offering version, signed for it."""
        config, package_file = os.path.join(self.scratch, "offer.ini"), os.path.join(self.scratch, "offer.vtzip")
        with open(config, "w", newline="") as f:
            f.write(f"[System]\r\nPackageVision={version}\r\nPackagePath={self.package_url(name)}\r\n")
        with open(package_file, "wb") as f:
            f.write(package)
        vtzip("sign", config, package_file, "--key", self.private, "--serial", str(serial), *sign_args)
        with open(config, "rb") as f:
            launcher_e2e.remove_fetched_config()
            self.server.put(CONFIG_PATH, f.read())
        self.server.put("/pkg/" + name, package)

    def installed_dir(self, settings=None, files=OLD, **kw):
        d = self.program_dir(installed="2.1.0.10", settings=dict({"UpdatePublicKey": self.public}, **(settings or {})),
                             **kw)
        for name, data in files.items():
            with open(os.path.join(d.path, *name.split("\\")), "wb") as f:
                f.write(data)
        return d

    def run_again(self, d):
        os.remove(os.path.join(d.path, "MainProgram.record.txt"))
        return self.run_in(d)

    def read(self, d, name):
        try:
            with open(os.path.join(d.path, name), "rb") as f:
                return f.read()
        except FileNotFoundError:
            return None


class StagedRollout(SignedCase):
    def test_rollout_percentages_against_the_kept_bucket(self):
        package = build_package(NEW)
        cases = [
            # (RolloutPercent signed, RolloutBucket kept beforehand, installs)
            ("0", None, False),
            ("100", None, True),
            ("30", "29", True),
            ("30", "30", False),
        ]
        for percent, bucket, installs in cases:
            with self.subTest(percent=percent, bucket=bucket):
                self.server.forget_requests()
                self.offer("2.1.0.12", package, 1, "--rollout", percent)
                d = self.run_in(self.installed_dir({"RolloutBucket": bucket} if bucket else None))
                m = self.messages(d)
                skipped = [line for line in m if line.startswith(SKIPPED)]
                if installs:
                    self.assertEqual(skipped, [], m)
                    self.assertEqual(self.version(d), "2.1.0.12")
                    self.assertEqual(self.read(d, "Readme.txt"), NEW["Readme.txt"])
                    self.assertEqual(self.server.requests, [CONFIG_PATH, "/pkg/p.vtzip"])
                else:
                    kept = self.setting(d, "RolloutBucket")
                    self.assertEqual(skipped, [SKIPPED + f"bucket {kept} is not below RolloutPercent {percent}"])
                    self.assertEqual(self.version(d), "2.1.0.10")
                    self.assertEqual(self.read(d, "Readme.txt"), OLD["Readme.txt"])
                    self.assertEqual(self.server.requests, [CONFIG_PATH])
                # A full rollout needs no bucket; a staged one draws it once and keeps it.
                self.assertEqual(self.setting(d, "RolloutBucket") is None, bucket is None and percent == "100")
                if bucket:
                    self.assertEqual(self.setting(d, "RolloutBucket"), bucket)

    def test_a_drawn_bucket_is_kept_across_starts(self):
        self.offer("2.1.0.12", build_package(NEW), 1, "--rollout", "0")
        d = self.run_in(self.installed_dir())
        first = self.setting(d, "RolloutBucket")
        self.assertRegex(first or "", r"^[0-9]{1,2}$")
        self.run_again(d)
        self.assertEqual(self.setting(d, "RolloutBucket"), first)
        # One line per start (the log goes on in the same file).
        self.assertEqual([line for line in self.messages(d) if line.startswith(SKIPPED)],
                         [SKIPPED + f"bucket {first} is not below RolloutPercent 0"] * 2)


ROLLBACK = "Update Rollback:= "
BAD_MAIN = b"[Test]\r\nRunMs=0\r\nExitCode=3\r\n"  # the release's main program exits with 3 at once


class Rollback(SignedCase):
    def strays(self, d):
        """What an update leaves in the program folder while unfinished: backups, discards,
        the staging folder, the journal."""
        return [x for x in os.listdir(d.path) if "~orbelle" in x.lower()]

    def start_with(self, d, env):
        saved = SESSION().env
        SESSION().env = dict(saved, **env)
        try:
            p = SESSION().start(d.launcher())
        finally:
            SESSION().env = saved
        self.procs.append(p)
        return p

    def assert_previous(self, d, old_files, main_ini):
        for name, data in old_files.items():
            self.assertEqual(self.read(d, name), data, name)
        self.assertEqual(self.read(d, "MainProgram.ini"), main_ini)
        self.assertIsNone(self.read(d, "Notes.txt"))
        self.assertEqual(self.version(d), "2.1.0.10")
        self.assertEqual(self.setting(d, "BadVisions"), "2.1.0.12")
        self.assertIn(self.setting(d, "TrialVision"), (None, ""))
        self.assertEqual(self.strays(d), [])

    def test_a_release_that_exits_with_code_3_is_rolled_back_and_a_newer_good_one_applies(self):
        self.offer("2.1.0.12", build_package({"Readme.txt": b"bad readme\r\n", "MainProgram.ini": BAD_MAIN,
                                              "Notes.txt": b"notes\r\n"}), 1)
        d = self.installed_dir()
        main_ini = self.read(d, "MainProgram.ini")
        p = SESSION().start(d.launcher())
        self.procs.append(p)
        self.assertTrue(wait_until(lambda: p.poll() is not None, 60), d.log())
        m = self.messages(d)
        rollback = [line for line in m if line.startswith(ROLLBACK)]
        self.assertEqual(len(rollback), 1, m)
        self.assertRegex(rollback[0], r"^Update Rollback:= 2\.1\.0\.12 ended with code 3 after \d+ ms, back to "
                                      r"2\.1\.0\.10$")
        self.assertLess(m.index("DirectoryDecompression Finished"), m.index(rollback[0]))
        # The release ran once and failed; the previous version then ran once, to its end.
        starts = [line for line in d.record() if line.startswith("start ")]
        self.assertEqual(len(starts), 2, d.record())
        self.assertEqual(m[-3:], ["APath:= " + "Z:" + d.path.replace("/", "\\") + "\\OrbelleTestMain.exe",
                                  "Runas:= ShellExecuteEx", "Runas:= ShellExecuteEx Successed"])
        self.assertEqual(len([line for line in d.record() if line.startswith("exit ")]), 2)
        self.assert_previous(d, OLD, main_ini)

        # The same offer again: the bad version is not fetched again.
        self.server.forget_requests()
        launcher_e2e.remove_fetched_config()
        self.run_again(d)
        self.assertIn("Update Vision Bad,Run MainProcess:= 2.1.0.12 was rolled back after a failed start",
                      self.messages(d))
        self.assertEqual(self.server.requests, [CONFIG_PATH])
        self.assert_previous(d, OLD, main_ini)

        # A newer, good release applies, starts healthily and keeps nothing aside.
        self.offer("2.1.0.13", build_package({"Readme.txt": b"good readme\r\n"}), 2, "--healthy-seconds", "1")
        self.run_again(d)
        self.assertEqual(self.version(d), "2.1.0.13")
        self.assertEqual(self.read(d, "Readme.txt"), b"good readme\r\n")
        self.assertEqual(self.strays(d), [])
        self.assertIn(self.setting(d, "TrialVision"), (None, ""))
        self.assertEqual(len([line for line in self.messages(d) if line.startswith(ROLLBACK)]), 1)

    def test_a_launcher_killed_during_a_rollback_leaves_the_previous_files_at_the_next_start(self):
        names = [f"f{i}.txt" for i in range(6)]
        old = {n: b"old " + n.encode() for n in names}
        new = dict({n: b"new " + n.encode() for n in names}, **{"MainProgram.ini": BAD_MAIN, "Notes.txt": b"n"})
        self.offer("2.1.0.12", build_package(new), 1)
        d = self.installed_dir(files=old)
        main_ini = self.read(d, "MainProgram.ini")
        p = self.start_with(d, {"ORBELLE_TEST_ROLLBACK_PAUSE_MS": "20000"})
        self.assertTrue(wait_until(lambda: any(line.startswith(ROLLBACK) for line in self.messages(d)), 60),
                        d.log())
        time.sleep(0.5)  # the first file is back, the second waits
        p.kill()
        p.wait(10)
        self.assertNotEqual(self.strays(d), [])  # half-restored, as killed
        self.assertEqual(self.version(d), "2.1.0.10")  # the decision was recorded first

        earlier = len(self.messages(d))
        launcher_e2e.remove_fetched_config()
        self.run_again(d)
        m = self.messages(d)[earlier:]
        done = "UpdateRecovery:= rollback completed, the installed files are the old ones (2.1.0.12)"
        self.assertIn(done, m)
        self.assertLess(m.index(done), m.index("Start"))
        self.assertIn("Update Vision Bad,Run MainProcess:= 2.1.0.12 was rolled back after a failed start", m)
        self.assert_previous(d, old, main_ini)


def stored_package(files):
    """A .vtzip of {name: bytes} stored without compression (its size is its content's)."""
    src, out = tempfile.mkdtemp(prefix="orbelle-pkg-src-"), tempfile.mkdtemp(prefix="orbelle-pkg-")
    try:
        for name, data in files.items():
            with open(os.path.join(src, name), "wb") as f:
                f.write(data)
        vtzip("pack", src, os.path.join(out, "p.vtzip"), "--level", "0")
        with open(os.path.join(out, "p.vtzip"), "rb") as f:
            return f.read()
    finally:
        shutil.rmtree(src, ignore_errors=True)
        shutil.rmtree(out, ignore_errors=True)


class ProgressLayer(UpdateCase):
    def layer_pixels(self, shot):
        x0, y0, x1, y1 = LAYER
        panel = shot.count(x0, y0, x1, y1, lambda p: near(p, PANEL, 6))
        fill = shot.count(x0, y0, x1, y1, lambda p: near(p, FILL, 6))
        return panel, fill, b"".join(shot.pixels[((y0 + y) * shot.width + x0) * 3:((y0 + y) * shot.width + x1) * 3]
                                   for y in range(y1 - y0))

    def test_a_slow_50_mb_download_shows_its_progress_on_the_splash(self):
        # 50 MB of incompressible bytes at 6 MB/s: about eight seconds of download.
        self.server.stop()
        self.server = NginxServer(server_directives="location /pkg/ { limit_rate 6m; }")
        package = stored_package({"Big.bin": os.urandom(50 << 20), "Readme.txt": b"new\r\n"})
        self.assertGreater(len(package), 50 << 20)
        self.server.put("/pkg/p.vtzip", package)
        self.server.offer("2.1.0.12", self.package_url())
        d = self.program_dir(installed="2.1.0.10", run_ms=4000)
        p = SESSION().start(d.launcher())
        self.procs.append(p)
        self.assertTrue(wait_until(lambda: any(line.startswith("SavePackagePath:= ") for line in self.messages(d)),
                                   20), d.log())
        shots = []
        for pause in [2.0, 2.5]:
            time.sleep(pause)
            shots.append(SESSION().screenshot())
        self.assertFalse(d.has_record("start "), d.log())  # the download must not have ended yet
        (panel1, fill1, rows1), (panel2, fill2, rows2) = [self.layer_pixels(s) for s in shots]
        # The layer shows both times, with a longer bar and other numbers the second time.
        self.assertGreater(panel1, 463 * 30 // 3)
        self.assertGreater(panel2, 463 * 30 // 3)
        self.assertGreater(fill1, 0)
        self.assertGreater(fill2, fill1)
        self.assertNotEqual(rows1, rows2)
        FIGURES().append(f"progress bar: {fill1 // 6} then {fill2 // 6} of 447 pixels, 2.5 s apart")
        # Kept beside the build for people to look at.
        for i, shot in enumerate(shots):
            with open(os.path.join(os.path.dirname(os.path.abspath(launcher_e2e.BIN)), f"progress-{i + 1}.ppm"),
                      "wb") as f:
                f.write(b"P6 %d %d 255\n" % (shot.width, shot.height) + shot.pixels)
        # The layer goes when the main program starts; the update applied.
        self.assertTrue(wait_until(lambda: d.has_record("ready"), 60), d.log())
        shot = SESSION().screenshot()
        self.assertEqual(self.layer_pixels(shot)[0], 0)
        self.assertTrue(wait_until(lambda: p.poll() is not None, 30))
        self.assertEqual(self.version(d), "2.1.0.12")
        with open(os.path.join(d.path, "Big.bin"), "rb") as f:
            self.assertEqual(len(f.read()), 50 << 20)


def SESSION():
    return update_e2e.SESSION


def FIGURES():
    return update_e2e.FIGURES


if __name__ == "__main__":
    update_e2e.run_suite()
