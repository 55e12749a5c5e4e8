#!/usr/bin/env python3
"""Checks of the driver package's two INFs and of the simulated reader's two,
all written from their sources (.inx) by make_infs.py: the legacy INFs
register the class installer as the device's co-installer the same way; the
declarative INFs keep to what InfVerif /k (declarative driver requirements)
accepts, as far as it can be known without the WDK.

usage: check_inf.py PACKAGE_INX SIMULATED_READER_INX
"""
import os
import re
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_infs  # noqa: E402

ARGS = None  # the sources
FORMS = {}   # {"legacy": [paths], "declarative": [paths]}, package first

# Not valid in a declarative (universal) INF.
DECLARATIVE_SECTION_SUFFIXES = (".coinstallers", ".factdef", ".logconfigoverride")
DECLARATIVE_DIRECTIVES = {"bitreg", "delfiles", "delproperty", "delreg", "delservice", "ini2reg", "logconfig",
                          "profileitems", "registerdlls", "renfiles", "unregisterdlls", "updateinifields",
                          "updateinis"}
# Values that make the framework run code from the package.
CODE_VALUES = {"coinstallers32", "installer32", "enumproppages32"}
# Microsoft's own setup classes end alike; a class co-installer registered for
# one of them would run for every device of that class.
SYSTEM_CLASS_SUFFIX = "-e325-11ce-bfc1-08002be10318}"

NOT_CHECKED_HERE = [
    "InfVerif's own parser and its rules per Windows build (/h); run infverif /k and /h with the WDK",
    "driver package isolation (/w: files run from the driver store, DIRID 13), which /k does not ask",
    "the catalog and its signature (inf2cat, signtool, the Hardware Dev Center)",
    "that the hardware id and the [Strings] are the vendor's own",
    "that the service binary is the reader driver a vendor adds",
]
COINSTALLER_VALUE = ["HKR", "", "CoInstallers32", "0x00010000", "kuvana_coinst.dll,ClassInstaller"]


def read_inf(path):
    """{section name (lower case): [{"key", "fields"} of each line]}; comments dropped."""
    sections, current = {}, None
    with open(path, encoding="ascii") as f:
        for raw in f:
            line = _strip_comment(raw).strip()
            if not line:
                continue
            match = re.fullmatch(r"\[(.+)\]", line)
            if match:
                current = sections.setdefault(match.group(1).strip().lower(), [])
                continue
            parts = _split(line, "=")
            key, value = (parts[0].strip(), "=".join(parts[1:])) if len(parts) > 1 else (None, line)
            current.append({"key": key, "fields": [f.strip().strip('"') for f in _split(value, ",")]})
    return sections


def _strip_comment(line):
    out, quoted = [], False
    for c in line:
        if c == '"':
            quoted = not quoted
        if c == ";" and not quoted:
            break
        out.append(c)
    return "".join(out)


def _split(text, separator):
    """Splits at separators outside double quotes."""
    parts, current, quoted = [], [], False
    for c in text:
        if c == '"':
            quoted = not quoted
        if c == separator and not quoted:
            parts.append("".join(current))
            current = []
        else:
            current.append(c)
    return parts + ["".join(current)]


def directive(sections, section, name):
    """Section names listed by directive `name` (CopyFiles, AddReg) in `section`."""
    names = []
    for line in sections.get(section.lower(), []):
        if line["key"] and line["key"].lower() == name.lower():
            names += [f for f in line["fields"] if f]
    return names


def install_sections(sections):
    """The DDInstall sections that the model lines name."""
    result = set()
    for line in sections["manufacturer"]:
        models, *decorations = line["fields"]
        for decoration in decorations or [""]:
            name = models + ("." + decoration if decoration else "")
            for model in sections.get(name.lower(), []):
                result.add(model["fields"][0] + (("." + decoration) if decoration else ""))
    return sorted(result)


def all_paths():
    return FORMS["legacy"] + FORMS["declarative"]


