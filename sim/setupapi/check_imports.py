#!/usr/bin/env python3
"""Every setupapi function the product DLL imports must be provided by the
simulated setupapi.dll, either implemented by it or forwarded to a function
Wine really implements (forwarded_verified.txt). Under Wine an unimplemented
import fails only when it is called; on Windows the DLL would not load.

usage: check_imports.py PRODUCT_DLL SIM_DLL IMPLEMENTED_TXT VERIFIED_TXT
"""
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
from pe_inspect import PE  # noqa: E402

ARGS = None


def names(path):
    return {line.strip() for line in open(path) if line.strip() and not line.startswith("#")}


class SetupapiSimulatorCoversImports(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        product, sim, implemented, verified = ARGS
        imports = {k.lower(): v for k, v in PE(product).imports().items()}
        cls.imported = set(imports.get("setupapi.dll", []))
        cls.sim = PE(sim)
        _, cls.exports = cls.sim.exports()
        cls.implemented = names(implemented)
        cls.verified = names(verified)

    def forwarded(self, name):
        rva, size = self.sim.dirs[0]
        return rva <= self.exports[name] < rva + size

    def test_product_imports_setupapi(self):
        self.assertIn("SetupDiGetClassInstallParamsA", self.imported)

    def test_every_import_is_exported_by_the_simulator(self):
        self.assertEqual(sorted(self.imported - set(self.exports)), [])

    def test_every_import_is_implemented_or_forwarded_to_a_working_function(self):
        self.assertEqual(sorted(self.imported - self.implemented - self.verified), [],
                         "check the function under Wine, then list it in forwarded_verified.txt")

    def test_implemented_functions_are_the_simulators_own(self):
        for name in self.implemented:
            self.assertIn(name, self.exports)
            self.assertFalse(self.forwarded(name), name)
        self.assertTrue(self.forwarded("SetupDiGetClassDevsA"))


if __name__ == "__main__":
    ARGS = sys.argv[1:5]
    del sys.argv[1:5]
    unittest.main(verbosity=2)
