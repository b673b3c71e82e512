"""End-to-end tests of the update check under Wine and Xvfb.

nginx on a loopback port serves the update configuration and packages built with
vtzip.exe (a scripted server in this process plays the slow answer); the launcher is
pointed at them with Orbelle.ini [System] UpdateHost.
Each case checks the log lines in order, the unpacked files, the downloaded files, the
recorded PackageVision, the server's request log and the started main program.

    update_e2e.py <windows bin folder>
"""
import http.server
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import launcher_e2e  # noqa: E402
from launcher_e2e import BANNER, END_LIMIT_S, TAG, ProgramDir, wait_until  # noqa: E402
from wine_session import WineSession, pe_arch  # noqa: E402

CONFIG_PATH = "/resource/001/258/NVOrbelle_UpdateConfig.ini"
FIGURES = []


class ScriptedServer:
    """A loopback HTTP server in this process for what nginx cannot do: an answer held
    back by a delay. Serves `files`, records every request path."""

    def __init__(self):
        self.files, self.delays, self.requests = {}, {}, []
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def do_GET(self):
                server.requests.append(self.path)
                time.sleep(server.delays.get(self.path, 0))
                body = server.files.get(self.path)
                self.send_response(200 if body is not None else 404)
                body = body if body is not None else b"not here"
                self.send_header("Content-Length", str(len(body)))
                self.send_header("Connection", "Keep-Alive")
                self.send_header("Keep-Alive", "timeout=5")
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def put(self, path, data):
        self.files[path] = data

    def offer(self, version, package_url):
        self.put(CONFIG_PATH, f"[System]\r\nPackageVision={version}\r\nPackagePath={package_url}\r\n".encode())

    def stop(self):
        self.httpd.shutdown()
        self.httpd.server_close()


