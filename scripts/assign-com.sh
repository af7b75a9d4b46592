#!/bin/bash
# Pins a serial device to a COM number for Velmora, as Windows' "assign a COM
# port number" does: a udev rule gives the device the link /dev/COMn.
# Installed as velmora-assign-com.
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
me=${0##*/}

die() {
    echo "$me: $*" >&2
    exit 1
}

usage() {
    die "usage: $me COMn DEVICE | --list | --remove COMn"
}

rule_file() {
    echo "$rules_dir/99-velmora-$1.rules"
}

rule_match() {
    sed -E 's/^SUBSYSTEM=="tty", (.*), SYMLINK.*/\1/' "$1"
}

check_com() {
    [[ $1 =~ ^COM[1-4]$ ]] || die "$1: not one of COM1, COM2, COM3, COM4"
}

# Makes udev apply the rules to one tty and waits until it has.
apply() {
    "$udevadm" control --reload
    "$udevadm" trigger --settle "$sys_root/class/tty/$1"
}

# KEY=="VALUE", ... for pairs of arguments. A device chooses these values, so
# one that is empty or holds anything but [A-Za-z0-9._-] (a quote, comma,
# newline, blank or pattern character could change or widen the rule) fails.
keys() {
    local joined=
    while [ $# -gt 0 ]; do
        [[ $2 =~ ^[A-Za-z0-9._-]+$ ]] || return 1
        joined+="$1==\"$2\", "
        shift 2
    done
    echo "${joined%, }"
}

attr() {
    cat "$1" 2>/dev/null || true
}

# The USB interface a tty belongs to: the tty's device is that interface
# (cdc_acm) or a port below it (usb-serial); nothing for a UART.
usb_interface() {
    local dir top
    top=$(readlink -f "$sys_root")
    dir=$(readlink -f "$sys_root/class/tty/$1/device")
    while [[ $dir == "$top"/* ]]; do
        [ -e "$dir/bInterfaceNumber" ] && { echo "$dir"; return; }
        dir=${dir%/*}
    done
}

# The keys that pick out tty $1 by the adapter's serial number ($2 = serial)
# or by the USB port it is plugged into ($2 = port). The interface number tells
# the ports of a multi-port chip apart, which share the serial number and port.
# A UART is known by its own name, which the kernel gives by its address.
match() {
    local iface usb id
    iface=$(usb_interface "$1")
    if [ -z "$iface" ]; then
        [ "$2" = port ] && keys KERNEL "$1"
        return
    fi
    usb=${iface%/*}
    if [ "$2" = serial ]; then
        id=('ATTRS{serial}' "$(attr "$usb/serial")")
    else
        id=(KERNELS "${usb##*/}")
    fi
    keys 'ATTRS{idVendor}' "$(attr "$usb/idVendor")" 'ATTRS{idProduct}' "$(attr "$usb/idProduct")" "${id[@]}" \
        'ENV{ID_USB_INTERFACE_NUM}' "$(attr "$iface/bInterfaceNumber")"
}

# The first way to match tty $1 that no other tty present shares: adapters of
# one make often carry the same serial number.
unique_match() {
    local kind candidate other
    for kind in serial port; do
        candidate=$(match "$1" $kind) || continue
        for other in "$sys_root"/class/tty/*; do
            other=${other##*/}
            [ "$other" = "$1" ] || [ "$(match "$other" $kind)" != "$candidate" ] || continue 2
        done
        echo "$candidate"
        return
    done
    return 1
}

# Refuses a second rule for the device or for the number.
check_free() {
    local com=$1 name=$2 match=$3 file other
    for file in "$rules_dir"/99-velmora-COM[1-4].rules; do
        [ -e "$file" ] || continue
        other=${file##*-}
        other=${other%.rules}
        if [ "$other" != "$com" ] && [ "$(rule_match "$file")" = "$match" ]; then
            die "$name is already $other; first run: $me --remove $other"
        elif [ "$other" = "$com" ] && [ "$(rule_match "$file")" != "$match" ]; then
            die "$com is already assigned; first run: $me --remove $com"
        fi
    done
}

assign() {
    local com=$1 path=$2 name link match
    check_com "$com"
    path=${path#/dev/} # as the user sees it, so also under a stand-in dev root
    [[ $path == /* ]] || path=$dev_root/$path
    name=$(basename "$(readlink -f "$path" || echo "$path")")
    if [ ! -e "$path" ] || [ ! -e "$sys_root/class/tty/$name" ]; then
        die "$2: not a tty device"
    fi
    [ -e "$sys_root/class/tty/$name/device" ] || die "$2: a virtual terminal, not a serial port"
    # The kernel makes a ttyS node for every UART slot; type 0 means no chip answers there.
    case $name:$(attr "$sys_root/class/tty/$name/type") in
        ttyS*: | *:0) die "$2: an empty UART slot, no serial port behind it" ;;
    esac
    match=$(unique_match "$name") || die "$2: reports nothing a udev rule can safely match it alone by"
    link=$dev_root/$com
    if { [ -e "$link" ] || [ -L "$link" ]; } && [ ! -e "$(rule_file "$com")" ]; then
        die "$link exists and was not made by this script"
    fi
    check_free "$com" "$name" "$match"
    [ -w "$rules_dir" ] || die "cannot write to $rules_dir: run as root"
    [[ $match != *KERNELS* ]] ||
        echo "$name has no usable serial number, so $com stays with the USB port it is plugged into"
    echo "SUBSYSTEM==\"tty\", $match, SYMLINK+=\"$com\", GROUP=\"dialout\"" >"$(rule_file "$com")"
    apply "$name"
    if [ "$(readlink -f "$link")" != "$(readlink -f "$dev_root/$name")" ]; then
        rm "$(rule_file "$com")"
        "$udevadm" control --reload
        die "udev did not point $link to $name, so the rule is taken out again"
    fi
    echo "$com is now $name"
}

list() {
    local file com
    for file in "$rules_dir"/99-velmora-COM[1-4].rules; do
        [ -e "$file" ] || continue
        com=${file##*-}
        com=${com%.rules}
        if [ -e "$dev_root/$com" ]; then
            echo "$com  $(rule_match "$file")  now $(basename "$(readlink -f "$dev_root/$com")")"
        else
            echo "$com  $(rule_match "$file")  not plugged in"
        fi
    done
}

remove() {
    local link=$dev_root/$1
    check_com "$1"
    [ -e "$(rule_file "$1")" ] || die "$1 is not assigned by this script"
    rm "$(rule_file "$1")"
    if [ -e "$link" ]; then
        apply "$(basename "$(readlink -f "$link")")"
    else
        "$udevadm" control --reload
    fi
    [ ! -e "$link" ] || die "$1 is no longer assigned, but udev still keeps $link"
    echo "$1 is no longer assigned"
}

case ${1:-} in
    --list) [ $# -eq 1 ] || usage; list ;;
    --remove) [ $# -eq 2 ] || usage; remove "$2" ;;
    *) [ $# -eq 2 ] || usage; assign "$1" "$2" ;;
esac
