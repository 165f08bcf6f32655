#!/usr/bin/env bash
# Runs the end-to-end tests (CTest label end_to_end) against a build of the
# tool for another host: the same GoogleTest tables and expectations as the
# native build, with the test binary native and the tool started through a
# launcher.
#
#   windows    the 64-bit qrv_tools.exe cross-built with mingw-w64, warnings
#              as errors, under wine64 (the console's CR LF is checked and
#              folded back to LF): the very file the win64 zip ships. The
#              32-bit exe is built too, warnings as errors.
#   windows32  the 32-bit qrv_tools.exe the same way, under 32-bit wine
#              (wine32:i386, after dpkg --add-architecture i386), where
#              scripts/ia32_probe.py says this host starts 32-bit programs;
#              elsewhere the one line "windows32: not run: REASON", status 0.
#   armhf      the tool cross-built statically for 32-bit ARM (unsigned char),
#              under qemu-arm.
#   s390x      the tool cross-built statically for s390x (big-endian), under
#              qemu-s390x.
#
# Usage: scripts/host_check.sh windows|windows32|armhf|s390x
#   Installs the cross compiler and launcher when missing (needs root or sudo).
#   QRV_KEEP_SCRATCH=1 keeps the wine prefix for inspection.
# The last line is "HOST: N passed, M failed"; the status is ctest's.
set -uo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
host=${1:-}
case $host in
  windows | windows32 | armhf | s390x) ;;
  *) echo "usage: scripts/host_check.sh windows|windows32|armhf|s390x" >&2; exit 2 ;;
esac
die() { echo "host_check: $*" >&2; echo "$host: 0 passed, 1 failed"; exit 1; }

# Asked before anything is installed: a host that cannot start the 32-bit
# wine cannot run the 32-bit build, and that is no failure of the build.
if [ "$host" = windows32 ]; then
  command -v python3 >/dev/null || die "the 32-bit probe needs python3"
  if ! reason=$(python3 "$repo/scripts/ia32_probe.py"); then
    echo "windows32: not run: ${reason:-the 32-bit probe failed}"
    exit 0
  fi
fi

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

# cross_build DIR TOOLCHAIN: the tool alone, warnings as errors (on Windows
# long is 32 bits, size_t too in the 32-bit builds, which shows other
# conversions).
cross_build() {
  mkdir -p "$1"
  cmake -S "$repo" -B "$1" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/$2" \
    -DQRV_BUILD_TESTS=OFF -DQRV_WERROR=ON >"$1/build.log" 2>&1 \
    && cmake --build "$1" -j2 --target qrv_tools >>"$1/build.log" 2>&1 \
    || { cat "$1/build.log"; die "the $host build in $1 failed"; }
  echo "built $1/$(basename "$3")"
}

install_missing cmake ninja-build g++ libgtest-dev srecord binutils
scratch=$(mktemp -d /tmp/qrv-host-check.XXXXXX)
cleanup() { rm -rf "$scratch"; }
trap cleanup EXIT

case $host in
  windows)
    # Every host tests the build the win64 zip ships; the 32-bit one is
    # compiled here too, so that every host at least builds it.
    install_missing g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64
    launcher=/usr/lib/wine/wine64
    wineserver=/usr/lib/wine/wineserver64
    cross_build build-win32 mingw-i686.cmake "$repo/build-win32/qrv_tools.exe"
    tool=$repo/build-win64/qrv_tools.exe
    cross_build build-win64 mingw-x86_64.cmake "$tool"
    echo "testing $tool (sha256 $(sha256sum <"$tool" | cut -c1-16)) under $launcher"
    ;;
  windows32)
    # Debian's 32-bit wine is an i386 package: its architecture must be
    # known to dpkg before apt can find it.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      as_root dpkg --add-architecture i386 || die "dpkg --add-architecture i386 failed"
      as_root apt-get update -qq || die "apt-get update failed"
    fi
    install_missing g++-mingw-w64-i686 wine32:i386
    launcher=/usr/lib/wine/wine
    wineserver=/usr/lib/wine/wineserver32
    tool=$repo/build-win32/qrv_tools.exe
    cross_build build-win32 mingw-i686.cmake "$tool"
    echo "testing $tool (sha256 $(sha256sum <"$tool" | cut -c1-16)) under $launcher"
    ;;
  armhf | s390x)
    case $host in
      armhf) compiler=g++-arm-linux-gnueabihf launcher=/usr/bin/qemu-arm ;;
      s390x) compiler=g++-s390x-linux-gnu launcher=/usr/bin/qemu-s390x ;;
    esac
    # Debian 12's qemu-user holds /usr/bin/qemu-arm and /usr/bin/qemu-s390x.
    install_missing "$compiler" qemu-user
    tool=$repo/build-$host/qrv_tools
    cross_build "build-$host" "linux-$host.cmake" "$tool"
    ;;
esac

# The native test binary, configured to run that build through its launcher.
# One build directory serves every host: a new host recompiles only the
# end-to-end test files.
mkdir -p build-e2e
cmake -S "$repo" -B build-e2e -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQRV_BUILD_TESTS=ON -DQRV_WERROR=ON \
  -DQRV_TEST_TOOL="$tool" -DQRV_TEST_LAUNCHER="$launcher" >build-e2e/build.log 2>&1 \
  && cmake --build build-e2e -j2 --target qrv_e2e_tests >>build-e2e/build.log 2>&1 \
  || { cat build-e2e/build.log; die "building the tests failed"; }

if [ "$host" = windows ] || [ "$host" = windows32 ]; then
  # A prefix of its own, headless and quiet, set up once; its server is kept
  # running until the end so that each test's run starts quickly.
  export WINEPREFIX=$scratch/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # The 32-bit wine sets up a 32-bit prefix, which needs no 64-bit wine.
  [ "$host" = windows32 ] && export WINEARCH=win32
  unset DISPLAY WAYLAND_DISPLAY
  cleanup() {
    "$wineserver" -k >/dev/null 2>&1   # only the server of this prefix
    if [ "${QRV_KEEP_SCRATCH:-0}" = 1 ]; then echo "scratch kept in $scratch"
    else rm -rf "$scratch"; fi
  }
  started=$SECONDS
  timeout 300 "$launcher" wineboot -i >/dev/null 2>&1 || die "wineboot -i failed or timed out"
  "$wineserver" -w >/dev/null 2>&1
  "$wineserver" -p >/dev/null 2>&1
  echo "wine prefix ready after $((SECONDS - started)) s"
fi

# Every test that runs the tool, by its label; ctest's status is the verdict.
log=$scratch/ctest.log
ctest --test-dir build-e2e -L end_to_end --no-tests=error -j2 --timeout 300 --output-on-failure >"$log" 2>&1
status=$?
grep -vE '^ +Start +[0-9]+:|^Internal ctest|^Test project|^$' "$log"
passed=$(grep -cE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed +[0-9.]+ sec' "$log")
skipped=$(grep -cE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .*\*\*\*Skipped' "$log")
failed=$(grep -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: ' "$log" | grep -cvE ' Passed +[0-9.]+ sec|\*\*\*Skipped')
if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then failed=1; fi   # no test ran, or ctest itself failed
[ "$skipped" -eq 0 ] || echo "$host: $skipped skipped (listed above, with the reason in the test)"
echo "$host: $passed passed, $failed failed"
exit "$status"
