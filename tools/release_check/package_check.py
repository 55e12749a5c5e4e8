#!/usr/bin/env python3
"""Whether a package folder's class installer DLLs may ship: each
kuvana_coinst*.dll under DIR names in its version resource's Comments the
release-key pins it trusts; one built with the tests' public keys says so
and is refused. With PINS (PIN[,PIN]) each DLL must trust exactly those.

    package_check.py DIR [PINS]

Prints one line a DLL; exits 0 only when there is one and every one may ship."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import pe_inspect  # noqa: E402

TEST_BUILD = "TEST BUILD"
PINS_PREFIX = "Release-key pins "


def verdict(path, pins):
    comments = pe_inspect.PE(path).version_strings().get("Comments", "")
    if comments.startswith(TEST_BUILD):
        return "REFUSED: built with the tests' public release keys, which anyone can sign with; build it with " \
               "the release preset and your own pins"
    if not comments.startswith(PINS_PREFIX):
        return "REFUSED: its version resource names no release-key pins (built before they were named?)"
    trusted = comments[len(PINS_PREFIX):]
    if pins is not None and sorted(trusted.split(",")) != sorted(pins.split(",")):
        return "REFUSED: it trusts %s, not %s" % (trusted, pins)
    return "ok (trusts %s)" % trusted


def main():
    if len(sys.argv) not in (2, 3) or not os.path.isdir(sys.argv[1]):
        print("usage: package_check.py DIR [PIN[,PIN]]", file=sys.stderr)
        return 2
    pins = sys.argv[2] if len(sys.argv) == 3 else None
    dlls = sorted(os.path.join(top, name) for top, _, names in os.walk(sys.argv[1]) for name in names
                  if name.lower().startswith("kuvana_coinst") and name.lower().endswith(".dll"))
    good = bool(dlls)
    for path in dlls:
        line = verdict(path, pins)
        print("%s: %s" % (path, line))
        good = good and line.startswith("ok")
    if not dlls:
        print("package_check: no kuvana_coinst*.dll under %s" % sys.argv[1])
    print("package_check: %s" % ("the package may ship" if good else "DO NOT SHIP this package"))
    return 0 if good else 1


if __name__ == "__main__":
    sys.exit(main())
