#!/usr/bin/env python3
"""Writes the two forms of a driver package's INF from its one source (.inx).

usage: make_infs.py SOURCE DECLARATIVE_INF LEGACY_INF

Lines between ";@legacy" and ";@end" belong to the legacy INF only (the
device co-installer and [ClassInstall32], for systems that load a
vendor-signed driver); lines between ";@declarative" and ";@end" to the
declarative INF only. Everything else is common. The marker lines go.
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


def main(argv):
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
