#!/usr/bin/env python3
"""Fails on an include cycle between the modules of src/.

A module is a header and the files that implement it: fw.h, fw.cpp, and for
a platform seam fw_posix.cpp and fw_windows.cpp. Module A depends on module B
when any file of A includes B's header; the dependencies must run one way.

Usage: scripts/include_cycles.py [SRC]   (default: src/ beside this script)
Prints each cycle found, as "a -> b -> a", and "include cycles: N"; the
status is 1 when N is not 0.
"""

import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
PLATFORM = re.compile(r"_(posix|windows)$")


def module_of(src, path):
    stem = os.path.splitext(os.path.relpath(path, src))[0]
    if os.path.exists(os.path.join(src, stem + ".h")):
        return stem
    return PLATFORM.sub("", stem)


def dependencies(src):
    depends = {}
    for folder, _, names in os.walk(src):
        for name in names:
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(folder, name)
            module = module_of(src, path)
            with open(path, encoding="utf-8") as file:
                included = INCLUDE.findall(file.read())
            targets = {os.path.splitext(i)[0] for i in included if os.path.exists(os.path.join(src, i))}
            depends.setdefault(module, set()).update(targets - {module})
    return depends


def cycles(depends):
    """One cycle through each module that is on one, as a path."""
    found, done = [], set()

    def visit(module, path):
        if module in path:
            cycle = path[path.index(module):] + [module]
            if not any(set(cycle) == set(c) for c in found):
                found.append(cycle)
            return
        if module in done:
            return
        for target in sorted(depends.get(module, ())):
            visit(target, path + [module])
        done.add(module)

    for module in sorted(depends):
        visit(module, [])
    return found


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src")
    found = cycles(dependencies(src))
    for cycle in found:
        print(" -> ".join(cycle))
    print(f"include cycles: {len(found)}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
