#!/usr/bin/env bash
# The README's promise on a fresh machine: a minimal Debian 12 root (as
# container images are made) gets exactly the packages README.md names, with
# no recommended ones, then runs README.md's two command blocks as they stand
# on a clean clone of the last commit, and `cpack -G DEB` in their build. It
# passes when all of that succeeds and no test was skipped.
# Run as root, on demand: scripts/fresh_machine_check.sh [CACHE_DIR]
# CACHE_DIR (default /var/tmp/qrv-fresh-machine) keeps the debootstrap root
# and the downloaded packages, so a second run is quick.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${1:-/var/tmp/qrv-fresh-machine}
started=$SECONDS

# Read from README.md, so the check follows it: the packages are the
# backquoted words of its "On Debian or Ubuntu" line, the commands the
# indented lines of its first two blocks.
packages=$(grep -m1 'On Debian or Ubuntu' "$repo/README.md" | grep -o '`[^`]*`' | tr -d '`' |
  sed 's/^apt-get install //' | tr '\n' ' ')
commands=$(awk '/^    /{print substr($0, 5); inside=1; next} inside{inside=0; if (++blocks == 2) exit}' "$repo/README.md")
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
    in_root "$commands" && in_root "cd build; cpack -G DEB; ls -l *.deb"
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
