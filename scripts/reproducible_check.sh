#!/usr/bin/env bash
# Builds every artifact twice with Debian's reprotest and compares them byte
# for byte: qrv_tools, the .deb, the 32- and 64-bit qrv_tools.exe and both
# Windows zips. Both builds start from a clone of the commit; the second runs
# as another builder's machine would: in another directory, on a clock 180 to
# 540 days later (faketime), in another time zone and locale, under umask 002
# instead of 022, over shuffled directory entries (disorderfs, a FUSE file
# system), on another number of CPUs with as many build jobs, and with another
# HOME, PATH, host name and kernel version. The user stays: varying it needs
# a second account.
#
# Usage: scripts/reproducible_check.sh [REPROTEST_OPTION...]
#   The options go to reprotest, e.g. --vary=-fileordering where there is no
#   FUSE. Needs a tree with no uncommitted changes to tracked files, the
#   mingw-w64 cross compilers (g++-mingw-w64-i686, g++-mingw-w64-x86-64) and
#   python3; installs reprotest, disorderfs, faketime and locales-all when
#   missing (needs root or sudo).
# Prints one line per artifact; the status is 0 only when every pair is
# identical. In each copy reprotest runs "scripts/reproducible_check.sh
# --build", which builds the artifacts under build-reproducible/.
set -uo pipefail

die() { echo "reproducible_check: $*" >&2; exit 1; }
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo" || die "cannot enter $repo"
artifacts=(linux/qrv_tools linux/qrv-tools_*.deb win32/qrv_tools.exe win32/qrv-tools-*-win32.zip
  win64/qrv_tools.exe win64/qrv-tools-*-win64.zip)

if [ "${1:-}" = --build ]; then
  # As many jobs as the build has CPUs, which reprotest varies; two at most.
  jobs=$(nproc)
  [ "$jobs" -le 2 ] || jobs=2
  rm -rf build-reproducible
  # build NAME [TOOLCHAIN]: one configure, the build and its package.
  build() {
    cmake -S . -B "build-reproducible/$1" -G Ninja -DQRV_BUILD_TESTS=OFF -DQRV_WERROR=ON \
      ${2:+-DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/$2"} \
      && cmake --build "build-reproducible/$1" -j"$jobs" \
      && (cd "build-reproducible/$1" && cpack)
  }
  if ! { build linux && build win32 mingw-i686.cmake && build win64 mingw-x86_64.cmake; } >build-reproducible.log 2>&1; then
    cat build-reproducible.log
    die "the build in $PWD failed"
  fi
  exit 0
fi

[ -z "$(git status --porcelain --untracked-files=no)" ] \
  || die "the tree has uncommitted changes: commit them, both builds are clones of the commit"

missing=()
for package in reprotest disorderfs faketime locales-all; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  # Without recommends: reprotest's would bring diffoscope and much of Debian.
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" apt-get update -qq || die "apt-get update failed"
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null || die "apt-get install ${missing[*]} failed"
fi

scratch=$(mktemp -d /tmp/qrv-reproducible.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
git clone -q "$repo" "$scratch/source" || die "git clone failed"
options=(--verbosity=1 --vary=-user_group --store-dir="$scratch/store")
command -v diffoscope >/dev/null || options+=(--no-diffoscope)
options+=("$@")
patterns=$(printf 'build-reproducible/%s ' "${artifacts[@]}")
started=$SECONDS
reprotest "${options[@]}" -s "$scratch/source" 'scripts/reproducible_check.sh --build' "$patterns" \
  >"$scratch/reprotest.log" 2>&1
status=$?
# What each build was given, as reprotest logged it (the long PATH cut short).
sed -n -e 's/PATH = .*:/PATH = ...:/' -e 's/^INFO:reprotest:build "\([^"]*\)":.*/reprotest, build \1:/p' \
  -e 's/^INFO:reprotest.build:\(.* variation: .*\)/  \1/p' "$scratch/reprotest.log"
echo "two builds in $((SECONDS - started)) s"

differ=0
control=$scratch/store/control/source-root/build-reproducible
experiment=$scratch/store/experiment-1/source-root/build-reproducible
for artifact in "${artifacts[@]}"; do
  first=$(compgen -G "$control/$artifact" | head -n 1)
  second=$(compgen -G "$experiment/$artifact" | head -n 1)
  if [ -z "$first" ] || [ -z "$second" ]; then
    echo "missing: $artifact"; differ=1
  elif cmp -s "$first" "$second"; then
    echo "identical: ${first#"$control"/} ($(sha256sum <"$first" | cut -c1-16))"
  else
    echo "DIFFERENT: ${first#"$control"/}"; differ=1
  fi
done
if [ $differ -ne 0 ] || [ $status -ne 0 ]; then
  tail -n 60 "$scratch/reprotest.log"
  echo "reproducible_check: reprotest ended with status $status"
  exit 1
fi
echo "reproducible: both builds byte for byte the same"
