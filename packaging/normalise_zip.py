#!/usr/bin/env python3
"""Rewrites a zip so that its bytes depend only on the files it holds.

The entries come in name order (not the file system's), each dated
SOURCE_DATE_EPOCH in UTC, with its Unix mode and no other extra fields (no
builder's user or group, no access times).

Usage: normalise_zip.py ZIP   (SOURCE_DATE_EPOCH must be set)
"""
import os
import sys
import time
import zipfile


def main() -> int:
    path = sys.argv[1]
    stamp = time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))  # zip dates start in 1980
    with zipfile.ZipFile(path) as source:
        entries = [(info, source.read(info)) for info in sorted(source.infolist(), key=lambda i: i.filename)]
    rewritten = path + ".normalised"
    with zipfile.ZipFile(rewritten, "w") as target:
        for info, data in entries:
            entry = zipfile.ZipInfo(info.filename, date_time=stamp[:6])
            entry.create_system = 3  # Unix, so the mode below counts
            entry.external_attr = info.external_attr
            entry.compress_type = zipfile.ZIP_DEFLATED
            target.writestr(entry, data, compresslevel=9)
    os.replace(rewritten, path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
