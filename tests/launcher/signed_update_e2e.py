"""End-to-end tests under Wine and Xvfb of signed update offers. With UpdatePublicKey in
Orbelle.ini the launcher takes an update configuration only with a valid signature by a
configured key, a Serial not lower than the one it accepted before and an Expires day
that has not passed, and a package only with the signed size and SHA-256. Every refused
offer leaves the installed files and version as they were, deletes what was downloaded
and starts the main program. Keys, packages and signatures are made by vtzip.exe; nginx
serves them.

    signed_update_e2e.py <windows bin folder>
"""
import datetime
import hashlib
import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import launcher_e2e  # noqa: E402
import update_e2e  # noqa: E402
from update_e2e import CONFIG_PATH, UpdateCase, build_package, new_config_files, vtzip  # noqa: E402
from wine_session import WineSession, pe_arch  # noqa: E402

OLD = {"Readme.txt": b"old readme\r\n", "Data\\table.bin": b"old table"}
NEW = {"Readme.txt": b"new readme\r\n", "Data\\table.bin": bytes(range(256)) * 20, "Notes.txt": b"notes\r\n"}
REFUSED_CONFIG = "Update Config Refused,Run MainProcess:= "
REFUSED_PACKAGE = "Update Package Refused,Run MainProcess:= "
BAD_SIGNATURE = REFUSED_CONFIG + "the signature does not match the configuration and a configured key"


def utc_day(offset):
    return (datetime.datetime.now(datetime.timezone.utc).date() + datetime.timedelta(days=offset)).isoformat()


