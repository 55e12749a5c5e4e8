#!/usr/bin/env python3
"""Static checks of the built setup program: it runs elevated from a folder its
user can write, so the loader must find nothing of its own there."""
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
from pe_inspect import PE  # noqa: E402

PROGRAM = None

# Known DLLs on every system the program runs on (Vista to 11): the loader
# maps them from the system's own section, never from the program's folder.
KNOWN_DLLS = {"kernel32.dll", "advapi32.dll", "setupapi.dll", "msvcrt.dll", "user32.dll", "gdi32.dll",
              "ole32.dll", "shlwapi.dll", "shell32.dll", "ws2_32.dll"}


class SetupProgramChecks(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = PE(PROGRAM)

    def test_imports_known_dlls_only(self):
        imported = {name.lower() for name in self.pe.imports()}
        self.assertTrue(imported, "no imports read")
        self.assertLessEqual(imported, KNOWN_DLLS, "imports outside the KnownDLLs: %s" % (imported - KNOWN_DLLS))

    def test_delay_loads_nothing(self):
        # The other system DLLs are loaded from the system folder by the
        # program itself; a delay-load table may lie in read-only memory
        # (binutils 2.44), where the first call faults.
        self.assertEqual(self.pe.delay_imports(), {})


if __name__ == "__main__":
    PROGRAM = sys.argv.pop(1)
    unittest.main(verbosity=2)
