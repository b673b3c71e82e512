"""What the program-level tests of the Windows tools share: checks that print and count,
paths as Wine's Z: drive shows them, and one run of a tool under scripts/wine-run."""
import subprocess
import sys

failures = []


def check(cond, what):
    print(("ok   " if cond else "FAIL ") + what)
    if not cond:
        failures.append(what)


def win(path):
    return "Z:" + path


def run(wine_run, exe, *args, display=False):
    """(exit code, stdout, stderr) of one run, bounded at two minutes."""
    command = [wine_run, "--display", exe] if display else [wine_run, exe]
    r = subprocess.run(command + list(args), capture_output=True, text=True, timeout=120)
    return r.returncode, r.stdout, r.stderr


def finish():
    sys.exit(1 if failures else 0)
