"""End-to-end tests under Wine and Xvfb of delta updates. A signed offer lists, beside the
full package, a delta from the installed version (vtzip delta, vtzip sign --delta); the
launcher fetches the delta instead of the package, checks it and every file it reads,
builds the new files and commits them. A base file the user changed, a corrupt delta or a
delta for another version make it take the full package in the same start, and a delta
that cannot install changes nothing. nginx serves everything.

    delta_update_e2e.py <windows bin folder>
"""
import hashlib
import os
import random
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import launcher_e2e  # noqa: E402
import update_e2e  # noqa: E402
from update_e2e import CONFIG_PATH, UpdateCase, build_package, new_config_files, vtzip  # noqa: E402
from wine_session import WineSession, pe_arch  # noqa: E402


def program_bytes(seed, size):
    rng = random.Random(seed)
    return bytes(rng.getrandbits(8) for _ in range(size))


def next_release_of(data):
    """data with a block inserted, one deleted and a few bytes changed, as a rebuild does."""
    rng = random.Random(7)
    d = bytearray(data)
    for _ in range(40):
        p = rng.randrange(len(d) - 4)
        d[p:p + 4] = rng.getrandbits(32).to_bytes(4, "little")
    d[1000:1000] = bytes(rng.getrandbits(8) for _ in range(300))
    del d[90000:91000]
    return bytes(d)


OLD_PROGRAM = program_bytes(1, 160000)
OLD = {"Readme.txt": b"old readme\r\n", "Bin\\Engine.dll": OLD_PROGRAM, "Old.txt": b"dropped in 2.1.0.12",
       "Same.txt": b"unchanged\r\n"}
NEW = {"Readme.txt": b"new readme\r\n", "Bin\\Engine.dll": next_release_of(OLD_PROGRAM), "Notes.txt": b"notes\r\n",
       "Same.txt": b"unchanged\r\n"}
DELTA_TAKEN = "Update Delta:= from 2.1.0.10, "
FALLBACK = "Update Delta Failed,Take Package:= "


