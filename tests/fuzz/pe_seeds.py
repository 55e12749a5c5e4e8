#!/usr/bin/env python3
"""Seeds for the certificate-table fuzz target from signed programs: each
program's headers followed at once by its certificate table, the directory
moved to match, so the seeds stay a few KiB and every mutation meets either
the headers or the table.  Usage: pe_seeds.py OUT_DIR PROGRAM..."""

import os
import struct
import sys


def compact(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    count_at = 108 if magic == 0x20B else 92
    security_at = optional + count_at + 4 + 4 * 8
    header_size = struct.unpack_from("<I", data, optional + 60)[0]
    offset, size = struct.unpack_from("<II", data, security_at)
    head = bytearray(data[:header_size])
    if offset == 0 or size == 0:
        return bytes(head)
    head += b"\0" * (-len(head) % 8)
    struct.pack_into("<I", head, security_at, len(head))
    return bytes(head) + data[offset:offset + size]


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for path in sys.argv[2:]:
        if not os.path.isfile(path):
            continue
        with open(path, "rb") as f:
            data = f.read()
        with open(os.path.join(out, os.path.basename(path) + ".seed"), "wb") as f:
            f.write(compact(data))


main()
