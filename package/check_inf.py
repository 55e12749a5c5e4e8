#!/usr/bin/env python3
"""Checks of the driver package's INF and of the simulated reader's INF, which
must register the class installer the same way.

usage: check_inf.py PACKAGE_INF SIMULATED_READER_INF
"""
import re
import sys
import unittest

ARGS = None
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
        for path in ARGS:
            self.check_files(path)

    def test_the_class_installer_is_a_device_coinstaller_copied_to_the_system_folder(self):
        for path in ARGS:
            inf = read_inf(path)
            for copied, registry in self.coinstaller_sections(inf, path):
                self.assertEqual(copied, [("kuvana_coinst.dll", [["11"]])], path)
                self.assertEqual(registry, [COINSTALLER_VALUE], path)

    def test_the_simulated_reader_registers_it_as_the_package_does(self):
        package, simulated = (self.coinstaller_sections(read_inf(p), p) for p in ARGS)
        self.assertEqual(package[0], simulated[0])

    def test_never_registered_as_the_class_installer(self):
        for path in ARGS:
            with open(path, encoding="ascii") as f:
                text = f.read()
            self.assertNotRegex(_code(text), re.compile("Installer32", re.I), path)

    def test_driver_version_matches_driver_ver(self):
        for path in ARGS:
            inf = read_inf(path)
            driver_ver = [line["fields"] for line in inf["version"] if line["key"] == "DriverVer"][0][1]
            values = [line["fields"] for install in install_sections(inf)
                      for reg in directive(inf, install, "AddReg") for line in inf[reg.lower()]
                      if line["fields"][2:3] == ["DriverVersion"]]
            self.assertEqual([v[-1] for v in values], [driver_ver] * len(install_sections(inf)), path)


def _code(text):
    return "\n".join(_strip_comment(line) for line in text.splitlines())


if __name__ == "__main__":
    ARGS = sys.argv[1:3]
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
