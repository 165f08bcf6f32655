#!/usr/bin/env python3
"""Counts the instructions of a whole qrv_tools run with callgrind: a full
image (0xF000 data bytes in 16-byte records, CR LF, about 170,000 characters)
read, then written as FIRMWARE.BIN and FIRMWARE.HEX, no cipher. Prints the
reader's, the HEX writer's and the whole run's counts (inclusive: the library
calls each makes count with it).

Usage: bench/instructions.py [path/to/qrv_tools] [--limit N]
Exits 0 when the total is at most the limit (default 1,200,000), 1 above it,
77 without valgrind.
"""
import argparse
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

FUNCTIONS = {"reader": "read_hex_file(", "HEX writer": "write_hex_file(", "BIN writer": "write_bin_file("}


def record(address, data):
    fields = bytes([len(data), address >> 8, address & 0xFF, 0]) + data
    checksum = -sum(fields) & 0xFF
    return ":" + (fields + bytes([checksum])).hex().upper() + "\r\n"


def full_image():
    lines = []
    for address in range(0, 0xF000, 16):
        lines.append(record(address, bytes((address * 7 + i * 13) & 0xFF for i in range(16))))
    return "".join(lines) + ":00000001FF\r\n"


def inclusive_counts(out_file):
    report = subprocess.run(
        ["callgrind_annotate", "--inclusive=yes", "--threshold=100", out_file],
        check=True, capture_output=True, text=True).stdout
    total = None
    counts = {}
    for line in report.splitlines():
        match = re.match(r"\s*([\d,]+)\s+(?:\([^)]*\)\s+)?(.*)", line)
        if not match:
            continue
        count = int(match.group(1).replace(",", ""))
        what = match.group(2)
        if "PROGRAM TOTALS" in what:
            total = count
        for name, symbol in FUNCTIONS.items():
            # "file:function(args) [binary]"; the first (largest) entry wins.
            if re.search(r"(^|:)" + re.escape(symbol), what) and name not in counts:
                counts[name] = count
    return total, counts


def main():
    parser = argparse.ArgumentParser()
    root = pathlib.Path(__file__).resolve().parent.parent
    parser.add_argument("tool", nargs="?", default=str(root / "build" / "qrv_tools"))
    parser.add_argument("--limit", type=int, default=1_200_000)
    args = parser.parse_args()
    if shutil.which("valgrind") is None or shutil.which("callgrind_annotate") is None:
        print("instructions: valgrind is not installed (Debian: valgrind); not counted")
        return 77
    tool = str(pathlib.Path(args.tool).resolve())
    with tempfile.TemporaryDirectory() as work:
        image = pathlib.Path(work, "image.hex")
        image.write_text(full_image(), newline="")
        out_file = str(pathlib.Path(work, "callgrind.out"))
        run = subprocess.run(
            ["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out_file, tool, "-iimage.hex"],
            cwd=work, capture_output=True, text=True)
        if run.returncode != 0:
            print(run.stdout + run.stderr)
            print(f"instructions: the run ended with status {run.returncode}")
            return 1
        total, counts = inclusive_counts(out_file)
        size = image.stat().st_size
    print(f"instructions of a whole run on a full image ({size:,} characters of HEX in, BIN and HEX out):")
    for name in FUNCTIONS:
        print(f"  {name:10s} {counts.get(name, 0):>11,}")
    print(f"  {'total':10s} {total:>11,}  (limit {args.limit:,})")
    return 0 if total is not None and total <= args.limit else 1


if __name__ == "__main__":
    sys.exit(main())
