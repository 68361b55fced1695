#!/usr/bin/env bash
# Proves that README's two commands work on a fresh Debian release, as a new
# user would meet them:
#   tools/release-check.sh bookworm|trixie
# It makes a minimal Debian root with debootstrap from the mirror this
# machine's apt sources name, installs only git, ca-certificates and sudo,
# clones the committed tree into it and runs README's first two commands there
# as root with a clean environment, each timed. Exits non-zero when either
# fails. Everything is mounted in a private mount namespace, so no mount
# outlives the check whatever happens to it; the root and the logs live under
# build/release-check/<release> (or $RELEASE_CHECK_DIR/<release>). KEEP_ROOT=1
# keeps the root afterwards for a look inside.
# Needs root (or sudo), debootstrap and unshare.
set -euo pipefail
# The whole script is read before it runs: a checkout that changes it while a
# check runs cannot change the running check.
{
release=${1:-}
case "$release" in
  bookworm | trixie) ;;
  *) echo "usage: $0 bookworm|trixie" >&2; exit 2 ;;
esac
if [ "$(id -u)" -ne 0 ]; then exec sudo -- "$0" "$@"; fi
command -v debootstrap >/dev/null || { echo "release-check: debootstrap is missing (apt-get install debootstrap)" >&2; exit 2; }
cd "$(dirname "$0")/.."
REPO=$PWD
WORK=${RELEASE_CHECK_DIR:-$REPO/build/release-check}/$release
ROOTFS=$WORK/root
START=$SECONDS

# The Debian mirror of this machine's own apt sources (one-line or deb822 form).
mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
  grep -oE '(https?|ftp)://[^ ]+/debian/?( |$)' | grep -v -- '-security' | head -n1 | tr -d ' ' || true)
mirror=${mirror:-http://deb.debian.org/debian}

if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "release-check: uncommitted changes are not part of the check (it clones HEAD)"
fi

# A root left by an earlier check is mounted nowhere (its mounts lived in a
# namespace that is gone), so it can be removed safely.
remove_root() {
  if findmnt -rn -o TARGET | grep -q "^$ROOTFS\(/\|$\)"; then
    echo "release-check: something is still mounted under $ROOTFS; not removing it" >&2
    return 1
  fi
  rm -rf --one-file-system "$ROOTFS"
}
remove_root
mkdir -p "$WORK"
rm -f "$WORK"/*.log

echo "== $release: debootstrap (minbase) from $mirror"
if ! unshare --mount --propagation private \
  debootstrap --variant=minbase --include=git,ca-certificates,sudo "$release" "$ROOTFS" "$mirror" \
  >"$WORK/debootstrap.log" 2>&1; then
  tail -n 40 "$WORK/debootstrap.log"
  echo "release-check $release: debootstrap failed (log: $WORK/debootstrap.log)"
  exit 1
fi
echo "   took $((SECONDS - START)) s"
cp /etc/resolv.conf "$ROOTFS/etc/resolv.conf" 2>/dev/null || true
# Package scripts must not start services inside the root.
printf '#!/bin/sh\nexit 101\n' >"$ROOTFS/usr/sbin/policy-rc.d"
chmod 0755 "$ROOTFS/usr/sbin/policy-rc.d"
git clone --quiet --no-hardlinks "$REPO" "$ROOTFS/root/moonwisp"

# README's first two command lines, exactly as written there.
mapfile -t commands < <(grep -m2 -E '^    [^ ]' README.md | sed 's/^    //')
[ "${#commands[@]}" -eq 2 ] || { echo "release-check: README does not start with two commands" >&2; exit 2; }

# Runs inside the private mount namespace: mounts what a booted system has,
# runs both commands in the root with a clean environment and reports each.
inside() {
  set -u
  local root=$1 work=$2 release=$3
  shift 3
  # The root is a mount point, as / is on a booted system (unshare --mount,
  # which a test uses, changes the propagation of / and needs that).
  mount --bind "$root" "$root"
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys"
  mount --rbind /dev "$root/dev"
  mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts" 2>/dev/null || mount --bind /dev/pts "$root/dev/pts"
  mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
  local status=0 index=0 command
  for command in "$@"; do
    index=$((index + 1))
    local log=$work/command$index.log began=$SECONDS
    echo "== $release: $command"
    chroot "$root" /usr/bin/env -i HOME=/root USER=root LOGNAME=root SHELL=/bin/bash TERM=dumb \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      /bin/bash -c "cd /root/moonwisp && $command" </dev/null >"$log" 2>&1
    local result=$?
    grep -E '^== |tests passed|tests failed' "$log" | sed 's/^/   /' || true
    if [ "$result" -ne 0 ]; then
      tail -n 150 "$log" | tee "$work/failure.log"
      status=1
    fi
    echo "   status $result in $((SECONDS - began)) s (log: $log)"
    [ "$result" -eq 0 ] || break
  done
  umount -R "$root" 2>/dev/null || true
  return $status
}
export -f inside
status=0
unshare --mount --propagation private bash -c 'inside "$@"' inside "$ROOTFS" "$WORK" "$release" "${commands[@]}" || status=1

if [ "${KEEP_ROOT:-0}" != 1 ]; then remove_root || status=1; fi
if [ "$status" -eq 0 ]; then
  echo "release-check $release: both commands passed in $((SECONDS - START)) s"
else
  echo "release-check $release: FAILED after $((SECONDS - START)) s"
fi
exit $status
}
