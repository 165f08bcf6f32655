#!/usr/bin/env bash
# Builds the reader's fuzz target with clang and runs it for a bounded time
# (default 60 s) on a scratch copy of the seed corpus and of every kept
# regression input; the checked-in corpus is never grown. Crash inputs are
# left in build-fuzz/artifacts/. QRV_WERROR=ON makes warnings errors. The
# reader's warnings on standard error would flood the report: the target's
# standard error is closed (libFuzzer keeps its own).
#   fuzz/run_fuzz.sh [seconds]
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QRV_FUZZ_BUILD_DIR:-$root/build-fuzz}"

CXX="${CXX:-clang++}" cmake -S "$root" -B "$build" -G Ninja \
  -DQRV_BUILD_FUZZ=ON -DQRV_BUILD_TESTS=OFF -DQRV_WERROR="${QRV_WERROR:-OFF}" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$build/artifacts"
cp "$root"/fuzz/corpus/* "$work/corpus/"
if compgen -G "$root/fuzz/regressions/*" >/dev/null; then
  cp "$root"/fuzz/regressions/* "$work/corpus/"
fi

"$build/fuzz/hex_reader_fuzzer" \
  -max_total_time="$seconds" -max_len=4096 -timeout=10 -print_final_stats=1 -close_fd_mask=2 \
  -artifact_prefix="$build/artifacts/" "$work/corpus"
