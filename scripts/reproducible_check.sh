#!/usr/bin/env bash
# Builds the commit twice, in different directories at different times, and
# compares the results byte for byte: qrv_tools, the 32- and 64-bit
# qrv_tools.exe, the .deb and the Windows zip. The first build uses this
# tree; the second a fresh clone elsewhere, in another time zone.
#
# Usage: scripts/reproducible_check.sh
#   Needs a tree with no uncommitted changes to tracked files, and the mingw-w64
#   cross compilers (g++-mingw-w64-i686, g++-mingw-w64-x86-64).
# The status is 0 only when every pair is identical.
set -uo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
die() { echo "reproducible_check: $*" >&2; exit 1; }

[ -z "$(git status --porcelain --untracked-files=no)" ] \
  || die "the tree has uncommitted changes: commit them, the second build is a clone of the commit"

# build SOURCE OUT: every artifact of SOURCE, built under OUT.
build() {
  local source=$1 out=$2
  mkdir -p "$out"
  {
    cmake -S "$source" -B "$out/linux" -G Ninja -DQRV_BUILD_TESTS=OFF -DQRV_WERROR=ON \
      && cmake --build "$out/linux" -j2 \
      && (cd "$out/linux" && cpack -G DEB) \
      && cmake -S "$source" -B "$out/win32" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-i686.cmake" \
        -DQRV_BUILD_TESTS=OFF -DQRV_WERROR=ON \
      && cmake --build "$out/win32" -j2 \
      && (cd "$out/win32" && cpack -G ZIP) \
      && cmake -S "$source" -B "$out/win64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-x86_64.cmake" \
        -DQRV_BUILD_TESTS=OFF -DQRV_WERROR=ON \
      && cmake --build "$out/win64" -j2
  } >"$out.log" 2>&1 || { cat "$out.log"; die "the build in $out failed"; }
}

scratch=$(mktemp -d /tmp/qrv-reproducible.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
rm -rf build-reproducible
build "$repo" "$repo/build-reproducible"
git clone -q "$repo" "$scratch/elsewhere" || die "git clone failed"
TZ=Pacific/Kiritimati build "$scratch/elsewhere" "$scratch/elsewhere/out"

differ=0
for artifact in linux/qrv_tools linux/qrv-tools_*.deb win32/qrv_tools.exe win32/qrv-tools-*-win32.zip win64/qrv_tools.exe; do
  first=$(compgen -G "$repo/build-reproducible/$artifact" | head -n 1)
  second=$(compgen -G "$scratch/elsewhere/out/$artifact" | head -n 1)
  if [ -z "$first" ] || [ -z "$second" ]; then
    echo "missing: $artifact"; differ=1
  elif cmp -s "$first" "$second"; then
    echo "identical: $artifact ($(sha256sum <"$first" | cut -c1-16))"
  else
    echo "DIFFERENT: $artifact"; cmp "$first" "$second" | head -n 1; differ=1
  fi
done
[ $differ -eq 0 ] && echo "reproducible: both builds byte for byte the same"
exit $differ
