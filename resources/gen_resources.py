#!/usr/bin/env python3
"""Builds the resource inputs that are not plain source text.

license_ja.txt (UTF-8 in the repository) becomes code page 932 with CRLF line
ends, whatever the build host's locale; license_en.txt becomes ASCII with CRLF.
The three icons are drawn here: 16x16 and 32x32, 32-bit.
"""
import struct
import sys
from pathlib import Path


def crlf(text):
    lines = text.replace("\r\n", "\n").split("\n")
    return "\r\n".join(lines)


def icon(size_list, colour, mark):
    images = []
    for size in size_list:
        pixels = bytearray()
        for y in range(size - 1, -1, -1):  # bottom-up rows
            for x in range(size):
                border = x in (0, size - 1) or y in (0, size - 1)
                inner = mark(x * 16 // size, y * 16 // size)
                if border:
                    b, g, r = 0x40, 0x40, 0x40
                elif inner:
                    b, g, r = 0xFF, 0xFF, 0xFF
                else:
                    b, g, r = colour
                pixels += bytes((b, g, r, 0xFF))
        mask = bytes(((size + 31) // 32) * 4 * size)
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                             len(pixels) + len(mask), 0, 0, 0, 0)
        images.append((size, header + bytes(pixels) + mask))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return out


def main():
    src, out = Path(sys.argv[1]), Path(sys.argv[2])
    out.mkdir(parents=True, exist_ok=True)
    ja = crlf(src.joinpath("license_ja.txt").read_text(encoding="utf-8"))
    out.joinpath("license_ja_cp932.txt").write_bytes(ja.encode("cp932"))
    en = crlf(src.joinpath("license_en.txt").read_text(encoding="utf-8"))
    out.joinpath("license_en_crlf.txt").write_bytes(en.encode("ascii"))
    # Card (121), reader (122) and download arrow (125) in the maker's blue.
    card = lambda x, y: 3 <= x <= 12 and 5 <= y <= 10 and not (5 <= x <= 7 and 7 <= y <= 8)
    reader = lambda x, y: (4 <= x <= 11 and 3 <= y <= 12) and not (6 <= x <= 9 and 5 <= y <= 7)
    arrow = lambda x, y: (7 <= x <= 8 and 3 <= y <= 9) or (y >= 9 and abs(x - 7.5) <= 12 - y)
    for ident, mark in ((121, card), (122, reader), (125, arrow)):
        out.joinpath(f"icon{ident}.ico").write_bytes(icon((16, 32), (0xB0, 0x60, 0x10), mark))


if __name__ == "__main__":
    main()
