#!/usr/bin/env python3
"""The product's rooms and the arrows between them: every include of one room
from another must be one the table allows, so that the steps use trust and
the work folder and neither of those uses the steps. Prints the arrows with
their counts; exits non-zero on one the table does not allow."""

import collections
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# Room: the rooms it may include. Higher rooms first.
ALLOWED = {
    "entry": {"pages", "install", "probe", "resources", "common"},
    "pages": {"install", "trust", "workfolder", "net", "probe", "resources", "common"},
    "install": {"trust", "workfolder", "net", "resources", "common"},
    "trust": {"common"},
    "workfolder": {"common"},
    "net": {"common"},
    "probe": {"common"},
    "resources": {"common"},
    "common": set(),
    # The setup program shares the signature check, nothing of the steps.
    "setup": {"trust", "common"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/', re.M)


def main():
    arrows = collections.Counter()
    wrong = []
    for room in ALLOWED:
        folder = os.path.join(ROOT, room)
        for name in sorted(os.listdir(folder)):
            if not name.endswith((".cpp", ".h")):
                continue
            with open(os.path.join(folder, name), encoding="utf-8", errors="replace") as f:
                for target in INCLUDE.findall(f.read()):
                    if target == room:
                        continue
                    arrows[(room, target)] += 1
                    if target not in ALLOWED[room]:
                        wrong.append("%s/%s includes %s/" % (room, name, target))
    for (room, target), count in sorted(arrows.items()):
        print("%s -> %s (%d)" % (room, target, count))
    for line in wrong:
        print("NOT ALLOWED:", line)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
