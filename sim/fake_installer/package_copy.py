#!/usr/bin/env python3
"""Writes a copy of the unsigned fake installer that carries a package's name:
    package_copy.py IN OUT NAME
The marker text "KUVANA_FAKE_PACKAGE=any" and the NULs after it are patched
in place, so nothing else in the program moves."""
import sys

MARKER = b"KUVANA_FAKE_PACKAGE="
ROOM = len(b"any") + 13

source, target, name = sys.argv[1], sys.argv[2], sys.argv[3].encode()
with open(source, "rb") as f:
    data = bytearray(f.read())
at = data.find(MARKER + b"any" + b"\0" * 13)
if at < 0 or data.find(MARKER, at + 1) >= 0 or len(name) > ROOM - 1:
    sys.exit("package_copy: the marker is not found once in %s, or %s is too long" % (source, name.decode()))
start = at + len(MARKER)
data[start:start + ROOM] = name + b"\0" * (ROOM - len(name))
with open(target, "wb") as f:
    f.write(data)
