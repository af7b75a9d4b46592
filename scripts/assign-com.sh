#!/usr/bin/env bash
# Pins a serial adapter to a COM number for Velmora, as Windows' "assign a COM
# port number" does: a udev rule gives the adapter the link /dev/COMn.
#
#   assign-com.sh COMn DEVICE    e.g. assign-com.sh COM2 /dev/ttyUSB0
#   assign-com.sh --list
#   assign-com.sh --remove COMn
#
# VELMORA_UDEV_RULES_DIR, VELMORA_DEV_ROOT, VELMORA_SYS_ROOT and VELMORA_UDEVADM
# stand in for /etc/udev/rules.d, /dev, /sys and udevadm.
set -euo pipefail

rules_dir=${VELMORA_UDEV_RULES_DIR:-/etc/udev/rules.d}
dev_root=${VELMORA_DEV_ROOT:-/dev}
sys_root=${VELMORA_SYS_ROOT:-/sys}
udevadm=${VELMORA_UDEVADM:-udevadm}

die() {
    echo "assign-com.sh: $*" >&2
    exit 1
}

usage() {
    die "usage: assign-com.sh COMn DEVICE | --list | --remove COMn"
}

rule_file() {
    echo "$rules_dir/99-velmora-$1.rules"
}

check_com() {
    [[ $1 =~ ^COM[1-4]$ ]] || die "$1: not one of COM1, COM2, COM3, COM4"
}

reload_udev() {
    "$udevadm" control --reload
    "$udevadm" trigger --subsystem-match=tty
}

# The adapter's USB device carries its serial number; the tty's own device is
# an interface (or a port) below it.
usb_device() {
    local dir top
    top=$(readlink -f "$sys_root")
    dir=$(readlink -f "$sys_root/class/tty/$1/device") || return 0
    while [[ $dir == "$top"/* ]]; do
        [ -e "$dir/idVendor" ] && { echo "$dir"; return 0; }
        dir=${dir%/*}
    done
}

# An adapter without a serial number is known by the port it is plugged into.
match_for() {
    local usb device
    usb=$(usb_device "$1")
    if [ -n "$usb" ] && [ -s "$usb/serial" ]; then
        echo "ATTRS{serial}==\"$(<"$usb/serial")\""
    else
        device=${usb:-$(readlink -f "$sys_root/class/tty/$1/device")}
        echo "KERNELS==\"${device##*/}\""
    fi
}

assign() {
    local com=$1 path=$2 name link
    check_com "$com"
    path=${path#/dev/} # as the user sees it, so also under a stand-in dev root
    [[ $path == /* ]] || path=$dev_root/$path
    name=$(basename "$(readlink -f "$path" || echo "$path")")
    if [ ! -e "$path" ] || [ ! -e "$sys_root/class/tty/$name" ]; then
        die "$2: not a tty device"
    fi
    [ -e "$sys_root/class/tty/$name/device" ] || die "$2: a virtual terminal, not a serial port"
    link=$dev_root/$com
    if { [ -e "$link" ] || [ -L "$link" ]; } && [ ! -e "$(rule_file "$com")" ]; then
        die "$link exists and was not made by this script"
    fi
    [ -w "$rules_dir" ] || die "cannot write to $rules_dir: run as root"
    echo "SUBSYSTEM==\"tty\", $(match_for "$name"), SYMLINK+=\"$com\", GROUP=\"dialout\"" >"$(rule_file "$com")"
    reload_udev
    echo "$com is now $name"
}

list() {
    local file com match
    for file in "$rules_dir"/99-velmora-COM[1-4].rules; do
        [ -e "$file" ] || continue
        com=${file##*-}
        com=${com%.rules}
        match=$(sed -E 's/^SUBSYSTEM=="tty", (.*), SYMLINK.*/\1/' "$file")
        if [ -e "$dev_root/$com" ]; then
            echo "$com  $match  now $(basename "$(readlink -f "$dev_root/$com")")"
        else
            echo "$com  $match  not plugged in"
        fi
    done
}

remove() {
    check_com "$1"
    [ -e "$(rule_file "$1")" ] || die "$1 is not assigned by this script"
    rm "$(rule_file "$1")"
    reload_udev
    echo "$1 is no longer assigned"
}

case ${1:-} in
    --list) [ $# -eq 1 ] || usage; list ;;
    --remove) [ $# -eq 2 ] || usage; remove "$2" ;;
    *) [ $# -eq 2 ] || usage; assign "$1" "$2" ;;
esac
