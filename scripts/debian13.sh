#!/usr/bin/env bash
# Runs a command in a Debian 13 (trixie) root with a source tree bound in at /src:
#   scripts/debian13.sh [--src DIR] [--] COMMAND [ARG...]
# DIR defaults to this repository; the command starts in /src. DIR/build/debian13 is
# bound over /src/build, so builds made in the root never meet the host's own.
# The root lives in /var/cache/velmora and is made afresh when absent or a week old.
# Every mount happens inside a private mount namespace and dies with it.
set -euo pipefail

cache=${VELMORA_CACHE:-/var/cache/velmora}
root=$cache/debian13
stamp=$cache/debian13.made
mirror=${VELMORA_DEBIAN_MIRROR:-http://deb.debian.org/debian}

die() { echo "debian13: $*" >&2; exit 1; }

src=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" = --in-namespace ]; then
    outside=$2; shift 2
else
    [ "$(id -u)" -eq 0 ] || die "needs root (debootstrap, chroot and mounts)"
    exec unshare --mount --propagation private bash "$0" --in-namespace "$(readlink /proc/self/ns/mnt)" "$@"
fi
if [ "${1:-}" = --src ]; then
    src=$(cd "$2" && pwd); shift 2
fi
[ "${1:-}" = -- ] && shift
[ $# -gt 0 ] || die "usage: scripts/debian13.sh [--src DIR] [--] COMMAND [ARG...]"

# PID 1's namespace is the machine's own; where it cannot be read, the caller's stands in.
inside=$(readlink /proc/self/ns/mnt)
reference=$(readlink /proc/1/ns/mnt 2>/dev/null || true)
[ -n "$reference" ] || reference=$outside
if [ -z "$reference" ] || [ "$inside" = "$reference" ]; then
    die "not inside a private mount namespace; refusing to mount"
fi

no_mounts_under() {
    ! awk -v top="$1" '$5 == top || index($5, top "/") == 1 { found = 1 } END { exit !found }' /proc/self/mountinfo
}

remove_tree() {
    no_mounts_under "$1" || die "something is mounted under $1; not removing it"
    rm -rf --one-file-system "$1"
}

make_root() {
    echo "debian13: making $root from $mirror (takes a few minutes)" >&2
    remove_tree "$root.new"
    debootstrap --variant=minbase --include=ccache trixie "$root.new" "$mirror" >"$cache/debootstrap.log" 2>&1 \
        || die "debootstrap failed; see $cache/debootstrap.log"
    cat >"$root.new/etc/apt/sources.list" <<EOF
deb $mirror trixie main
deb $mirror trixie-updates main
deb http://deb.debian.org/debian-security trixie-security main
EOF
    # Packages must not start services in the root.
    printf '#!/bin/sh\nexit 101\n' >"$root.new/usr/sbin/policy-rc.d"
    chmod 755 "$root.new/usr/sbin/policy-rc.d"
    remove_tree "$root.old"
    [ ! -d "$root" ] || mv "$root" "$root.old"
    mv "$root.new" "$root"
    remove_tree "$root.old"
    touch "$stamp"
}

mkdir -p "$cache/ccache"
exec 9>"$cache/lock"
flock 9
if [ ! -d "$root" ] || [ -z "$(find "$stamp" -mtime -7 2>/dev/null)" ]; then
    make_root
fi
# Other runs may share the root; only making it afresh needs it alone.
flock -s 9

cp /etc/resolv.conf "$root/etc/resolv.conf"
mkdir -p "$src/build/debian13"
# unshare run inside (the end-to-end test) remounts / private, which needs / to be a mount point.
mount --bind "$root" "$root"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
# Without its own /dev/shm the root would write into the directory below the machine's.
mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/dev/shm"
mount --bind /proc "$root/proc"
mount --bind /sys "$root/sys"
mount -o remount,bind,ro "$root/sys"
mkdir -p "$root/src" "$root/var/cache/ccache"
mount --bind "$src" "$root/src"
mount --bind "$src/build/debian13" "$root/src/build"
mount --bind "$cache/ccache" "$root/var/cache/ccache"

# CI builds each fresh clone from empty build trees; the compiler cache keeps that short.
in_root() {
    chroot "$root" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" LANG=C.UTF-8 \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        CCACHE_DIR=/var/cache/ccache CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache "$@"
}
# A run cut short may have left packages half set up.
in_root dpkg --configure -a
in_root /bin/sh -c 'cd /src && exec "$@"' sh "$@"