class NginxServer:
    """nginx on a free loopback port serving a scratch folder; its access log tells
    which paths were asked for. With tls, the same content also over TLS on tls_port, as
    "localhost" by a test CA made for this server (ca_file, PEM)."""

    def __init__(self, tls=False, server_directives=""):
        """server_directives: more of nginx's configuration inside the server block."""
        self.dir = tempfile.mkdtemp(prefix="orbelle-nginx-")
        os.chmod(self.dir, 0o755)  # workers of a root nginx run as another user
        self.www = os.path.join(self.dir, "www")
        os.makedirs(self.www)
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            self.port = s.getsockname()[1]
        d = self.dir
        tls_conf = ""
        if tls:
            with socket.socket() as s:
                s.bind(("127.0.0.1", 0))
                self.tls_port = s.getsockname()[1]
            self.ca_file = self.make_certificates(d)
            tls_conf = (f"listen 127.0.0.1:{self.tls_port} ssl; ssl_certificate {d}/localhost.pem; "
                        f"ssl_certificate_key {d}/localhost.key;")
        conf = os.path.join(d, "nginx.conf")
        with open(conf, "w") as f:
            f.write(f"""worker_processes 1; daemon off; pid {d}/nginx.pid; error_log {d}/error.log;
events {{ worker_connections 64; }}
http {{
  log_format paths '$request_uri';
  access_log {d}/access.log paths;
  client_body_temp_path {d}/b; proxy_temp_path {d}/p; fastcgi_temp_path {d}/f; uwsgi_temp_path {d}/u;
  scgi_temp_path {d}/s;
  default_type application/octet-stream;
  keepalive_timeout 15 15;
  server {{ listen 127.0.0.1:{self.port}; {tls_conf} root {self.www}; {server_directives} }}
}}
""")
        self.proc = subprocess.Popen(["nginx", "-c", conf, "-p", d], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=0.5).close()
                break
            except OSError:
                time.sleep(0.05)

    @staticmethod
    def make_certificates(d):
        """A test CA (RSA: Wine refuses some ECDSA certificate signatures) and a
        certificate for "localhost" signed by it; returns the CA's PEM file."""
        def run(*args):
            subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        run("genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048", "-out", f"{d}/ca.key")
        run("req", "-x509", "-new", "-key", f"{d}/ca.key", "-days", "2", "-subj", "/CN=Orbelle Update Test CA",
            "-out", f"{d}/ca.pem", "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
        run("genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-out", f"{d}/localhost.key")
        run("req", "-new", "-key", f"{d}/localhost.key", "-subj", "/CN=localhost", "-out", f"{d}/localhost.csr")
        with open(f"{d}/localhost.ext", "w") as f:
            f.write("subjectAltName=DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n")
        run("x509", "-req", "-in", f"{d}/localhost.csr", "-CA", f"{d}/ca.pem", "-CAkey", f"{d}/ca.key",
            "-CAcreateserial", "-days", "2", "-extfile", f"{d}/localhost.ext", "-out", f"{d}/localhost.pem")
        for name in ["localhost.pem", "localhost.key"]:
            os.chmod(os.path.join(d, name), 0o644)  # workers of a root nginx run as another user
        return f"{d}/ca.pem"

    def put(self, path, data):
        target = os.path.join(self.www, path.lstrip("/"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        for folder in [os.path.dirname(target)]:
            while folder.startswith(self.www):
                os.chmod(folder, 0o755)
                folder = os.path.dirname(folder)
        with open(target, "wb") as f:
            f.write(data)
        os.chmod(target, 0o644)

    def offer(self, version, package_url):
        self.put(CONFIG_PATH, f"[System]\r\nPackageVision={version}\r\nPackagePath={package_url}\r\n".encode())

    @property
    def requests(self):
        try:
            with open(os.path.join(self.dir, "access.log")) as f:
                return [line.strip() for line in f if line.strip()]
        except FileNotFoundError:
            return []

    def forget_requests(self):
        open(os.path.join(self.dir, "access.log"), "w").close()

    def stop(self):
        self.proc.terminate()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
        shutil.rmtree(self.dir, ignore_errors=True)


def vtzip(*args):
    """Runs vtzip.exe under Wine, absolute paths given as Wine paths; raises when it fails."""
    wine_args = ["Z:" + a.replace("/", "\\") if a.startswith("/") else a for a in args]
    p = subprocess.Popen([SESSION.loader, os.path.join(BIN, "vtzip.exe"), *wine_args], env=SESSION.env,
                         stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    output, _ = p.communicate(timeout=60)
    if p.returncode != 0:
        text = output.decode("utf-8", "replace").strip()
        raise RuntimeError(f"vtzip {' '.join(args)} failed with {p.returncode}: {text}")


def build_package(files):
    """A .vtzip of {relative path: bytes}, made by vtzip.exe under Wine."""
    src = tempfile.mkdtemp(prefix="orbelle-pkg-src-")
    out = tempfile.mkdtemp(prefix="orbelle-pkg-")
    for name, data in files.items():
        path = os.path.join(src, *name.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    package = os.path.join(out, "update.vtzip")
    try:
        vtzip("pack", src, package)
        with open(package, "rb") as f:
            return f.read()
    finally:
        shutil.rmtree(src, ignore_errors=True)
        shutil.rmtree(out, ignore_errors=True)


new_config_files = launcher_e2e.fetched_config_files


class UpdateCase(unittest.TestCase):
    """An nginx per case and program directories pointed at it; no tests of its own."""

    def setUp(self):
        # Every case starts without a configuration fetched earlier today.
        launcher_e2e.remove_fetched_config()
        self.server = NginxServer()
        self.dirs, self.procs = [], []

    def tearDown(self):
        for p in self.procs:
            if p.poll() is None:
                p.kill()
                p.wait(10)
        for d in self.dirs:
            d.cleanup()
        self.server.stop()
        launcher_e2e.remove_fetched_config()  # leave no configuration behind for later runs

    def program_dir(self, installed=None, run_ms=1200, settings=None):
        """A program directory; settings are further [System] values of Orbelle.ini."""
        d = ProgramDir(main_ini={"RunMs": run_ms}, update_host=f"127.0.0.1:{self.server.port}")
        self.dirs.append(d)
        extra = dict(settings or {})
        if installed is not None:
            extra["PackageVision"] = installed
        with open(os.path.join(d.path, "Orbelle.ini"), "a", newline="") as f:
            f.write("".join(f"{k}={v}\r\n" for k, v in extra.items()))
        return d

    def run_in(self, d):
        """Runs the launcher of d to its end; the main program must have started."""
        started = time.monotonic()
        p = SESSION.start(d.launcher())
        self.procs.append(p)
        deadline = time.monotonic() + 40
        while p.poll() is None and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertIsNotNone(p.poll(), "launcher did not end in time")
        ended = time.time()
        FIGURES.append(f"{self.id().rsplit('.', 1)[-1]}: launcher ran {time.monotonic() - started:.1f} s")
        self.assertTrue(d.has_record("start "), d.log())  # the main program ran
        exit_ms = [int(line.rsplit("unixms=", 1)[1]) for line in d.record() if line.startswith("exit ")]
        self.assertEqual(len(exit_ms), 1, d.record())
        self.assertLessEqual(ended - exit_ms[0] / 1000, END_LIMIT_S)
        return d

    def run_launcher(self, installed=None, run_ms=1200):
        return self.run_in(self.program_dir(installed, run_ms))

    def messages(self, d):
        return [line[len(TAG):] for line in d.log() if line.startswith(TAG)]

    def setting(self, d, key):
        """A [System] value of the program directory's Orbelle.ini (None when missing)."""
        with open(os.path.join(d.path, "Orbelle.ini"), newline="") as f:
            for line in f.read().split("\r\n"):
                if line.startswith(key + "="):
                    return line.split("=", 1)[1]
        return None

    def version(self, d):
        return self.setting(d, "PackageVision")

    def package_url(self, name="p.vtzip"):
        return f"http://127.0.0.1:{self.server.port}/pkg/{name}"


class UpdateEndToEnd(UpdateCase):
    def test_newer_package_is_downloaded_unpacked_and_recorded(self):
        self.server.put("/pkg/p.vtzip", build_package({
            "Readme.txt": b"new readme\r\n", "Data\\Sub Dir\\table.bin": bytes(range(256)) * 40, "empty.dat": b""}))
        self.server.offer("2.1.0.12", self.package_url())
        d = self.run_launcher(installed="2.1.0.10")
        exe = d.launcher().rsplit("/", 1)[0]
        win_dir = "Z:" + exe.replace("/", "\\") + "\\"
        m = self.messages(d)
        self.assertEqual(m[:2], ["Start", f"FDownloadMgr.ConfigUrl:= http://127.0.0.1:{self.server.port}{CONFIG_PATH}"])
        self.assertTrue(m[2].startswith("FDownloadMgr.SaveConfigPath:= ") and m[2].endswith("\\NewConfig.ini"))
        unpacked = [line for line in m if line.startswith("DirectoryDecompression File:= ")]
        self.assertEqual(sorted(unpacked), sorted("DirectoryDecompression File:= " + win_dir + n
                                                  for n in ["Readme.txt", "Data\\Sub Dir\\table.bin", "empty.dat"]))
        expected = ["FCurrVision:= 2.1.0.10", "FMainProcess:= OrbelleTestMain.exe",
                    "Update Config Unverified:= no UpdatePublicKey, updates are not verified",
                    "FNewVision:= 2.1.0.12", "FPackageUrl:= " + self.package_url(),
                    "Vision Not equal and Timestamp < 1000",
                    "FDownloadPackagePath:= " + win_dir + "NVOrbelle_UpdateConfig.vtzip",
                    "SavePackagePath:= " + win_dir + "NVOrbelle_UpdateConfig.vtzip"] + unpacked + [
                    "DirectoryDecompression Finished", "APath:= " + win_dir + "OrbelleTestMain.exe",
                    "Runas:= ShellExecuteEx", "Runas:= ShellExecuteEx Successed"]
        self.assertEqual(m[3:], expected)
        self.assertEqual(d.log()[:3], BANNER)
        with open(os.path.join(d.path, "Data", "Sub Dir", "table.bin"), "rb") as f:
            self.assertEqual(f.read(), bytes(range(256)) * 40)
        self.assertFalse(os.path.exists(os.path.join(d.path, "NVOrbelle_UpdateConfig.vtzip")))
        self.assertEqual(new_config_files(), [])
        self.assertEqual(self.version(d), "2.1.0.12")
        self.assertEqual(self.server.requests, [CONFIG_PATH, "/pkg/p.vtzip"])

    def test_slow_answer_starts_the_main_program_without_update(self):
        self.server.stop()
        self.server = ScriptedServer()
        self.server.offer("2.1.0.12", self.package_url())
        self.server.delays[CONFIG_PATH] = 1.5
        d = self.run_launcher(installed="2.1.0.10")
        m = self.messages(d)
        self.assertIn("(FTimestamp < 1000) Run MainProcess", m)
        self.assertNotIn("Vision not EqualResason Run MainProcess", m)
        self.assertEqual(self.server.requests, [CONFIG_PATH])
        self.assertEqual(self.version(d), "2.1.0.10")

    def test_offers_that_are_not_newer(self):
        for offered, installed in [("2.2.0.1", "2.1.0.10"), ("2.1.0.10", "2.1.0.10"), ("2.1.0.3", None)]:
            with self.subTest(offered=offered, installed=installed):
                for f in new_config_files():
                    os.remove(f)
                self.server.forget_requests()
                self.server.offer(offered, self.package_url())
                d = self.run_launcher(installed=installed)
                m = self.messages(d)
                self.assertIn("Vision not EqualResason Run MainProcess", m)
                self.assertNotIn("(FTimestamp < 1000) Run MainProcess", m)
                self.assertEqual(self.server.requests, [CONFIG_PATH])

    def test_no_installed_version_takes_only_a_build_of_0_0_0_and_a_short_version_is_older(self):
        for offered, installed in [("0.0.0.7", None), ("2.1.0.12", "2.1.0")]:
            with self.subTest(offered=offered, installed=installed):
                for f in new_config_files():
                    os.remove(f)
                self.server.put("/pkg/p.vtzip", build_package({"Readme.txt": offered.encode()}))
                self.server.offer(offered, self.package_url())
                d = self.run_launcher(installed=installed)
                self.assertIn("Vision Not equal and Timestamp < 1000", self.messages(d))
                self.assertEqual(self.version(d), offered)

    def test_failed_downloads_start_the_main_program(self):
        # No configuration (404): the check fails.
        d = self.run_launcher(installed="2.1.0.10")
        self.assertIn("Update Config Failed,Run MainProcess", self.messages(d))
        # A configuration that names a missing package: the package fails, nothing changes.
        self.server.offer("2.1.0.12", self.package_url("missing.vtzip"))
        d = self.run_launcher(installed="2.1.0.10")
        self.assertIn("Update Package Failed,Run MainProcess", self.messages(d))
        self.assertEqual(self.version(d), "2.1.0.10")
        self.assertEqual(len(new_config_files()), 1)  # NewConfig.ini stays
        # Empty PackagePath with a newer version: the package task fails too.
        for f in new_config_files():
            os.remove(f)
        self.server.offer("2.1.0.12", "")
        d = self.run_launcher(installed="2.1.0.10")
        m = self.messages(d)
        self.assertIn("FPackageUrl:= ", m)
        self.assertIn("Update Package Failed,Run MainProcess", m)

    def test_a_package_that_does_not_install_keeps_the_installed_version(self):
        # Not a package at all: nothing is unpacked and the version stays, so the next
        # start tries again.
        self.server.put("/pkg/p.vtzip", b"\x03zsf\x02 not this format")
        self.server.offer("2.1.0.12", self.package_url())
        d = self.run_launcher(installed="2.1.0.10")
        m = self.messages(d)
        self.assertIn("DirectoryDecompression Incomplete,Keep PackageVision:= 2.1.0.10", m)
        self.assertEqual(self.version(d), "2.1.0.10")
        # The package stays for the rest of the day, so that it is not fetched again.
        self.assertTrue(os.path.exists(os.path.join(d.path, "NVOrbelle_UpdateConfig.vtzip")))
        # A package address whose port is no number fails the download; it must not leave
        # the launcher waiting for an answer.
        for f in new_config_files():
            os.remove(f)
        self.server.offer("2.1.0.12", f"http://127.0.0.1:{self.server.port}x/pkg/p.vtzip")
        d = self.run_launcher(installed="2.1.0.10")
        self.assertIn("Update Package Failed,Run MainProcess", self.messages(d))
        self.assertEqual(self.version(d), "2.1.0.10")

    def test_second_start_on_the_same_day_uses_the_configuration_without_a_request(self):
        self.server.offer("2.1.0.10", self.package_url())
        self.run_launcher(installed="2.1.0.10")
        self.assertEqual(self.server.requests, [CONFIG_PATH])
        d = self.run_launcher(installed="2.1.0.10")
        self.assertEqual(self.server.requests, [CONFIG_PATH])  # nothing new on the wire
        self.assertIn("Vision not EqualResason Run MainProcess", self.messages(d))


def run_suite():
    """Runs the calling script's tests in one Wine session (argv: bin folder, then unittest's
    own arguments), prints the figures they noted and exits with their verdict."""
    global BIN, SESSION
    BIN = sys.argv[1]
    launcher_e2e.BIN = BIN
    prefix = os.path.join(os.path.dirname(os.path.abspath(BIN)), "wineprefix-gui")
    with WineSession(prefix, pe_arch(os.path.join(BIN, "OrbelleLauncher.exe"))) as session:
        SESSION = launcher_e2e.SESSION = session
        result = unittest.main(module="__main__", argv=[sys.argv[0], "-v"] + sys.argv[2:], exit=False).result
    for line in FIGURES:
        print("figure:", line)
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    run_suite()
