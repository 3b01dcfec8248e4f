#!/usr/bin/env python3
"""Reads clang-tidy output on stdin and prints each warning once as "path check code": the
path relative to ROOT, the check's name and the flagged line's code with its spaces squeezed,
sorted. Findings outside ROOT (system headers) are left out.

    tidy-findings.py ROOT"""

import os
import re
import sys

WARNING = re.compile(r"^(/[^:]+):(\d+):\d+: warning: .* \[([a-z0-9.,-]+)\]$")


def main():
    root = os.path.abspath(sys.argv[1]) + os.sep
    lines_of = {}
    found = set()
    for text in sys.stdin:
        m = WARNING.match(text.rstrip("\n"))
        if not m or not m.group(1).startswith(root):
            continue
        path, line, check = m.group(1), int(m.group(2)), m.group(3)
        if path not in lines_of:
            with open(path, encoding="utf-8", errors="replace") as f:
                lines_of[path] = f.read().split("\n")
        code = " ".join(lines_of[path][line - 1].split()) if line <= len(lines_of[path]) else ""
        found.add("%s %s %s" % (os.path.relpath(path, root), check, code))
    for item in sorted(found):
        print(item)
    return 0


if __name__ == "__main__":
    sys.exit(main())
