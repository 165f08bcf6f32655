#!/usr/bin/env python3
"""Gives every member of a .deb's ar archive the mode 0644, as dpkg-deb does.

cpack takes the members' modes from the files it wrote, so they follow the
builder's umask (rw-rw-r-- under umask 002). The package is patched in place,
and only the mode fields change.

Usage: normalise_deb.py DEB
"""
import sys

HEADER = 60  # bytes of a member's header; its mode is at 40-47, its size at 48-57


def main() -> int:
    path = sys.argv[1]
    with open(path, "r+b") as deb:
        if deb.read(8) != b"!<arch>\n":
            sys.exit(f"{path}: not an ar archive")
        while header := deb.read(HEADER):
            start = deb.tell() - HEADER
            if len(header) != HEADER or header[58:] != b"`\n":
                sys.exit(f"{path}: no ar member header at byte {start}")
            deb.seek(start + 40)
            deb.write(b"100644  ")
            size = int(header[48:58])
            deb.seek(start + HEADER + size + size % 2)  # members start at even offsets
    return 0


if __name__ == "__main__":
    sys.exit(main())
