# A made-up machine for the COM-number tests, in POSIX sh: ". machine.sh ROOT" in a fresh folder
# ROOT makes ROOT/dev, ROOT/sys, ROOT/rules and a stand-in udevadm, points the VELMORA_* variables
# there, moves into ROOT and sends all output to stdout. dash ignores the arguments of ".", so ROOT
# must also be the caller's $1 there: sh -c '. machine.sh "$1" && ...' sh ROOT. The sysfs trees are
# laid out as the kernel does: sys/class/tty/NAME links to the tty below its device under
# sys/devices, and its "device" link leads back up.
exec 2>&1 && mkdir -p "$1" && cd "$1" && hub=sys/devices/pci0000:00/0000:00:14.0/usb1 &&
    mkdir -p dev rules sys/class/tty $hub
export VELMORA_UDEV_RULES_DIR="$PWD/rules" VELMORA_DEV_ROOT="$PWD/dev" VELMORA_SYS_ROOT="$PWD/sys" \
    VELMORA_UDEVADM="$PWD/udevadm"
# The root hub has ids and a serial number too, which must never be taken for an adapter's.
echo 1d6b >$hub/idVendor && echo 0002 >$hub/idProduct && echo 0000:00:14.0 >$hub/serial

# The stand-in udevadm logs how it is called to ROOT/udevadm.log; "trigger ... PATH" then does what
# udev would for that tty: it drops the COMn links to it, and links COMn to it for each rule whose
# every value is a folder name or an attribute on the tty's sysfs path, taking the link from another
# device as udev does when two match (the latest event wins). Loose next to udev, but it tells the
# ports of one chip apart.
cat >udevadm <<'EOF'
#!/bin/sh
echo udevadm "$@" >>"${0%/*}/udevadm.log"
[ "$1" = trigger ] || exit 0
for t; do :; done
t=$(readlink -e -- "$t") || exit 0
n=${t##*/} s=$(readlink -f "$VELMORA_SYS_ROOT") || exit 1
on=$(d=$t; while [ "${d#"$s"/}" != "$d" ]; do
    echo "${d##*/}"; cat "$d"/* 2>/dev/null; d=${d%/*}
done)
cd "$VELMORA_DEV_ROOT" && for c in COM*; do [ "$(readlink "$c")" != "$n" ] || rm "$c"; done
for r in "$VELMORA_UDEV_RULES_DIR"/*.rules; do
    [ -e "$r" ] || continue
    c=${r##*-}
    grep -o '=="[^"]*"' "$r" | tr -d '="' | grep -qvxF -e "$on" || ln -sfn "$n" "${c%.rules}"
done
EOF
chmod +x udevadm

# node NAME: the tty NAME's node, a character device whose numbers its sysfs "dev" file gives. Char
# major 0 is never a driver's, so opening it finds nothing there (ENXIO). mknod needs root; without
# it a plain file stands in.
node() {
    echo 0:$((minor += 1)) >sys/class/tty/$1/dev &&
        { mknod dev/$1 c 0 $minor 2>/dev/null || : >dev/$1; }
}

# pty NAME PATH: the tty NAME is the pseudo terminal at PATH, which the node links to.
pty() { ln -sfn "$2" dev/$1 && stat -Lc %Hr:%Lr "$2" >sys/class/tty/$1/dev; }

# tty NAME [TYPE [PARENT]]: the tty NAME in sys/class/tty and dev/, of no device unless PARENT is
# given; TYPE given, a UART slot of that sysfs type (0: empty). PARENT is the UART's device under
# sys/devices: platform/serial8250 (the legacy slots), pnp0/00:04, a PCI card (two UARTs may share
# one), or a platform UART such as platform/fe201000.serial for ttyAMA0.
tty() {
    if [ -n "$3" ]; then below sys/devices/$3 $1; else mkdir -p sys/class/tty/$1; fi &&
        node $1 && { [ -z "$2" ] || echo $2 >sys/class/tty/$1/type; }
}

# usb NAME MAKER MODEL SERIAL [PORT [INTERFACE [VENDOR:PRODUCT]]]: the tty NAME on a USB adapter in
# the port PORT (1-1, 1-2... by default), on its interface INTERFACE (00) with the ids
# VENDOR:PRODUCT (0403:6001); an empty MAKER, MODEL or SERIAL leaves the attribute out. Calls with
# the same PORT make one multi-port chip: an FTDI FT2232 has one serial number for ttyUSB0 on 00 and
# ttyUSB1 on 01, a CH342 under cdc_acm none, with ttyACM0 on 00 and ttyACM1 on 02. A usb-serial
# ttyUSB hangs below a port device of its interface, any other tty (cdc_acm's ttyACM) on the
# interface itself. Called again for an unplugged NAME, it plugs that adapter in again, or another.
usb() {
    p=${5:-1-$((n += 1))} && u=$hub/$p && i=$u/$p:1.$((0x${6:-00})) && v=${7:-0403:6001} && s=$i
    case $1 in ttyUSB*) s=$i/$1 ;; esac
    below $s $1 && node $1 && echo ${6:-00} >$i/bInterfaceNumber && echo ${v%:*} >$u/idVendor &&
        echo ${v#*:} >$u/idProduct
    for a in manufacturer product serial; do [ -z "$2" ] || printf '%s\n' "$2" >$u/$a; shift; done
}


# below DIR NAME: the tty NAME of the device at DIR, as the kernel links it.
below() {
    mkdir -p $1/tty/$2 && ln -sfn ../../${1#sys/}/tty/$2 sys/class/tty/$2 &&
        ln -sfn ../.. $1/tty/$2/device
}

# console NAME...: the consoles the kernel writes to (console=ttyS0 on its command line), listed in
# sys/class/tty/console/active.
console() { mkdir -p sys/class/tty/console && echo "$*" >sys/class/tty/console/active; }
