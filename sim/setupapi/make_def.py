#!/usr/bin/env python3
"""Writes the simulated setupapi.dll's export definitions: the functions in
implemented.txt and the simulator's control functions are its own, every other
export of Wine's setupapi is forwarded to the renamed copy setupapi_wine.dll.

usage: make_def.py WINE_SETUPAPI_DLL IMPLEMENTED_TXT OUT_DEF
"""
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
from pe_inspect import PE  # noqa: E402

CONTROL = ["KuvanaSimSetupapi", "KuvanaSimSetRebootAnswer", "KuvanaSimRebootPrompts",
           "KuvanaSimCallCount", "KuvanaSimFail", "KuvanaSimFrameworkCalls"]


def names(path):
    return [line.strip() for line in open(path) if line.strip() and not line.startswith("#")]


def main():
    wine_dll, implemented_txt, out = sys.argv[1:4]
    own = names(implemented_txt)
    _, exports = PE(wine_dll).exports()
    missing = [n for n in own if n not in exports]
    if missing:
        sys.exit("not exported by Wine's setupapi: %s" % ", ".join(missing))
    lines = ["LIBRARY setupapi.dll", "EXPORTS"]
    lines += ["    %s" % n for n in own + CONTROL]
    lines += ["    %s = setupapi_wine.%s" % (n, n) for n in sorted(exports) if n not in own]
    Path(out).write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
