#!/bin/bash
# Pins a serial device to a COM number for Velmora, as Windows' "assign a COM
# port number" does: a udev rule gives the device the link /dev/COMn.
# Installed as velmora-assign-com.
#
#   assign-com.sh [--force] COMn DEVICE    e.g. assign-com.sh COM2 /dev/ttyUSB0
#   assign-com.sh --list
#   assign-com.sh --remove COMn
#
# VELMORA_UDEV_RULES_DIR, VELMORA_DEV_ROOT, VELMORA_SYS_ROOT and VELMORA_UDEVADM
# stand in for /etc/udev/rules.d, /dev, /sys and udevadm.
set -euo pipefail
# Bash's ranges follow the locale's collation: under ru_RU.UTF-8, which sudo
# keeps, [1-4] takes "²" and [A-Za-z] takes "Ä".
export LC_ALL=C

rules_dir=${VELMORA_UDEV_RULES_DIR:-/etc/udev/rules.d}
dev_root=${VELMORA_DEV_ROOT:-/dev}
sys_root=${VELMORA_SYS_ROOT:-/sys}
udevadm=${VELMORA_UDEVADM:-udevadm}
me=${0##*/}
sys_top=$(readlink -f "$sys_root")

die() {
    echo "$me: $*" >&2
    exit 1
}

usage() {
    die "usage: $me [--force] COMn DEVICE | --list | --remove COMn"
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

# One run at a time, from the first check to the last write: two runs that check
# the rules at once would both find the number and the device free.
lock_rules() {
    [ -d "$rules_dir" ] || die "$rules_dir: no such folder (is udev installed?)"
    exec 9<"$rules_dir" && flock 9 || die "cannot lock $rules_dir"
}

check_udevadm() {
    command -v "$udevadm" >/dev/null || die "$udevadm: not found (is udev installed?)"
}

# Writes the rule $2 for $1, saying why it cannot.
write_rule() {
    local file err
    file=$(rule_file "$1")
    err=$({ printf '%s\n' "$2" >"$file"; } 2>&1) && return
    err=${err##*: }
    [[ $err != "Permission denied" || $EUID -eq 0 ]] || err+=": run as root"
    die "cannot write $file: $err"
}

# The device number of the node $1, as sysfs gives it in a tty's "dev".
node_number() {
    stat -L -c %Hr:%Lr "$1"
}

# Makes udev apply the rules to one tty and waits until it has.
apply() {
    "$udevadm" control --reload && "$udevadm" trigger --settle "$sys_root/class/tty/$1"
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

# An attribute as udev compares it, trailing blanks dropped.
attr() {
    local value
    value=$(cat "$1" 2>/dev/null) || true
    printf '%s\n' "${value%"${value##*[![:space:]]}"}"
}

# The USB interface a tty belongs to: the tty's device is that interface
# (cdc_acm) or a port below it (usb-serial); nothing for a UART.
usb_interface() {
    local dir
    dir=$(readlink -f "$sys_root/class/tty/$1/device")
    while [[ $dir == "$sys_top"/* ]]; do
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

# Whether every KERNELS and ATTRS{...} of KEY VALUE... holds on the device at $1.
on_device() {
    local dir=$1 file
    shift
    while [ $# -gt 1 ]; do
        file=${1#ATTRS\{}
        file=$dir/${file%\}}
        case $1 in
            KERNELS) [ "${dir##*/}" = "$2" ] || return 1 ;;
            ATTRS*) [ -f "$file" ] && [ "$(attr "$file")" = "$2" ] || return 1 ;;
        esac
        shift 2
    done
}

# Whether the rule line $1 applies to tty $2 as udev would apply it: SUBSYSTEM
# and KERNEL to the tty, ENV{ID_USB_INTERFACE_NUM} to the USB interface usb_id
# finds, KERNELS and ATTRS{...} all to one device on the tty's sysfs path. A key
# not known here matches nothing; values are plain text, as this script writes.
applies() {
    local rule=$1 tty=$2 dir iface='' up=() found='' any='' i
    [[ ! $rule =~ ^[[:space:]]*# ]] || return 1
    while [[ $rule =~ ([A-Za-z_]+(\{[^{}\"]*\})?)==\"([^\"]*)\" ]]; do
        rule=${rule#*"${BASH_REMATCH[0]}"} any=1
        case ${BASH_REMATCH[1]} in
            SUBSYSTEM) [ "${BASH_REMATCH[3]}" = tty ] || return 1 ;;
            KERNEL) [ "${BASH_REMATCH[3]}" = "$tty" ] || return 1 ;;
            KERNELS | 'ATTRS{'* | 'ENV{ID_USB_INTERFACE_NUM}') up+=("${BASH_REMATCH[1]}" "${BASH_REMATCH[3]}") ;;
            *) return 1 ;;
        esac
    done
    [ -n "$any" ] || return 1
    [ ${#up[@]} -gt 0 ] || return 0
    dir=$(readlink -f "$sys_root/class/tty/$tty")
    while [[ $dir == "$sys_top"/* ]]; do
        [ -n "$iface" ] || [ ! -f "$dir/bInterfaceNumber" ] || iface=$(attr "$dir/bInterfaceNumber")
        on_device "$dir" "${up[@]}" && found=1
        dir=${dir%/*}
    done
    [ -n "$found" ] || return 1
    for ((i = 0; i < ${#up[@]}; i += 2)); do
        [[ ${up[i]} != ENV* || ${up[i + 1]} == "$iface" ]] || return 1
    done
}

# Whether a rule of the rules file $1 applies to tty $2.
file_applies() {
    local rule
    while IFS= read -r rule || [ -n "$rule" ]; do
        applies "$rule" "$2" && return 0
    done <"$1"
    return 1
}

# The ttys present that the rule $1 applies to.
matching() {
    local tty
    for tty in "$sys_root"/class/tty/*; do
        if applies "$1" "${tty##*/}"; then echo "${tty##*/}"; fi
    done
}

# Sets match to the first way to match tty $1 that udev would apply to no other
# tty present (adapters of one make often carry the same serial number), and
# why to what keeps it from the serial number.
unique_match() {
    local kind candidate
    why="has no usable serial number"
    for kind in serial port; do
        candidate=$(match "$1" $kind) || continue
        if [ "$(matching "$candidate")" = "$1" ]; then
            match=$candidate
            return
        fi
        why="shares its serial number with another device present"
    done
    return 1
}

# Refuses a second rule for the device or for the number: udev would give the
# device both links, or the number to whichever of two devices came last. The
# rules decide, applied as udev would: their texts depend on what was present.
check_free() {
    local com=$1 name=$2 file other
    for file in "$rules_dir"/99-velmora-COM[1-4].rules; do
        [ -e "$file" ] || continue
        other=${file##*-}
        other=${other%.rules}
        if file_applies "$file" "$name"; then
            [ "$other" = "$com" ] || die "$name is already $other; first run: $me --remove $other"
        elif [ "$other" = "$com" ]; then
            die "$com is already assigned; first run: $me --remove $com"
        fi
    done
}

# Takes the new rule of $1 out again, saying why ($2).
take_out() {
    rm -f "$(rule_file "$1")"
    "$udevadm" control --reload || true
    die "$2, so the rule is taken out again"
}

assign() {
    local com=$1 path=$2 node name link match why
    check_com "$com"
    lock_rules
    check_udevadm
    path=${path#/dev/} # as the user sees it, so also under a stand-in dev root
    [[ $path == /* ]] || path=$dev_root/$path
    # Only the tty's own node: any path whose last part is a tty name would
    # otherwise pin that tty (a file, a folder in sysfs).
    node=$(readlink -e "$path") && name=${node##*/} && [ -c "$node" ] \
        && [ "$(node_number "$node")" = "$(attr "$sys_root/class/tty/$name/dev")" ] \
        || die "$2: not the device node of a tty"
    [ -e "$sys_root/class/tty/$name/device" ] || die "$2: a virtual terminal, not a serial port"
    # The kernel makes a ttyS node for every UART slot; type 0 means no chip answers there.
    case $name:$(attr "$sys_root/class/tty/$name/type") in
        ttyS*: | *:0) die "$2: an empty UART slot, no serial port behind it" ;;
    esac
    # The kernel writes its messages there; ticking the box would drive its modem lines.
    if [ -z "$force" ] && [[ " $(attr "$sys_root/class/tty/console/active") " == *" $name "* ]]; then
        die "$2: the system console, whose modem lines Velmora would drive; to pin it all the same: $me --force $com $2"
    fi
    unique_match "$name" || die "$2: reports nothing a udev rule can safely match it alone by"
    link=$dev_root/$com
    if { [ -e "$link" ] || [ -L "$link" ]; } && [ ! -e "$(rule_file "$com")" ]; then
        die "$link exists and was not made by this script"
    fi
    check_free "$com" "$name"
    write_rule "$com" "SUBSYSTEM==\"tty\", $match, SYMLINK+=\"$com\", GROUP=\"dialout\""
    [[ $match != *KERNELS* ]] || echo "$name $why, so $com stays with the USB port it is plugged into"
    if ! apply "$name"; then
        take_out "$com" "udevadm failed on $name (is udevd running, is the device still there?)"
    elif [ "$(readlink -f "$link")" != "$(readlink -f "$dev_root/$name")" ]; then
        take_out "$com" "udev did not point $link to $name"
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
    local link=$dev_root/$1 name
    check_com "$1"
    lock_rules
    check_udevadm
    [ -e "$(rule_file "$1")" ] || die "$1 is not assigned by this script"
    rm "$(rule_file "$1")"
    if [ -e "$link" ]; then
        name=$(basename "$(readlink -f "$link")")
        apply "$name" || die "$1 is no longer assigned, but udevadm failed on $name," \
            "so $link stays until the device is plugged in again"
    else
        "$udevadm" control --reload || die "$1 is no longer assigned, but udevadm failed"
    fi
    [ ! -e "$link" ] || die "$1 is no longer assigned, but udev still keeps $link"
    echo "$1 is no longer assigned"
}

force=
[ "${1:-}" != --force ] || { force=1; shift; }
case ${1:-} in
    --list) [ $# -eq 1 ] || usage; list ;;
    --remove) [ $# -eq 2 ] || usage; remove "$2" ;;
    *) [ $# -eq 2 ] || usage; assign "$1" "$2" ;;
esac
