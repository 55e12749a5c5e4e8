#!/usr/bin/env python3
"""Static checks of the built DLL: what it imports and exports, and its name."""
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
from pe_inspect import PE  # noqa: E402

DLL = None

# Windows system DLLs the product may import. The runtime is linked statically,
# so libstdc++, libgcc and winpthread must never appear here.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "setupapi.dll", "wininet.dll",
               "version.dll", "shlwapi.dll", "msvcrt.dll", "gdi32.dll", "ole32.dll", "bcrypt.dll",
               "wintrust.dll", "crypt32.dll"}


class DllChecks(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = PE(DLL)

    def test_is_64_bit(self):
        self.assertTrue(self.pe.is64)
        self.assertEqual(self.pe.machine, 0x8664)

    def test_at_most_400_kib(self):
        # The static runtime's locale and stream code alone would pass this.
        size = Path(DLL).stat().st_size
        self.assertLessEqual(size, 409600, "the DLL is %d bytes" % size)

    def test_imports_only_system_dlls(self):
        imported = {name.lower() for name in self.pe.imports()}
        self.assertTrue(imported, "no imports read")
        self.assertLessEqual(imported, SYSTEM_DLLS, "non-system imports: %s" % (imported - SYSTEM_DLLS))
        for bad in ("libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll", "comctl32.dll"):
            self.assertNotIn(bad, imported)

    def test_imports_nothing_newer_than_vista(self):
        # Functions of later systems are looked up at run time (GetTempPath2A,
        # in workfolder/temp_folder.cpp); a static import would keep Vista and 7,
        # or Windows 10 before its 2022 update, from loading the DLL at all.
        later = {"GetTempPath2A", "GetTempPath2W", "GetSystemTimePreciseAsFileTime", "CreateFile2",
                 "WaitOnAddress", "WakeByAddressSingle", "WakeByAddressAll", "SetThreadDescription",
                 "GetThreadDescription", "SetDefaultDllDirectories", "AddDllDirectory"}
        imported = {f for funcs in self.pe.imports().values() for f in funcs}
        self.assertFalse(imported & later, "imports of systems after Vista: %s" % (imported & later))

    def test_export_directory(self):
        name, exports = self.pe.exports()
        self.assertEqual(name, "KUVANAPORT_CLS.dll")
        self.assertEqual(set(exports), {"ClassInstaller", "ClassInsatller"})
        self.assertEqual(exports["ClassInstaller"], exports["ClassInsatller"])


if __name__ == "__main__":
    DLL = sys.argv.pop(1)
    unittest.main(verbosity=2)
