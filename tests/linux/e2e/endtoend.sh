#!/bin/bash
# The real program on a private X server, COM1 a /dev/COM1 link to a pseudo terminal and COM3 a port
# that ser2net serves: it must show its dated title, open each when its box is ticked, send the TD
# text there and end with status 0 on Ctrl+Q. Usage: endtoend.sh VELMORA MODEMSHIM.so; it moves
# itself into a mount namespace of its own.
set -u
tools="unshare Xvfb xdotool script import ser2net"
[ "$(id -u)" = 0 ] && type -P $tools >/dev/null || { echo "SKIP: needs root and $tools"; exit 77; }
[ "${3-}" = own ] || exec unshare -m --propagation private bash "$0" "$@" own
. "$(dirname "$0")/../../support/xdrive.sh"
# The mounts below must never reach the caller's namespace.
[ "$(readlink /proc/self/ns/mnt)" != "$(readlink /proc/$PPID/ns/mnt)" ] ||
    fail "not in a namespace of its own"

# A /dev with only new pseudo terminals, and lock files that go with the namespace even when the
# program is killed.
mount -t tmpfs tmpfs /dev && mknod -m 666 /dev/null c 1 3 && mkdir /dev/pts &&
    ln -s pts/ptmx /dev/ptmx &&
    mount -t devpts -o newinstance,ptmxmode=666 devpts /dev/pts && mount -t tmpfs tmpfs /run/lock ||
    fail "cannot hide the machine's devices"
far_pty com1
ln -s "$(<"$tmp/com1.pty")" /dev/COM1
x_server
serve_com3 "$tmp/.config" "$2"
today=$(LC_ALL=C date '+%-d  %B  %Y года  %A')
start env LC_ALL=C.UTF-8 QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0 XDG_RUNTIME_DIR=$tmp \
    HOME=$tmp "$1"
sends
ends ctrl+q