class SignedUpdate(UpdateCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="orbelle-signed-")
        cls.keys = {}
        for name in ["a", "b"]:
            private, public = os.path.join(cls.scratch, name + ".key"), os.path.join(cls.scratch, name + ".pub")
            vtzip("keygen", private, public)
            with open(public) as f:
                cls.keys[name] = (private, f.read().strip())
        cls.package = build_package(NEW)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def signed_offer(self, version, serial, key="a", days=None, package=None):
        """The update configuration offering version, signed with vtzip for package."""
        config, package_file = os.path.join(self.scratch, "offer.ini"), os.path.join(self.scratch, "offer.vtzip")
        with open(config, "w", newline="") as f:
            f.write(f"[System]\r\nPackageVision={version}\r\nPackagePath={self.package_url()}\r\n")
        with open(package_file, "wb") as f:
            f.write(self.package if package is None else package)
        args = ["sign", config, package_file, "--key", self.keys[key][0], "--serial", str(serial)]
        if days is not None:
            args += ["--expires-days", str(days)]
        vtzip(*args)
        with open(config, "rb") as f:
            return f.read()

    def serve(self, config, package=None):
        launcher_e2e.remove_fetched_config()
        self.server.put(CONFIG_PATH, config)
        self.server.put("/pkg/p.vtzip", self.package if package is None else package)

    def installed_dir(self, keys):
        d = self.program_dir(installed="2.1.0.10", settings={"UpdatePublicKey": keys})
        for name, data in OLD.items():
            path = os.path.join(d.path, *name.split("\\"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        return d

    def run_again(self, d):
        """Runs the launcher of d once more, with the main program's record started afresh."""
        os.remove(os.path.join(d.path, "MainProgram.record.txt"))
        return self.run_in(d)

    def assert_installed(self, d, files, version):
        for name, data in files.items():
            with open(os.path.join(d.path, *name.split("\\")), "rb") as f:
                self.assertEqual(f.read(), data, name)
        self.assertEqual(self.version(d), version)

    def assert_refused(self, d, refusal):
        """Nothing installed changed, the one refusal line is logged, nothing downloaded stays."""
        m = self.messages(d)
        self.assertEqual([line for line in m if "Refused,Run MainProcess:= " in line], [refusal], m)
        self.assertFalse(any(line.startswith("DirectoryDecompression") for line in m), m)
        self.assert_installed(d, OLD, "2.1.0.10")
        self.assertFalse(os.path.exists(os.path.join(d.path, "Notes.txt")))
        self.assertFalse(os.path.exists(os.path.join(d.path, "NVOrbelle_UpdateConfig.vtzip")))
        self.assertEqual(new_config_files(), [])
        win_dir = "Z:" + d.path.replace("/", "\\") + "\\"
        self.assertEqual(m[-3:], ["APath:= " + win_dir + "OrbelleTestMain.exe", "Runas:= ShellExecuteEx",
                                  "Runas:= ShellExecuteEx Successed"])

    def test_a_signed_offer_applies_and_its_serial_is_remembered(self):
        self.serve(self.signed_offer("2.1.0.12", 5))
        d = self.run_in(self.installed_dir(self.keys["a"][1]))
        m = self.messages(d)
        verified = "Update Config Verified:= Serial 5, Expires " + utc_day(30)
        self.assertIn(verified, m)
        self.assertLess(m.index(verified), m.index("FNewVision:= 2.1.0.12"))
        self.assertIn("DirectoryDecompression Finished", m)
        self.assertFalse(any("Unverified" in line or "Refused" in line for line in m), m)
        self.assert_installed(d, NEW, "2.1.0.12")
        self.assertEqual(self.setting(d, "UpdateSerial"), "5")
        self.assertEqual(new_config_files(), [])

    def test_tampered_expired_foreign_and_unsigned_offers_change_nothing(self):
        good = self.signed_offer("2.1.0.12", 5)
        at = good.index(b"2.1.0.12") + 7
        flipped = bytearray(self.package)
        flipped[len(flipped) // 2] ^= 0x01
        size = len(self.package)
        digest = hashlib.sha256(self.package).hexdigest()
        cases = [
            ("a byte of the configuration", good[:at] + b"3" + good[at + 1:], None, BAD_SIGNATURE),
            ("a byte of the package", good, bytes(flipped),
             REFUSED_PACKAGE + f"the package's SHA-256 {hashlib.sha256(flipped).hexdigest()} is not the signed "
             + digest),
            ("a package one byte longer", good, self.package + b"\0",
             REFUSED_PACKAGE + f"the package is larger than the {size} bytes the offer signed"),
            ("an expired offer", self.signed_offer("2.1.0.12", 5, days=-1), None,
             REFUSED_CONFIG + "the offer expired on " + utc_day(-1)),
            ("a signature by another key", self.signed_offer("2.1.0.12", 5, key="b"), None, BAD_SIGNATURE),
            ("the signature line removed", good[:good.index(b"Signature=")], None,
             REFUSED_CONFIG + "no Signature line at the end of the configuration"),
        ]
        for name, config, package, refusal in cases:
            with self.subTest(name):
                self.serve(config, package)
                self.assert_refused(self.run_in(self.installed_dir(self.keys["a"][1])), refusal)
        with self.subTest("a broken key setting refuses every offer"):
            self.serve(good)
            self.assert_refused(self.run_in(self.installed_dir("not-a-key")),
                                REFUSED_CONFIG + 'UpdatePublicKey "not-a-key" is not a public key (44 characters of '
                                'base64)')
        with self.subTest("a key setting of only blanks and commas refuses every offer"):
            self.serve(good)
            self.assert_refused(self.run_in(self.installed_dir(" , ")),
                                REFUSED_CONFIG + "UpdatePublicKey holds no public key")

    def test_an_older_serial_replayed_after_a_newer_one_was_accepted_is_refused(self):
        d = self.installed_dir(self.keys["a"][1])
        # Serial 6 offers the installed version: accepted and remembered, nothing to install.
        self.serve(self.signed_offer("2.1.0.10", 6))
        self.run_in(d)
        self.assertIn("Vision not EqualResason Run MainProcess", self.messages(d))
        self.assertEqual(self.setting(d, "UpdateSerial"), "6")
        # Serial 5, validly signed and not expired, offering a newer version: a replay now.
        self.serve(self.signed_offer("2.1.0.12", 5))
        self.run_again(d)
        self.assert_refused(d, REFUSED_CONFIG + "Serial 5 is lower than the serial 6 accepted before")
        self.assertEqual(self.setting(d, "UpdateSerial"), "6")

    def test_with_two_keys_configured_offers_signed_by_either_apply(self):
        d = self.installed_dir(f"{self.keys['a'][1]}, {self.keys['b'][1]}")
        for n, (key, version) in enumerate([("b", "2.1.0.12"), ("a", "2.1.0.13")]):
            with self.subTest(key=key):
                package = build_package({"Readme.txt": version.encode()})
                self.serve(self.signed_offer(version, 10 + n, key=key, package=package), package)
                self.run_again(d) if n else self.run_in(d)
                self.assert_installed(d, {"Readme.txt": version.encode()}, version)
                self.assertEqual(self.setting(d, "UpdateSerial"), str(10 + n))


if __name__ == "__main__":
    update_e2e.run_suite()
