#!/usr/bin/env python3
"""Writes the two forms of a driver package's INF from its one source (.inx).

usage: make_infs.py SOURCE DECLARATIVE_INF LEGACY_INF
       make_infs.py --class-header SOURCE HEADER

Lines between ";@legacy" and ";@end" belong to the legacy INF only (the
device co-installer and [ClassInstall32], for systems that load a
vendor-signed driver); lines between ";@declarative" and ";@end" to the
declarative INF only. Everything else is common. The marker lines go.

--class-header writes the setup class the source names ([Version] Class and
ClassGuid, [Strings] ClassName, the class's Icon) as a C++ header: the setup
program registers that class and no other.
"""
import sys

FORMS = ("declarative", "legacy")


def render(text, form):
    """The INF text of one form ("declarative" or "legacy")."""
    if form not in FORMS:
        raise ValueError(form)
    out, only = [], None
    for number, line in enumerate(text.splitlines(), 1):
        marker = line.strip().lower()
        if marker in (";@legacy", ";@declarative"):
            if only is not None:
                raise ValueError("line %d: %s inside a ;@%s block" % (number, marker, only))
            only = marker[2:]
            continue
        if marker == ";@end":
            if only is None:
                raise ValueError("line %d: ;@end without a block" % number)
            only = None
            continue
        if only in (None, form):
            out.append(line)
    if only is not None:
        raise ValueError("a ;@%s block is not closed" % only)
    return "\r\n".join(out) + "\r\n"


def setup_class(text):
    """(guid, name, title, icon) of the setup class in the source's text."""
    section, values, strings = None, {}, {}
    for line in text.splitlines():
        line = line.split(";", 1)[0].strip()
        if line.startswith("[") and line.endswith("]"):
            section = line[1:-1].strip().lower()
        elif "=" in line and section in ("version", "strings"):
            key, value = (part.strip() for part in line.split("=", 1))
            (values if section == "version" else strings)[key.lower()] = value.strip('"')
        elif section == "classreg" and line.lower().replace(" ", "").startswith("hkr,,icon,"):
            values["icon"] = line.split(",")[-1].strip().strip('"')
    guid, name = values.get("classguid", ""), values.get("class", "")
    title = strings.get("classname", name)
    if len(guid) != 38 or not name or "icon" not in values:
        raise ValueError("the source names no complete setup class (Class, ClassGuid, Icon)")
    return guid, name, title, values["icon"]


def class_header(text):
    """The C++ header of the source's setup class."""
    guid, name, title, icon = setup_class(text)
    parts = guid.strip("{}").split("-")
    tail = parts[3] + parts[4]
    data4 = ", ".join("0x%s" % tail[i:i + 2] for i in range(0, 16, 2))
    wide = lambda s: 'L"%s"' % s.replace("\\", "\\\\").replace('"', '\\"')
    return "".join([
        "// Written by package/make_infs.py from the driver package's source: the\n",
        "// readers' setup class, the only one the setup program registers.\n",
        "#ifndef KUVANA_READER_CLASS_H\n#define KUVANA_READER_CLASS_H\n\n#include <windows.h>\n\n",
        "namespace setup {\n\n",
        "const GUID kReaderClassGuid = {0x%s, 0x%s, 0x%s, {%s}};\n" % (parts[0], parts[1], parts[2], data4),
        "const wchar_t kReaderClassGuidText[] = %s;\n" % wide(guid.upper()),
        "const wchar_t kReaderClassName[] = %s;\n" % wide(name),
        "const wchar_t kReaderClassTitle[] = %s;\n" % wide(title),
        "const wchar_t kReaderClassIcon[] = %s;\n\n" % wide(icon),
        "}  // namespace setup\n\n#endif\n"])


def main(argv):
    if len(argv) == 4 and argv[1] == "--class-header":
        with open(argv[2], encoding="ascii") as f:
            text = f.read()
        with open(argv[3], "w", encoding="ascii", newline="\n") as f:
            f.write(class_header(text))
        return 0
    if len(argv) != 4:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[1], encoding="ascii") as f:
        text = f.read()
    for form, path in zip(FORMS, argv[2:]):
        with open(path, "w", encoding="ascii", newline="") as f:
            f.write(render(text, form))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
