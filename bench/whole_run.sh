#!/usr/bin/env bash
# Times a whole qrv_tools run (HEX in, BIN and HEX out) against objcopy turning
# the same file into a gap-filled binary, and prints the ratio of the medians.
# Usage: bench/whole_run.sh [path/to/qrv_tools] [runs]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tool=$(realpath "${1:-$here/../build/qrv_tools}")
runs=${2:-200}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# About 50 KB of real machine code, turned into Intel HEX by objcopy.
head -c 51200 "$(command -v objcopy)" > firmware.bin
objcopy -I binary -O ihex firmware.bin firmware.hex

python3 - "$tool" "$runs" <<'PY'
import statistics, subprocess, sys, time
tool, runs = sys.argv[1], int(sys.argv[2])
commands = {
    "qrv_tools": [tool, "-ifirmware.hex", "-oout"],
    "objcopy": ["objcopy", "-I", "ihex", "-O", "binary", "--gap-fill", "0xFF",
                "firmware.hex", "objcopy.bin"],
}
medians = {}
for name, command in commands.items():
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    medians[name] = statistics.median(times)
    print(f"{name:10s} median {medians[name] * 1e3:.3f} ms over {runs} runs")
print(f"ratio qrv_tools/objcopy {medians['qrv_tools'] / medians['objcopy']:.2f} (target at most 0.50)")
PY
