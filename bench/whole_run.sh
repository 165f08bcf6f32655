#!/usr/bin/env bash
# Times a whole qrv_tools run (HEX in, BIN and HEX out) against objcopy turning
# the same file into a gap-filled binary, and prints the ratio of the medians.
# Needs hyperfine and objcopy (Debian: hyperfine binutils).
# Usage: bench/whole_run.sh [path/to/qrv_tools] [runs]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tool=$(realpath "${1:-$here/../build/qrv_tools}")
runs=${2:-500}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# About 50 KB of real machine code, turned into Intel HEX by objcopy.
head -c 51200 "$(command -v objcopy)" > firmware.bin
objcopy -I binary -O ihex firmware.bin firmware.hex

hyperfine -N --warmup 50 --runs "$runs" --export-json times.json \
  -n qrv_tools "$tool -ifirmware.hex -oout" \
  -n objcopy "objcopy -I ihex -O binary --gap-fill 0xFF firmware.hex objcopy.bin" \
  -n "start only" "$(command -v true)" >/dev/null 2>&1

python3 - <<'PY'
import json
results = {r["command"]: r["median"] for r in json.load(open("times.json"))["results"]}
for name, median in results.items():
    print(f"{name:11s} median {median * 1e3:.3f} ms")
print(f"ratio qrv_tools/objcopy {results['qrv_tools'] / results['objcopy']:.2f} (target: at most 0.50)")
# Where starting a process is slow, the ratio of the work beyond the start
# tells more about the tool itself.
start = results["start only"]
print(f"ratio beyond a bare process start {(results['qrv_tools'] - start) / (results['objcopy'] - start):.2f}")
PY
