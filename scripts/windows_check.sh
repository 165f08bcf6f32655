#!/usr/bin/env bash
# Cross-builds qrv_tools.exe and runs the end-to-end tests against it under
# wine: the same GoogleTest tables as the Linux build, with the same
# expectations (the console's CR LF is checked and folded back to LF).
#
# The 32-bit .exe is always built, warnings as errors. Where this host can
# run 32-bit programs it is the one tested, under wine32; where it cannot,
# the 64-bit .exe is built too and tested under wine64.
#
# Usage: scripts/windows_check.sh
#   Installs mingw-w64 and wine when missing (needs root or sudo).
#   QRV_KEEP_SCRATCH=1 keeps the wine prefix for inspection.
# The last line is "windows: N passed, M failed"; the status is 0 only when
# nothing failed.
set -uo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
die() { echo "windows_check: $*" >&2; echo "windows: 0 passed, 1 failed"; exit 1; }

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"
  elif command -v sudo >/dev/null; then sudo "$@"
  else die "need root to run: $*"
  fi
}

install_missing() {
  local missing=() package
  for package in "$@"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing ${missing[*]}"
  as_root apt-get update -qq || die "apt-get update failed"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null \
    || die "apt-get install ${missing[*]} failed"
}

# A 93-byte static i386 ELF whose whole program is exit(0): it runs exactly
# when the kernel can start 32-bit programs (else "Exec format error"). This
# asks the kernel before installing wine32 for nothing.
can_run_32bit() {
  local probe status
  probe=$(mktemp "$repo/.probe32.XXXXXX") || return 1
  {
    printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000'  # 32-bit, little endian
    printf '\002\000\003\000\001\000\000\000\124\200\004\010'         # executable, i386, entry 0x08048054
    printf '\064\000\000\000\000\000\000\000\000\000\000\000'         # program header at 0x34, no sections
    printf '\064\000\040\000\001\000\000\000\000\000\000\000'         # sizes, one program header
    printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010'  # load the file at 0x08048000
    printf '\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000'  # 93 bytes, read and execute
    printf '\270\001\000\000\000\061\333\315\200'                    # mov eax,1; xor ebx,ebx; int 0x80
  } >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null
  status=$?
  rm -f "$probe"
  [ $status -eq 0 ]
}

install_missing cmake ninja-build g++ libgtest-dev srecord binutils g++-mingw-w64-i686

if can_run_32bit; then
  bits=32
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
    as_root apt-get update -qq || die "apt-get update failed"
  fi
  install_missing wine wine32:i386 wine64
  wine=$(command -v wine) || die "no wine on PATH"
  wineserver=$(command -v wineserver) || die "no wineserver on PATH"
  echo "this host runs 32-bit programs: testing the 32-bit qrv_tools.exe under $wine"
else
  bits=64
  install_missing wine64 g++-mingw-w64-x86-64
  wine=/usr/lib/wine/wine64
  wineserver=/usr/lib/wine/wineserver64
  echo "this host cannot run 32-bit programs: testing the 64-bit qrv_tools.exe under $wine"
fi

# cross_build DIR TOOLCHAIN: the .exe alone, warnings as errors (long is 32
# bits on Windows, size_t too in the 32-bit build, which shows other
# conversions).
cross_build() {
  mkdir -p "$1"
  cmake -S "$repo" -B "$1" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/$2" \
    -DQRV_BUILD_TESTS=OFF -DQRV_WERROR=ON >"$1/build.log" 2>&1 \
    && cmake --build "$1" -j2 --target qrv_tools >>"$1/build.log" 2>&1 \
    || { cat "$1/build.log"; die "the Windows build in $1 failed"; }
  echo "built $1/qrv_tools.exe"
}
cross_build build-win32 mingw-i686.cmake
exe=$repo/build-win32/qrv_tools.exe
if [ $bits = 64 ]; then
  cross_build build-win64 mingw-x86_64.cmake
  exe=$repo/build-win64/qrv_tools.exe
fi

# The Linux test binary, configured to run that .exe through wine.
mkdir -p build-win-tests
cmake -S "$repo" -B build-win-tests -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQRV_BUILD_TESTS=ON -DQRV_WERROR=ON \
  -DQRV_TEST_TOOL="$exe" -DQRV_TEST_LAUNCHER="$wine" >build-win-tests/build.log 2>&1 \
  && cmake --build build-win-tests -j2 --target qrv_tests >>build-win-tests/build.log 2>&1 \
  || { cat build-win-tests/build.log; die "building the tests failed"; }

# A prefix of its own, headless and quiet, set up once; its server is kept
# running until the end so that each test's run starts quickly.
scratch=$(mktemp -d /tmp/qrv-windows-check.XXXXXX)
export WINEPREFIX=$scratch/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  "$wineserver" -k >/dev/null 2>&1   # only the server of this prefix
  if [ "${QRV_KEEP_SCRATCH:-0}" = 1 ]; then echo "scratch kept in $scratch"
  else rm -rf "$scratch"; fi
}
trap cleanup EXIT
started=$SECONDS
timeout 300 "$wine" wineboot -i >/dev/null 2>&1 || die "wineboot -i failed or timed out"
"$wineserver" -w >/dev/null 2>&1
"$wineserver" -p >/dev/null 2>&1
echo "wine prefix ready after $((SECONDS - started)) s"

# Every test that runs the tool: the end-to-end tables and the real files.
log=$scratch/tests.log
timeout 900 build-win-tests/tests/qrv_tests --gtest_filter='EndToEnd*:*RealFileRun*' >"$log" 2>&1
status=$?
# Each test's verdict, and the details of failures and skips (with the reason).
grep -vE '^\[ RUN +\]|^\[(-+|=+)\]|^Note: |^Running main|^$' "$log"
passed=$(grep -c '^\[       OK \]' "$log")
failed=$(grep -cE '^\[  FAILED  \] .*\([0-9]+ ms\)$' "$log")
skipped=$(grep -cE '^\[  SKIPPED \] .*\([0-9]+ ms\)$' "$log")
if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then
  tail -n 20 "$log"
  failed=1   # crashed or timed out
fi
echo "${bits}-bit qrv_tools.exe under wine: $skipped skipped (see above)"
echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
