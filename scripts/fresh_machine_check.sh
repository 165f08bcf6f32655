#!/usr/bin/env bash
# The README's promise on a fresh machine: a minimal Debian 12 root (as
# container images are made) gets exactly the packages README.md names for the
# tests, with no recommended ones, then runs the README's other commands
# before "## Switches" as they stand (build, tests, install, the Debian
# package and its install; `sudo` dropped, as the root needs none) on a clean
# clone of the last commit. It passes when all of that succeeds and no test
# was skipped.
# Run as root, on demand: scripts/fresh_machine_check.sh [CACHE_DIR]
# CACHE_DIR (default /var/tmp/qrv-fresh-machine) keeps the debootstrap root
# and the downloaded packages, so a second run is quick.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${1:-/var/tmp/qrv-fresh-machine}
started=$SECONDS

# Read from README.md, so the check follows it: the packages are those of
# its apt-get line for the tests, the commands its other indented lines
# before the switches.
readme_setup=$(sed -n '1,/^## Switches/p' "$repo/README.md")
packages=$(grep -m1 '^    sudo apt-get update && sudo apt-get install -y .*libgtest-dev' <<<"$readme_setup" |
  sed 's/.*apt-get install -y //')
commands=$(grep '^    ' <<<"$readme_setup" | grep -v '^    sudo apt-get update' | sed 's/^    //; s/sudo //g')
[ -n "$packages" ] && [ -n "$commands" ] || { echo "README.md names no Debian packages or no commands"; exit 1; }

command -v debootstrap >/dev/null ||
  { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null; }
mkdir -p "$cache/archives/partial"
if [ ! -e "$cache/base/.complete" ]; then
  rm -rf --one-file-system "$cache/base"
  debootstrap --variant=minbase bookworm "$cache/base" http://deb.debian.org/debian >"$cache/debootstrap.log"
  touch "$cache/base/.complete"
fi

root=$(mktemp -d "$cache/root.XXXXXX")
cleanup() {
  umount "$root/proc" "$root/dev" "$root/var/cache/apt/archives" 2>/dev/null || true
  mountpoint -q "$root/dev" || rm -rf --one-file-system "$root"
}
trap cleanup EXIT
cp -a "$cache/base/." "$root/"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind "$cache/archives" "$root/var/cache/apt/archives"
git clone --quiet "$repo" "$root/root/qrv_tools"
echo "== $(git -C "$root/root/qrv_tools" log -1 --format='%h %s') on debootstrap minbase bookworm"

# in_root SCRIPT: runs SCRIPT in the root with a clean environment.
in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive bash -c "set -ex; cd /root/qrv_tools; $1"
}
log=$cache/last.log
echo "== apt-get install --no-install-recommends $packages"
status=0
{
  in_root "apt-get update -qq; apt-get install -y -qq --no-install-recommends $packages >/dev/null" &&
    in_root "$commands" && in_root "qrv_tools --version; ls -l build/*.deb"
} >"$log" 2>&1 || status=$?
tail -n 25 "$log"
if [ "$status" -ne 0 ]; then
  result="FAIL (status $status)"
elif grep -q 'The following tests did not run' "$log"; then
  result="FAIL (tests were skipped)"
else
  result=pass
fi
echo "fresh machine: $result in $((SECONDS - started)) s; the whole log is $log"
[ "$result" = pass ]
