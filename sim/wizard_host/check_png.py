#!/usr/bin/env python3
"""Checks the wizard host's screenshots with an independent decoder (zlib):
signature, chunk CRCs, the zlib stream with its Adler-32, the scanline layout,
and that each picture shows something (not one flat colour).

usage: check_png.py DIR NAME...
"""
import struct
import sys
import unittest
import zlib
from pathlib import Path

FOLDER = None
NAMES = []


def decode(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("no PNG signature")
    pos, chunks = 8, []
    while pos < len(data):
        length, kind = struct.unpack_from(">I4s", data, pos)
        body = data[pos + 8:pos + 8 + length]
        crc = struct.unpack_from(">I", data, pos + 8 + length)[0]
        if zlib.crc32(kind + body) != crc:
            raise ValueError("bad CRC in %s" % kind)
        chunks.append((kind, body))
        pos += 12 + length
    kinds = [k for k, _ in chunks]
    if kinds[0] != b"IHDR" or kinds[-1] != b"IEND":
        raise ValueError("chunk order %s" % kinds)
    width, height, depth, colour = struct.unpack_from(">IIBB", chunks[0][1])
    raw = zlib.decompress(b"".join(b for k, b in chunks if k == b"IDAT"))
    return width, height, depth, colour, raw


class Screenshots(unittest.TestCase):
    def test_each_screenshot_decodes_and_shows_something(self):
        for name in NAMES:
            with self.subTest(name=name):
                path = Path(FOLDER) / name
                self.assertTrue(path.exists(), path)
                width, height, depth, colour, raw = decode(path.read_bytes())
                self.assertEqual((depth, colour), (8, 2))
                self.assertGreater(width, 100)
                self.assertGreater(height, 100)
                stride = 1 + 3 * width
                self.assertEqual(len(raw), height * stride)
                self.assertEqual({raw[y * stride] for y in range(height)}, {0})
                pixels = {raw[y * stride + 1 + 3 * x:y * stride + 4 + 3 * x]
                          for y in range(0, height, 7) for x in range(0, width, 7)}
                self.assertGreater(len(pixels), 4, "a flat picture")


if __name__ == "__main__":
    FOLDER = sys.argv[1]
    NAMES = sys.argv[2:]
    del sys.argv[1:]
    unittest.main(verbosity=2)