class InfChecks(unittest.TestCase):
    def check_files(self, path):
        inf = read_inf(path)
        disk_files = {line["key"].lower() for line in inf.get("sourcedisksfiles", [])}
        destinations = {line["key"].lower() for line in inf.get("destinationdirs", [])}
        for install in install_sections(inf):
            for section in (install, install + ".CoInstallers"):
                for files in directive(inf, section, "CopyFiles"):
                    self.assertIn(files.lower(), destinations, "%s: %s has no destination" % (path, files))
                    for line in inf[files.lower()]:
                        name = line["fields"][0].lower()
                        self.assertIn(name, disk_files, "%s: %s is copied but not named" % (path, name))
        return inf

    def coinstaller_sections(self, inf, path):
        """(copied files with their destination, registry lines) of each install's CoInstallers section."""
        found = []
        for install in install_sections(inf):
            section = install + ".CoInstallers"
            self.assertIn(section.lower(), inf, "%s: no [%s]" % (path, section))
            copied = [(line["fields"][0].lower(), [d["fields"] for d in inf["destinationdirs"]
                                                   if d["key"].lower() == files.lower()])
                      for files in directive(inf, section, "CopyFiles") for line in inf[files.lower()]]
            registry = [line["fields"] for reg in directive(inf, section, "AddReg") for line in inf[reg.lower()]]
            found.append((copied, registry))
        return found

    def test_every_copied_file_is_named_and_has_a_destination(self):
        for path in all_paths():
            self.check_files(path)

    def test_legacy_the_class_installer_is_a_device_coinstaller_copied_to_the_system_folder(self):
        for path in FORMS["legacy"]:
            inf = read_inf(path)
            for copied, registry in self.coinstaller_sections(inf, path):
                self.assertEqual(copied, [("kuvana_coinst.dll", [["11"]])], path)
                self.assertEqual(registry, [COINSTALLER_VALUE], path)

    def test_legacy_the_simulated_reader_registers_it_as_the_package_does(self):
        package, simulated = (self.coinstaller_sections(read_inf(p), p) for p in FORMS["legacy"])
        self.assertEqual(package[0], simulated[0])

    def test_never_registered_as_the_class_installer(self):
        for path in all_paths():
            with open(path, encoding="ascii") as f:
                text = f.read()
            self.assertNotRegex(_code(text), re.compile("Installer32", re.I), path)

    def test_driver_version_matches_driver_ver(self):
        for path in all_paths():
            inf = read_inf(path)
            driver_ver = [line["fields"] for line in inf["version"] if line["key"] == "DriverVer"][0][1]
            values = [line["fields"] for install in install_sections(inf)
                      for reg in directive(inf, install, "AddReg") for line in inf[reg.lower()]
                      if line["fields"][2:3] == ["DriverVersion"]]
            self.assertEqual([v[-1] for v in values], [driver_ver] * len(install_sections(inf)), path)


    def test_declarative_keeps_to_the_declarative_rules(self):
        for path in FORMS["declarative"]:
            inf = read_inf(path)
            for section, lines in inf.items():
                with self.subTest(path=path, section=section):
                    self.assertFalse(section.startswith("classinstall32"), "[ClassInstall32] is not valid")
                    self.assertFalse(section.endswith(DECLARATIVE_SECTION_SUFFIXES), "section not valid")
                    if section.startswith("defaultinstall"):
                        self.assertRegex(section, r"^defaultinstall\.nt(amd64|arm64|x86|arm)",
                                         "DefaultInstall needs an architecture")
                    for line in lines:
                        key = (line["key"] or "").lower()
                        self.assertNotIn(key, DECLARATIVE_DIRECTIVES, "%s is not valid" % line["key"])
                        for reg in directive(inf, section, "AddReg") if key == "addreg" else []:
                            for entry in inf[reg.lower()]:
                                self.assertEqual(entry["fields"][0].upper(), "HKR", "AddReg outside HKR: %s" % entry)
                                self.assertNotIn(entry["fields"][2].lower() if len(entry["fields"]) > 2 else "",
                                                 CODE_VALUES, "registers code: %s" % entry)
            for line in inf["manufacturer"]:
                for decoration in line["fields"][1:]:
                    parts = decoration.split(".")
                    self.assertFalse(any(parts[3:5]), "%s: ProductType or SuiteMask in %s" % (path, decoration))

    def test_declarative_keeps_the_readers_own_class(self):
        for declarative, legacy in zip(FORMS["declarative"], FORMS["legacy"]):
            version = {l["key"].lower(): l["fields"][0] for l in read_inf(declarative)["version"] if l["key"]}
            legacy_version = {l["key"].lower(): l["fields"][0] for l in read_inf(legacy)["version"] if l["key"]}
            self.assertEqual((version["class"], version["classguid"]),
                             (legacy_version["class"], legacy_version["classguid"]), declarative)
            self.assertFalse(version["classguid"].lower().endswith(SYSTEM_CLASS_SUFFIX), declarative)

    def test_the_package_is_signable(self):
        inf = read_inf(FORMS["declarative"][0])
        version = {l["key"].lower(): l["fields"][0] for l in inf["version"] if l["key"]}
        self.assertEqual(version.get("pnplockdown"), "1")
        self.assertTrue(version.get("catalogfile", "").endswith(".cat"))


def _code(text):
    return "\n".join(_strip_comment(line) for line in text.splitlines())


def write_forms(sources, folder):
    for index, source in enumerate(sources):
        with open(source, encoding="ascii") as f:
            text = f.read()
        for form in make_infs.FORMS:
            path = os.path.join(folder, "%d-%s-%s.inf" % (index, form, os.path.basename(source)[:-4]))
            with open(path, "w", encoding="ascii", newline="") as f:
                f.write(make_infs.render(text, form))
            FORMS.setdefault(form, []).append(path)


if __name__ == "__main__":
    ARGS = sys.argv[1:3]
    print("Not checked here:")
    for item in NOT_CHECKED_HERE:
        print("  - " + item)
    sys.stdout.flush()
    with tempfile.TemporaryDirectory() as folder:
        write_forms(ARGS, folder)
        result = unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2, exit=False).result
    sys.exit(0 if result.wasSuccessful() else 1)
