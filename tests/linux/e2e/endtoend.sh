#!/bin/bash
# The real program on a private X server, COM1 on a pseudo terminal and COM3 a port that ser2net
# serves: it must show its dated title, open each when its box is ticked, send the TD text there and
# end with status 0 on Ctrl+Q. Usage:
# endtoend.sh <velmora binary>; it moves itself into a mount namespace of its own.
support=$(dirname "$0")/../../support
set -u; . "$support/xdrive.sh" && . "$support/remotecom3.sh"
skip() { echo "SKIP: $*" >&2; exit 77; }
app=$(realpath -e "${1-}") && [ -x "$app" ] || fail "no program at '${1-}'"
[ "$(id -u)" = 0 ] || skip "needs root for its mounts"
for tool in unshare Xvfb xdotool script ser2net g++; do
    command -v $tool >/dev/null || skip "$tool is missing"
done
[ $# = 2 ] ||
    exec unshare --mount --propagation private bash "$0" "$app" "$(readlink /proc/self/ns/mnt)"
# The mounts below must never reach the machine's own namespace: the caller's, its parent's or
# init's.
own=$(readlink /proc/self/ns/mnt) hosts=$(readlink /proc/1/ns/mnt /proc/$PPID/ns/mnt 2>/dev/null)
[ -n "$own" ] && [ -n "$2" ] && ! printf '%s\n' "$2" "$hosts" | grep -qxF "$own" ||
    fail "not in a namespace of its own"

tmp=$(mktemp -d /tmp/velmora-e2e.XXXXXX) pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait; rm -rf "$tmp"' EXIT
# A /dev with only new pseudo terminals (the machine's ttyS0 is its console), no port in sysfs to
# number, and lock files that go with the namespace even when the program is killed.
mount -t tmpfs tmpfs /dev && mknod -m 666 /dev/null c 1 3 && mkdir /dev/pts \
    && ln -s pts/ptmx /dev/ptmx && mount -t devpts -o newinstance,ptmxmode=666 devpts /dev/pts \
    && mount -t tmpfs tmpfs /sys/class/tty \
    && { [ ! -d /run/lock ] || mount -t tmpfs tmpfs /run/lock; } \
    || fail "cannot hide the machine's ports"
# COM1's far end is the master side, which script copies to a file.
script -qfc "tty >$tmp/pty; exec sleep 60" /dev/null </dev/null >"$tmp/far" 2>&1 & pids+=($!)
x_server && soon [ -s "$tmp/pty" ] && ln -s "$(cat "$tmp/pty")" /dev/COM1 || fail "no pty"

serve_com3 "$tmp/.config"
LC_ALL=C.UTF-8 QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0 XDG_RUNTIME_DIR="$tmp" HOME="$tmp" \
    "$app" & app_pid=$!; pids+=($!)
window "Brannick       Velmora v.1.1              Сегодня: $(LC_ALL=C date '+%-d  %B  %Y года  %A')"
sends "$tmp/far" /dev/COM1 "$app_pid" && remote_sends && ends ctrl+q "$app_pid"