def write_tree(root, files):
    for name, data in files.items():
        path = os.path.join(root, *name.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


class DeltaUpdate(UpdateCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="orbelle-delta-")
        cls.private, public = os.path.join(cls.scratch, "a.key"), os.path.join(cls.scratch, "a.pub")
        vtzip("keygen", cls.private, public)
        with open(public) as f:
            cls.public = f.read().strip()
        cls.package = build_package(NEW)
        write_tree(os.path.join(cls.scratch, "old"), OLD)
        write_tree(os.path.join(cls.scratch, "new"), NEW)
        delta = os.path.join(cls.scratch, "d.vtdelta")
        vtzip("delta", os.path.join(cls.scratch, "old"), os.path.join(cls.scratch, "new"), delta)
        with open(delta, "rb") as f:
            cls.delta = f.read()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def offer(self, delta, base="2.1.0.10"):
        """The configuration offering 2.1.0.12 and delta (bytes) from base, signed by vtzip."""
        config = os.path.join(self.scratch, "offer.ini")
        package_file, delta_file = os.path.join(self.scratch, "p.vtzip"), os.path.join(self.scratch, "d.vtdelta")
        with open(config, "w", newline="") as f:
            f.write(f"[System]\r\nPackageVision=2.1.0.12\r\nPackagePath={self.package_url()}\r\n")
        with open(package_file, "wb") as f:
            f.write(self.package)
        with open(delta_file, "wb") as f:
            f.write(delta)
        vtzip("sign", config, package_file, "--key", self.private, "--serial", "3", "--delta", f"{base}={delta_file}")
        with open(config, "rb") as f:
            return f.read()

    def serve(self, config, delta, package=True):
        launcher_e2e.remove_fetched_config()
        self.server.put(CONFIG_PATH, config)
        self.server.put("/pkg/d.vtdelta", delta)
        if package:
            self.server.put("/pkg/p.vtzip", self.package)
        elif os.path.exists(os.path.join(self.server.www, "pkg", "p.vtzip")):
            os.remove(os.path.join(self.server.www, "pkg", "p.vtzip"))

    def installed_dir(self, changes=None):
        d = self.program_dir(installed="2.1.0.10", settings={"UpdatePublicKey": self.public})
        write_tree(d.path, {**OLD, **(changes or {})})
        return d

    def files_of(self, d, files):
        out = {}
        for name in files:
            path = os.path.join(d.path, *name.split("\\"))
            out[name] = open(path, "rb").read() if os.path.exists(path) else None
        return out

    def assert_clean(self, d):
        """No downloaded file, staging folder or backup stays in the program folder."""
        left = [n for n in os.listdir(d.path) if "vtdelta" in n or "vtzip" in n or "~Orbelle" in n or "~orbelle" in n]
        self.assertEqual(left, [])
        self.assertEqual(new_config_files(), [])

    def test_a_delta_from_the_installed_version_applies_without_the_package(self):
        self.serve(self.offer(self.delta), self.delta)
        d = self.run_in(self.installed_dir())
        m = self.messages(d)
        self.assertTrue(any(line.startswith(DELTA_TAKEN + self.package_url("d.vtdelta")) for line in m), m)
        self.assertIn("DeltaUpdate Finished:= 4 files", m)  # three built, one removed
        self.assertFalse(any(FALLBACK in line for line in m), m)
        self.assertEqual(self.files_of(d, list(NEW) + ["Old.txt"]), {**NEW, "Old.txt": None})
        self.assertEqual(self.version(d), "2.1.0.12")
        self.assertIn("/pkg/d.vtdelta", self.server.requests)
        self.assertNotIn("/pkg/p.vtzip", self.server.requests)
        self.assert_clean(d)
        update_e2e.FIGURES.append(f"delta {len(self.delta)} bytes instead of the package's {len(self.package)}")

    def test_a_base_file_the_user_changed_takes_the_full_package(self):
        changed = bytearray(OLD_PROGRAM)
        changed[5000] ^= 0xFF
        self.serve(self.offer(self.delta), self.delta)
        d = self.run_in(self.installed_dir({"Bin\\Engine.dll": bytes(changed)}))
        m = self.messages(d)
        fallbacks = [line for line in m if FALLBACK in line]
        self.assertEqual(len(fallbacks), 1, m)
        self.assertIn("Engine.dll is not the file the delta was made for", fallbacks[0])
        self.assertIn("DirectoryDecompression Finished", m)
        self.assertEqual(self.files_of(d, NEW), NEW)
        self.assertEqual(self.version(d), "2.1.0.12")
        self.assertEqual(self.server.requests.count("/pkg/p.vtzip"), 1)
        self.assert_clean(d)

    def test_a_corrupt_delta_changes_nothing_and_falls_back(self):
        # The last entry is the program's diff: a byte of it flipped, signed as it is, so
        # the size and digest pass and the diff reader or the result's digest must refuse.
        corrupt = bytearray(self.delta)
        corrupt[-40] ^= 0x5A
        flipped_unsigned = bytearray(self.delta)
        flipped_unsigned[len(flipped_unsigned) // 2] ^= 0x01
        cases = [("signed as corrupt", self.offer(bytes(corrupt)), bytes(corrupt), "DeltaUpdate Failed:= "),
                 ("not the signed bytes", self.offer(self.delta), bytes(flipped_unsigned),
                  "delta: the package's SHA-256 " + hashlib.sha256(flipped_unsigned).hexdigest())]
        for name, config, delta, cause in cases:
            with self.subTest(name, package=False):
                # Without the full package on the server, what the delta did shows alone.
                self.serve(config, delta, package=False)
                d = self.run_in(self.installed_dir())
                m = self.messages(d)
                fallbacks = [line for line in m if FALLBACK in line]
                self.assertEqual(len(fallbacks), 1, m)
                self.assertIn(cause, fallbacks[0])
                self.assertIn("Update Package Failed,Run MainProcess", m)
                self.assertEqual(self.files_of(d, list(OLD) + ["Notes.txt"]), {**OLD, "Notes.txt": None})
                self.assertEqual(self.version(d), "2.1.0.10")
            with self.subTest(name, package=True):
                self.serve(config, delta)
                d = self.run_in(self.installed_dir())
                self.assertEqual(self.files_of(d, NEW), NEW)
                self.assertEqual(self.version(d), "2.1.0.12")
                self.assert_clean(d)

    def test_a_delta_replaces_the_running_launcher_and_a_loaded_dll(self):
        def read(name):
            with open(os.path.join(update_e2e.BIN, name), "rb") as f:
                return f.read()
        base = {"OrbelleLauncher.exe": read("OrbelleLauncher.exe"), "VT_Log.dll": read("VT_Log.dll")}
        # The next launcher (version 9.8.7.6); bytes after a DLL image leave it loadable.
        new = {"OrbelleLauncher.exe": read("OrbelleLauncherNext.exe"), "VT_Log.dll": base["VT_Log.dll"] + b"\0new"}
        write_tree(os.path.join(self.scratch, "launcher-old"), base)
        write_tree(os.path.join(self.scratch, "launcher-new"), new)
        delta_file = os.path.join(self.scratch, "launcher.vtdelta")
        vtzip("delta", os.path.join(self.scratch, "launcher-old"), os.path.join(self.scratch, "launcher-new"),
              delta_file)
        with open(delta_file, "rb") as f:
            delta = f.read()
        self.serve(self.offer(delta), delta)
        d = self.run_in(self.program_dir(installed="2.1.0.10", settings={"UpdatePublicKey": self.public}))
        self.assertIn("DeltaUpdate Finished:= 2 files", self.messages(d))
        self.assertEqual(self.files_of(d, new), new)
        self.assertEqual(self.version(d), "2.1.0.12")
        update_e2e.FIGURES.append(f"launcher and VT_Log.dll: delta {len(delta)} bytes for "
                                  f"{sum(map(len, new.values()))} bytes of programs")

    def test_a_delta_for_another_version_takes_the_full_package(self):
        self.serve(self.offer(self.delta, base="2.1.0.9"), self.delta)
        d = self.run_in(self.installed_dir())
        m = self.messages(d)
        self.assertIn("Update Delta Skipped,Take Package:= no delta from 2.1.0.10", m)
        self.assertEqual(self.files_of(d, NEW), NEW)
        self.assertEqual(self.version(d), "2.1.0.12")
        self.assertNotIn("/pkg/d.vtdelta", self.server.requests)


if __name__ == "__main__":
    update_e2e.run_suite()
