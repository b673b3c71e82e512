#!/usr/bin/env python3
"""scripts/check-layers on a small tree with known faults (includes, system headers, #ifs,
a library link, an exception no file needs): it names each one by file and line, passes
what the table allows, and refuses a table whose layers run in a circle.

    check_layers_test.py PATH-TO-check-layers
"""
import os
import subprocess
import sys
import tempfile

TABLE = """
[uses]
platform
base        platform
net         base
offer       base
ui          net
tests/*     tests/support
[windows headers]
src/ui
[posix headers]
src/platform/posix
src/ui/W.cpp
[os conditionals]
src/platform
"""

FILES = {
    "src/platform/P.h": "#pragma once\n",
    "src/platform/Up.cpp": '#include "platform/P.h"\n#include "base/B.h"\n',
    "src/platform/posix/F.cpp": "#include <unistd.h>\n#if defined(__linux__)\n#endif\n",
    "src/base/B.h": '#include "platform/P.h"\n#include <string>\n',
    "src/base/Rel.cpp": '#include "B.h"\n#include "../net/N.h"\n',
    "src/base/Os.cpp": "#include <cstdio>\n#if defined(_WIN32)\n#include <Windows.h>\n#else\n"
                       "#include <sys/mman.h>\n#endif\n",
    "src/net/N.h": '#include "base/B.h"\n',
    "src/offer/O.cpp": '#include "base/B.h"\n  #  include "net/N.h"  // wrong way\n',
    "src/ui/W.cpp": "#include <windows.h>\n#include <gdiplus.h>\n#include \"net/N.h\"\n#include \"platform/P.h\"\n",
    "src/extra/E.cpp": '#include "base/B.h"\n',
    "tests/base/T.cpp": '#include "base/B.h"\n#include "support/S.h"\n#include "net/N.h"\n',
    "tests/support/S.h": "#pragma once\n",
    "src/net/CMakeLists.txt": "orbelle_library(orbelle_net DEPS orbelle_base SOURCES N.h)\n",
    "src/offer/CMakeLists.txt": "# links\norbelle_library(orbelle_offer DEPS orbelle_base\n  orbelle_net SOURCES O.cpp)\n",
}

EXPECTED = {
    "src/platform/Up.cpp:2": "platform may not use base",
    "src/base/Rel.cpp:2": "base may not use net",
    "src/base/Os.cpp:2": "#if on _WIN32",
    "src/base/Os.cpp:3": "a Win32 header",
    "src/base/Os.cpp:5": "a POSIX header",
    "src/offer/O.cpp:2": "offer may not use net",
    "src/extra/E.cpp": "src/extra has no line",
    "tests/base/T.cpp:3": "tests/base may not use net",
    "src/offer/CMakeLists.txt:3": "orbelle_offer links orbelle_net: offer may not use net",
    f"src/layers.txt:{TABLE.split(chr(10)).index('src/ui/W.cpp') + 1}": "src/ui/W.cpp needs no [posix headers] entry",
}


def run(checker, root, table):
    with open(os.path.join(root, "src", "layers.txt"), "w") as f:
        f.write(table)
    return subprocess.run([sys.executable, checker, "--root", root], capture_output=True, text=True)


def main():
    checker = sys.argv[1]
    failures = []
    with tempfile.TemporaryDirectory() as root:
        for path, text in FILES.items():
            os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
            with open(os.path.join(root, path), "w") as f:
                f.write(text)
        r = run(checker, root, TABLE)
        found = {}
        for line in r.stdout.splitlines():
            if not line.startswith("check-layers:"):
                where = line.split(": ", 1)[0]
                found[where] = line
        if r.returncode != 1:
            failures.append(f"exit code {r.returncode} for a tree with faults, expected 1")
        for where, words in EXPECTED.items():
            if words not in found.get(where, ""):
                failures.append(f"{where}: expected a report with '{words}', got '{found.get(where)}'")
        for where in sorted(set(found) - set(EXPECTED)):
            failures.append(f"reported what the table allows: {found[where]}")

        for path in ("src/platform/Up.cpp", "src/base/Rel.cpp", "src/base/Os.cpp", "src/offer/O.cpp",
                     "tests/base/T.cpp"):
            os.remove(os.path.join(root, path))
        os.remove(os.path.join(root, "src/extra/E.cpp"))
        with open(os.path.join(root, "src/offer/CMakeLists.txt"), "w") as f:
            f.write("orbelle_library(orbelle_offer DEPS orbelle_base SOURCES O.cpp)\n")
        r = run(checker, root, TABLE.replace("src/ui/W.cpp\n", ""))
        if r.returncode != 0:
            failures.append(f"the tree without its faults fails (exit {r.returncode}): {r.stdout}")

        r = run(checker, root, TABLE.replace("base        platform\n", "base        platform ui\n"))
        if r.returncode != 2 or "circle" not in r.stderr:
            failures.append(f"a table in a circle: exit {r.returncode}, {r.stderr.strip()}")

    for f in failures:
        print(f)
    print(f"check_layers_test: {'FAILED' if failures else 'passed'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
