#!/usr/bin/env python3
"""scripts/release end to end: two releases of the Windows build's programs (2.1.0.10 with
a throw-away test certificate, 2.1.0.12 with a code-signing certificate made here), then
under Wine and Xvfb the installer and uninstaller as a user meets them, and the update
from the release's server tree served by nginx on a loopback port.

    release_e2e.py <windows bin folder> <ORBELLE_VERSION of that build> [unittest arguments]

Keys and certificates are throw-away ones made by the test. The programs are stripped
copies of the build's, as a release build would ship them.
"""
import base64
import glob
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "launcher"))
from robust_update_e2e import file_version  # noqa: E402
from update_e2e import NginxServer  # noqa: E402
from wine_session import WineSession, pe_arch  # noqa: E402

BIN = None
BUILD_VERSION = None
SESSION = None
UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Norvale Orbelle"
CONFIG = os.path.join("server", "resource", "001", "258", "NVOrbelle_UpdateConfig.ini")
PROGRAMS = ["OrbelleLauncher.exe", "VT_Log.dll", "SSL.dll", "Hoistgate.dll"]
PFX_PASSWORD = "correct horse battery staple"


def openssl(*args):
    return subprocess.run(["openssl", *args], check=True, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout


def throwaway_key(path):
    """An Ed25519 key pair in vtzip keygen's format (base64 of seed and public key);
    returns the public key."""
    der = openssl("genpkey", "-algorithm", "ed25519", "-outform", "DER")
    with tempfile.NamedTemporaryFile() as f:
        f.write(der)
        f.flush()
        public = openssl("pkey", "-inform", "DER", "-in", f.name, "-pubout", "-outform", "DER")[-32:]
    with open(path, "w") as f:
        f.write(base64.b64encode(der[-32:] + public).decode() + "\n")
    return base64.b64encode(public).decode()


def shortcut_target(path):
    """The target of a .lnk file: its LinkInfo's local base path and common path suffix."""
    with open(path, "rb") as f:
        data = f.read()
    flags = struct.unpack_from("<I", data, 0x14)[0]
    at = 0x4C
    if flags & 1:  # HasLinkTargetIDList
        at += 2 + struct.unpack_from("<H", data, at)[0]
    if not flags & 2:  # HasLinkInfo
        return None
    base_offset = struct.unpack_from("<I", data, at + 16)[0]
    suffix_offset = struct.unpack_from("<I", data, at + 24)[0]
    cstr = lambda o: data[o:data.index(b"\0", o)].decode("mbcs" if os.name == "nt" else "latin-1")  # noqa: E731
    return cstr(at + base_offset) + cstr(at + suffix_offset)


def wait_until(predicate, timeout, step=0.1):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


def read(path, mode="rb"):
    with open(path, mode) as f:
        return f.read()


def ini(path):
    """[System] of an Orbelle.ini as a dict."""
    values = {}
    for line in read(path, "r").splitlines():
        if "=" in line:
            k, v = line.split("=", 1)
            values[k.strip()] = v.strip()
    return values


class Release(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="orbelle-release-")
        s = cls.scratch
        cls.key = os.path.join(s, "vendor.key")
        cls.public_key = throwaway_key(cls.key)
        # The vendor's code-signing certificate (self-signed here) in a password-protected .pfx.
        cls.vendor_cert = os.path.join(s, "vendor-cert.pem")
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", os.path.join(s, "vendor-cert.key"),
                "-out", cls.vendor_cert, "-days", "2", "-subj", "/O=Norvale Orbelle/CN=Norvale Orbelle Code Signing",
                "-addext", "extendedKeyUsage=codeSigning")
        openssl("pkcs12", "-export", "-inkey", os.path.join(s, "vendor-cert.key"), "-in", cls.vendor_cert,
                "-out", os.path.join(s, "vendor.pfx"), "-passout", "pass:" + PFX_PASSWORD)
        # Stripped programs, and the stand-in main application.
        strip = ("x86_64" if pe_arch(os.path.join(BIN, "OrbelleLauncher.exe")) == "win64" else "i686") \
            + "-w64-mingw32-strip"
        cls.programs = os.path.join(s, "programs")
        app = os.path.join(s, "app")
        os.makedirs(cls.programs)
        os.makedirs(app)
        for name, target in [(n, cls.programs) for n in PROGRAMS + ["vtzip.exe"]] + [("OrbelleTestMain.exe", app)]:
            subprocess.run([strip, "-o", os.path.join(target, name), os.path.join(BIN, name)], check=True)
        shutil.copytree(os.path.join(BIN, "Skin"), os.path.join(cls.programs, "Skin"))
        with open(os.path.join(app, "MainProgram.ini"), "w", newline="") as f:
            f.write("[Test]\r\nRunMs=1200\r\n")
        # nginx on its loopback port from the start: the releases name it as their server.
        cls.server = NginxServer()
        cls.port = cls.server.port
        cls.old = os.path.join(s, "dist", "2.1.0.10")
        cls.new = os.path.join(s, "dist", "2.1.0.12")
        cls.release("2.1.0.10", "--serial", "5", "--out", cls.old)
        cls.release("2.1.0.12", "--serial", "6", "--out", cls.new, "--base", cls.old,
                    "--cert", os.path.join(s, "vendor.pfx"), "--cert-pass-env", "ORBELLE_TEST_PFX_PASSWORD")

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        shutil.rmtree(cls.scratch, ignore_errors=True)

    @classmethod
    def release(cls, version, *args, key=True, check=True):
        cmd = [os.path.join(ROOT, "scripts", "release"), version, "--binaries", cls.programs,
               "--app", os.path.join(cls.scratch, "app"), "--server-url", f"http://127.0.0.1:{cls.port}", *args]
        if key:
            cmd += ["--key", cls.key]
        # vtzip.exe runs in the build tree's own prefix, as the unit tests do.
        env = dict(os.environ, ORBELLE_TEST_PFX_PASSWORD=PFX_PASSWORD,
                   ORBELLE_WINEPREFIX=os.path.join(os.path.dirname(BIN), "wineprefix"))
        p = subprocess.run(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=600)
        if check and p.returncode != 0:
            raise RuntimeError(f"release {version} failed ({p.returncode}):\n{p.stdout}")
        return p

    # --- the release folder --------------------------------------------------------------

    def test_release_without_key_is_refused(self):
        out = os.path.join(self.scratch, "no-key")
        p = self.release("2.1.0.13", "--out", out, key=False, check=False)
        self.assertEqual(p.returncode, 2, p.stdout)
        self.assertIn("no --key", p.stdout)
        self.assertFalse(os.path.exists(out))
        # The release build itself refuses to configure without a key (a blank one included).
        tree = os.path.join(self.scratch, "release-without-key")
        p = subprocess.run(["cmake", "-S", ROOT, "-B", tree, "-G", "Ninja", "-DORBELLE_RELEASE=ON",
                            "-DORBELLE_UPDATE_PUBLIC_KEYS= , "], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           text=True, timeout=300)
        self.assertNotEqual(p.returncode, 0)
        self.assertIn("a release build needs ORBELLE_UPDATE_PUBLIC_KEYS", " ".join(p.stdout.split()))

    def test_release_folder_sums_versions_offer_and_report(self):
        for dist, version in [(self.old, "2.1.0.10"), (self.new, "2.1.0.12")]:
            with self.subTest(version=version):
                sums = read(os.path.join(dist, "SHA256SUMS"), "r").splitlines()
                listed = sorted(line.split("  ", 1)[1] for line in sums)
                on_disk = sorted(os.path.relpath(os.path.join(r, n), dist).replace(os.sep, "/")
                                 for r, _, files in os.walk(dist) for n in files if n != "SHA256SUMS")
                self.assertEqual(listed, on_disk)
                p = subprocess.run(["sha256sum", "--check", "--quiet", "SHA256SUMS"], cwd=dist,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
                self.assertEqual(p.returncode, 0, p.stdout)
                setup = os.path.join(dist, f"Orbelle-{version}-Setup.exe")
                self.assertEqual(file_version(setup), version)
                for name in PROGRAMS:
                    self.assertEqual(file_version(os.path.join(dist, "bin", name)), BUILD_VERSION, name)
                self.assertTrue(os.path.isfile(os.path.join(dist, "bin", "OrbelleTestMain.exe")))
                package = f"Orbelle-{version}.vtzip"
                self.assertTrue(os.path.isfile(os.path.join(dist, "server", "packages", package)))
                config = read(os.path.join(dist, CONFIG), "r")
                self.assertTrue(config.startswith(f"[System]\nPackageVision={version}\nPackagePath=http://127.0.0.1:"
                                                  f"{self.port}/packages/{package}\n"), config)
                self.assertRegex(config, r"\nSignature=[A-Za-z0-9+/=]+\n$")
                self.assertIn(f"Serial={5 if version.endswith('10') else 6}\n", config)
        old_report = read(os.path.join(self.old, "RELEASE.txt"), "r")
        new_report = read(os.path.join(self.new, "RELEASE.txt"), "r")
        self.assertIn("THROW-AWAY TEST CERTIFICATE", old_report)
        self.assertNotIn("TEST", new_report)
        self.assertIn("CN = Norvale Orbelle Code Signing", new_report)
        # The Windows build's launcher does not carry the key: Orbelle.ini must.
        self.assertIn(f"offer key:     {self.public_key} (written into Orbelle.ini UpdatePublicKey)", new_report)
        deltas = glob.glob(os.path.join(self.new, "server", "packages", "*.vtdelta"))
        if deltas:
            self.assertEqual([os.path.basename(d) for d in deltas], ["Orbelle-2.1.0.10-to-2.1.0.12.vtdelta"])
            self.assertIn("Delta", read(os.path.join(self.new, CONFIG), "r"))
        else:
            self.assertIn("deltas: none: this vtzip has no delta support", new_report)

    def test_signatures_verify_against_their_certificate_only(self):
        def verify(path, ca):
            return subprocess.run(["osslsigncode", "verify", "-CAfile", ca, "-in", path], stdout=subprocess.PIPE,
                                  stderr=subprocess.STDOUT, text=True).returncode == 0
        test_cert = os.path.join(self.old, "TEST-CERTIFICATE.pem")
        for dist, ca in [(self.old, test_cert), (self.new, self.vendor_cert)]:
            signed = [os.path.join(dist, "bin", n) for n in PROGRAMS + ["OrbelleTestMain.exe"]]
            signed += glob.glob(os.path.join(dist, "*-Setup.exe"))
            for path in signed:
                self.assertTrue(verify(path, ca), path)
        self.assertFalse(verify(os.path.join(self.new, "bin", "SSL.dll"), test_cert))
        tampered = os.path.join(self.scratch, "tampered.dll")
        data = bytearray(read(os.path.join(self.old, "bin", "VT_Log.dll")))
        data[len(data) // 3] ^= 0x20
        with open(tampered, "wb") as f:
            f.write(data)
        self.assertFalse(verify(tampered, test_cert))
        self.assertFalse(os.path.exists(os.path.join(self.new, "TEST-CERTIFICATE.pem")))

    # --- installed under Wine ----------------------------------------------------------

    def wine(self, *args, wait=True):
        env = dict(SESSION.env, WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        p = subprocess.Popen([SESSION.loader, *args], env=env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE if wait else subprocess.DEVNULL, stderr=subprocess.DEVNULL, text=True)
        if not wait:
            return p
        out, _ = p.communicate(timeout=180)
        return p.returncode, out

    def unix(self, windows_path):
        """The file in the prefix behind a C:\\ path."""
        self.assertTrue(windows_path.upper().startswith("C:\\"), windows_path)
        return os.path.join(SESSION.prefix, "drive_c", *windows_path[3:].split("\\"))

    @staticmethod
    def registry_view():
        """The installer is a program of the launcher's architecture: its view of HKLM."""
        return "/reg:64" if SESSION.arch == "win64" else "/reg:32"

    def registry(self, root="HKCU"):
        """The entry in the list of installed programs (the user's, or HKLM the machine's),
        or None."""
        code, out = self.wine("reg", "query", f"{root}\\{UNINSTALL_KEY}", self.registry_view())
        if code != 0:
            return None
        values = {}
        for line in out.splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) == 3 and parts[1].startswith("REG_"):
                values[parts[0]] = int(parts[2], 16) if parts[1] == "REG_DWORD" else parts[2]
        return values

    def shortcuts(self, all_users=False):
        start_menu = [os.path.join("ProgramData", "Microsoft")] if all_users else \
            [os.path.join("users", "*", "AppData", "Roaming", "Microsoft")]
        return glob.glob(os.path.join(SESSION.prefix, "drive_c", *start_menu, "Windows", "Start Menu", "Programs",
                                      "Norvale Orbelle*.lnk"))

    def install(self, dist, *args):
        code, _ = self.wine(glob.glob(os.path.join(dist, "*-Setup.exe"))[0], "/S", *args)
        return code

    def uninstall(self, folder, *args, root="HKCU"):
        """Runs the uninstaller silently; it continues from a copy of itself, so the wait
        is for its work."""
        self.wine(os.path.join(folder, "Uninstall.exe"), "/S", *args)
        self.assertTrue(wait_until(lambda: not os.path.exists(os.path.join(folder, "Uninstall.exe"))
                                   and self.registry(root) is None, 60))

    def clean_prefix(self):
        for root in ["HKCU", "HKLM"]:
            entry = self.registry(root)
            if entry:
                shutil.rmtree(self.unix(entry["InstallLocation"]), ignore_errors=True)
                self.wine("reg", "delete", f"{root}\\{UNINSTALL_KEY}", "/f", self.registry_view())
        for lnk in self.shortcuts() + self.shortcuts(all_users=True):
            os.remove(lnk)
        for f in glob.glob(os.path.join(SESSION.prefix, "drive_c", "ProgramData", "Norvale Orbelle", "NewConfig.ini")):
            os.remove(f)

    def assert_files(self, folder, dist):
        for root, _, files in os.walk(os.path.join(dist, "bin")):
            for n in files:
                rel = os.path.relpath(os.path.join(root, n), os.path.join(dist, "bin"))
                self.assertEqual(read(os.path.join(folder, rel)), read(os.path.join(root, n)), rel)

    def test_install_update_upgrade_and_uninstall(self):
        self.clean_prefix()
        # The release's server tree as it would be copied onto the web server.
        shutil.rmtree(self.server.www)
        shutil.copytree(os.path.join(self.new, "server"), self.server.www)
        for root, dirs, files in os.walk(self.server.www):
            os.chmod(root, 0o755)  # workers of a root nginx run as another user
            for n in files:
                os.chmod(os.path.join(root, n), 0o644)
        try:
            self.install_update_upgrade_and_uninstall(self.server)
        finally:
            self.clean_prefix()

    def install_update_upgrade_and_uninstall(self, server):
        with self.subTest("silent per-user install"):
            self.assertEqual(self.install(self.old), 0)
            entry = self.registry()
            self.assertIsNotNone(entry)
            folder_win = entry["InstallLocation"]
            self.assertRegex(folder_win, r"(?i)^C:\\users\\[^\\]+\\AppData\\Local\\Programs\\Norvale Orbelle$")
            folder = self.unix(folder_win)
            self.assert_files(folder, self.old)
            self.assertEqual({k: entry[k] for k in ["DisplayName", "DisplayVersion", "Publisher", "UninstallString",
                                                     "QuietUninstallString"]},
                             {"DisplayName": "Norvale Orbelle", "DisplayVersion": "2.1.0.10",
                              "Publisher": "Norvale Orbelle", "UninstallString": f'"{folder_win}\\Uninstall.exe"',
                              "QuietUninstallString": f'"{folder_win}\\Uninstall.exe" /S'})
            size_kb = sum(os.path.getsize(os.path.join(r, n)) for r, _, fs in os.walk(folder) for n in fs) // 1024
            self.assertLessEqual(abs(entry["EstimatedSize"] - size_kb), 16, (entry["EstimatedSize"], size_kb))
            self.assertEqual(ini(os.path.join(folder, "Orbelle.ini")),
                             {"PackageVision": "2.1.0.10", "AppExeName": "OrbelleTestMain.exe", "DefLanguage": "ENG",
                              "UpdateHost": f"127.0.0.1:{self.port}", "UpdatePublicKey": self.public_key})
            uninstaller = os.path.join(folder, "Uninstall.exe")
            p = subprocess.run(["osslsigncode", "verify", "-CAfile", os.path.join(self.old, "TEST-CERTIFICATE.pem"),
                                "-in", uninstaller], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.assertEqual(p.returncode, 0, "the uninstaller is signed")

        with self.subTest("the Start-menu shortcut starts the launcher, which updates in place"):
            links = self.shortcuts()
            self.assertEqual(len(links), 1, links)
            target = shortcut_target(links[0])
            self.assertEqual(target.lower(), (folder_win + "\\OrbelleLauncher.exe").lower())
            launcher = self.wine(target, wait=False)
            self.assertTrue(wait_until(lambda: launcher.poll() is not None, 120), "the launcher ends")
            log = read(os.path.join(folder, "Log", "Log.txt"), "r")
            self.assertIn("Update Config Verified:= Serial 6", log)
            # With a delta from the installed version in the offer the launcher takes it.
            delta = "/packages/Orbelle-2.1.0.10-to-2.1.0.12.vtdelta"
            if os.path.exists(os.path.join(self.new, "server", *delta.split("/"))):
                self.assertIn(f"Update Delta:= from 2.1.0.10, http://127.0.0.1:{self.port}{delta}", log)
                self.assertIn("DeltaUpdate Finished", log)
                self.assertIn(delta, server.requests)
            else:
                self.assertIn("DirectoryDecompression Finished", log)
                self.assertIn("/packages/Orbelle-2.1.0.12.vtzip", server.requests)
            self.assertIn("ready hwnd=", read(os.path.join(folder, "MainProgram.record.txt"), "r"))
            self.assert_files(folder, self.new)
            settings = ini(os.path.join(folder, "Orbelle.ini"))
            self.assertEqual((settings["PackageVision"], settings["UpdateSerial"]), ("2.1.0.12", "6"))
            self.assertIn("/resource/001/258/NVOrbelle_UpdateConfig.ini", server.requests)

        with self.subTest("a second install upgrades in place and keeps the user's settings"):
            # The user's own choice of language, and a file lost since.
            text = read(os.path.join(folder, "Orbelle.ini")).replace(b"DefLanguage=ENG", b"DefLanguage=RUS")
            with open(os.path.join(folder, "Orbelle.ini"), "wb") as f:
                f.write(text)
            os.remove(os.path.join(folder, "Skin", "splash.png"))
            self.assertEqual(self.install(self.new), 0)
            entry = self.registry()
            self.assertEqual((entry["InstallLocation"], entry["DisplayVersion"]), (folder_win, "2.1.0.12"))
            self.assert_files(folder, self.new)
            settings = ini(os.path.join(folder, "Orbelle.ini"))
            self.assertEqual((settings["DefLanguage"], settings["UpdateSerial"], settings["PackageVision"]),
                             ("RUS", "6", "2.1.0.12"))
            self.assertEqual(len(self.shortcuts()), 1)

        with self.subTest("uninstall keeping the settings, install again, uninstall everything"):
            self.uninstall(folder, "/KEEPSETTINGS")
            self.assertEqual(os.listdir(folder), ["Orbelle.ini"])
            self.assertEqual(self.shortcuts(), [])
            self.assertEqual(self.install(self.new), 0)
            self.assertEqual(ini(os.path.join(folder, "Orbelle.ini"))["DefLanguage"], "RUS")
            self.uninstall(folder)
            self.assertFalse(os.path.exists(folder))
            self.assertEqual(self.shortcuts(), [])
            self.assertIsNone(self.registry())

        with self.subTest("for every user (/ALLUSERS): Program Files, the machine's entry and Start menu"):
            self.assertEqual(self.install(self.new, "/ALLUSERS"), 0)
            self.assertIsNone(self.registry())
            entry = self.registry("HKLM")
            self.assertIsNotNone(entry)
            machine_win = entry["InstallLocation"]
            self.assertRegex(machine_win, r"(?i)^C:\\Program Files( \(x86\))?\\Norvale Orbelle$")
            self.assertEqual(entry["QuietUninstallString"], f'"{machine_win}\\Uninstall.exe" /S /ALLUSERS')
            machine = self.unix(machine_win)
            self.assert_files(machine, self.new)
            self.assertEqual(len(self.shortcuts(all_users=True)), 1)
            self.assertEqual(self.shortcuts(), [])
            self.uninstall(machine, "/ALLUSERS", root="HKLM")
            self.assertFalse(os.path.exists(machine))
            self.assertEqual(self.shortcuts(all_users=True), [])

        with self.subTest("a folder holding other files is refused"):
            # /D= takes the rest of the command line unquoted: a folder without blanks.
            foreign = os.path.join(SESSION.prefix, "drive_c", "users", "Public", "Documents", "OrbelleTest")
            os.makedirs(foreign, exist_ok=True)
            with open(os.path.join(foreign, "letter.txt"), "w") as f:
                f.write("mine")
            self.assertEqual(self.install(self.new, "/D=C:\\users\\Public\\Documents\\OrbelleTest"), 2)
            self.assertEqual(os.listdir(foreign), ["letter.txt"])
            self.assertIsNone(self.registry())
            shutil.rmtree(foreign)


def main():
    global BIN, BUILD_VERSION, SESSION
    BIN, BUILD_VERSION = os.path.abspath(sys.argv[1]), sys.argv[2]
    prefix = os.path.join(os.path.dirname(BIN), "wineprefix-gui")
    with WineSession(prefix, pe_arch(os.path.join(BIN, "OrbelleLauncher.exe"))) as SESSION:
        result = unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[3:], exit=False).result
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
